/*
 * The formats a render can write, chosen by name (--format) or by the
 * output's extension, and who writes each: an encoder plug-in (AIFF),
 * libsndfile, or the host itself (raw PCM).
 */
#ifndef OV_HOST_OUTPUT_FORMAT_H
#define OV_HOST_OUTPUT_FORMAT_H

#include <array>
#include <string>
#include <string_view>

namespace orvane {

enum class FormatWriter { EncoderPlugin, Sndfile, Raw };

struct OutputFormat {
    std::string_view name;                      /* as given to --format */
    std::array<std::string_view, 2> extensions; /* without the dot; the first names new files */
    FormatWriter writer;
    int sndfileFormat; /* SF_FORMAT_* for FormatWriter::Sndfile, else 0 */
    /* What it rewrites at the end (its header) depends on nothing but the
     * length, so it can be worked out before the audio and sent ahead to
     * a pipe. Not so for FLAC's checksum and MP3's encoder tag. */
    bool headerFromLength;

    /* ".wav" */
    std::string extension() const { return "." + std::string(extensions[0]); }
};

/* Null when no format has that name. */
const OutputFormat *formatNamed(std::string_view name);
/* "aiff (.aiff .aif), wav, flac, ..., raw (.pcm .raw)" */
std::string formatList();

/* The format of a render's output: `chosen` (a --format name) when given,
 * else the output's extension; standard output ("-"), and a device or pipe
 * without a format extension, get raw PCM. Throws HostError for an unknown
 * name or extension, listing the formats. */
const OutputFormat &formatForOutput(const std::string &output, std::string_view chosen);

} // namespace orvane

#endif
