/*
 * The library frame: resident tag, creation tags, init/open/close/expunge
 * and the manager interface. Each plug-in compiles its own copy, configured
 * by the frame_config.h in its folder.
 */
#include "libframe.h"

#include "frame_config.h"

#define OV_FRAME_STR2(x) #x
#define OV_FRAME_STR(x) OV_FRAME_STR2(x)
// clang-format off
#define OV_FRAME_VERSION_TEXT                                                                   \
    OV_FRAME_LIB_NAME " " OV_FRAME_STR(OV_FRAME_VERSION) "." OV_FRAME_STR(OV_FRAME_REVISION) " (" \
        OV_FRAME_DATE ")"
// clang-format on

extern "C" {

static const char libName[] = OV_FRAME_LIB_NAME;
static const char libIdString[] = OV_FRAME_VERSION_TEXT "\r\n";
/* What the system's version command looks for: a NUL, then the text. */
__attribute__((used)) static const char libVersionString[] = "\0$VER: " OV_FRAME_VERSION_TEXT;

// clang-format off
static void *const managerVectors[] = {
    (void *)_manager_Obtain,
    (void *)_manager_Release,
    nullptr,
    nullptr,
    (void *)libOpen,
    (void *)libClose,
    (void *)libExpunge,
    nullptr,
    VECTOR_TABLE_END,
};
// clang-format on

static const struct TagItem managerTags[] = {
    {MIT_Name, (Tag) "__library"},
    {MIT_VectorTable, (Tag)managerVectors},
    {MIT_Version, 1},
    {TAG_DONE, 0},
};

static const struct TagItem mainTags[] = {
    {MIT_Name, (Tag) "main"},
    {MIT_VectorTable, (Tag)ovFrameMainVectors},
    {MIT_Version, 1},
    {TAG_DONE, 0},
};

static const struct TagItem *const libInterfaces[] = {managerTags, mainTags, nullptr};

static const struct TagItem libCreateTags[] = {
    {CLT_DataSize, sizeof(OVFrameBase)},
    {CLT_InitFunc, (Tag)libInit},
    {CLT_Interfaces, (Tag)libInterfaces},
    {TAG_DONE, 0},
};

__attribute__((used)) static const struct Resident libResident = {
    RTC_MATCHWORD,
    (struct Resident *)&libResident,
    (APTR)(&libResident + 1),
    RTF_AUTOINIT | RTF_NATIVE,
    OV_FRAME_VERSION,
    NT_LIBRARY,
    0,
    (STRPTR)libName,
    (STRPTR)libIdString,
    (APTR)libCreateTags,
};

struct Library *libInit(struct Library *libBase, BPTR segList, struct ExecIFace *iexec)
{
    struct PluginBase *base = (struct PluginBase *)libBase;
    base->Lib.lib_Node.ln_Type = NT_LIBRARY;
    base->Lib.lib_Node.ln_Pri = 0;
    base->Lib.lib_Node.ln_Name = (STRPTR)libName;
    base->Lib.lib_Flags = LIBF_SUMUSED | LIBF_CHANGED;
    base->Lib.lib_Version = OV_FRAME_VERSION;
    base->Lib.lib_Revision = OV_FRAME_REVISION;
    base->Lib.lib_IdString = (STRPTR)libIdString;
    base->SegList = segList;
    base->IExec = iexec;
    if (!ovFramePluginInit(base))
        return nullptr;
    return libBase;
}

struct Library *libOpen(struct LibraryManagerInterface *Self, uint32 version)
{
    struct Library *base = Self->Data.LibBase;
    if (version > 1)
        return nullptr;
    base->lib_OpenCnt++;
    return base;
}

BPTR libClose(struct LibraryManagerInterface *Self)
{
    /* Closing never expunges by itself; a later expunge request does. */
    Self->Data.LibBase->lib_OpenCnt--;
    return 0;
}

BPTR libExpunge(struct LibraryManagerInterface *Self)
{
    struct ExecIFace *IExec = AbsExecBase->MainInterface;
    struct PluginBase *base = (struct PluginBase *)Self->Data.LibBase;
    if (base->Lib.lib_OpenCnt != 0) {
        base->Lib.lib_Flags |= LIBF_DELEXP;
        return 0;
    }
    BPTR segList = base->SegList;
    ovFramePluginExpunge(base);
    IExec->Remove(IExec, &base->Lib.lib_Node);
    IExec->DeleteLibrary(IExec, &base->Lib);
    return segList;
}

uint32 _manager_Obtain(struct LibraryManagerInterface *Self) { return ++Self->Data.RefCount; }

uint32 _manager_Release(struct LibraryManagerInterface *Self) { return --Self->Data.RefCount; }

int32 _start(void) { return 100; }
}
