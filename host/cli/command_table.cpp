/* The table of commands: each one's name, summary, options and run. */
#include "host/cli/commands.h"
#include "host/cli/option_checks.h"
#include "host/output/output_format.h"

#include <CLI/CLI.hpp>

#include <array>

namespace orvane {

namespace {

void addShaping(CLI::App &command, Shaping &shaping)
{
    command
        .add_option("--stereo", shaping.stereoPercent,
                    "Stereo width in percent: 100 the plug-in's own panning (default), 0 mono")
        ->check(amountWithin("percent", 0, 100));
    command.add_option("--gain", shaping.gainDb, "Gain in dB; clipped samples are counted")
        ->check(amountWithin("dB", -60, 60));
}

/* About 31 years: far beyond any song, and well within a frame count. */
constexpr double kMostSeconds = 1e9;

void addLength(CLI::App &command, Length &length)
{
    auto *seconds = command.add_option("--seconds", length.seconds, "Stop after this many seconds")
                        ->check(positiveAmount("seconds", kMostSeconds));
    command.add_option("--frames", length.frames, "Stop after this many sample frames")
        ->check(positiveWhole<uint64_t>("frames"))
        ->excludes(seconds);
}

/* Where a song begins and how often it plays. */
void addSongPlace(CLI::App &command, Length &length)
{
    command
        .add_flag("--loop{forever}", length.loop,
                  "Play a module N more times after its first pass (--loop=N); --loop alone: "
                  "forever")
        ->check((CLI::IsMember({"forever"}) | CLI::Range(0, 1000000)).description(""))
        ->option_text("[=N]  (N from 0 to 1000000)");
    command.add_option("--start", length.startSeconds, "Begin this many seconds into the song")
        ->check(amountWithin("seconds", 0, kMostSeconds));
}

void addPlayOptions(CLI::App &command, CommandOptions &options)
{
    PlayOptions &play = options.play;
    command.add_option(
        "FILE", play.files,
        "Files, folders or M3U playlists to play in turn, at 1000 to 384000 Hz (render "
        "takes any rate)");
    addLength(command, play.length);
    addSongPlace(command, play.length);
    command.add_flag("--visualise,--visualize", play.visualise, "Show the Zephrin visualiser");
    addShaping(command, play.shaping);
    command.add_flag("--shuffle", play.shuffle, "Play the files in random order");
    command.add_flag("--repeat", play.repeat,
                     "Start the files again after the last, until q (or Ctrl-C)");
    command.add_flag("--no-keys", play.noKeys,
                     "Leave the terminal alone: no keys (as in a pipe or a background job)");
}

/* Output formats, batch rendering, stereo and gain. */
void addRenderOptions(CLI::App &command, CommandOptions &options)
{
    RenderOptions &render = options.render;
    command.add_option("FILE", render.files,
                       "Files, folders or M3U playlists to render (the demo song when left out)");
    addLength(command, render.length);
    addSongPlace(command, render.length);
    auto *output = command.add_option(
        "-o,--output", render.output,
        "Output file; its extension chooses the format. - for standard output (raw PCM unless "
        "--format says otherwise). An existing file is replaced whole, once the new one is "
        "complete, and keeps its mode; a link stays, the file it leads to is replaced");
    command
        .add_option("--output-dir", render.outputDir,
                    "Write one file per input here, named after it (AIFF unless --format)")
        ->excludes(output);
    auto *raw = command.add_flag("--raw", render.raw,
                                 "Write the decoded PCM exactly as delivered (big-endian)");
    command
        .add_option("--format", render.format,
                    "Output format, whatever the extension: " + formatList())
        ->excludes(raw);
    command.add_option("--endian", render.endian, "Byte order of raw PCM (default big)")
        ->check(CLI::IsMember({"little", "big"}));
    addShaping(command, render.shaping);
    command.add_flag("--visualise,--visualize", render.visualise, "Run Zephrin while rendering");
    command.add_option("--frames-dir", render.framesDir,
                       "Run Zephrin headless and save its pictures here as numbered PNG files");
    command
        .add_option("--frames-every", render.framesEvery, "Save every N-th picture (default 10)")
        ->check(positiveWhole<uint32_t>("pictures"));
}

void addInfoOptions(CLI::App &command, CommandOptions &options)
{
    command.add_option("FILE", options.infoFiles, "Files, folders or M3U playlists to describe");
}

void addNoOptions(CLI::App &, CommandOptions &) {}

constexpr std::array kCommands{
    Command{"play", "Play files through the sound device (the demo song without FILE)",
            addPlayOptions,
            [](const Places &places, const CommandOptions &options) {
                return runPlay(places, options.play);
            }},
    Command{"render", "Decode files into AIFF, WAV, FLAC and other formats, or raw PCM",
            addRenderOptions,
            [](const Places &places, const CommandOptions &options) {
                return runRender(places, options.render);
            }},
    Command{"info", "Describe files: plug-in, loading mode, format, duration, title",
            addInfoOptions,
            [](const Places &places, const CommandOptions &options) {
                return runInfo(places, options.infoFiles);
            }},
    Command{"plugins", "List the plug-ins and their descriptors", addNoOptions,
            [](const Places &places, const CommandOptions &) { return runPlugins(places); }},
};

} // namespace

std::span<const Command> commandTable() { return kCommands; }

} // namespace orvane
