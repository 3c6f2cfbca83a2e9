/*
 * The visualiser's spectrum: for each channel an FFT of the latest audio,
 * folded onto 512 columns on a logarithmic frequency scale and turned into
 * unsigned 16-bit big-endian levels. The visualiser adds the two channels'
 * levels and shifts right by 10 to get a bar of 0..127, so each channel
 * stays below 58000: loud music reaches high bars without pinning them.
 */
#ifndef OV_HOST_SPECTRUM_H
#define OV_HOST_SPECTRUM_H

#include "host/port/audio_history.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include <kiss_fftr.h>

namespace orvane {

class SpectrumAnalyser {
public:
    static constexpr size_t kFftFrames = 2048;
    static constexpr size_t kColumns = 512;
    static constexpr uint32_t kLoudest = 58000;

    explicit SpectrumAnalyser(uint32_t rate);
    ~SpectrumAnalyser();
    SpectrumAnalyser(const SpectrumAnalyser &) = delete;
    SpectrumAnalyser &operator=(const SpectrumAnalyser &) = delete;

    /* kFftFrames frames in; two arrays of kColumns big-endian levels out. */
    void analyse(std::span<const StereoFrame> frames, std::span<uint8_t> firstOut,
                 std::span<uint8_t> secondOut);
    /* The level of one column from one channel's magnitudes (for tests of
     * the scale): magnitudes relative to a full-scale sine. */
    uint16_t columnLevel(size_t column, std::span<const float> magnitudes) const;

private:
    void channelLevels(std::span<const StereoFrame> frames, bool second, std::span<uint8_t> out);

    kiss_fftr_state *fft_;
    std::vector<float> window_;
    std::vector<float> input_;
    std::vector<float> magnitudes_;
    std::vector<kiss_fft_cpx> bins_;
    double highestHz_;
    std::array<float, kColumns + 1> columnEdges_{}; /* in bins */
};

} // namespace orvane

#endif
