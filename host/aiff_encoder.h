/*
 * An AIFF file written through an encoding plug-in: its header and sample
 * bytes appended as each call reports them, its fix-ups written at the end.
 */
#ifndef OV_HOST_AIFF_ENCODER_H
#define OV_HOST_AIFF_ENCODER_H

#include "output_file.h"
#include "plugins.h"

#include <cstdint>
#include <span>

namespace orvane {

class AiffEncoder {
public:
    /* InitEncoder and OpenEncoder; throws HostError when either fails. */
    AiffEncoder(LoadedPlugin &plugin, uint32_t rate, uint32_t channels);
    /* CloseEncoder. */
    ~AiffEncoder();
    AiffEncoder(const AiffEncoder &) = delete;
    AiffEncoder &operator=(const AiffEncoder &) = delete;

    /* Encodes big-endian frames and appends the bytes the encoder reports. */
    void encode(std::span<const uint8_t> frames, OutputFile &out);
    /* Appends any header still pending, then applies every fix-up. */
    void finish(OutputFile &out);

private:
    void appendReported(int32_t reported, OutputFile &out);

    LoadedPlugin &plugin_;
    struct EncoderStream stream_{};
    const uint8_t *buffer_ = nullptr;
    uint32_t frameBytes_;
    bool initialised_ = false;
};

} // namespace orvane

#endif
