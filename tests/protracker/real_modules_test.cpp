/* The real modules: each loads, plays through the plug-in, and the fast
 * renderer matches the reference byte for byte. */
#include "pt_test_util.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

using namespace pttest;

namespace {

std::vector<std::string> realModules()
{
    std::vector<std::string> paths;
    for (const auto &entry : std::filesystem::directory_iterator(ovtest::modsDir())) {
        std::string name = entry.path().filename().string();
        if (name.size() > 4 && name.substr(name.size() - 4) == ".mod" &&
            name.find(".xm.") == std::string::npos)
            paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

} // namespace

TEST(PtRealModules, PlayThroughThePlugin)
{
    OV_REQUIRE_MODS();
    ovtest::Plugin plugin("OV_PT.ovplug");
    ASSERT_TRUE(plugin.ok());
    auto paths = realModules();
    EXPECT_EQ(paths.size(), 7u);
    for (const auto &path : paths) {
        auto image = ovtest::readFile(path);
        ASSERT_EQ(plugin->TestPlayer(plugin.iface(), nullptr, image.data(), static_cast<uint32>(image.size())), 2) << path;
        auto stream = ovtest::newStream();
        stream->FileData = image.data();
        stream->FileSize = static_cast<int32>(image.size());
        stream->LoadMode = 2;
        ASSERT_EQ(plugin->InitPlayer(plugin.iface(), stream.get()), 1);
        ASSERT_EQ(plugin->OpenPlayer(plugin.iface(), path.c_str(), stream.get()), 1) << path;
        bool heard = false;
        for (int block = 0; block < 8; block++) {
            ASSERT_EQ(plugin->DecodeFramePlayer(plugin.iface(), stream.get(), nullptr), 16384);
            const uint8_t *bytes = static_cast<const uint8_t *>(stream->OutputBuffer);
            heard = heard || std::count(bytes, bytes + 65536, 0) < 60000;
        }
        EXPECT_TRUE(heard) << path;
        plugin->ClosePlayer(plugin.iface(), stream.get());
    }
}

TEST(PtRealModules, XmFileIsRefused)
{
    OV_REQUIRE_MODS();
    ovtest::Plugin plugin("OV_PT.ovplug");
    ASSERT_TRUE(plugin.ok());
    auto image = ovtest::readFile(ovtest::modsDir() + "/not-a-protracker-module.xm.mod");
    ASSERT_GT(image.size(), 1084u);
    EXPECT_EQ(plugin->TestPlayer(plugin.iface(), nullptr, image.data(), static_cast<uint32>(image.size())), 0);
    auto stream = ovtest::newStream();
    stream->FileData = image.data();
    stream->FileSize = static_cast<int32>(image.size());
    stream->LoadMode = 2;
    EXPECT_EQ(plugin->OpenPlayer(plugin.iface(), "x", stream.get()), 0);
    EXPECT_EQ(stream->PlayerHandle, nullptr);
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
            for (bool filterOn : {false, true}) {
                LoadedModule fast(image), reference(image);
                ASSERT_NE(fast.state, nullptr) << path;
                fast.state->filter_on = reference.state->filter_on = filterOn ? 1 : 0;
                int32 frames = mode == (PT_MODE_16BIT | PT_MODE_STEREO) ? longFrames : shortFrames;
                auto a = renderFast(fast.state, frames, pt_mode_format(mode));
                auto b = renderReference(reference.state, frames, pt_mode_format(mode));
                ASSERT_EQ(firstDifference(a, b), -1) << path << " mode " << mode << " filter " << filterOn;
            }
        }
    }
}
