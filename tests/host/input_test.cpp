/* Reading files through the plug-ins, in-process: seeking a stream, and the
 * plug-ins unloaded when let go. */
#include "host/input/plugins.h"
#include "host/input/stream.h"
#include "orvane_run.h"

#include <fstream>

namespace {

TEST(PlayerSession, SeeksAnAiffFileToWholeSecondsAlsoAfterItsEndAndAModuleByRestarting)
{
    using Result = orvane::PlayerSession::Seek::Result;
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
    auto expectSeek = [](orvane::PlayerSession::Seek seek, Result result, uint64_t frame) {
        EXPECT_EQ(seek.result, result);
        EXPECT_EQ(seek.frame, frame);
    };
    /* The block decoded at the open gives way to the sought one. */
    expectSeek(session.seekBy(8000, 1, std::nullopt), Result::Moved, 16000);
    expectNextAt(2);
    while (!session.decode().empty()) {}
    expectSeek(session.seekBy(19999, -1, std::nullopt), Result::Moved, 8000);
    expectNextAt(1);
    expectSeek(session.seekBy(8000, 2, std::nullopt), Result::Refused, 0);
    expectSeek(session.seekBy(8000, -5, std::nullopt), Result::Moved, 0);
    expectNextAt(0);
    /* A module starts again and decodes its way there, short of the limit. */
    orvane::PlayerSession module(plugins, hosttest::demoSong());
    expectSeek(module.seekBy(44100, 10, std::nullopt), Result::Moved, 11 * 44100);
    expectSeek(module.seekBy(44100, 10, 11 * 44100), Result::PastLimit, 0);
    expectSeek(module.seekBy(44100, -10, std::nullopt), Result::Moved, 0);
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
