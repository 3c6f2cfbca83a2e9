/* Note handling and effect commands: a few cells of pattern 0 per case, and
 * the values channel and state fields take on the ticks that follow. */
#include "pt_test_util.h"

#include <numeric>

using namespace pttest;

namespace {

struct Cell {
    int row, channel, period, sample, effect, param;
};

#define CH(field) [](const pt_state &, const pt_channel &c) -> int64_t { return c.field; }
#define ST(field) [](const pt_state &s, const pt_channel &) -> int64_t { return s.field; }
/* The bytes of sample n added up: each inverted byte b moves it by -2b - 1. */
#define SUM(n)                                                                                     \
    [](const pt_state &s, const pt_channel &) -> int64_t {                                         \
        const int8_t *data = reinterpret_cast<const int8_t *>(s.samples[n].data);                  \
        return std::accumulate(data, data + 16, 0);                                                \
    }

/* Values of probe from tick `from` (tick 0 reads row 0), every `every` ticks. */
struct Expect {
    int64_t (*probe)(const pt_state &, const pt_channel &);
    int from;
    std::vector<int64_t> values;
    int every = 1, channel = 0;
};

struct Case {
    const char *what;
    std::vector<Cell> cells;
    std::vector<Expect> expect;
    uint32 stateFlags = PT_STATE_FILTER_SWITCHABLE;
};

void PrintTo(const Case &row, std::ostream *out) { *out << row.what; }

constexpr int64_t S(int period) { return 1172874197 / (44100 * period / 50); }
constexpr int64_t OFFSET = 256 * 16384; /* 9xx moves by xx × 256 bytes */
constexpr int MARK = 777;               /* the probed channel's position before every tick */

/* Sample 2, its volume set to 32, then to 0, then a bare note with the effect. */
std::vector<Cell> bareNote(int effect, int param)
{
    return {{0, 0, 428, 2, 0, 0},
            {1, 0, 0, 0, 0xC, 0x20},
            {2, 0, 0, 0, 0xC, 0},
            {3, 0, 428, 0, effect, param}};
}

std::vector<Cell> withRows(std::vector<Cell> cells, int first, int last, int channel, int effect,
                           int param)
{
    for (int row = first; row <= last; row++)
        cells.push_back({row, channel, 0, 0, effect, param});
    return cells;
}

// clang-format off
const Case kCases[] = {
    {"an instrument with arpeggio and no note restarts the last note at the saved volume",
     {{0, 0, 214, 1, 0, 0}, {1, 0, 0, 0, 0xC, 0}, {2, 0, 0, 32, 0x0, 0x47}},
     {{CH(position), 11, {MARK, 0}}, {CH(volume), 11, {0, 63}}, {CH(step), 12, {S(143)}}}},
    {"that row counts as one with a note for a running cut: EC silences it",
     {{0, 0, 214, 1, 0, 0}, {1, 0, 0, 0, 0xE, 0xC8}, {2, 0, 0, 3, 0x0, 0x47}},
     {{CH(volume), 13, {20, 0}}}},
    {"a bare note keeps the saved volume, not the sample's", bareNote(0, 0),
     {{CH(volume), 5, {40, 32, 0, 32}, 6}}},
    {"so does one with E1y", bareNote(0xE, 0x11), {{CH(volume), 23, {32}}}},
    {"so does one with E2y", bareNote(0xE, 0x21), {{CH(volume), 23, {32}}}},
    {"so does one with Fxx", bareNote(0xF, 0x06), {{CH(volume), 23, {32}}}},
    {"one with 8xx keeps the volume as it is", bareNote(0x8, 0),
     {{CH(volume), 23, {0}}, {CH(position), 18, {0}}}},
    {"a sample alone is pending; a bare note after it plays that sample",
     {{0, 0, 428, 2, 0, 0}, {1, 0, 0, 3, 0, 0}, {2, 0, 428, 0, 0, 0}},
     {{CH(sample), 5, {2, 2, 3}, 6}, {CH(pending_sample), 5, {0, 3, 0}, 6},
      {CH(volume), 5, {40, 20, 20}, 6}}},
    {"037 at speed 6 plays +7, +3, +0 on each row's ticks", {{0, 0, 428, 1, 0x0, 0x37}},
     {{CH(step), 0, {S(285), S(360), S(428), S(285), S(360), S(428)}}, {CH(period), 5, {428}}}},
    /* volume */
    {"A, C, EA and EB saturate at 0 and 63",
     {{0, 0, 428, 3, 0, 0}, {1, 0, 0, 0, 0xA, 0x10}, {2, 0, 0, 0, 0xA, 0x01},
      {3, 0, 0, 0, 0xC, 0x3E}, {4, 0, 0, 0, 0xA, 0x10}, {5, 0, 0, 0, 0xC, 0x40},
      {6, 0, 0, 0, 0xA, 0x0F}, {7, 0, 0, 0, 0xE, 0xA5}, {8, 0, 0, 0, 0xE, 0xB7},
      {9, 0, 0, 0, 0xE, 0xB9}, {10, 0, 0, 0, 0xC, 0x3E}, {11, 0, 0, 0, 0xE, 0xA5}},
     {{CH(volume), 5, {20, 26, 20, 62, 63, 63, 0, 5, 0, 0, 62, 63}, 6},
      {CH(period), 11, {431}}}},
    {"7xy shapes the output volume only, for its row", {{0, 0, 428, 4, 0x7, 0x44}},
     {{CH(output_volume), 0, {32, 35, 37, 39, 39, 39, 32}}, {CH(volume), 5, {32}}}},
    {"E70, E71 and E72 tremolo at positions 30, 31 and 32", {{0, 0, 428, 4, 0xE, 0x70},
     {0, 1, 428, 4, 0xE, 0x71}, {0, 2, 428, 4, 0xE, 0x72}, {1, 0, 0, 0, 7, 0x54},
     {1, 1, 0, 0, 7, 0x54}, {1, 2, 0, 0, 7, 0x54}, {2, 0, 0, 0, 7, 0x14}, {2, 1, 0, 0, 7, 0x14},
     {2, 2, 0, 0, 7, 0x14}},
     {{CH(output_volume), 12, {33, 32, 32}}, {CH(output_volume), 12, {39, 39, 24}, 1, 1},
      {CH(output_volume), 12, {39, 39, 24}, 1, 2}}},
    {"EC3 with a note cuts on the fourth tick, EC0 at once", {{0, 0, 428, 1, 0xE, 0xC3},
     {0, 1, 428, 1, 0xE, 0xC0}}, {{CH(output_volume), 0, {63, 63, 63, 0}}, {CH(volume), 3, {0}},
     {CH(output_volume), 0, {0}, 1, 1}}},
    {"EC3 without a note brings the saved volume back",
     {{0, 0, 428, 1, 0, 0}, {1, 0, 0, 0, 0xA, 0x0F}, {2, 0, 0, 0, 0xE, 0xC3}},
     {{CH(volume), 11, {0, 0, 0, 0, 63}}, {CH(output_volume), 15, {63}}}},
    /* pitch */
    {"1xx slides from the row's second tick, for its row, down to 108; 2xx up to 907",
     {{0, 0, 428, 1, 0x1, 0x10}, {0, 1, 856, 1, 0x2, 0xFF}, {0, 2, 428, 1, 0x1, 0xFF}},
     {{CH(period), 0, {428, 412, 396, 380, 364, 348, 348, 348}}, {CH(step), 5, {S(348)}},
      {CH(output_period), 1, {907}, 1, 1}, {CH(period), 2, {108}, 1, 2},
      {CH(step), 2, {S(108)}, 1, 2}}},
    {"E1y moves the period and the target, without limit and without output_period; E2y too",
     withRows({{0, 0, 113, 1, 0, 0}, {1, 0, 0, 0, 0xE, 0x1F}, {2, 0, 0, 0, 0x3, 0x01},
               {0, 1, 856, 1, 0, 0}}, 1, 4, 1, 0xE, 0x2F),
     {{CH(period), 11, {98, 98, 112}}, {CH(step), 6, {S(98)}},
      {CH(period), 5, {856, 871, 886, 901, 916}, 6, 1}}},
    {"3xx reaches its target with a last step of 1",
     {{0, 0, 428, 1, 0, 0}, {1, 0, 404, 0, 0x3, 23}, {0, 1, 404, 1, 0, 0}, {1, 1, 428, 0, 0x3, 23}},
     {{CH(period), 6, {428, 405, 404, 404}}, {CH(period), 6, {404, 427, 428}, 1, 1}}},
    {"3xx with a sample switches at once and keeps the position; the target has its finetune",
     {{0, 0, 428, 1, 0, 0}, {1, 0, 214, 2, 0x3, 0x40}},
     {{CH(position), 6, {MARK}}, {CH(sample), 6, {2}}, {CH(volume), 6, {40}},
      {CH(period), 6, {428, 364, 300, 236, 213, 213}}}},
    {"300 goes on at the remembered speed; a row without it stops",
     {{0, 0, 428, 1, 0, 0}, {1, 0, 214, 0, 0x3, 0x08}, {2, 0, 0, 0, 0x3, 0}},
     {{CH(period), 11, {388, 388, 380, 372, 364, 356, 348, 348, 348}}}},
    {"E31 rounds the portamento's step to semitones",
     {{0, 0, 428, 1, 0, 0}, {1, 0, 0, 0, 0xE, 0x31}, {2, 0, 214, 0, 0x3, 0x18}},
     {{CH(period), 13, {404, 380}}, {CH(step), 13, {S(404), S(360)}}}},
    {"EF1 turns the rounding on too, in the finetune's row",
     {{0, 0, 428, 2, 0, 0}, {1, 0, 0, 0, 0xE, 0xF1}, {2, 0, 0, 0, 0x1, 0x10}},
     {{CH(period), 13, {409}}, {CH(step), 13, {S(401), S(379)}}}},
    {"rounding below every period of the table takes its last entry",
     {{0, 0, 114, 3, 0, 0}, {1, 0, 0, 0, 0xE, 0x31}, {2, 0, 0, 0, 0x1, 0x20}},
     {{CH(period), 13, {108}}, {CH(step), 13, {S(114)}}}},
    {"4xy vibrato around the tuned period; an empty row after it keeps the last pitch",
     {{0, 0, 428, 2, 0x4, 0x48}}, {{CH(output_period), 0, {425, 425, 431, 436, 439, 440}},
     {CH(period), 5, {425}}, {CH(step), 5, {S(440), S(440)}, 6}}},
    {"an Axy row after it returns to the pattern's period",
     {{0, 0, 428, 2, 0x4, 0x48}, {1, 0, 0, 0, 0xA, 0}},
     {{CH(step), 5, {S(440), S(428)}}, {CH(period), 6, {428}}, {CH(output_period), 6, {428}}}},
    {"E40 sine, E41 ramp, E42 square and E43 ramp vibrato on channels 0 to 3, then 4F4",
     {{0, 0, 428, 4, 0xE, 0x40}, {0, 1, 428, 4, 0xE, 0x41}, {0, 2, 428, 4, 0xE, 0x42},
      {0, 3, 428, 4, 0xE, 0x43}, {1, 0, 0, 0, 4, 0xF4}, {1, 1, 0, 0, 4, 0xF4},
      {1, 2, 0, 0, 4, 0xF4}, {1, 3, 0, 0, 4, 0xF4}},
     {{CH(output_period), 9, {429, 420}}, {CH(output_period), 9, {435, 423}, 1, 1},
      {CH(output_period), 9, {435, 420}, 1, 2}, {CH(output_period), 9, {435, 423}, 1, 3}}},
    {"5xy slides the volume and goes on with the portamento",
     {{0, 0, 428, 4, 0, 0}, {1, 0, 214, 0, 0x3, 0x10}, {2, 0, 0, 0, 0x5, 0x20}},
     {{CH(period), 12, {348, 332, 316}}, {CH(volume), 12, {34, 36, 38}}}},
    {"6xy slides the volume and goes on with the vibrato",
     {{0, 0, 428, 4, 0x4, 0x48}, {1, 0, 0, 0, 0x6, 0x01}},
     {{CH(output_period), 7, {442, 439}}, {CH(volume), 6, {31, 30, 29}}}},
    {"E5y sets the finetune with a note, not without", {{0, 0, 428, 1, 0xE, 0x51},
     {1, 0, 0, 0, 0xE, 0x58}}, {{CH(period), 0, {425}}, {CH(step), 0, {S(425)}},
     {CH(finetune), 0, {1, 1}, 6}}},
    /* sample position */
    {"9xx offsets add up without a sample and start anew with one",
     {{1, 0, 428, 1, 0x9, 0x02}, {2, 0, 428, 0, 0x9, 0x00}, {3, 0, 428, 1, 0x9, 0x00},
      {4, 0, 428, 32, 0x9, 0x01}, {5, 0, 0, 0, 0x9, 0x05}},
     {{CH(position), 6, {2 * OFFSET, 4 * OFFSET, 4 * OFFSET, 5 * OFFSET, MARK}, 6},
      {CH(sample), 24, {1}}}},
    {"E93 restarts on ticks 0 and 3 and the next row's first", {{0, 0, 428, 1, 0xE, 0x93}},
     {{CH(position), 0, {0, MARK, MARK, 0, MARK, MARK, 0, MARK, MARK, MARK}}}},
    {"ED9 restarts on the fourth tick of the next row", {{0, 0, 428, 1, 0xE, 0xD9}},
     {{CH(position), 0, {MARK, MARK, MARK, MARK, MARK, MARK, MARK, MARK, MARK, 0, MARK}},
      {CH(period), 0, {428}}}},
    {"ED2 without a note restarts nothing", {{0, 0, 428, 1, 0, 0}, {1, 0, 0, 0, 0xE, 0xD2}},
     {{CH(position), 6, {MARK, MARK, MARK, MARK}}}},
    {"EFF inverts one loop byte a row from its second row on; not at loop start 0, not without EFy",
     withRows(withRows({{0, 0, 428, 2, 0, 0}, {0, 1, 428, 4, 0, 0}, {5, 1, 0, 0, 0xA, 0xF0},
                        {6, 1, 0, 0, 0xE, 0x01}}, 1, 11, 0, 0xE, 0xFF), 1, 4, 1, 0xE, 0xFF),
     {{CH(funk_position), 5, {0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 0, 1}, 6},
      {SUM(2), 5, {120, 120, 109, 96, 81, 64, 45, 24, 1, -24, -33, -22}, 6},
      {CH(position), 6, {MARK, MARK + 1, MARK + 2}, 6}, {CH(offset_memory), 12, {MARK + 1}},
      {SUM(4), 71, {120}}, {CH(funk_position), 41, {3}, 1, 1}}},
    {"EFF steps through a loop reaching behind the image, writing only inside it",
     withRows({{0, 0, 428, 5, 0, 0}}, 1, 19, 0, 0xE, 0xFF), {{CH(position), 54, {MARK + 8}}}},
    /* state */
    {"E00 and E02 switch the filter on, E01 off", {{0, 0, 0, 0, 0xE, 0x00},
     {1, 0, 0, 0, 0xE, 0x01}, {2, 0, 0, 0, 0xE, 0x02}}, {{ST(filter_on), 0, {1, 0, 1}, 6}}},
    {"not while the state forbids it", {{0, 0, 0, 0, 0xE, 0x00}},
     {{ST(filter_on), 0, {0}}}, 0},
    {"F20, F7D and FFF set the tick length, F00 nothing; a channel never played keeps volume 64",
     {{0, 0, 0, 0, 15, 0x20}, {1, 0, 0, 0, 15, 0x7D}, {2, 0, 0, 0, 15, 0xFF}, {3, 0, 0, 0, 15, 0}},
     {{ST(tick_samples), 0, {3411, 873, 428, 428}, 6}, {ST(speed), 23, {6}},
      {CH(volume), 0, {64}, 1, 3}}},
    {"F03 makes its own row three ticks long", {{0, 3, 0, 0, 0xF, 3}},
     {{ST(tick_countdown), 0, {2, 1, 0, 2}}, {ST(row), 0, {1, 1, 1, 2}}}},
    {"EE2 holds its row for 18 ticks; slides run on all of them",
     {{0, 0, 428, 1, 0xC, 40}, {1, 0, 0, 0, 0xA, 0x01}, {1, 1, 0, 0, 0xE, 0xE2}},
     {{ST(row), 23, {2, 3}}, {CH(volume), 23, {22}}, {CH(glissando_funk), 6, {0}, 1, 1}}},
};
// clang-format on

} // namespace

using PtEffects = testing::TestWithParam<Case>;

TEST_P(PtEffects, PerTickValues)
{
    /* Sample 1: volume 64 (played as 63); 2: volume 40, finetune +1, bytes 0..15
     * looping over 4..11; 3: volume 20, finetune -1; 4: volume 32, bytes 0..15
     * looping over 0..7; 5, the image's last bytes, loops from 4 to 12. */
    const std::vector<int8_t> ramp = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    const Case &c = GetParam();
    ovtools::ModuleWriter writer;
    writer.sample(1, ovtools::constantSample(1000, 64), 64)
        .sample(2, ramp, 40, 1, 4, 8)
        .sample(3, ovtools::constantSample(100, 1), 20, 15)
        .sample(4, ramp, 32, 0, 0, 8)
        .sample(5, ovtools::constantSample(8, 3), 64, 0, 4, 8);
    for (const Cell &cell : c.cells)
        writer.cell(0, cell.row, cell.channel, cell.period, cell.sample, cell.effect, cell.param);
    for (const Expect &e : c.expect) {
        LoadedModule m(writer.bytes());
        ASSERT_NE(m.state, nullptr);
        m.state->flags = c.stateFlags;
        std::vector<int64_t> got;
        for (int tick = 0; got.size() < e.values.size(); tick++) {
            m.state->channels[e.channel].position = MARK;
            pt_tick(m.state);
            if (tick >= e.from && (tick - e.from) % e.every == 0)
                got.push_back(e.probe(*m.state, m.state->channels[e.channel]));
        }
        EXPECT_EQ(got, e.values) << c.what << ", from tick " << e.from;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, PtEffects, testing::ValuesIn(kCases), ovtest::byWhat);
