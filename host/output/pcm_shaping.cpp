#include "host/output/pcm_shaping.h"

#include "platform/byteorder.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace orvane {

PcmShaper::PcmShaper(const Shaping &shaping, uint32_t channels, bool swapSides)
    : unchanged_(shaping.changesNothing() && !(swapSides && channels == 2)), stereo_(channels == 2),
      swap_(swapSides && channels == 2), swapOnly_(swap_ && shaping.changesNothing()),
      width_(shaping.stereoPercent / 100.0), gain_(std::pow(10.0, shaping.gainDb / 20.0))
{}

std::span<const uint8_t> PcmShaper::apply(std::span<const uint8_t> frames)
{
    if (unchanged_)
        return frames;
    shaped_.resize(frames.size());
    samples_ += frames.size() / 2;
    if (swapOnly_) {
        /* The values move as they are: no arithmetic, nothing clipped. */
        for (size_t at = 0; at + 4 <= frames.size(); at += 4) {
            std::memcpy(&shaped_[at], &frames[at + 2], 2);
            std::memcpy(&shaped_[at + 2], &frames[at], 2);
        }
        return shaped_;
    }
    auto store = [this](size_t at, double value) {
        double rounded = std::round(value);
        if (rounded > 32767.0 || rounded < -32768.0) {
            clipped_++;
            rounded = rounded > 0 ? 32767.0 : -32768.0;
        }
        ov_store_be16(&shaped_[at], static_cast<uint32_t>(static_cast<int32_t>(rounded)));
    };
    const size_t step = stereo_ ? 4 : 2;
    for (size_t at = 0; at + step <= frames.size(); at += step) {
        if (!stereo_) {
            store(at, ov_load_be16_signed(&frames[at]) * gain_);
            continue;
        }
        /* Narrowing moves each side towards their middle. */
        double left = ov_load_be16_signed(&frames[swap_ ? at + 2 : at]);
        double right = ov_load_be16_signed(&frames[swap_ ? at : at + 2]);
        double middle = (left + right) / 2;
        store(at, (middle + (left - middle) * width_) * gain_);
        store(at + 2, (middle + (right - middle) * width_) * gain_);
    }
    return shaped_;
}

std::string PcmShaper::clippingReport() const
{
    if (clipped_ == 0)
        return {};
    char percent[32];
    std::snprintf(percent, sizeof percent, "%.3f",
                  100.0 * static_cast<double>(clipped_) / static_cast<double>(samples_));
    return std::to_string(clipped_) + " of " + std::to_string(samples_) + " samples clipped (" +
           percent + " %); a lower --gain avoids it";
}

} // namespace orvane
