/*
 * What a render writes its decoded frames through, whatever the format:
 * an encoder plug-in, libsndfile, or raw PCM in either byte order. Every
 * writer takes the plug-ins' big-endian frames and writes into an
 * OutputFile, which it finishes but does not commit.
 */
#ifndef OV_HOST_AUDIO_WRITER_H
#define OV_HOST_AUDIO_WRITER_H

#include "host/output/output_file.h"
#include "host/output/output_format.h"
#include "host/output/writer.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace orvane {

class PluginSet;

/* The plug-in whose encoder writes `format` (its descriptor's format text);
 * with several, the first by file name, so the choice never depends on
 * anything but the format. Throws HostError when none does. */
EncoderChoice encoderFor(const PluginSet &plugins, const OutputFormat &format);

struct WriterSetup {
    const OutputFormat &format;
    uint32_t rate;
    uint32_t channels;
    Endian endian = Endian::Big; /* raw PCM only */
    EncoderChoice encoder;       /* FormatWriter::EncoderPlugin only */
    /* The length the file will have, when known beforehand: a WAV file
     * that cannot hold it is written as RF64 (libsndfile only). */
    std::optional<uint64_t> frames = std::nullopt;
};

/* Throws HostError when the format cannot be written with this setup. */
std::unique_ptr<AudioWriter> openAudioWriter(const WriterSetup &setup, OutputFile &out);

/* The bytes a file of `frames` frames starts with once its header is
 * rewritten at the end, found by writing that many frames of silence to a
 * probe: right for any writer, but as slow as writing the file (the AIFF
 * encoder's limit of 2 GB bounds it). Nullopt when the rewrites go past
 * what a probe keeps. */
std::optional<std::vector<uint8_t>> probedHeader(const WriterSetup &setup, uint64_t frames);

/* For a headed format streamed to a pipe whose length is known: works out
 * the header the file will end with (from the length for libsndfile's
 * formats, by a probe for the encoder plug-in's) and has `out` send it
 * first, so the audio streams instead of being held until the end. False
 * when the format's header cannot be known ahead; `out` then holds the
 * file as before. */
bool sendHeaderAhead(const WriterSetup &setup, uint64_t frames, OutputFile &out);

} // namespace orvane

#endif
