#include "orvane_run.h"

#include "platform/byteorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace hosttest {

RunResult orvane(const std::vector<std::string> &arguments, const std::string &environment)
{
    std::string command = "ORVANE_CHECK_LEAKS=1 OV_DISPLAY=headless " + environment + " " +
                          ovtest::shellQuote(OV_ORVANE);
    for (const auto &argument : arguments)
        command += " " + ovtest::shellQuote(argument);
    RunResult result = ovtest::runCommand(command + " </dev/null");
    /* A sanitizer's report fails the test, whatever status it expects. */
    if (result.err.find("Sanitizer") != std::string::npos)
        ADD_FAILURE() << "orvane reported:\n" << result.err;
    return result;
}

std::string demoSong() { return ovtest::binDir() + "/demo.mod"; }

std::string freshFolder(const std::string &name)
{
    std::string folder = ovtest::tempPath(name);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

std::vector<std::string> folderEntries(const std::string &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<int16_t> bigEndianSamples(const std::vector<uint8_t> &bytes)
{
    std::vector<int16_t> samples;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        samples.push_back(ov_load_be16_signed(&bytes[i]));
    return samples;
}

} // namespace hosttest
