/*
 * A file written by libsndfile (WAV, FLAC, Ogg Vorbis, MP3, CAF, AU, W64),
 * through its virtual I/O into an OutputFile, so that it too is written
 * under a temporary name and held in memory when streamed to a pipe.
 */
#ifndef OV_HOST_SNDFILE_WRITER_H
#define OV_HOST_SNDFILE_WRITER_H

#include "audio_writer.h"

#include <sndfile.h>

#include <string>
#include <vector>

namespace orvane {

class SndfileWriter : public AudioWriter {
public:
    /* Throws HostError when libsndfile refuses the format. */
    SndfileWriter(const OutputFormat &format, uint32_t rate, uint32_t channels, OutputFile &out);
    ~SndfileWriter() override;
    SndfileWriter(const SndfileWriter &) = delete;
    SndfileWriter &operator=(const SndfileWriter &) = delete;

    uint64_t write(std::span<const uint8_t> frames) override;
    void finish() override;

    /* The virtual I/O callbacks' side. */
    OutputFile &out() { return out_; }
    sf_count_t position = 0;
    std::string ioFailure; /* the OutputFile's error, kept across the C boundary */

private:
    [[noreturn]] void fail(const std::string &what);

    std::string formatName_;
    uint32_t channels_;
    OutputFile &out_;
    SNDFILE *file_ = nullptr;
    std::vector<int16_t> native_;
};

} // namespace orvane

#endif
