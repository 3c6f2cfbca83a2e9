/* The parts of the stream contract both plug-ins share: output buffer
 * set-up and clean-up, recognition by the first bytes. */
#include "support/plugin_host.h"

#include <cstring>
#include <vector>

namespace {

class StreamContract : public ::testing::TestWithParam<const char *> {};

TEST_P(StreamContract, InitPlayerAllocatesTheOutputBuffer)
{
    ovtest::Plugin plugin(GetParam());
    ASSERT_TRUE(plugin.ok());
    auto stream = ovtest::newStream();
    const uint32 before = ovTestLiveAllocations();
    ASSERT_EQ(plugin->InitPlayer(plugin.iface(), stream.get()), 1);
    ASSERT_NE(stream->OutputBuffer, nullptr);
    EXPECT_EQ(stream->OutputBufferPlus4, static_cast<uint8 *>(stream->OutputBuffer) + 4);
    EXPECT_EQ(ovTestLiveAllocations(), before + 1);
    plugin->ClosePlayer(plugin.iface(), stream.get());
    EXPECT_EQ(stream->OutputBuffer, nullptr);
    EXPECT_EQ(stream->OutputBufferPlus4, nullptr);
    plugin->ClosePlayer(plugin.iface(), stream.get()); /* twice is harmless */
}

TEST_P(StreamContract, InitPlayerCleansUpWhenMemoryIsShort)
{
    ovtest::Plugin plugin(GetParam());
    ASSERT_TRUE(plugin.ok());
    auto stream = ovtest::newStream();
    stream->OutputBufferPlus4 = reinterpret_cast<APTR>(uintptr_t{0x1234});
    ovTestFailAllocation(1);
    EXPECT_EQ(plugin->InitPlayer(plugin.iface(), stream.get()), 0);
    EXPECT_EQ(stream->OutputBuffer, nullptr);
    EXPECT_EQ(stream->OutputBufferPlus4, nullptr) << "cleaned up through ClosePlayer";
    plugin->ClosePlayer(plugin.iface(), stream.get());
}

TEST_P(StreamContract, CloseAndDecodeOnEmptyStreams)
{
    ovtest::Plugin plugin(GetParam());
    ASSERT_TRUE(plugin.ok());
    plugin->ClosePlayer(plugin.iface(), nullptr);
    auto stream = ovtest::newStream();
    plugin->ClosePlayer(plugin.iface(), stream.get());
    int hostArg = 0;
    EXPECT_EQ(plugin->DecodeFramePlayer(plugin.iface(), stream.get(), &hostArg), 0)
        << "no output buffer, no handle";
    EXPECT_EQ(plugin->DecodeFramePlayer(plugin.iface(), nullptr, &hostArg), 0);
}

INSTANTIATE_TEST_SUITE_P(BothPlugins, StreamContract,
                         ::testing::Values("OV_PT.ovplug", "OV_AIFF.ovplug"),
                         [](const auto &info) {
                             return std::strcmp(info.param, "OV_PT.ovplug") == 0 ? "Protracker"
                                                                                  : "Aiff";
                         });

TEST(Recognition, ProtrackerNeedsMoreThan1083BytesAndTheSignature)
{
    ovtest::Plugin plugin("OV_PT.ovplug");
    ASSERT_TRUE(plugin.ok());
    std::vector<uint8_t> data(1084, 0);
    std::memcpy(&data[1080], "M.K.", 4);
    EXPECT_EQ(plugin->TestPlayer(plugin.iface(), nullptr, data.data(), 1084), 2);
    EXPECT_EQ(plugin->TestPlayer(plugin.iface(), nullptr, data.data(), 1083), 0);
    EXPECT_EQ(plugin->TestPlayer(plugin.iface(), nullptr, nullptr, 1083), 0)
        << "a short length is refused without looking at the data";
    for (const char *other : {"M.K!", "M!K.", "FLT4", "4CHN", "m.k."}) {
        std::memcpy(&data[1080], other, 4);
        EXPECT_EQ(plugin->TestPlayer(plugin.iface(), nullptr, data.data(), 1084), 0) << other;
    }
}

TEST(Recognition, AiffNeedsMoreThan16BytesFormAndAiff)
{
    ovtest::Plugin plugin("OV_AIFF.ovplug");
    ASSERT_TRUE(plugin.ok());
    uint8_t data[17] = {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'A', 'I', 'F', 'F', 0, 0, 0, 0, 0};
    EXPECT_EQ(plugin->TestPlayer(plugin.iface(), nullptr, data, 17), 1);
    EXPECT_EQ(plugin->TestPlayer(plugin.iface(), nullptr, data, 16), 0);
    std::memcpy(data + 8, "AIFC", 4);
    EXPECT_EQ(plugin->TestPlayer(plugin.iface(), nullptr, data, 17), 0);
    std::memcpy(data + 8, "AIFF", 4);
    std::memcpy(data, "RIFF", 4);
    EXPECT_EQ(plugin->TestPlayer(plugin.iface(), nullptr, data, 17), 0);
}

} // namespace
