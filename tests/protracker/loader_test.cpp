/* The module loader: what it refuses, and how it lays out the state. */
#include "pt_test_util.h"

#include "platform/byteorder.h"

#include <cmath>
#include <cstring>

using namespace pttest;
using ovtools::ModuleWriter;

namespace {

std::vector<uint8_t> emptyModule(size_t size)
{
    std::vector<uint8_t> bytes(size, 0);
    std::memcpy(bytes.data() + 1080, "M.K.", 4);
    return bytes;
}

pt_state *load(std::vector<uint8_t> &bytes, int32 rate = 44100)
{
    return pt_init(bytes.data(), static_cast<int32>(bytes.size()), rate, ovtest::exec());
}

} // namespace

TEST(PtLoaderRejects, NullAndShortImages)
{
    EXPECT_EQ(pt_init(nullptr, 5000, 44100, ovtest::exec()), nullptr);
    auto bytes = emptyModule(2108);
    EXPECT_EQ(pt_init(bytes.data(), 1083, 44100, ovtest::exec()), nullptr);
    EXPECT_EQ(pt_init(bytes.data(), -1, 44100, ovtest::exec()), nullptr);
    /* 1084 bytes hold the signature but not the one pattern of an all-zero order table */
    EXPECT_EQ(pt_init(bytes.data(), 1084, 44100, ovtest::exec()), nullptr);
    EXPECT_EQ(pt_init(bytes.data(), 2107, 44100, ovtest::exec()), nullptr);
    LoadedModule accepted(bytes);
    ASSERT_NE(accepted.state, nullptr);
    EXPECT_EQ(accepted.state->num_patterns, 1u);
}

TEST(PtLoaderRejects, EveryOtherSignature)
{
    for (const char *signature : {"M.K!", "M!K.", "m.k.", "M.K ", "FLT4", "4CHN", "\0\0\0\0"}) {
        auto bytes = emptyModule(2108);
        std::memcpy(bytes.data() + 1080, signature, 4);
        EXPECT_EQ(load(bytes), nullptr) << signature;
    }
}

TEST(PtLoaderRejects, PatternDataAndSampleDataPastTheEnd)
{
    auto bytes = ModuleWriter().orders({0, 5, 2}).songLength(1).bytes();
    ASSERT_EQ(bytes.size(), 1084u + 6 * 1024);
    std::vector<uint8_t> shortOne(bytes.begin(), bytes.end() - 1);
    EXPECT_EQ(load(shortOne), nullptr);

    /* the last sample ends exactly at the end: accepted; a byte less: refused
     * (the state block is released, which the leak check confirms) */
    auto module = basicWriter().sample(2, ovtools::constantSample(10, 1)).bytes();
    LoadedModule exact(module);
    EXPECT_NE(exact.state, nullptr);
    std::vector<uint8_t> cut(module.begin(), module.end() - 1);
    EXPECT_EQ(load(cut), nullptr);

    /* a header claiming more data than the file holds */
    ovtools::ModuleSample liar;
    liar.data = ovtools::constantSample(4, 9);
    liar.lengthWordsOverride = 0xFFFF;
    auto lying = ModuleWriter().sample(31, liar).bytes();
    EXPECT_EQ(load(lying), nullptr);
}

TEST(PtLoaderRejects, NoMemoryLeavesNothing)
{
    auto bytes = basicWriter().bytes();
    uint32 before = ovTestLiveAllocations();
    ovTestFailAllocation(1);
    EXPECT_EQ(load(bytes), nullptr);
    EXPECT_EQ(ovTestLiveAllocations(), before);
}

TEST(PtLoaderLayout, PatternCountComesFromAll128OrderBytes)
{
    auto bytes = ModuleWriter().orders({0, 5, 2}).songLength(1).bytes();
    LoadedModule m(bytes);
    ASSERT_NE(m.state, nullptr);
    EXPECT_EQ(m.state->num_patterns, 6u);
    EXPECT_EQ(m.state->song_length, 1u);
    EXPECT_EQ(m.state->order_table[1], 5u);
    EXPECT_EQ(m.state->order_table[2], 2u);
    EXPECT_EQ(m.state->patterns, reinterpret_cast<pt_note *>(m.state + 1));

    ModuleWriter late;
    late.order(127, 3).songLength(1);
    LoadedModule m2(late.bytes());
    ASSERT_NE(m2.state, nullptr);
    EXPECT_EQ(m2.state->num_patterns, 4u);
}

TEST(PtLoaderLayout, CellUnpacking)
{
    auto bytes = ModuleWriter().orders({0, 1}).bytes();
    /* pattern 1, row 2, channel 3 */
    size_t at = 1084 + 1024 + 2 * 16 + 3 * 4;
    const uint8_t cell[4] = {0x1A, 0xBC, 0x3D, 0x4E};
    std::memcpy(bytes.data() + at, cell, 4);
    LoadedModule m(bytes);
    ASSERT_NE(m.state, nullptr);
    const pt_note &note = m.state->patterns[1 * 256 + 2 * 4 + 3];
    EXPECT_EQ(note.period, 0xABCu);
    EXPECT_EQ(note.sample, 0x13u);
    EXPECT_EQ(note.effect, 0xD);
    EXPECT_EQ(note.param, 0x4E);
    EXPECT_EQ(note.param_x, 4);
    EXPECT_EQ(note.param_y, 14);
    /* effect, x, y and param read as one big-endian word */
    const uint8_t *raw = reinterpret_cast<const uint8_t *>(&note) + 8;
    EXPECT_EQ(ov_load_be32(raw), 0x0D040E4Eu);
    EXPECT_EQ(sizeof(pt_note), 16u);
}

TEST(PtLoaderLayout, SampleFieldsInFixedPoint)
{
    ovtools::ModuleSample looped;
    looped.name = "a sample name of 22 ch+extra";
    looped.data = ovtools::constantSample(20, 3);
    looped.finetune = 0xF7;
    looped.volume = 80;
    looped.loopStartWords = 2;
    looped.loopLengthWords = 4;
    auto bytes = ModuleWriter().title("a title of twenty ch+extra").sample(1, looped)
                     .sample(3, ovtools::constantSample(6, 1)).bytes();
    LoadedModule m(bytes);
    ASSERT_NE(m.state, nullptr);
    const pt_sample &s = m.state->samples[1];
    EXPECT_EQ(s.length, 20u * 16384);
    EXPECT_EQ(s.loop_start, 65536u);
    EXPECT_EQ(s.loop_length, 131072u);
    EXPECT_EQ(s.loop_end, 196608u);
    EXPECT_EQ(s.finetune, 7u);
    EXPECT_EQ(s.volume, 80u);
    EXPECT_EQ(std::string(s.name), "a sample name of 22 ch");
    EXPECT_EQ(std::string(m.state->title), "a title of twenty ch");
    /* sample data follows the one pattern; an empty sample takes the cursor
     * without moving it */
    EXPECT_EQ(s.data, m.image.data() + 1084 + 1024);
    EXPECT_EQ(m.state->samples[2].data, m.image.data() + 1084 + 1024 + 20);
    EXPECT_EQ(m.state->samples[2].length, 0u);
    EXPECT_EQ(m.state->samples[3].data, m.image.data() + 1084 + 1024 + 20);
    const pt_sample &empty = m.state->samples[0];
    EXPECT_EQ(empty.data, nullptr);
    EXPECT_EQ(empty.length | empty.loop_length | empty.volume, 0u);
}

TEST(PtLoaderLayout, InitialPlaybackState)
{
    auto bytes = basicWriter().songLength(9).bytes();
    LoadedModule m(bytes);
    ASSERT_NE(m.state, nullptr);
    const pt_state &st = *m.state;
    EXPECT_EQ(st.flags, 4u);
    EXPECT_EQ(st.song_length, 9u);
    EXPECT_EQ(st.mix_rate, 44100);
    EXPECT_EQ(st.master_volume, 256u);
    EXPECT_EQ(st.speed, 6u);
    EXPECT_EQ(st.song_position | st.row | st.pattern_delay | st.break_row | st.filter_on, 0u);
    EXPECT_EQ(st.sample_counter, 0);
    EXPECT_EQ(st.tick_countdown, 0);
    const int pans[4] = {0, 255, 255, 0};
    for (int c = 0; c < 4; c++) {
        EXPECT_EQ(st.channels[c].position, -1);
        EXPECT_EQ(st.channels[c].volume, 64);
        EXPECT_EQ(st.channels[c].cut_countdown, -1);
        EXPECT_EQ(st.channels[c].retrig_countdown, 0);
        EXPECT_EQ(st.channels[c].pan, pans[c]);
        EXPECT_EQ(st.channels[c].sample, 0);
    }
    for (int i = 0; i < 2; i++)
        for (int j = 0; j < 2; j++)
            EXPECT_EQ(st.filter_in[i][j] + st.filter_out[i][j], 0.0f);
}

TEST(PtLoaderLayout, FilterCoefficientsAndTickLength)
{
    auto bytes = basicWriter().bytes();
    LoadedModule at44(bytes, 44100);
    ASSERT_NE(at44.state, nullptr);
    EXPECT_EQ(at44.state->tick_samples, 882);
    EXPECT_NEAR(at44.state->filter_a, 0.5654419, 5e-8);
    EXPECT_NEAR(at44.state->filter_b, 0.2172790, 5e-8);
    /* b comes from the double-precision a, one unit in the last place away
     * from what the rounded a would give */
    double t = std::atan(12566.37061435916 / 44100.0);
    double a = (1 - t) / (1 + t);
    EXPECT_EQ(at44.state->filter_a, static_cast<float>(a));
    EXPECT_EQ(at44.state->filter_b, static_cast<float>((1 - a) * 0.5));
    EXPECT_NE(at44.state->filter_b,
              static_cast<float>((1 - static_cast<double>(static_cast<float>(a))) * 0.5));

    LoadedModule at48(bytes, 48000);
    ASSERT_NE(at48.state, nullptr);
    EXPECT_EQ(at48.state->tick_samples, 960);
    EXPECT_NEAR(at48.state->filter_a, 0.5922898, 5e-8);
    EXPECT_NEAR(at48.state->filter_b, 0.2038551, 5e-8);
}

TEST(PtLoaderRejects, NotAProtrackerModule)
{
    OV_REQUIRE_MODS();
    auto bytes = ovtest::readFile(ovtest::modsDir() + "/not-a-protracker-module.xm.mod");
    ASSERT_GT(bytes.size(), 1084u);
    EXPECT_EQ(load(bytes), nullptr);
}
