#include "sndfile_writer.h"

#include "host_error.h"

#include "platform/byteorder.h"

namespace orvane {

namespace {

SndfileWriter &writerOf(void *user) { return *static_cast<SndfileWriter *>(user); }

sf_count_t fileLength(void *user) { return static_cast<sf_count_t>(writerOf(user).out().size()); }

sf_count_t seekTo(sf_count_t offset, int whence, void *user)
{
    SndfileWriter &writer = writerOf(user);
    sf_count_t base = whence == SEEK_CUR   ? writer.position
                      : whence == SEEK_END ? fileLength(user)
                                           : 0;
    if (base + offset < 0)
        return -1;
    writer.position = base + offset;
    return writer.position;
}

/* Nothing is read back from a file being written. */
sf_count_t readNothing(void *, sf_count_t, void *) { return 0; }

sf_count_t writeBytes(const void *bytes, sf_count_t count, void *user)
{
    SndfileWriter &writer = writerOf(user);
    try {
        writer.out().writeAt(static_cast<uint64_t>(writer.position),
                             {static_cast<const uint8_t *>(bytes), static_cast<size_t>(count)});
    } catch (const std::exception &error) {
        /* libsndfile is C: the failure is handed back after its call. */
        if (writer.ioFailure.empty())
            writer.ioFailure = error.what();
        return 0;
    }
    writer.position += count;
    return count;
}

sf_count_t tellPosition(void *user) { return writerOf(user).position; }

SF_VIRTUAL_IO kOutputFileIo{fileLength, seekTo, readNothing, writeBytes, tellPosition};

} // namespace

SndfileWriter::SndfileWriter(const OutputFormat &format, uint32_t rate, uint32_t channels,
                             OutputFile &out)
    : formatName_(format.name), channels_(channels), out_(out)
{
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = static_cast<int>(channels);
    info.format = format.sndfileFormat;
    if (rate == 0 || channels == 0 || !sf_format_check(&info))
        throw HostError("libsndfile cannot write " + formatName_ + " at " + std::to_string(rate) +
                        " Hz with " + std::to_string(channels) + " channels");
    file_ = sf_open_virtual(&kOutputFileIo, SFM_WRITE, &info, this);
    if (file_ == nullptr)
        fail("open");
}

SndfileWriter::~SndfileWriter()
{
    if (file_ != nullptr)
        sf_close(file_);
}

void SndfileWriter::fail(const std::string &what)
{
    std::string reason = !ioFailure.empty() ? ioFailure : sf_strerror(file_);
    throw HostError("libsndfile cannot " + what + " the " + formatName_ + " file: " + reason);
}

uint64_t SndfileWriter::write(std::span<const uint8_t> frames)
{
    native_.resize(frames.size() / 2);
    for (size_t i = 0; i < native_.size(); i++)
        native_[i] = ov_load_be16_signed(&frames[i * 2]);
    sf_count_t count = static_cast<sf_count_t>(native_.size() / channels_);
    if (sf_writef_short(file_, native_.data(), count) != count || !ioFailure.empty())
        fail("write");
    return static_cast<uint64_t>(count);
}

void SndfileWriter::finish()
{
    int result = sf_close(file_);
    file_ = nullptr;
    if (result != 0 || !ioFailure.empty())
        fail("finish");
}

} // namespace orvane
