/*
 * Writes four-channel "M.K." modules: title, samples, order table, song
 * length and pattern cells, then the file's bytes. The demo composer and
 * the tests share it; the tests also write damaged headers through it.
 */
#ifndef OV_TOOLS_MODULE_IMAGE_H
#define OV_TOOLS_MODULE_IMAGE_H

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ovtools {

struct ModuleSample {
    std::string name;
    std::vector<int8_t> data; /* padded to an even length when written */
    uint8_t finetune = 0;     /* stored as the header byte (low 4 bits used) */
    uint8_t volume = 64;
    uint16_t loopStartWords = 0;
    uint16_t loopLengthWords = 1; /* 1 word: no loop, as trackers write it */
    /* When set, the header's length word instead of data.size() / 2 (for
     * damaged headers); the data written stays data. */
    int lengthWordsOverride = -1;
};

struct ModuleCell {
    int period = 0;
    int sample = 0;
    int effect = 0;
    int param = 0;
};

class ModuleWriter {
public:
    ModuleWriter &title(const std::string &text);
    /* Sample number 1..31. */
    ModuleWriter &sample(int number, const ModuleSample &sample);
    /* Shorthand: a sample of the given bytes and volume, looping from
     * loopStart for loopLength bytes (both even; loopLength 0 = one-shot). */
    ModuleWriter &sample(int number, const std::vector<int8_t> &data, int volume = 64,
                         int finetune = 0, int loopStartBytes = 0, int loopLengthBytes = 0);
    ModuleWriter &order(int position, int pattern);
    /* Sets positions 0.. to the given patterns and the song length to their count. */
    ModuleWriter &orders(const std::vector<int> &patterns);
    ModuleWriter &songLength(int length);
    ModuleWriter &cell(int pattern, int row, int channel, const ModuleCell &cell);
    ModuleWriter &cell(int pattern, int row, int channel, int period, int sample, int effect = 0,
                       int param = 0);

    /* Patterns written: one more than the highest order entry (all 128). */
    int patternCount() const;
    std::vector<uint8_t> bytes() const;

private:
    std::string title_;
    std::array<ModuleSample, 32> samples_;
    std::array<uint8_t, 128> orders_{};
    int songLength_ = 1;
    std::map<int, std::array<ModuleCell, 256>> patterns_;
};

/* A sample of n bytes all of one value. */
std::vector<int8_t> constantSample(size_t n, int8_t value);

/* Amiga period of a note name such as "C-1", "F#2" or "B-3" (octaves 1 to 3). */
uint16_t notePeriod(const std::string &name);

} // namespace ovtools

#endif
