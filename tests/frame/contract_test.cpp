/* What both plug-ins present to the system and the host: resident tag, tag lists,
 * library frame, the slots of "main" (named by the symbols at their addresses),
 * descriptors, recognition, and what the stream entry points share. */
#include "frame/libframe.h"
#include "support/plugin_host.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <cstring>
#include <sstream>

namespace {

using ovtest::exec;

/* Every symbol of the loaded file that holds `address`, at its loaded address. */
struct FileSymbols {
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
            read(names, header.e_shoff + table.sh_link * sizeof names);
            for (size_t at = table.sh_offset;
                 table.sh_type == SHT_SYMTAB && at < table.sh_offset + table.sh_size;
                 at += sizeof(ElfW(Sym))) {
                ElfW(Sym) symbol{};
                read(symbol, at);
                if (symbol.st_shndx != SHN_UNDEF && names.sh_offset + symbol.st_name < file.size())
                    all.emplace_back(reinterpret_cast<uintptr_t>(info.dli_fbase) + symbol.st_value,
                                     (const char *)file.data() + names.sh_offset + symbol.st_name);
            }
        }
    }
    /* Where the symbol `name` (or the file-local one the compiler decorated) sits; 0 if nowhere. */
    uintptr_t at(const std::string &name) const
    {
        for (const auto &[where, symbol] : all)
            if (symbol == name || symbol == "_ZL" + std::to_string(name.size()) + name)
                return where;
        return 0;
    }
    std::vector<std::pair<uintptr_t, std::string>> all;
};

/* Each slot of a vector table holds the symbol of that word of `names` ("-": empty);
 * returns how many there are. */
size_t expectSlots(const FileSymbols &symbols, void *const *slots, const std::string &prefix,
                   const char *names)
{
    std::istringstream words(names);
    size_t slot = 0;
    for (std::string name; words >> name; slot++)
        EXPECT_EQ(reinterpret_cast<uintptr_t>(slots[slot]),
                  name == "-" ? 0u : symbols.at(prefix + name))
            << "slot " << slot << " is not " << name;
    return slot;
}

template <typename T> T valueOf(const struct TagItem *tags, Tag tag)
{
    for (; tags->ti_Tag != TAG_DONE && tags->ti_Tag != tag; tags++) {}
    return (T)tags->ti_Data;
}

/* A text field: the text, then zero bytes to the field's full width. */
void expectTextField(const char *field, size_t width, const char *text)
{
    EXPECT_STREQ(field, text);
    for (size_t i = std::strlen(text); i < width; i++)
        ASSERT_EQ(field[i], 0) << "byte " << i << " of a " << width << "-byte field";
}

struct PluginCase {
    const char *file;
    uint16 revision;
    const char *idString, *mainSlots;
    size_t baseFields;  /* after the frame's own ones */
    uint32 refusedHost; /* the highest host version refused */
    const char *name, *description, *extension;
    uint8 loadMode, flags;
    uint32 pluginVersion;
    std::string head; /* the fewest first bytes the plug-in recognises */
};

const char playerSlots[] = "Obtain Release - - AnnouncePlayer InitPlayer OpenPlayer ClosePlayer "
                           "DecodeFramePlayer ExitPlayer TestPlayer SeekPlayer DoNotify";
const std::string encoderSlots = std::string(playerSlots) +
                                 " InitEncoder OpenEncoder EncodeFrameEncoder CloseEncoder "
                                 "FinishEncoder";

const PluginCase pluginCases[] = {
    {"OV_PT.ovplug", 2, "OV_PT.ovplug 1.2 (20.3.2006)\r\n", playerSlots, 0, 7599, "Protracker",
     "Protracker Player", "", 2, 0x00, 10200, std::string(1080, 0) + "M.K."},
    {"OV_AIFF.ovplug", 4, "OV_AIFF.ovplug 1.4 (30.11.2006)\r\n", encoderSlots.c_str(), 2, 7999,
     "AIFF", "Simple AIFF Player - (For use with CD Audio Discs under OS4)", "aiff", 1, 0xC4, 10400,
     std::string("FORM\0\0\0\0AIFF\0\0\0\0\0", 17)},
};

std::string pluginPath(const char *file) { return ovtest::binDir() + "/" + file; }

class PluginContract : public ::testing::TestWithParam<PluginCase> {};

TEST_P(PluginContract, ResidentTagAndTagListsDescribeTheLibraryThatOpensAndExpunges)
{
    BPTR segment = ovLoadSeg(pluginPath(GetParam().file).c_str());
    ASSERT_NE(segment, 0);
    EXPECT_EQ(ovRunSegment(segment), 100) << "run as a program, the file ends at once";
    const FileSymbols symbols(ovSegmentSymbol(segment, "_start"));
    auto *resident = reinterpret_cast<const struct Resident *>(symbols.at("libResident"));
    ASSERT_NE(resident, nullptr);
    EXPECT_EQ(resident->rt_MatchTag, resident);
    EXPECT_EQ(resident->rt_EndSkip, resident + 1);
    EXPECT_EQ((std::vector<int>{resident->rt_MatchWord, resident->rt_Flags, resident->rt_Version,
                                resident->rt_Type, resident->rt_Pri}),
              (std::vector<int>{RTC_MATCHWORD, RTF_AUTOINIT | RTF_NATIVE, 1, NT_LIBRARY, 0}));
    EXPECT_STREQ(resident->rt_Name, GetParam().file);
    EXPECT_STREQ(resident->rt_IdString, GetParam().idString);

    auto *creation = static_cast<const struct TagItem *>(resident->rt_Init);
    ASSERT_EQ(symbols.at("libCreateTags"), reinterpret_cast<uintptr_t>(creation)) << "in the file";
    EXPECT_EQ(valueOf<size_t>(creation, CLT_DataSize),
              sizeof(struct PluginBase) + GetParam().baseFields * sizeof(void *));
    EXPECT_EQ(symbols.at("libInit"), valueOf<uintptr_t>(creation, CLT_InitFunc));
    auto *interfaces = valueOf<const struct TagItem *const *>(creation, CLT_Interfaces);
    for (int i = 0; i < 2; i++) {
        EXPECT_STREQ(valueOf<const char *>(interfaces[i], MIT_Name), i == 0 ? "__library" : "main");
        EXPECT_EQ(valueOf<uint32>(interfaces[i], MIT_Version), 1u);
    }
    EXPECT_EQ(interfaces[2], nullptr);
    EXPECT_EQ(symbols.at("ovFrameMainVectors"), valueOf<uintptr_t>(interfaces[1], MIT_VectorTable));
    auto *manager = valueOf<void *const *>(interfaces[0], MIT_VectorTable);
    expectSlots(symbols, manager, "",
                "_manager_Obtain _manager_Release - - libOpen libClose libExpunge -");
    EXPECT_EQ(manager[8], VECTOR_TABLE_END);
    ovUnLoadSeg(segment);

    const std::string path = pluginPath(GetParam().file);
    struct Library *base = exec()->OpenLibrary(exec(), path.c_str(), 0);
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(
        (std::vector<int>{base->lib_Node.ln_Type, base->lib_Node.ln_Pri, base->lib_Flags,
                          base->lib_Version, base->lib_Revision}),
        (std::vector<int>{NT_LIBRARY, 0, LIBF_CHANGED | LIBF_SUMUSED, 1, GetParam().revision}));
    EXPECT_STREQ(base->lib_IdString, GetParam().idString);
    EXPECT_EQ(exec()->OpenLibrary(exec(), path.c_str(), 1), base);
    EXPECT_EQ(exec()->OpenLibrary(exec(), path.c_str(), 2), nullptr);
    exec()->CloseLibrary(exec(), base);
    EXPECT_EQ(exec()->RemLibrary(exec(), base), 0) << "still open";
    EXPECT_EQ(base->lib_Flags, LIBF_CHANGED | LIBF_SUMUSED | LIBF_DELEXP);
    const BPTR segList = reinterpret_cast<struct PluginBase *>(base)->SegList;
    exec()->CloseLibrary(exec(), base);
    EXPECT_NE(exec()->FindName(exec(), &AbsExecBase->LibList, GetParam().file), nullptr)
        << "closing never expunges by itself";
    EXPECT_NE(segList, 0);
    EXPECT_EQ(exec()->RemLibrary(exec(), base), segList) << "the segment list comes back";
    EXPECT_EQ(exec()->FindName(exec(), &AbsExecBase->LibList, GetParam().file), nullptr);
}

/* The slots of "main" in the numbered order the host calls them by, what the
 * stream entry points do with streams that hold nothing yet, the announcement
 * and recognition. */
TEST_P(PluginContract, EntryPointsAnnounceTakeEmptyStreamsAndKnowTheirFiles)
{
    ovtest::Plugin plugin(GetParam().file);
    ASSERT_TRUE(plugin.ok());
    const PluginCase &c = GetParam();
    struct OVPlugIFace *self = plugin.iface();
    void **vectors = InterfaceVectors(reinterpret_cast<struct Interface *>(self));
    EXPECT_EQ(plugin->Data.PositiveSize / sizeof(void *),
              expectSlots(FileSymbols(vectors[4]), vectors, "_OVPlug_", c.mainSlots));
    EXPECT_EQ(self->Obtain(self) + self->Release(self) + self->DoNotify(self), 0u) << "no count";
    int hostArg = 0;
    auto stream = ovtest::newStream();
    EXPECT_EQ(plugin->InitPlayer(self, nullptr), 0);
    for (struct PlayerStream *empty : {static_cast<struct PlayerStream *>(nullptr), stream.get()}) {
        plugin->ClosePlayer(self, empty);
        EXPECT_EQ(plugin->DecodeFramePlayer(self, empty, &hostArg), 0);
    }
    ASSERT_EQ(plugin->InitPlayer(self, stream.get()), 1);
    EXPECT_EQ(stream->OutputBufferPlus4, static_cast<uint8 *>(stream->OutputBuffer) + 4);
    EXPECT_EQ(plugin->DecodeFramePlayer(self, stream.get(), &hostArg), 0) << "no handle";
    plugin->ClosePlayer(self, stream.get());
    plugin->ClosePlayer(self, stream.get());
    EXPECT_EQ(stream->OutputBuffer, nullptr);
    EXPECT_EQ(plugin->AnnouncePlayer(self, c.refusedHost), nullptr);
    EXPECT_NE(plugin->AnnouncePlayer(self, 0xFFFFFFFFu), nullptr) << "compared unsigned";
    const struct PlayerInfo *info = plugin->AnnouncePlayer(self, c.refusedHost + 1);
    ASSERT_NE(info, nullptr);
    expectTextField(info->Name, PLAYERINFO_NAME_LEN, c.name);
    expectTextField(info->Description, PLAYERINFO_DESCRIPTION_LEN, c.description);
    expectTextField(info->Extension, PLAYERINFO_EXTENSION_LEN, c.extension);
    expectTextField(info->Author, PLAYERINFO_AUTHOR_LEN, info->Author);
    std::string head = c.head; /* recognised; one byte short, or a byte changed, not */
    auto test = [&](size_t length) {
        return plugin->TestPlayer(self, nullptr, head.data(), uint32(length));
    };
    EXPECT_EQ(test(head.size()), c.loadMode);
    EXPECT_EQ(test(head.size() - 1), 0);
    for (char &byte : head) {
        if (byte == 0)
            continue;
        byte ^= 0x20;
        EXPECT_EQ(test(head.size()), 0) << "byte " << &byte - head.data() << " changed";
        byte ^= 0x20;
    }
    EXPECT_EQ((std::vector<uint32>{info->LoadMode, info->Flags, info->PluginVersion,
                                   info->InterfaceVersion}),
              (std::vector<uint32>{c.loadMode, c.flags, c.pluginVersion, 10400}));
    if (std::strcmp(c.file, "OV_AIFF.ovplug") != 0)
        return;
    const auto *full = reinterpret_cast<const struct EncoderPlayerInfo *>(info);
    EXPECT_EQ(full->Options, &full->Quality);
    for (const struct EncoderOption *option : {&full->Quality, &full->Format})
        EXPECT_EQ(option->One + option->Zero[0] + option->Zero[1] + option->Zero[2], 1u);
    EXPECT_EQ(full->Quality.One + full->Format.One, 2u);
    EXPECT_EQ(full->Quality.Text, full->QualityText);
    expectTextField(full->QualityText, 32, "Match Decode Quality");
    EXPECT_EQ(full->Format.Text, full->FormatText);
    expectTextField(full->FormatText, 8, "aiff");
    for (uint8 byte : full->Reserved)
        ASSERT_EQ(byte, 0);
}

INSTANTIATE_TEST_SUITE_P(BothPlugins, PluginContract, ::testing::ValuesIn(pluginCases));

/* The AIFF library's init needs dos.library and its interface; the faults
 * hit only the library and interface named. */
TEST(AiffFrame, InitNeedsDosAndClosesItAgainWhenItsInterfaceFails)
{
    struct Library *dos = exec()->OpenLibrary(exec(), "dos.library", 50);
    ASSERT_NE(dos, nullptr);
    const uint16 opensBefore = dos->lib_OpenCnt;
    for (bool failOpen : {true, false}) {
        ovTestFailOpenLibrary(failOpen ? "dos.library" : nullptr);
        ovTestFailGetInterface(failOpen ? nullptr : "dos.library", "main");
        EXPECT_EQ(exec()->OpenLibrary(exec(), pluginPath("OV_AIFF.ovplug").c_str(), 1), nullptr);
        EXPECT_EQ(dos->lib_OpenCnt, opensBefore) << "dos.library was closed again";
        EXPECT_TRUE(ovtest::Plugin("OV_PT.ovplug").ok()) << "only what is named fails";
    }
    ovTestFailOpenLibrary("dos.library");
    ovTestClearFaults();
    EXPECT_TRUE(ovtest::Plugin("OV_AIFF.ovplug").ok()) << "every fault cleared";
    exec()->CloseLibrary(exec(), dos);
}

} // namespace
