/* The effect commands, one group per family, checked on the channel state
 * tick by tick. */
#include "pt_test_util.h"

using namespace pttest;
using ovtools::ModuleWriter;

namespace {

int32 stepOf(int32 period)
{
    return 1172874197 / (44100 * period / 50);
}

} // namespace

TEST(PtEffectArpeggio, OffsetsFollowTheTickCountdown)
{
    LoadedModule m(basicWriter().cell(0, 0, 0, 428, 1, 0x0, 0x37).bytes());
    const int offsets[6] = {7, 3, 0, 7, 3, 0};
    for (int tick = 0; tick < 6; tick++) {
        m.ticks(1);
        EXPECT_EQ(m.channel(0).step, stepOf(getperiod(428, 0, offsets[tick]))) << tick;
        EXPECT_EQ(m.channel(0).period, 428);
    }
    /* at speed 1 every tick is the row's last: only the base note */
    LoadedModule one(basicWriter().cell(0, 0, 0, 428, 1, 0x0, 0x37)
                         .cell(0, 0, 1, 0, 0, 0xF, 1)
                         .cell(0, 1, 0, 0, 0, 0x0, 0x37)
                         .bytes());
    for (int tick = 0; tick < 2; tick++) {
        one.ticks(1);
        EXPECT_EQ(one.channel(0).step, stepOf(428));
    }
}

TEST(PtEffectArpeggio, InstrumentWithoutNoteRetriggersTheLastPeriod)
{
    ModuleWriter writer = basicWriter();
    writer.cell(0, 0, 0, 214, 1).cell(0, 1, 0, 0, 0, 0xC, 0).cell(0, 2, 0, 0, 1, 0x0, 0x47);
    LoadedModule m(writer.bytes());
    m.rows(2);
    EXPECT_EQ(m.channel(0).volume, 0);
    m.channel(0).position = 99999;
    m.ticks(1);
    EXPECT_EQ(m.channel(0).position, 0);
    EXPECT_EQ(m.channel(0).note_period, 214);
    EXPECT_EQ(m.channel(0).row_period, 214);
    EXPECT_EQ(m.channel(0).volume, 63); /* the sample's volume, 64 limited to 63 */
}

TEST(PtEffectVolume, SlidesSaturateAndSetVolume)
{
    ModuleWriter writer;
    writer.sample(1, ovtools::constantSample(100, 1), 20);
    writer.cell(0, 0, 0, 428, 1).cell(0, 1, 0, 0, 0, 0xA, 0x10).cell(0, 2, 0, 0, 0, 0xA, 0x01);
    writer.cell(0, 3, 0, 0, 0, 0xC, 0x3E).cell(0, 4, 0, 0, 0, 0xA, 0x10);
    writer.cell(0, 5, 0, 0, 0, 0xC, 0x40).cell(0, 6, 0, 0, 0, 0xA, 0x0F);
    writer.cell(0, 7, 0, 0, 0, 0xE, 0xA5).cell(0, 8, 0, 0, 0, 0xE, 0xB7);
    writer.cell(0, 9, 0, 0, 0, 0xE, 0xB9);
    LoadedModule m(writer.bytes());
    const int expected[10] = {20, 26, 20, 62, 63, 63, 0, 5, 0, 0};
    for (int row = 0; row < 10; row++) {
        m.rows(1);
        EXPECT_EQ(m.channel(0).volume, expected[row]) << row;
        EXPECT_EQ(m.channel(0).output_volume, expected[row]) << row;
    }
}

TEST(PtEffectVolume, BareNoteAfterSlideToZeroPlaysSavedVolume)
{
    ModuleWriter writer;
    writer.sample(1, ovtools::constantSample(100, 1), 30);
    writer.cell(0, 0, 0, 428, 1).cell(0, 1, 0, 0, 0, 0xA, 0x0F).cell(0, 2, 0, 428, 0);
    LoadedModule m(writer.bytes());
    m.rows(2);
    EXPECT_EQ(m.channel(0).volume, 0);
    m.rows(1);
    EXPECT_EQ(m.channel(0).volume, 30);
    EXPECT_EQ(m.channel(0).output_volume, 30);
}

TEST(PtEffectVolume, TremoloShapesOnlyTheOutput)
{
    ModuleWriter writer;
    writer.sample(1, ovtools::constantSample(100, 1), 32);
    writer.cell(0, 0, 0, 428, 1, 0x7, 0x44);
    LoadedModule m(writer.bytes());
    const int expected[4] = {32, 32 + (8 * 97 >> 8), 32 + (8 * 180 >> 8), 32 + (8 * 235 >> 8)};
    for (int tick = 0; tick < 4; tick++) {
        m.ticks(1);
        EXPECT_EQ(m.channel(0).output_volume, expected[tick]) << tick;
        EXPECT_EQ(m.channel(0).volume, 32);
    }
}

TEST(PtEffectPeriod, SlidesAreLimitedToTheTable)
{
    ModuleWriter writer = basicWriter();
    writer.cell(0, 0, 0, 428, 1, 0x1, 0x10).cell(0, 0, 1, 856, 1, 0x2, 0xFF);
    writer.cell(0, 1, 0, 0, 0, 0x1, 0xFF);
    LoadedModule m(writer.bytes());
    m.ticks(1);
    EXPECT_EQ(m.channel(0).period, 428); /* the row's own tick slides nothing */
    m.ticks(5);
    EXPECT_EQ(m.channel(0).period, 428 - 5 * 16);
    EXPECT_EQ(m.channel(0).step, stepOf(348));
    EXPECT_EQ(m.channel(1).period, 907);
    EXPECT_EQ(m.channel(1).output_period, 907);
    m.rows(1);
    EXPECT_EQ(m.channel(0).period, 108);
    EXPECT_EQ(m.channel(0).step, 12312);
}

TEST(PtEffectPeriod, FineSlidesHaveNoLimit)
{
    ModuleWriter writer = basicWriter();
    writer.cell(0, 0, 0, 120, 1).cell(0, 0, 1, 856, 1);
    for (int row = 1; row <= 10; row++)
        writer.cell(0, row, 0, 0, 0, 0xE, 0x1F).cell(0, row, 1, 0, 0, 0xE, 0x2F);
    LoadedModule m(writer.bytes());
    m.rows(11);
    EXPECT_EQ(m.channel(0).period, 120 - 150);
    EXPECT_EQ(m.channel(0).porta_target, 120 - 150);
    EXPECT_EQ(m.channel(0).output_period, 120);
    EXPECT_EQ(m.channel(0).step, 1172874197 / (44100 * -30 / 50));
    EXPECT_EQ(m.channel(1).period, 856 + 150);
}

TEST(PtEffectPeriod, TonePortamentoKeepsPositionAndSwitchesSample)
{
    ModuleWriter writer = basicWriter();
    writer.sample(2, ovtools::constantSample(500, -5), 40);
    writer.cell(0, 0, 0, 428, 1).cell(0, 1, 0, 214, 2, 0x3, 0x08);
    for (int row = 2; row <= 6; row++)
        writer.cell(0, row, 0, 0, 0, 0x3, 0);
    LoadedModule m(writer.bytes());
    m.rows(1);
    m.channel(0).position = 5000;
    m.ticks(1);
    EXPECT_EQ(m.channel(0).position, 5000);
    EXPECT_EQ(m.channel(0).sample, 2);
    EXPECT_EQ(m.channel(0).volume, 40);
    EXPECT_EQ(m.channel(0).porta_target, 214);
    EXPECT_EQ(m.channel(0).period, 428);
    m.ticks(5);
    EXPECT_EQ(m.channel(0).period, 428 - 40);
    EXPECT_EQ(m.channel(0).step, stepOf(388));
    /* 300 continues with the remembered speed up to the target; the
     * portamento stays in force there */
    m.rows(5);
    EXPECT_EQ(m.channel(0).period, 214);
    EXPECT_EQ(m.channel(0).step, stepOf(214));
    EXPECT_NE(m.channel(0).flags & PT_CHANNEL_TONE_PORTAMENTO, 0);
}

TEST(PtEffectPeriod, GlissandoRoundsTheStepToSemitones)
{
    ModuleWriter writer = basicWriter();
    writer.cell(0, 0, 0, 428, 1).cell(0, 1, 0, 0, 0, 0xE, 0x31).cell(0, 2, 0, 214, 0, 0x3, 0x10);
    LoadedModule m(writer.bytes());
    m.rows(2);
    m.ticks(2);
    EXPECT_EQ(m.channel(0).period, 412);
    EXPECT_EQ(m.channel(0).output_period, 412);
    EXPECT_EQ(m.channel(0).step, stepOf(404));
}

TEST(PtEffectPeriod, GlissandoPastTheTableEndUsesTheLastEntry)
{
    /* a fine slide drives the period below every table entry; the slide
     * then limits it to 108 while the step follows the table's last entry */
    ModuleWriter writer = basicWriter();
    writer.sample(1, ovtools::constantSample(100, 1), 64, 15);
    writer.cell(0, 0, 0, 114, 1).cell(0, 1, 0, 0, 0, 0xE, 0x31).cell(0, 2, 0, 0, 0, 0x1, 0x20);
    LoadedModule m(writer.bytes());
    m.rows(2);
    m.ticks(2);
    EXPECT_EQ(m.channel(0).period, 108);
    EXPECT_EQ(m.channel(0).step, stepOf(114));
}

TEST(PtEffectPeriod, VibratoAndTheRowsAfterIt)
{
    ModuleWriter writer;
    writer.sample(1, ovtools::constantSample(100, 1), 64, 1);
    writer.cell(0, 0, 0, 428, 1, 0x4, 0x48);
    ModuleWriter thenVolumeSlide = writer;
    thenVolumeSlide.cell(0, 1, 0, 0, 0, 0xA, 0x00);
    LoadedModule m(writer.bytes());
    m.ticks(1);
    EXPECT_EQ(m.channel(0).period, 425); /* finetune 1 */
    const int waves[5] = {0, 97, 180, 235, 255};
    for (int tick = 1; tick < 6; tick++) {
        m.ticks(1);
        int expected = 425 + (8 * waves[tick - 1] >> 7);
        EXPECT_EQ(m.channel(0).output_period, expected) << tick;
        EXPECT_EQ(m.channel(0).step, stepOf(expected)) << tick;
        EXPECT_EQ(m.channel(0).period, 425);
    }
    /* an empty row keeps the last vibrato pitch; an Axy row right after a
     * vibrato row returns to the pattern's own period, not the tuned one */
    int32 lastStep = m.channel(0).step;
    m.rows(1);
    EXPECT_EQ(m.channel(0).step, lastStep);
    LoadedModule slid(thenVolumeSlide.bytes());
    slid.rows(1);
    slid.ticks(1);
    EXPECT_EQ(slid.channel(0).period, 428);
    EXPECT_EQ(slid.channel(0).porta_target, 428);
    EXPECT_EQ(slid.channel(0).output_period, 428);
    EXPECT_EQ(slid.channel(0).step, stepOf(428));
}

TEST(PtEffectPeriod, VibratoWaveforms)
{
    for (int waveform : {1, 2, 3}) {
        ModuleWriter writer = basicWriter();
        writer.cell(0, 0, 0, 428, 1, 0xE, 0x40 | waveform).cell(0, 1, 0, 0, 0, 0x4, 0xF4);
        LoadedModule m(writer.bytes());
        m.rows(1);
        m.ticks(4); /* the row's first tick, then positions 0, 15 and 30 */
        int wave = waveform == 2 ? 255 : 30 * 8;
        EXPECT_EQ(m.channel(0).output_period, 428 + (4 * wave >> 7)) << waveform;
        m.ticks(1);
        wave = waveform == 2 ? -255 : 45 * 8 - 512;
        EXPECT_EQ(m.channel(0).output_period, 428 + (4 * wave >> 7)) << waveform;
    }
}

TEST(PtEffectPeriod, FinetuneCommand)
{
    LoadedModule m(basicWriter().cell(0, 0, 0, 428, 1, 0xE, 0x51).cell(0, 1, 0, 0, 0, 0xE, 0x58).bytes());
    m.channel(0).position = 777;
    m.rows(1);
    EXPECT_EQ(m.channel(0).finetune, 1);
    EXPECT_EQ(m.channel(0).period, 425);
    EXPECT_EQ(m.channel(0).step, stepOf(425));
    m.rows(1); /* without a note E5y does nothing */
    EXPECT_EQ(m.channel(0).finetune, 1);
}

TEST(PtEffectSample, OffsetAndItsMemory)
{
    ModuleWriter writer;
    writer.sample(1, ovtools::constantSample(4000, 1));
    /* not on row 0: the first tick restarts every channel */
    writer.cell(0, 1, 0, 428, 1, 0x9, 0x02).cell(0, 2, 0, 428, 0, 0x9, 0x00);
    writer.cell(0, 3, 0, 0, 0, 0x9, 0x05);
    LoadedModule m(writer.bytes());
    m.rows(1);
    m.ticks(1);
    EXPECT_EQ(m.channel(0).position, 2 * 256 * 16384);
    EXPECT_EQ(m.channel(0).offset_memory, 2 * 256 * 16384);
    m.ticks(5);
    m.ticks(1);
    EXPECT_EQ(m.channel(0).position, 2 * 2 * 256 * 16384);
    m.ticks(5);
    m.channel(0).position = 1234;
    m.ticks(1); /* no note: no offset */
    EXPECT_EQ(m.channel(0).position, 1234);
}

TEST(PtEffectCut, NoteCutTiming)
{
    LoadedModule withNote(basicWriter().cell(0, 0, 0, 428, 1, 0xE, 0xC3).bytes());
    for (int tick = 0; tick < 3; tick++) {
        withNote.ticks(1);
        EXPECT_EQ(withNote.channel(0).output_volume, 63);
    }
    withNote.ticks(1);
    EXPECT_EQ(withNote.channel(0).output_volume, 0);
    EXPECT_EQ(withNote.channel(0).volume, 0);
    EXPECT_EQ(withNote.channel(0).cut_countdown, -1);

    LoadedModule first(basicWriter().cell(0, 0, 0, 428, 1, 0xE, 0xC0).bytes());
    first.ticks(1);
    EXPECT_EQ(first.channel(0).output_volume, 0);

    ModuleWriter writer = basicWriter();
    writer.cell(0, 0, 0, 428, 1).cell(0, 1, 0, 0, 0, 0xA, 0x0F).cell(0, 2, 0, 0, 0, 0xE, 0xC3);
    LoadedModule noNote(writer.bytes());
    noNote.rows(2);
    EXPECT_EQ(noNote.channel(0).volume, 0);
    noNote.ticks(3);
    EXPECT_EQ(noNote.channel(0).output_volume, 0);
    noNote.ticks(1);
    EXPECT_EQ(noNote.channel(0).output_volume, 63);
    EXPECT_EQ(noNote.channel(0).volume, 63);
}

namespace {

/* Ticks (counted from the first) at which the channel's position was set
 * back to 0; the position is moved away before every tick. */
std::vector<int> restartTicks(LoadedModule &m, int ticks)
{
    std::vector<int> restarts;
    for (int tick = 0; tick < ticks; tick++) {
        m.channel(0).position = 777;
        m.ticks(1);
        if (m.channel(0).position == 0)
            restarts.push_back(tick);
    }
    return restarts;
}

} // namespace

TEST(PtEffectRetrigger, RetriggerEveryThreeTicks)
{
    LoadedModule m(basicWriter().cell(0, 0, 0, 428, 1, 0xE, 0x93).bytes());
    EXPECT_EQ(restartTicks(m, 24), (std::vector<int>{0, 3, 6}));
}

TEST(PtEffectRetrigger, NoteDelay)
{
    LoadedModule m(basicWriter().cell(0, 0, 0, 428, 1, 0xE, 0xD9).bytes());
    EXPECT_EQ(restartTicks(m, 24), (std::vector<int>{9}));
    EXPECT_EQ(m.channel(0).period, 428);
}

TEST(PtEffectFilter, SwitchOnlyWhileAllowed)
{
    ModuleWriter writer = basicWriter();
    writer.cell(0, 0, 0, 0, 0, 0xE, 0x00).cell(0, 1, 0, 0, 0, 0xE, 0x01).cell(0, 2, 0, 0, 0, 0xE, 0x02);
    LoadedModule m(writer.bytes());
    m.rows(1);
    EXPECT_EQ(m.state->filter_on, 1u);
    m.rows(1);
    EXPECT_EQ(m.state->filter_on, 0u);
    m.rows(1);
    EXPECT_EQ(m.state->filter_on, 1u);
    LoadedModule locked(writer.bytes());
    locked.state->flags = 0;
    locked.rows(1);
    EXPECT_EQ(locked.state->filter_on, 0u);
}

TEST(PtEffectInvertLoop, InvertsOneLoopBytePerRow)
{
    ModuleWriter writer;
    std::vector<int8_t> data = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    writer.sample(1, data, 64, 0, 4, 8);
    writer.sample(2, data, 64, 0, 0, 8);
    writer.cell(0, 0, 0, 428, 1).cell(0, 0, 1, 428, 2);
    for (int row = 1; row <= 11; row++)
        writer.cell(0, row, 0, 0, 0, 0xE, 0xFF).cell(0, row, 1, 0, 0, 0xE, 0xFF);
    LoadedModule m(writer.bytes());
    const size_t at1 = m.state->samples[1].data - m.image.data();
    const size_t at2 = m.state->samples[2].data - m.image.data();
    m.rows(2); /* the first EFF only sets the speed */
    EXPECT_EQ(m.channel(0).glissando_funk, 0xF0);
    EXPECT_EQ(m.channel(0).funk_position, 0);
    m.channel(0).position = 100;
    m.rows(1);
    EXPECT_EQ(m.channel(0).funk_position, 1);
    EXPECT_EQ(static_cast<int8_t>(m.image[at1 + 5]), ~5);
    EXPECT_EQ(m.channel(0).position, 101);
    EXPECT_EQ(m.channel(0).offset_memory, 101);
    m.rows(8); /* positions 2..8, then past the loop length back to 0 */
    EXPECT_EQ(m.channel(0).funk_position, 0);
    for (int i = 6; i <= 12; i++)
        EXPECT_EQ(static_cast<int8_t>(m.image[at1 + i]), ~i) << i;
    EXPECT_EQ(static_cast<int8_t>(m.image[at1 + 4]), ~4); /* position 0 again */
    /* a loop starting at byte 0 is never inverted */
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(m.image[at2 + i], i);
}

TEST(PtEffectInvertLoop, NeverWritesOutsideTheImage)
{
    ovtools::ModuleSample last;
    last.data = ovtools::constantSample(8, 3);
    last.loopStartWords = 4; /* the loop lies wholly behind the file's end */
    last.loopLengthWords = 4;
    ModuleWriter writer;
    writer.sample(31, last);
    writer.cell(0, 0, 0, 428, 31);
    for (int row = 1; row < 20; row++)
        writer.cell(0, row, 0, 0, 0, 0xE, 0xFF);
    auto bytes = writer.bytes();
    LoadedModule m(bytes);
    m.rows(19);
    EXPECT_EQ(m.image, bytes);
    EXPECT_NE(m.channel(0).funk_position, 0);
}
