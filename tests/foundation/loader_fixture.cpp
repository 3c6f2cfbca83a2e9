/*
 * A small library file for the loader's tests, built in several variants
 * (see CMakeLists.txt), each leaving out or spoiling one piece:
 *   OV_FIXTURE_RESIDENT      the resident tag: 0 none, 1 sound, 2 its end-skip
 *                            pointing back at itself, 3 not of a library,
 *                            4 without automatic initialisation
 *   OV_FIXTURE_MANAGER       the "__library" interface: 0 left out of the
 *                            list, 1 there, 2 no interface list at all
 *   OV_FIXTURE_MAIN_VECTORS  the vector table of the interface "main"
 *   OV_FIXTURE_INIT          the init function: 0 none, 1 there, 2 failing
 *   OV_FIXTURE_START         the program entry _start (returns 42)
 * Every variant asks for a data size smaller than a library base, lists an
 * interface without a name (which the loader must pass over) and one
 * without a version ("bare", version 0). The resident sits in writable
 * data, unlike the plug-ins' own.
 */
#include "platform/exec.h"

namespace {

BPTR ownSegList;

uint32 obtain(struct LibraryManagerInterface *Self) { return ++Self->Data.RefCount; }
uint32 release(struct LibraryManagerInterface *Self) { return --Self->Data.RefCount; }

struct Library *open(struct LibraryManagerInterface *Self, uint32)
{
    Self->Data.LibBase->lib_OpenCnt++;
    return Self->Data.LibBase;
}

BPTR expunge(struct LibraryManagerInterface *Self)
{
    struct Library *base = Self->Data.LibBase;
    if (ownSegList == 0)
        return 0; /* never handed its segment list (no init): it cannot go */
    if (base->lib_OpenCnt != 0) {
        base->lib_Flags |= LIBF_DELEXP;
        return 0;
    }
    struct ExecIFace *IExec = AbsExecBase->MainInterface;
    IExec->Remove(IExec, &base->lib_Node);
    IExec->DeleteLibrary(IExec, base);
    return ownSegList;
}

/* As many libraries do: the last close of a library asked to go expunges it. */
BPTR close(struct LibraryManagerInterface *Self)
{
    struct Library *base = Self->Data.LibBase;
    if (--base->lib_OpenCnt == 0 && (base->lib_Flags & LIBF_DELEXP))
        return expunge(Self);
    return 0;
}

/* Slot 4 of "main": taken for Open by a loader that mistakes "main" for
 * the manager, it hands back the base as an open would. */
struct Library *baseOf(struct Interface *Self) { return Self->Data.LibBase; }

void *const managerVectors[] = {
    (void *)obtain, (void *)release, nullptr, nullptr,          (void *)open,
    (void *)close,  (void *)expunge, nullptr, VECTOR_TABLE_END,
};
void *const mainVectors[] = {
    (void *)obtain, (void *)release, nullptr, nullptr, (void *)baseOf, VECTOR_TABLE_END,
};

[[maybe_unused]] const struct TagItem managerTags[] = {
    {MIT_Name, (Tag) "__library"},
    {MIT_VectorTable, (Tag)managerVectors},
    {MIT_Version, 1},
    {TAG_DONE, 0},
};
const struct TagItem mainTags[] = {
    {MIT_Name, (Tag) "main"},
#if OV_FIXTURE_MAIN_VECTORS
    {MIT_VectorTable, (Tag)mainVectors},
#endif
    {MIT_Version, 1},
    {TAG_DONE, 0},
};
const struct TagItem namelessTags[] = {
    {MIT_VectorTable, (Tag)mainVectors},
    {MIT_Version, 1},
    {TAG_DONE, 0},
};
const struct TagItem bareTags[] = {
    {MIT_Name, (Tag) "bare"},
    {MIT_VectorTable, (Tag)mainVectors},
    {TAG_DONE, 0},
};
[[maybe_unused]] const struct TagItem *const interfaces[] = {
#if OV_FIXTURE_MANAGER == 1
    managerTags,
#endif
    mainTags,    namelessTags, bareTags, nullptr,
};

[[maybe_unused]] struct Library *init(struct Library *base, BPTR segList, struct ExecIFace *)
{
    ownSegList = segList;
    return OV_FIXTURE_INIT == 2 ? nullptr : base;
}

const struct TagItem createTags[] = {
    {CLT_DataSize, 1},
#if OV_FIXTURE_INIT
    {CLT_InitFunc, (Tag)init},
#endif
#if OV_FIXTURE_MANAGER != 2
    {CLT_Interfaces, (Tag)interfaces},
#endif
    {TAG_DONE, 0},
};

[[maybe_unused]] char name[] = OV_FIXTURE_NAME;

#if OV_FIXTURE_RESIDENT
__attribute__((used)) struct Resident resident = {
    RTC_MATCHWORD,
    &resident,
    OV_FIXTURE_RESIDENT == 2 ? (APTR)&resident : (APTR)(&resident + 1),
    OV_FIXTURE_RESIDENT == 4 ? RTF_NATIVE : RTF_AUTOINIT | RTF_NATIVE,
    1,
    OV_FIXTURE_RESIDENT == 3 ? NT_RESOURCE : NT_LIBRARY,
    0,
    name,
    name,
    (APTR)createTags,
};
#endif

} // namespace

#if OV_FIXTURE_START
OV_EXTERN_C OV_EXPORT int32 _start(void) { return 42; }
#endif
