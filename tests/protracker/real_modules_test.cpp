/* The real modules: each plays through the plug-in, and the fast renderer
 * matches the reference byte for byte; the XM file is refused. */
#include "pt_test_util.h"

#include <algorithm>
#include <filesystem>

using namespace pttest;

namespace {

std::vector<std::string> realModules()
{
    std::vector<std::string> paths;
    for (const auto &entry : std::filesystem::directory_iterator(ovtest::modsDir())) {
        std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".mod" && name.find(".xm.") == std::string::npos)
            paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

} // namespace

TEST(PtRealModules, PlayThroughThePluginAndTheXmFileIsRefused)
{
    OV_REQUIRE_MODS();
    ovtest::Plugin plugin("OV_PT.ovplug");
    ASSERT_TRUE(plugin.ok());
    auto paths = realModules();
    EXPECT_EQ(paths.size(), 7u);
    paths.push_back(ovtest::modsDir() + "/not-a-protracker-module.xm.mod");
    for (const auto &path : paths) {
        auto image = ovtest::readFile(path);
        const bool xm = path.find(".xm.") != std::string::npos;
        ASSERT_GT(image.size(), 1084u);
        EXPECT_EQ(plugin->TestPlayer(plugin.iface(), nullptr, image.data(),
                                     static_cast<uint32>(image.size())),
                  xm ? 0 : 2)
            << path;
        auto stream = moduleStream(image);
        ASSERT_EQ(plugin->InitPlayer(plugin.iface(), stream.get()), 1);
        ASSERT_EQ(plugin->OpenPlayer(plugin.iface(), path.c_str(), stream.get()), xm ? 0 : 1);
        size_t silent = 0;
        for (int block = 0; block < 8 && !xm; block++) {
            ASSERT_EQ(plugin->DecodeFramePlayer(plugin.iface(), stream.get(), nullptr), 16384);
            const uint8_t *bytes = static_cast<const uint8_t *>(stream->OutputBuffer);
            silent += static_cast<size_t>(std::count(bytes, bytes + 65536, 0));
        }
        EXPECT_TRUE(xm || silent < 8u * 60000) << path;
        plugin->ClosePlayer(plugin.iface(), stream.get());
    }
}

TEST(PtRealModules, FastRendererMatchesTheReference)
{
    OV_REQUIRE_MODS();
    /* 60 seconds of each module in the plug-in's mode, filter off and on;
     * the other modes for a few seconds. Under qemu (OV_TEST_QUICK=1) the
     * long render is cut to a few seconds. */
    const int32 longFrames = 44100 * longRenderSeconds(60, 4);
    const int32 shortFrames = 44100 * longRenderSeconds(5, 1);
    for (const auto &path : realModules()) {
        auto image = ovtest::readFile(path);
        for (int mode = 0; mode < PT_MODES; mode++) {
            for (uint32 filterOn : {0u, 1u}) {
                LoadedModule fast(image), reference(image);
                ASSERT_NE(fast.state, nullptr) << path;
                fast.state->filter_on = reference.state->filter_on = filterOn;
                int32 frames = mode == (PT_MODE_16BIT | PT_MODE_STEREO) ? longFrames : shortFrames;
                ASSERT_EQ(render(pt_render, fast.state, frames, mode),
                          render(ovtest::ptReferenceRender, reference.state, frames, mode))
                    << path << " mode " << mode << " filter " << filterOn;
            }
        }
    }
}
