/* The system services the components use: exec memory and lists, and
 * dos.library over files, with the injected faults the other tests rely on. */
#include "support/plugin_host.h"

#include <algorithm>
#include <numeric>

namespace {

using ovtest::exec;

/* Clearing every fault clears this one and the ones set before. */
void failNextThenClearAll(uint32) { ovTestFailAllocation(1), ovTestClearFaults(); }

TEST(Exec, MemoryIsClearedOrPatternedAndFailsWhenToldListsAddRemoveAndFind)
{
    struct ExecIFace *IExec = exec();
    for (uint32 attributes : {MEMF_SHARED | MEMF_CLEAR, MEMF_ANY}) {
        auto *block = static_cast<uint8 *>(IExec->AllocVec(IExec, 1000, attributes));
        ASSERT_NE(block, nullptr);
        const uint8 fill = (attributes & MEMF_CLEAR) ? 0 : block[0];
        EXPECT_EQ(fill != 0, attributes == MEMF_ANY) << "uncleared memory holds a pattern";
        EXPECT_EQ(std::count(block, block + 1000, fill), 1000);
        IExec->FreeVec(IExec, block);
    }
    IExec->FreeVec(IExec, nullptr);
    EXPECT_EQ(IExec->AllocVec(IExec, 0, MEMF_ANY), nullptr);
    if (sizeof(size_t) == sizeof(uint32)) {
        EXPECT_EQ(IExec->AllocVec(IExec, 0xFFFFFFF8u, MEMF_ANY), nullptr) << "the size would wrap";
    }
    const struct {
        void (*inject)(uint32);
        uint32 n;
        bool fails[3];
    } faults[] = {{ovTestFailAllocation, 2, {false, true, false}},
                  {ovTestFailAllocationsFrom, 2, {false, true, true}},
                  {failNextThenClearAll, 0, {false, false, false}}};
    for (const auto &fault : faults) {
        fault.inject(fault.n);
        const uint64 calls = ovTestAllocationCalls();
        for (int call = 0; call < 3; call++) {
            APTR block = IExec->AllocVec(IExec, 16, MEMF_ANY);
            EXPECT_EQ(block == nullptr, fault.fails[call]) << "call " << call << " of " << fault.n;
            IExec->FreeVec(IExec, block);
        }
        EXPECT_EQ(ovTestAllocationCalls(), calls + 3);
    }
    struct List list;
    IExec->NewList(IExec, &list);
    EXPECT_EQ(IExec->RemHead(IExec, &list), nullptr);
    struct Node nodes[3] = {
        {.ln_Name = (char *)"a"}, {.ln_Name = (char *)"b"}, {.ln_Name = (char *)"c"}};
    IExec->AddTail(IExec, &list, &nodes[1]);
    IExec->AddTail(IExec, &list, &nodes[2]);
    IExec->AddHead(IExec, &list, &nodes[0]);
    EXPECT_EQ(IExec->FindName(IExec, &list, "c"), &nodes[2]);
    IExec->Remove(IExec, &nodes[1]);
    for (struct Node *expected : {&nodes[0], &nodes[2], (struct Node *)nullptr})
        EXPECT_EQ(IExec->RemHead(IExec, &list), expected);
    const char source[] = "sample bytes";
    char dest[] = "xx";
    IExec->CopyMem(IExec, source, dest, 1);
    EXPECT_STREQ(dest, "sx");
}

TEST(Dos, ReadsWholeBlocksAndMovesWithinTheFileOnly)
{
    struct Library *dosBase = exec()->OpenLibrary(exec(), "dos.library", 50);
    ASSERT_NE(dosBase, nullptr);
    auto *IDOS = reinterpret_cast<struct DOSIFace *>(
        exec()->GetInterface(exec(), dosBase, "main", 1, nullptr));
    ASSERT_NE(IDOS, nullptr);
    const std::string path = ovtest::tempPath("dos-test.bin");
    std::vector<uint8_t> bytes(100);
    std::iota(bytes.begin(), bytes.end(), 0);
    ovtest::writeFile(path, bytes);
    BPTR file = IDOS->FOpen(IDOS, path.c_str(), MODE_OLDFILE, 0);
    ASSERT_NE(file, 0);
    uint8 got[64] = {};
    const struct {
        int64 move; /* refused moves start from byte 19 */
        int32 mode;
        bool moves;
        uint32 blockLength, blocks, read; /* then this read: whole blocks only */
        int first;                        /* the first byte read, or -1 */
    } steps[] = {
        // clang-format off
        {0, OFFSET_CURRENT, true, 1, 4, 4, 0},        {0, OFFSET_CURRENT, true, 30, 2, 2, 4},
        {0, OFFSET_CURRENT, true, 30, 2, 1, 64},      {0, OFFSET_CURRENT, true, 1, 4, 0, -1},
        {10, OFFSET_BEGINNING, true, 0, 4, 0, -1},    {5, OFFSET_CURRENT, true, 1, 1, 1, 15},
        {-3, OFFSET_END, true, 2, 2, 1, 97},          {1, OFFSET_END, false, 1, 1, 1, 19},
        {1000, OFFSET_CURRENT, false, 1, 1, 1, 19},   {-1, OFFSET_BEGINNING, false, 1, 1, 1, 19},
        {INT64_MAX, OFFSET_CURRENT, false, 1, 1, 1, 19}, {INT64_MAX, OFFSET_END, false, 1, 1, 1, 19},
        {0, 7 /* no such mode */, false, 1, 1, 1, 19},
        // clang-format on
    };
    for (const auto &s : steps) {
        SCOPED_TRACE(testing::Message() << "move " << s.move << " mode " << s.mode);
        if (!s.moves) {
            ASSERT_NE(IDOS->ChangeFilePosition(IDOS, file, 19, OFFSET_BEGINNING), 0);
        }
        EXPECT_EQ(IDOS->ChangeFilePosition(IDOS, file, s.move, s.mode) != 0, s.moves);
        got[0] = 0xFF;
        EXPECT_EQ(IDOS->FRead(IDOS, file, got, s.blockLength, s.blocks), s.read);
        EXPECT_EQ(s.read ? got[0] : -1, s.first);
    }
    EXPECT_EQ(IDOS->FRead(IDOS, file, nullptr, 1, 4) + IDOS->FRead(IDOS, 0, got, 1, 4), 0u);
    EXPECT_EQ(IDOS->ChangeFilePosition(IDOS, 0, 0, OFFSET_BEGINNING), 0) << "no file";
    /* Injected faults: the n-th counted call fails; a short read leaves its missing block. */
    ovTestFailDosCall(2);
    EXPECT_NE(IDOS->ChangeFilePosition(IDOS, file, 4, OFFSET_BEGINNING), 0);
    EXPECT_EQ(IDOS->FRead(IDOS, file, got, 1, 4), 0u);
    ovTestFailDosCall(1);
    ovTestShortDosRead(1);
    ovTestClearFaults();
    EXPECT_EQ(IDOS->FRead(IDOS, file, got, 1, 4), 4u) << "every fault cleared";
    ovTestShortDosRead(2);
    EXPECT_EQ(IDOS->FRead(IDOS, file, got, 1, 1), 1u);
    EXPECT_EQ(IDOS->FRead(IDOS, file, got, 2, 4), 3u);
    EXPECT_EQ(got[0], 9) << "the short read starts where the file stood";
    EXPECT_EQ(IDOS->FRead(IDOS, file, got, 1, 1), 1u);
    EXPECT_EQ(got[0], 15) << "the missing block is not consumed";
    for (const char *name : {"/nonexistent/file", "/tmp", static_cast<const char *>(nullptr)})
        EXPECT_EQ(IDOS->FOpen(IDOS, name, MODE_OLDFILE, 0), 0) << "only files that are there";
    EXPECT_EQ(IDOS->FOpen(IDOS, path.c_str(), 4711, 0), 0) << "in a mode there is";
    EXPECT_EQ(IDOS->FClose(IDOS, 0), 0);
    EXPECT_NE(IDOS->FClose(IDOS, file), 0);
    exec()->DropInterface(exec(), reinterpret_cast<struct Interface *>(IDOS));
    exec()->CloseLibrary(exec(), dosBase);
}

} // namespace
