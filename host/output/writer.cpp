#include "host/output/writer.h"

#include <algorithm>
#include <vector>

namespace orvane {

uint64_t writeSilence(AudioWriter &writer, uint64_t frames, uint32_t channels,
                      const std::function<bool()> &stop)
{
    constexpr uint64_t kFramesPerWrite = 8192;
    const std::vector<uint8_t> zeros(kFramesPerWrite * channels * 2, 0);
    uint64_t written = 0;
    while (written < frames && !writer.full() && !(stop && stop())) {
        uint64_t count = std::min(frames - written, kFramesPerWrite);
        written += writer.write({zeros.data(), static_cast<size_t>(count * channels * 2)});
    }
    return written;
}

} // namespace orvane
