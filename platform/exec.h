/*
 * exec: the system's core services, as the components see them.
 *
 * Everything here is laid out the way the real system lays it out: on a
 * 32-bit machine the exec records are packed to 2-byte alignment (a Node is
 * 14 bytes, a Message 20); on wider machines they follow the machine.
 * Interfaces are records of function pointers whose first argument is the
 * interface itself: IExec->AllocVec(IExec, size, flags).
 */
#ifndef OV_PLATFORM_EXEC_H
#define OV_PLATFORM_EXEC_H

#include <stddef.h>
#include <stdint.h>

typedef uint8_t uint8;
typedef int8_t int8;
typedef uint16_t uint16;
typedef int16_t int16;
typedef uint32_t uint32;
typedef int32_t int32;
typedef uint64_t uint64;
typedef int64_t int64;
typedef void *APTR;
typedef const void *CONST_APTR;
typedef char *STRPTR;
typedef const char *CONST_STRPTR;
typedef intptr_t BPTR; /* handles: a segment list, a DOS file */
typedef uintptr_t Tag;
typedef int32 BOOL;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#if UINTPTR_MAX == 0xFFFFFFFFu
#define OV_ADDRESS_32 1
#else
#define OV_ADDRESS_32 0
#endif

#ifdef __cplusplus
#define OV_EXTERN_C extern "C"
#define OV_EXTERN_C_BEGIN extern "C" {
#define OV_EXTERN_C_END }
#else
#define OV_EXTERN_C
#define OV_EXTERN_C_BEGIN
#define OV_EXTERN_C_END
#endif

/* Symbols a loaded file hands to the platform (plug-in entry points,
 * resident tags, program entries) stay visible when the rest is hidden. */
#define OV_EXPORT __attribute__((visibility("default")))

/* ---- tags ---------------------------------------------------------- */

#define TAG_DONE 0
#define TAG_END 0
#define TAG_USER 0x80000000u

struct TagItem {
    Tag ti_Tag;
    Tag ti_Data;
};

/* ---- nodes, lists, libraries ---------------------------------------- */

#if OV_ADDRESS_32
#pragma pack(push, 2)
#endif

struct Node {
    struct Node *ln_Succ;
    struct Node *ln_Pred;
    uint8 ln_Type;
    int8 ln_Pri;
    STRPTR ln_Name;
};

struct MinNode {
    struct MinNode *mln_Succ;
    struct MinNode *mln_Pred;
};

struct List {
    struct Node *lh_Head;
    struct Node *lh_Tail;
    struct Node *lh_TailPred;
    uint8 lh_Type;
    uint8 l_pad;
};

/* node types */
#define NT_UNKNOWN 0
#define NT_TASK 1
#define NT_INTERRUPT 2
#define NT_DEVICE 3
#define NT_MSGPORT 4
#define NT_MESSAGE 5
#define NT_FREEMSG 6
#define NT_REPLYMSG 7
#define NT_RESOURCE 8
#define NT_LIBRARY 9
#define NT_PROCESS 13
#define NT_INTERFACE 14

struct Library {
    struct Node lib_Node;
    uint8 lib_Flags;
    uint8 lib_ABIVersion;
    uint16 lib_NegSize;
    uint16 lib_PosSize;
    uint16 lib_Version;
    uint16 lib_Revision;
    STRPTR lib_IdString;
    uint32 lib_Sum;
    uint16 lib_OpenCnt;
};

/* lib_Flags */
#define LIBF_SUMMING 1
#define LIBF_CHANGED 2
#define LIBF_SUMUSED 4
#define LIBF_DELEXP 8

/* ---- resident tags ------------------------------------------------- */

#define RTC_MATCHWORD 0x4AFC
#define RTF_AUTOINIT 0x80
#define RTF_NATIVE 0x20
#define RTF_COLDSTART 0x01

struct Resident {
    uint16 rt_MatchWord;          /* RTC_MATCHWORD */
    struct Resident *rt_MatchTag; /* the structure's own address */
    APTR rt_EndSkip;              /* first address behind the structure */
    uint8 rt_Flags;
    uint8 rt_Version;
    uint8 rt_Type;
    int8 rt_Pri;
    STRPTR rt_Name;
    STRPTR rt_IdString;
    APTR rt_Init; /* with RTF_AUTOINIT: the creation tag list */
};

/* creation tags (CreateLibrary) */
#define CLT_DataSize (TAG_USER + 10)
#define CLT_InitFunc (TAG_USER + 3)
#define CLT_Interfaces (TAG_USER + 9)

/* interface tags (MakeInterface) */
#define MIT_Name (TAG_USER + 9)
#define MIT_VectorTable (TAG_USER + 1)
#define MIT_Version (TAG_USER + 6)

/* ---- interfaces ---------------------------------------------------- */

struct InterfaceData {
    struct Node Link;
    struct Library *LibBase; /* the library this interface belongs to */
    uint32 RefCount;         /* counted by Obtain/Release of the manager */
    uint32 Version;
    uint32 Flags;
    uint32 CheckSum;
    uint32 PositiveSize;
    uint32 NegativeSize;
    APTR IExecPrivate;
    APTR EnvironmentVector;
    uint32 Reserved3;
    uint32 Reserved4;
    /* Rounds the block up to a whole number of pointers, so that the
     * vectors start right after it both in the platform's packed records
     * and in interface records laid out by the compiler. */
    uint16 Reserved5;
};

/* Every interface: the data block, then its vectors in table order. */
struct Interface {
    struct InterfaceData Data;
};

/* The vectors of an interface, in the order of its vector table. */
static inline void **InterfaceVectors(struct Interface *iface) { return (void **)(iface + 1); }

/* End marker of a vector table: a word with every bit set. */
#define VECTOR_TABLE_END ((void *)(intptr_t)-1)

/* The manager interface "__library" every library carries. */
struct LibraryManagerInterface {
    struct InterfaceData Data;
    uint32 (*Obtain)(struct LibraryManagerInterface *Self);
    uint32 (*Release)(struct LibraryManagerInterface *Self);
    void (*Expunge)(struct LibraryManagerInterface *Self);
    struct Interface *(*Clone)(struct LibraryManagerInterface *Self);
    struct Library *(*Open)(struct LibraryManagerInterface *Self, uint32 version);
    BPTR (*Close)(struct LibraryManagerInterface *Self);
    BPTR (*LibExpunge)(struct LibraryManagerInterface *Self);
    struct Interface *(*GetInterface)(struct LibraryManagerInterface *Self, CONST_STRPTR name,
                                      uint32 version, struct TagItem *taglist);
};

/* ---- messages, ports, tasks ------------------------------------------ */

struct Task;

struct MsgPort {
    struct Node mp_Node;
    uint8 mp_Flags;
    uint8 mp_SigBit; /* signal bit number */
    struct Task *mp_SigTask;
    struct List mp_MsgList;
};

/* mp_Flags */
#define PA_SIGNAL 0
#define PA_SOFTINT 1
#define PA_IGNORE 2

struct Message {
    struct Node mn_Node;
    struct MsgPort *mn_ReplyPort;
    uint16 mn_Length;
};

#if OV_ADDRESS_32
#pragma pack(pop)
#endif

static_assert(sizeof(struct InterfaceData) % sizeof(void *) == 0,
              "interface vectors follow the data block on a pointer boundary");

#if OV_ADDRESS_32
static_assert(sizeof(struct Node) == 14, "Node is 14 bytes");
static_assert(offsetof(struct Message, mn_ReplyPort) == 14, "mn_ReplyPort at 14");
static_assert(offsetof(struct Message, mn_Length) == 18, "mn_Length at 18");
static_assert(sizeof(struct Message) == 20, "Message is 20 bytes");
static_assert(sizeof(struct Resident) == 26, "Resident is 26 bytes");
#endif

/* signals */
#define SIGBREAKB_CTRL_C 12
#define SIGBREAKF_CTRL_C (1u << SIGBREAKB_CTRL_C)
#define SIGBREAKF_CTRL_D (1u << 13)
#define SIGBREAKF_CTRL_E (1u << 14)
#define SIGBREAKF_CTRL_F (1u << 15)
#define SIGF_SINGLE (1u << 4)

/* memory attributes */
#define MEMF_ANY 0u
#define MEMF_PUBLIC (1u << 0)
#define MEMF_CLEAR (1u << 16)
#define MEMF_SHARED (1u << 12)
#define MEMF_PRIVATE (1u << 11)

/* ---- the exec interface ---------------------------------------------- */

struct ExecBase;

struct ExecIFace {
    struct InterfaceData Data;
    uint32 (*Obtain)(struct ExecIFace *Self);
    uint32 (*Release)(struct ExecIFace *Self);
    void (*Expunge)(struct ExecIFace *Self);
    struct Interface *(*Clone)(struct ExecIFace *Self);

    /* memory */
    APTR (*AllocVec)(struct ExecIFace *Self, uint32 size, uint32 attributes);
    void (*FreeVec)(struct ExecIFace *Self, APTR memory);
    void (*CopyMem)(struct ExecIFace *Self, CONST_APTR source, APTR dest, uint32 size);

    /* libraries and interfaces */
    struct Library *(*OpenLibrary)(struct ExecIFace *Self, CONST_STRPTR name, uint32 version);
    void (*CloseLibrary)(struct ExecIFace *Self, struct Library *library);
    struct Interface *(*GetInterface)(struct ExecIFace *Self, struct Library *library,
                                      CONST_STRPTR name, uint32 version, struct TagItem *taglist);
    void (*DropInterface)(struct ExecIFace *Self, struct Interface *iface);
    void (*Remove)(struct ExecIFace *Self, struct Node *node);
    void (*DeleteLibrary)(struct ExecIFace *Self, struct Library *library);
    /* asks a library to go away; returns its segment list when it did */
    BPTR (*RemLibrary)(struct ExecIFace *Self, struct Library *library);

    /* lists */
    void (*NewList)(struct ExecIFace *Self, struct List *list);
    void (*AddTail)(struct ExecIFace *Self, struct List *list, struct Node *node);
    void (*AddHead)(struct ExecIFace *Self, struct List *list, struct Node *node);
    struct Node *(*RemHead)(struct ExecIFace *Self, struct List *list);
    struct Node *(*FindName)(struct ExecIFace *Self, struct List *list, CONST_STRPTR name);

    /* tasks and signals */
    struct Task *(*FindTask)(struct ExecIFace *Self, CONST_STRPTR name);
    int8 (*AllocSignal)(struct ExecIFace *Self, int8 signal);
    void (*FreeSignal)(struct ExecIFace *Self, int8 signal);
    void (*Signal)(struct ExecIFace *Self, struct Task *task, uint32 signals);
    uint32 (*Wait)(struct ExecIFace *Self, uint32 signals);
    uint32 (*SetSignal)(struct ExecIFace *Self, uint32 newSignals, uint32 signalMask);

    /* message ports */
    struct MsgPort *(*CreateMsgPort)(struct ExecIFace *Self);
    void (*DeleteMsgPort)(struct ExecIFace *Self, struct MsgPort *port);
    void (*AddPort)(struct ExecIFace *Self, struct MsgPort *port);
    void (*RemPort)(struct ExecIFace *Self, struct MsgPort *port);
    struct MsgPort *(*FindPort)(struct ExecIFace *Self, CONST_STRPTR name);
    void (*PutMsg)(struct ExecIFace *Self, struct MsgPort *port, struct Message *message);
    struct Message *(*GetMsg)(struct ExecIFace *Self, struct MsgPort *port);
    void (*ReplyMsg)(struct ExecIFace *Self, struct Message *message);
    struct Message *(*WaitPort)(struct ExecIFace *Self, struct MsgPort *port);

    /* access to lists that other tasks share (library and port lists) */
    void (*Forbid)(struct ExecIFace *Self);
    void (*Permit)(struct ExecIFace *Self);
};

/* The system's exec base; on the real machine its address is at location 4. */
struct ExecBase {
    struct Library LibNode;
    struct ExecIFace *MainInterface;
    struct List LibList;
    struct List PortList;
};

OV_EXTERN_C_BEGIN
/* Defined by the platform; a loaded plug-in finds it the way the real
 * system's code reads absolute address 4. */
extern struct ExecBase *AbsExecBase;
OV_EXTERN_C_END

#endif
