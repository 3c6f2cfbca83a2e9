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
    auto *seconds = command
                        .add_option("--seconds", length.seconds,
                                    "Stop after this many seconds (or m:ss, h:mm:ss)")
                        ->transform(timeWithin(0, true, kMostSeconds))
                        ->type_name("TIME");
    command.add_option("--frames", length.frames, "Stop after this many sample frames")
        ->check(positiveWhole<uint64_t>("frames"))
        ->excludes(seconds);
}

constexpr unsigned kMostLoops = 1000000;

/* --loop's value: "forever" (--loop alone) or a count of extra passes. */
CLI::Validator loopCount()
{
    const std::string what = "0 to " + std::to_string(kMostLoops) + " more passes";
    return CLI::Validator(
        [what](std::string &text) -> std::string {
            if (text == "forever" || (!text.empty() && text.size() <= 7 &&
                                      text.find_first_not_of("0123456789") == std::string::npos &&
                                      std::stoul(text) <= kMostLoops))
                return {};
            return detail::refusal(what, text);
        },
        what);
}

/* Where a song begins and how often it plays. */
void addSongPlace(CLI::App &command, Length &length)
{
    command
        .add_flag("--loop{forever}", length.loop,
                  "Play a module N more times after its first pass (--loop=N); --loop alone: "
                  "forever")
        ->check(loopCount())
        ->option_text("[=N]  (N from 0 to " + std::to_string(kMostLoops) + ")");
    command
        .add_option("--start", length.startSeconds,
                    "Begin this many seconds into the song (or m:ss, h:mm:ss)")
        ->transform(timeWithin(0, false, kMostSeconds))
        ->type_name("TIME");
}

void addPlayOptions(CLI::App &command, CommandOptions &options)
{
    PlayOptions &play = options.play;
    command.add_option("FILE", play.files,
                       "Files, folders or M3U playlists to play in turn, at 1000 to 384000 Hz "
                       "(render takes any rate); the demo song when left out");
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
    auto *raw =
        command.add_flag("--raw", render.raw,
                         "Write the decoded PCM exactly as the plug-in delivers it (big-endian; a "
                         "Protracker frame's right side first, where every other output "
                         "has the left side first)");
    command
        .add_option("--format", render.format,
                    "Output format, whatever the extension: " + formatList())
        ->excludes(raw);
    command.add_option("--endian", render.endian, "Byte order of raw PCM (default big)")
        ->check(oneOf({"little", "big"}));
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
    command.add_option("FILE", options.infoFiles, "Files, folders or M3U playlists to describe")
        ->required();
    command.add_flag("--json", options.infoJson,
                     "Describe them as a JSON array, one object per file, failures included");
}

void addNoOptions(CLI::App &, CommandOptions &) {}

constexpr const char *kPlayExamples = R"(Keys:
  space  pause and go on          left/right  seek 10 s back/forward
  n      next file                p           previous file
  h, ?   these keys               q           quit

Examples:
  orvane play                                play the bundled demo song
  orvane play song.mod other.aiff            play files in turn
  orvane play --loop 2 --start 0:30 song.mod from 0:30, then the whole song twice more
  orvane play --seconds 1:30 --visualise song.mod
)";

constexpr const char *kRenderExamples = R"(Examples:
  orvane render song.mod -o song.aiff        the whole song, ending where it would repeat
  orvane render song.mod --seconds 60 -o song.aiff
  orvane render song.aiff -o copy.aiff       convert (an AIFF file stops at its end)
  orvane render song.mod --frames 44100 --raw -o song.pcm
  orvane render song.mod --seconds 1:00 --stereo 60 --gain -3 -o song.flac
  orvane render a.mod b.mod --seconds 90 --output-dir out --format wav
                                             writes out/a.wav and out/b.wav
  orvane render song.mod --seconds 60 --format wav -o - | aplay
                                             standard output gets raw PCM unless --format
                                             names a format. A format with a header, to
                                             standard output or a pipe, streams when the
                                             length is known (--seconds/--frames, or an AIFF
                                             file's own): its header goes first and a song
                                             that ends sooner is filled out with silence.
                                             Otherwise, and for FLAC and MP3, the file is held
                                             in memory (1 GiB at most) and sent at the end.
                                             A WAV file too long for 4 GiB is written as RF64.
)";

constexpr const char *kInfoExamples = R"(Examples:
  orvane info song.mod                       plug-in, rate, channels, duration, title
  orvane info *.mod *.aiff                   each file in turn
)";

constexpr const char *kPluginsExamples = R"(Examples:
  orvane plugins --plugin-dir build/bin      what each plug-in says about itself
)";

constexpr std::array kCommands{
    Command{"play", "Play files through the sound device (the demo song without FILE)",
            kPlayExamples, addPlayOptions,
            [](const Places &places, const CommandOptions &options) {
                return runPlay(places, options.play);
            }},
    Command{"render", "Decode files into AIFF, WAV, FLAC and other formats, or raw PCM",
            kRenderExamples, addRenderOptions,
            [](const Places &places, const CommandOptions &options) {
                return runRender(places, options.render);
            }},
    Command{"info", "Describe files: plug-in, loading mode, format, duration, title", kInfoExamples,
            addInfoOptions,
            [](const Places &places, const CommandOptions &options) {
                return runInfo(places, options.infoFiles, options.infoJson);
            }},
    Command{"plugins", "List the plug-ins and their descriptors", kPluginsExamples, addNoOptions,
            [](const Places &places, const CommandOptions &) { return runPlugins(places); }},
};

} // namespace

std::span<const Command> commandTable() { return kCommands; }

} // namespace orvane
