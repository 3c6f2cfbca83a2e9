/* orvane info and orvane plugins: what the plug-ins say about files and
 * about themselves. */
#include "commands.h"
#include "host_error.h"
#include "plugins.h"
#include "stream.h"

#include <cstdio>

namespace orvane {

namespace {

std::string loadingText(uint32_t mode)
{
    switch (mode) {
    case LOADMODE_BY_NAME:
        return "1 (the plug-in reads the file)";
    case LOADMODE_IN_MEMORY:
        return "2 (the whole file in memory)";
    default:
        return std::to_string(mode);
    }
}

std::string versionText(uint32_t version)
{
    return std::to_string(version / 10000) + "." + std::to_string(version / 100 % 100) + " (" +
           std::to_string(version) + ")";
}

/* Continuation lines of a multi-line field, indented under its first. */
std::string indented(const std::string &text, const std::string &indent)
{
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        out += text[i];
        bool lineFollows = text[i] == '\n' && i + 1 < text.size() && text[i + 1] != '\n';
        if (lineFollows)
            out += indent;
    }
    return out;
}

void printInfo(const PlayerSession &session, const std::filesystem::path &file)
{
    std::printf("%s\n", file.string().c_str());
    std::printf("  plug-in:  %s (%s)\n", session.plugin().name().c_str(), session.plugin().fileName().c_str());
    std::printf("  loading:  %s\n", loadingText(session.loadMode()).c_str());
    std::printf("  rate:     %u Hz\n", session.rate());
    std::printf("  channels: %u\n", session.channels());
    if (session.endless())
        std::printf("  duration: endless\n");
    else if (!session.durationKnown())
        std::printf("  duration: unknown\n");
    else
        std::printf("  duration: %u ms\n", session.durationMs());
    if (session.loadMode() == LOADMODE_IN_MEMORY)
        std::printf("  title:    %s\n", session.title().c_str());
    if (!session.playable())
        std::printf("  playable: no (%s)\n", session.whyUnplayable().c_str());
}

} // namespace

int runInfo(const Places &places, const std::vector<std::string> &files)
{
    PluginSet plugins(places.pluginDir);
    int status = 0;
    for (const auto &file : places.filesOrDemo(files)) {
        try {
            PlayerSession session(plugins, file);
            printInfo(session, file);
            session.requirePlayable();
        } catch (const HostError &error) {
            std::fflush(stdout);
            reportError(error.what());
            status = error.exitStatus();
        }
    }
    return status;
}

int runPlugins(const Places &places)
{
    PluginSet plugins(places.pluginDir);
    if (plugins.plugins().empty() && plugins.unusable().empty())
        throw HostError("no plug-ins found in '" + places.pluginDir.string() + "'");
    for (const auto &plugin : plugins.plugins()) {
        const struct PlayerInfo &info = plugin->info();
        std::string extension = fieldText(info.Extension, PLAYERINFO_EXTENSION_LEN);
        std::printf("%s\n", plugin->fileName().c_str());
        std::printf("  name:        %s\n", plugin->name().c_str());
        std::printf("  author:      %s\n",
                    indented(fieldText(info.Author, PLAYERINFO_AUTHOR_LEN), "               ").c_str());
        std::printf("  description: %s\n", fieldText(info.Description, PLAYERINFO_DESCRIPTION_LEN).c_str());
        std::printf("  extension:   %s\n", extension.empty() ? "(none)" : extension.c_str());
        std::printf("  loading:     %s\n", loadingText(info.LoadMode).c_str());
        std::printf("  version:     %s\n", versionText(info.PluginVersion).c_str());
        std::printf("  interface:   %s\n", versionText(info.InterfaceVersion).c_str());
        std::printf("  encodes:     %s\n", plugin->encodes() ? "yes" : "no");
    }
    for (const auto &[file, reason] : plugins.unusable())
        std::printf("%s\n  not usable: %s\n", file.c_str(), reason.c_str());
    return 0;
}

} // namespace orvane
