/* dos.library over files, and its injected faults. */
#include "support/plugin_host.h"

namespace {

using ovtest::exec;

class Dos : public ::testing::Test {
protected:
    void SetUp() override
    {
        struct ExecIFace *IExec = exec();
        dosBase = IExec->OpenLibrary(IExec, "dos.library", 50);
        ASSERT_NE(dosBase, nullptr);
        IDOS = reinterpret_cast<struct DOSIFace *>(
            IExec->GetInterface(IExec, dosBase, "main", 1, nullptr));
        ASSERT_NE(IDOS, nullptr);
        path = ovtest::tempPath("dos-test.bin");
        std::vector<uint8_t> bytes(100);
        for (int i = 0; i < 100; i++)
            bytes[i] = static_cast<uint8_t>(i);
        ovtest::writeFile(path, bytes);
    }
    void TearDown() override
    {
        struct ExecIFace *IExec = exec();
        IExec->DropInterface(IExec, reinterpret_cast<struct Interface *>(IDOS));
        IExec->CloseLibrary(IExec, dosBase);
    }
    struct Library *dosBase = nullptr;
    struct DOSIFace *IDOS = nullptr;
    std::string path;
};

TEST_F(Dos, ReadsWholeBlocks)
{
    BPTR file = IDOS->FOpen(IDOS, path.c_str(), MODE_OLDFILE, 0);
    ASSERT_NE(file, 0);
    uint8 buffer[64] = {};
    EXPECT_EQ(IDOS->FRead(IDOS, file, buffer, 1, 4), 4u);
    EXPECT_EQ(buffer[3], 3);
    EXPECT_EQ(IDOS->FRead(IDOS, file, buffer, 30, 2), 2u);
    EXPECT_EQ(buffer[0], 4);
    /* 36 bytes left: one whole block of 30, the rest is not counted */
    EXPECT_EQ(IDOS->FRead(IDOS, file, buffer, 30, 2), 1u);
    EXPECT_EQ(IDOS->FRead(IDOS, file, buffer, 1, 4), 0u);
    EXPECT_NE(IDOS->FClose(IDOS, file), 0);
}

TEST_F(Dos, ChangesPosition)
{
    BPTR file = IDOS->FOpen(IDOS, path.c_str(), MODE_OLDFILE, 0);
    ASSERT_NE(file, 0);
    uint8 byte = 0;
    EXPECT_NE(IDOS->ChangeFilePosition(IDOS, file, 10, OFFSET_CURRENT), 0);
    EXPECT_NE(IDOS->ChangeFilePosition(IDOS, file, 5, OFFSET_CURRENT), 0);
    EXPECT_EQ(IDOS->FRead(IDOS, file, &byte, 1, 1), 1u);
    EXPECT_EQ(byte, 15);
    EXPECT_NE(IDOS->ChangeFilePosition(IDOS, file, 90, OFFSET_BEGINNING), 0);
    EXPECT_EQ(IDOS->FRead(IDOS, file, &byte, 1, 1), 1u);
    EXPECT_EQ(byte, 90);
    /* outside the file: refused, position unchanged */
    EXPECT_EQ(IDOS->ChangeFilePosition(IDOS, file, 1000, OFFSET_CURRENT), 0);
    EXPECT_EQ(IDOS->ChangeFilePosition(IDOS, file, -1, OFFSET_BEGINNING), 0);
    EXPECT_EQ(IDOS->ChangeFilePosition(IDOS, file, INT64_MAX, OFFSET_CURRENT), 0);
    EXPECT_EQ(IDOS->FRead(IDOS, file, &byte, 1, 1), 1u);
    EXPECT_EQ(byte, 91);
    IDOS->FClose(IDOS, file);
}

TEST_F(Dos, MissingFileAndFolderDoNotOpen)
{
    EXPECT_EQ(IDOS->FOpen(IDOS, "/nonexistent/file", MODE_OLDFILE, 0), 0);
    EXPECT_EQ(IDOS->FOpen(IDOS, "/tmp", MODE_OLDFILE, 0), 0);
    EXPECT_EQ(IDOS->FClose(IDOS, 0), 0);
}

TEST_F(Dos, InjectedFailuresAndShortReads)
{
    ovTestFailDosCall(1);
    EXPECT_EQ(IDOS->FOpen(IDOS, path.c_str(), MODE_OLDFILE, 0), 0);
    BPTR file = IDOS->FOpen(IDOS, path.c_str(), MODE_OLDFILE, 0);
    ASSERT_NE(file, 0);
    EXPECT_EQ(ovTestOpenFiles(), 1u);
    uint8 buffer[16];
    ovTestFailDosCall(2);
    EXPECT_EQ(IDOS->FRead(IDOS, file, buffer, 1, 4), 4u);
    EXPECT_EQ(IDOS->ChangeFilePosition(IDOS, file, 0, OFFSET_BEGINNING), 0);
    ovTestShortDosRead(1);
    EXPECT_EQ(IDOS->FRead(IDOS, file, buffer, 2, 4), 3u);
    EXPECT_EQ(buffer[0], 4) << "the short read starts where the file stood";
    IDOS->FClose(IDOS, file);
    EXPECT_EQ(ovTestOpenFiles(), 0u);
}

} // namespace
