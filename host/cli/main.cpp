/*
 * orvane: plays, renders and describes music files through the Orvane
 * plug-ins, and serves the visualiser's port.
 */
#include "host/cli/commands.h"
#include "host/cli/console.h"
#include "host/host_error.h"

#include "platform/platform.h"
#include "platform/testing.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string_view>

namespace orvane {

namespace {

std::filesystem::path programFolder()
{
    std::error_code error;
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::current_path() : self.parent_path();
}

/* The plug-ins, Zephrin and the demo song: beside the program in a build
 * folder, in the library folder the install put them in otherwise. */
std::filesystem::path companionFolder()
{
    const std::filesystem::path program = programFolder();
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(program, error)) {
        if (entry.path().extension() == ".ovplug")
            return program;
    }
    const std::filesystem::path installed = program / OV_INSTALLED_COMPANIONS;
    return std::filesystem::is_directory(installed, error) ? installed.lexically_normal() : program;
}

/* The first word that is no option must name a command. CLI11 would call
 * it an unexpected argument; this says what it is and what the commands
 * are. Empty when the command line is fine in that respect. */
std::string unknownCommand(int argc, char **argv)
{
    for (int i = 1; i < argc; i++) {
        std::string_view word = argv[i];
        if (word == "--plugin-dir") {
            i++;
            continue;
        }
        if (word.starts_with("-"))
            continue;
        std::string list;
        for (const Command &command : commandTable()) {
            if (word == command.name)
                return {};
            list += (list.empty() ? "" : ", ") + std::string(command.name);
        }
        return "unknown command '" + std::string(word) + "'; the commands are " + list;
    }
    return {};
}

/* Standard output that could not all be written (a full disk, a closed
 * file) fails the command: one line, status 1 unless it already failed. */
int checkOutputWritten(int status)
{
    const bool flushed = std::fflush(stdout) == 0;
    const int error = errno;
    std::cout.flush();
    if (flushed && !std::ferror(stdout) && std::cout.good())
        return status;
    reportError(std::string("cannot write to standard output") +
                (flushed ? "" : std::string(": ") + std::strerror(error)));
    return status == 0 ? 1 : status;
}

/* A mistake on the command line: one line naming the program, status 1. */
int reportParseError(CLI::App &app, const CLI::ParseError &error)
{
    if (error.get_exit_code() == 0)
        return checkOutputWritten(app.exit(error)); /* --help, --version */
    reportError(std::string(error.what()) + " (see orvane --help)");
    return 1;
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
  orvane render song.mod --seconds 60 --stereo 60 --gain -3 -o song.flac
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
  orvane info song.mod                       plug-in, rate, channels, duration, title
  orvane plugins --plugin-dir build/bin      what each plug-in says about itself

Exit status: 0 done, 1 failed (one line on standard error says why; with several
  files, the others are still rendered), 2 cut short: a render at a size limit (an
  AIFF file holds under 2 GB of sound; the file is kept), or an AIFF input that ended
  before the sound it claims, 130 play stopped by Ctrl-C. A render stopped by
  Ctrl-C, SIGTERM, SIGHUP or SIGQUIT ends by that signal and leaves no part of a
  file behind
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

/* The program's own options, its help, and a subcommand per command. */
void describe(CLI::App &app, std::string &pluginDir, CommandOptions &options)
{
    app.footer(kExamples);
    app.require_subcommand(1);
    app.set_version_flag("--version", "orvane " OV_VERSION);
    app.add_option("--plugin-dir", pluginDir,
                   "Folder of the *.ovplug plug-ins (default: the program's folder)")
        ->check(CLI::ExistingDirectory);
    for (const Command &command : commandTable()) {
        CLI::App *sub = app.add_subcommand(std::string(command.name), std::string(command.summary));
        command.addOptions(*sub, options);
        sub->fallthrough();
    }
}

/* Runs the command the command line chose; a failure that stops it is
 * reported here. */
int run(const CLI::App &app, const Places &places, const CommandOptions &options)
{
    try {
        for (const Command &command : commandTable()) {
            if (*app.get_subcommand(std::string(command.name)))
                return command.run(places, options);
        }
    } catch (const HostError &error) {
        std::fflush(stdout);
        reportError(error.what());
        return error.exitStatus();
    } catch (const std::exception &error) {
        std::fflush(stdout);
        reportError(std::string("stopped: ") + error.what());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    Places places{companionFolder(), companionFolder()};
    std::string pluginDir;
    CommandOptions options;
    CLI::App app{"orvane: plays Protracker modules and AIFF files through the Orvane plug-ins",
                 "orvane"};
    describe(app, pluginDir, options);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        if (std::string unknown = unknownCommand(argc, argv); !unknown.empty()) {
            reportError(unknown);
            return 1;
        }
        return reportParseError(app, error);
    }
    if (!pluginDir.empty()) {
        places.pluginDir = pluginDir;
        ovSetLibraryPath(pluginDir.c_str());
    }
    const int status = run(app, places, options);
    ovExpungeLibraries();
    return exitStatusOrSignal(checkNothingLeft(checkOutputWritten(status)));
}

} // namespace orvane

int main(int argc, char **argv) { return orvane::main(argc, argv); }
