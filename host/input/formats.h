/*
 * The formats the host knows more of than the plug-in contract tells: one
 * row per plug-in, by its descriptor's name. A plug-in without a row is
 * played by the contract alone (its streams end, its files have no title
 * but their name, and info shows what the plug-in says only).
 */
#ifndef OV_HOST_FORMATS_H
#define OV_HOST_FORMATS_H

#include "host/input/file_details.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace orvane {

/* What one file holds by its format's own reader, found once when a stream
 * opens on it. */
struct FileFacts {
    std::string title;   /* the name it gives itself; empty when none */
    std::string details; /* the lines `orvane info` shows after the plug-in's */
    /* What the format's reader found, field by field, when it is one the
     * host reads (for `orvane info --json`). */
    std::optional<ModuleDetails> module;
    std::optional<AiffDetails> aiff;
    std::string whyUnplayable; /* why its plug-in can play no frame of it; empty when unknown */
    /* Frames its sound data holds by its own account; nullopt when it does
     * not say. */
    std::optional<uint64_t> framesHeld;
};

struct Format {
    std::string_view plugin; /* the descriptor's name */
    /* Its streams never end (a Protracker module starts again at its first
     * position, by the plug-in's contract), so a length must come from
     * elsewhere. Every other plug-in's stream ends when a decode says so. */
    bool endless = false;
    /* It plays the modules the replayer library's loader reads. */
    bool modules = false;
    /* The first value of each stereo frame it delivers is the right side
     * (a Protracker frame starts with the sum of channels 1 and 2, which
     * the Amiga plays on the right); the host writes and plays the left
     * side first. */
    bool rightFirst = false;
    /* Bytes of a file handed over whole that its replay can ever read,
     * from its head; 0: all of it. */
    size_t (*reach)(std::span<const uint8_t> head) = nullptr;
    /* Why the plug-in refuses to open the file; empty when unknown. */
    std::string (*refusal)(std::span<const uint8_t> image) = nullptr;
    /* The file's facts, from the bytes read (all of it when handed over
     * whole) or from the file; `player` names the plug-in in the reasons. */
    FileFacts (*describe)(std::span<const uint8_t> image, const std::filesystem::path &file,
                          const std::string &player) = nullptr;
    /* Frames from the song's start until it has played `passes` times,
     * followed for at most `limit` frames; nullopt when no end is found. */
    std::optional<uint64_t> (*songFrames)(std::span<const uint8_t> image, uint32_t rate,
                                          uint32_t passes, uint64_t limit) = nullptr;
};

/* The row of the plug-in named `plugin`; a row that adds nothing for a
 * plug-in the host knows nothing more of. */
const Format &formatOf(std::string_view plugin);

} // namespace orvane

#endif
