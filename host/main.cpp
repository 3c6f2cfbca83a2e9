/*
 * orvane: plays, renders and describes music files through the Orvane
 * plug-ins, and serves the visualiser's port.
 */
#include "commands.h"
#include "host_error.h"

#include "platform/platform.h"
#include "platform/testing.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>

namespace orvane {

namespace {

std::filesystem::path programFolder()
{
    std::error_code error;
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::current_path() : self.parent_path();
}

const char *kExamples = R"(Examples:
  orvane play                                play the bundled demo song
  orvane play song.mod other.aiff            play files in turn (space pause, q quit,
                                             n next, p previous, left/right seek 10 s,
                                             ? help)
  orvane play --loop=2 --start 30 song.mod   from 0:30, then the whole song twice more
  orvane play --seconds 30 --visualise song.mod
  orvane render song.mod --seconds 60 -o song.aiff
  orvane render song.mod -o song.aiff        the whole song, ending where it would repeat
  orvane render song.aiff -o copy.aiff       convert (an AIFF file stops at its end)
  orvane render song.mod --frames 44100 --raw -o song.pcm
  orvane render --seconds 5 --visualise --frames-dir pictures -o demo.aiff
  orvane info song.mod                       plug-in, rate, channels, duration, title
  orvane plugins --plugin-dir build/bin      what each plug-in says about itself

Exit status: 0 done, 1 failed (one line on standard error says why),
  2 render cut short at the AIFF size limit (under 2 GB of sound; the file is kept),
  130 play stopped by Ctrl-C
)";

/* With this variable set, the process reports memory blocks still live at
 * the end and fails when there are any (used by the tests). */
int checkNothingLeft(int status)
{
    if (std::getenv("ORVANE_CHECK_LEAKS") == nullptr)
        return status;
    uint32 live = ovTestLiveAllocations();
    if (live != 0) {
        reportError(std::to_string(live) + " memory blocks still allocated at exit");
        return status == 0 ? 70 : status;
    }
    return status;
}

void addLength(CLI::App *command, Length &length)
{
    auto *seconds = command->add_option("--seconds", length.seconds, "Stop after this many seconds")
                        ->check(CLI::PositiveNumber);
    command->add_option("--frames", length.frames, "Stop after this many sample frames")
        ->excludes(seconds);
}

/* Where a song begins and how often it plays. */
void addSongPlace(CLI::App *command, Length &length)
{
    command
        ->add_flag("--loop{forever}", length.loop,
                   "Play a module N more times after its first pass (--loop=N); --loop alone: "
                   "forever")
        ->check((CLI::IsMember({"forever"}) | CLI::Range(0, 1000000)).description(""))
        ->option_text("[=N]  (N from 0 to 1000000)");
    command
        ->add_option("--start", length.startSeconds, "Begin this many seconds into the song")
        ->check(CLI::NonNegativeNumber);
}

} // namespace

int main(int argc, char **argv)
{
    Places places{programFolder(), programFolder()};
    std::string pluginDir;

    CLI::App app{"orvane: plays Protracker modules and AIFF files through the Orvane plug-ins",
                 "orvane"};
    app.footer(kExamples);
    app.require_subcommand(1);
    app.add_option("--plugin-dir", pluginDir,
                   "Folder of the *.ovplug plug-ins (default: the program's folder)")
        ->check(CLI::ExistingDirectory);

    PlayOptions play;
    auto *playCommand = app.add_subcommand(
        "play", "Play files through the sound device (the demo song without FILE)");
    playCommand->add_option("FILE", play.files, "Files to play in turn");
    addLength(playCommand, play.length);
    addSongPlace(playCommand, play.length);
    playCommand->add_flag("--visualise,--visualize", play.visualise, "Show the Zephrin visualiser");
    playCommand->add_flag("--no-keys", play.noKeys,
                          "Leave the terminal alone: no keys (as in a pipe or a background job)");

    RenderOptions render;
    auto *renderCommand =
        app.add_subcommand("render", "Decode a file into an AIFF file (or raw PCM)");
    renderCommand->add_option("FILE", render.file, "File to render (the demo song when left out)");
    renderCommand->add_option("-o,--output", render.output, "Output file, - for standard output")
        ->required();
    addLength(renderCommand, render.length);
    addSongPlace(renderCommand, render.length);
    renderCommand->add_flag("--raw", render.raw,
                            "Write the decoded big-endian PCM exactly as delivered");
    renderCommand->add_flag("--visualise,--visualize", render.visualise,
                            "Run Zephrin while rendering");
    renderCommand->add_option(
        "--frames-dir", render.framesDir,
        "Run Zephrin headless and save its pictures here as numbered PNG files");
    renderCommand
        ->add_option("--frames-every", render.framesEvery, "Save every N-th picture (default 10)")
        ->check(CLI::PositiveNumber);

    std::vector<std::string> infoFiles;
    auto *infoCommand = app.add_subcommand(
        "info", "Describe files: plug-in, loading mode, format, duration, title");
    infoCommand->add_option("FILE", infoFiles, "Files to describe");

    auto *pluginsCommand = app.add_subcommand("plugins", "List the plug-ins and their descriptors");

    for (auto *command : {playCommand, renderCommand, infoCommand, pluginsCommand})
        command->fallthrough();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        return app.exit(error);
    }
    if (!pluginDir.empty()) {
        places.pluginDir = pluginDir;
        ovSetLibraryPath(pluginDir.c_str());
    }

    int status = 0;
    try {
        if (*playCommand)
            status = runPlay(places, play);
        else if (*renderCommand)
            status = runRender(places, render);
        else if (*infoCommand)
            status = runInfo(places, infoFiles);
        else
            status = runPlugins(places);
    } catch (const HostError &error) {
        std::fflush(stdout);
        reportError(error.what());
        status = error.exitStatus();
    } catch (const std::exception &error) {
        std::fflush(stdout);
        reportError(std::string("stopped: ") + error.what());
        status = 1;
    }
    ovExpungeLibraries();
    return checkNothingLeft(status);
}

} // namespace orvane

int main(int argc, char **argv) { return orvane::main(argc, argv); }
