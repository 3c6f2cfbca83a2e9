#include "host/output/sndfile_writer.h"

#include "host/host_error.h"

#include "platform/byteorder.h"

#include <array>
#include <cctype>

namespace orvane {

namespace {

/* A field of a header that libsndfile writes from the file's length. */
struct LengthField {
    enum class Count { FileBytes, DataBytes, Frames };
    int32_t at; /* offset in the header; negative: from its end */
    uint32_t bytes;
    bool bigEndian;
    Count count;
    int64_t plus;  /* added to the count */
    uint64_t most; /* a larger value is written as all ones: "length not known" */
};

/* What a container's header says of its length, as libsndfile writes it
 * for 16-bit PCM, and how long a file its sizes can describe: in frames
 * when it has length fields, else in the bytes written (an encoded file
 * whose header counts its bytes). */
struct Container {
    int type; /* SF_FORMAT_WAV ... */
    uint64_t largestFile;
    int largerType; /* written instead when a known length does not fit; 0: none */
    size_t fieldCount;
    std::array<LengthField, 3> fields;
};

using Count = LengthField::Count;
constexpr uint64_t kAny = UINT64_MAX;

constexpr std::array<Container, 7> kContainers{{
    /* RIFF and data sizes of 32 bits. The file stays below 4 GiB, as
     * libsndfile's own RF64 writer decides when a WAV header will do. */
    {SF_FORMAT_WAV,
     0xfffffffe,
     SF_FORMAT_RF64,
     2,
     {{{4, 4, false, Count::FileBytes, -8, kAny}, {-4, 4, false, Count::DataBytes, 0, kAny}}}},
    /* Sizes of 64 bits in the ds64 chunk. */
    {SF_FORMAT_RF64,
     kAny,
     0,
     3,
     {{{20, 8, false, Count::FileBytes, -8, kAny},
       {28, 8, false, Count::DataBytes, 0, kAny},
       {36, 8, false, Count::Frames, 0, kAny}}}},
    /* Past 2 GB the data size says "not known", which readers take as up
     * to the end of the file. */
    {SF_FORMAT_AU, kAny, 0, 1, {{{8, 4, true, Count::DataBytes, 0, 0x7fffffff}}}},
    {SF_FORMAT_W64,
     kAny,
     0,
     2,
     {{{16, 8, false, Count::FileBytes, 0, kAny}, {-8, 8, false, Count::DataBytes, 24, kAny}}}},
    /* The data chunk's size counts its edit count too. */
    {SF_FORMAT_CAF, kAny, 0, 1, {{{-12, 8, true, Count::DataBytes, 4, kAny}}}},
    /* Nothing is rewritten: the length is in the pages as they go. */
    {SF_FORMAT_OGG, kAny, 0, 0, {}},
    /* The encoder's tag at the start counts the file's bytes in 32 bits. */
    {SF_FORMAT_MPEG, 0xffffffff, 0, 0, {}},
}};

/* What an encoder may still add beyond the PCM bytes it was handed last
 * (audio it held back, and its end). */
constexpr uint64_t kEncoderSlack = 1 << 20;

/* "4 GiB" */
std::string sizeText(uint64_t bytes) { return std::to_string((bytes + (1 << 29)) >> 30) + " GiB"; }

const Container *containerOf(int sndfileFormat)
{
    for (const Container &container : kContainers) {
        if (container.type == (sndfileFormat & SF_FORMAT_TYPEMASK))
            return &container;
    }
    return nullptr;
}

int withType(int sndfileFormat, int type) { return (sndfileFormat & ~SF_FORMAT_TYPEMASK) | type; }

/* A file of `frames` frames of silence written to a probe: the start of
 * the file as its header leaves it, and its size. */
struct Probed {
    std::vector<uint8_t> head;
    uint64_t size;
};

std::optional<Probed> probe(const OutputFormat &format, uint32_t rate, uint32_t channels,
                            std::optional<uint64_t> lengthGiven, uint64_t frames)
{
    OutputFile file{HeadProbe{}};
    {
        SndfileWriter writer(format, rate, channels, file, lengthGiven);
        writeSilence(writer, frames, channels);
        writer.finish();
    }
    std::optional<std::vector<uint8_t>> head = file.rewrittenHead();
    if (!head)
        return std::nullopt;
    return Probed{std::move(*head), file.size()};
}

/* `head` with the container's length fields set for a file of `frames`
 * frames whose header takes `headerBytes`; nullopt when a field lies
 * outside it. */
std::optional<std::vector<uint8_t>> withLength(std::vector<uint8_t> head,
                                               const Container &container, uint64_t headerBytes,
                                               uint32_t frameBytes, uint64_t frames)
{
    const uint64_t data = frames * frameBytes;
    for (size_t i = 0; i < container.fieldCount; i++) {
        const LengthField &field = container.fields[i];
        const int64_t at = field.at < 0 ? static_cast<int64_t>(head.size()) + field.at : field.at;
        if (at < 0 || static_cast<uint64_t>(at) + field.bytes > head.size())
            return std::nullopt;
        uint64_t value = field.count == Count::FileBytes   ? headerBytes + data
                         : field.count == Count::DataBytes ? data
                                                           : frames;
        value += static_cast<uint64_t>(field.plus);
        if (value > field.most)
            value = UINT64_MAX;
        for (uint32_t b = 0; b < field.bytes; b++) {
            const uint32_t shift = 8 * (field.bigEndian ? field.bytes - 1 - b : b);
            head[static_cast<size_t>(at) + b] = static_cast<uint8_t>(value >> shift);
        }
    }
    return head;
}

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

int sndfileFormatFor(const OutputFormat &format, uint32_t rate, uint32_t channels,
                     std::optional<uint64_t> frames)
{
    const Container *container = containerOf(format.sndfileFormat);
    if (frames && container != nullptr && container->largerType != 0 &&
        *frames > largestFrames(format.sndfileFormat, rate, channels))
        return withType(format.sndfileFormat, container->largerType);
    return format.sndfileFormat;
}

uint64_t largestFrames(int sndfileFormat, uint32_t rate, uint32_t channels)
{
    const Container *container = containerOf(sndfileFormat);
    if (container == nullptr || container->largestFile == kAny || container->fieldCount == 0 ||
        channels == 0)
        return UINT64_MAX;
    const uint64_t header = SndfileWriter::headerBytes(sndfileFormat, rate, channels);
    return (container->largestFile - std::min(header, container->largestFile)) /
           (uint64_t{channels} * 2);
}

std::optional<std::vector<uint8_t>> sndfileHeaderFor(const OutputFormat &format, uint32_t rate,
                                                     uint32_t channels, uint64_t frames)
{
    const Container *container = containerOf(sndfileFormatFor(format, rate, channels, frames));
    if (container == nullptr)
        return std::nullopt;
    const uint32_t frameBytes = channels * 2;
    if (channels == 0 || frames > (UINT64_MAX >> 1) / frameBytes)
        return std::nullopt;
    std::optional<Probed> one = probe(format, rate, channels, frames, 1);
    std::optional<Probed> three = probe(format, rate, channels, frames, 3);
    if (!one || !three || one->size < frameBytes)
        return std::nullopt;
    const uint64_t headerBytes = one->size - frameBytes;
    /* The fields as known here must say what libsndfile writes. */
    if (withLength(one->head, *container, headerBytes, frameBytes, 3) != three->head)
        return std::nullopt;
    return withLength(std::move(one->head), *container, headerBytes, frameBytes, frames);
}

SndfileWriter::SndfileWriter(const OutputFormat &format, uint32_t rate, uint32_t channels,
                             OutputFile &out, std::optional<uint64_t> frames)
    : SndfileWriter(format.name, sndfileFormatFor(format, rate, channels, frames), rate, channels,
                    out)
{
    largest_ = largestFrames(sndfileFormat_, rate, channels);
    if (const Container *container = containerOf(sndfileFormat_);
        container != nullptr && container->fieldCount == 0)
        largestBytes_ = container->largestFile;
}

SndfileWriter::SndfileWriter(std::string_view name, int sndfileFormat, uint32_t rate,
                             uint32_t channels, OutputFile &out)
    : formatName_(name), sndfileFormat_(sndfileFormat), channels_(channels), out_(out)
{
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = static_cast<int>(channels);
    info.format = sndfileFormat;
    if (rate == 0 || channels == 0 || !sf_format_check(&info))
        throw HostError("libsndfile cannot write " + formatName_ + " at " + std::to_string(rate) +
                        " Hz with " + std::to_string(channels) + " channels");
    file_ = sf_open_virtual(&kOutputFileIo, SFM_WRITE, &info, this);
    if (file_ == nullptr)
        fail("open");
}

uint64_t SndfileWriter::headerBytes(int sndfileFormat, uint32_t rate, uint32_t channels)
{
    OutputFile file{HeadProbe{}};
    SndfileWriter(std::string_view(), sndfileFormat, rate, channels, file).finish();
    return file.size();
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
    sf_count_t count = static_cast<sf_count_t>(
        std::min<uint64_t>(native_.size() / channels_, largest_ - std::min(taken_, largest_)));
    if (largestBytes_ != UINT64_MAX &&
        out_.size() + frames.size() + kEncoderSlack > largestBytes_) /* encoded is smaller */
        count = 0;
    if (sf_writef_short(file_, native_.data(), count) != count || !ioFailure.empty())
        fail("write");
    taken_ += static_cast<uint64_t>(count);
    if (static_cast<uint64_t>(count) < native_.size() / channels_)
        full_ = Full::Header;
    else if (out_.heldFull())
        full_ = Full::Held;
    return static_cast<uint64_t>(count);
}

std::string SndfileWriter::whyFull() const
{
    std::string name = formatName_;
    for (char &c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (full_ == Full::Held)
        return "a streamed " + name + " file is held in memory until its end, " +
               std::to_string(OutputFile::kHeldLimit >> 20) + " MiB at most (write to a file for " +
               "more)";
    const Container *container = containerOf(sndfileFormat_);
    return "the " + name + " header describes " + sizeText(container->largestFile) + " at most" +
           (container->largerType != 0
                ? " (RF64 is written in its place when the length is known beforehand)"
                : "");
}

void SndfileWriter::finish()
{
    int result = sf_close(file_);
    file_ = nullptr;
    if (result != 0 || !ioFailure.empty())
        fail("finish");
}

} // namespace orvane
