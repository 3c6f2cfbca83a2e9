/*
 * What a file holds, read through the components' own code: a module through
 * the replayer library's loader, an AIFF file through the AIFF reader. The
 * host never parses these formats itself.
 */
#ifndef OV_HOST_FILE_DETAILS_H
#define OV_HOST_FILE_DETAILS_H

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orvane {

struct ModuleSample {
    uint32_t number = 0; /* 1 to 31 */
    std::string name;
    uint32_t length = 0; /* bytes */
    uint32_t loopStart = 0;
    uint32_t loopLength = 0;
    uint32_t volume = 0;
    int32_t finetune = 0; /* -8 to 7 */
};

struct ModuleDetails {
    std::string title;       /* the stored bytes up to the first NUL, as they are */
    uint32_t songLength = 0; /* orders played, as stored */
    uint32_t patterns = 0;
    uint32_t channels = 0; /* the module's own */
    uint32_t restart = 0;  /* the stored restart byte, which the replay never follows */
    /* As they stand once row 0 has been read, its Fxx commands applied. */
    uint32_t speed = 0;
    uint32_t tempo = 0;
    /* All 31, the ones without sound too (their names often carry a
     * message). */
    std::vector<ModuleSample> samples;
};

/* The module as the loader reads it (from a private copy of the image);
 * nullopt when the loader refuses it. */
std::optional<ModuleDetails> readModuleDetails(std::span<const uint8_t> image);

/* What a file is, from a signature that names a format no loaded plug-in
 * need play ("an XM module (FastTracker 2)"); empty when its first bytes
 * hold none. */
std::string otherFormat(std::span<const uint8_t> head);

/* Why the loader refuses the image, in words with its numbers; empty when
 * it accepts it. */
std::string moduleRefusal(std::span<const uint8_t> image);

/* How many bytes of a module file the replay can ever read, from its first
 * bytes (those up to its tag); 0 when they hold no "M.K." module. */
size_t moduleReach(std::span<const uint8_t> head);

/* The bytes carry the "M.K." tag of a Protracker module at its place,
 * whatever else they hold. */
bool hasModuleTag(std::span<const uint8_t> head);

/* The file's name marks it as a module: "song.mod" or "mod.song", in any case. */
bool namedAsModule(const std::filesystem::path &file);

/* Frames at `rate` from the start of a module until it has played `passes`
 * times (1: once, to exactly the frame at which it would start again), the
 * replayer's song scan followed for at most `limit` frames; nullopt when
 * the image is no module the loader takes or the scan finds no end. Scans
 * a private copy of the image. */
std::optional<uint64_t> moduleFrames(std::span<const uint8_t> image, uint32_t rate, uint32_t passes,
                                     uint64_t limit);

struct AiffDetails {
    uint32_t rate = 0;
    uint32_t channels = 0;
    uint32_t bits = 0;
    uint32_t frames = 0;     /* as the COMM chunk declares */
    uint32_t soundBytes = 0; /* in the SSND chunk */
    double seconds() const { return rate == 0 ? 0.0 : static_cast<double>(frames) / rate; }
    /* Why the AIFF plug-in cannot play it, naming `player`; empty when it can. */
    std::string whyUnplayable(const std::string &player) const;
};

/* The file as the AIFF reader sees it; nullopt when the reader cannot open
 * it (no AIFF file, or no sound data) or it is no regular file. */
std::optional<AiffDetails> readAiffDetails(const std::filesystem::path &file);

} // namespace orvane

#endif
