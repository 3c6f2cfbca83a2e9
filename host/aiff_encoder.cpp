#include "aiff_encoder.h"

#include "host_error.h"

#include <algorithm>

namespace orvane {

namespace {

/* Frames handed over per call: well within the encoder's output buffer
 * (which also holds the 54 header bytes on the first call). */
constexpr uint32_t kFramesPerCall = 8192;

} // namespace

AiffEncoder::AiffEncoder(LoadedPlugin &plugin, uint32_t rate, uint32_t channels)
    : plugin_(plugin), frameBytes_(channels * 2)
{
    struct OVPlugIFace *iface = plugin_.iface();
    if (rate == 0)
        throw HostError("the " + plugin_.name() + " encoder cannot write a file without a sample rate;"
                        " --raw writes the PCM");
    if (channels == 0 || channels > 2)
        throw HostError("the " + plugin_.name() + " encoder cannot write " + std::to_string(channels) + " channels");
    if (iface->InitEncoder(iface, &stream_) != 1)
        throw HostError("the " + plugin_.name() + " encoder cannot start (out of memory)");
    initialised_ = true;
    struct EncoderFormat format{};
    format.SampleRate = rate;
    format.Channels = static_cast<uint8>(channels);
    format.MustBeZero = 0;
    buffer_ = static_cast<const uint8_t *>(iface->OpenEncoder(iface, &stream_, &format));
    if (buffer_ == nullptr) {
        iface->CloseEncoder(iface, &stream_);
        throw HostError("the " + plugin_.name() + " encoder refuses the format");
    }
}

AiffEncoder::~AiffEncoder()
{
    if (initialised_)
        plugin_.iface()->CloseEncoder(plugin_.iface(), &stream_);
}

void AiffEncoder::appendReported(int32_t reported, OutputFile &out)
{
    if (reported < 0)
        throw HostError("the " + plugin_.name() + " encoder refuses more audio (the file would be too large)");
    out.append({buffer_, static_cast<size_t>(reported)});
}

void AiffEncoder::encode(std::span<const uint8_t> frames, OutputFile &out)
{
    struct OVPlugIFace *iface = plugin_.iface();
    while (frames.size() >= frameBytes_) {
        uint32_t count = std::min<uint32_t>(kFramesPerCall, static_cast<uint32_t>(frames.size() / frameBytes_));
        appendReported(iface->EncodeFrameEncoder(iface, &stream_, frames.data(), count), out);
        frames = frames.subspan(count * frameBytes_);
    }
}

void AiffEncoder::finish(OutputFile &out)
{
    struct OVPlugIFace *iface = plugin_.iface();
    /* A render of no frames still owes the header. */
    appendReported(iface->EncodeFrameEncoder(iface, &stream_, buffer_, 0), out);
    struct EncoderFixup **fixups = iface->FinishEncoder(iface, &stream_);
    if (fixups == nullptr)
        throw HostError("the " + plugin_.name() + " encoder cannot finish the file (out of memory)");
    for (; *fixups != nullptr; fixups++) {
        const struct EncoderFixup &fixup = **fixups;
        uint64_t offset = (static_cast<uint64_t>(fixup.FileOffsetHigh) << 32) | fixup.FileOffsetLow;
        uint8_t value[4] = {static_cast<uint8_t>(fixup.Value >> 24), static_cast<uint8_t>(fixup.Value >> 16),
                            static_cast<uint8_t>(fixup.Value >> 8), static_cast<uint8_t>(fixup.Value)};
        size_t count = std::min<size_t>(fixup.ByteCount, 4);
        /* Fewer than four bytes: the value's low-order ones. */
        out.patch(offset, {value + 4 - count, count});
    }
}

} // namespace orvane
