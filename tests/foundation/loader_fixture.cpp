/*
 * A small library file for the loader's tests, built in several variants
 * (see CMakeLists.txt), each leaving out one piece:
 *   OV_FIXTURE_RESIDENT      the resident tag with its creation tags (2: one
 *                            whose end-skip points back at itself)
 *   OV_FIXTURE_MANAGER       the "__library" interface
 *   OV_FIXTURE_MAIN_VECTORS  the vector table of the interface "main"
 *   OV_FIXTURE_START         the program entry _start (returns 42)
 * Every variant with a resident also lists an interface without a name,
 * which the loader must pass over, and no CLT_DataSize.
 */
#include "platform/exec.h"

namespace {

BPTR ownSegList;
struct ExecIFace *IExec;

uint32 obtain(struct LibraryManagerInterface *Self) { return ++Self->Data.RefCount; }
uint32 release(struct LibraryManagerInterface *Self) { return --Self->Data.RefCount; }

struct Library *open(struct LibraryManagerInterface *Self, uint32)
{
    Self->Data.LibBase->lib_OpenCnt++;
    return Self->Data.LibBase;
}

BPTR close(struct LibraryManagerInterface *Self)
{
    Self->Data.LibBase->lib_OpenCnt--;
    return 0;
}

BPTR expunge(struct LibraryManagerInterface *Self)
{
    struct Library *base = Self->Data.LibBase;
    if (base->lib_OpenCnt != 0)
        return 0;
    IExec->Remove(IExec, &base->lib_Node);
    IExec->DeleteLibrary(IExec, base);
    return ownSegList;
}

/* Slot 4 of "main": taken for Open by a loader that mistakes "main" for
 * the manager, it hands back the base as an open would. */
struct Library *baseOf(struct Interface *Self) { return Self->Data.LibBase; }

void *const managerVectors[] = {
    (void *)obtain, (void *)release, nullptr, nullptr, (void *)open, (void *)close,
    (void *)expunge, nullptr, VECTOR_TABLE_END,
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
const struct TagItem *const interfaces[] = {
#if OV_FIXTURE_MANAGER
    managerTags,
#endif
    mainTags, namelessTags, nullptr,
};

struct Library *init(struct Library *base, BPTR segList, struct ExecIFace *iexec)
{
    ownSegList = segList;
    IExec = iexec;
    return base;
}

const struct TagItem createTags[] = {
    {CLT_InitFunc, (Tag)init},
    {CLT_Interfaces, (Tag)interfaces},
    {TAG_DONE, 0},
};

[[maybe_unused]] char name[] = OV_FIXTURE_NAME;

#if OV_FIXTURE_RESIDENT
__attribute__((used)) const struct Resident resident = {
    RTC_MATCHWORD,
    (struct Resident *)&resident,
    OV_FIXTURE_RESIDENT == 2 ? (APTR)&resident : (APTR)(&resident + 1),
    RTF_AUTOINIT | RTF_NATIVE,
    1,
    NT_LIBRARY,
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
