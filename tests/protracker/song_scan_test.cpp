/* The song scan: where songs end, for each way a module steers its rows. */
#include "pt_test_util.h"

#include <tuple>

using namespace pttest;

namespace {

constexpr int64 kTick = 882; /* samples of a tick at tempo 125, 44100 Hz */

/* Patterns played in the order given, with a note and the effect in each cell given. */
std::vector<uint8_t> song(const std::vector<int> &orders,
                          const std::vector<std::tuple<int, int, int, int, int>> &cells)
{
    ovtools::ModuleWriter writer;
    writer.sample(1, ovtools::constantSample(1000, 64), 64).orders(orders);
    for (const auto &[pattern, row, channel, effect, param] : cells)
        writer.cell(pattern, row, channel, 428, 1, effect, param);
    return writer.bytes();
}

} // namespace

TEST(PtSongScan, EndsWhereARowRepeatsItsState)
{
    /* the first tick comes after one tick of silence; a row lasts 6 ticks */
    auto rows = [](int64 count) { return kTick + count * 6 * kTick; };
    const struct {
        const char *what;
        std::vector<uint8_t> module;
        int32 passes;
        int64 samples;
        int64 limit = 1LL << 40;
    } cases[] = {
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
    for (const auto &c : cases) {
        LoadedModule m(c.module);
        ASSERT_NE(m.state, nullptr) << c.what;
        EXPECT_EQ(pt_song_samples(m.state, c.passes, c.limit, ovtest::exec()), c.samples) << c.what;
    }
}
