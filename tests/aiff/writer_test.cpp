/* Producing AIFF files through OV_AIFF.ovplug's encoder entry points. */
#include "aiff/aiff_writer.h"
#include "aiff_host.h"

#include <cstring>

namespace {

using ovtest::testPcm;

struct FixupValues {
    uint64_t offset;
    uint16_t count;
    uint32_t value;
    bool operator==(const FixupValues &) const = default;
};

std::ostream &operator<<(std::ostream &out, const FixupValues &f)
{
    return out << "(" << f.offset << ", " << f.count << ", " << f.value << ")";
}

class Writer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(plugin.ok()); }
    void TearDown() override { close(); }

    int32_t init() { return plugin->InitEncoder(plugin.iface(), &encoder); }
    const uint8_t *open(uint32_t rate, uint8_t channels, uint32_t mustBeZero = 0)
    {
        struct EncoderFormat format = {};
        format.SampleRate = rate;
        format.Channels = channels;
        format.MustBeZero = mustBeZero;
        return static_cast<const uint8_t *>(plugin->OpenEncoder(plugin.iface(), &encoder, &format));
    }
    int32_t encode(const std::vector<uint8_t> &pcm, uint32_t frames)
    {
        return plugin->EncodeFrameEncoder(plugin.iface(), &encoder, pcm.data(), frames);
    }
    struct EncoderFixup **finish() { return plugin->FinishEncoder(plugin.iface(), &encoder); }
    uint32_t close() { return plugin->CloseEncoder(plugin.iface(), &encoder); }

    /* The entries of a fix-up list, up to its null end. */
    static std::vector<FixupValues> entries(struct EncoderFixup **list)
    {
        std::vector<FixupValues> values;
        for (; list != nullptr && *list != nullptr; ++list) {
            const struct EncoderFixup &f = **list;
            EXPECT_EQ(f.Zero10, 0u);
            EXPECT_EQ(f.Zero16, 0u);
            values.push_back({(uint64_t(f.FileOffsetHigh) << 32) | f.FileOffsetLow, f.ByteCount, f.Value});
        }
        return values;
    }

    ovtest::Plugin plugin{aifftest::kPluginFile};
    struct EncoderStream encoder = {};
};

TEST_F(Writer, HeaderOfA44100HzStereoFile)
{
    ASSERT_EQ(init(), 1);
    ASSERT_NE(encoder.State, nullptr);
    const uint8_t *header = open(44100, 2);
    ASSERT_NE(header, nullptr);
    const uint8_t expected[54] = {
        'F', 'O', 'R', 'M', 0, 0, 0, 0, 'A', 'I', 'F', 'F',                  /* form */
        'C', 'O', 'M', 'M', 0, 0, 0, 18, 0, 2, 0, 0, 0, 0, 0, 16,             /* COMM */
        0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0,                             /* 44100 */
        'S', 'S', 'N', 'D', 0x7F, 0xFF, 0xFF, 0xFC, 0, 0, 0, 0, 0, 0, 0, 0}; /* SSND */
    EXPECT_EQ(std::vector<uint8_t>(header, header + 54), std::vector<uint8_t>(expected, expected + 54));
}

TEST_F(Writer, ReportsHeaderWithFirstSamplesThenSamplesAlone)
{
    ASSERT_EQ(init(), 1);
    const uint8_t *out = open(44100, 2);
    ASSERT_NE(out, nullptr);
    const auto first = testPcm(1000, 2, 1);
    const auto second = testPcm(1000, 2, 2);
    ASSERT_EQ(encode(first, 1000), 4054);
    EXPECT_EQ(std::vector<uint8_t>(out + 54, out + 4054), first);
    ASSERT_EQ(encode(second, 1000), 4000);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4000), second);
    EXPECT_EQ(entries(finish()), (std::vector<FixupValues>{{22, 4, 2000}, {42, 4, 8008}, {4, 4, 8046}}));
    EXPECT_EQ(close(), 0u);
    EXPECT_EQ(encoder.State, nullptr);
}

TEST_F(Writer, CallsOfNoFramesReportOnlyPendingHeaderBytes)
{
    ASSERT_EQ(init(), 1);
    ASSERT_NE(open(48000, 1), nullptr);
    EXPECT_EQ(plugin->EncodeFrameEncoder(plugin.iface(), &encoder, nullptr, 0), 54);
    EXPECT_EQ(plugin->EncodeFrameEncoder(plugin.iface(), &encoder, nullptr, 0), 0);
    EXPECT_EQ(entries(finish()), (std::vector<FixupValues>{{22, 4, 0}, {42, 4, 8}, {4, 4, 46}}));
}

TEST_F(Writer, RatesBelow65536KeepTheirSixteenBitForm)
{
    ASSERT_EQ(init(), 1);
    const uint8_t *header = open(22050, 1);
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(header + 28, header + 38),
              (std::vector<uint8_t>{0x40, 0x0E, 0x56, 0x22, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(header[20], 0);
    EXPECT_EQ(header[21], 1);
}

TEST_F(Writer, RatesFrom65536OnAreNormalised)
{
    struct Case {
        uint32_t rate;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {65535, {0x40, 0x0E, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}},
        {65536, {0x40, 0x0F, 0x80, 0x00, 0, 0, 0, 0, 0, 0}},
        {70000, {0x40, 0x0F, 0x88, 0xB8, 0, 0, 0, 0, 0, 0}},
        {96000, {0x40, 0x0F, 0xBB, 0x80, 0, 0, 0, 0, 0, 0}},
        {4294967295u, {0x40, 0x1E, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}},
    };
    ASSERT_EQ(init(), 1);
    for (const Case &c : cases) {
        const uint8_t *header = open(c.rate, 2);
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(std::vector<uint8_t>(header + 28, header + 38), c.bytes) << c.rate;
    }
}

TEST_F(Writer, ItsFilesPlayBackWithTheirRateAndSamples)
{
    for (uint32_t rate : {8000u, 22050u, 44100u, 65535u, 70000u, 96000u, 192000u}) {
        for (uint8_t channels : {1, 2}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, " << int(channels) << " channels");
            const uint32_t frames = rate / 10 + 7;
            const auto pcm = testPcm(frames, channels, rate);
            const auto encoded = aifftest::encodeFile(plugin, rate, channels, pcm, 4000);
            aifftest::Stream stream(plugin);
            ASSERT_TRUE(stream.start(aifftest::tempFile("written.aiff", encoded.file)));
            EXPECT_EQ(stream->SampleRate, rate);
            EXPECT_EQ(stream->Channels, channels);
            EXPECT_EQ(stream->Duration, static_cast<uint32_t>(double(frames) / rate * 1000.0));
            EXPECT_EQ(stream.decodeAll(), pcm);
        }
    }
}

TEST_F(Writer, RefusesSamplesThatReachTheSizeLimit)
{
    ASSERT_EQ(init(), 1);
    ASSERT_NE(open(44100, 2), nullptr);
    /* As if nearly 2 GB of sound had been accepted already. */
    auto *writer = static_cast<struct aiff_writer *>(encoder.State);
    writer->ssnd_size = 0x7FFFFFFCu - 4000;
    const auto pcm = testPcm(1000, 2);
    EXPECT_EQ(encode(pcm, 1000), -1) << "would bring the SSND size to the limit";
    EXPECT_EQ(encode(pcm, 0), 54) << "the header is still pending";
    EXPECT_EQ(encode(pcm, 999), 3996);
    EXPECT_EQ(encode(pcm, 1), -1);
    EXPECT_EQ(entries(finish()), (std::vector<FixupValues>{
                                     {22, 4, 999}, {42, 4, 0x7FFFFFF8u}, {4, 4, 0x7FFFFFF8u + 38}}));
}

TEST_F(Writer, RefusesSamplesThatDoNotFitTheBuffer)
{
    ASSERT_EQ(init(), 1);
    const uint8_t *out = open(44100, 2);
    ASSERT_NE(out, nullptr);
    const auto pcm = testPcm(48300, 2);
    /* 193028 bytes of buffer, 54 of them header: 48243 stereo frames fit. */
    EXPECT_EQ(encode(pcm, 48244), -1);
    EXPECT_EQ(plugin->EncodeFrameEncoder(plugin.iface(), &encoder, pcm.data(), 0x80000000u), -1);
    EXPECT_EQ(plugin->EncodeFrameEncoder(plugin.iface(), &encoder, pcm.data(), 0xFFFFFFFFu), -1);
    EXPECT_EQ(encode(pcm, 48243), 54 + 48243 * 4);
    EXPECT_EQ(encode(pcm, 48258), -1);
    EXPECT_EQ(encode(pcm, 48257), 193028) << "the whole buffer once the header is out";
    EXPECT_EQ(std::vector<uint8_t>(out, out + 193028), std::vector<uint8_t>(pcm.begin(), pcm.begin() + 193028));
    EXPECT_EQ(entries(finish())[0], (FixupValues{22, 4, 48243 + 48257}));
    EXPECT_EQ(plugin->EncodeFrameEncoder(plugin.iface(), &encoder, nullptr, 5), -1) << "no samples";
}

TEST_F(Writer, RefusesCallsOutOfOrder)
{
    const auto pcm = testPcm(10, 2);
    EXPECT_EQ(plugin->InitEncoder(plugin.iface(), nullptr), 0);
    EXPECT_EQ(plugin->OpenEncoder(plugin.iface(), nullptr, nullptr), nullptr);
    EXPECT_EQ(plugin->EncodeFrameEncoder(plugin.iface(), nullptr, pcm.data(), 10), -1);
    EXPECT_EQ(plugin->FinishEncoder(plugin.iface(), nullptr), nullptr);
    EXPECT_EQ(plugin->CloseEncoder(plugin.iface(), nullptr), 0u);
    /* No state yet. */
    EXPECT_EQ(open(44100, 2), nullptr);
    EXPECT_EQ(encode(pcm, 10), -1);
    EXPECT_EQ(finish(), nullptr);
    /* State, but no header built yet. */
    ASSERT_EQ(init(), 1);
    EXPECT_EQ(encode(pcm, 10), -1);
    EXPECT_EQ(finish(), nullptr);
    EXPECT_EQ(plugin->OpenEncoder(plugin.iface(), &encoder, nullptr), nullptr);
    EXPECT_EQ(open(44100, 2, 1), nullptr) << "the format's word at 8 must be 0";
    EXPECT_EQ(encode(pcm, 10), -1) << "still not opened";
    ASSERT_NE(open(44100, 2), nullptr);
    EXPECT_EQ(encode(pcm, 10), 94);
}

TEST_F(Writer, ReopeningStartsANewFile)
{
    ASSERT_EQ(init(), 1);
    ASSERT_NE(open(44100, 2), nullptr);
    EXPECT_EQ(encode(testPcm(100, 2), 100), 454);
    ASSERT_NE(open(8000, 1), nullptr);
    EXPECT_EQ(encode(testPcm(100, 1), 100), 254);
    EXPECT_EQ(entries(finish()), (std::vector<FixupValues>{{22, 4, 100}, {42, 4, 208}, {4, 4, 246}}));
}

TEST_F(Writer, FinishCanBeRepeatedAndAfterLackOfMemory)
{
    ASSERT_EQ(init(), 1);
    ASSERT_NE(open(44100, 2), nullptr);
    EXPECT_EQ(encode(testPcm(10, 2), 10), 94);
    ovTestFailAllocation(1);
    EXPECT_EQ(finish(), nullptr);
    struct EncoderFixup **list = finish();
    EXPECT_EQ(entries(list), (std::vector<FixupValues>{{22, 4, 10}, {42, 4, 48}, {4, 4, 86}}));
    EXPECT_EQ(encode(testPcm(10, 2), 10), 40);
    EXPECT_EQ(finish(), list) << "the same list, brought up to date";
    EXPECT_EQ(entries(list), (std::vector<FixupValues>{{22, 4, 20}, {42, 4, 88}, {4, 4, 126}}));
}

TEST_F(Writer, InitWithoutMemory)
{
    encoder.State = &encoder;
    ovTestFailAllocation(1);
    EXPECT_EQ(init(), 0);
    EXPECT_EQ(encoder.State, nullptr);
}

TEST_F(Writer, CloseEncoderTwiceReleasesOnce)
{
    const uint32_t live = ovTestLiveAllocations();
    ASSERT_EQ(init(), 1);
    ASSERT_NE(open(44100, 2), nullptr);
    ASSERT_NE(finish(), nullptr);
    EXPECT_EQ(ovTestLiveAllocations(), live + 2);
    EXPECT_EQ(close(), 0u);
    EXPECT_EQ(ovTestLiveAllocations(), live);
    EXPECT_EQ(close(), 0u);
    EXPECT_EQ(encoder.State, nullptr);

    ASSERT_EQ(init(), 1); /* without a fix-up block */
    EXPECT_EQ(close(), 0u);
    EXPECT_EQ(ovTestLiveAllocations(), live);
}

} // namespace
