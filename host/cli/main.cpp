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

#include <algorithm>
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

std::string commandList()
{
    std::string list;
    for (const Command &command : commandTable())
        list += (list.empty() ? "" : ", ") + std::string(command.name);
    return list;
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
        for (const Command &command : commandTable()) {
            if (word == command.name)
                return {};
        }
        return "unknown command '" + std::string(word) + "'; the commands are " + commandList();
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

/* The words after CLI11's own start `prefix`, or empty. */
std::string after(const std::string &text, const std::string &prefix)
{
    return text.starts_with(prefix) ? text.substr(prefix.size()) : std::string();
}

/* CLI11's wording of a mistake put in the player's own words. */
std::string ownWords(const CLI::ParseError &error, const std::string &commands)
{
    const std::string text = error.what();
    if (text == "A subcommand is required")
        return "give a command: " + commands;
    if (text.starts_with("FILE is required"))
        return "give at least one FILE";
    if (std::string extra = after(text, "The following argument was not expected: ");
        !extra.empty())
        return "'" + extra + "' is no option or file here";
    if (std::string extras = after(text, "The following arguments were not expected: ");
        !extras.empty())
        return "'" + extras + "' are no options or files here";
    if (const size_t missing = text.find(": 1 required");
        missing != std::string::npos && text.ends_with("missing"))
        return text.substr(0, missing) + " needs a value";
    if (const size_t excludes = text.find(" excludes "); excludes != std::string::npos)
        return text.substr(0, excludes) + " and " +
               text.substr(text.find_first_not_of(' ', excludes + 9)) +
               " cannot be given together (one excludes the other)";
    return text;
}

/* A mistake on the command line: one line naming the program, status 1. */
int reportParseError(CLI::App &app, const CLI::ParseError &error)
{
    if (error.get_exit_code() == 0)
        return checkOutputWritten(app.exit(error)); /* --help, --version */
    reportError(ownWords(error, commandList()) + " (see orvane --help)");
    return 1;
}

/* "--loop 2 song.mod" as people type it: the count joined to --loop when
 * it is a whole number and no file has that name; "--loop" alone stays
 * "forever". */
std::vector<std::string> joinLoopCounts(int argc, char **argv)
{
    std::vector<std::string> words(argv + 1, argv + argc);
    for (size_t i = 0; i + 1 < words.size(); i++) {
        const std::string &next = words[i + 1];
        std::error_code error;
        if (words[i] == "--loop" && !next.empty() &&
            next.find_first_not_of("0123456789") == std::string::npos &&
            !std::filesystem::exists(next, error)) {
            words[i] += "=" + next;
            words.erase(words.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        }
        if (words[i] == "--")
            break;
    }
    return words;
}

/* After the list of commands: what every command shares. */
const char *kFooter = R"(Each command's --help shows its options and examples
(orvane play --help, orvane render --help, ...).

Exit status:
  0 done, 1 failed (one line on standard error says why; with several files, the
  others are still rendered), 2 cut short: a render at a size limit (an AIFF file
  holds under 2 GB of sound; the file is kept), or an AIFF input that ended before
  the sound it claims, 130 play stopped by Ctrl-C. A render stopped by Ctrl-C,
  SIGTERM, SIGHUP or SIGQUIT ends by that signal and leaves no part of a file
  behind.

Environment:
  SDL_AUDIODRIVER   the sound device's driver for play (alsa, pulseaudio, ...)
  DISPLAY, WAYLAND_DISPLAY
                    where --visualise opens its window; without either, play goes
                    on without the visualiser
  OV_DISPLAY        headless keeps the visualiser's window unseen
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
    app.footer(kFooter);
    app.require_subcommand(1);
    app.set_version_flag("--version", "orvane " OV_VERSION);
    app.add_option("--plugin-dir", pluginDir,
                   "Folder of the *.ovplug plug-ins (default: the program's folder)")
        ->check(CLI::Validator(
            [](std::string &text) -> std::string {
                std::error_code error;
                return std::filesystem::is_directory(text, error) ? std::string()
                                                                  : "a folder, not '" + text + "'";
            },
            ""))
        ->type_name("DIR");
    for (const Command &command : commandTable()) {
        CLI::App *sub = app.add_subcommand(std::string(command.name), std::string(command.summary));
        command.addOptions(*sub, options);
        sub->footer(std::string(command.examples));
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
        std::vector<std::string> words = joinLoopCounts(argc, argv);
        std::reverse(words.begin(), words.end());
        app.parse(words);
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
