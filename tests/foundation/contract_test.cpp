/* What both plug-ins present to the system and to the host: the resident
 * tag and tag lists the library is made from, the library frame, the slot
 * order of the interface "main" (each slot named by the symbol the file's
 * own symbol table gives its address), the descriptors and the stream
 * entry points both share. */
#include "frame/libframe.h"
#include "support/plugin_host.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

using ovtest::exec;

/* Every symbol of the loaded file that holds `address`, at its loaded address. */
class FileSymbols {
public:
    explicit FileSymbols(const void *address)
    {
        Dl_info info{};
        if (dladdr(address, &info) == 0)
            return;
        const std::vector<uint8_t> file = ovtest::readFile(info.dli_fname);
        auto read = [&file](auto &record, size_t offset) {
            if (offset + sizeof record <= file.size())
                std::memcpy(&record, file.data() + offset, sizeof record);
        };
        ElfW(Ehdr) header{};
        read(header, 0);
        for (size_t i = 0; i < header.e_shnum; i++) {
            ElfW(Shdr) table{}, names{};
            read(table, header.e_shoff + i * sizeof table);
            if (table.sh_type != SHT_SYMTAB)
                continue;
            read(names, header.e_shoff + table.sh_link * sizeof names);
            for (size_t at = table.sh_offset; at < table.sh_offset + table.sh_size;
                 at += sizeof(ElfW(Sym))) {
                ElfW(Sym) symbol{};
                read(symbol, at);
                if (symbol.st_shndx != SHN_UNDEF && names.sh_offset + symbol.st_name < file.size())
                    symbols_.emplace_back(
                        reinterpret_cast<uintptr_t>(info.dli_fbase) + symbol.st_value,
                        reinterpret_cast<const char *>(file.data() + names.sh_offset +
                                                       symbol.st_name));
            }
        }
    }
    /* Whether a symbol named `name` (or the compiler's decoration of it) sits there. */
    bool names(const void *address, const std::string &name) const
    {
        for (const auto &[at, symbol] : symbols_)
            if (at == reinterpret_cast<uintptr_t>(address) &&
                symbol.find(name) != std::string::npos)
                return true;
        return false;
    }
    const void *find(const std::string &name) const
    {
        for (const auto &[at, symbol] : symbols_)
            if (symbol.find(name) != std::string::npos)
                return reinterpret_cast<const void *>(at);
        return nullptr;
    }

private:
    std::vector<std::pair<uintptr_t, std::string>> symbols_;
};

std::vector<Tag> tagsOf(const struct TagItem *tags)
{
    std::vector<Tag> found;
    for (; tags->ti_Tag != TAG_DONE; tags++)
        found.push_back(tags->ti_Tag);
    return found;
}

template <typename T> T valueOf(const struct TagItem *tags, Tag tag)
{
    for (; tags->ti_Tag != TAG_DONE; tags++)
        if (tags->ti_Tag == tag)
            return (T)tags->ti_Data;
    return T{};
}

/* A text field: the text, then zero bytes to the field's full width. */
void expectTextField(const char *field, size_t width, const char *text)
{
    ASSERT_LT(std::strlen(text), width);
    EXPECT_STREQ(field, text);
    for (size_t i = std::strlen(text); i < width; i++)
        ASSERT_EQ(field[i], 0) << "byte " << i << " of a " << width << "-byte field";
}

struct PluginCase {
    const char *file;
    uint16 revision;
    const char *idString;
    uint32 slots;       /* of the table "main" */
    size_t baseFields;  /* after the frame's own ones */
    uint32 refusedHost; /* the highest host version refused */
    const char *name, *description, *extension;
    uint8 loadMode, flags;
    uint32 pluginVersion;
    std::vector<uint8_t> recognised; /* first bytes the plug-in takes */
};

std::vector<uint8_t> bytesWith(size_t length, std::vector<std::pair<size_t, const char *>> texts)
{
    std::vector<uint8_t> bytes(length);
    for (auto [at, text] : texts)
        std::memcpy(&bytes[at], text, std::strlen(text));
    return bytes;
}

const PluginCase pluginCases[] = {
    {"OV_PT.ovplug", 2, "OV_PT.ovplug 1.2 (20.3.2006)\r\n", 13, 0, 7599, "Protracker",
     "Protracker Player", "", 2, 0x00, 10200, bytesWith(1084, {{1080, "M.K."}})},
    {"OV_AIFF.ovplug", 4, "OV_AIFF.ovplug 1.4 (30.11.2006)\r\n", 18, 2, 7999, "AIFF",
     "Simple AIFF Player - (For use with CD Audio Discs under OS4)", "aiff", 1, 0xC4, 10400,
     bytesWith(17, {{0, "FORM"}, {8, "AIFF"}})},
};

std::string pluginPath(const char *file) { return ovtest::binDir() + "/" + file; }

class PluginContract : public ::testing::TestWithParam<PluginCase> {
protected:
    void TearDown() override { ovExpungeLibraries(); }
    struct Library *open(uint32 version)
    {
        return exec()->OpenLibrary(exec(), pluginPath(GetParam().file).c_str(), version);
    }
};

/* In the numbered order the host calls them by; a table ends after its last slot. */
TEST_P(PluginContract, MainSlotsHoldTheEntryPointsInTheirNumberedOrder)
{
    const char *const slotNames[] = {
        "Obtain",
        "Release",
        "",
        "",
        "AnnouncePlayer",
        "InitPlayer",
        "OpenPlayer",
        "ClosePlayer",
        "DecodeFramePlayer",
        "ExitPlayer",
        "TestPlayer",
        "SeekPlayer",
        "DoNotify",
        "InitEncoder",
        "OpenEncoder",
        "EncodeFrameEncoder",
        "CloseEncoder",
        "FinishEncoder",
    };
    ovtest::Plugin plugin(GetParam().file);
    ASSERT_TRUE(plugin.ok());
    void **vectors = InterfaceVectors(reinterpret_cast<struct Interface *>(plugin.iface()));
    EXPECT_EQ(plugin->Data.PositiveSize, GetParam().slots * sizeof(void *));
    const FileSymbols symbols(vectors[4]);
    for (uint32 slot = 0; slot < GetParam().slots; slot++) {
        if (*slotNames[slot] == 0)
            EXPECT_EQ(vectors[slot], nullptr) << "slot " << slot;
        else
            EXPECT_TRUE(symbols.names(vectors[slot], std::string("_OVPlug_") + slotNames[slot]))
                << "slot " << slot << " is not " << slotNames[slot];
    }
    EXPECT_EQ(plugin->Obtain(plugin.iface()), 0u) << "the main interface keeps no count";
    EXPECT_EQ(plugin->Release(plugin.iface()), 0u);
    EXPECT_EQ(plugin->DoNotify(plugin.iface()), 0u);
    plugin->ExitPlayer(plugin.iface());
    EXPECT_EQ(exec()->GetInterface(exec(), plugin.base(), "main", 2, nullptr), nullptr)
        << "the interface is version 1";
}

TEST_P(PluginContract, ResidentTagAndTagListsDescribeTheLibrary)
{
    BPTR segment = ovLoadSeg(pluginPath(GetParam().file).c_str());
    ASSERT_NE(segment, 0);
    EXPECT_EQ(ovRunSegment(segment), 100) << "run as a program, the file ends at once";
    const FileSymbols symbols(ovSegmentSymbol(segment, "_start"));
    auto *resident = static_cast<const struct Resident *>(symbols.find("libResident"));
    ASSERT_NE(resident, nullptr);
    EXPECT_EQ(resident->rt_MatchWord, RTC_MATCHWORD);
    EXPECT_EQ(resident->rt_MatchTag, resident);
    EXPECT_EQ(resident->rt_EndSkip, resident + 1);
    EXPECT_EQ(resident->rt_Flags, RTF_AUTOINIT | RTF_NATIVE);
    EXPECT_EQ(resident->rt_Version, 1);
    EXPECT_EQ(resident->rt_Type, NT_LIBRARY);
    EXPECT_EQ(resident->rt_Pri, 0);
    EXPECT_STREQ(resident->rt_Name, GetParam().file);
    EXPECT_STREQ(resident->rt_IdString, GetParam().idString);

    auto *creation = static_cast<const struct TagItem *>(resident->rt_Init);
    ASSERT_TRUE(symbols.names(creation, "libCreateTags")) << "init points into the file";
    EXPECT_EQ(tagsOf(creation), (std::vector<Tag>{CLT_DataSize, CLT_InitFunc, CLT_Interfaces}));
    EXPECT_EQ(valueOf<size_t>(creation, CLT_DataSize),
              sizeof(struct PluginBase) + GetParam().baseFields * sizeof(void *));
    EXPECT_TRUE(symbols.names(valueOf<void *>(creation, CLT_InitFunc), "libInit"));
    auto *interfaces = valueOf<const struct TagItem *const *>(creation, CLT_Interfaces);
    const char *const managerSlots[] = {"_manager_Obtain", "_manager_Release", "",           "",
                                        "libOpen",         "libClose",         "libExpunge", ""};
    for (int i = 0; i < 2; i++) {
        SCOPED_TRACE(i == 0 ? "manager" : "main");
        const std::vector<Tag> interfaceTags{MIT_Name, MIT_VectorTable, MIT_Version};
        EXPECT_EQ(tagsOf(interfaces[i]), interfaceTags);
        EXPECT_STREQ(valueOf<const char *>(interfaces[i], MIT_Name), i == 0 ? "__library" : "main");
        EXPECT_EQ(valueOf<uint32>(interfaces[i], MIT_Version), 1u);
    }
    EXPECT_EQ(interfaces[2], nullptr);
    auto *manager = valueOf<void *const *>(interfaces[0], MIT_VectorTable);
    for (size_t slot = 0; slot < std::size(managerSlots); slot++)
        EXPECT_TRUE(*managerSlots[slot] ? symbols.names(manager[slot], managerSlots[slot])
                                        : manager[slot] == nullptr)
            << "manager slot " << slot;
    EXPECT_EQ(manager[std::size(managerSlots)], VECTOR_TABLE_END);
    ovUnLoadSeg(segment);
}

TEST_P(PluginContract, InitFillsTheLibraryNode)
{
    struct Library *base = open(1);
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(base->lib_Node.ln_Type, NT_LIBRARY);
    EXPECT_EQ(base->lib_Node.ln_Pri, 0);
    EXPECT_STREQ(base->lib_Node.ln_Name, GetParam().file);
    EXPECT_EQ(base->lib_Flags, LIBF_CHANGED | LIBF_SUMUSED);
    EXPECT_EQ(base->lib_Version, 1);
    EXPECT_EQ(base->lib_Revision, GetParam().revision);
    EXPECT_STREQ(base->lib_IdString, GetParam().idString);
    EXPECT_EQ(reinterpret_cast<struct PluginBase *>(base)->IExec, exec());
    std::vector<uint8_t> bytes = ovtest::readFile(pluginPath(GetParam().file));
    std::string id = GetParam().idString;
    std::string version = std::string("\0$VER: ", 7) + id.substr(0, id.size() - 2) + '\0';
    EXPECT_NE(std::string(bytes.begin(), bytes.end()).find(version), std::string::npos);
    exec()->CloseLibrary(exec(), base);
}

TEST_P(PluginContract, OpensVersionsUpToOneAndExpungesOnlyWhenClosed)
{
    struct Library *base = open(0);
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(open(1), base);
    EXPECT_EQ(open(2), nullptr);
    EXPECT_EQ(base->lib_OpenCnt, 2) << "a refused open does not count";
    exec()->CloseLibrary(exec(), base);
    EXPECT_EQ(exec()->RemLibrary(exec(), base), 0) << "still open";
    EXPECT_EQ(base->lib_Flags, LIBF_CHANGED | LIBF_SUMUSED | LIBF_DELEXP);
    const BPTR segList = reinterpret_cast<struct PluginBase *>(base)->SegList;
    EXPECT_NE(segList, 0);
    exec()->CloseLibrary(exec(), base);
    EXPECT_EQ(base->lib_OpenCnt, 0);
    EXPECT_NE(exec()->FindName(exec(), &AbsExecBase->LibList, GetParam().file), nullptr)
        << "closing never expunges by itself";
    EXPECT_EQ(exec()->RemLibrary(exec(), base), segList) << "the segment list comes back";
    EXPECT_EQ(exec()->FindName(exec(), &AbsExecBase->LibList, GetParam().file), nullptr);
    struct Library *again = open(1);
    ASSERT_NE(again, nullptr) << "a new open loads the file again from scratch";
    auto *manager = reinterpret_cast<struct LibraryManagerInterface *>(
        exec()->GetInterface(exec(), again, "__library", 1, nullptr));
    ASSERT_NE(manager, nullptr);
    manager->Data.RefCount = 0;
    EXPECT_EQ(manager->Obtain(manager), 1u);
    EXPECT_EQ(manager->Obtain(manager), 2u);
    EXPECT_EQ(manager->Release(manager), 1u);
    exec()->CloseLibrary(exec(), again);
}

TEST_P(PluginContract, AnnouncesItsDescriptorToNewerHostsOnly)
{
    ovtest::Plugin plugin(GetParam().file);
    ASSERT_TRUE(plugin.ok());
    const PluginCase &c = GetParam();
    for (uint32 host : {0u, c.refusedHost})
        EXPECT_EQ(plugin->AnnouncePlayer(plugin.iface(), host), nullptr) << host;
    EXPECT_NE(plugin->AnnouncePlayer(plugin.iface(), 0xFFFFFFFFu), nullptr) << "compared unsigned";
    const struct PlayerInfo *info = plugin->AnnouncePlayer(plugin.iface(), c.refusedHost + 1);
    ASSERT_NE(info, nullptr);
    expectTextField(info->Name, PLAYERINFO_NAME_LEN, c.name);
    expectTextField(info->Description, PLAYERINFO_DESCRIPTION_LEN, c.description);
    expectTextField(info->Extension, PLAYERINFO_EXTENSION_LEN, c.extension);
    /* author line, blank line, a credit line */
    const char *blank = std::strstr(info->Author, "\n\n");
    ASSERT_NE(blank, nullptr);
    EXPECT_GT(blank - info->Author, 0);
    EXPECT_GT(std::strlen(blank + 2), 0u);
    expectTextField(info->Author, PLAYERINFO_AUTHOR_LEN, info->Author);
    EXPECT_EQ(info->LoadMode, c.loadMode);
    EXPECT_EQ(info->Flags, c.flags);
    EXPECT_EQ(info->PluginVersion, c.pluginVersion);
    EXPECT_EQ(info->InterfaceVersion, 10400u);
}

TEST_P(PluginContract, RecognisesItsFilesByTheFirstBytes)
{
    ovtest::Plugin plugin(GetParam().file);
    ASSERT_TRUE(plugin.ok());
    std::vector<uint8_t> head = GetParam().recognised;
    auto test = [&](uint32 length) {
        return plugin->TestPlayer(plugin.iface(), nullptr, head.data(), length);
    };
    const auto length = static_cast<uint32>(head.size());
    EXPECT_EQ(test(length), GetParam().loadMode);
    EXPECT_EQ(test(length - 1), 0) << "one byte short";
    EXPECT_EQ(plugin->TestPlayer(plugin.iface(), nullptr, nullptr, length - 1), 0)
        << "a short length is refused without looking at the data";
    /* each signature byte, changed in turn (or its case), is refused */
    for (size_t at = 0; at < head.size(); at++) {
        if (head[at] == 0)
            continue;
        for (uint8_t other : {uint8_t(head[at] ^ 0x20), uint8_t('!')}) {
            std::swap(head[at], other);
            EXPECT_EQ(test(length), 0) << "byte " << at << " changed";
            std::swap(head[at], other);
        }
    }
}

TEST_P(PluginContract, StreamOutputBufferComesAndGoesWithTheStream)
{
    ovtest::Plugin plugin(GetParam().file);
    ASSERT_TRUE(plugin.ok());
    int hostArg = 0;
    EXPECT_EQ(plugin->InitPlayer(plugin.iface(), nullptr), 0);
    plugin->ClosePlayer(plugin.iface(), nullptr);
    EXPECT_EQ(plugin->DecodeFramePlayer(plugin.iface(), nullptr, &hostArg), 0);
    auto stream = ovtest::newStream();
    EXPECT_EQ(plugin->DecodeFramePlayer(plugin.iface(), stream.get(), &hostArg), 0)
        << "no output buffer, no handle";
    const uint32 before = ovTestLiveAllocations();
    ASSERT_EQ(plugin->InitPlayer(plugin.iface(), stream.get()), 1);
    EXPECT_EQ(stream->OutputBufferPlus4, static_cast<uint8 *>(stream->OutputBuffer) + 4);
    EXPECT_EQ(ovTestLiveAllocations(), before + 1);
    EXPECT_EQ(plugin->DecodeFramePlayer(plugin.iface(), stream.get(), &hostArg), 0) << "no handle";
    for (int twice = 0; twice < 2; twice++) {
        plugin->ClosePlayer(plugin.iface(), stream.get());
        EXPECT_EQ(stream->OutputBuffer, nullptr);
        EXPECT_EQ(stream->OutputBufferPlus4, nullptr);
        EXPECT_EQ(ovTestLiveAllocations(), before);
    }
    stream->OutputBufferPlus4 = stream.get();
    ovTestFailAllocation(1);
    EXPECT_EQ(plugin->InitPlayer(plugin.iface(), stream.get()), 0);
    EXPECT_EQ(stream->OutputBufferPlus4, nullptr) << "cleaned up through ClosePlayer";
}

INSTANTIATE_TEST_SUITE_P(BothPlugins, PluginContract, ::testing::ValuesIn(pluginCases),
                         [](const auto &info) {
                             return info.param.revision == 2 ? "Protracker" : "Aiff";
                         });

/* The AIFF library holds dos.library from its init to its expunge. */
TEST(AiffFrame, InitNeedsDosAndClosesItAgainWhenItsInterfaceFails)
{
    const std::string path = pluginPath("OV_AIFF.ovplug");
    struct Library *dos = exec()->OpenLibrary(exec(), "dos.library", 50);
    ASSERT_NE(dos, nullptr);
    const uint16 opensBefore = dos->lib_OpenCnt;
    ovTestFailOpenLibrary("dos.library");
    EXPECT_EQ(exec()->OpenLibrary(exec(), path.c_str(), 1), nullptr);
    ovTestFailOpenLibrary(nullptr);
    ovTestFailGetInterface("dos.library", "main");
    EXPECT_EQ(exec()->OpenLibrary(exec(), path.c_str(), 1), nullptr);
    EXPECT_NE(exec()->GetInterface(exec(), dos, "__library", 1, nullptr), nullptr)
        << "only the named interface fails";
    EXPECT_EQ(dos->lib_OpenCnt, opensBefore) << "dos.library was closed again";
    EXPECT_EQ(exec()->FindName(exec(), &AbsExecBase->LibList, "OV_AIFF.ovplug"), nullptr);
    ovTestFailGetInterface(nullptr, nullptr);
    {
        ovtest::Plugin plugin("OV_AIFF.ovplug");
        ASSERT_TRUE(plugin.ok());
        EXPECT_EQ(dos->lib_OpenCnt, opensBefore + 1);
        EXPECT_NE(plugin.close(), 0);
    }
    EXPECT_EQ(dos->lib_OpenCnt, opensBefore);
    exec()->CloseLibrary(exec(), dos);
}

} // namespace
