/* Playing AIFF files through OV_AIFF.ovplug's player entry points. */
#include "aiff_host.h"

#include <cstring>

namespace {

using aifftest::Stream;
using ovtest::AiffFile;
using ovtest::extendedRate;
using ovtest::extendedRaw;
using ovtest::testPcm;
using Bytes = std::vector<uint8_t>;

class Player : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(plugin.ok()); }
    ovtest::Plugin plugin{aifftest::kPluginFile};
};

/* A form holding a COMM chunk, of 16-bit samples unless asked. */
AiffFile form(uint16_t channels, uint32_t frames, double rate = 44100, uint16_t bits = 16)
{
    return AiffFile().comm(channels, frames, bits, rate);
}

struct Format {
    uint32_t channels, rate, duration;
};
constexpr Format kRefused = {~0u, 0, 0};

struct Shape {
    std::string name;
    AiffFile file;
    Format format;
    Bytes sound;
};

void PrintTo(const Shape &shape, std::ostream *out) { *out << shape.name; }

std::vector<Shape> shapes()
{
    const Bytes ten = testPcm(441000, 2), mono = testPcm(441000, 1), pcm = testPcm(1000, 2);
    Bytes longComm = form(1, 3000, 32000).bytes(), partial = pcm, beyond = pcm;
    longComm.erase(longComm.begin(), longComm.begin() + 20); /* its data, then what AIFF-C adds */
    longComm.insert(longComm.end(), {'N', 'O', 'N', 'E', 3, 'a', 'b', 'c'});
    partial.insert(partial.end(), {1, 2, 3});
    beyond.resize(400);
    beyond.insert(beyond.begin(), {0, 0, 3, 0xE8, 0, 0, 0, 0}); /* offset 1000 */
    /* A chunk running past the end of the file hides what follows it. */
    auto past = [&](const char *id, uint32_t size) {
        return form(2, 1000).chunkDeclaring(id, size, pcm).ssnd(pcm);
    };
    // clang-format off
    std::vector<Shape> shapes = {
        {"ten seconds", form(2, 441000).ssnd(ten), {2, 44100, 10000}, ten},
        {"mono", form(1, 441000).ssnd(mono), {1, 44100, 10000}, mono},
        {"odd chunks", AiffFile().chunk("NAME", "odd").chunk("AUTH", "x").comm(2, 1000, 16, 44100)
                           .chunk("ANNO", "five").chunk("(c) ", "").ssnd(pcm), {2, 44100, 22}, pcm},
        {"unusable chunks", AiffFile().chunk("COMM", Bytes(11, 83)).chunk("COMM", Bytes(12, 83))
                                .chunk("COMM", longComm).chunk("CSND", Bytes(9, 83))
                                .chunk("SSND", Bytes{1, 2, 3}).ssnd(pcm), {1, 32000, 93}, pcm},
        {"last COMM before SSND", form(1, 1, 8000, 8).comm(2, 1000, 16, 48000).ssnd(pcm)
                                      .comm(1, 5, 16, 11025), {2, 48000, 20}, pcm},
        {"SSND before COMM", AiffFile().ssnd(pcm).comm(2, 1000, 16, 44100), {0, 0, 0}, {}},
        {"empty SSND first", form(2, 1000).ssnd({}).ssnd(pcm), {2, 44100, 22}, pcm},
        {"offset", form(2, 1000).ssnd(pcm, 6).chunk("APPL", Bytes(9, 1)), {2, 44100, 22}, pcm},
        {"offset beyond", form(2, 100, 100).chunk("SSND", beyond).chunk("APPL", pcm),
         {2, 100, 1000}, {}},
        {"partial frame", form(2, 1000).ssnd(partial), {2, 44100, 22}, pcm},
        {"1 Hz", form(2, 0xFFFFFFFFu, 1).ssnd(pcm), {2, 1, 0x7FFFFFFF}, pcm},
        {"SSND past the end", form(2, 1000).ssndDeclaring(0xFFFFFFFFu, pcm), {2, 44100, 22}, pcm},
        {"8 bits", form(1, 44100, 22050, 8).ssnd(pcm), {1, 22050, 2000}, {}},
        {"24 bits", form(2, 44100, 22050, 24).ssnd(pcm), {2, 22050, 2000}, {}},
        {"3 channels", form(3, 44100, 22050).ssnd(pcm), {3, 22050, 2000}, {}},
        {"no channel", form(0, 44100, 22050).ssnd(pcm), {0, 22050, 2000}, {}},
        {"AIFC", AiffFile(form(2, 1000).ssnd(pcm)).formType("AIFC"), kRefused, {}},
        {"empty form", AiffFile(), kRefused, {}}, {"no SSND", form(2, 1000), kRefused, {}},
        {"only an empty SSND", form(2, 1000).ssnd({}), kRefused, {}},
        {"APPL past the end", past("APPL", ~0u), kRefused, {}},
        {"COMM far past the end", past("COMM", 1u << 31), kRefused, {}},
        {"COMM past the end", past("COMM", ~0u), kRefused, {}},
    };
    /* Extended rates, each with the whole number of hertz it denotes (0: none). */
    const std::pair<ovtest::Extended, uint32_t> rates[] = {
        {extendedRate(8000), 8000}, {extendedRate(11025), 11025}, {extendedRate(96000), 96000},
        {extendedRate(44100.75), 44100}, {extendedRate(4294967295.0), 4294967295u},
        {extendedRaw(0x400E, 0x5622ull << 48), 22050},       /* the writer's form: top bit clear */
        {extendedRaw(0x400E, 0xAC44123456789ABCull), 44100}, /* fraction bits below the point */
        {extendedRaw(0x403E, 44100), 44100}, {extendedRaw(0x403F, 0x7FFFFFFF), 0xFFFFFFFEu},
        {extendedRaw(0x403F, 0x80000000), 0}, {extendedRaw(0x405D, 1), 0x80000000u},
        {extendedRaw(0x405E, 1), 0}, {extendedRaw(0x403F, 5 | 1ull << 63), 0} /* 2^64 + 10 */,
        {extendedRaw(0x4040, 0), 0}, {extendedRaw(0x401E, ~0ull), ~0u},
        {extendedRaw(0x401F, 1ull << 63), 0}, {extendedRaw(0x3FFF, 1ull << 63), 1},
        {extendedRaw(0x3FFE, 0xFFFFFFFF), 0}, {extendedRaw(0x0000, 1ull << 63), 0},
        {extendedRaw(0xC00E, 0xAC44ull << 48), 0} /* negative */, {extendedRaw(0x7FFF, 0), 0},
        {extendedRaw(0x7FFF, 3ull << 62), 0} /* not a number */,
    };
    // clang-format on
    const Bytes hundred = testPcm(100, 1);
    for (const auto &[rate, hertz] : rates)
        shapes.push_back({"rate " + std::to_string(hertz),
                          AiffFile().comm(1, 100, 16, rate).ssnd(hundred),
                          {1, hertz, hertz == 0 ? 0 : 100000 / hertz},
                          hundred});
    return shapes;
}

class Shapes : public Player, public testing::WithParamInterface<Shape> {};

TEST_P(Shapes, PlayTheirFramesOnceInBlocksOf8192OrDoNotOpen)
{
    const Shape &shape = GetParam();
    Stream stream(plugin);
    const bool opens = shape.format.channels != kRefused.channels;
    ASSERT_EQ(stream.start(aifftest::tempFile("shape.aiff", shape.file.bytes())), opens);
    EXPECT_EQ(stream->PlayerHandle == nullptr, !opens);
    if (!opens)
        return;
    EXPECT_EQ(stream->Channels, shape.format.channels);
    EXPECT_EQ(stream->SampleRate, shape.format.rate);
    EXPECT_EQ(stream->Duration, shape.format.duration);
    std::vector<int32_t> results, expected;
    for (size_t left = shape.sound.size() / (2 * std::max(shape.format.channels, 1u)); left > 0;
         left -= expected.back())
        expected.push_back(static_cast<int32_t>(std::min<size_t>(left, 8192)));
    expected.push_back(-1);
    EXPECT_TRUE(stream.decodeAll(&results) == shape.sound);
    EXPECT_EQ(results, expected);
    EXPECT_EQ(stream.decode(), -1) << "the end is final";
}

INSTANTIATE_TEST_SUITE_P(Player, Shapes, testing::ValuesIn(shapes()), [](const auto &row) {
    return std::to_string(row.index) + "_" + ovtest::caseName(row.param.name);
});

/* A fresh stream, or one that has delivered its first block, seeks; the
 * next decode must start at the second asked for, or go on where it was
 * when refused. */
const Bytes ten = testPcm(441000, 2), mono = testPcm(32100, 1), pcm = testPcm(66150, 2);
const Bytes small(pcm.begin(), pcm.begin() + 4000);
// clang-format off
const struct File { AiffFile file; Format format; const Bytes &pcm; } files[] = {
    {form(2, 441000).ssnd(ten), {2, 44100}, ten},
    {AiffFile().chunk("NAME", "odd").comm(1, 32100, 16, 8000).chunk("ANNO", "x").ssnd(mono, 6),
     {1, 8000}, mono},
    {form(2, 66150).ssnd(pcm), {2, 44100}, pcm},
    {form(2, 1000).ssnd(small), {2, 44100}, small},
    {form(2, 0xF0000000u).ssndDeclaring(0x7FFFFFFFu, small), {2, 44100}, small},
    {form(2, 0xFFFFFFFFu, 1).ssnd(small), {2, 1}, small},
    {form(2, 1000, 0).ssnd(small), {2, 0}, small}, /* no rate: no second to seek to */
};
const struct Seek { size_t file; uint32_t seconds; int32_t result; } seeks[] = {
    {0, 9, 9}, {0, 0, 0}, {0, 10, -1}, {0, 0xFFFFFFFFu, -1},
    {1, 2, 2}, {1, 3, 3}, {1, 0, 0}, {1, 4, -1}, {2, 0, 0}, {2, 1, -1}, {3, 0, -1},
    {4, 0, 0}, {4, 24349, -1} /* wraps in 32 bits */, {5, 5, 5}, {5, 1000, -1},
    {5, 0x80000000u, -1} /* beyond what the result can say */, {6, 0, -1},
};
// clang-format on

void PrintTo(const Seek &c, std::ostream *out)
{
    *out << "file " << c.file << ", second " << c.seconds;
}

class Seeks : public Player, public testing::WithParamInterface<Seek> {};

TEST_P(Seeks, ByWholeSecondsWithinTheSoundData)
{
    const Seek &c = GetParam();
    for (bool fresh : {true, false}) {
        SCOPED_TRACE(fresh ? "fresh" : "after a block");
        const File &f = files[c.file];
        const size_t total = f.pcm.size() / (2 * f.format.channels),
                     before = fresh ? 0 : std::min<size_t>(total, 8192);
        Stream stream(plugin);
        ASSERT_TRUE(stream.start(aifftest::tempFile("seek.aiff", f.file.bytes())));
        ASSERT_EQ(fresh ? 0 : stream.decode(), static_cast<int32_t>(before));
        EXPECT_EQ(stream.seek(c.seconds), c.result);
        const size_t from = c.result >= 0 ? size_t(c.result) * f.format.rate : before;
        const int32_t got = stream.decode(), delivered = std::max(got, 0);
        EXPECT_EQ(got, from >= total ? -1 : int32_t(std::min<size_t>(total - from, 8192)));
        EXPECT_EQ(stream.output(delivered),
                  aifftest::framesOf(f.pcm, f.format.channels, from, delivered));
    }
}

INSTANTIATE_TEST_SUITE_P(Player, Seeks, testing::ValuesIn(seeks), [](const auto &row) {
    return "File" + std::to_string(row.param.file) + "Second" + std::to_string(row.param.seconds);
});

TEST_F(Player, EntryPointsKeepToTheirOwnFields)
{
    const Bytes pcm = testPcm(20000, 2);
    const auto path = aifftest::tempFile("fields.aiff", form(2, 20000).ssnd(pcm).bytes());
    Stream stream(plugin);
    ASSERT_EQ(stream.init(), 1);
    stream->LoadMode = LOADMODE_IN_MEMORY, stream->PlayerHandle = &stream;
    EXPECT_EQ(stream.open(path), 0) << "not its loading mode";
    EXPECT_EQ(stream->PlayerHandle, &stream) << "left as it was, and no file opened";
    EXPECT_EQ(ovTestOpenFiles(), 0u);
    stream->PlayerHandle = nullptr, stream->LoadMode = LOADMODE_BY_NAME;
    char *texts[] = {stream->InfoText1, stream->InfoText2, stream->InfoText3, stream->InfoText4,
                     stream->InfoText5};
    for (char *text : texts)
        std::memset(text, 'x', PLAYERSTREAM_INFOTEXT_LEN);
    stream->Word1324 = 5, stream->Word1344 = 7, stream->Word1348 = 8, stream->Word1352 = 9;
    ASSERT_EQ(stream.open(path), 1);
    std::string firsts;
    for (char *text : texts)
        firsts += text[0];
    EXPECT_EQ(firsts, std::string("\0\0x\0x", 5)) << "the third and fifth are the host's";
    EXPECT_EQ(std::vector<uint32_t>({stream->SampleFormat, stream->Word1324, stream->Word1344,
                                     stream->Word1348, stream->Word1352}),
              std::vector<uint32_t>({2, 0, 7, 8, 9}));
    EXPECT_EQ(plugin->DecodeFramePlayer(plugin.iface(), stream.operator->(), nullptr), 0);
    ASSERT_EQ(stream.decode(), 8192);
    EXPECT_EQ(stream.output(8192), aifftest::framesOf(pcm, 2, 0, 8192)) << "no HostArg, no read";
    stream.close();
    /* Without a frame size any second within the length lies inside the
     * data: only the result's own range bounds it. */
    ASSERT_TRUE(stream.start(aifftest::tempFile("a.aiff", form(0, ~0u, 1).ssnd(pcm).bytes())));
    EXPECT_EQ(stream.seek(0x7FFFFFFF), 0x7FFFFFFF);
    EXPECT_EQ(stream.seek(0x80000000u), -1);
}

} // namespace
