#include "module_mutator.h"

#include "protracker/replayer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <vector>

extern "C" size_t LLVMFuzzerMutate(uint8_t *data, size_t size, size_t maxSize);

namespace ovfuzz {
namespace {

constexpr size_t kHeaderSize = PT_FILE_PATTERNS;
constexpr size_t kSmallestModule = PT_FILE_PATTERNS + PT_FILE_PATTERN_SIZE;
/* Samples the mutator grows stay short: rendering cost does not depend on
 * their length, but copying every input does. */
constexpr int kLongestGrownSampleWords = 2048;

/* The module taken apart. Bytes behind the last sample are dropped. */
struct Module {
    std::array<uint8_t, kHeaderSize> header{};
    std::vector<uint8_t> patterns;
    std::array<std::vector<uint8_t>, PT_SAMPLES - 1> samples;

    uint8_t *sampleHeader(int index) { return &header[PT_FILE_SAMPLE_HEADERS + index * PT_FILE_SAMPLE_HEADER_SIZE]; }
    uint8_t *orders() { return &header[PT_FILE_ORDER_TABLE]; }
    uint8_t &songLength() { return header[PT_FILE_SONG_LENGTH]; }
    int patternCount() { return *std::max_element(orders(), orders() + PT_ORDERS) + 1; }
    uint8_t *cell(int pattern, int row, int channel)
    {
        return &patterns[static_cast<size_t>(pattern) * PT_FILE_PATTERN_SIZE + row * 16 + channel * 4];
    }
};

int word(const uint8_t *at) { return at[0] << 8 | at[1]; }
void setWord(uint8_t *at, int value)
{
    at[0] = static_cast<uint8_t>(value >> 8);
    at[1] = static_cast<uint8_t>(value);
}

/* Patterns and sample data sized to what the header names; whatever the
 * input lacks is zero. */
void fitToHeader(Module &module)
{
    std::memcpy(&module.header[PT_FILE_SIGNATURE], "M.K.", 4);
    module.patterns.resize(static_cast<size_t>(module.patternCount()) * PT_FILE_PATTERN_SIZE);
    for (int i = 0; i < PT_SAMPLES - 1; i++)
        module.samples[i].resize(static_cast<size_t>(word(module.sampleHeader(i) + 22)) * 2);
}

Module parse(const uint8_t *data, size_t size)
{
    Module module;
    std::memcpy(module.header.data(), data, std::min(size, kHeaderSize));
    const size_t patternBytes = static_cast<size_t>(module.patternCount()) * PT_FILE_PATTERN_SIZE;
    size_t cursor = kHeaderSize;
    auto take = [&](std::vector<uint8_t> &into, size_t length) {
        const size_t available = cursor < size ? std::min(length, size - cursor) : 0;
        into.assign(data + cursor, data + cursor + available);
        cursor += length;
    };
    take(module.patterns, patternBytes);
    for (int i = 0; i < PT_SAMPLES - 1; i++)
        take(module.samples[i], static_cast<size_t>(word(module.sampleHeader(i) + 22)) * 2);
    fitToHeader(module);
    return module;
}

/* Writes the module; samples are cut (last first) and then the order
 * table lowered until it fits maxSize. Returns 0 when even the smallest
 * module does not fit. */
size_t serialise(Module &module, uint8_t *out, size_t maxSize)
{
    if (maxSize < kSmallestModule)
        return 0;
    while (kHeaderSize + static_cast<size_t>(module.patternCount()) * PT_FILE_PATTERN_SIZE > maxSize) {
        uint8_t *highest = std::max_element(module.orders(), module.orders() + PT_ORDERS);
        *highest = static_cast<uint8_t>(*highest / 2);
    }
    fitToHeader(module);
    size_t total = kHeaderSize + module.patterns.size();
    for (const auto &sample : module.samples)
        total += sample.size();
    for (int i = PT_SAMPLES - 2; i >= 0 && total > maxSize; i--) {
        const size_t excess = total - maxSize;
        const size_t keep = module.samples[i].size() > excess ? (module.samples[i].size() - excess) & ~size_t{1} : 0;
        total -= module.samples[i].size() - keep;
        module.samples[i].resize(keep);
        setWord(module.sampleHeader(i) + 22, static_cast<int>(keep / 2));
    }
    uint8_t *at = out;
    auto put = [&](const uint8_t *bytes, size_t length) {
        if (length != 0)
            std::memmove(at, bytes, length);
        at += length;
    };
    put(module.header.data(), kHeaderSize);
    put(module.patterns.data(), module.patterns.size());
    for (const auto &sample : module.samples)
        put(sample.data(), sample.size());
    return static_cast<size_t>(at - out);
}

class Mutator {
public:
    Mutator(Module &module, unsigned seed) : module_(module), random_(seed) {}

    int below(int bound) { return static_cast<int>(random_() % static_cast<unsigned>(bound)); }
    bool chance(int percent) { return below(100) < percent; }

    void mutateOnce()
    {
        const int choice = below(100);
        if (choice < 6)
            setSequencingRow();
        else if (choice < 38)
            setEffect(pickCell());
        else if (choice < 52)
            setNote(pickCell());
        else if (choice < 56)
            std::memset(pickCell(), 0, 4);
        else if (choice < 60)
            std::memcpy(pickCell(), pickCell(), 4);
        else if (choice < 68)
            setOrder();
        else if (choice < 74)
            setSongLength();
        else if (choice < 86)
            setSampleHeader(below(PT_SAMPLES - 1));
        else if (choice < 90)
            mutateBytes(module_.samples[below(PT_SAMPLES - 1)]);
        else if (choice < 97)
            mutateBytes(module_.patterns);
        else
            mutateTitleAndNames();
    }

private:
    int songLength() { return std::clamp<int>(module_.songLength(), 1, PT_ORDERS); }

    /* Mostly a row that is played: in a pattern of the song, early on. */
    uint8_t *pickRow()
    {
        const int pattern = chance(85) ? module_.orders()[below(songLength())] : below(module_.patternCount());
        const int row = chance(60) ? below(16) : below(PT_ROWS);
        return module_.cell(pattern, row, 0);
    }
    uint8_t *pickCell() { return pickRow() + below(PT_CHANNELS) * 4; }

    static void encode(uint8_t *cell, int period, int sample, int effect, int param)
    {
        cell[0] = static_cast<uint8_t>((sample & 0xF0) | ((period >> 8) & 0x0F));
        cell[1] = static_cast<uint8_t>(period);
        cell[2] = static_cast<uint8_t>(((sample & 0x0F) << 4) | (effect & 0x0F));
        cell[3] = static_cast<uint8_t>(param);
    }
    static int period(const uint8_t *cell) { return (cell[0] & 0x0F) << 8 | cell[1]; }
    static int sample(const uint8_t *cell) { return (cell[0] & 0xF0) | cell[2] >> 4; }

    /* Small values matter most for the extended commands: loop counts,
     * delays, slide steps. */
    int smallNibble() { return chance(70) ? below(4) : below(16); }

    /* A command that steers the song: pattern loop, jump, break, delay,
     * speed or tempo. */
    void setSequencing(uint8_t *cell)
    {
        int effect = 0xE;
        int param = below(256);
        const int kind = below(100);
        if (kind < 42) {
            param = 0x60 | (chance(40) ? 0 : smallNibble());
        } else if (kind < 58) {
            effect = 0xB;
            param = chance(80) ? below(songLength() + 1) : param;
        } else if (kind < 74) {
            effect = 0xD;
            param = chance(70) ? below(7) << 4 | below(10) : param;
        } else if (kind < 86) {
            param = 0xE0 | smallNibble();
        } else {
            effect = 0xF;
            param = chance(60) ? below(32) : param;
        }
        encode(cell, period(cell), sample(cell), effect, param);
    }

    /* Channels of one row act on the song position and row one after the
     * other, each from where the channel before it left them. */
    void setSequencingRow()
    {
        uint8_t *row = pickRow();
        for (int channel = 0; channel < PT_CHANNELS; channel++)
            if (chance(50))
                setSequencing(row + channel * 4);
    }

    void setEffect(uint8_t *cell)
    {
        int effect = below(16);
        int param = below(256);
        const int kind = below(100);
        if (kind < 52) {
            setSequencing(cell);
            return;
        }
        if (kind < 62) {
            static constexpr int kFineCommands[] = {0x1, 0x2, 0xA, 0xB};
            effect = 0xE;
            param = kFineCommands[below(4)] << 4 | below(16);
        } else if (kind < 72) {
            effect = 0xE;
        }
        encode(cell, period(cell), sample(cell), effect, param);
    }

    void setNote(uint8_t *cell)
    {
        int notePeriod = 0;
        const int kind = below(10);
        if (kind < 6)
            notePeriod = tab_tunes[below(PT_FINETUNES * PT_TUNES_PER_ROW)];
        else if (kind < 8)
            notePeriod = below(4096);
        int noteSample = chance(85) ? below(PT_SAMPLES) : below(256);
        if (chance(20))
            noteSample = 0;
        encode(cell, notePeriod, noteSample, cell[2] & 0x0F, cell[3]);
    }

    /* An order entry names an existing pattern, or now and then one more. */
    void setOrder()
    {
        const int position = chance(80) ? below(songLength() + 1) : below(PT_ORDERS);
        const int count = module_.patternCount();
        module_.orders()[position] = static_cast<uint8_t>(chance(85) ? below(count) : std::min(count, 127));
    }

    void setSongLength()
    {
        const int kind = below(10);
        module_.songLength() = static_cast<uint8_t>(kind < 7 ? 1 + below(4) : kind < 9 ? below(PT_ORDERS + 1)
                                                                                         : below(256));
    }

    void setSampleHeader(int index)
    {
        uint8_t *header = module_.sampleHeader(index);
        const int length = word(header + 22);
        switch (below(5)) {
        case 0:
            setWord(header + 22, chance(50) ? below(64) : below(kLongestGrownSampleWords));
            break;
        case 1:
            header[24] = static_cast<uint8_t>(below(256));
            break;
        case 2:
            header[25] = static_cast<uint8_t>(chance(80) ? below(65) : below(256));
            break;
        default: {
            /* Loops inside the sample mostly, sometimes past its end. */
            const int span = std::max(length, 1);
            const int start = chance(80) ? below(span) : below(65536);
            const int loopLength = chance(80) ? 1 + below(std::max(span - std::min(start, span - 1), 1))
                                              : below(65536);
            setWord(header + 26, start);
            setWord(header + 28, loopLength);
        }
        }
    }

    void mutateBytes(std::vector<uint8_t> &bytes)
    {
        if (!bytes.empty())
            LLVMFuzzerMutate(bytes.data(), bytes.size(), bytes.size());
    }

    void mutateTitleAndNames()
    {
        uint8_t *text = module_.sampleHeader(below(PT_SAMPLES - 1));
        LLVMFuzzerMutate(text, 22, 22);
    }

    Module &module_;
    std::minstd_rand random_;
};

} // namespace

size_t mutateModule(uint8_t *data, size_t size, size_t maxSize, unsigned seed)
{
    std::minstd_rand random(seed);
    /* Now and then raw bytes, so that the loader's refusals stay covered:
     * the next round of mutation puts the layout right again. */
    if (random() % 32 == 0)
        return LLVMFuzzerMutate(data, size, maxSize);
    Module module = parse(data, size);
    Mutator mutator(module, static_cast<unsigned>(random()));
    const int rounds = 1 + mutator.below(3);
    for (int i = 0; i < rounds; i++) {
        mutator.mutateOnce();
        fitToHeader(module);
    }
    const size_t written = serialise(module, data, maxSize);
    return written != 0 ? written : LLVMFuzzerMutate(data, size, maxSize);
}

size_t crossModules(const uint8_t *first, size_t firstSize, const uint8_t *second, size_t secondSize,
                    uint8_t *out, size_t maxOutSize, unsigned seed)
{
    Module module = parse(first, firstSize);
    Module other = parse(second, secondSize);
    Mutator mutator(module, seed);
    const int pattern = mutator.below(module.patternCount());
    const int from = mutator.below(other.patternCount());
    switch (mutator.below(3)) {
    case 0: /* a whole pattern */
        std::memcpy(module.cell(pattern, 0, 0), other.cell(from, 0, 0), PT_FILE_PATTERN_SIZE);
        break;
    case 1: { /* a run of rows */
        const int row = mutator.below(PT_ROWS);
        const int rows = 1 + mutator.below(PT_ROWS - row);
        std::memcpy(module.cell(pattern, row, 0), other.cell(from, mutator.below(PT_ROWS - rows + 1), 0),
                    static_cast<size_t>(rows) * 16);
        break;
    }
    default: { /* a sample with its data */
        const int index = mutator.below(PT_SAMPLES - 1);
        std::memcpy(module.sampleHeader(index), other.sampleHeader(index), PT_FILE_SAMPLE_HEADER_SIZE);
        module.samples[index] = other.samples[index];
    }
    }
    return serialise(module, out, maxOutSize);
}

} // namespace ovfuzz

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize, unsigned int seed)
{
    return ovfuzz::mutateModule(data, size, maxSize, seed);
}

extern "C" size_t LLVMFuzzerCustomCrossOver(const uint8_t *data1, size_t size1, const uint8_t *data2,
                                            size_t size2, uint8_t *out, size_t maxOutSize, unsigned int seed)
{
    return ovfuzz::crossModules(data1, size1, data2, size2, out, maxOutSize, seed);
}
