/* The mixer's output modes, and the fast renderer against the reference. */
#include "pt_test_util.h"

#include <random>

using namespace pttest;
using ovtools::ModuleWriter;

TEST(PtMixer, ModesStoreTheScaledSumsAndNothingElse)
{
    /* byte 127 at volume 63 on channel 1 (high pan), byte -128 on channels 0
     * and 3 (low pan); {out1, out2} per mode, after a tick of silence */
    ModuleWriter writer;
    writer.sample(1, ovtools::constantSample(64, 127), 63, 0, 0, 64);
    writer.sample(2, ovtools::constantSample(64, -128), 63, 0, 0, 64);
    auto bytes = writer.cell(0, 0, 1, 428, 1).cell(0, 0, 0, 428, 2).cell(0, 0, 3, 428, 2).bytes();
    const int expected[4][2] = {{-32, 0}, {62, -126}, {-8127, 0}, {15939, -32130}}; /* mode % 4 */
    for (int mode = 0; mode < PT_MODES; mode++) {
        const pt_output_format format = pt_mode_format(mode);
        LoadedModule m(bytes);
        auto out = render(pt_render, m.state, 1000, mode);
        for (int v = 0; v < format.channels; v++) {
            for (int frame : {881 / format.oversample, 999}) {
                size_t at = static_cast<size_t>(frame * format.channels + v);
                int value = format.bits == 8 ? static_cast<int8_t>(out[at])
                                             : ov_load_be16_signed(&out[at * 2]);
                EXPECT_EQ(value, frame == 999 ? expected[mode % 4][v] : 0) << mode << " " << frame;
            }
        }
    }
    /* no frames, or a format of no mode: nothing written, no time passes */
    LoadedModule m(bytes);
    const int32 calls[][4] = {{0, 1, 16, 2},  {-1, 1, 16, 2}, {10, 3, 16, 2},
                              {10, 1, 12, 2}, {10, 1, 16, 3}, {10, 0, 8, 1}};
    for (auto [frames, oversample, bits, channels] : calls) {
        std::vector<uint8_t> out(64, 0xA5);
        pt_render(m.state, out.data(), out.data() + 2, 4, frames, oversample, bits, channels);
        EXPECT_EQ(out, std::vector<uint8_t>(64, 0xA5)) << frames << " " << bits << " " << channels;
        EXPECT_EQ(m.state->sample_counter, 0);
    }
}

namespace {

/* A module of random cells over samples of every kind: loops past their
 * data and past the image, 2-byte loops, empty samples, odd finetunes. */
std::vector<uint8_t> randomModule(unsigned seed)
{
    std::mt19937 rng(seed);
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    ModuleWriter writer;
    for (int s = 1; s <= 12; s++) {
        ovtools::ModuleSample sample;
        sample.data = waveSample(pick(6) == 0 ? 0 : 2 + 2 * pick(1500), seed + s);
        sample.volume = pick(70);
        sample.finetune = pick(256);
        int words = static_cast<int>(sample.data.size() / 2);
        int kind = pick(5); /* one-shot, 2 bytes, inside, reaching past the data, all */
        if (kind == 1 || kind == 2)
            sample.loopStartWords = pick(words + 1);
        if (kind == 3)
            sample.loopStartWords = pick(words + 40);
        if (kind == 2 || kind == 3)
            sample.loopLengthWords = 2 + pick(kind == 2 ? words + 1 : 3000);
        if (kind == 4)
            sample.loopLengthWords = words;
        writer.sample(s, sample);
    }
    writer.orders({0, 1, 2, 1, 3});
    for (int p = 0; p < 4; p++) {
        for (int cell = 0; cell < 256; cell++) {
            if (pick(3) == 0)
                continue;
            int period = pick(8) == 0 ? pick(1200) : tab_tunes[pick(576)];
            if (pick(4) == 0)
                period = 0;
            int sample = pick(6) == 0 ? 0 : (pick(15) == 0 ? 32 + pick(200) : 1 + pick(12));
            int effect = pick(16), param = pick(256);
            if ((effect == 0xB || effect == 0xD) && pick(4) != 0)
                param = pick(4);
            if (effect == 0xF && pick(3) == 0)
                param = 1 + pick(31);
            writer.cell(p, cell / 4, cell % 4, period, sample, effect, param);
        }
    }
    return writer.bytes();
}

} // namespace

TEST(PtFastRenderer, MatchesTheReferenceOnRandomModules)
{
    const int seconds = longRenderSeconds(4, 1);
    for (unsigned seed = 1; seed <= 6; seed++)
        expectFastEqualsReference(randomModule(seed), 44100 * seconds, seed % 2 == 0,
                                  "seed " + std::to_string(seed), seed == 5 ? 200 : 256,
                                  seed == 3 ? 100 : -1);
}

TEST(PtFastRenderer, MatchesTheReferenceOnVoicesSteppingBackwards)
{
    /* E1y has no lower limit: below period 0 the sample plays backwards until
     * its position drops below 0; samples 2 to 5 fill the image past sample 1,
     * so a run one sample too far reads inside the image instead of stopping.
     * {note, E1y step, rows of it, one more E1y after a row at rest}: crossing
     * below 0, landing on 0 first, far below 0, one below 0 from period 108 */
    const int cases[][4] = {
        {113, 0xF, 9, 0}, {120, 0xF, 8, 1}, {113, 0xF, 40, 0xF}, {108, 9, 12, 1}};
    for (auto [note, slide, slideRows, lastSlide] : cases) {
        ModuleWriter writer;
        writer.sample(1, waveSample(60000, 5), 64, note == 108 ? 7 : 0, 0, 60000);
        for (int s = 2; s <= 5; s++)
            writer.sample(s, ovtools::constantSample(65534, 100), 64);
        writer.cell(0, 0, 0, note, 1).cell(0, 0, 1, 0, 0, 0xF, 1); /* one tick per row */
        for (int row = 1; row <= slideRows; row++)
            writer.cell(0, row, 0, 0, 0, 0xE, 0x10 | slide);
        if (lastSlide != 0)
            writer.cell(0, slideRows + 2, 0, 0, 0, 0xE, 0x10 | lastSlide);
        expectFastEqualsReference(writer.bytes(), 44100, false,
                                  "E1" + std::to_string(slide) + " x" + std::to_string(slideRows));
    }
}

TEST(PtFastRenderer, SameBytesOnEveryMachine)
{
    /* digests of the plug-in's mode, filter off and on: the integer mixer and
     * the single-precision filter with its one fused multiply-add give the
     * same bytes on little- and big-endian machines */
    const uint64_t expected[2] = {636723815907009502ull, 1458030543884168749ull};
    for (int filterOn = 0; filterOn < 2; filterOn++) {
        LoadedModule m(randomModule(3));
        m.state->filter_on = static_cast<uint32>(filterOn);
        m.state->flags = filterOn != 0 ? PT_STATE_FILTER_SWITCHABLE : 0;
        uint64_t hash = 14695981039346656037ull;
        for (uint8_t b : render(pt_render, m.state, 44100 * 2))
            hash = (hash ^ b) * 1099511628211ull;
        EXPECT_EQ(hash, expected[filterOn]) << filterOn;
    }
}
