#include "module_image.h"

#include "../platform/byteorder.h"

#include <algorithm>
#include <stdexcept>

namespace ovtools {

namespace {

constexpr size_t kHeaderSize = 1084;
constexpr size_t kPatternSize = kRowsPerPattern * kChannels * 4;

} // namespace

std::vector<uint8_t> ModuleImage::bytes() const
{
    if (samples.size() > kSampleSlots || order.empty() || order.size() > 128 || patterns.empty())
        throw std::invalid_argument("module shape out of range");
    std::vector<uint8_t> out(kHeaderSize + patterns.size() * kPatternSize, 0);
    std::copy_n(title.begin(), std::min<size_t>(title.size(), 20), out.begin());

    for (size_t i = 0; i < samples.size(); i++) {
        const ModuleSample &s = samples[i];
        if (s.data.size() % 2 != 0 || s.data.size() > 131070)
            throw std::invalid_argument("sample length must be even and below 128 KiB");
        size_t at = 20 + i * 30;
        std::copy_n(s.name.begin(), std::min<size_t>(s.name.size(), 22), out.begin() + at);
        ov_store_be16(&out[at + 22], static_cast<uint32_t>(s.data.size() / 2));
        out[at + 24] = s.finetune & 0x0F;
        out[at + 25] = s.volume;
        ov_store_be16(&out[at + 26], s.loopStart / 2);
        ov_store_be16(&out[at + 28], s.loopLength > 0 ? s.loopLength / 2 : 1);
    }

    out[950] = static_cast<uint8_t>(order.size());
    out[951] = 127;
    std::copy(order.begin(), order.end(), out.begin() + 952);
    const char signature[] = "M.K.";
    std::copy_n(signature, 4, out.begin() + 1080);

    for (size_t p = 0; p < patterns.size(); p++) {
        for (int row = 0; row < kRowsPerPattern; row++) {
            for (int ch = 0; ch < kChannels; ch++) {
                const Cell &c = patterns[p][row][ch];
                size_t at = kHeaderSize + p * kPatternSize + (row * kChannels + ch) * 4;
                out[at] = static_cast<uint8_t>((c.sample & 0xF0) | ((c.period >> 8) & 0x0F));
                out[at + 1] = static_cast<uint8_t>(c.period);
                out[at + 2] = static_cast<uint8_t>(((c.sample & 0x0F) << 4) | (c.effect & 0x0F));
                out[at + 3] = c.param;
            }
        }
    }
    for (const ModuleSample &s : samples)
        for (int8_t v : s.data)
            out.push_back(static_cast<uint8_t>(v));
    return out;
}

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
