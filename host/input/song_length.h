/*
 * How long a song plays: a module's end found by the replayer's song scan,
 * and how many frames a play or a render takes from a stream.
 */
#ifndef OV_HOST_SONG_LENGTH_H
#define OV_HOST_SONG_LENGTH_H

#include "host/input/stream.h"

#include <cstdint>
#include <optional>
#include <string>

namespace orvane {

/* How much of a song to take. */
struct Length {
    std::optional<double> seconds;
    std::optional<uint64_t> frames;
    /* Song-scan options: --loop as given (empty: play once, "forever", or
     * N more passes after the first) and --start. */
    std::string loop;
    std::optional<double> startSeconds;

    /* Frames at the given rate; nullopt when no bound was given. */
    std::optional<uint64_t> framesAt(uint32_t rate) const;
    /* How many more times a module plays after its first pass; -1 forever. */
    int64_t extraPasses() const;
    /* The frame --start names (0 without it). */
    uint64_t startFrame(uint32_t rate) const;
};

/* Frames from the start of a song until it has played `passes` times (1:
 * once, to exactly the frame at which it would start again), by its
 * format's song scan; nullopt when its format has none (only a module's
 * has) or the scan finds no end. One pass
 * is followed to its end however long it plays, as long as it comes back
 * to a row within PT_SCAN_MAX_ROWS rows; several passes for up to 24 hours.
 * Scans a private copy of the file as it was read, so the stream is left
 * as it is. */
std::optional<uint64_t> songFrames(const PlayerSession &session, uint32_t passes);

/* Frames a play or a render takes from the session, counted from the song's
 * start: the bound given (--seconds/--frames, after --start), else a
 * module's end after its extra loops; nullopt when it goes on until the
 * stream ends by itself, or forever (--loop alone, or a module whose end is
 * not found), and then for a stream that never ends `whyEndless` (when
 * given) receives why, as in "'song.mod' plays forever (--loop)" without
 * the name. Throws HostError when --start lies at or beyond the end of a
 * song or file whose length is known, before anything is decoded. */
std::optional<uint64_t> framesToTake(const PlayerSession &session, const Length &length,
                                     std::string *whyEndless = nullptr);

/* "m:ss.mmm" (or "h:mm:ss.mmm") of a frame count. */
std::string durationText(uint64_t frames, uint32_t rate);

} // namespace orvane

#endif
