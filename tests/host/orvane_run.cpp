#include "orvane_run.h"

#include "platform/byteorder.h"
#include "support/plugin_host.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace hosttest {

namespace {

std::string quote(const std::string &text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string readText(const std::string &file)
{
    std::vector<uint8_t> bytes = ovtest::readFile(file);
    return std::string(bytes.begin(), bytes.end());
}

int runShell(const std::string &command)
{
    int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

} // namespace

RunResult orvane(const std::vector<std::string> &arguments, const std::string &environment)
{
    static int runs = 0;
    std::string outFile = ovtest::tempPath("run-" + std::to_string(++runs) + ".out");
    std::string errFile = outFile.substr(0, outFile.size() - 4) + ".err";
    std::string command =
        "ORVANE_CHECK_LEAKS=1 OV_DISPLAY=headless " + environment + " " + quote(OV_ORVANE);
    for (const auto &argument : arguments)
        command += " " + quote(argument);
    command += " </dev/null >" + quote(outFile) + " 2>" + quote(errFile);
    RunResult result;
    result.status = runShell(command);
    result.out = readText(outFile);
    result.err = readText(errFile);
    /* A sanitizer's report fails the test, whatever status it expects. */
    if (result.err.find("Sanitizer") != std::string::npos)
        ADD_FAILURE() << "orvane reported:\n" << result.err;
    std::filesystem::remove(outFile);
    std::filesystem::remove(errFile);
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

bool soxAvailable()
{
    return runShell("command -v sox >/dev/null 2>&1 && command -v soxi >/dev/null 2>&1") == 0;
}

std::string soxi(const std::string &flag, const std::string &file)
{
    std::string outFile = ovtest::tempPath("soxi.out");
    if (runShell("soxi -" + flag + " " + quote(file) + " >" + quote(outFile) + " 2>/dev/null") != 0)
        return {};
    std::string text = readText(outFile);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

std::vector<int16_t> bigEndianSamples(const std::vector<uint8_t> &bytes)
{
    std::vector<int16_t> samples;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        samples.push_back(ov_load_be16_signed(&bytes[i]));
    return samples;
}

Picture readPng(const std::string &file)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, file.c_str()))
        return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr))
        return {};
    Picture picture{image.width, image.height, {}};
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
        picture.pixels.push_back((uint32_t{rgb[i]} << 16) | (uint32_t{rgb[i + 1]} << 8) |
                                 rgb[i + 2]);
    return picture;
}

} // namespace hosttest
