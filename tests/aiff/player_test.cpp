/* Playing AIFF files through OV_AIFF.ovplug's player entry points. */
#include "aiff_host.h"

#include <algorithm>
#include <cstring>

namespace {

using aifftest::Stream;
using ovtest::AiffFile;
using ovtest::testPcm;

constexpr uint32_t kTenSeconds = 441000;

/* The bytes of frames [first, first + count) of interleaved 16-bit PCM. */
std::vector<uint8_t> framesOf(const std::vector<uint8_t> &pcm, uint16_t channels, size_t first,
                              size_t count)
{
    const size_t frameBytes = channels * 2u;
    return std::vector<uint8_t>(pcm.begin() + first * frameBytes,
                                pcm.begin() + (first + count) * frameBytes);
}

class Player : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(plugin.ok()); }

    /* A plain file: COMM, then SSND holding all frames. */
    std::string plainFile(const std::string &name, uint16_t channels, uint32_t frames,
                          double rate, const std::vector<uint8_t> &pcm)
    {
        return aifftest::tempFile(name, AiffFile().comm(channels, frames, 16, rate).ssnd(pcm).bytes());
    }

    /* The file opens with this format and plays exactly these frames. */
    void expectPlays(const AiffFile &file, uint32_t rate, uint32_t channels,
                     const std::vector<uint8_t> &pcm)
    {
        Stream stream(plugin);
        ASSERT_TRUE(stream.start(aifftest::tempFile("plays.aiff", file.bytes())));
        EXPECT_EQ(stream->SampleRate, rate);
        EXPECT_EQ(stream->Channels, channels);
        EXPECT_TRUE(stream.decodeAll() == pcm);
    }

    ovtest::Plugin plugin{aifftest::kPluginFile};
};

TEST_F(Player, TenSecondStereoFileDecodesInBlocksOf8192ThenEnds)
{
    const auto pcm = testPcm(kTenSeconds, 2);
    const auto path = plainFile("ten-stereo.aiff", 2, kTenSeconds, 44100, pcm);
    Stream stream(plugin);
    for (char *text : {stream->InfoText1, stream->InfoText2, stream->InfoText3, stream->InfoText4,
                       stream->InfoText5})
        std::memset(text, 'x', PLAYERSTREAM_INFOTEXT_LEN);
    stream->Word1344 = 7;
    stream->Word1348 = 8;
    stream->Word1352 = 9;
    stream->Word1324 = 5;
    ASSERT_TRUE(stream.start(path));
    EXPECT_EQ(stream->SampleFormat, 2u);
    EXPECT_EQ(stream->SampleRate, 44100u);
    EXPECT_EQ(stream->Channels, 2u);
    EXPECT_EQ(stream->Duration, 10000u);
    EXPECT_EQ(stream->Word1324, 0u);
    EXPECT_EQ(stream->InfoText1[0], '\0');
    EXPECT_EQ(stream->InfoText2[0], '\0');
    EXPECT_EQ(stream->InfoText4[0], '\0');
    EXPECT_EQ(stream->InfoText3[0], 'x') << "InfoText3 belongs to the host";
    EXPECT_EQ(stream->InfoText5[0], 'x') << "InfoText5 belongs to the host";
    EXPECT_EQ(stream->Word1344, 7u);
    EXPECT_EQ(stream->Word1348, 8u);
    EXPECT_EQ(stream->Word1352, 9u);

    std::vector<int32_t> counts;
    const auto decoded = stream.decodeAll(&counts);
    std::vector<int32_t> expected(53, 8192);
    expected.push_back(6824);
    expected.push_back(-1);
    EXPECT_EQ(counts, expected);
    EXPECT_TRUE(decoded == pcm) << "the file's sample bytes, unchanged";
    EXPECT_EQ(stream.decode(), -1) << "the end is final";
}

TEST_F(Player, MonoFileFillsHalfTheBuffer)
{
    const auto pcm = testPcm(kTenSeconds, 1);
    Stream stream(plugin);
    ASSERT_TRUE(stream.start(plainFile("ten-mono.aiff", 1, kTenSeconds, 44100, pcm)));
    EXPECT_EQ(stream->Channels, 1u);
    EXPECT_EQ(stream->Duration, 10000u);
    ASSERT_EQ(stream.decode(), 8192);
    EXPECT_EQ(stream.output(8192), framesOf(pcm, 1, 0, 8192));
    const auto *buffer = static_cast<const uint8_t *>(stream->OutputBuffer);
    EXPECT_EQ(std::count(buffer + 16384, buffer + 32768, 0), 16384) << "only 16384 bytes written";
}

TEST_F(Player, SeeksByWholeSecondsWithinTheStream)
{
    const auto pcm = testPcm(kTenSeconds, 2);
    Stream stream(plugin);
    ASSERT_TRUE(stream.start(plainFile("seek.aiff", 2, kTenSeconds, 44100, pcm)));
    EXPECT_EQ(stream.seek(10), -1);
    EXPECT_EQ(stream.seek(0xFFFFFFFFu), -1);
    EXPECT_EQ(stream.seek(9), 9);
    ASSERT_EQ(stream.decode(), 8192);
    EXPECT_EQ(stream.output(8192), framesOf(pcm, 2, 396900, 8192));
    std::vector<int32_t> counts;
    stream.decodeAll(&counts);
    EXPECT_EQ(counts.back(), -1);
    /* An exhausted stream plays again after a seek. */
    EXPECT_EQ(stream.seek(0), 0);
    ASSERT_EQ(stream.decode(), 8192);
    EXPECT_EQ(stream.output(8192), framesOf(pcm, 2, 0, 8192));
    /* A refused seek leaves the position as it was. */
    EXPECT_EQ(stream.seek(10), -1);
    ASSERT_EQ(stream.decode(), 8192);
    EXPECT_EQ(stream.output(8192), framesOf(pcm, 2, 8192, 8192));
}

TEST_F(Player, SecondsBoundIsTheWholeSecondsOfTheStream)
{
    const auto pcm = testPcm(66150, 2);
    Stream stream(plugin);
    ASSERT_TRUE(stream.start(plainFile("one-and-a-half.aiff", 2, 66150, 44100, pcm)));
    EXPECT_EQ(stream->Duration, 1500u);
    EXPECT_EQ(stream.seek(0), 0);
    EXPECT_EQ(stream.seek(1), -1);

    Stream shortStream(plugin);
    ASSERT_TRUE(shortStream.start(plainFile("short.aiff", 2, 1000, 44100, testPcm(1000, 2))));
    EXPECT_EQ(shortStream->Duration, 22u);
    EXPECT_EQ(shortStream.seek(0), -1) << "under one second refuses every seek";
}

TEST_F(Player, SeekArithmeticDoesNotWrap)
{
    /* 24349 s x 176400 bytes/s is 196304 past 2^32: in 32 bits that would
     * land inside the (declared) sound data. */
    const auto pcm = testPcm(1000, 2);
    const auto file = AiffFile().comm(2, 0xF0000000u, 16, 44100).ssndDeclaring(0x7FFFFFFFu, pcm);
    Stream stream(plugin);
    ASSERT_TRUE(stream.start(aifftest::tempFile("huge.aiff", file.bytes())));
    EXPECT_EQ(stream->Duration, static_cast<uint32_t>(4026531840.0 / 44100 * 1000.0));
    EXPECT_EQ(stream.seek(24349), -1);
    EXPECT_EQ(stream.seek(0), 0);
    EXPECT_EQ(stream.decode(), 1000) << "the frames the file really holds";
    EXPECT_EQ(stream.decode(), -1);
}

TEST_F(Player, DurationBeyondItsFieldIsItsLargestValue)
{
    Stream stream(plugin);
    ASSERT_TRUE(stream.start(plainFile("slow.aiff", 1, 0xFFFFFFFFu, 1, testPcm(10, 1))));
    EXPECT_EQ(stream->Duration, 0x7FFFFFFFu);
    EXPECT_EQ(stream.seek(0x80000000u), -1) << "a second the result cannot express";
    EXPECT_EQ(stream.seek(5), 5);
    EXPECT_EQ(stream.decode(), 5);
}

TEST_F(Player, DecodeNeedsHostArgBufferAndHandle)
{
    const auto pcm = testPcm(20000, 2);
    const auto path = plainFile("hostarg.aiff", 2, 20000, 44100, pcm);
    Stream stream(plugin);
    EXPECT_EQ(stream.decode(), 0) << "no output buffer";
    ASSERT_EQ(stream.init(), 1);
    EXPECT_EQ(stream.decode(), 0) << "no handle";
    EXPECT_EQ(stream.seek(0), -1) << "no handle";
    ASSERT_EQ(stream.open(path), 1);
    EXPECT_EQ(plugin->DecodeFramePlayer(plugin.iface(), stream.record(), nullptr), 0);
    ASSERT_EQ(stream.decode(), 8192);
    EXPECT_EQ(stream.output(8192), framesOf(pcm, 2, 0, 8192)) << "the null call read nothing";
    EXPECT_EQ(plugin->DecodeFramePlayer(plugin.iface(), nullptr, stream.record()), 0);
    EXPECT_EQ(plugin->SeekPlayer(plugin.iface(), nullptr, 0), -1);
    EXPECT_EQ(plugin->OpenPlayer(plugin.iface(), path.c_str(), nullptr), 0);
    EXPECT_EQ(plugin->InitPlayer(plugin.iface(), nullptr), 0);
}

TEST_F(Player, FormatsItCannotDeliverOpenButNeverDecode)
{
    struct Case {
        uint16_t channels;
        uint16_t bits;
    };
    for (const Case c : {Case{1, 8}, Case{2, 8}, Case{2, 24}, Case{3, 16}, Case{0, 16}}) {
        SCOPED_TRACE(testing::Message() << c.channels << " channels, " << c.bits << " bits");
        const uint32_t frames = 44100;
        const std::vector<uint8_t> sound(static_cast<size_t>(frames) * std::max<uint16_t>(c.channels, 1) * c.bits / 8, 0x11);
        Stream stream(plugin);
        ASSERT_TRUE(stream.start(aifftest::tempFile(
            "format.aiff", AiffFile().comm(c.channels, frames, c.bits, 22050).ssnd(sound).bytes())));
        EXPECT_EQ(stream->Channels, c.channels);
        EXPECT_EQ(stream->SampleRate, 22050u);
        EXPECT_EQ(stream->Duration, 2000u);
        EXPECT_EQ(stream.decode(), -1);
        EXPECT_EQ(stream.decode(), -1);
    }
}

TEST_F(Player, OpensOnlyInItsOwnLoadingModeAndOnlyAiffFiles)
{
    const auto pcm = testPcm(100, 2);
    const auto path = plainFile("mode.aiff", 2, 100, 44100, pcm);
    Stream stream(plugin);
    ASSERT_EQ(stream.init(), 1);
    stream->LoadMode = LOADMODE_IN_MEMORY;
    stream->PlayerHandle = &stream; /* must be left as it was */
    const uint32_t filesBefore = ovTestOpenFiles();
    EXPECT_EQ(stream.open(path), 0);
    EXPECT_EQ(ovTestOpenFiles(), filesBefore);
    EXPECT_EQ(stream->PlayerHandle, &stream);
    stream->PlayerHandle = nullptr;

    stream->LoadMode = LOADMODE_BY_NAME;
    EXPECT_EQ(stream.open(ovtest::tempPath("no-such-file.aiff")), 0);
    EXPECT_EQ(stream->PlayerHandle, nullptr);
    EXPECT_EQ(plugin->OpenPlayer(plugin.iface(), nullptr, stream.record()), 0);

    const auto aifc = AiffFile().formType("AIFC").comm(2, 100, 16, 44100).ssnd(pcm).bytes();
    EXPECT_EQ(plugin->TestPlayer(plugin.iface(), nullptr, aifc.data(), 64), 0);
    EXPECT_EQ(stream.open(aifftest::tempFile("compressed.aifc", aifc)), 0);
    EXPECT_EQ(stream->PlayerHandle, nullptr);
}

TEST_F(Player, ClosePlayerIsSafeInEveryState)
{
    plugin->ClosePlayer(plugin.iface(), nullptr);
    Stream fresh(plugin);
    fresh.close();
    fresh.close();

    Stream failedInit(plugin);
    ovTestFailAllocation(1);
    EXPECT_EQ(failedInit.init(), 0);
    EXPECT_EQ(failedInit->OutputBuffer, nullptr);
    EXPECT_EQ(failedInit->OutputBufferPlus4, nullptr);
    failedInit.close();

    Stream open(plugin);
    ASSERT_TRUE(open.start(plainFile("close.aiff", 2, 100, 44100, testPcm(100, 2))));
    EXPECT_EQ(open->OutputBufferPlus4, static_cast<uint8_t *>(open->OutputBuffer) + 4);
    EXPECT_EQ(ovTestOpenFiles(), 1u);
    open.close();
    EXPECT_EQ(ovTestOpenFiles(), 0u);
    EXPECT_EQ(open->PlayerHandle, nullptr);
    EXPECT_EQ(open->OutputBuffer, nullptr);
    EXPECT_EQ(open->OutputBufferPlus4, nullptr);
    open.close();
}

/* ---- the reader on files of every shape ------------------------------ */

TEST_F(Player, ReportsTheTrueRateOfEveryExtendedValue)
{
    struct Case {
        ovtest::Extended rate;
        uint32_t hertz;
    };
    const Case cases[] = {
        {ovtest::extendedRate(8000), 8000},
        {ovtest::extendedRate(11025), 11025},
        {ovtest::extendedRate(22050), 22050},
        {ovtest::extendedRate(32000), 32000},
        {ovtest::extendedRate(44100), 44100},
        {ovtest::extendedRate(48000), 48000},
        {ovtest::extendedRate(88200), 88200},
        {ovtest::extendedRate(96000), 96000},
        {ovtest::extendedRate(4294967295.0), 4294967295u},
        {ovtest::extendedRate(44100.75), 44100},
        {ovtest::extendedRaw(0x400E, 0x5622ull << 48), 22050}, /* 16-bit form, not normalised */
        {ovtest::extendedRaw(0x400E, 0xAC44123456789ABCull), 44100},
        {ovtest::extendedRate(0.5), 0},
        {ovtest::extendedRate(4294967296.0), 0},
        {ovtest::extendedRate(-44100), 0},
        {ovtest::extendedRaw(0x7FFF, 0), 0},                   /* infinity */
        {ovtest::extendedRaw(0x7FFF, 0xC000000000000000ull), 0}, /* not a number */
        {ovtest::extendedRaw(0x0000, 0x8000000000000000ull), 0},
        {ovtest::extendedRaw(0x43FF, 0x8000000000000000ull), 0},
        {ovtest::Extended{}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "expecting " << c.hertz);
        const auto pcm = testPcm(100, 1);
        Stream stream(plugin);
        ASSERT_TRUE(stream.start(aifftest::tempFile(
            "rate.aiff", AiffFile().comm(1, 100, 16, c.rate).ssnd(pcm).bytes())));
        EXPECT_EQ(stream->SampleRate, c.hertz);
        EXPECT_EQ(stream->Duration, c.hertz == 0 ? 0u : static_cast<uint32_t>(100000.0 / c.hertz));
        EXPECT_EQ(stream.decode(), 100) << "the rate plays no part in reading";
    }
}

TEST_F(Player, DurationFollowsTheTrueRate)
{
    Stream stream(plugin);
    ASSERT_TRUE(stream.start(plainFile("22050.aiff", 2, 22050 * 3 + 100, 22050,
                                       testPcm(22050 * 3 + 100, 2))));
    EXPECT_EQ(stream->Duration, 3004u);
    EXPECT_EQ(stream.seek(2), 2);
    ASSERT_GT(stream.decode(), 0);
    EXPECT_EQ(stream.seek(3), -1);
}

TEST_F(Player, OddSizedChunksArePassedWithTheirPadByte)
{
    const auto pcm = testPcm(5000, 2);
    const auto file = AiffFile()
                          .chunk("NAME", "odd")
                          .chunk("AUTH", "x")
                          .comm(2, 5000, 16, 44100)
                          .chunk("ANNO", "five!")
                          .chunk("MARK", std::vector<uint8_t>{0, 1, 0, 1, 0, 0, 0, 0, 3, 'a', 'b', 'c'})
                          .chunk("(c) ", "")
                          .ssnd(pcm);
    expectPlays(file, 44100, 2, pcm);
}

TEST_F(Player, ChunksTheReaderCannotUseArePassedBySize)
{
    const auto pcm = testPcm(3000, 1);
    /* COMM too short for its fields (odd, so padded), then the real one; a
     * COMM longer than its fields, as compressed files carry. */
    std::vector<uint8_t> longComm;
    ovtest::appendU16(longComm, 1);
    ovtest::appendU32(longComm, 3000);
    ovtest::appendU16(longComm, 16);
    const auto rate = ovtest::extendedRate(32000);
    longComm.insert(longComm.end(), rate.begin(), rate.end());
    longComm.insert(longComm.end(), {'N', 'O', 'N', 'E', 3, 'a', 'b', 'c'});
    const auto file = AiffFile()
                          .chunk("COMM", std::vector<uint8_t>(11, 0x53))
                          .chunk("COMM", std::vector<uint8_t>(12, 0x53))
                          .chunk("COMM", longComm)
                          .chunk("CSND", std::vector<uint8_t>(9, 0x53)) /* looks like neither */
                          .chunk("SSND", std::vector<uint8_t>{1, 2, 3}) /* too short for its fields */
                          .ssnd(pcm);
    expectPlays(file, 32000, 1, pcm);
}

TEST_F(Player, ComesFromTheLastCommBeforeTheSoundData)
{
    const auto pcm = testPcm(1000, 2);
    expectPlays(AiffFile().comm(1, 1, 8, 8000).comm(2, 1000, 16, 48000).ssnd(pcm).comm(1, 5, 8, 11025),
                48000, 2, pcm);
}

TEST_F(Player, SoundDataBeforeCommOpensWithoutFormat)
{
    const auto pcm = testPcm(1000, 2);
    Stream stream(plugin);
    ASSERT_TRUE(stream.start(
        aifftest::tempFile("ssnd-first.aiff", AiffFile().ssnd(pcm).comm(2, 1000, 16, 44100).bytes())));
    EXPECT_EQ(stream->Channels, 0u);
    EXPECT_EQ(stream->SampleRate, 0u);
    EXPECT_EQ(stream->Duration, 0u);
    EXPECT_EQ(stream.decode(), -1);
    EXPECT_EQ(stream.seek(0), -1);
}

TEST_F(Player, EmptyOrMissingSoundData)
{
    const auto pcm = testPcm(1000, 2);
    Stream second(plugin);
    ASSERT_TRUE(second.start(aifftest::tempFile(
        "empty-then-full.aiff", AiffFile().comm(2, 1000, 16, 44100).ssnd({}).ssnd(pcm).bytes())));
    EXPECT_EQ(second.decodeAll(), pcm);

    for (const auto &file : {AiffFile().comm(2, 1000, 16, 44100).ssnd({}),
                             AiffFile().comm(2, 1000, 16, 44100),
                             AiffFile().comm(2, 1000, 16, 44100).chunk("APPL", pcm), AiffFile()}) {
        Stream stream(plugin);
        EXPECT_EQ(stream.init(), 1);
        EXPECT_EQ(stream.open(aifftest::tempFile("no-sound.aiff", file.bytes())), 0);
        EXPECT_EQ(stream->PlayerHandle, nullptr);
    }
}

TEST_F(Player, OffsetBytesAreSkippedOnceAndAreNoSound)
{
    const auto pcm = testPcm(44100 * 2, 2);
    /* The chunk after SSND must not be played as sound. */
    const auto file = AiffFile().comm(2, 44100 * 2, 16, 44100).ssnd(pcm, 6).chunk("APPL", testPcm(5000, 2, 9));
    Stream stream(plugin);
    ASSERT_TRUE(stream.start(aifftest::tempFile("offset.aiff", file.bytes())));
    EXPECT_EQ(stream.decodeAll(), pcm);
    EXPECT_EQ(stream.seek(1), 1);
    ASSERT_EQ(stream.decode(), 8192);
    EXPECT_EQ(stream.output(8192), framesOf(pcm, 2, 44100, 8192));
    EXPECT_EQ(stream.seek(0), 0);
    ASSERT_EQ(stream.decode(), 8192);
    EXPECT_EQ(stream.output(8192), framesOf(pcm, 2, 0, 8192));

    /* An offset beyond the chunk's data leaves no sound at all. */
    Stream beyond(plugin);
    std::vector<uint8_t> fields;
    ovtest::appendU32(fields, 1000);
    ovtest::appendU32(fields, 0);
    fields.insert(fields.end(), pcm.begin(), pcm.begin() + 400);
    ASSERT_TRUE(beyond.start(aifftest::tempFile(
        "offset-beyond.aiff", AiffFile().comm(2, 100, 16, 100).chunk("SSND", fields).raw(pcm).bytes())));
    EXPECT_EQ(beyond.decode(), -1);
}

TEST_F(Player, PartialFramesAreNeverDelivered)
{
    auto pcm = testPcm(1001, 2);
    auto sound = pcm;
    sound.insert(sound.end(), {1, 2, 3});
    Stream stream(plugin);
    ASSERT_TRUE(stream.start(
        aifftest::tempFile("partial.aiff", AiffFile().comm(2, 1001, 16, 44100).ssnd(sound).bytes())));
    std::vector<int32_t> counts;
    EXPECT_EQ(stream.decodeAll(&counts), pcm);
    EXPECT_EQ(counts, (std::vector<int32_t>{1001, -1}));
}

TEST_F(Player, AbsurdChunkSizes)
{
    const auto pcm = testPcm(1000, 2);
    /* Sound data declared far beyond the file: what is there plays. */
    const auto longSound = AiffFile().comm(2, 1000, 16, 44100).ssndDeclaring(0xFFFFFFFFu, pcm);
    EXPECT_EQ(aifftest::playFile(plugin, aifftest::tempFile("long-ssnd.aiff", longSound.bytes())), pcm);

    /* A chunk that runs past the end of the file hides everything behind it. */
    for (const char *id : {"APPL", "COMM"}) {
        for (uint32_t size : {0xFFFFFFFFu, 0xFFFFFFF0u, 0x80000000u, 0x7FFFFFFFu}) {
            auto file = AiffFile().comm(2, 1000, 16, 44100);
            file.chunkDeclaring(id, size, std::vector<uint8_t>(18, 0)).ssnd(pcm);
            Stream stream(plugin);
            EXPECT_EQ(stream.init(), 1);
            EXPECT_EQ(stream.open(aifftest::tempFile("absurd.aiff", file.bytes())), 0)
                << id << " of size " << size;
        }
    }
}

TEST_F(Player, HeaderTruncatedAtEveryByte)
{
    const auto pcm = testPcm(64, 2);
    const auto file = AiffFile()
                          .chunk("NAME", "odd")
                          .comm(2, 64, 16, 44100)
                          .chunk("MARK", std::vector<uint8_t>{0, 0})
                          .ssnd(pcm);
    const auto bytes = file.bytes();
    const size_t start = file.soundStart();
    for (size_t length = 0; length <= start + 10; length++) {
        SCOPED_TRACE(testing::Message() << "file cut to " << length << " bytes");
        const auto path = aifftest::tempFile(
            "cut.aiff", std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(length)));
        Stream stream(plugin);
        ASSERT_EQ(stream.init(), 1);
        const bool opens = length >= start;
        ASSERT_EQ(stream.open(path), opens ? 1 : 0);
        if (!opens)
            continue;
        const size_t frames = (length - start) / 4;
        EXPECT_EQ(stream.decodeAll(), framesOf(pcm, 2, 0, frames));
    }
}

TEST_F(Player, RandomlyDamagedHeadersNeverCrash)
{
    const auto pcm = testPcm(300, 2);
    const auto good = AiffFile()
                          .chunk("NAME", "odd")
                          .comm(2, 300, 16, 44100)
                          .chunk("ANNO", "note")
                          .ssnd(pcm, 4)
                          .bytes();
    uint32_t state = 12345;
    auto next = [&state] { return state = state * 1103515245u + 12345u, state >> 8; };
    for (int round = 0; round < 300; round++) {
        auto damaged = good;
        const int changes = 1 + static_cast<int>(next() % 4);
        for (int i = 0; i < changes; i++)
            damaged[next() % 90] = static_cast<uint8_t>(next());
        Stream stream(plugin);
        ASSERT_EQ(stream.init(), 1);
        if (stream.open(aifftest::tempFile("damaged.aiff", damaged)) != 1)
            continue;
        for (int call = 0; call < 4 && stream.decode() > 0; call++) {
        }
        stream.seek(next() % 4);
        stream.decode();
    }
}

} // namespace
