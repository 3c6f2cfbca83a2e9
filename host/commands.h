/*
 * The player's commands. Each returns the process exit status; failures
 * that stop a command are thrown as HostError.
 */
#ifndef OV_HOST_COMMANDS_H
#define OV_HOST_COMMANDS_H

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

/* Where things are found. */
struct Places {
    std::filesystem::path pluginDir;  /* the *.ovplug files */
    std::filesystem::path programDir; /* Zephrin and the demo song */

    std::filesystem::path demoSong() const { return programDir / "demo.mod"; }
    std::filesystem::path visualiser() const { return programDir / "Zephrin"; }
    /* The files given, or the demo song when none is. */
    std::vector<std::filesystem::path> filesOrDemo(const std::vector<std::string> &files) const;
};

/* How much of a song to take. */
struct Length {
    std::optional<double> seconds;
    std::optional<uint64_t> frames;

    /* Frames at the given rate; nullopt when no bound was given. */
    std::optional<uint64_t> framesAt(uint32_t rate) const;
};

struct PlayOptions {
    std::vector<std::string> files;
    Length length;
    bool visualise = false;
};

struct RenderOptions {
    std::string file;
    std::string output;
    Length length;
    bool raw = false;
    bool visualise = false;
    std::string framesDir;
    uint32_t framesEvery = 10;
};

int runPlay(const Places &places, const PlayOptions &options);
int runRender(const Places &places, const RenderOptions &options);
int runInfo(const Places &places, const std::vector<std::string> &files);
int runPlugins(const Places &places);

/* Prints "orvane: message" on standard error. */
void reportError(const std::string &message);

} // namespace orvane

#endif
