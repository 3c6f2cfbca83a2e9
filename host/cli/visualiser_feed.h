/*
 * The audio a visualiser is shown: kept as it is decoded, and handed over
 * 50 times a second of it, each data signal giving one frame. Played, it
 * goes as the sound is heard and never waits for the visualiser; rendered,
 * it goes frame by frame, each one waited for until drawn.
 */
#ifndef OV_HOST_CLI_VISUALISER_FEED_H
#define OV_HOST_CLI_VISUALISER_FEED_H

#include "host/output/pcm_shaping.h"
#include "host/port/audio_history.h"
#include "host/port/spectrum.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace orvane {

class VisualiserRun;

class VisualiserFeed {
public:
    enum class Pace {
        AsHeard,     /* the first signal at once, then one a fiftieth after the last */
        FrameByFrame /* a signal at every fiftieth of a second of audio */
    };

    /* For a song at `rate` of `channels`, its title told to the visualiser;
     * `rightFirst`: the frames appended have the right side first, and the
     * visualiser is shown them left first, as they are heard. */
    VisualiserFeed(VisualiserRun &run, Pace pace, uint32_t rate, uint32_t channels,
                   const std::string &title, bool rightFirst = false);

    /* Audio as it is decoded, in big-endian frames. */
    void append(std::span<const uint8_t> frames);
    /* Number of the frame after the newest one appended. */
    uint64_t end() const { return history_.end(); }
    /* Answers the visualiser's port. */
    void answer();
    /* As heard: when a signal is due at history frame `heard` and the
     * frame for the last one is drawn, the audio up to there is sent. */
    void offer(uint64_t heard);
    /* Frame by frame: the signals due in what was appended, each waited
     * for; `drawn` after each frame the visualiser drew. */
    void showAppended(const std::function<void()> &drawn);

private:
    VisualiserRun &run_;
    AudioHistory history_;
    SpectrumAnalyser analyser_;
    PcmShaper sides_;
    uint32_t channels_;
    uint64_t step_;
    uint64_t due_; /* history frame of the next signal */
};

} // namespace orvane

#endif
