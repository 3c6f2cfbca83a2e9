/* Reading files through the plug-ins, in-process: seeking a stream, and the
 * plug-ins unloaded when let go. */
#include "host/input/plugins.h"
#include "host/input/stream.h"
#include "orvane_run.h"

#include <fstream>

namespace {

TEST(PlayerSession, SeeksAnAiffFileToWholeSecondsAlsoAfterItsEnd)
{
    const std::vector<uint8_t> pcm = ovtest::testPcm(3 * 8000, 1);
    orvane::PluginSet plugins(ovtest::binDir());
    orvane::PlayerSession session(plugins, hosttest::aiffFile("seek.aiff", 1, 3 * 8000, 16, 8000));
    ASSERT_FALSE(session.restartable());
    auto expectNextAt = [&](uint32_t second) {
        std::span<const uint8_t> block = session.decode();
        ASSERT_FALSE(block.empty());
        ASSERT_LE(block.size(), pcm.size() - second * 16000);
        EXPECT_TRUE(std::equal(block.begin(), block.end(), pcm.begin() + second * 16000));
    };
    /* The block decoded at the open gives way to the sought one. */
    EXPECT_EQ(session.seek(2), 2);
    expectNextAt(2);
    while (!session.decode().empty()) {}
    EXPECT_EQ(session.seek(1), 1);
    expectNextAt(1);
    EXPECT_EQ(session.seek(3), -1);
    EXPECT_EQ(session.seek(0), 0);
    expectNextAt(0);
}

TEST(PluginSet, LettingGoOfThePluginsUnloadsTheirFiles)
{
    auto mapped = [](const std::string &name) {
        std::ifstream maps("/proc/self/maps");
        std::string text((std::istreambuf_iterator<char>(maps)), {});
        return text.find(name) != std::string::npos;
    };
    {
        orvane::PluginSet plugins(ovtest::binDir());
        ASSERT_EQ(plugins.plugins().size(), 2u);
        EXPECT_TRUE(mapped("/OV_PT.ovplug"));
        /* A second hold on the same interface is given back when let go. */
        std::string whyNot;
        const uint32 held = plugins.plugins()[1]->iface()->Data.RefCount;
        orvane::LoadedPlugin::open(ovtest::binDir() + "/OV_PT.ovplug", whyNot).reset();
        EXPECT_EQ(plugins.plugins()[1]->iface()->Data.RefCount, held);
    }
    EXPECT_FALSE(mapped("/OV_PT.ovplug"));
    EXPECT_FALSE(mapped("/OV_AIFF.ovplug"));
}

} // namespace
