#include "commands.h"

#include "host_error.h"

#include <cmath>
#include <cstdio>

namespace orvane {

void reportError(const std::string &message)
{
    std::fprintf(stderr, "orvane: %s\n", message.c_str());
}

std::vector<std::filesystem::path> Places::filesOrDemo(const std::vector<std::string> &files) const
{
    if (!files.empty())
        return {files.begin(), files.end()};
    std::error_code error;
    if (!std::filesystem::is_regular_file(demoSong(), error))
        throw HostError("no FILE given, and the demo song '" + demoSong().string() +
                        "' is missing");
    return {demoSong()};
}

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

} // namespace orvane
