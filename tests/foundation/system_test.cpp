/* The system services the components use: exec memory and lists, dos.library
 * over files, the injected faults the other tests rely on, and the
 * big-endian helpers every layer shares. */
#include "platform/byteorder.h"
#include "support/plugin_host.h"

#include <cstring>
#include <filesystem>

namespace {

using ovtest::exec;

TEST(ExecMemory, BlocksAreClearedOrPatternedAndCounted)
{
    struct ExecIFace *IExec = exec();
    const uint32 before = ovTestLiveAllocations();
    for (uint32 attributes : {MEMF_SHARED | MEMF_CLEAR, MEMF_ANY}) {
        auto *block = static_cast<uint8 *>(IExec->AllocVec(IExec, 1000, attributes));
        ASSERT_NE(block, nullptr);
        const uint8 fill = (attributes & MEMF_CLEAR) ? 0 : block[0];
        EXPECT_EQ(fill == 0, (attributes & MEMF_CLEAR) != 0) << "uncleared memory has a pattern";
        for (int i = 0; i < 1000; i++)
            ASSERT_EQ(block[i], fill) << "byte " << i;
        EXPECT_EQ(ovTestLiveAllocations(), before + 1);
        IExec->FreeVec(IExec, block);
        EXPECT_EQ(ovTestLiveAllocations(), before);
    }
    IExec->FreeVec(IExec, nullptr);
    EXPECT_EQ(IExec->AllocVec(IExec, 0, MEMF_ANY), nullptr);
    if (sizeof(size_t) == sizeof(uint32)) {
        EXPECT_EQ(IExec->AllocVec(IExec, 0xFFFFFFF8u, MEMF_ANY), nullptr) << "the size would wrap";
    }
    const char source[] = "sample bytes";
    char dest[sizeof source] = {};
    IExec->CopyMem(IExec, source, dest, sizeof source);
    EXPECT_STREQ(dest, source);
}

TEST(ExecMemory, InjectedFailuresHitTheCountedCalls)
{
    struct ExecIFace *IExec = exec();
    const struct {
        void (*inject)(uint32);
        uint32 n;
        bool fails[3];
    } cases[] = {
        {ovTestFailAllocation, 2, {false, true, false}},
        {ovTestFailAllocationsFrom, 2, {false, true, true}},
        {ovTestFailAllocation, 0, {false, false, false}},
    };
    for (const auto &c : cases) {
        c.inject(c.n);
        const uint64 calls = ovTestAllocationCalls();
        for (int call = 0; call < 3; call++) {
            APTR block = IExec->AllocVec(IExec, 16, MEMF_ANY);
            EXPECT_EQ(block == nullptr, c.fails[call]) << "call " << call << " after " << c.n;
            IExec->FreeVec(IExec, block);
        }
        EXPECT_EQ(ovTestAllocationCalls(), calls + 3);
        ovTestClearFaults();
    }
}

TEST(ExecLists, AddRemoveAndFind)
{
    struct ExecIFace *IExec = exec();
    struct List list;
    IExec->NewList(IExec, &list);
    EXPECT_EQ(IExec->RemHead(IExec, &list), nullptr);
    char names[][2] = {"a", "b", "c"};
    struct Node nodes[3] = {};
    for (int i = 0; i < 3; i++)
        nodes[i].ln_Name = names[i];
    IExec->AddTail(IExec, &list, &nodes[1]);
    IExec->AddTail(IExec, &list, &nodes[2]);
    IExec->AddHead(IExec, &list, &nodes[0]);
    EXPECT_EQ(IExec->FindName(IExec, &list, "c"), &nodes[2]);
    EXPECT_EQ(IExec->FindName(IExec, &list, "d"), nullptr);
    IExec->Remove(IExec, &nodes[1]);
    EXPECT_EQ(IExec->RemHead(IExec, &list), &nodes[0]);
    EXPECT_EQ(IExec->RemHead(IExec, &list), &nodes[2]);
    EXPECT_EQ(IExec->RemHead(IExec, &list), nullptr);
    EXPECT_EQ(AbsExecBase->MainInterface->Data.LibBase, &AbsExecBase->LibNode);
}

class Dos : public ::testing::Test {
protected:
    void SetUp() override
    {
        dosBase = exec()->OpenLibrary(exec(), "dos.library", 50);
        ASSERT_NE(dosBase, nullptr);
        EXPECT_EQ(exec()->OpenLibrary(exec(), "dos.library", 54), nullptr) << "version 53";
        IDOS = reinterpret_cast<struct DOSIFace *>(
            exec()->GetInterface(exec(), dosBase, "main", 1, nullptr));
        ASSERT_NE(IDOS, nullptr);
        std::vector<uint8_t> bytes(100);
        for (int i = 0; i < 100; i++)
            bytes[i] = static_cast<uint8_t>(i);
        ovtest::writeFile(path, bytes);
        file = IDOS->FOpen(IDOS, path.c_str(), MODE_OLDFILE, 0);
        ASSERT_NE(file, 0);
    }
    void TearDown() override
    {
        EXPECT_NE(IDOS->FClose(IDOS, file), 0);
        exec()->DropInterface(exec(), reinterpret_cast<struct Interface *>(IDOS));
        exec()->CloseLibrary(exec(), dosBase);
    }
    /* The next byte read, or -1 when none comes. */
    int nextByte()
    {
        uint8 byte = 0;
        return IDOS->FRead(IDOS, file, &byte, 1, 1) == 1 ? byte : -1;
    }
    struct Library *dosBase = nullptr;
    struct DOSIFace *IDOS = nullptr;
    std::string path = ovtest::tempPath("dos-test.bin");
    BPTR file = 0;
};

TEST_F(Dos, ReadsWholeBlocks)
{
    uint8 buffer[64] = {};
    EXPECT_EQ(IDOS->FRead(IDOS, file, buffer, 1, 4), 4u);
    EXPECT_EQ(buffer[3], 3);
    EXPECT_EQ(IDOS->FRead(IDOS, file, buffer, 30, 2), 2u);
    EXPECT_EQ(buffer[0], 4);
    /* 36 bytes left: one whole block of 30, the rest is not counted */
    EXPECT_EQ(IDOS->FRead(IDOS, file, buffer, 30, 2), 1u);
    EXPECT_EQ(IDOS->FRead(IDOS, file, buffer, 0, 4), 0u);
    EXPECT_EQ(IDOS->FRead(IDOS, file, nullptr, 1, 4), 0u);
    EXPECT_EQ(nextByte(), -1);
}

TEST_F(Dos, ChangesPositionWithinTheFileOnly)
{
    const struct {
        int64 position;
        int32 mode;
        bool moves;
        int next; /* the byte read after it */
    } moves[] = {
        {10, OFFSET_CURRENT, true, 10},
        {5, OFFSET_CURRENT, true, 16},
        {90, OFFSET_BEGINNING, true, 90},
        {-3, OFFSET_END, true, 97},
        {0, OFFSET_END, true, -1},
        {1, OFFSET_END, false, 19},
        {1000, OFFSET_CURRENT, false, 19},
        {-1, OFFSET_BEGINNING, false, 19},
        {INT64_MAX, OFFSET_CURRENT, false, 19},
        {INT64_MAX, OFFSET_END, false, 19},
        {0, 7, false, 19},
    };
    for (const auto &m : moves) {
        SCOPED_TRACE(testing::Message() << "move " << m.position << " mode " << m.mode);
        if (!m.moves) {
            ASSERT_NE(IDOS->ChangeFilePosition(IDOS, file, 19, OFFSET_BEGINNING), 0);
        }
        EXPECT_EQ(IDOS->ChangeFilePosition(IDOS, file, m.position, m.mode) != 0, m.moves);
        EXPECT_EQ(nextByte(), m.next);
    }
}

TEST_F(Dos, OpensOnlyFilesThatAreThere)
{
    const std::string fresh = ovtest::tempPath("dos-new.bin");
    std::filesystem::remove(fresh);
    const struct {
        const char *name;
        int32 mode;
        bool opens;
    } cases[] = {
        {"/nonexistent/file", MODE_OLDFILE, false},
        {"/tmp", MODE_OLDFILE, false},
        {nullptr, MODE_OLDFILE, false},
        {path.c_str(), 4711, false},
        {fresh.c_str(), MODE_OLDFILE, false},
        {fresh.c_str(), MODE_READWRITE, true},
        {fresh.c_str(), MODE_OLDFILE, true},
        {path.c_str(), MODE_NEWFILE, true},
    };
    for (const auto &c : cases) {
        BPTR other = IDOS->FOpen(IDOS, c.name, c.mode, 0);
        EXPECT_EQ(other != 0, c.opens) << (c.name ? c.name : "(null)") << " mode " << c.mode;
        EXPECT_EQ(ovTestOpenFiles(), c.opens ? 2u : 1u);
        IDOS->FClose(IDOS, other);
    }
    EXPECT_EQ(IDOS->FClose(IDOS, 0), 0);
    EXPECT_EQ(nextByte(), -1) << "a new file is empty";
}

TEST_F(Dos, InjectedFailuresAndShortReads)
{
    uint8 buffer[16];
    const uint64 calls = ovTestDosCalls();
    ovTestFailDosCall(1);
    EXPECT_EQ(IDOS->FOpen(IDOS, path.c_str(), MODE_OLDFILE, 0), 0);
    ovTestFailDosCall(2);
    EXPECT_EQ(IDOS->FRead(IDOS, file, buffer, 1, 4), 4u);
    EXPECT_EQ(IDOS->ChangeFilePosition(IDOS, file, 0, OFFSET_BEGINNING), 0);
    ovTestFailDosCall(1);
    EXPECT_EQ(IDOS->FRead(IDOS, file, buffer, 1, 4), 0u);
    EXPECT_EQ(ovTestDosCalls(), calls + 4);
    ovTestShortDosRead(2);
    EXPECT_EQ(nextByte(), 4);
    EXPECT_EQ(IDOS->FRead(IDOS, file, buffer, 2, 4), 3u);
    EXPECT_EQ(buffer[0], 5) << "the short read starts where the file stood";
    EXPECT_EQ(nextByte(), 11) << "the missing block is not consumed";
}

/* At an odd address too, and the same bytes on either byte order of the machine. */
TEST(ByteOrder, BigEndianLoadsAndStoresAtAnyAlignment)
{
    const uint8 stored[7] = {0x00, 0xFF, 0xFE, 0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(ov_load_be16(stored + 1), 0xFFFEu);
    EXPECT_EQ(ov_load_be16_signed(stored + 1), -2);
    EXPECT_EQ(ov_load_be16_signed(stored + 3), 0x1234);
    EXPECT_EQ(ov_load_be32(stored + 3), 0x12345678u);
    EXPECT_EQ(ov_load_be32(stored + 1), 0xFFFE1234u);
    uint8 written[7] = {};
    ov_store_be16(written + 1, static_cast<uint32>(-2));
    ov_store_be32(written + 3, 0x12345678u);
    EXPECT_EQ(std::memcmp(written, stored, sizeof stored), 0);
    ov_store_be16(written + 1, 0xABCD1234u); /* only the low 16 bits */
    EXPECT_EQ(written[1], 0x12);
    EXPECT_EQ(written[2], 0x34);
    EXPECT_EQ(written[3], 0x12) << "the byte after is untouched";
}

} // namespace
