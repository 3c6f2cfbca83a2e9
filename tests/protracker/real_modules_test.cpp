/* The real modules play through the plug-in as the reference renders them and
 * end where the song scan says; the XM file is refused. */
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
