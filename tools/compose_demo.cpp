/*
 * compose_demo OUT.mod: writes "Orvane demo", the song the player falls back
 * to when it is given no file. An original four-channel "M.K." module of
 * about a minute in A minor (Am F C G), with its own synthesised samples:
 * a pulse lead, a saw bass, a soft pad, and a kick, a snare and a hi-hat.
 *
 * Channel 0 drums, 1 bass, 2 pad chords, 3 lead. It uses arpeggio (pad),
 * slides up and down, tone portamento and vibrato (lead and bass), volume
 * slides, a pattern loop in the breakdown, and speed changes (6, 7, 5, 6).
 */
#include "module_image.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>

using namespace ovtools;

namespace {

constexpr int kChannels = 4;
using Pattern = std::array<std::array<ModuleCell, kChannels>, 64>;

/* Playback rate of a sample played at C-3 (period 214) on a PAL Amiga:
 * the drums are made for it. */
constexpr double kDrumRate = 7093789.2 / (2.0 * 214);

enum SampleNumber : uint8_t { kLead = 1, kBass, kPad, kKick, kSnare, kHat };
enum Channel { kDrums = 0, kBassCh = 1, kPadCh = 2, kLeadCh = 3 };

int8_t clip(double v)
{
    return static_cast<int8_t>(std::lround(std::fmax(-127.0, std::fmin(127.0, v))));
}

/* Deterministic noise so every build writes the same file. */
double noise()
{
    static uint32_t state = 0x1234567u;
    state = state * 1664525u + 1013904223u;
    return static_cast<double>(state >> 8) / 8388608.0 - 1.0;
}

ModuleSample looped(const char *name, uint8_t volume, size_t length, auto waveAt)
{
    ModuleSample s{name, {}, 0, volume};
    for (size_t i = 0; i < length; i++)
        s.data.push_back(clip(waveAt(i)));
    s.loopStartWords = 0;
    s.loopLengthWords = static_cast<uint16_t>(length / 2);
    return s;
}

ModuleSample oneShot(const char *name, uint8_t volume, double seconds, auto waveAt)
{
    ModuleSample s{name, {}, 0, volume};
    size_t length = static_cast<size_t>(seconds * kDrumRate) & ~size_t{1};
    for (size_t i = 0; i < length; i++)
        s.data.push_back(clip(waveAt(static_cast<double>(i) / kDrumRate)));
    s.data[0] = s.data[1] = 0; /* the first word of a one-shot stays silent */
    return s;
}

std::vector<ModuleSample> synthesiseSamples()
{
    using std::numbers::pi;
    std::vector<ModuleSample> samples;
    /* Pulse lead: 32-byte cycles whose width breathes from 25 % to 50 %. */
    samples.push_back(looped("pulse lead", 48, 256, [](size_t i) {
        size_t cycle = i / 32, phase = i % 32;
        size_t width = 8 + (cycle < 4 ? cycle * 2 : (7 - cycle) * 2);
        return phase < width ? 70.0 : -70.0;
    }));
    /* Saw bass, 64-byte cycles, its edge rounded off a little. */
    samples.push_back(looped("saw bass", 56, 256, [](size_t i) {
        double t = static_cast<double>(i % 64) / 64.0;
        return 105.0 * (1.0 - 2.0 * t) * (1.0 - std::exp(-t * 40.0));
    }));
    /* Soft pad: sine with a touch of its third harmonic. */
    samples.push_back(looped("soft pad", 40, 256, [](size_t i) {
        double t = 2.0 * pi * static_cast<double>(i % 64) / 64.0;
        return 90.0 * std::sin(t) + 20.0 * std::sin(3.0 * t);
    }));
    samples.push_back(oneShot("kick", 64, 0.22, [](double t) {
        double phase = 2.0 * pi * (45.0 * t + 120.0 / 25.0 * (1.0 - std::exp(-t * 25.0)));
        return 125.0 * std::sin(phase) * std::exp(-t * 11.0);
    }));
    samples.push_back(oneShot("snare", 52, 0.18, [](double t) {
        return 85.0 * noise() * std::exp(-t * 18.0) +
               60.0 * std::sin(2.0 * pi * 185.0 * t) * std::exp(-t * 30.0);
    }));
    double previous = 0.0;
    samples.push_back(oneShot("hi-hat", 30, 0.05, [&previous](double t) {
        double n = noise(), high = n - previous; /* a plain difference: only the hiss */
        previous = n;
        return 70.0 * high * std::exp(-t * 70.0);
    }));
    return samples;
}

/* ---- writing cells ---- */

void put(Pattern &p, int row, int ch, const char *note, uint8_t sample, uint8_t effect = 0,
         uint8_t param = 0)
{
    ModuleCell &c = p[row][ch];
    c.period = note != nullptr ? notePeriod(note) : 0;
    c.sample = sample;
    c.effect = effect;
    c.param = param;
}

void effect(Pattern &p, int row, int ch, uint8_t effect, uint8_t param)
{
    p[row][ch].effect = effect;
    p[row][ch].param = param;
}

void effectRows(Pattern &p, int first, int last, int ch, uint8_t fx, uint8_t param)
{
    for (int row = first; row <= last; row++)
        effect(p, row, ch, fx, param);
}

/* The progression, one chord per 16 rows: root notes and arpeggio steps. */
struct Chord {
    const char *padRoot;
    const char *bassRoot;
    const char *bassFifth;
    uint8_t arpeggio; /* 0x37 minor, 0x47 major */
};
const Chord kProgression[4] = {
    {"A-2", "A-1", "E-2", 0x37},
    {"F-2", "F-1", "C-2", 0x47},
    {"C-2", "C-1", "G-1", 0x47},
    {"G-2", "G-1", "D-2", 0x47},
};

void padChords(Pattern &p, int firstRow = 0, int lastRow = 63)
{
    for (int row = firstRow; row <= lastRow; row++) {
        const Chord &chord = kProgression[row / 16];
        if (row % 16 == 0 || row == firstRow)
            put(p, row, kPadCh, chord.padRoot, kPad, 0x0, chord.arpeggio);
        else
            effect(p, row, kPadCh, 0x0, chord.arpeggio);
    }
}

void bassLine(Pattern &p, bool glide)
{
    for (int block = 0; block < 4; block++) {
        const Chord &chord = kProgression[block];
        const Chord &next = kProgression[(block + 1) % 4];
        int base = block * 16;
        for (int step = 0; step < 16; step += 2) {
            const char *note = (step == 6 || step == 10) ? chord.bassFifth : chord.bassRoot;
            put(p, base + step, kBassCh, note, kBass);
        }
        if (glide) {
            /* Glide into the next chord's root, then let it ring. */
            put(p, base + 14, kBassCh, next.bassRoot, 0, 0x3, 0x28);
            effect(p, base + 15, kBassCh, 0x3, 0x00);
        } else {
            effect(p, base + 13, kBassCh, 0x2, 0x04); /* a small fall before the change */
        }
    }
}

enum class Beat { Sparse, Full, Hats };

void drums(Pattern &p, Beat beat, int firstRow = 0, int lastRow = 63)
{
    for (int row = firstRow; row <= lastRow; row++) {
        int step = row % 16;
        if (beat != Beat::Hats && (step == 0 || (beat == Beat::Full && (step == 8 || step == 10))))
            put(p, row, kDrums, "C-3", kKick);
        else if (beat == Beat::Full && (step == 4 || step == 12))
            put(p, row, kDrums, "C-3", kSnare);
        else if (step % 2 == 0 || (beat == Beat::Full && step == 15))
            put(p, row, kDrums, "C-3", kHat);
    }
}

struct LeadNote {
    int row;
    const char *note;
    uint8_t effect = 0; /* on the note's own row: 3 = glide into it */
    uint8_t param = 0;
    uint8_t tailEffect = 0; /* on the rows up to the next note */
    uint8_t tailParam = 0;
};

void lead(Pattern &p, std::initializer_list<LeadNote> notes)
{
    const LeadNote *previous = nullptr;
    auto tail = [&p](const LeadNote &n, int untilRow) {
        if (n.tailEffect != 0 || n.tailParam != 0)
            effectRows(p, n.row + 1, untilRow - 1, kLeadCh, n.tailEffect, n.tailParam);
    };
    for (const LeadNote &n : notes) {
        if (previous != nullptr)
            tail(*previous, n.row);
        /* A glide keeps the playing sample: no sample number on its row. */
        put(p, n.row, kLeadCh, n.note, n.effect == 0x3 ? 0 : kLead, n.effect, n.param);
        previous = &n;
    }
    if (previous != nullptr)
        tail(*previous, 64);
}

/* Melody A: singing notes with vibrato on the held ones. */
void melodyA(Pattern &p)
{
    lead(p, {{0, "E-3", 0, 0, 0x4, 0x46},
             {6, "D-3"},
             {8, "C-3", 0, 0, 0x4, 0x46},
             {12, "A-2", 0, 0, 0x4, 0x35},
             {16, "C-3", 0, 0, 0x4, 0x46},
             {22, "A-2"},
             {24, "F-2", 0, 0, 0x4, 0x46},
             {28, "A-2"},
             {32, "G-2", 0, 0, 0x4, 0x46},
             {38, "C-3"},
             {40, "E-3", 0, 0, 0x4, 0x46},
             {44, "G-3", 0, 0, 0x4, 0x57},
             {48, "F-3", 0, 0, 0x4, 0x46},
             {52, "E-3"},
             {56, "D-3", 0, 0, 0x4, 0x46},
             {60, "B-2", 0, 0, 0xA, 0x02}});
}

/* Melody B: glides, slides and swells. */
void melodyB(Pattern &p)
{
    lead(p, {{0, "A-3", 0, 0, 0x4, 0x35},
             {4, "G-3", 0x3, 0x20, 0x3, 0x00},
             {8, "E-3", 0, 0, 0xA, 0x03},
             {12, "D-3", 0, 0, 0x2, 0x03},
             {16, "C-3", 0, 0, 0x4, 0x46},
             {20, "A-2", 0x3, 0x18, 0x3, 0x00},
             {24, "C-3", 0, 0, 0x1, 0x02},
             {28, "F-3", 0xC, 0x18, 0xA, 0x40},
             {32, "E-3", 0, 0, 0x4, 0x57},
             {36, "G-3", 0x3, 0x30, 0x3, 0x00},
             {40, "C-3", 0, 0, 0x0, 0x47},
             {44, "E-3", 0, 0, 0xA, 0x02},
             {48, "D-3", 0, 0, 0x4, 0x46},
             {52, "B-2", 0x3, 0x10, 0x3, 0x00},
             {56, "G-2", 0, 0, 0x1, 0x03},
             {60, "B-2", 0, 0, 0xA, 0x04}});
}

std::vector<Pattern> composePatterns()
{
    std::vector<Pattern> patterns(8);

    Pattern &intro = patterns[0];
    drums(intro, Beat::Sparse);
    padChords(intro);
    effect(intro, 0, kLeadCh, 0xF, 0x06); /* speed 6 from the first row */

    Pattern &groove = patterns[1];
    drums(groove, Beat::Full);
    padChords(groove);
    bassLine(groove, false);

    Pattern &verse = patterns[2];
    drums(verse, Beat::Full);
    padChords(verse);
    bassLine(verse, true);
    melodyA(verse);

    Pattern &answer = patterns[3];
    drums(answer, Beat::Full);
    padChords(answer);
    bassLine(answer, false);
    melodyB(answer);

    /* Breakdown: a slower speed, the first 16 rows played twice (pattern
     * loop), then the lead alone over hats. */
    Pattern &breakdown = patterns[4];
    effect(breakdown, 0, kLeadCh, 0xE, 0x60);
    effect(breakdown, 15, kLeadCh, 0xE, 0x61);
    for (int row = 0; row < 16; row += 8) {
        put(breakdown, row, kDrums, "C-3", kKick);
        put(breakdown, row, kPadCh, row == 0 ? "A-2" : "F-2", kPad, 0x0, row == 0 ? 0x37 : 0x47);
        effectRows(breakdown, row + 1, row + 7, kPadCh, 0x0, row == 0 ? 0x37 : 0x47);
        if (row == 0)
            put(breakdown, row, kBassCh, "A-1", kBass, 0xF, 0x07);
        else
            put(breakdown, row, kBassCh, "F-1", kBass);
    }
    drums(breakdown, Beat::Hats, 16, 63);
    lead(breakdown, {{16, "E-3", 0, 0, 0x4, 0x24},
                     {24, "C-3", 0x3, 0x08, 0x3, 0x00},
                     {32, "D-3", 0, 0, 0x4, 0x46},
                     {40, "B-2", 0x3, 0x0C, 0x3, 0x00},
                     {48, "A-2", 0, 0, 0x4, 0x68},
                     {56, "A-2", 0xC, 0x30, 0xA, 0x01}});

    /* Build-up: faster, the lead climbing, the drums rolling. */
    Pattern &build = patterns[5];
    effect(build, 0, kDrums, 0xF, 0x05);
    padChords(build);
    for (int row = 0; row < 64; row += 4)
        put(build, row, kBassCh, kProgression[row / 16].bassRoot, kBass);
    for (int row = 1; row < 32; row += 4)
        put(build, row, kDrums, "C-3", kKick);
    for (int row = 32; row < 64; row += row < 48 ? 2 : 1)
        put(build, row, kDrums, "C-3", kSnare, 0xC, static_cast<uint8_t>(0x10 + (row - 32) * 3));
    lead(build, {{0, "A-2", 0, 0, 0x1, 0x01}, {32, "E-3", 0xC, 0x20, 0xA, 0x20}});

    Pattern &reprise = patterns[6];
    drums(reprise, Beat::Full);
    padChords(reprise);
    bassLine(reprise, true);
    melodyA(reprise);
    put(reprise, 0, kBassCh, "A-1", kBass, 0xF, 0x06);

    /* Outro: an A minor chord that fades on every channel. */
    Pattern &outro = patterns[7];
    put(outro, 0, kDrums, "C-3", kKick);
    put(outro, 16, kDrums, "C-3", kKick, 0xA, 0x01);
    put(outro, 0, kPadCh, "A-2", kPad, 0x0, 0x37);
    effectRows(outro, 1, 15, kPadCh, 0x0, 0x37);
    effectRows(outro, 16, 47, kPadCh, 0xA, 0x01);
    put(outro, 0, kBassCh, "A-1", kBass);
    effectRows(outro, 16, 47, kBassCh, 0xA, 0x01);
    lead(outro, {{0, "A-2", 0, 0, 0x4, 0x46}, {16, "E-3", 0x3, 0x08, 0xA, 0x01}});
    return patterns;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: compose_demo OUT.mod\n");
        return 2;
    }
    ModuleWriter song;
    song.title("Orvane demo");
    std::vector<ModuleSample> samples = synthesiseSamples();
    samples.resize(31, ModuleSample{"", {}, 0, 0, 0, 0}); /* empty slots all zero */
    for (size_t i = 0; i < samples.size(); i++)
        song.sample(static_cast<int>(i) + 1, samples[i]);
    std::vector<Pattern> patterns = composePatterns();
    std::vector<int> order;
    for (size_t p = 0; p < patterns.size(); p++) {
        order.push_back(static_cast<int>(p));
        for (int row = 0; row < 64; row++)
            for (int ch = 0; ch < kChannels; ch++)
                song.cell(static_cast<int>(p), row, ch, patterns[p][row][ch]);
    }
    song.orders(order);
    std::vector<uint8_t> bytes = song.bytes();
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "compose_demo: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
