/*
 * The one interface every writer of a render implements, and the choices a
 * writer is made with. Each takes the plug-ins' big-endian frames.
 */
#ifndef OV_HOST_WRITER_H
#define OV_HOST_WRITER_H

#include <cstdint>
#include <functional>
#include <span>
#include <string>

struct OVPlugIFace;

namespace orvane {

class AudioWriter {
public:
    virtual ~AudioWriter() = default;
    /* Writes big-endian frames; returns the frames taken, fewer than given
     * only once the format can hold no more (then full()). */
    virtual uint64_t write(std::span<const uint8_t> frames) = 0;
    virtual bool full() const { return false; }
    /* Why it is full: "the AIFF encoder takes no more (...)". */
    virtual std::string whyFull() const { return {}; }
    /* Completes the file's header and anything else owed at the end. */
    virtual void finish() = 0;
};

enum class Endian { Big, Little };

/* The interface a render encodes through, and its plug-in's name. */
struct EncoderChoice {
    struct OVPlugIFace *iface = nullptr;
    std::string name;
};

/* Writes frames of silence; returns how many were taken (fewer once the
 * writer is full, or once `stop` says so). */
uint64_t writeSilence(AudioWriter &writer, uint64_t frames, uint32_t channels,
                      const std::function<bool()> &stop = {});

} // namespace orvane

#endif
