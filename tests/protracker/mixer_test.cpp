/* The mixer: output modes, loops, pending samples, the filter, and the fast
 * renderer against the reference on generated modules. */
#include "pt_test_util.h"

#include <algorithm>
#include <cstring>
#include <random>

using namespace pttest;
using ovtools::ModuleWriter;

namespace {

/* Value v (0 = out1, 1 = out2) of frame f of a render. */
int valueAt(const std::vector<uint8_t> &bytes, pt_output_format format, int frame, int v)
{
    if (format.bits == 8)
        return static_cast<int8_t>(bytes[frame * format.channels + v]);
    return value16(bytes, frame * format.channels + v);
}

/* Sample 1: constant bytes, looping over all of them. */
ModuleWriter constantLoop(int8_t value, int volume = 63)
{
    ModuleWriter writer;
    writer.sample(1, ovtools::constantSample(64, value), volume, 0, 0, 64);
    return writer;
}

} // namespace

TEST(PtMixerModes, EveryModeStoresItsScaledSums)
{
    /* channel 1 (high pan) plays byte 127 at volume 63 */
    auto bytes = constantLoop(127).cell(0, 0, 1, 428, 1).bytes();
    /* {out1, out2} per mode */
    const int expected[PT_MODES][2] = {{31, 0},    {62, 0}, {8001, 0},  {15939, 0},
                                {31, 0},    {62, 0}, {8001, 0},  {15939, 0}};
    for (int mode = 0; mode < PT_MODES; mode++) {
        pt_output_format format = pt_mode_format(mode);
        LoadedModule m(bytes);
        auto out = renderFast(m.state, 1000, format);
        EXPECT_EQ(valueAt(out, format, 999, 0), expected[mode][0]) << mode;
        if (format.channels == 2) {
            EXPECT_EQ(valueAt(out, format, 999, 1), expected[mode][1]) << mode;
        }
        /* nothing written past the frames */
        size_t end = 1000u * format.channels * (format.bits / 8);
        EXPECT_EQ(out[end], 0xA5) << mode;
    }
}

TEST(PtMixerModes, PanSidesAndTheLowestSum)
{
    LoadedModule low(constantLoop(127).cell(0, 0, 0, 428, 1).bytes());
    auto out = renderFast(low.state, 900);
    EXPECT_EQ(value16(out, 899 * 2), 0);
    EXPECT_EQ(value16(out, 899 * 2 + 1), 15939);

    LoadedModule both(constantLoop(-128).cell(0, 0, 0, 428, 1).cell(0, 0, 3, 428, 1).bytes());
    out = renderFast(both.state, 900);
    EXPECT_EQ(value16(out, 899 * 2), 0);
    EXPECT_EQ(value16(out, 899 * 2 + 1), -32130);
}

TEST(PtMixerModes, ZeroFramesDoNothing)
{
    LoadedModule m(constantLoop(127).cell(0, 0, 1, 428, 1).bytes());
    std::vector<uint8_t> out(8, 0xA5);
    pt_render(m.state, out.data(), out.data() + 2, 4, 0, 1, 16, 2);
    EXPECT_EQ(out, std::vector<uint8_t>(8, 0xA5));
    EXPECT_EQ(m.state->sample_counter, 0);
    EXPECT_EQ(m.state->row, 0u);
}

TEST(PtMixerSamples, OneShotStopsAndLoopsRepeat)
{
    ModuleWriter writer;
    writer.sample(1, ovtools::constantSample(100, 50), 63);          /* one-shot */
    writer.sample(2, ovtools::constantSample(100, 50), 63, 0, 90, 2); /* 2-byte loop: plays once */
    writer.sample(3, ovtools::constantSample(100, 50), 63, 0, 96, 4); /* loops */
    writer.cell(0, 0, 0, 428, 1).cell(0, 0, 1, 428, 2).cell(0, 0, 2, 428, 3);
    LoadedModule m(writer.bytes());
    /* 100 bytes at 3106/16384 of a byte per sample: gone after 528 samples */
    auto out = renderFast(m.state, 882 + 600);
    EXPECT_EQ(m.channel(0).position, -1);
    EXPECT_EQ(m.channel(1).position, -1);
    EXPECT_GE(m.channel(2).position, 96 * 16384);
    EXPECT_LT(m.channel(2).position, 100 * 16384 + 3106);
    const int16_t playing = static_cast<int16_t>((255 * 63 * 50) >> 7);
    EXPECT_EQ(value16(out, (882 + 10) * 2), 2 * playing);
    EXPECT_EQ(value16(out, (882 + 10) * 2 + 1), playing);
    EXPECT_EQ(value16(out, (882 + 599) * 2), playing);
    EXPECT_EQ(value16(out, (882 + 599) * 2 + 1), 0);
}

TEST(PtMixerSamples, PendingSampleSwitchesAtTheLoopEnd)
{
    ModuleWriter writer;
    writer.sample(1, ovtools::constantSample(100, 10), 63, 0, 0, 100);
    writer.sample(2, ovtools::constantSample(100, -20), 30, 0, 0, 100);
    writer.sample(3, ovtools::constantSample(100, 10), 63); /* one-shot */
    writer.cell(0, 0, 1, 428, 1).cell(0, 1, 1, 0, 2);
    writer.cell(0, 0, 2, 428, 3).cell(0, 1, 2, 0, 2);
    LoadedModule m(writer.bytes());
    renderFast(m.state, 882 * 7); /* row 1 is read at the start of the next tick */
    renderFast(m.state, 1);
    EXPECT_EQ(m.channel(1).pending_sample, 2);
    EXPECT_EQ(m.channel(1).sample, 1);
    EXPECT_EQ(m.channel(1).volume, 30);
    /* sample 1 keeps playing (at the new volume) until its loop wraps */
    int32 toWrap = (100 * 16384 - m.channel(1).position + 3105) / 3106;
    auto out = renderFast(m.state, toWrap + 2);
    const int oldByte = (255 * 30 * 10) >> 7, newByte = (255 * 30 * -20) >> 7;
    EXPECT_EQ(value16(out, (toWrap - 1) * 2), oldByte);
    EXPECT_EQ(value16(out, toWrap * 2), oldByte); /* the wrapping sample still reads sample 1 */
    EXPECT_EQ(value16(out, (toWrap + 1) * 2), newByte);
    EXPECT_EQ(m.channel(1).sample, 2);
    EXPECT_EQ(m.channel(1).pending_sample, 2);
    /* the one-shot never switches: it ends */
    renderFast(m.state, 600);
    EXPECT_EQ(m.channel(2).sample, 3);
    EXPECT_EQ(m.channel(2).position, -1);
}

TEST(PtMixerFilter, SettlesOnConstantInputAndResumes)
{
    auto bytes = constantLoop(100).cell(0, 0, 0, 428, 1, 0xE, 0x00).cell(0, 8, 0, 0, 0, 0xE, 0x01)
                     .cell(0, 16, 0, 0, 0, 0xE, 0x00).bytes();
    LoadedModule m(bytes);
    const int16_t input = static_cast<int16_t>((255 * 63 * 100) >> 7);
    auto out = renderFast(m.state, 882 * 6 * 8);
    EXPECT_EQ(m.state->filter_on, 1u);
    EXPECT_LT(value16(out, 883 * 2 + 1), input - 100); /* still rising */
    EXPECT_NEAR(value16(out, (882 * 6 * 8 - 1) * 2 + 1), input, 1);
    /* switched off: the exact input, and the history rests */
    pt_state saved = *m.state;
    out = renderFast(m.state, 882 * 6 * 8);
    EXPECT_EQ(m.state->filter_on, 0u);
    EXPECT_EQ(value16(out, (882 * 6 * 8 - 1) * 2 + 1), input);
    EXPECT_EQ(std::memcmp(saved.filter_out, m.state->filter_out, sizeof saved.filter_out), 0);
    EXPECT_EQ(std::memcmp(saved.filter_in, m.state->filter_in, sizeof saved.filter_in), 0);
    /* on again: it continues from the settled history, no new rise */
    out = renderFast(m.state, 882 * 6);
    EXPECT_EQ(m.state->filter_on, 1u);
    EXPECT_NEAR(value16(out, 890 * 2 + 1), input, 1);
}

namespace {

/* A module of random cells over samples of every kind: loops past their
 * data and past the image, 2-byte loops, empty samples, odd finetunes. */
std::vector<uint8_t> randomModule(unsigned seed)
{
    std::mt19937 rng(seed);
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    ModuleWriter writer;
    writer.title("random " + std::to_string(seed));
    for (int s = 1; s <= 12; s++) {
        ovtools::ModuleSample sample;
        sample.data = waveSample(static_cast<size_t>(pick(6) == 0 ? 0 : 2 + 2 * pick(1500)), seed + s);
        sample.volume = static_cast<uint8_t>(pick(70));
        sample.finetune = static_cast<uint8_t>(pick(256));
        int words = static_cast<int>(sample.data.size() / 2);
        switch (pick(5)) {
        case 0: break; /* one-shot */
        case 1: sample.loopStartWords = static_cast<uint16_t>(pick(words + 1)); sample.loopLengthWords = 1; break;
        case 2:
            sample.loopStartWords = static_cast<uint16_t>(pick(words + 1));
            sample.loopLengthWords = static_cast<uint16_t>(2 + pick(words + 1));
            break;
        case 3: /* loop reaching past the data */
            sample.loopStartWords = static_cast<uint16_t>(pick(words + 40));
            sample.loopLengthWords = static_cast<uint16_t>(2 + pick(3000));
            break;
        default: sample.loopStartWords = 0; sample.loopLengthWords = static_cast<uint16_t>(words); break;
        }
        writer.sample(s, sample);
    }
    writer.orders({0, 1, 2, 1, 3});
    for (int p = 0; p < 4; p++) {
        for (int row = 0; row < 64; row++) {
            for (int c = 0; c < 4; c++) {
                if (pick(3) == 0)
                    continue;
                int period = pick(8) == 0 ? pick(1200) : tab_tunes[pick(576)];
                if (pick(4) == 0)
                    period = 0;
                int sample = pick(6) == 0 ? 0 : (pick(15) == 0 ? 32 + pick(200) : 1 + pick(12));
                int effect = pick(16);
                int param = pick(256);
                if (effect == 0xB || effect == 0xD)
                    param = pick(4) == 0 ? param : pick(4);
                if (effect == 0xF && pick(3) == 0)
                    param = 1 + pick(31);
                writer.cell(p, row, c, period, sample, effect, param);
            }
        }
    }
    return writer.bytes();
}

} // namespace

TEST(PtMixerFastRenderer, MatchesTheReferenceOnRandomModules)
{
    const int seconds = longRenderSeconds(4, 1);
    for (unsigned seed = 1; seed <= 6; seed++) {
        auto module = randomModule(seed);
        expectFastEqualsReference(module, 44100 * seconds, seed % 2 == 0, "seed " + std::to_string(seed));
    }
}

TEST(PtMixerFastRenderer, MatchesTheReferenceOnEffectModules)
{
    /* every effect family on a looping and a one-shot sample */
    ModuleWriter writer;
    writer.sample(1, waveSample(3000, 7), 50, 3, 200, 1000);
    writer.sample(2, waveSample(800, 9), 64, 12);
    writer.orders({0});
    int row = 0;
    for (int effect = 0; effect < 16; effect++) {
        for (int param : {0x00, 0x13, 0x37, 0xF1}) {
            int p = effect == 0xE ? (param & 0x0F) | (row % 16) << 4 : param;
            if (effect == 0xB || effect == 0xD || (effect == 0xE && (p >> 4) == 6))
                p = 0x01;
            writer.cell(0, row % 64, row % 4, row % 3 == 0 ? 0 : tab_tunes[(row * 7) % 576],
                        row % 5 == 0 ? 0 : 1 + row % 2, effect, p);
            row++;
        }
    }
    auto module = writer.bytes();
    const int seconds = longRenderSeconds(3, 1);
    expectFastEqualsReference(module, 44100 * seconds, false, "effects");
    expectFastEqualsReference(module, 44100 * seconds, true, "effects");
}

TEST(PtMixerFastRenderer, MatchesTheReferenceOnNegativeSteps)
{
    /* E1y fine slides have no lower limit: below period 0 the step turns
     * negative and the sample plays backwards until its position drops
     * below 0. Samples 2 to 5 fill the image far past sample 1, so a tight
     * loop that ran one sample too long would read the byte 2^32 / 16384
     * bytes past sample 1 (where a negative position points) inside the
     * image instead of stopping. */
    struct SlideCase {
        const char *what;
        int note;      /* period of the note on row 0 */
        int slide;     /* E1y on rows 1 to slideRows */
        int slideRows;
        int lastSlide; /* E1y on row slideRows + 2 (after one row at rest) */
    };
    const SlideCase cases[] = {
        {"crosses below 0", 113, 0xF, 9, 0},
        {"lands on 0, rests, then goes below", 120, 0xF, 8, 1},
        {"slides far below 0", 113, 0xF, 40, 0xF},
        {"one below 0 from a low period", 108, 0x9, 12, 0x1},
    };
    for (const SlideCase &c : cases) {
        ModuleWriter writer;
        writer.sample(1, waveSample(60000, 5), 64, c.note == 108 ? 7 : 0, 0, 60000);
        for (int s = 2; s <= 5; s++)
            writer.sample(s, ovtools::constantSample(65534, 100), 64);
        writer.cell(0, 0, 0, c.note, 1).cell(0, 0, 1, 0, 0, 0xF, 1); /* one tick per row */
        for (int row = 1; row <= c.slideRows; row++)
            writer.cell(0, row, 0, 0, 0, 0xE, 0x10 | c.slide);
        if (c.lastSlide != 0)
            writer.cell(0, c.slideRows + 2, 0, 0, 0, 0xE, 0x10 | c.lastSlide);
        expectFastEqualsReference(writer.bytes(), 44100, false, c.what);
    }
}

namespace {

uint64_t fnv1a(const std::vector<uint8_t> &bytes)
{
    uint64_t hash = 14695981039346656037ull;
    for (uint8_t b : bytes)
        hash = (hash ^ b) * 1099511628211ull;
    return hash;
}

} // namespace

TEST(PtMixerFastRenderer, SameBytesOnEveryMachine)
{
    /* fixed digests of the plug-in's mode, filter off and on: the integer
     * mixer and the single-precision filter with its one fused
     * multiply-add give the same bytes on little- and big-endian machines */
    auto module = randomModule(3);
    const uint64_t expected[2] = {636723815907009502ull, 1458030543884168749ull};
    for (int filterOn = 0; filterOn < 2; filterOn++) {
        LoadedModule m(module);
        m.state->filter_on = static_cast<uint32>(filterOn);
        if (filterOn == 0)
            m.state->flags = 0;
        auto out = renderFast(m.state, 44100 * 2);
        EXPECT_EQ(fnv1a(out), expected[filterOn]) << filterOn;
    }
}
