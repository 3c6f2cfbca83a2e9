/* The module targets' mutator: random bytes almost never make a module whose
 * rows loop and jump, so an "M.K." input is taken apart, changed where the
 * replay routine branches and put back with the size the loader accepts. */
#include "platform/byteorder.h"
#include "protracker/replayer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <vector>

extern "C" size_t LLVMFuzzerMutate(uint8_t *data, size_t size, size_t maxSize);

namespace {

/* The module in file order: header, patterns, then the data of samples 1 to 31. */
struct Module {
    std::array<std::vector<uint8_t>, 2 + PT_SAMPLES - 1> parts;

    uint8_t *header() { return parts[0].data(); }
    uint8_t *sampleHeader(int i) { return header() + PT_FILE_SAMPLE_HEADERS + i * 30; }
    uint8_t *orders() { return header() + PT_FILE_ORDER_TABLE; }
    int patternCount() { return *std::max_element(orders(), orders() + PT_ORDERS) + 1; }
    /* Every part sized as the header says; what was missing is zero. */
    void fit()
    {
        parts[0].resize(PT_FILE_PATTERNS);
        std::memcpy(header() + PT_FILE_SIGNATURE, "M.K.", 4);
        parts[1].resize(size_t(patternCount()) * PT_FILE_PATTERN_SIZE);
        for (int i = 0; i < PT_SAMPLES - 1; i++)
            parts[2 + i].resize(ov_load_be16(sampleHeader(i) + 22) * size_t{2});
    }
};

std::minstd_rand randomBits;
Module module;

int below(int bound) { return int(randomBits() % unsigned(bound)); }
bool chance(int percent) { return below(100) < percent; }
/* Small values matter most for loop counts, delays and slide steps. */
int smallNibble() { return chance(70) ? below(4) : below(16); }
int songLength() { return std::clamp<int>(module.header()[PT_FILE_SONG_LENGTH], 1, PT_ORDERS); }

/* Mostly a cell that is played: in a pattern of the song, early on. */
uint8_t *pickRow()
{
    const int pattern =
        chance(85) ? module.orders()[below(songLength())] : below(module.patternCount());
    return &module.parts[1][size_t(pattern) * PT_FILE_PATTERN_SIZE +
                            (chance(60) ? below(16) : below(64)) * 16];
}
uint8_t *pickCell() { return pickRow() + below(PT_CHANNELS) * 4; }

/* A command and its parameter; the note stays. */
void setCommand(uint8_t *cell, int effect, int param)
{
    cell[2] = uint8_t((cell[2] & 0xF0) | effect);
    cell[3] = uint8_t(param);
}

/* Pattern loop, jump, break, pattern delay, speed or tempo. */
void setSequencing(uint8_t *cell)
{
    const int kind = below(100);
    if (kind < 42)
        setCommand(cell, 0xE, 0x60 | (chance(40) ? 0 : smallNibble()));
    else if (kind < 58)
        setCommand(cell, 0xB, chance(80) ? below(songLength() + 1) : below(256));
    else if (kind < 74)
        setCommand(cell, 0xD, chance(70) ? below(7) << 4 | below(10) : below(256));
    else
        setCommand(cell, kind < 86 ? 0xE : 0xF, kind < 86 ? 0xE0 | smallNibble() : below(256));
}

/* Length, finetune, volume, or a loop: mostly inside the sample. Grown
 * samples stay short: each input is copied, and rendering costs the same
 * whatever a sample's length. */
void setSampleHeader(uint8_t *header)
{
    const int kind = below(5), span = std::max<int>(ov_load_be16(header + 22), 1);
    if (kind == 0) {
        ov_store_be16(header + 22, chance(50) ? below(64) : below(2048));
    } else if (kind < 3) {
        header[23 + kind] = uint8_t(kind == 2 && chance(80) ? below(65) : below(256));
    } else {
        const int start = chance(80) ? below(span) : below(65536);
        ov_store_be16(header + 26, start);
        ov_store_be16(header + 28,
                      uint16(chance(80) ? 1 + below(std::max(span - start, 1)) : below(65536)));
    }
}

void mutateOnce()
{
    static constexpr int kFineSlides[] = {0x1, 0x2, 0xA, 0xB}; /* E1y E2y EAy EBy */
    const int choice = below(100), kind = below(10);
    if (choice < 6) { /* channels of one row steer the song one after the other */
        uint8_t *row = pickRow();
        for (int channel = 0; channel < PT_CHANNELS; channel++)
            if (chance(50))
                setSequencing(row + channel * 4);
    } else if (choice < 22) {
        setSequencing(pickCell());
    } else if (choice < 38) { /* a fine slide, another extended command, any command */
        setCommand(pickCell(), kind < 7 ? 0xE : below(16),
                   kind < 4 ? kFineSlides[below(4)] << 4 | below(16) : below(256));
    } else if (choice < 52) { /* a note of the table, any period or none; a sample or none */
        const int period = kind > 7   ? 0
                           : kind < 6 ? tab_tunes[below(PT_FINETUNES * PT_TUNES_PER_ROW)]
                                      : below(4096);
        const int sample = chance(20) ? 0 : below(chance(85) ? PT_SAMPLES : 256);
        uint8_t *cell = pickCell();
        cell[0] = uint8_t((sample & 0xF0) | period >> 8);
        cell[1] = uint8_t(period);
        cell[2] = uint8_t((sample & 0x0F) << 4 | (cell[2] & 0x0F));
    } else if (choice < 56) {
        std::memset(pickCell(), 0, 4);
    } else if (choice < 60) {
        std::memmove(pickCell(), pickCell(), 4);
    } else if (choice < 68) { /* an order names an existing pattern, now and then one more */
        const int count = module.patternCount();
        module.orders()[chance(80) ? below(songLength() + 1) : below(PT_ORDERS)] =
            uint8_t(chance(85) ? below(count) : std::min(count, 127));
    } else if (choice < 74) {
        module.header()[PT_FILE_SONG_LENGTH] =
            uint8_t(kind < 7 ? 1 + below(4) : below(kind < 9 ? PT_ORDERS + 1 : 256));
    } else if (choice < 88) {
        setSampleHeader(module.sampleHeader(below(PT_SAMPLES - 1)));
    } else {
        LLVMFuzzerMutate(module.parts[1].data(), module.parts[1].size(), module.parts[1].size());
    }
    module.fit();
}

} // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize,
                                          unsigned int seed)
{
    randomBits.seed(seed);
    /* Now and then raw bytes, so the loader's refusals stay covered; the
     * next round puts the layout right again. */
    if (below(32) == 0 || maxSize < PT_FILE_PATTERNS + PT_FILE_PATTERN_SIZE)
        return LLVMFuzzerMutate(data, size, maxSize);
    module = Module{};
    module.parts[0].assign(data, data + std::min<size_t>(size, PT_FILE_PATTERNS));
    module.fit();
    /* Bytes behind the last sample are dropped. */
    for (size_t cursor = 0; auto &part : module.parts) {
        const size_t start = std::min(cursor, size);
        std::copy_n(data + start, std::min(part.size(), size - start), part.begin());
        cursor += part.size();
    }
    for (int round = below(3); round >= 0; round--)
        mutateOnce();
    /* To fit maxSize: lower the order table, then shorten samples, last first. */
    while (PT_FILE_PATTERNS + size_t(module.patternCount()) * PT_FILE_PATTERN_SIZE > maxSize) {
        uint8_t *highest = std::max_element(module.orders(), module.orders() + PT_ORDERS);
        *highest = uint8_t(*highest / 2);
    }
    module.fit();
    size_t total = 0;
    for (const auto &part : module.parts)
        total += part.size();
    for (int i = PT_SAMPLES - 2; i >= 0 && total > maxSize; i--) {
        const size_t length = module.parts[2 + i].size();
        const size_t cut = std::min(length, (total - maxSize + 1) & ~size_t{1});
        ov_store_be16(module.sampleHeader(i) + 22, (length - cut) / 2);
        total -= cut;
    }
    module.fit();
    uint8_t *written = data;
    for (const auto &part : module.parts)
        written = std::copy(part.begin(), part.end(), written);
    return size_t(written - data);
}
