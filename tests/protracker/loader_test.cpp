/* The module loader: what it refuses and why, and how it lays out the state. */
#include "pt_test_util.h"

#include <cstring>

using namespace pttest;
using ovtools::ModuleWriter;

namespace {

struct Case {
    const char *what;
    std::vector<uint8_t> image;
    int32 size; /* bytes given to the loader */
    int32 verdict;
    uint32 tagBytes, needed;
    const char *tag = "M.K."; /* written over the image's */
};

void PrintTo(const Case &row, std::ostream *out) { *out << row.what; }

std::vector<Case> verdicts()
{
    const auto empty = ModuleWriter().bytes(); /* 2108 bytes: one pattern, no samples */
    const auto sixPatterns = ModuleWriter().orders({0, 5, 2}).songLength(1).bytes();
    const auto sampled = ModuleWriter().sample(2, ovtools::constantSample(10, 1)).bytes();
    ovtools::ModuleSample liar;
    liar.data = ovtools::constantSample(4, 9);
    liar.lengthWordsOverride = 0xFFFF;
    return {
        {"2108 bytes hold one pattern", empty, 2108, PT_MODULE_ACCEPTED, 4, 2108},
        {"one byte less", empty, 2107, PT_MODULE_TOO_SHORT, 4, 2108},
        {"no room for the signature", empty, 1083, PT_MODULE_NO_SIGNATURE, 3, 0},
        {"a negative size", empty, -1, PT_MODULE_NO_SIGNATURE, 0, 0},
        {"N.K.", empty, 2108, PT_MODULE_NO_SIGNATURE, 4, 0, "N.K."},
        {"M.K!", empty, 2108, PT_MODULE_NO_SIGNATURE, 4, 0, "M.K!"},
        {"every order byte counts", sixPatterns, 7228, PT_MODULE_ACCEPTED, 4, 7228},
        {"the last sample ends with the image", sampled, 2118, PT_MODULE_ACCEPTED, 4, 2118},
        {"a length word past the image", ModuleWriter().sample(31, liar).bytes(), 2112,
         PT_MODULE_TOO_SHORT, 4, 2108 + 0xFFFF * 2},
    };
}

} // namespace

using PtLoaderVerdicts = testing::TestWithParam<Case>;

TEST_P(PtLoaderVerdicts, SayWhatTheyFound)
{
    const Case &c = GetParam();
    std::vector<uint8_t> image = c.image;
    std::memcpy(image.data() + 1080, c.tag, 4);
    pt_module_check check = pt_check_module(image.data(), c.size);
    EXPECT_EQ(check.verdict, c.verdict) << c.what;
    EXPECT_EQ(check.tag_bytes, c.tagBytes) << c.what;
    EXPECT_EQ(std::memcmp(check.tag, image.data() + 1080, c.tagBytes), 0) << c.what;
    EXPECT_EQ(check.needed, c.needed) << c.what;
    EXPECT_EQ(check.size, c.size > 0 ? static_cast<uint32>(c.size) : 0u) << c.what;
    pt_state *state = pt_init(image.data(), c.size, 44100, ovtest::exec());
    EXPECT_EQ(state != nullptr, c.verdict == PT_MODULE_ACCEPTED) << c.what;
    if (state != nullptr)
        ovtest::exec()->FreeVec(ovtest::exec(), state);
    EXPECT_EQ(pt_init(nullptr, 5000, 44100, ovtest::exec()), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Rows, PtLoaderVerdicts, testing::ValuesIn(verdicts()), ovtest::byWhat);

TEST(PtLoader, StateLayout)
{
    const ovtools::ModuleSample looped{
        "a sample name of 22 ch+extra", ovtools::constantSample(20, 3), 0xF7, 80, 2, 4};
    ModuleWriter writer;
    writer.title("a title of twenty ch+extra").sample(1, looped);
    writer.sample(3, ovtools::constantSample(6, 1), 64, 8).orders({0, 5, 2}).songLength(9);
    writer.order(127, 7);
    auto bytes = writer.bytes();
    bytes[951] = 5;                                   /* the restart byte */
    const uint8_t cell[4] = {0x1A, 0xBC, 0x3D, 0x4E}; /* pattern 1, row 2, channel 3 */
    std::memcpy(bytes.data() + 1084 + 1024 + 2 * 16 + 3 * 4, cell, 4);
    LoadedModule m(bytes);
    ASSERT_NE(m.state, nullptr);
    const pt_state &st = *m.state;
    EXPECT_EQ(std::string(st.title), "a title of twenty ch");
    EXPECT_EQ(std::string(st.samples[1].name), "a sample name of 22 ch");
    /* patterns: one more than the highest of all 128 order bytes */
    EXPECT_EQ(std::vector<uint32>({st.num_patterns, st.song_length, st.order_table[1],
                                   st.order_table[2], st.order_table[127]}),
              std::vector<uint32>({8, 9, 5, 2, 7}));
    const pt_note &note = st.patterns[1 * 256 + 2 * 4 + 3];
    EXPECT_EQ(std::vector<uint32>(
                  {note.period, note.sample, note.effect, note.param_x, note.param_y, note.param}),
              std::vector<uint32>({0xABC, 0x13, 0xD, 4, 14, 0x4E}));
    /* lengths in 18.14; sample data follows the patterns, and an empty
     * sample takes the cursor without moving it */
    const pt_sample &s = st.samples[1];
    EXPECT_EQ(std::vector<uint32>({s.length, s.loop_start, s.loop_length, s.loop_end, s.finetune,
                                   s.volume, st.samples[3].length}),
              std::vector<uint32>({20 * 16384, 65536, 131072, 196608, 7, 80, 6 * 16384}));
    const uint8_t *data = m.image.data() + 1084 + 8 * 1024;
    EXPECT_EQ(std::vector<const uint8_t *>({s.data, st.samples[2].data, st.samples[3].data}),
              std::vector<const uint8_t *>({data, data + 20, data + 20}));
    /* what the module says of itself: bytes, and finetunes signed */
    const pt_module_info info = pt_get_module_info(m.state);
    const pt_sample_info &one = info.samples[0], &three = info.samples[2];
    EXPECT_EQ(std::string(info.title) + "|" + one.name,
              "a title of twenty ch|a sample name of 22 ch");
    EXPECT_EQ(std::vector<int32>({info.orders, info.patterns, info.restart, one.length,
                                  one.loop_start, one.loop_length, one.volume, one.finetune,
                                  three.length, three.finetune}),
              std::vector<int32>({9, 8, 5, 20, 4, 8, 80, 7, 6, -8}));

    EXPECT_EQ(std::vector<int64_t>({st.flags, st.mix_rate, st.master_volume, st.speed,
                                    st.song_position, st.row, st.pattern_delay, st.break_row,
                                    st.filter_on, st.sample_counter, st.tick_countdown}),
              std::vector<int64_t>({4, 44100, 256, 6, 0, 0, 0, 0, 0, 0, 0}));
}

/* A channel reads less than 128 KB past its sample's start, so nothing past
 * the last sample's start + 128 KB is heard. A module built to read as far
 * as that (sample 31 looping from past 128 KB, so its position climbs until
 * it turns negative; two 9FF, the second without a sample number, adding up
 * to 130560 bytes in; EFF inverting at that loop; a high step from E1F on
 * another channel) renders the same bytes from an image cut at its reach as
 * from the whole one, which holds other bytes after its samples, and
 * different ones from an image one byte shorter. */
TEST(PtLoader, NothingPastTheReachIsHeard)
{
    ovtools::ModuleSample far;
    far.data = {5, 5};
    far.loopStartWords = 0xFFFF;
    far.loopLengthWords = 2;
    ModuleWriter writer;
    writer.sample(30, waveSample(3000, 1), 64, 0, 0, 3000).sample(31, far);
    writer.cell(0, 0, 0, 113, 31, 0x9, 0xFF).cell(0, 1, 0, 113, 0, 0x9, 0xFF);
    writer.cell(0, 0, 2, 113, 30);
    for (int row = 0; row < 12; row++)
        writer.cell(0, row, 1, row == 0 ? 113 : 0, row == 0 ? 31 : 0, 0xE, 0xFF)
            .cell(0, row + 1, 2, 0, 0, 0xE, 0x1F);
    std::vector<uint8_t> whole = writer.bytes();
    const size_t reach = pt_check_module(whole.data(), static_cast<int32>(whole.size())).reach;
    for (size_t i = whole.size(); i < reach + 4096; i++)
        whole.push_back(static_cast<uint8_t>(i * 131 + 7) | 1);
    auto rendered = [&](size_t bytes) {
        LoadedModule module({whole.begin(), whole.begin() + bytes});
        EXPECT_NE(module.state, nullptr);
        return module.state != nullptr ? render(pt_render, module.state, 14 * 5292)
                                       : std::vector<uint8_t>();
    };
    const std::vector<uint8_t> heard = rendered(whole.size());
    EXPECT_TRUE(rendered(reach) == heard);
    EXPECT_FALSE(rendered(reach - 1) == heard) << "the reach's last byte is heard";
}
