/* The real modules: each plays through the plug-in as the reference renders
 * it, the fast renderer matches the reference in every mode, and the song
 * scan ends at the sample where pt_render reads the row that starts the
 * song again. The XM file is refused. */
#include "protracker/replayer_internal.h"
#include "pt_test_util.h"

#include <cstring>
#include <filesystem>

using namespace pttest;

TEST(PtRealModules, PlayScanAndMatchTheReference)
{
    OV_REQUIRE_MODS();
    ovtest::Plugin plugin("OV_PT.ovplug");
    ASSERT_TRUE(plugin.ok());
    auto xm = ovtest::readFile(ovtest::modsDir() + "/not-a-protracker-module.xm.mod");
    auto xmStream = moduleStream(xm);
    EXPECT_EQ(
        plugin->TestPlayer(plugin.iface(), nullptr, xm.data(), static_cast<uint32>(xm.size())), 0);
    EXPECT_EQ(plugin->OpenPlayer(plugin.iface(), "x", xmStream.get()), 0);
    /* 60 seconds in the plug-in's mode, filter off and on, the other modes
     * for a few; under qemu (OV_TEST_QUICK=1) a few seconds and one song end */
    const int32 longBlocks = 44100 * longRenderSeconds(60, 4) / 16384;
    const int32 shortFrames = 44100 * longRenderSeconds(5, 1);
    int modules = 0;
    for (const auto &entry : std::filesystem::directory_iterator(ovtest::modsDir())) {
        const std::string path = entry.path().string();
        if (entry.path().extension() != ".mod" || path.find(".xm.") != std::string::npos)
            continue;
        modules++;
        auto image = ovtest::readFile(path);
        EXPECT_EQ(plugin->TestPlayer(plugin.iface(), nullptr, image.data(),
                                     static_cast<uint32>(image.size())),
                  2);
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
            for (int mode = 0; mode < PT_MODES; mode++) {
                LoadedModule fast(image), reference(image);
                fast.state->filter_on = reference.state->filter_on = filterOn;
                ASSERT_EQ(render(pt_render, fast.state, shortFrames, mode),
                          render(ovtest::ptReferenceRender, reference.state, shortFrames, mode))
                    << path << " mode " << mode << " filter " << filterOn;
            }
        }

        /* pt_render in the plug-in's blocks up to each end of the song: the
         * next tick is due there and reads a row, and not one sample earlier */
        int64 ends[2];
        for (int32 passes = 1; passes <= 2; passes++) {
            LoadedModule scanned(image);
            ends[passes - 1] = pt_song_samples(scanned.state, passes, 1LL << 40, ovtest::exec());
        }
        ASSERT_GT(ends[0], 44100) << path;
        ASSERT_GT(ends[1], ends[0]) << path;
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
    EXPECT_EQ(modules, 7);
}
