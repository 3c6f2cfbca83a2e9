/*
 * Running the real orvane binary from a test: its standard output, standard
 * error and exit status, with the allocation check at exit switched on.
 */
#ifndef OV_TESTS_HOST_ORVANE_RUN_H
#define OV_TESTS_HOST_ORVANE_RUN_H

#include "support/aiff_file.h"
#include "support/plugin_host.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hosttest {

using RunResult = ovtest::CommandResult;

/* Runs orvane with the arguments; `environment` is prefixed as
 * "NAME=value ..." to the command. */
RunResult orvane(const std::vector<std::string> &arguments, const std::string &environment = "");

/* Path of the demo song beside the binary. */
std::string demoSong();
/* A fresh empty folder under the test's temporary folder. */
std::string freshFolder(const std::string &name);
/* Entries of a folder, sorted by name. */
std::vector<std::string> folderEntries(const std::string &folder);

/* An AIFF file of the test PCM, its sound data cut or padded to
 * `soundBytes` (all of it by default); returns its path. Inline, so that
 * programs that write no AIFF file need not link the AIFF writer. */
inline std::string aiffFile(const std::string &name, uint16_t channels, uint32_t frames,
                            uint16_t bits = 16, double rate = 44100, size_t soundBytes = SIZE_MAX)
{
    std::vector<uint8_t> sound = ovtest::testPcm(frames, channels);
    if (soundBytes != SIZE_MAX)
        sound.resize(soundBytes);
    std::string path = ovtest::tempPath(name);
    ovtest::writeFile(path,
                      ovtest::AiffFile().comm(channels, frames, bits, rate).ssnd(sound).bytes());
    return path;
}

/* Signed 16-bit big-endian samples as numbers. */
std::vector<int16_t> bigEndianSamples(const std::vector<uint8_t> &bytes);

} // namespace hosttest

#endif
