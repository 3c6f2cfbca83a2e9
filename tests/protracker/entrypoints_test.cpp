/* OV_PT.ovplug driven through its interface the way the host drives it; the
 * real modules play through it as the reference renders them and end where
 * the song scan says, and the XM file is refused. */
#include "protracker/replayer_internal.h"
#include "pt_test_util.h"

#include <cstring>
#include <filesystem>

using namespace pttest;

namespace {

class PtPlugin : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(plugin.ok()); }

    ovtest::Plugin plugin{"OV_PT.ovplug"};
    std::vector<uint8_t> module = ovtools::ModuleWriter()
                                      .sample(1, waveSample(1000, 3), 64, 0, 0, 1000)
                                      .cell(0, 0, 1, 428, 1)
                                      .cell(0, 2, 0, 214, 1, 0xE, 0x00)
                                      .bytes();
};

} // namespace

TEST_F(PtPlugin, DescriptorAndTheCallsThatReadNoStream)
{
    EXPECT_EQ(plugin->AnnouncePlayer(plugin.iface(), 7599), nullptr);
    const PlayerInfo *info = plugin->AnnouncePlayer(plugin.iface(), 7600);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(plugin->AnnouncePlayer(plugin.iface(), 0xFFFFFFFFu), info);
    EXPECT_EQ(std::string(info->Name) + "|" + info->Description + "|" + info->Extension,
              "Protracker|Protracker Player|");
    EXPECT_NE(std::strstr(info->Author, "\n\n"), nullptr);
    EXPECT_EQ(std::vector<uint32>(
                  {info->LoadMode, info->Flags, info->PluginVersion, info->InterfaceVersion}),
              std::vector<uint32>({2, 0, 10200, 10400}));

    /* 1083 bytes are refused without a look at the data */
    std::vector<uint8_t> head(1084, 0);
    std::memcpy(head.data() + 1080, "M.K.", 4);
    EXPECT_EQ(plugin->TestPlayer(plugin.iface(), nullptr, head.data(), 1084), 2);
    EXPECT_EQ(plugin->TestPlayer(plugin.iface(), nullptr, nullptr, 1083), 0);
    head[1083] = '!';
    EXPECT_EQ(plugin->TestPlayer(plugin.iface(), nullptr, head.data(), 1084), 0);
    EXPECT_EQ(plugin->SeekPlayer(plugin.iface(), nullptr, 900), -2);
    EXPECT_EQ(plugin->DoNotify(plugin.iface()) + plugin->Obtain(plugin.iface()), 0u);
    EXPECT_EQ(plugin->Release(plugin.iface()), 0u);
    plugin->ExitPlayer(plugin.iface());
}

TEST_F(PtPlugin, HostOrderDecodesTheReferenceBytesInStereoAndMono)
{
    auto stream = moduleStream(module);
    char *texts[] = {stream->InfoText1, stream->InfoText2, stream->InfoText3, stream->InfoText4,
                     stream->InfoText5};
    for (char *text : texts)
        text[0] = 'x';
    ASSERT_EQ(plugin->InitPlayer(plugin.iface(), stream.get()), 1);
    EXPECT_EQ(stream->OutputBufferPlus4, static_cast<uint8_t *>(stream->OutputBuffer) + 4);
    ASSERT_EQ(plugin->OpenPlayer(plugin.iface(), "ignored.mod", stream.get()), 1);
    EXPECT_EQ(std::vector<uint32>({stream->SampleFormat, stream->SampleRate, stream->Channels,
                                   stream->Duration, stream->Word1324, stream->Word1344,
                                   stream->Word1348, stream->Word1352}),
              std::vector<uint32>({2, 44100, 2, 0, 0, 0, 1, 25}));
    for (const char *text : texts)
        EXPECT_EQ(text[0], '\0');

    LoadedModule reference(module);
    const uint8_t *got = static_cast<const uint8_t *>(stream->OutputBuffer);
    for (int block = 0; block < 4; block++) {
        const bool mono = block == 3; /* 16-bit values side by side */
        stream->Channels = mono ? 1 : 2;
        ASSERT_EQ(plugin->DecodeFramePlayer(plugin.iface(), stream.get(), nullptr), 16384);
        auto expected = render(ovtest::ptReferenceRender, reference.state, 16384,
                               mono ? PT_MODE_16BIT : PT_MODE_16BIT | PT_MODE_STEREO);
        expected.resize(mono ? 32768 : 65536);
        EXPECT_EQ(std::vector<uint8_t>(got, got + expected.size()), expected) << block;
        EXPECT_LT(std::count(expected.begin(), expected.end(), 0), expected.size() / 2) << block;
    }
    plugin->ClosePlayer(plugin.iface(), stream.get());
    EXPECT_EQ(std::vector<void *>(
                  {stream->PlayerHandle, stream->OutputBuffer, stream->OutputBufferPlus4}),
              std::vector<void *>(3, nullptr));
    plugin->ClosePlayer(plugin.iface(), stream.get());
    plugin->ClosePlayer(plugin.iface(), nullptr);
}

TEST_F(PtPlugin, RefusalsAndDecodingWithoutWhatItNeeds)
{
    std::vector<uint8_t> broken(module.begin(), module.end() - 1);
    auto stream = moduleStream(broken);
    stream->InfoText1[0] = 'x';
    EXPECT_EQ(plugin->DecodeFramePlayer(plugin.iface(), nullptr, nullptr), 0);
    ASSERT_EQ(plugin->InitPlayer(plugin.iface(), stream.get()), 1);
    EXPECT_EQ(plugin->OpenPlayer(plugin.iface(), "x", stream.get()), 0);
    EXPECT_EQ(stream->PlayerHandle, nullptr);
    EXPECT_EQ(stream->InfoText1[0], 'x');
    EXPECT_EQ(plugin->DecodeFramePlayer(plugin.iface(), stream.get(), nullptr), 0);
    plugin->ClosePlayer(plugin.iface(), stream.get());

    /* the wrong loading mode: loaded, refused, and released by the close */
    auto byName = moduleStream(module, 1);
    uint32 before = ovTestLiveAllocations();
    EXPECT_EQ(plugin->OpenPlayer(plugin.iface(), "x", byName.get()), 0);
    EXPECT_EQ(ovTestLiveAllocations(), before + 1);
    EXPECT_EQ(byName->SampleRate, 0u);
    plugin->ClosePlayer(plugin.iface(), byName.get());
    EXPECT_EQ(ovTestLiveAllocations(), before);

    /* a module but no buffer, then no channels: nothing is decoded */
    auto open = moduleStream(module);
    ASSERT_EQ(plugin->OpenPlayer(plugin.iface(), "x", open.get()), 1);
    EXPECT_EQ(plugin->DecodeFramePlayer(plugin.iface(), open.get(), nullptr), 0);
    ASSERT_EQ(plugin->InitPlayer(plugin.iface(), open.get()), 1);
    open->Channels = 0;
    EXPECT_EQ(plugin->DecodeFramePlayer(plugin.iface(), open.get(), nullptr), 0);
    EXPECT_EQ(static_cast<pt_state *>(open->PlayerHandle)->sample_counter, 0);
    plugin->ClosePlayer(plugin.iface(), open.get());
}

TEST(PtRealModules, PlayScanAndMatchTheReference)
{
    OV_REQUIRE_MODS();
    ovtest::Plugin plugin("OV_PT.ovplug");
    ASSERT_TRUE(plugin.ok());
    /* 60 seconds, filter off and on; under qemu (OV_TEST_QUICK=1) a few
     * seconds and one song end */
    const int32 longBlocks = 44100 * longRenderSeconds(60, 4) / 16384;
    int modules = 0;
    for (const auto &entry : std::filesystem::directory_iterator(ovtest::modsDir())) {
        const std::string path = entry.path().string();
        const bool xm = path.find(".xm.") != std::string::npos;
        if (entry.path().extension() != ".mod")
            continue;
        modules++;
        auto image = ovtest::readFile(path);
        auto size = static_cast<uint32>(image.size());
        EXPECT_EQ(plugin->TestPlayer(plugin.iface(), nullptr, image.data(), size), xm ? 0 : 2);
        if (xm) {
            EXPECT_EQ(plugin->OpenPlayer(plugin.iface(), "x", moduleStream(image).get()), 0);
            continue;
        }
        for (uint32 filterOn : {0u, 1u}) {
            auto stream = moduleStream(image);
            LoadedModule reference(image);
            ASSERT_EQ(plugin->InitPlayer(plugin.iface(), stream.get()), 1);
            ASSERT_EQ(plugin->OpenPlayer(plugin.iface(), path.c_str(), stream.get()), 1) << path;
            static_cast<pt_state *>(stream->PlayerHandle)->filter_on = reference.state->filter_on =
                filterOn;
            for (int32 block = 0; block < longBlocks; block++) {
                ASSERT_EQ(plugin->DecodeFramePlayer(plugin.iface(), stream.get(), nullptr), 16384);
                auto expected = render(ovtest::ptReferenceRender, reference.state, 16384);
                ASSERT_EQ(std::memcmp(stream->OutputBuffer, expected.data(), 65536), 0)
                    << path << " block " << block << " filter " << filterOn;
            }
            plugin->ClosePlayer(plugin.iface(), stream.get());
        }

        /* pt_render in the plug-in's blocks up to each end of the song: the
         * next tick is due there and reads a row, and not one sample earlier */
        int64 ends[2];
        for (int32 passes = 1; passes <= 2; passes++) {
            LoadedModule scanned(image);
            ends[passes - 1] = pt_song_samples(scanned.state, passes, 1LL << 40, ovtest::exec());
        }
        ASSERT_TRUE(ends[0] > 44100 && ends[1] > ends[0]) << path;
        LoadedModule m(image);
        int64 rendered = 0;
        for (int64 end : {ends[0] - 1, ends[0], ends[1] - 1, ends[1]}) {
            if (end > ends[0] && longRenderSeconds(1, 0) == 0)
                break;
            for (int32 frames; rendered < end; rendered += frames) {
                frames = static_cast<int32>(std::min<int64>(end - rendered, 16384));
                render(pt_render, m.state, frames);
            }
            EXPECT_EQ(pt_next_tick_reads_row(m.state), end == ends[0] || end == ends[1])
                << path << " at " << end;
        }
    }
    EXPECT_EQ(modules, 8);
}
