/* The platform's library loader against library files that each lack or
 * spoil one piece (loader_fixture.cpp), the library path, the expunge and
 * the platform's own libraries. */
#include "platform/loadable_file.h"
#include "support/plugin_host.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

using ovtest::exec;

const std::string fixtureDir = OV_TEST_FIXTURE_DIR;

bool isMapped(const std::string &path)
{
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr)
        dlclose(handle);
    return handle != nullptr;
}

bool hasInterface(struct Library *base, const char *name, uint32 version)
{
    struct Interface *iface = exec()->GetInterface(exec(), base, name, version, nullptr);
    exec()->DropInterface(exec(), iface);
    return iface != nullptr;
}

const struct Fixture {
    const char *file;
    bool opens, hasMain;
    bool stays;      /* still loaded after its close and an expunge */
    int32 runResult; /* ovRunSegment: _start's result, -1 without one */
} fixtures[] = {
    // clang-format off
    {"Complete.library", true, true, false, 42},     {"NoMainVectors.library", true, false, false, -1},
    {"NoInit.library", true, true, true, -1},        {"NoManager.library", false, false, false, -1},
    {"NoInterfaces.library", false, false, false, -1}, {"InitFails.library", false, false, false, -1},
    {"EndSkipBack.library", false, false, false, -1}, {"NotALibrary.library", false, false, false, -1},
    {"NoAutoInit.library", false, false, false, -1},  {"NoResident", false, false, false, -1},
    // clang-format on
};

void PrintTo(const Fixture &fixture, std::ostream *out) { *out << fixture.file; }

using LoaderFiles = testing::TestWithParam<Fixture>;

TEST_P(LoaderFiles, OpenAsFarAsTheirPiecesAllow)
{
    ovExpungeLibraries(); /* what earlier tests left closed: counts below are ours */
    const Fixture &c = GetParam();
    const std::string path = fixtureDir + "/" + c.file;
    struct Library *base = nullptr;
    {
#if defined(__SANITIZE_ADDRESS__)
        /* A library without init never learns its segment list: it stays for good. */
        __lsan::ScopedDisabler keptForGood;
#endif
        base = exec()->OpenLibrary(exec(), path.c_str(), 0);
    }
    EXPECT_EQ(base != nullptr, c.opens);
    if (base != nullptr) {
        EXPECT_GE(malloc_usable_size(base), sizeof(struct Library)) << "at least a base";
        EXPECT_EQ(base->lib_Node.ln_Type, NT_LIBRARY);
        EXPECT_EQ(hasInterface(base, "main", 1), c.hasMain);
        EXPECT_TRUE(hasInterface(base, "bare", 0));
        EXPECT_FALSE(hasInterface(base, "bare", 1)) << "no version tag: version 0";
        EXPECT_EQ(ovExpungeLibraries(), 0u) << "still open";
        exec()->CloseLibrary(exec(), base);
        EXPECT_EQ(ovExpungeLibraries(), c.stays ? 0u : 1u) << "a closed library is unloaded";
    }
    EXPECT_EQ(exec()->FindName(exec(), &AbsExecBase->LibList, c.file) != nullptr, c.stays);
    EXPECT_EQ(isMapped(path), c.stays) << "a refused or expunged file is unloaded";
    BPTR segment = ovLoadSeg(path.c_str());
    ASSERT_NE(segment, 0);
    EXPECT_EQ(ovRunSegment(segment), c.runResult);
    ovUnLoadSeg(segment);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, LoaderFiles, testing::ValuesIn(fixtures),
                         [](const auto &row) { return ovtest::caseName(row.param.file); });

TEST(Loader, NothingButALibraryFileOpens)
{
    EXPECT_EQ(exec()->OpenLibrary(exec(), nullptr, 0), nullptr);
    EXPECT_EQ(ovLoadSeg(nullptr), 0);
    EXPECT_EQ(ovRunSegment(0), -1);
    ovUnLoadSeg(0);
    /* A library node the loader did not make has no manager: nothing to call. */
    char name[] = "Stranger.library";
    struct Library stranger {};
    stranger.lib_Node.ln_Name = name;
    exec()->AddTail(exec(), &AbsExecBase->LibList, &stranger.lib_Node);
    EXPECT_EQ(exec()->OpenLibrary(exec(), name, 0), nullptr);
    EXPECT_FALSE(hasInterface(&stranger, "main", 0));
    exec()->CloseLibrary(exec(), &stranger);
    EXPECT_EQ(exec()->RemLibrary(exec(), &stranger), 0);
    exec()->Remove(exec(), &stranger.lib_Node);
    EXPECT_FALSE(hasInterface(nullptr, "main", 0));
    EXPECT_EQ(exec()->RemLibrary(exec(), nullptr), 0);
    exec()->CloseLibrary(exec(), nullptr);
    exec()->DeleteLibrary(exec(), nullptr);
}

/* A file cut short or of another machine is refused with the reason before
 * the dynamic loader sees it: a segment past the file's end would be mapped
 * and stop the process at its first touch. */
struct Damage {
    std::vector<uint8_t> bytes;
    const char *fault; /* in the reason; "" none */
};

void PrintTo(const Damage &damage, std::ostream *out) { *out << damage.bytes.size() << " bytes"; }

std::vector<Damage> damages()
{
    const std::vector<uint8_t> whole = ovtest::readFile(ovtest::binDir() + "/OV_PT.ovplug");
    auto cut = [&](size_t size) {
        return std::vector<uint8_t>(whole.begin(), whole.begin() + size);
    };
    auto flipped = [&](size_t at, uint8_t bits) {
        std::vector<uint8_t> bytes = whole;
        bytes[at] ^= bits;
        return bytes;
    };
    return {
        {whole, ""},
        {{}, "an empty file"},
        {std::vector<uint8_t>(100, 0x4A), "not an ELF file"},
        {cut(40), "cut short in its ELF header (40 of"},
        {cut(sizeof(ElfW(Ehdr)) + 20), "its program headers lie past its end"},
        {cut(std::min<size_t>(whole.size() / 2, 20000)), "segment"},
        {flipped(EI_CLASS, 3), "-bit ELF file; this program loads"},
        {flipped(EI_DATA, 3), "-endian ELF file; this program loads"},
        {flipped(offsetof(ElfW(Ehdr), e_machine), 0xFF), "built for another machine"},
    };
}

using DamagedFiles = testing::TestWithParam<Damage>;

TEST_P(DamagedFiles, AreRefusedBeforeTheyAreMapped)
{
    const Damage &c = GetParam();
    const std::string path = ovtest::tempPath(
        ovtest::caseName(testing::UnitTest::GetInstance()->current_test_info()->name()) +
        ".ovplug");
    ovtest::writeFile(path, c.bytes);
    const std::string fault = ov::loadableFileFault(path.c_str());
    SCOPED_TRACE(std::to_string(c.bytes.size()) + " bytes: " + fault);
    EXPECT_NE(fault.find(c.fault), std::string::npos);
    EXPECT_EQ(fault.empty(), c.fault[0] == 0);
    struct Library *base = exec()->OpenLibrary(exec(), path.c_str(), 0);
    EXPECT_EQ(base != nullptr, fault.empty());
    exec()->CloseLibrary(exec(), base);
    ovExpungeLibraries();
}

INSTANTIATE_TEST_SUITE_P(Loader, DamagedFiles, testing::ValuesIn(damages()), [](const auto &row) {
    return std::to_string(row.index) + "_" +
           ovtest::caseName(*row.param.fault ? row.param.fault : "whole");
});

TEST(Loader, BareNamesAreLookedUpFolderByFolderAndGoAtTheirLastCloseWhenAsked)
{
    const std::string saved = ovGetLibraryPath();
    const struct {
        std::string folders;
        bool found;
    } cases[] = {
        // clang-format off
        {fixtureDir, true}, {"/no/such/folder:" + fixtureDir, true}, {"::" + fixtureDir + ":", true},
        {"/no/such/folder", false}, {"", false},
        // clang-format on
    };
    for (const auto &c : cases) {
        ovSetLibraryPath(c.folders.c_str());
        struct Library *base = exec()->OpenLibrary(exec(), "Complete.library", 0);
        EXPECT_EQ(base != nullptr, c.found) << "path \"" << c.folders << "\"";
        exec()->CloseLibrary(exec(), base);
        ovExpungeLibraries();
    }
    ovSetLibraryPath(fixtureDir.c_str());
    EXPECT_EQ(exec()->OpenLibrary(exec(), "./Complete.library", 0), nullptr) << "'/': a path";
    /* Asked to go while open, the library goes at its own last close: the
     * segment list that close hands back is unloaded. */
    const std::string path = fixtureDir + "/Complete.library";
    struct Library *base = exec()->OpenLibrary(exec(), "Complete.library", 0);
    ASSERT_NE(base, nullptr);
    ovSetLibraryPath(saved.c_str());
    EXPECT_EQ(exec()->RemLibrary(exec(), base), 0);
    EXPECT_TRUE(isMapped(path));
    exec()->CloseLibrary(exec(), base);
    EXPECT_EQ(exec()->FindName(exec(), &AbsExecBase->LibList, "Complete.library"), nullptr);
    EXPECT_FALSE(isMapped(path));
}

uint32 firstAnswer(struct Interface *) { return 1; }
uint32 secondAnswer(struct Interface *) { return 2; }

/* Users are counted on the interface by GetInterface and DropInterface
 * (never below none), not through the interface's own Obtain. */
TEST(Loader, BuiltinLibrariesStayAndTakeTheirNewestTable)
{
    void *const tables[2][6] = {
        {nullptr, nullptr, nullptr, nullptr, (void *)firstAnswer, VECTOR_TABLE_END},
        {nullptr, nullptr, nullptr, nullptr, (void *)secondAnswer, VECTOR_TABLE_END}};
    for (uint16 version : {3, 4}) {
        ovRegisterBuiltinLibrary("ovtest.library", version, tables[version - 3]);
        EXPECT_EQ(exec()->OpenLibrary(exec(), "ovtest.library", version + 1), nullptr);
        struct Library *base = exec()->OpenLibrary(exec(), "ovtest.library", version);
        ASSERT_NE(base, nullptr);
        struct Interface *main = exec()->GetInterface(exec(), base, "main", 1, nullptr);
        EXPECT_EQ(exec()->GetInterface(exec(), base, "main", 1, nullptr), main);
        EXPECT_EQ(main->Data.RefCount, 2u);
        const auto answer =
            reinterpret_cast<uint32 (*)(struct Interface *)>(InterfaceVectors(main)[4]);
        EXPECT_EQ(answer(main), version - 2u) << "registered again: the new table";
        for (int drops = 0; drops < 3; drops++)
            exec()->DropInterface(exec(), main);
        EXPECT_EQ(main->Data.RefCount, 0u);
        exec()->CloseLibrary(exec(), base);
        EXPECT_EQ(base->lib_OpenCnt, 0);
    }
    ovExpungeLibraries();
    EXPECT_NE(exec()->FindName(exec(), &AbsExecBase->LibList, "ovtest.library"), nullptr);
}

} // namespace
