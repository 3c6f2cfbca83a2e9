/*
 * A four-channel "M.K." module held as plain data and turned into file
 * bytes: the few lines of module writing the demo composer needs.
 */
#ifndef OV_TOOLS_MODULE_IMAGE_H
#define OV_TOOLS_MODULE_IMAGE_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ovtools {

constexpr int kChannels = 4;
constexpr int kRowsPerPattern = 64;
constexpr int kSampleSlots = 31;

struct ModuleSample {
    std::string name;
    std::vector<int8_t> data; /* even length, at most 131070 bytes */
    uint8_t volume = 64;
    uint8_t finetune = 0;
    uint32_t loopStart = 0;  /* bytes, even */
    uint32_t loopLength = 0; /* bytes, even; 0 = no loop */
};

struct Cell {
    uint16_t period = 0; /* 0: no note */
    uint8_t sample = 0;  /* 1..31, 0: none */
    uint8_t effect = 0;  /* 0x0..0xF */
    uint8_t param = 0;
};

using Pattern = std::array<std::array<Cell, kChannels>, kRowsPerPattern>;

struct ModuleImage {
    std::string title;                 /* up to 20 characters */
    std::vector<ModuleSample> samples; /* up to 31 */
    std::vector<uint8_t> order;        /* 1..128 positions */
    std::vector<Pattern> patterns;

    std::vector<uint8_t> bytes() const;
};

/* Amiga period of a note name such as "C-1", "F#2" or "B-3" (octaves 1 to 3). */
uint16_t notePeriod(const std::string &name);

} // namespace ovtools

#endif
