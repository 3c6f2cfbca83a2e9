/* A library file for the loader's tests, built in variants that each lack or
 * spoil one piece (the table in CMakeLists.txt says which). Every variant
 * asks for less data than a library base, lists an interface without a name
 * (passed over) and "bare" without a version, and keeps its resident in
 * writable data, unlike the plug-ins. */
#include "platform/exec.h"

namespace {

BPTR ownSegList;

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
    AbsExecBase->MainInterface->Remove(AbsExecBase->MainInterface, &base->lib_Node);
    AbsExecBase->MainInterface->DeleteLibrary(AbsExecBase->MainInterface, base);
    return ownSegList;
}

/* As many libraries do: the last close of a library asked to go expunges it. */
BPTR close(struct LibraryManagerInterface *Self)
{
    if (--Self->Data.LibBase->lib_OpenCnt == 0 && (Self->Data.LibBase->lib_Flags & LIBF_DELEXP))
        return expunge(Self);
    return 0;
}

// clang-format off
void *const managerVectors[] = {nullptr, nullptr, nullptr, nullptr, (void *)open,
                                (void *)close, (void *)expunge, nullptr, VECTOR_TABLE_END};
void *const mainVectors[] = {nullptr, nullptr, nullptr, nullptr, VECTOR_TABLE_END};
[[maybe_unused]] const struct TagItem managerTags[] = {
    {MIT_Name, (Tag) "__library"}, {MIT_VectorTable, (Tag)managerVectors}, {MIT_Version, 1},
    {TAG_DONE, 0}};
const struct TagItem mainTags[] = {
    {MIT_Name, (Tag) "main"},
#if OV_FIXTURE_MAIN_VECTORS
    {MIT_VectorTable, (Tag)mainVectors},
#endif
    {MIT_Version, 1}, {TAG_DONE, 0}};
const struct TagItem namelessTags[] = {{MIT_VectorTable, (Tag)mainVectors}, {MIT_Version, 1},
                                       {TAG_DONE, 0}};
const struct TagItem bareTags[] = {{MIT_Name, (Tag) "bare"}, {MIT_VectorTable, (Tag)mainVectors},
                                   {TAG_DONE, 0}};
[[maybe_unused]] const struct TagItem *const interfaces[] = {
#if OV_FIXTURE_MANAGER == 1
    managerTags,
#endif
    mainTags, namelessTags, bareTags, nullptr};
// clang-format on

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
