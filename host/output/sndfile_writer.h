/*
 * A file written by libsndfile (WAV, FLAC, Ogg Vorbis, MP3, CAF, AU, W64),
 * through its virtual I/O into an OutputFile, so that it too is written
 * under a temporary name and held in memory when streamed to a pipe.
 */
#ifndef OV_HOST_SNDFILE_WRITER_H
#define OV_HOST_SNDFILE_WRITER_H

#include "host/output/output_file.h"
#include "host/output/output_format.h"
#include "host/output/writer.h"

#include <sndfile.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

/* The container libsndfile writes `format` in for a file of `frames`
 * frames (nullopt: not known beforehand), as SF_FORMAT_* bits: the
 * format's own, or RF64 for a WAV file whose known length does not fit. */
int sndfileFormatFor(const OutputFormat &format, uint32_t rate, uint32_t channels,
                     std::optional<uint64_t> frames);

/* The most frames a file of `sndfileFormat` can describe in its header;
 * UINT64_MAX when its header sets no limit. */
uint64_t largestFrames(int sndfileFormat, uint32_t rate, uint32_t channels);

/* The bytes a file of `frames` frames will start with once libsndfile has
 * rewritten its header at the end, worked out from the length and from the
 * header of a file of one frame, and checked against that of three frames;
 * nullopt when the format's header is not one whose length fields are
 * known here, or does not follow from the length as they say. */
std::optional<std::vector<uint8_t>> sndfileHeaderFor(const OutputFormat &format, uint32_t rate,
                                                     uint32_t channels, uint64_t frames);

class SndfileWriter : public AudioWriter {
public:
    /* `frames`: the length the file will have, when known, which chooses the
     * container; without it, a container with a size limit takes no more
     * audio than it can describe (full()). Throws HostError when libsndfile
     * refuses the format. */
    SndfileWriter(const OutputFormat &format, uint32_t rate, uint32_t channels, OutputFile &out,
                  std::optional<uint64_t> frames = std::nullopt);
    ~SndfileWriter() override;
    SndfileWriter(const SndfileWriter &) = delete;
    SndfileWriter &operator=(const SndfileWriter &) = delete;

    uint64_t write(std::span<const uint8_t> frames) override;
    /* Audio was refused, as the header can describe no more; or a pipe's
     * file is held in memory as far as it may be. */
    bool full() const override { return full_ != Full::No; }
    std::string whyFull() const override;
    void finish() override;

    /* The size of the header libsndfile writes for a file of no audio. */
    static uint64_t headerBytes(int sndfileFormat, uint32_t rate, uint32_t channels);

    /* The virtual I/O callbacks' side. */
    OutputFile &out() { return out_; }
    sf_count_t position = 0;
    std::string ioFailure; /* the OutputFile's error, kept across the C boundary */

private:
    /* Exactly `sndfileFormat`, with no limit on the frames taken. */
    SndfileWriter(std::string_view name, int sndfileFormat, uint32_t rate, uint32_t channels,
                  OutputFile &out);
    [[noreturn]] void fail(const std::string &what);

    std::string formatName_;
    int sndfileFormat_;
    uint32_t channels_;
    OutputFile &out_;
    SNDFILE *file_ = nullptr;
    std::vector<int16_t> native_;
    uint64_t largest_ = UINT64_MAX;      /* frames the header can describe */
    uint64_t largestBytes_ = UINT64_MAX; /* or bytes, of an encoded file */
    uint64_t taken_ = 0;
    enum class Full { No, Header, Held } full_ = Full::No;
};

} // namespace orvane

#endif
