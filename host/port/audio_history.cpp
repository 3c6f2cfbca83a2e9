#include "host/port/audio_history.h"

#include "frame/ovplug.h"

namespace orvane {

void AudioHistory::append(std::span<const uint8_t> bigEndianFrames, uint32_t channels)
{
    if (channels == 0)
        return;
    size_t frameBytes = channels * 2;
    for (size_t at = 0; at + frameBytes <= bigEndianFrames.size(); at += frameBytes) {
        int16_t first = ov_load_be16_signed(&bigEndianFrames[at]);
        int16_t second = channels > 1 ? ov_load_be16_signed(&bigEndianFrames[at + 2]) : first;
        frames_[end_ % kCapacity] = {first, second};
        end_++;
    }
}

void AudioHistory::copyEndingAt(uint64_t endFrame, std::span<StereoFrame> out) const
{
    uint64_t oldest = end_ > kCapacity ? end_ - kCapacity : 0;
    uint64_t first = endFrame >= out.size() ? endFrame - out.size() : 0;
    size_t lead = out.size() - static_cast<size_t>(endFrame - first);
    for (size_t i = 0; i < out.size(); i++) {
        uint64_t n = first + i - lead;
        bool held = i >= lead && n >= oldest && n < end_;
        out[i] = held ? frames_[n % kCapacity] : StereoFrame{0, 0};
    }
}

} // namespace orvane
