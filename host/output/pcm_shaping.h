/*
 * Stereo width and gain applied by the host to decoded PCM, with the
 * samples that had to be clipped counted, and the two sides of a plug-in
 * that delivers the right one first put left first. The default (full
 * width, no gain, sides as delivered) leaves the plug-in's bytes untouched.
 */
#ifndef OV_HOST_PCM_SHAPING_H
#define OV_HOST_PCM_SHAPING_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace orvane {

struct Shaping {
    double stereoPercent = 100; /* 100: the plug-in's own panning, 0: mono */
    double gainDb = 0;

    bool changesNothing() const { return stereoPercent == 100 && gainDb == 0; }
};

class PcmShaper {
public:
    /* `swapSides`: each stereo frame's two values change places. */
    PcmShaper(const Shaping &shaping, uint32_t channels, bool swapSides = false);

    /* The big-endian frames shaped: the same span when nothing changes,
     * else a copy held here until the next call. */
    std::span<const uint8_t> apply(std::span<const uint8_t> frames);
    /* Samples that went past the 16-bit range and were clipped. */
    uint64_t clipped() const { return clipped_; }
    /* "N samples clipped (P %)...", empty when none were. */
    std::string clippingReport() const;

private:
    bool unchanged_;
    bool stereo_;
    bool swap_;
    bool swapOnly_; /* the sides change places, nothing else */
    double width_;  /* 0..1 */
    double gain_;   /* linear */
    std::vector<uint8_t> shaped_;
    uint64_t samples_ = 0;
    uint64_t clipped_ = 0;
};

} // namespace orvane

#endif
