/*
 * The library frame shared by both plug-ins: what makes a loaded file an
 * exec library (resident tag, creation and interface tag lists, init, open,
 * close, expunge, the manager's reference count).
 *
 * Each plug-in compiles its own copy of libframe.cpp and supplies what
 * differs between them through the definitions declared below.
 */
#ifndef OV_FRAME_LIBFRAME_H
#define OV_FRAME_LIBFRAME_H

#include "../platform/exec.h"
#include "ovplug.h"

/* The fields every plug-in's library base starts with. */
struct PluginBase {
    struct Library Lib;
    BPTR SegList;            /* handed to init, returned by expunge */
    struct ExecIFace *IExec; /* handed to init; every entry point allocates through it */
};

/* The library base an entry point was called through. */
static inline struct PluginBase *PluginBaseOf(struct OVPlugIFace *Self)
{
    return (struct PluginBase *)Self->Data.LibBase;
}

static inline struct ExecIFace *PluginExecOf(struct OVPlugIFace *Self)
{
    return PluginBaseOf(Self)->IExec;
}

OV_EXTERN_C_BEGIN

/* ---- supplied by each plug-in ---------------------------------------- */

/* Besides these, the plug-in's folder holds "frame_config.h", which names
 * the library (OV_FRAME_LIB_NAME, OV_FRAME_VERSION, OV_FRAME_REVISION,
 * OV_FRAME_DATE) and its base record (OVFrameBase). */

extern void *const ovFrameMainVectors[]; /* the "main" table, ended by -1 */

/* Plug-in specific part of init, after the base fields are set; returns
 * FALSE when the library must not be created. */
BOOL ovFramePluginInit(struct PluginBase *base);
/* Plug-in specific part of expunge, before the base is unlinked. */
void ovFramePluginExpunge(struct PluginBase *base);

/* ---- provided by the frame -------------------------------------------- */

struct Library *libInit(struct Library *base, BPTR segList, struct ExecIFace *iexec);
struct Library *libOpen(struct LibraryManagerInterface *Self, uint32 version);
BPTR libClose(struct LibraryManagerInterface *Self);
BPTR libExpunge(struct LibraryManagerInterface *Self);
uint32 _manager_Obtain(struct LibraryManagerInterface *Self);
uint32 _manager_Release(struct LibraryManagerInterface *Self);

/* Started as a program, a plug-in file ends at once. */
OV_EXPORT int32 _start(void);

OV_EXTERN_C_END

#endif
