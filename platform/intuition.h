/*
 * Intuition: windows, screens and requesters, as the components see them.
 *
 * A window is opened from a tag list on the default public screen; its
 * events arrive as IntuiMessages at its UserPort, whose signal bit belongs
 * to the task that opened it. Every message taken with GetMsg goes back
 * with ReplyMsg. The window's RastPort is what drawing calls (such as
 * Picasso96's p96WritePixelArray) take as their destination; the window's
 * borders lie inside its RastPort, the inner area starts at
 * (BorderLeft, BorderTop).
 */
#ifndef OV_PLATFORM_INTUITION_H
#define OV_PLATFORM_INTUITION_H

#include "exec.h"

/* ---- tags of OpenWindowTags -------------------------------------------- */

/* Typed as Tag so that they can be passed through the variable argument
 * list of OpenWindowTags as they stand; pass the values as Tag too. */
#define WA_Dummy ((Tag)TAG_USER + 99)
#define WA_Left (WA_Dummy + 0x01)
#define WA_Top (WA_Dummy + 0x02)
#define WA_Width (WA_Dummy + 0x03)
#define WA_Height (WA_Dummy + 0x04)
#define WA_IDCMP (WA_Dummy + 0x07)
#define WA_Title (WA_Dummy + 0x0B)
#define WA_ScreenTitle (WA_Dummy + 0x0C)
#define WA_InnerWidth (WA_Dummy + 0x13)
#define WA_InnerHeight (WA_Dummy + 0x14)
#define WA_SizeGadget (WA_Dummy + 0x1E)
#define WA_DragBar (WA_Dummy + 0x1F)
#define WA_DepthGadget (WA_Dummy + 0x20)
#define WA_CloseGadget (WA_Dummy + 0x21)
#define WA_Activate (WA_Dummy + 0x26)

/* ---- event classes (IDCMP) ------------------------------------------------ */

#define IDCMP_NEWSIZE 0x00000002u
#define IDCMP_REFRESHWINDOW 0x00000004u
#define IDCMP_MOUSEBUTTONS 0x00000008u
#define IDCMP_CLOSEWINDOW 0x00000200u
#define IDCMP_RAWKEY 0x00000400u

/* ---- records ---------------------------------------------------------------- */

struct Screen;
struct Window;

/* A drawing destination. Only the platform looks inside. */
struct RastPort {
    APTR rp_Private; /* the window it draws into */
};

struct Window {
    struct Window *NextWindow;
    int16 LeftEdge, TopEdge; /* on the screen */
    int16 Width, Height;     /* outer size, borders included */
    uint32 Flags;
    CONST_STRPTR Title;       /* as handed to OpenWindowTags or SetWindowTitles */
    CONST_STRPTR ScreenTitle; /* shown on the screen while the window is active */
    struct Screen *WScreen;
    struct RastPort *RPort;
    int8 BorderLeft, BorderTop, BorderRight, BorderBottom;
    uint32 IDCMPFlags;          /* event classes reported at UserPort */
    struct MsgPort *UserPort;   /* events for the window's task */
    struct MsgPort *WindowPort; /* replied events come back here */
    APTR UserData;
};

struct IntuiMessage {
    struct Message ExecMessage;
    uint32 Class; /* one IDCMP_ bit */
    uint16 Code;
    uint16 Qualifier;
    APTR IAddress;
    int16 MouseX, MouseY;
    uint32 Seconds, Micros;
    struct Window *IDCMPWindow;
    struct IntuiMessage *SpecialLink;
};

/* A requester description for EasyRequestArgs. The body and the button
 * texts are formats; with no argument list they are shown as they stand.
 * Several buttons are separated by '|'. */
struct EasyStruct {
    uint32 es_StructSize; /* sizeof(struct EasyStruct) */
    uint32 es_Flags;      /* 0 */
    CONST_STRPTR es_Title;
    CONST_STRPTR es_TextFormat;
    CONST_STRPTR es_GadgetFormat;
    struct Screen *es_Screen; /* NULL: the default public screen */
    struct TagItem *es_TagList;
};

/* ---- the interface "main" of "intuition.library" ---------------------------- */

struct IntuitionIFace {
    struct InterfaceData Data;
    uint32 (*Obtain)(struct IntuitionIFace *Self);
    uint32 (*Release)(struct IntuitionIFace *Self);
    void (*Expunge)(struct IntuitionIFace *Self);
    struct Interface *(*Clone)(struct IntuitionIFace *Self);

    /* Opens a window from its tags (the first argument, an old-style
     * NewWindow, is not supported and must be NULL). NULL on failure. */
    struct Window *(*OpenWindowTagList)(struct IntuitionIFace *Self, APTR newWindow,
                                        const struct TagItem *tags);
    /* The same with the tags as pairs of Tag values, ended by TAG_DONE. */
    struct Window *(*OpenWindowTags)(struct IntuitionIFace *Self, APTR newWindow, ...);
    /* Closes the window; messages still queued at its UserPort go with it. */
    void (*CloseWindow)(struct IntuitionIFace *Self, struct Window *window);
    /* Either title may be (CONST_STRPTR)-1 to leave it unchanged. The
     * window keeps the pointers, not copies. */
    void (*SetWindowTitles)(struct IntuitionIFace *Self, struct Window *window,
                            CONST_STRPTR windowTitle, CONST_STRPTR screenTitle);
    /* NULL name: the default public screen. NULL when it cannot be locked. */
    struct Screen *(*LockPubScreen)(struct IntuitionIFace *Self, CONST_STRPTR name);
    void (*UnlockPubScreen)(struct IntuitionIFace *Self, CONST_STRPTR name, struct Screen *screen);
    /* A modal requester; returns the number of the button pressed (the
     * rightmost, or only, button is 0; the others count 1, 2, ... from the
     * left). idcmp and args may be NULL. */
    int32 (*EasyRequestArgs)(struct IntuitionIFace *Self, struct Window *window,
                             const struct EasyStruct *easy, uint32 *idcmp, APTR args);
};

#endif
