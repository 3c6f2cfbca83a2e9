/*
 * The player's public port "Brivex plugin port": a visualiser attaches with
 * a PluginMessage, is handed the addresses of the sample buffer, the two
 * spectrum arrays and the track-info record, and is signalled when new
 * audio is in them and when the song changes. One visualiser at a time.
 */
#ifndef OV_HOST_PLUGIN_PORT_H
#define OV_HOST_PLUGIN_PORT_H

#include "host/port/audio_history.h"
#include "host/port/spectrum.h"
#include "visualiser/pluginport.h"

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

namespace orvane {

class VisualiserPort {
public:
    /* Frames shown in the sample buffer. */
    static constexpr size_t kSampleFrames = 512;

    /* Publishes the port; throws HostError when it cannot be made. */
    VisualiserPort();
    /* Withdraws the port, answering whatever still waits in it. */
    ~VisualiserPort();
    VisualiserPort(const VisualiserPort &) = delete;
    VisualiserPort &operator=(const VisualiserPort &) = delete;

    /* Answers every message waiting at the port (attach and detach). */
    void serve();
    bool attached() const { return client_ != nullptr; }
    /* Attach messages answered so far (accepted or not). */
    uint32_t attachCount() const { return attachCount_; }
    uint32_t detachCount() const { return detachCount_; }

    /* Names the current song and tells the visualiser. The text is
     * published before the signal that announces it. */
    void setTitle(const std::string &title);
    /* Fills the buffers from the audio ending at frame `endFrame` of the
     * history and signals the visualiser. The analyser follows the rate of
     * the song playing. */
    void publish(const AudioHistory &history, uint64_t endFrame, SpectrumAnalyser &analyser);

private:
    void handle(struct PluginMessage *message);

    struct MsgPort *port_ = nullptr;
    struct Task *client_ = nullptr;
    struct PluginMessage *clientMessage_ = nullptr;
    uint32_t dataSignal_ = 0;
    uint32_t infoSignal_ = 0;
    uint32_t attachCount_ = 0;
    uint32_t detachCount_ = 0;

    std::array<uint8_t, kSampleFrames * 4> samples_{};
    std::array<uint8_t, SpectrumAnalyser::kColumns * 2> firstSpectrum_{};
    std::array<uint8_t, SpectrumAnalyser::kColumns * 2> secondSpectrum_{};
    std::array<StereoFrame, SpectrumAnalyser::kFftFrames> analysed_{};
    TrackInfo trackInfo_{};
    /* Every title handed out, kept unchanged for the port's life: the
     * visualiser reads the title without a lock whenever it likes after
     * an info signal, so no text it may still hold can change or go away. */
    std::deque<std::string> titles_;
};

} // namespace orvane

#endif
