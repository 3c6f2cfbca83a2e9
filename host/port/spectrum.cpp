#include "host/port/spectrum.h"

#include "frame/ovplug.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>

namespace orvane {

namespace {

constexpr double kLowestHz = 40.0;
constexpr double kHighestHz = 16000.0;
/* Levels span this many decibels below a full-scale sine. */
constexpr double kRangeDb = 60.0;
/* Music has less energy up high: lift each octave above 500 Hz a little. */
constexpr double kTiltDbPerOctave = 1.5;

} // namespace

SpectrumAnalyser::SpectrumAnalyser(uint32_t rate)
    : fft_(kiss_fftr_alloc(kFftFrames, 0, nullptr, nullptr)), window_(kFftFrames),
      input_(kFftFrames), magnitudes_(kFftFrames / 2 + 1), bins_(kFftFrames / 2 + 1),
      highestHz_(std::min(kHighestHz, rate / 2.0))
{
    if (fft_ == nullptr)
        throw std::bad_alloc();
    for (size_t i = 0; i < kFftFrames; i++)
        window_[i] =
            static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / kFftFrames));
    double binHz = static_cast<double>(rate) / kFftFrames;
    for (size_t c = 0; c <= kColumns; c++) {
        double hz = kLowestHz * std::pow(highestHz_ / kLowestHz, static_cast<double>(c) / kColumns);
        columnEdges_[c] = static_cast<float>(hz / binHz);
    }
}

SpectrumAnalyser::~SpectrumAnalyser() { kiss_fftr_free(fft_); }

uint16_t SpectrumAnalyser::columnLevel(size_t column, std::span<const float> magnitudes) const
{
    float from = columnEdges_[column], to = columnEdges_[column + 1];
    size_t lastBin = magnitudes.size() - 1;
    float magnitude;
    if (std::floor(to) > std::ceil(from)) {
        /* Several bins in this column: the strongest one. */
        size_t first = static_cast<size_t>(std::ceil(from));
        size_t last = std::min(static_cast<size_t>(std::floor(to)), lastBin);
        magnitude = *std::max_element(magnitudes.begin() + first, magnitudes.begin() + last + 1);
    } else {
        /* Narrower than a bin (the bass end): between its two neighbours. */
        float centre = std::min((from + to) / 2.0f, static_cast<float>(lastBin));
        size_t below = static_cast<size_t>(centre);
        size_t above = std::min(below + 1, lastBin);
        float part = centre - static_cast<float>(below);
        magnitude = magnitudes[below] * (1.0f - part) + magnitudes[above] * part;
    }
    double hz = kLowestHz * std::pow(highestHz_ / kLowestHz, (column + 0.5) / kColumns);
    double db =
        20.0 * std::log10(std::max(magnitude, 1e-9f)) + kTiltDbPerOctave * std::log2(hz / 500.0);
    double level = std::clamp((db + kRangeDb) / kRangeDb, 0.0, 1.0);
    return static_cast<uint16_t>(std::lround(level * kLoudest));
}

void SpectrumAnalyser::channelLevels(std::span<const StereoFrame> frames, bool second,
                                     std::span<uint8_t> out)
{
    for (size_t i = 0; i < kFftFrames; i++) {
        int16_t sample = second ? frames[i].second : frames[i].first;
        input_[i] = window_[i] * static_cast<float>(sample) / 32768.0f;
    }
    kiss_fftr(fft_, input_.data(), bins_.data());
    /* A full-scale sine through the Hann window peaks at N/4. */
    const float scale = 4.0f / kFftFrames;
    for (size_t k = 0; k < magnitudes_.size(); k++)
        magnitudes_[k] = std::hypot(bins_[k].r, bins_[k].i) * scale;
    for (size_t c = 0; c < kColumns; c++)
        ov_store_be16(&out[c * 2], columnLevel(c, magnitudes_));
}

void SpectrumAnalyser::analyse(std::span<const StereoFrame> frames, std::span<uint8_t> firstOut,
                               std::span<uint8_t> secondOut)
{
    channelLevels(frames, false, firstOut);
    channelLevels(frames, true, secondOut);
}

} // namespace orvane
