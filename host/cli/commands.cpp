#include "host/cli/commands.h"

#include "host/host_error.h"

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

} // namespace orvane
