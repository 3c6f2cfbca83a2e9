#include "module_image.h"

#include "../platform/byteorder.h"

#include <algorithm>
#include <stdexcept>

namespace ovtools {

namespace {

void putText(std::vector<uint8_t> &out, size_t at, const std::string &text, size_t width)
{
    for (size_t i = 0; i < width && i < text.size(); i++)
        out[at + i] = static_cast<uint8_t>(text[i]);
}

void check(bool ok, const char *what)
{
    if (!ok)
        throw std::invalid_argument(what);
}

} // namespace

ModuleWriter &ModuleWriter::title(const std::string &text)
{
    title_ = text;
    return *this;
}

ModuleWriter &ModuleWriter::sample(int number, const ModuleSample &sample)
{
    check(number >= 1 && number <= 31, "sample number 1..31");
    samples_[number] = sample;
    return *this;
}

ModuleWriter &ModuleWriter::sample(int number, const std::vector<int8_t> &data, int volume,
                                   int finetune, int loopStartBytes, int loopLengthBytes)
{
    ModuleSample s;
    s.data = data;
    s.volume = static_cast<uint8_t>(volume);
    s.finetune = static_cast<uint8_t>(finetune);
    s.loopStartWords = static_cast<uint16_t>(loopStartBytes / 2);
    s.loopLengthWords = static_cast<uint16_t>(loopLengthBytes == 0 ? 1 : loopLengthBytes / 2);
    return sample(number, s);
}

ModuleWriter &ModuleWriter::order(int position, int pattern)
{
    check(position >= 0 && position < 128 && pattern >= 0 && pattern < 256, "order entry");
    orders_[position] = static_cast<uint8_t>(pattern);
    return *this;
}

ModuleWriter &ModuleWriter::orders(const std::vector<int> &patterns)
{
    for (size_t i = 0; i < patterns.size(); i++)
        order(static_cast<int>(i), patterns[i]);
    return songLength(static_cast<int>(patterns.size()));
}

ModuleWriter &ModuleWriter::songLength(int length)
{
    check(length >= 0 && length < 256, "song length is a byte");
    songLength_ = length;
    return *this;
}

ModuleWriter &ModuleWriter::cell(int pattern, int row, int channel, const ModuleCell &cell)
{
    check(pattern >= 0 && pattern < 256 && row >= 0 && row < 64 && channel >= 0 && channel < 4,
          "cell address");
    check(cell.period >= 0 && cell.period < 4096 && cell.sample >= 0 && cell.sample < 256 &&
              cell.effect >= 0 && cell.effect < 16 && cell.param >= 0 && cell.param < 256,
          "cell fields");
    patterns_[pattern][row * 4 + channel] = cell;
    return *this;
}

ModuleWriter &ModuleWriter::cell(int pattern, int row, int channel, int period, int sample,
                                 int effect, int param)
{
    return this->cell(pattern, row, channel, ModuleCell{period, sample, effect, param});
}

int ModuleWriter::patternCount() const
{
    return *std::max_element(orders_.begin(), orders_.end()) + 1;
}

std::vector<uint8_t> ModuleWriter::bytes() const
{
    const int patterns = patternCount();
    size_t sampleBytes = 0;
    for (int i = 1; i < 32; i++)
        sampleBytes += (samples_[i].data.size() + 1) & ~size_t(1);
    std::vector<uint8_t> out(1084 + 1024 * static_cast<size_t>(patterns) + sampleBytes, 0);

    putText(out, 0, title_, 20);
    for (int i = 1; i < 32; i++) {
        const ModuleSample &s = samples_[i];
        size_t at = 20 + static_cast<size_t>(i - 1) * 30;
        putText(out, at, s.name, 22);
        unsigned words = s.lengthWordsOverride >= 0
                             ? static_cast<unsigned>(s.lengthWordsOverride)
                             : static_cast<unsigned>((s.data.size() + 1) / 2);
        ov_store_be16(&out[at + 22], words);
        out[at + 24] = s.finetune;
        out[at + 25] = s.volume;
        ov_store_be16(&out[at + 26], s.loopStartWords);
        ov_store_be16(&out[at + 28], s.loopLengthWords);
    }
    out[950] = static_cast<uint8_t>(songLength_);
    out[951] = 127;
    std::copy(orders_.begin(), orders_.end(), out.begin() + 952);
    out[1080] = 'M';
    out[1081] = '.';
    out[1082] = 'K';
    out[1083] = '.';

    for (const auto &[number, cells] : patterns_) {
        if (number >= patterns)
            continue;
        for (int i = 0; i < 256; i++) {
            const ModuleCell &c = cells[i];
            size_t at = 1084 + static_cast<size_t>(number) * 1024 + static_cast<size_t>(i) * 4;
            out[at] = static_cast<uint8_t>((c.sample & 0xF0) | ((c.period >> 8) & 0x0F));
            out[at + 1] = static_cast<uint8_t>(c.period);
            out[at + 2] = static_cast<uint8_t>(((c.sample & 0x0F) << 4) | c.effect);
            out[at + 3] = static_cast<uint8_t>(c.param);
        }
    }

    size_t cursor = 1084 + 1024 * static_cast<size_t>(patterns);
    for (int i = 1; i < 32; i++) {
        const auto &data = samples_[i].data;
        for (size_t j = 0; j < data.size(); j++)
            out[cursor + j] = static_cast<uint8_t>(data[j]);
        cursor += (data.size() + 1) & ~size_t(1);
    }
    return out;
}

std::vector<int8_t> constantSample(size_t n, int8_t value) { return std::vector<int8_t>(n, value); }

uint16_t notePeriod(const std::string &name)
{
    static const uint16_t periods[36] = {
        856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453, /* octave 1 */
        428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226, /* octave 2 */
        214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113, /* octave 3 */
    };
    static const std::string names[12] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                          "F#", "G-", "G#", "A-", "A#", "B-"};
    if (name.size() != 3 || name[2] < '1' || name[2] > '3')
        throw std::invalid_argument("bad note " + name);
    auto it = std::find(std::begin(names), std::end(names), name.substr(0, 2));
    if (it == std::end(names))
        throw std::invalid_argument("bad note " + name);
    return periods[(name[2] - '1') * 12 + (it - std::begin(names))];
}

} // namespace ovtools
