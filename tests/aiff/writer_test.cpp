/* Producing AIFF files through OV_AIFF.ovplug's encoder entry points, and
 * what the library holds while it is loaded. */
#include "aiff/aiff_writer.h"
#include "aiff_host.h"

#include <cstring>

namespace {

using ovtest::testPcm;
using Fixups = std::vector<std::pair<uint32_t, uint32_t>>; /* file offset, value */

class Writer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(plugin.ok());
        ASSERT_EQ(plugin->InitEncoder(plugin.iface(), &encoder), 1);
    }
    void TearDown() override { plugin->CloseEncoder(plugin.iface(), &encoder); }

    const uint8_t *open(uint32_t rate, uint8_t channels, uint32_t mustBeZero = 0)
    {
        struct EncoderFormat format = {};
        format.SampleRate = rate, format.Channels = channels, format.MustBeZero = mustBeZero;
        return static_cast<const uint8_t *>(plugin->OpenEncoder(plugin.iface(), &encoder, &format));
    }
    int32_t encode(const void *samples, uint32_t frames)
    {
        return plugin->EncodeFrameEncoder(plugin.iface(), &encoder, samples, frames);
    }
    /* The fix-ups as the host reads each entry's 20 bytes: the file offset
     * as two words, high word first, the byte count, the value, zeros. */
    Fixups finish()
    {
        Fixups entries;
        for (auto list = plugin->FinishEncoder(plugin.iface(), &encoder); list && *list; ++list) {
            uint32_t word[5];
            std::memcpy(word, *list, 20);
            EXPECT_EQ(
                std::vector<uint32_t>({word[0], (*list)->ByteCount, (*list)->Zero10, word[4]}),
                std::vector<uint32_t>({0, 4, 0, 0}));
            entries.emplace_back(word[1], word[3]);
        }
        return entries;
    }

    ovtest::Plugin plugin{aifftest::kPluginFile};
    struct EncoderStream encoder = {};
};

/* Files made one after another by one encoder: the header for the format,
 * each call's frames and the bytes it reports, then the fix-ups (from the
 * same block each time). The samples follow any header bytes still
 * pending, unchanged. */
TEST_F(Writer, BuildsTheHeaderReportsTheBytesAndFixesUpTheSizes)
{
    const uint32_t limit = 0x7FFFFFFC, room = 96500 * 4; /* two calls filling the buffer */
    // clang-format off
    const struct { uint32_t rate; uint8_t channels; std::vector<uint8_t> rateBytes;
                   uint32_t ssndSizeBefore; /* 0: as opened */
                   std::vector<std::pair<uint32_t, int32_t>> calls; Fixups fixups; } cases[] = {
        {44100, 2, {0x40, 0x0E, 0xAC, 0x44}, 0, {{1000, 4054}, {1000, 4000}},
         {{22, 2000}, {42, 8008}, {4, 8046}}},
        {22050, 1, {0x40, 0x0E, 0x56, 0x22}, 0, {{0, 54}, {0, 0}}, {{22, 0}, {42, 8}, {4, 46}}},
        {65535, 2, {0x40, 0x0E, 0xFF, 0xFF}, limit - 4000, {{1000, -1}, {0, 54}, {999, 3996},
         {1, -1}}, {{22, 999}, {42, limit - 4}, {4, limit + 34}}},
        {70000, 2, {0x40, 0x0F, 0x88, 0xB8}, 0, {{48244, -1}, {0x80000000u, -1}, {~0u, -1},
         {48243, 54 + 48243 * 4}, {48258, -1}, {48257, 193028}},
         {{22, 96500}, {42, 8 + room}, {4, 46 + room}}},
        {65536, 1, {0x40, 0x0F, 0x80, 0x00}, 0, {{10, 74}}, {{22, 10}, {42, 28}, {4, 66}}},
        {~0u, 2, {0x40, 0x1E, 0xFF, 0xFF, 0xFF, 0xFF}, 0, {}, {{22, 0}, {42, 8}, {4, 46}}},
    };
    // clang-format on
    const auto pcm = testPcm(48300, 2);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.rate);
        std::vector<uint8_t> header(54, 0); /* all sizes 0 but COMM's 18 and SSND's limit */
        std::memcpy(header.data(), "FORM\0\0\0\0AIFFCOMM\0\0\0\x12", 20);
        header[21] = c.channels, header[27] = 16;
        std::copy(c.rateBytes.begin(), c.rateBytes.end(), header.begin() + 28);
        std::memcpy(&header[38], "SSND\x7F\xFF\xFF\xFC", 8);
        const uint8_t *out = open(c.rate, c.channels);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(std::vector<uint8_t>(out, out + 54), header);
        if (c.ssndSizeBefore != 0) /* as if nearly 2 GB had been accepted already */
            static_cast<struct aiff_writer *>(encoder.State)->ssnd_size = c.ssndSizeBefore;
        for (auto [frames, reported] : c.calls) {
            EXPECT_EQ(encode(pcm.data(), frames), reported) << frames << " frames";
            const int32_t bytes = static_cast<int32_t>(frames * c.channels * 2);
            if (reported > 0 && frames > 0) {
                EXPECT_EQ(0, std::memcmp(out + reported - bytes, pcm.data(), bytes));
            }
        }
        EXPECT_EQ(finish(), c.fixups);
    }
}

TEST_F(Writer, RefusesCallsOutOfOrder)
{
    const auto pcm = testPcm(100, 2);
    EXPECT_EQ(plugin->InitEncoder(plugin.iface(), nullptr), 0);
    EXPECT_EQ(plugin->OpenEncoder(plugin.iface(), nullptr, nullptr), nullptr);
    EXPECT_EQ(plugin->EncodeFrameEncoder(plugin.iface(), nullptr, pcm.data(), 10), -1);
    EXPECT_EQ(plugin->FinishEncoder(plugin.iface(), nullptr), nullptr);
    EXPECT_EQ(plugin->CloseEncoder(plugin.iface(), nullptr), 0u);
    EXPECT_EQ(encode(pcm.data(), 10), -1) << "no header yet";
    EXPECT_EQ(finish(), Fixups{});
    EXPECT_EQ(plugin->OpenEncoder(plugin.iface(), &encoder, nullptr), nullptr);
    EXPECT_EQ(open(44100, 2, 1), nullptr) << "the format's word at 8 must be 0";
    EXPECT_EQ(encode(pcm.data(), 10), -1) << "still no header";
    ASSERT_NE(open(44100, 2), nullptr);
    EXPECT_EQ(encode(pcm.data(), 100), 454);
    EXPECT_EQ(encode(nullptr, 5), -1) << "no samples";
}

TEST(AiffLibrary, HoldsDosAndItsInterfaceUntilExpunged)
{
    struct ExecIFace *IExec = ovtest::exec();
    struct Library *dos = IExec->OpenLibrary(IExec, "dos.library", 50);
    struct Interface *idos = IExec->GetInterface(IExec, dos, "main", 1, nullptr);
    ASSERT_NE(idos, nullptr);
    const uint32_t opens = dos->lib_OpenCnt, users = idos->Data.RefCount;
    {
        ovtest::Plugin plugin(aifftest::kPluginFile);
        ASSERT_TRUE(plugin.ok());
        EXPECT_EQ(dos->lib_OpenCnt, opens + 1);
        EXPECT_EQ(idos->Data.RefCount, users + 1);
        EXPECT_NE(plugin.close(), 0) << "expunged";
    }
    EXPECT_EQ(dos->lib_OpenCnt, opens);
    EXPECT_EQ(idos->Data.RefCount, users);
    IExec->DropInterface(IExec, idos);
    IExec->CloseLibrary(IExec, dos);
}

} // namespace
