#include "host/output/output_format.h"

#include "host/host_error.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace orvane {

namespace {

constexpr std::array<OutputFormat, 9> kFormats{{
    {"aiff", {"aiff", "aif"}, FormatWriter::EncoderPlugin, 0, true},
    {"wav", {"wav", ""}, FormatWriter::Sndfile, SF_FORMAT_WAV | SF_FORMAT_PCM_16, true},
    {"flac", {"flac", ""}, FormatWriter::Sndfile, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, false},
    {"ogg", {"ogg", "oga"}, FormatWriter::Sndfile, SF_FORMAT_OGG | SF_FORMAT_VORBIS, true},
    {"mp3", {"mp3", ""}, FormatWriter::Sndfile, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, false},
    {"caf", {"caf", ""}, FormatWriter::Sndfile, SF_FORMAT_CAF | SF_FORMAT_PCM_16, true},
    {"au", {"au", "snd"}, FormatWriter::Sndfile, SF_FORMAT_AU | SF_FORMAT_PCM_16, true},
    {"w64", {"w64", ""}, FormatWriter::Sndfile, SF_FORMAT_W64 | SF_FORMAT_PCM_16, true},
    {"raw", {"pcm", "raw"}, FormatWriter::Raw, 0, false},
}};

const OutputFormat *formatWithExtension(std::string extension)
{
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const OutputFormat &format : kFormats) {
        if (!extension.empty() && std::find(format.extensions.begin(), format.extensions.end(),
                                            extension) != format.extensions.end())
            return &format;
    }
    return nullptr;
}

bool isDeviceOrPipe(const std::string &path)
{
    std::error_code error;
    return std::filesystem::exists(path, error) && !std::filesystem::is_regular_file(path, error) &&
           !std::filesystem::is_directory(path, error);
}

} // namespace

const OutputFormat *formatNamed(std::string_view name)
{
    for (const OutputFormat &format : kFormats) {
        if (format.name == name)
            return &format;
    }
    return nullptr;
}

std::string formatList()
{
    std::string list;
    for (const OutputFormat &format : kFormats) {
        if (!list.empty())
            list += ", ";
        list += format.name;
        if (format.extensions[0] != format.name || !format.extensions[1].empty()) {
            list += " (";
            for (std::string_view extension : format.extensions) {
                if (extension.empty())
                    continue;
                if (list.back() != '(')
                    list += ' ';
                list.append(".").append(extension);
            }
            list += ')';
        }
    }
    return list;
}

const OutputFormat &formatForOutput(const std::string &output, std::string_view chosen)
{
    if (!chosen.empty()) {
        if (const OutputFormat *format = formatNamed(chosen))
            return *format;
        throw HostError("unknown format '" + std::string(chosen) + "'; the formats are " +
                        formatList());
    }
    std::error_code error;
    if (std::filesystem::is_directory(output, error))
        throw HostError("cannot create '" + output +
                        "': it is a folder (--output-dir writes one file per input into a folder)");
    std::string extension = std::filesystem::path(output).extension().string();
    if (!extension.empty())
        extension.erase(0, 1);
    if (const OutputFormat *format = formatWithExtension(extension))
        return *format;
    if (output == "-" || isDeviceOrPipe(output))
        return *formatNamed("raw");
    throw HostError("cannot tell the format of '" + output + "' from its extension" +
                    (extension.empty() ? std::string() : " '." + extension + "'") +
                    "; the formats are " + formatList() + " (or choose one with --format)");
}

} // namespace orvane
