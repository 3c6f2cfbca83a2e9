/* The platform's library loader against library files that each lack one
 * piece (loader_fixture.cpp), the library path and the expunge. */
#include "support/plugin_host.h"

#include <string>

namespace {

using ovtest::exec;

const std::string fixtureDir = OV_TEST_FIXTURE_DIR;

bool isLoaded(const char *file)
{
    return exec()->FindName(exec(), &AbsExecBase->LibList, file) != nullptr;
}

struct LoaderCase {
    const char *file;
    bool opens;        /* OpenLibrary gives a base */
    bool hasMain;      /* GetInterface finds "main" */
    int32 runResult;   /* ovRunSegment: _start's result, -1 without one */
};

TEST(Loader, EachFileOpensAsFarAsItsPiecesAllow)
{
    const LoaderCase cases[] = {
        {"Complete.library", true, true, 42},
        {"NoMainVectors.library", true, false, -1},
        {"NoManager.library", false, false, -1},
        {"EndSkipBack.library", false, false, -1},
        {"NoResident", false, false, -1},
    };
    ovExpungeLibraries(); /* what earlier tests left closed: counts below are ours */
    for (const LoaderCase &c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = fixtureDir + "/" + c.file;
        struct Library *base = exec()->OpenLibrary(exec(), path.c_str(), 0);
        EXPECT_EQ(base != nullptr, c.opens);
        if (base != nullptr) {
            struct Interface *main = exec()->GetInterface(exec(), base, "main", 1, nullptr);
            EXPECT_EQ(main != nullptr, c.hasMain);
            exec()->DropInterface(exec(), main);
            EXPECT_EQ(exec()->GetInterface(exec(), base, "other", 1, nullptr), nullptr);
            exec()->CloseLibrary(exec(), base);
            EXPECT_EQ(ovExpungeLibraries(), 1u) << "a closed library is unloaded";
        }
        EXPECT_FALSE(isLoaded(c.file)) << "nothing is kept of it";

        BPTR segment = ovLoadSeg(path.c_str());
        ASSERT_NE(segment, 0);
        EXPECT_EQ(ovRunSegment(segment), c.runResult);
        ovUnLoadSeg(segment);
    }
}

TEST(Loader, ExpungeUnloadsOnlyClosedFilesAndNeverTheSystemsOwn)
{
    const std::string path = fixtureDir + "/Complete.library";
    ovExpungeLibraries();
    struct Library *dos = exec()->OpenLibrary(exec(), "dos.library", 0);
    ASSERT_NE(dos, nullptr);
    exec()->CloseLibrary(exec(), dos);
    struct Library *base = exec()->OpenLibrary(exec(), path.c_str(), 0);
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(ovExpungeLibraries(), 0u);
    EXPECT_TRUE(isLoaded("Complete.library")) << "still open";
    exec()->CloseLibrary(exec(), base);
    EXPECT_EQ(ovExpungeLibraries(), 1u);
    EXPECT_FALSE(isLoaded("Complete.library"));
    EXPECT_TRUE(isLoaded("dos.library"));
}

TEST(Loader, BareNamesAreLookedUpFolderByFolder)
{
    const std::string saved = ovGetLibraryPath();
    const struct {
        std::string folders;
        bool found;
    } cases[] = {
        {fixtureDir, true},
        {"/no/such/folder:" + fixtureDir, true},
        {"::" + fixtureDir + ":", true},
        {"/no/such/folder", false},
        {"", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("path \"" + c.folders + "\"");
        ovSetLibraryPath(c.folders.c_str());
        struct Library *base = exec()->OpenLibrary(exec(), "Complete.library", 0);
        EXPECT_EQ(base != nullptr, c.found);
        exec()->CloseLibrary(exec(), base);
        ovExpungeLibraries();
    }
    ovSetLibraryPath(fixtureDir.c_str());
    EXPECT_EQ(exec()->OpenLibrary(exec(), "./Complete.library", 0), nullptr)
        << "a name with a '/' is a path, not looked up";
    ovSetLibraryPath(saved.c_str());
}

} // namespace
