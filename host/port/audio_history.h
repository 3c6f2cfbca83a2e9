/*
 * The latest audio, kept as native stereo frames numbered from the start of
 * output, so the visualiser can be shown what is being heard (which lags
 * what was decoded by the sound device's queue).
 */
#ifndef OV_HOST_AUDIO_HISTORY_H
#define OV_HOST_AUDIO_HISTORY_H

#include <cstdint>
#include <span>
#include <vector>

namespace orvane {

struct StereoFrame {
    int16_t first;
    int16_t second;
};

class AudioHistory {
public:
    /* Room for about three seconds at 44100 Hz. */
    static constexpr size_t kCapacity = size_t{1} << 17;

    AudioHistory() : frames_(kCapacity) {}

    /* Appends big-endian frames of `channels` channels: mono is doubled,
     * channels beyond the second are left out. */
    void append(std::span<const uint8_t> bigEndianFrames, uint32_t channels);
    /* Number of the frame after the newest one. */
    uint64_t end() const { return end_; }
    /* The `out.size()` frames before frame `endFrame`; frames no longer (or
     * not yet) held read as silence. */
    void copyEndingAt(uint64_t endFrame, std::span<StereoFrame> out) const;

private:
    std::vector<StereoFrame> frames_;
    uint64_t end_ = 0;
};

} // namespace orvane

#endif
