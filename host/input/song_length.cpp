#include "host/input/song_length.h"

#include "host/host_error.h"
#include "host/input/formats.h"
#include "protracker/replayer.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace orvane {

std::optional<uint64_t> Length::framesAt(uint32_t rate) const
{
    if (frames)
        return frames;
    if (seconds)
        return static_cast<uint64_t>(std::llround(*seconds * rate));
    return std::nullopt;
}

int64_t Length::extraPasses() const
{
    if (loop.empty())
        return 0;
    return loop == "forever" ? -1 : std::stoll(loop);
}

uint64_t Length::startFrame(uint32_t rate) const
{
    return startSeconds ? static_cast<uint64_t>(std::llround(*startSeconds * rate)) : 0;
}

namespace {

/* How far the scan follows several passes of a song. */
constexpr uint64_t kLongestScanSeconds = 24 * 3600;

HostError startBeyondEnd(const char *what, uint64_t end, uint32_t rate)
{
    return HostError(std::string("--start lies beyond the ") + what + "'s end (" +
                     durationText(end, rate) + ")");
}

} // namespace

std::optional<uint64_t> songFrames(const PlayerSession &session, uint32_t passes)
{
    const Format &format = session.plugin().format();
    std::span<const uint8_t> original = session.originalImage();
    if (format.songFrames == nullptr || original.empty())
        return std::nullopt;
    /* A single pass needs no bound of time: its rows bound it. */
    const uint64_t limit =
        passes == 1 ? std::numeric_limits<uint64_t>::max() : kLongestScanSeconds * session.rate();
    return format.songFrames(original, session.rate(), passes, limit);
}

std::optional<uint64_t> framesToTake(const PlayerSession &session, const Length &length,
                                     std::string *whyEndless)
{
    const uint32_t rate = session.rate();
    const uint64_t start = length.startFrame(rate);
    /* The plug-in's duration is in whole milliseconds: a start within the
     * last one is left to the decoding to find at the end. */
    if (start > 0 && session.durationKnown()) {
        const uint64_t end = (uint64_t{session.durationMs()} + 1) * rate / 1000;
        if (start >= end)
            throw startBeyondEnd("file", uint64_t{session.durationMs()} * rate / 1000, rate);
    }
    if (std::optional<uint64_t> bound = length.framesAt(rate))
        return *bound > std::numeric_limits<uint64_t>::max() - start
                   ? std::numeric_limits<uint64_t>::max()
                   : start + *bound;
    const int64_t extra = length.extraPasses();
    if (extra < 0) {
        if (whyEndless != nullptr)
            *whyEndless = "plays forever (--loop)";
        return std::nullopt;
    }
    const uint32_t passes = static_cast<uint32_t>(extra) + 1;
    std::optional<uint64_t> end = songFrames(session, passes);
    if (end && start >= *end)
        throw startBeyondEnd("song", *end, rate);
    if (!end && whyEndless != nullptr && session.endless()) {
        std::optional<uint64_t> once = passes == 1 ? end : songFrames(session, 1);
        if (once)
            *whyEndless = "would play for more than the " +
                          std::to_string(kLongestScanSeconds / 3600) +
                          " hours the song scan follows with --loop=" + std::to_string(extra) +
                          " (the song once: " + durationText(*once, rate) + ")";
        else
            *whyEndless = "has no end the song scan finds (no row comes back within " +
                          std::to_string(PT_SCAN_MAX_ROWS) + " rows)";
    }
    return end;
}

std::string durationText(uint64_t frames, uint32_t rate)
{
    uint64_t ms = (frames * 1000 + rate / 2) / rate;
    uint64_t hours = ms / 3600000, minutes = ms / 60000 % 60, seconds = ms / 1000 % 60;
    char text[48];
    if (hours > 0)
        std::snprintf(
            text, sizeof text, "%llu:%02llu:%02llu.%03llu", static_cast<unsigned long long>(hours),
            static_cast<unsigned long long>(minutes), static_cast<unsigned long long>(seconds),
            static_cast<unsigned long long>(ms % 1000));
    else
        std::snprintf(
            text, sizeof text, "%llu:%02llu.%03llu", static_cast<unsigned long long>(minutes),
            static_cast<unsigned long long>(seconds), static_cast<unsigned long long>(ms % 1000));
    return text;
}

} // namespace orvane
