/*
 * Running the real orvane binary from a test: its standard output, standard
 * error and exit status, with the allocation check at exit switched on.
 */
#ifndef OV_TESTS_HOST_ORVANE_RUN_H
#define OV_TESTS_HOST_ORVANE_RUN_H

#include "support/plugin_host.h"

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

using ovtest::soxAvailable;
/* What `soxi -<flag>` says about a file, trimmed; empty on failure. */
std::string soxi(const std::string &flag, const std::string &file);

/* Signed 16-bit big-endian samples as numbers. */
std::vector<int16_t> bigEndianSamples(const std::vector<uint8_t> &bytes);

/* A PNG file's pixels as 0x00RRGGBB words; empty when it cannot be read. */
struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(uint32_t row, uint32_t column) const { return pixels[row * width + column]; }
};
Picture readPng(const std::string &file);

} // namespace hosttest

#endif
