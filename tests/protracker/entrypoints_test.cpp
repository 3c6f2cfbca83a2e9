/* OV_PT.ovplug driven through its interface the way the host drives it. */
#include "pt_test_util.h"

#include <algorithm>
#include <cstring>

using namespace pttest;
using ovtools::ModuleWriter;

namespace {

class PtPlugin : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(plugin.ok()); }

    /* A stream as the host prepares it in loading mode 2. */
    std::unique_ptr<PlayerStream> streamFor(std::vector<uint8_t> &image, uint32 loadMode = 2)
    {
        auto stream = ovtest::newStream();
        stream->FileData = image.data();
        stream->FileSize = static_cast<int32>(image.size());
        stream->LoadMode = loadMode;
        std::memset(stream->InfoText1, 'x', sizeof stream->InfoText1);
        std::memset(stream->InfoText3, 'x', sizeof stream->InfoText3);
        std::memset(stream->InfoText5, 'x', sizeof stream->InfoText5);
        return stream;
    }

    ovtest::Plugin plugin{"OV_PT.ovplug"};
    std::vector<uint8_t> module = basicWriter().cell(0, 0, 1, 428, 1).cell(0, 4, 2, 214, 1, 0xE, 0x00).bytes();
};

} // namespace

TEST_F(PtPlugin, AnnounceTestSeekAndNotify)
{
    EXPECT_EQ(plugin->AnnouncePlayer(plugin.iface(), 7599), nullptr);
    const PlayerInfo *info = plugin->AnnouncePlayer(plugin.iface(), 7600);
    ASSERT_NE(info, nullptr);
    EXPECT_STREQ(info->Name, "Protracker");
    EXPECT_STREQ(info->Description, "Protracker Player");
    EXPECT_EQ(info->LoadMode, 2);
    EXPECT_EQ(plugin->AnnouncePlayer(plugin.iface(), 0xFFFFFFFFu), info);

    /* 1083 bytes: refused without a look at the data */
    EXPECT_EQ(plugin->TestPlayer(plugin.iface(), nullptr, nullptr, 1083), 0);
    std::vector<uint8_t> head(1084, 0);
    std::memcpy(head.data() + 1080, "M.K.", 4);
    EXPECT_EQ(plugin->TestPlayer(plugin.iface(), nullptr, head.data(), 1084), 2);
    for (const char *other : {"M.K!", "M.k.", "FLT4", "N.K."}) {
        std::memcpy(head.data() + 1080, other, 4);
        EXPECT_EQ(plugin->TestPlayer(plugin.iface(), nullptr, head.data(), 1084), 0) << other;
    }

    auto stream = streamFor(module);
    for (uint32 seconds : {0u, 1u, 1000u})
        EXPECT_EQ(plugin->SeekPlayer(plugin.iface(), stream.get(), seconds), -2);
    EXPECT_EQ(plugin->DoNotify(plugin.iface()), 0u);
    plugin->ExitPlayer(plugin.iface());
}

TEST_F(PtPlugin, HostOrderDecodesTheReferenceBytes)
{
    auto stream = streamFor(module);
    ASSERT_EQ(plugin->InitPlayer(plugin.iface(), stream.get()), 1);
    ASSERT_NE(stream->OutputBuffer, nullptr);
    EXPECT_EQ(stream->OutputBufferPlus4, static_cast<uint8_t *>(stream->OutputBuffer) + 4);
    ASSERT_EQ(plugin->OpenPlayer(plugin.iface(), "ignored.mod", stream.get()), 1);
    EXPECT_NE(stream->PlayerHandle, nullptr);
    EXPECT_EQ(stream->SampleFormat, 2u);
    EXPECT_EQ(stream->SampleRate, 44100u);
    EXPECT_EQ(stream->Channels, 2u);
    EXPECT_EQ(stream->Duration, 0u);
    EXPECT_EQ(stream->Word1324, 0u);
    EXPECT_EQ(stream->Word1344, 0u);
    EXPECT_EQ(stream->Word1348, 1u);
    EXPECT_EQ(stream->Word1352, 25u);
    for (const char *text : {stream->InfoText1, stream->InfoText2, stream->InfoText3,
                             stream->InfoText4, stream->InfoText5})
        EXPECT_EQ(text[0], '\0');

    LoadedModule reference(module);
    for (int block = 0; block < 3; block++) {
        ASSERT_EQ(plugin->DecodeFramePlayer(plugin.iface(), stream.get(), nullptr), 16384);
        auto expected = renderReference(reference.state, 16384);
        expected.resize(65536);
        const uint8_t *got = static_cast<const uint8_t *>(stream->OutputBuffer);
        EXPECT_EQ(std::vector<uint8_t>(got, got + 65536), expected) << block;
    }
    EXPECT_EQ(plugin->SeekPlayer(plugin.iface(), stream.get(), 0), -2);
    plugin->ClosePlayer(plugin.iface(), stream.get());
    EXPECT_EQ(stream->PlayerHandle, nullptr);
    EXPECT_EQ(stream->OutputBuffer, nullptr);
    EXPECT_EQ(stream->OutputBufferPlus4, nullptr);
    plugin->ClosePlayer(plugin.iface(), stream.get());
    plugin->ClosePlayer(plugin.iface(), nullptr);
}

TEST_F(PtPlugin, OpenFailures)
{
    std::vector<uint8_t> broken(module.begin(), module.end() - 1);
    auto stream = streamFor(broken);
    ASSERT_EQ(plugin->InitPlayer(plugin.iface(), stream.get()), 1);
    EXPECT_EQ(plugin->OpenPlayer(plugin.iface(), "x", stream.get()), 0);
    EXPECT_EQ(stream->PlayerHandle, nullptr);
    EXPECT_EQ(stream->InfoText1[0], 'x');
    EXPECT_EQ(plugin->DecodeFramePlayer(plugin.iface(), stream.get(), nullptr), 0);
    plugin->ClosePlayer(plugin.iface(), stream.get());

    /* the wrong loading mode: the module is loaded, refused, and released
     * by the close that follows */
    auto byName = streamFor(module, 1);
    uint32 before = ovTestLiveAllocations();
    EXPECT_EQ(plugin->OpenPlayer(plugin.iface(), "x", byName.get()), 0);
    EXPECT_NE(byName->PlayerHandle, nullptr);
    EXPECT_EQ(ovTestLiveAllocations(), before + 1);
    EXPECT_EQ(byName->SampleRate, 0u);
    plugin->ClosePlayer(plugin.iface(), byName.get());
    EXPECT_EQ(byName->PlayerHandle, nullptr);
    EXPECT_EQ(ovTestLiveAllocations(), before);

    auto empty = ovtest::newStream();
    empty->LoadMode = 2;
    EXPECT_EQ(plugin->OpenPlayer(plugin.iface(), "x", empty.get()), 0);
    EXPECT_EQ(empty->PlayerHandle, nullptr);
}

TEST_F(PtPlugin, DecodeNeedsBufferHandleAndChannels)
{
    EXPECT_EQ(plugin->DecodeFramePlayer(plugin.iface(), nullptr, nullptr), 0);
    auto stream = streamFor(module);
    ASSERT_EQ(plugin->OpenPlayer(plugin.iface(), "x", stream.get()), 1);
    EXPECT_EQ(plugin->DecodeFramePlayer(plugin.iface(), stream.get(), nullptr), 0); /* no buffer */
    ASSERT_EQ(plugin->InitPlayer(plugin.iface(), stream.get()), 1);
    stream->Channels = 0;
    EXPECT_EQ(plugin->DecodeFramePlayer(plugin.iface(), stream.get(), nullptr), 0);
    const uint8_t *buffer = static_cast<const uint8_t *>(stream->OutputBuffer);
    EXPECT_EQ(std::count(buffer, buffer + 65536, 0), 65536);
    stream->Channels = 2;
    for (int block = 0; block < 5; block++)
        EXPECT_EQ(plugin->DecodeFramePlayer(plugin.iface(), stream.get(), nullptr), 16384);
    plugin->ClosePlayer(plugin.iface(), stream.get());
}

TEST_F(PtPlugin, OutOfMemoryAtEachAllocation)
{
    /* InitPlayer's buffer: cleaned up inside the call */
    auto stream = streamFor(module);
    ovTestFailAllocation(1);
    EXPECT_EQ(plugin->InitPlayer(plugin.iface(), stream.get()), 0);
    EXPECT_EQ(stream->OutputBuffer, nullptr);
    EXPECT_EQ(stream->OutputBufferPlus4, nullptr);
    plugin->ClosePlayer(plugin.iface(), stream.get());

    /* OpenPlayer's state */
    ASSERT_EQ(plugin->InitPlayer(plugin.iface(), stream.get()), 1);
    ovTestFailAllocation(1);
    EXPECT_EQ(plugin->OpenPlayer(plugin.iface(), "x", stream.get()), 0);
    EXPECT_EQ(stream->PlayerHandle, nullptr);
    plugin->ClosePlayer(plugin.iface(), stream.get());
    plugin->ClosePlayer(plugin.iface(), stream.get());
}

TEST_F(PtPlugin, StreamsAreIndependent)
{
    auto other = basicWriter().cell(0, 0, 0, 856, 1).bytes();
    auto a = streamFor(module), b = streamFor(other);
    for (auto *s : {a.get(), b.get()}) {
        ASSERT_EQ(plugin->InitPlayer(plugin.iface(), s), 1);
        ASSERT_EQ(plugin->OpenPlayer(plugin.iface(), "x", s), 1);
    }
    LoadedModule refA(module), refB(other);
    for (int block = 0; block < 2; block++) {
        ASSERT_EQ(plugin->DecodeFramePlayer(plugin.iface(), a.get(), nullptr), 16384);
        ASSERT_EQ(plugin->DecodeFramePlayer(plugin.iface(), b.get(), nullptr), 16384);
        auto ea = renderReference(refA.state, 16384), eb = renderReference(refB.state, 16384);
        EXPECT_EQ(std::memcmp(a->OutputBuffer, ea.data(), 65536), 0);
        EXPECT_EQ(std::memcmp(b->OutputBuffer, eb.data(), 65536), 0);
    }
    plugin->ClosePlayer(plugin.iface(), a.get());
    plugin->ClosePlayer(plugin.iface(), b.get());
}
