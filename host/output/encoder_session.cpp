#include "host/output/encoder_session.h"

#include "host/host_error.h"
#include "platform/byteorder.h"

#include <algorithm>
#include <utility>

namespace orvane {

namespace {

/* Frames handed over per call: well within the encoder's output buffer
 * (which also holds the 54 header bytes on the first call). */
constexpr uint32_t kFramesPerCall = 8192;

} // namespace

EncoderSession::EncoderSession(struct OVPlugIFace *iface, std::string name, uint32_t rate,
                               uint32_t channels, OutputFile &out)
    : iface_(iface), name_(std::move(name)), out_(out), frameBytes_(channels * 2)
{
    if (rate == 0)
        throw HostError("the " + name_ +
                        " encoder cannot write a file without a sample rate;"
                        " --raw writes the PCM");
    if (channels == 0 || channels > 2)
        throw HostError("the " + name_ + " encoder cannot write " + std::to_string(channels) +
                        " channels");
    if (iface->InitEncoder(iface, &stream_) != 1)
        throw HostError("the " + name_ + " encoder cannot start (out of memory)");
    initialised_ = true;
    EncoderFormat format{};
    format.SampleRate = rate;
    format.Channels = static_cast<uint8>(channels);
    format.MustBeZero = 0;
    buffer_ = static_cast<const uint8_t *>(iface->OpenEncoder(iface, &stream_, &format));
    if (buffer_ == nullptr) {
        iface->CloseEncoder(iface, &stream_);
        throw HostError("the " + name_ + " encoder refuses the format");
    }
}

EncoderSession::~EncoderSession()
{
    if (initialised_)
        iface_->CloseEncoder(iface_, &stream_);
}

uint64_t EncoderSession::write(std::span<const uint8_t> frames)
{
    uint64_t taken = 0;
    while (!full_ && frames.size() >= frameBytes_) {
        uint32_t count =
            std::min<uint32_t>(kFramesPerCall, static_cast<uint32_t>(frames.size() / frameBytes_));
        int32 reported = iface_->EncodeFrameEncoder(iface_, &stream_, frames.data(), count);
        /* A refusal takes nothing, so the file so far stays whole. */
        if (reported < 0) {
            full_ = true;
            break;
        }
        out_.append({buffer_, static_cast<size_t>(reported)});
        taken += count;
        frames = frames.subspan(count * frameBytes_);
    }
    return taken;
}

std::string EncoderSession::whyFull() const
{
    return "the " + name_ + " encoder takes no more (an AIFF file holds under 2 GB of sound)";
}

void EncoderSession::finish()
{
    /* A render of no frames still owes the header. */
    int32 reported = iface_->EncodeFrameEncoder(iface_, &stream_, buffer_, 0);
    if (reported < 0)
        throw HostError("the " + name_ + " encoder cannot write the file's header");
    out_.append({buffer_, static_cast<size_t>(reported)});
    struct EncoderFixup **fixups = iface_->FinishEncoder(iface_, &stream_);
    if (fixups == nullptr)
        throw HostError("the " + name_ + " encoder cannot finish the file (out of memory)");
    for (; *fixups != nullptr; fixups++) {
        const struct EncoderFixup &fixup = **fixups;
        uint64_t offset = (static_cast<uint64_t>(fixup.FileOffsetHigh) << 32) | fixup.FileOffsetLow;
        uint8_t value[4];
        ov_store_be32(value, fixup.Value);
        size_t count = std::min<size_t>(fixup.ByteCount, 4);
        /* Fewer than four bytes: the value's low-order ones. */
        out_.patch(offset, {value + 4 - count, count});
    }
}

} // namespace orvane
