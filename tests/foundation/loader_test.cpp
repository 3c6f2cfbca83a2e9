/* The platform's library loader against library files that each lack or
 * spoil one piece (loader_fixture.cpp), the library path, the expunge and
 * the platform's own libraries. */
#include "support/plugin_host.h"

#include <dlfcn.h>
#include <malloc.h>

#include <string>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

using ovtest::exec;

const std::string fixtureDir = OV_TEST_FIXTURE_DIR;

bool isListed(const char *name)
{
    return exec()->FindName(exec(), &AbsExecBase->LibList, name) != nullptr;
}

/* Whether the file is still loaded in the process. */
bool isMapped(const std::string &path)
{
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr)
        dlclose(handle);
    return handle != nullptr;
}

struct Library *openLibrary(const std::string &name, uint32 version)
{
    return exec()->OpenLibrary(exec(), name.c_str(), version);
}

struct LoaderCase {
    const char *file;
    bool opens;      /* OpenLibrary gives a base */
    bool hasMain;    /* GetInterface finds "main" */
    bool stays;      /* still loaded after its close and an expunge */
    int32 runResult; /* ovRunSegment: _start's result, -1 without one */
};

TEST(Loader, EachFileOpensAsFarAsItsPiecesAllow)
{
    const LoaderCase cases[] = {
        {"Complete.library", true, true, false, 42},
        {"NoMainVectors.library", true, false, false, -1},
        {"NoInit.library", true, true, true, -1},
        {"NoManager.library", false, false, false, -1},
        {"NoInterfaces.library", false, false, false, -1},
        {"InitFails.library", false, false, false, -1},
        {"EndSkipBack.library", false, false, false, -1},
        {"NotALibrary.library", false, false, false, -1},
        {"NoAutoInit.library", false, false, false, -1},
        {"NoResident", false, false, false, -1},
    };
    ovExpungeLibraries(); /* what earlier tests left closed: counts below are ours */
    for (const LoaderCase &c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = fixtureDir + "/" + c.file;
        struct Library *base = nullptr;
        {
#if defined(__SANITIZE_ADDRESS__)
            /* A library without init never learns its segment list: it stays for good. */
            __lsan::ScopedDisabler keptForGood;
#endif
            base = openLibrary(path, 0);
        }
        EXPECT_EQ(base != nullptr, c.opens);
        if (base != nullptr) {
            EXPECT_GE(malloc_usable_size(base), sizeof(struct Library)) << "at least a base";
            EXPECT_EQ(base->lib_Node.ln_Type, NT_LIBRARY);
            EXPECT_STREQ(base->lib_Node.ln_Name, c.file);
            struct Interface *main = exec()->GetInterface(exec(), base, "main", 1, nullptr);
            EXPECT_EQ(main != nullptr, c.hasMain);
            exec()->DropInterface(exec(), main);
            struct Interface *bare = exec()->GetInterface(exec(), base, "bare", 0, nullptr);
            EXPECT_NE(bare, nullptr);
            exec()->DropInterface(exec(), bare);
            EXPECT_EQ(exec()->GetInterface(exec(), base, "bare", 1, nullptr), nullptr)
                << "an interface without a version tag is version 0";
            EXPECT_EQ(exec()->GetInterface(exec(), base, "other", 0, nullptr), nullptr);
            exec()->CloseLibrary(exec(), base);
            EXPECT_EQ(ovExpungeLibraries(), c.stays ? 0u : 1u) << "a closed library is unloaded";
        }
        EXPECT_EQ(isListed(c.file), c.stays);
        EXPECT_EQ(isMapped(path), c.stays) << "a refused or expunged file is unloaded";

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
    exec()->CloseLibrary(exec(), openLibrary("dos.library", 0));
    struct Library *base = openLibrary(path, 0);
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(ovExpungeLibraries(), 0u);
    EXPECT_TRUE(isListed("Complete.library")) << "still open";
    exec()->CloseLibrary(exec(), base);
    EXPECT_EQ(ovExpungeLibraries(), 1u);
    EXPECT_FALSE(isMapped(path));
    EXPECT_TRUE(isListed("dos.library"));
    /* Asked to go while open, this library goes at its last close: the
     * segment list the close hands back is unloaded. */
    base = openLibrary(path, 0);
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(exec()->RemLibrary(exec(), base), 0);
    EXPECT_TRUE(isMapped(path));
    exec()->CloseLibrary(exec(), base);
    EXPECT_FALSE(isListed("Complete.library"));
    EXPECT_FALSE(isMapped(path));
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
        struct Library *base = openLibrary("Complete.library", 0);
        EXPECT_EQ(base != nullptr, c.found);
        exec()->CloseLibrary(exec(), base);
        ovExpungeLibraries();
    }
    ovSetLibraryPath(fixtureDir.c_str());
    EXPECT_EQ(openLibrary("./Complete.library", 0), nullptr)
        << "a name with a '/' is a path, not looked up";
    ovSetLibraryPath(saved.c_str());
}

TEST(Loader, RefusesWhatItCannotLoadOrDidNotMake)
{
    const std::string junk = ovtest::tempPath("not-a-library.ovplug");
    ovtest::writeFile(junk, std::vector<uint8_t>(100, 0x4A));
    EXPECT_EQ(openLibrary(junk, 0), nullptr);
    EXPECT_EQ(openLibrary("no-such.ovplug", 0), nullptr);
    EXPECT_EQ(exec()->OpenLibrary(exec(), nullptr, 0), nullptr);
    EXPECT_EQ(ovLoadSeg(nullptr), 0);
    EXPECT_EQ(ovRunSegment(0), -1);
    ovUnLoadSeg(0);
    /* A library node the loader did not make has no manager: nothing to call. */
    char name[] = "Stranger.library";
    struct Library stranger {};
    stranger.lib_Node.ln_Name = name;
    exec()->AddTail(exec(), &AbsExecBase->LibList, &stranger.lib_Node);
    EXPECT_EQ(openLibrary(name, 0), nullptr);
    EXPECT_EQ(exec()->GetInterface(exec(), &stranger, "main", 0, nullptr), nullptr);
    exec()->CloseLibrary(exec(), &stranger);
    EXPECT_EQ(exec()->RemLibrary(exec(), &stranger), 0);
    exec()->Remove(exec(), &stranger.lib_Node);
    EXPECT_EQ(exec()->GetInterface(exec(), nullptr, "main", 0, nullptr), nullptr);
    EXPECT_EQ(exec()->RemLibrary(exec(), nullptr), 0);
    exec()->CloseLibrary(exec(), nullptr);
    exec()->DropInterface(exec(), nullptr);
    exec()->DeleteLibrary(exec(), nullptr);
}

uint32 firstAnswer(struct Interface *) { return 1; }
uint32 secondAnswer(struct Interface *) { return 2; }
void *const firstTable[] = {nullptr,         nullptr, nullptr, nullptr, (void *)firstAnswer,
                            VECTOR_TABLE_END};
void *const secondTable[] = {nullptr,         nullptr, nullptr, nullptr, (void *)secondAnswer,
                             VECTOR_TABLE_END};

/* Users are counted on the interface by GetInterface and DropInterface
 * (never below none), not through the interface's own Obtain. */
TEST(Loader, BuiltinLibrariesStayAndTakeTheirNewestTable)
{
    ovRegisterBuiltinLibrary("ovtest.library", 3, firstTable);
    EXPECT_EQ(openLibrary("ovtest.library", 4), nullptr);
    struct Library *base = openLibrary("ovtest.library", 3);
    ASSERT_NE(base, nullptr);
    auto answer = [base] {
        struct Interface *main = exec()->GetInterface(exec(), base, "main", 1, nullptr);
        EXPECT_EQ(main->Data.RefCount, 1u);
        const uint32 result =
            reinterpret_cast<uint32 (*)(struct Interface *)>(InterfaceVectors(main)[4])(main);
        for (int drops = 0; drops < 2; drops++)
            exec()->DropInterface(exec(), main);
        EXPECT_EQ(main->Data.RefCount, 0u);
        return result;
    };
    EXPECT_EQ(answer(), 1u);
    ovRegisterBuiltinLibrary("ovtest.library", 4, secondTable);
    EXPECT_EQ(answer(), 2u) << "registered again: the new table";
    EXPECT_EQ(openLibrary("ovtest.library", 4), base);
    EXPECT_EQ(base->lib_OpenCnt, 2);
    exec()->CloseLibrary(exec(), base);
    exec()->CloseLibrary(exec(), base);
    EXPECT_EQ(base->lib_OpenCnt, 0);
    ovExpungeLibraries();
    EXPECT_TRUE(isListed("ovtest.library"));
}

} // namespace
