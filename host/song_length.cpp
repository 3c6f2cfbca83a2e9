#include "song_length.h"

#include "file_details.h"
#include "host_error.h"
#include "platform/platform.h"
#include "protracker/replayer.h"

#include <cstdio>
#include <vector>

namespace orvane {

namespace {

constexpr uint64_t kLongestScanSeconds = 24 * 3600;

} // namespace

std::optional<uint64_t> songFrames(const PlayerSession &session, uint32_t passes)
{
    std::span<const uint8_t> original = session.originalImage();
    if (!session.endless() || original.empty() ||
        !pt_has_signature(original.data(), static_cast<uint32>(original.size())))
        return std::nullopt;
    /* The invert loop writes into the image the scan runs over. */
    std::vector<uint8_t> image(original.begin(), original.end());
    struct ExecIFace *IExec = ovExecInterface();
    struct pt_state *state = pt_init(image.data(), static_cast<int32>(image.size()),
                                     static_cast<int32>(session.rate()), IExec);
    if (state == nullptr)
        return std::nullopt;
    int64 samples =
        pt_song_samples(state, static_cast<int32>(passes),
                        static_cast<int64>(kLongestScanSeconds * session.rate()), IExec);
    IExec->FreeVec(IExec, state);
    if (samples < 0)
        return std::nullopt;
    return static_cast<uint64_t>(samples);
}

std::optional<uint64_t> framesToTake(const PlayerSession &session, const Length &length)
{
    const uint64_t start = length.startFrame(session.rate());
    if (std::optional<uint64_t> bound = length.framesAt(session.rate()))
        return start + *bound;
    const int64_t extra = length.extraPasses();
    if (extra < 0)
        return std::nullopt;
    std::optional<uint64_t> end = songFrames(session, static_cast<uint32_t>(extra) + 1);
    if (end && start >= *end)
        throw HostError("--start lies beyond the song's end (" +
                        durationText(*end, session.rate()) + ")");
    return end;
}

std::optional<uint64_t> framesHeld(const std::filesystem::path &file)
{
    std::optional<AiffDetails> aiff = readAiffDetails(file);
    const uint32_t frameBytes = aiff ? aiff->channels * (aiff->bits / 8) : 0;
    if (frameBytes == 0)
        return std::nullopt;
    return aiff->soundBytes / frameBytes;
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
