/*
 * A file written through a plug-in's encoder entry points (InitEncoder,
 * OpenEncoder, EncodeFrameEncoder, FinishEncoder, CloseEncoder): its header
 * and sample bytes appended as each call reports them, its fix-ups written
 * at the end.
 */
#ifndef OV_HOST_ENCODER_SESSION_H
#define OV_HOST_ENCODER_SESSION_H

#include "host/input/plugins.h"
#include "host/output/output_file.h"
#include "host/output/writer.h"

#include <cstdint>
#include <span>
#include <string>

namespace orvane {

class EncoderSession : public AudioWriter {
public:
    /* InitEncoder and OpenEncoder on the interface of the plug-in named
     * `name`; throws HostError when either fails. */
    EncoderSession(struct OVPlugIFace *iface, std::string name, uint32_t rate, uint32_t channels,
                   OutputFile &out);
    /* CloseEncoder. */
    ~EncoderSession() override;
    EncoderSession(const EncoderSession &) = delete;
    EncoderSession &operator=(const EncoderSession &) = delete;

    /* Encodes big-endian frames and appends the bytes the encoder reports.
     * Returns the frames taken: fewer than given once the encoder refuses
     * more audio (its file would grow past its size limit). What was
     * taken before stays a consistent file for finish(). */
    uint64_t write(std::span<const uint8_t> frames) override;
    /* The encoder has refused audio: the file cannot grow any further. */
    bool full() const override { return full_; }
    std::string whyFull() const override;
    /* Appends any header still pending, then applies every fix-up. */
    void finish() override;

private:
    struct OVPlugIFace *iface_;
    std::string name_;
    OutputFile &out_;
    EncoderStream stream_{};
    const uint8_t *buffer_ = nullptr;
    uint32_t frameBytes_;
    bool initialised_ = false;
    bool full_ = false;
};

} // namespace orvane

#endif
