/* The library frame of both plug-ins, driven through the platform's loader. */
#include "frame/libframe.h"
#include "support/plugin_host.h"

#include <cstring>
#include <string>

namespace {

using ovtest::exec;

std::string pluginPath(const char *file) { return ovtest::binDir() + "/" + file; }

struct FrameCase {
    const char *file;
    uint16 revision;
    const char *idString;
};

class Frame : public ::testing::TestWithParam<FrameCase> {
protected:
    void TearDown() override { ovExpungeLibraries(); }
    struct Library *open(uint32 version)
    {
        return exec()->OpenLibrary(exec(), pluginPath(GetParam().file).c_str(), version);
    }
};

TEST_P(Frame, InitFillsTheLibraryNode)
{
    struct Library *base = open(1);
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(base->lib_Node.ln_Type, NT_LIBRARY);
    EXPECT_EQ(base->lib_Node.ln_Pri, 0);
    EXPECT_STREQ(base->lib_Node.ln_Name, GetParam().file);
    EXPECT_EQ(base->lib_Flags, 6) << "LIBF_CHANGED | LIBF_SUMUSED, no delayed expunge";
    EXPECT_EQ(base->lib_Version, 1);
    EXPECT_EQ(base->lib_Revision, GetParam().revision);
    EXPECT_STREQ(base->lib_IdString, GetParam().idString);
    EXPECT_EQ(base->lib_OpenCnt, 1);
    exec()->CloseLibrary(exec(), base);
}

TEST_P(Frame, OpenCountsVersionsZeroAndOneButRefusesTwo)
{
    struct Library *first = open(0);
    ASSERT_NE(first, nullptr);
    struct Library *second = open(1);
    EXPECT_EQ(second, first);
    EXPECT_EQ(first->lib_OpenCnt, 2);
    EXPECT_EQ(open(2), nullptr);
    EXPECT_EQ(first->lib_OpenCnt, 2) << "a refused open does not count";
    exec()->CloseLibrary(exec(), first);
    exec()->CloseLibrary(exec(), first);
    EXPECT_EQ(first->lib_OpenCnt, 0);
}

TEST_P(Frame, ExpungeWhileOpenOnlyMarksAndAfterLastCloseUnloads)
{
    struct Library *base = open(1);
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(exec()->RemLibrary(exec(), base), 0) << "still open";
    EXPECT_EQ(base->lib_Flags & LIBF_DELEXP, LIBF_DELEXP);
    const BPTR segList = reinterpret_cast<struct PluginBase *>(base)->SegList;
    EXPECT_NE(segList, 0);
    exec()->CloseLibrary(exec(), base);
    EXPECT_NE(exec()->FindName(exec(), &AbsExecBase->LibList, GetParam().file), nullptr)
        << "closing never expunges by itself";
    EXPECT_EQ(exec()->RemLibrary(exec(), base), segList) << "the segment list comes back";
    EXPECT_EQ(exec()->FindName(exec(), &AbsExecBase->LibList, GetParam().file), nullptr);
    /* A new open loads the file again from scratch. */
    struct Library *again = open(1);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->lib_Flags, 6);
    exec()->CloseLibrary(exec(), again);
}

TEST_P(Frame, ManagerCountsObtainAndRelease)
{
    struct Library *base = open(1);
    ASSERT_NE(base, nullptr);
    auto *manager = reinterpret_cast<struct LibraryManagerInterface *>(
        exec()->GetInterface(exec(), base, "__library", 1, nullptr));
    ASSERT_NE(manager, nullptr);
    manager->Data.RefCount = 0;
    EXPECT_EQ(manager->Obtain(manager), 1u);
    EXPECT_EQ(manager->Obtain(manager), 2u);
    EXPECT_EQ(manager->Release(manager), 1u);
    exec()->CloseLibrary(exec(), base);
}

TEST_P(Frame, MainInterfaceHasTheFixedSlots)
{
    ovtest::Plugin plugin(GetParam().file);
    ASSERT_TRUE(plugin.ok());
    EXPECT_EQ(plugin->Obtain(plugin.iface()), 0u);
    EXPECT_EQ(plugin->Release(plugin.iface()), 0u);
    EXPECT_EQ(plugin->Expunge, nullptr);
    EXPECT_EQ(plugin->Clone, nullptr);
    EXPECT_EQ(plugin->DoNotify(plugin.iface()), 0u);
    plugin->ExitPlayer(plugin.iface());
    EXPECT_EQ(plugin->Data.Version, 1u);
    EXPECT_EQ(exec()->GetInterface(exec(), plugin.base(), "main", 2, nullptr), nullptr)
        << "the interface is version 1";
    EXPECT_EQ(exec()->GetInterface(exec(), plugin.base(), "other", 1, nullptr), nullptr);
}

TEST_P(Frame, RunAsAProgramEndsWithStatus100)
{
    BPTR seg = ovLoadSeg(pluginPath(GetParam().file).c_str());
    ASSERT_NE(seg, 0);
    EXPECT_EQ(ovRunSegment(seg), 100);
    ovUnLoadSeg(seg);
}

TEST_P(Frame, FileCarriesTheVersionString)
{
    std::vector<uint8_t> bytes = ovtest::readFile(pluginPath(GetParam().file));
    std::string id = GetParam().idString;
    std::string version = std::string("\0$VER: ", 7) + id.substr(0, id.size() - 2);
    std::string image(bytes.begin(), bytes.end());
    EXPECT_NE(image.find(version + std::string(1, '\0')), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    BothPlugins, Frame,
    ::testing::Values(FrameCase{"OV_PT.ovplug", 2, "OV_PT.ovplug 1.2 (20.3.2006)\r\n"},
                      FrameCase{"OV_AIFF.ovplug", 4, "OV_AIFF.ovplug 1.4 (30.11.2006)\r\n"}),
    [](const auto &info) { return info.param.revision == 2 ? "Protracker" : "Aiff"; });

TEST(AiffFrame, InitFailsWithoutDosLibrary)
{
    ovTestFailOpenLibrary("dos.library");
    EXPECT_EQ(exec()->OpenLibrary(exec(), pluginPath("OV_AIFF.ovplug").c_str(), 1), nullptr);
    EXPECT_EQ(exec()->FindName(exec(), &AbsExecBase->LibList, "OV_AIFF.ovplug"), nullptr)
        << "no library is created";
}

TEST(AiffFrame, InitClosesDosAgainWhenItsInterfaceFails)
{
    struct Library *dos = exec()->OpenLibrary(exec(), "dos.library", 50);
    ASSERT_NE(dos, nullptr);
    const uint16 opensBefore = dos->lib_OpenCnt;
    ovTestFailGetInterface("dos.library", "main");
    EXPECT_EQ(exec()->OpenLibrary(exec(), pluginPath("OV_AIFF.ovplug").c_str(), 1), nullptr);
    EXPECT_EQ(dos->lib_OpenCnt, opensBefore) << "dos.library was closed again";
    EXPECT_EQ(exec()->FindName(exec(), &AbsExecBase->LibList, "OV_AIFF.ovplug"), nullptr);
    exec()->CloseLibrary(exec(), dos);
}

TEST(AiffFrame, HoldsDosWhileLoadedAndReleasesItOnExpunge)
{
    struct Library *dos = exec()->OpenLibrary(exec(), "dos.library", 50);
    ASSERT_NE(dos, nullptr);
    const uint16 opensBefore = dos->lib_OpenCnt;
    {
        ovtest::Plugin plugin("OV_AIFF.ovplug");
        ASSERT_TRUE(plugin.ok());
        EXPECT_EQ(dos->lib_OpenCnt, opensBefore + 1);
        EXPECT_NE(plugin.close(), 0);
    }
    EXPECT_EQ(dos->lib_OpenCnt, opensBefore);
    exec()->CloseLibrary(exec(), dos);
}

TEST(Loader, FilesWithoutAResidentTagAreNotLibraries)
{
    std::string path = ovtest::tempPath("not-a-library.ovplug");
    ovtest::writeFile(path, std::vector<uint8_t>(100, 0x4A));
    EXPECT_EQ(exec()->OpenLibrary(exec(), path.c_str(), 0), nullptr);
    EXPECT_EQ(exec()->OpenLibrary(exec(), "no-such.ovplug", 0), nullptr);
}

} // namespace

namespace {

/* The platform counts an interface's users itself: it cannot call each
 * interface's own Obtain, whose Self type only the interface's users know
 * (calling it through another type is undefined, and clang's function
 * sanitizer stops on it). */
TEST(Interfaces, GetAndDropCountUsersOnTheInterface)
{
    ovtest::Plugin plugin("OV_PT.ovplug");
    ASSERT_TRUE(plugin.ok());
    const uint32 users = plugin->Data.RefCount;
    struct Interface *again = exec()->GetInterface(exec(), plugin.base(), "main", 1, nullptr);
    ASSERT_EQ(again, reinterpret_cast<struct Interface *>(plugin.iface()));
    EXPECT_EQ(plugin->Data.RefCount, users + 1);
    exec()->DropInterface(exec(), again);
    EXPECT_EQ(plugin->Data.RefCount, users);
    EXPECT_EQ(plugin->Obtain(plugin.iface()), 0u) << "the main interface's own Obtain keeps no count";
    EXPECT_EQ(plugin->Data.RefCount, users);
}

} // namespace
