/* The note table, steps, the rows read through breaks, jumps and loops, and
 * the song scan: where songs end, for each way a module steers its rows. */
#include "pt_test_util.h"

#include <tuple>

using namespace pttest;

TEST(PtSequencerPitch, TablesStepsAndLookups)
{
    /* the three tables as a digest of their values */
    uint64_t hash = 14695981039346656037ull;
    auto add = [&hash](int value) { hash = (hash ^ (value & 0xFFFF)) * 1099511628211ull; };
    for (int16 v : tab_tunes)
        add(v);
    for (uint8 v : tab_vib)
        add(v);
    for (uint8 v : tab_funk)
        add(v);
    EXPECT_EQ(hash, 7324694636588364306ull);

    LoadedModule m(ovtools::ModuleWriter().bytes());
    /* 0 has no divisor, below 0 steps turn negative, the product has 32 bits */
    const int32 steps[][2] = {
        {428, 3106}, {0, 0}, {-428, -3106}, {60000, 1172874197 / (-1648967296 / 50)}};
    for (auto [period, step] : steps)
        EXPECT_EQ(pt_period_step(m.state, period), step) << period;

    EXPECT_EQ(getperiod(120, 0, 3), 113); /* offsets stop at the row's last note */
}

namespace {

constexpr int64 kTick = 882; /* samples of a tick at tempo 125, 44100 Hz */

using Cells = std::vector<std::tuple<int, int, int, int, int>>; /* pattern, row, channel, Exy */

/* Patterns played in the order given (a song length other than theirs if
 * given), with a note and the effect in each cell given. */
std::vector<uint8_t> song(const std::vector<int> &orders, const Cells &cells, int songLength = 0)
{
    ovtools::ModuleWriter writer;
    writer.sample(1, ovtools::constantSample(1000, 64), 64).orders(orders);
    if (songLength != 0)
        writer.songLength(songLength);
    for (const auto &[pattern, row, channel, effect, param] : cells)
        writer.cell(pattern, row, channel, 428, 1, effect, param);
    return writer.bytes();
}

struct RowRun {
    int position, firstRow, lastRow; /* rows read in a row */
};
struct PlacesCase {
    const char *what;
    std::vector<int> orders;
    int songLength;
    Cells cells;
    std::vector<RowRun> runs;
};

// clang-format off
const PlacesCase kPlaces[] = {
    {"B03 jumps; B04, the song length, goes to position 0", {0, 1, 2, 3}, 4,
     {{0, 1, 2, 0xB, 3}, {3, 0, 0, 0xB, 4}}, {{0, 0, 1}, {3, 0, 0}, {0, 0, 0}}},
    {"D00 and D70 go to row 0, D32 to row 32; B01 with D10 after it to row 10",
     {0, 1, 2, 3}, 4, {{0, 0, 1, 0xD, 0x00}, {1, 0, 1, 0xD, 0x70}, {2, 0, 1, 0xD, 0x32},
      {3, 32, 0, 0xB, 1}, {3, 32, 3, 0xD, 0x10}},
     {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 32, 32}, {1, 10, 11}}},
    {"a song length above 128 ends at 128", {1}, 200,
     {{1, 0, 0, 0xB, 0x7F}, {0, 0, 0, 0xD, 0}}, {{0, 0, 0}, {127, 0, 0}, {0, 0, 0}}},
    /* Channel 0 loops to row 0, leaving working row -1, which channel 1's
     * E60 records as its start; its E61 leaves -2, whose successor is 63. */
    {"a loop start below row 0 goes on at row 63", {0}, 1,
     {{0, 5, 0, 0xE, 0x61}, {0, 5, 1, 0xE, 0x60}, {0, 10, 1, 0xE, 0x61}},
     {{0, 0, 5}, {0, 0, 10}, {0, 63, 63}, {0, 0, 0}}},
};
// clang-format on

} // namespace

TEST(PtSequencerAdvance, RowsReadInOrder)
{
    for (const PlacesCase &c : kPlaces) {
        LoadedModule m(song(c.orders, c.cells, c.songLength));
        ASSERT_NE(m.state, nullptr) << c.what;
        for (const RowRun &run : c.runs) {
            for (int row = run.firstRow; row <= run.lastRow; row++) {
                EXPECT_EQ(m.state->song_position, static_cast<uint32>(run.position)) << c.what;
                EXPECT_EQ(m.state->row, static_cast<uint32>(row)) << c.what;
                pt_read_row(m.state);
            }
        }
    }
    /* a damaged state still reads inside the patterns */
    LoadedModule m(ovtools::ModuleWriter().bytes());
    m.state->song_position = m.state->row = UINT32_MAX;
    pt_read_row(m.state);
    EXPECT_EQ(m.state->song_position, 0u);
    EXPECT_EQ(m.state->row, 0u);
}

namespace {

struct ScanCase {
    const char *what;
    std::vector<uint8_t> module;
    int32 passes;
    int64 samples;
    int64 limit = 1LL << 40;
};

void PrintTo(const ScanCase &row, std::ostream *out) { *out << row.what; }

std::vector<ScanCase> scans()
{
    /* the first tick comes after one tick of silence; a row lasts 6 ticks */
    auto rows = [](int64 count) { return kTick + count * 6 * kTick; };
    return {
        {"one pattern", song({0}, {}), 1, rows(64)},
        {"B01 at position 1: the second pass repeats position 1 alone",
         song({0, 1, 2}, {{1, 9, 0, 0xB, 0x01}}), 2, rows(64 + 10 + 10)},
        {"E62 plays rows 4-7 three times; E60 inside moves nothing",
         song({0}, {{0, 4, 0, 0xE, 0x60}, {0, 6, 0, 0xE, 0x60}, {0, 7, 0, 0xE, 0x62}}), 1,
         rows(64 + 2 * 4)},
        {"E61 without E60 goes back to row 0", song({0}, {{0, 2, 3, 0xE, 0x61}}), 1, rows(64 + 3)},
        {"EE3 holds row 0 for three more rows", song({0}, {{0, 0, 0, 0xE, 0xE3}}), 1, rows(64 + 3)},
        {"F96 makes ticks after row 0's first 44100 × 50.5 / (150 × 20.4) = 727.8 samples",
         song({0}, {{0, 0, 0, 0xF, 0x96}}), 1, kTick + 64 * 6 * 727},
        /* channel 3's E60 stays open: the table of row states with loops grows
         * over 16 passes before row 1 recurs */
        {"E6F plays it 16 times; a loop state recurs after the table grew",
         song({0}, {{0, 0, 0, 0xE, 0x60}, {0, 0, 3, 0xE, 0x60}, {0, 63, 0, 0xE, 0x6F}}), 1,
         rows(16 * 64 + 1)},
        /* 128 positions of two nested 16-fold loops at one tick a row */
        {"more rows than a pass may have",
         song(std::vector<int>(128, 0), {{0, 0, 0, 0xE, 0x60},
                                         {0, 63, 0, 0xE, 0x6F},
                                         {0, 0, 1, 0xE, 0x60},
                                         {0, 31, 1, 0xE, 0x6F},
                                         {0, 0, 2, 0xF, 0x01}}),
         1, -1},
        {"no pass", song({0}, {}), 0, -1},
        {"the end lies beyond the bound", song({0}, {}), 1, -1, 1000},
    };
}

} // namespace

using PtSongScan = testing::TestWithParam<ScanCase>;

TEST_P(PtSongScan, EndsWhereARowRepeatsItsState)
{
    const ScanCase &c = GetParam();
    LoadedModule m(c.module);
    ASSERT_NE(m.state, nullptr) << c.what;
    EXPECT_EQ(pt_song_samples(m.state, c.passes, c.limit, ovtest::exec()), c.samples) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Rows, PtSongScan, testing::ValuesIn(scans()), ovtest::byWhat);
