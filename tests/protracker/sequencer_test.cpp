/* The sequencer: steps, period lookup, tick timing, tempo, song advance,
 * jumps, pattern loops and delays. */
#include "pt_test_util.h"

#include <utility>

using namespace pttest;
using ovtools::ModuleWriter;

namespace {

using Place = std::pair<int, int>; /* song position, row */

/* The position and row of each of the next count rows read. */
std::vector<Place> playedRows(LoadedModule &m, int count)
{
    std::vector<Place> places;
    for (int i = 0; i < count; i++) {
        places.emplace_back(m.state->song_position, m.state->row);
        m.rows(1);
    }
    return places;
}

} // namespace

TEST(PtSequencerPitch, StepsOfPeriods)
{
    LoadedModule m(basicWriter().bytes());
    ASSERT_NE(m.state, nullptr);
    EXPECT_EQ(pt_period_step(m.state, 428), 3106);
    EXPECT_EQ(pt_period_step(m.state, 856), 1553);
    EXPECT_EQ(pt_period_step(m.state, 108), 12312);
    EXPECT_EQ(pt_period_step(m.state, 907), 1466);
    /* no divisor: step 0; below zero the step turns negative */
    EXPECT_EQ(pt_period_step(m.state, 0), 0);
    EXPECT_EQ(pt_period_step(m.state, -428), -3106);
    /* the product is formed in 32 bits */
    EXPECT_EQ(pt_period_step(m.state, 60000),
              1172874197 / (static_cast<int32>(44100u * 60000u) / 50));
}

TEST(PtSequencerPitch, GetperiodSearchesTheWholeTable)
{
    EXPECT_EQ(getperiod(428, 0, 0), 428);
    EXPECT_EQ(getperiod(428, 0, 7), 285);
    EXPECT_EQ(getperiod(428, 8, 0), 453);   /* finetune -8 row is shifted by one */
    EXPECT_EQ(getperiod(120, 0, 3), 113);   /* offsets stop at the last note */
    EXPECT_EQ(getperiod(907, 0, 0), 113);   /* found only in a later row: index > 35 */
    EXPECT_EQ(getperiod(1234, 3, 0), 111);  /* found nowhere: entry 35 */
    EXPECT_EQ(getperiod(0, 0, 0), 113);
    /* row 8 is row 0 moved up one entry, with 907 in front */
    EXPECT_EQ(tab_tunes[8 * 36], 907);
    for (int i = 0; i < 35; i++)
        EXPECT_EQ(tab_tunes[8 * 36 + 1 + i], tab_tunes[i]);
}

TEST(PtSequencerTiming, FirstRowComesAfterOneTickOfSilence)
{
    auto bytes = basicWriter().cell(0, 0, 0, 428, 1).bytes();
    LoadedModule m(bytes);
    ASSERT_NE(m.state, nullptr);
    auto silent = renderFast(m.state, 882);
    for (int i = 0; i < 882 * 2; i++)
        ASSERT_EQ(value16(silent, i), 0) << i;
    EXPECT_EQ(m.state->row, 0u);
    EXPECT_EQ(m.channel(0).position, -1);
    auto first = renderFast(m.state, 1);
    EXPECT_EQ(m.state->row, 1u);
    EXPECT_EQ(m.channel(0).step, 3106);
    /* 255 × 63 × 64 >> 7 on the low-pan side */
    EXPECT_EQ(value16(first, 0), 0);
    EXPECT_EQ(value16(first, 1), 8032);
}

TEST(PtSequencerTiming, TempoCommands)
{
    const std::pair<int, int32> cases[] = {{0x20, 3411}, {0x7D, 873}, {0xFF, 428}};
    for (auto [param, samples] : cases) {
        LoadedModule m(basicWriter().cell(0, 0, 2, 0, 0, 0xF, param).bytes());
        ASSERT_NE(m.state, nullptr);
        m.ticks(1);
        EXPECT_EQ(m.state->tick_samples, samples) << param;
        EXPECT_EQ(m.state->speed, 6u);
    }
    LoadedModule none(basicWriter().cell(0, 0, 1, 0, 0, 0xF, 0).bytes());
    none.ticks(1);
    EXPECT_EQ(none.state->tick_samples, 882);
    EXPECT_EQ(none.state->speed, 6u);
    EXPECT_EQ(none.state->tick_countdown, 5);

    /* a speed set by the row counts for the row's own length */
    LoadedModule fast(basicWriter().cell(0, 0, 3, 0, 0, 0xF, 3).bytes());
    fast.ticks(1);
    EXPECT_EQ(fast.state->speed, 3u);
    EXPECT_EQ(fast.state->tick_countdown, 2);
    fast.ticks(3);
    EXPECT_EQ(fast.state->row, 2u);
}

TEST(PtSequencerTiming, TickLengthChangeKeepsTheRemainder)
{
    /* FFF on row 0: from then on a tick every 428 rendered samples */
    auto bytes = basicWriter().cell(0, 0, 0, 0, 0, 0xF, 0xFF).bytes();
    LoadedModule m(bytes);
    renderFast(m.state, 883);
    EXPECT_EQ(m.state->tick_samples, 428);
    EXPECT_EQ(m.state->sample_counter, 1);
    EXPECT_EQ(m.state->tick_countdown, 5);
    renderFast(m.state, 428);
    EXPECT_EQ(m.state->tick_countdown, 4);
    renderFast(m.state, 427);
    EXPECT_EQ(m.state->tick_countdown, 4);
}

TEST(PtSequencerAdvance, RowsPositionsAndWrap)
{
    LoadedModule m(ModuleWriter().orders({0, 1, 0}).bytes());
    ASSERT_NE(m.state, nullptr);
    m.rows(63);
    EXPECT_EQ(m.state->row, 63u);
    EXPECT_EQ(m.state->song_position, 0u);
    m.rows(1);
    EXPECT_EQ(m.state->row, 0u);
    EXPECT_EQ(m.state->song_position, 1u);
    m.rows(128);
    /* after the last position the song starts again */
    EXPECT_EQ(m.state->song_position, 0u);
    EXPECT_EQ(m.state->row, 0u);
}

TEST(PtSequencerAdvance, SongLengthAbove128CountsAs128)
{
    /* B7F jumps to position 127; the break there leads back to 0, not 128 */
    ModuleWriter writer;
    writer.songLength(200).order(1, 1).order(127, 2);
    writer.cell(1, 0, 0, 0, 0, 0xB, 0x7F).cell(2, 0, 0, 0, 0, 0xD, 0);
    writer.order(0, 1);
    LoadedModule m(writer.bytes());
    ASSERT_NE(m.state, nullptr);
    auto places = playedRows(m, 3);
    EXPECT_EQ(places, (std::vector<Place>{{0, 0}, {127, 0}, {0, 0}}));
}

TEST(PtSequencerAdvance, PositionJumpAndPatternBreak)
{
    ModuleWriter writer;
    writer.orders({0, 1, 2, 3});
    writer.cell(0, 1, 2, 0, 0, 0xB, 3);                                /* B03 */
    writer.cell(3, 0, 0, 0, 0, 0xB, 4);                                /* B04 = song length */
    LoadedModule jumps(writer.bytes());
    auto places = playedRows(jumps, 4);
    EXPECT_EQ(places, (std::vector<Place>{{0, 0}, {0, 1}, {3, 0}, {0, 0}}));

    ModuleWriter breaks;
    breaks.orders({0, 1, 2, 3});
    breaks.cell(0, 0, 1, 0, 0, 0xD, 0x00);                             /* D00 */
    breaks.cell(1, 0, 1, 0, 0, 0xD, 0x70);                             /* 70 > 63 */
    breaks.cell(2, 0, 1, 0, 0, 0xD, 0x32);                             /* row 32 */
    breaks.cell(3, 32, 0, 0, 0, 0xB, 1).cell(3, 32, 3, 0, 0, 0xD, 0x10); /* B01 + D10 */
    LoadedModule m(breaks.bytes());
    places = playedRows(m, 6);
    EXPECT_EQ(places, (std::vector<Place>{{0, 0}, {1, 0}, {2, 0}, {3, 32}, {1, 10}, {1, 11}}));
}

TEST(PtSequencerAdvance, CellsComeFromTheRowAsItStood)
{
    /* channel 0 jumps and loops at position 0 row 0; channel 1 still plays
     * its own cell of that row */
    ModuleWriter writer = basicWriter();
    writer.orders({0, 1});
    writer.cell(0, 0, 0, 0, 0, 0xE, 0x61).cell(0, 0, 1, 428, 1);
    writer.cell(1, 0, 1, 214, 1);
    LoadedModule m(writer.bytes());
    m.rows(1);
    EXPECT_EQ(m.channel(1).period, 428);
    EXPECT_EQ(m.state->song_position, 0u);
    EXPECT_EQ(m.state->row, 0u);

    ModuleWriter jump = basicWriter();
    jump.orders({0, 1});
    jump.cell(0, 5, 0, 0, 0, 0xB, 0x01).cell(0, 5, 2, 856, 1);
    jump.cell(1, 0, 2, 214, 1);
    LoadedModule j(jump.bytes());
    j.rows(6);
    EXPECT_EQ(j.channel(2).period, 856);
    EXPECT_EQ(j.state->song_position, 1u);
}

TEST(PtSequencerAdvance, PatternLoopPlaysTheSectionThreeTimes)
{
    ModuleWriter writer;
    writer.orders({0, 1});
    writer.cell(0, 8, 1, 0, 0, 0xE, 0x60).cell(0, 15, 1, 0, 0, 0xE, 0x62);
    writer.cell(0, 10, 1, 0, 0, 0xE, 0x60); /* met inside the loop: no new start */
    LoadedModule m(writer.bytes());
    m.rows(8);
    std::vector<Place> expected;
    for (int pass = 0; pass < 3; pass++)
        for (int r = 8; r <= 15; r++)
            expected.emplace_back(0, r);
    expected.emplace_back(0, 16);
    EXPECT_EQ(playedRows(m, 25), expected);
    EXPECT_EQ(m.channel(1).loop_state, 0);
    EXPECT_EQ(m.channel(1).loop_count, 0);
}

TEST(PtSequencerAdvance, PatternLoopFromRowZeroAndWithoutStart)
{
    /* E61 on row 2 without E60: back to row 0 of the same position */
    ModuleWriter writer;
    writer.orders({0, 1});
    writer.cell(0, 2, 3, 0, 0, 0xE, 0x61);
    LoadedModule m(writer.bytes());
    EXPECT_EQ(playedRows(m, 7),
              (std::vector<Place>{{0, 0}, {0, 1}, {0, 2}, {0, 0}, {0, 1}, {0, 2}, {0, 3}}));
}

TEST(PtSequencerAdvance, LoopStartBelowRowZeroWrapsToRow63)
{
    /* Row 5: channel 0 loops back to row 0, leaving working row -1, which
     * channel 1's E60 then records as its loop start. Channel 1's E61 on
     * row 10 leaves working row -2, whose successor is row 63. */
    ModuleWriter writer;
    writer.cell(0, 5, 0, 0, 0, 0xE, 0x61).cell(0, 5, 1, 0, 0, 0xE, 0x60);
    writer.cell(0, 10, 1, 0, 0, 0xE, 0x61);
    auto bytes = writer.bytes();
    ASSERT_EQ(bytes.size(), 2108u);
    LoadedModule m(bytes);
    std::vector<Place> expected;
    for (int r = 0; r <= 5; r++)
        expected.emplace_back(0, r);
    for (int r = 0; r <= 10; r++)
        expected.emplace_back(0, r);
    expected.insert(expected.end(), {{0, 63}, {0, 0}});
    EXPECT_EQ(playedRows(m, 19), expected);
    expectFastEqualsReference(bytes, 44100 * 3, false, "loop start at row -1");

    /* a damaged state still reads inside the patterns: row 63 of position 127 */
    m.state->song_position = m.state->row = UINT32_MAX;
    m.rows(1);
    EXPECT_EQ(Place(m.state->song_position, m.state->row), Place(0, 0));
}

TEST(PtSequencerTiming, PatternDelayStretchesTheRow)
{
    /* EE2 at speed 6: 18 ticks; A01 slides on every one of them */
    ModuleWriter writer = basicWriter();
    writer.cell(0, 0, 0, 428, 1, 0xC, 40).cell(0, 1, 0, 0, 0, 0xA, 0x01);
    writer.cell(0, 1, 1, 0, 0, 0xE, 0xE2);
    LoadedModule m(writer.bytes());
    m.rows(1);
    EXPECT_EQ(m.channel(0).volume, 40);
    int ticks = 0;
    do {
        m.ticks(1);
        ticks++;
    } while (m.state->tick_countdown != 0 || m.state->pattern_delay != 0);
    EXPECT_EQ(ticks, 18);
    EXPECT_EQ(m.channel(0).volume, 40 - 18);
    EXPECT_EQ(m.state->row, 2u);
}
