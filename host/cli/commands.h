/*
 * The player's commands, in one table: each with its name, what it does in
 * a line, its options and how it runs. Each returns the process exit
 * status; failures that stop a command are thrown as HostError.
 */
#ifndef OV_HOST_COMMANDS_H
#define OV_HOST_COMMANDS_H

#include "host/host_error.h"
#include "host/input/song_length.h"
#include "host/output/audio_writer.h"
#include "host/output/pcm_shaping.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

namespace orvane {

class PluginSet;

/* The files a command goes through, and how many of what its arguments
 * named were reported and left out (a failure of the command). */
struct Inputs {
    std::vector<std::filesystem::path> files;
    size_t leftOut = 0;
    /* The status of the files' run, or 1 where that is 0 and some were left out. */
    int status(int run) const { return run == 0 && leftOut > 0 ? 1 : run; }
};

/* Where things are found. */
struct Places {
    std::filesystem::path pluginDir;  /* the *.ovplug files */
    std::filesystem::path programDir; /* Zephrin and the demo song */

    std::filesystem::path demoSong() const { return programDir / "demo.mod"; }
    std::filesystem::path visualiser() const { return programDir / "Zephrin"; }
    /* The files the arguments stand for (folders and playlists expanded,
     * what was left out reported, `leaveOut` not looked into), or the demo
     * song when none is given. */
    Inputs filesOrDemo(const std::vector<std::string> &files, const PluginSet &plugins,
                       const std::filesystem::path &leaveOut = {}) const;
};

struct PlayOptions {
    std::vector<std::string> files;
    Length length;
    bool visualise = false;
    Shaping shaping;
    bool noKeys = false;  /* never read keys, even from a terminal */
    bool shuffle = false; /* in random order */
    bool repeat = false;  /* from the first again after the last */
};

struct RenderOptions {
    std::vector<std::string> files; /* the demo song when empty */
    std::string output;
    Length length;
    bool raw = false;
    bool visualise = false;
    std::string framesDir;
    uint32_t framesEvery = 10;
    /* Output formats, several files at once, and what is done to the PCM. */
    std::string outputDir; /* one output per file, named after it */
    std::string format;    /* a format name; empty: from the output's extension */
    std::string endian;    /* raw PCM: "big" (empty: as the plug-in delivers) or "little" */
    Shaping shaping;
};

/* Exit status of a render the encoder cut short at its size limit: the
 * file is kept, complete up to the cut. */
constexpr int kStatusCutShort = 2;

/* What the command line gives the commands. */
struct CommandOptions {
    PlayOptions play;
    RenderOptions render;
    std::vector<std::string> infoFiles;
    bool infoJson = false; /* info as one JSON array */
};

struct Command {
    std::string_view name;
    std::string_view summary;  /* one line, for the help */
    std::string_view examples; /* the end of its help: examples, and its keys */
    /* Adds the command's options and arguments, read into `options`. */
    void (*addOptions)(CLI::App &command, CommandOptions &options);
    int (*run)(const Places &places, const CommandOptions &options);
};

/* Every command, in the order the help lists them. The manual page and the
 * bash completion read the list from the help. */
std::span<const Command> commandTable();

int runPlay(const Places &places, const PlayOptions &options);
int runRender(const Places &places, const RenderOptions &options);
/* A render through the given encoder instead of the plug-in whose encoder
 * writes the output's format (used for AIFF output only). */
int runRender(const Places &places, const RenderOptions &options, const EncoderChoice &encoder);
int runInfo(const Places &places, const std::vector<std::string> &files, bool json);
int runPlugins(const Places &places);

/* Prints "orvane: message" on standard error. */
void reportError(const std::string &message);

/* Thrown when the user stops the command (Ctrl-C): the files still to go
 * are left, not only the one in hand. */
struct Interrupted : HostError {
    using HostError::HostError;
};

/* What a command does after one of its files. */
enum class Then { Next, Previous, Stop };

struct FileOutcome {
    int status = 0; /* 0, or kStatusCutShort */
    Then then = Then::Next;
};

/* How a file that fails counts in the status of the command. */
enum class Failures {
    Replace,   /* its status replaces the status so far */
    FirstStays /* the first status that is not 0 stays, whatever follows */
};

struct FilesDone {
    int status = 0;
    size_t failed = 0;
};

/* The loop over a command's files: `one` does file `index` and says which
 * comes next. A file that fails with HostError is reported, after what went
 * to standard output, as "orvane: why", or "orvane: 'file': why" where
 * `name` names it, and the next one goes; Interrupted stops the loop. */
FilesDone eachFile(size_t count, const std::function<FileOutcome(size_t index)> &one,
                   Failures failures, const std::function<std::string(size_t index)> &name = {});

} // namespace orvane

#endif
