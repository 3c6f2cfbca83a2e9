/* The note table, steps, and the rows read through breaks, jumps and loops. */
#include "pt_test_util.h"

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

struct Step {
    int pattern, row, channel, effect, param;
};
struct RowRun {
    int position, firstRow, lastRow; /* rows read in a row */
};
struct PlacesCase {
    const char *what;
    std::vector<int> orders;
    int songLength;
    std::vector<Step> cells;
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
        ovtools::ModuleWriter writer;
        writer.orders(c.orders).songLength(c.songLength);
        for (const Step &s : c.cells)
            writer.cell(s.pattern, s.row, s.channel, 0, 0, s.effect, s.param);
        LoadedModule m(writer.bytes());
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
