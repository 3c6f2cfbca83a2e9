/* orvane info and orvane plugins: what the plug-ins say about files and
 * about themselves. */
#include "host/cli/commands.h"
#include "host/host_error.h"
#include "host/input/descriptor_text.h"
#include "host/input/plugins.h"
#include "host/input/song_length.h"
#include "host/input/stream.h"

#include <cstdio>
#include <optional>

namespace orvane {

namespace {

void printInfo(const PlayerSession &session, const std::filesystem::path &file)
{
    std::printf("%s\n", file.string().c_str());
    std::printf("  plug-in:  %s (%s)\n", session.plugin().name().c_str(),
                session.plugin().fileName().c_str());
    std::printf("  loading:  %s\n", loadingText(session.loadMode()).c_str());
    std::printf("  rate:     %u Hz\n", session.rate());
    std::printf("  channels: %u\n", session.channels());
    if (session.endless()) {
        std::optional<uint64_t> frames = songFrames(session, 1);
        std::printf("  duration: %s\n",
                    frames ? durationText(*frames, session.rate()).c_str() : "endless");
    } else if (!session.durationKnown())
        std::printf("  duration: unknown\n");
    else
        std::printf("  duration: %u ms\n", session.durationMs());
    if (session.loadMode() == LOADMODE_IN_MEMORY)
        std::printf("  title:    %s\n", session.title().c_str());
}

/* What the format's own reader found in the file, after what its plug-in
 * says. */
void printDetails(const PlayerSession &session)
{
    std::fputs(session.facts().details.c_str(), stdout);
    if (session.playable())
        std::printf("  playable: yes\n");
    else
        std::printf("  playable: no (%s)\n", session.whyUnplayable().c_str());
}

} // namespace

int runInfo(const Places &places, const std::vector<std::string> &files)
{
    PluginSet plugins(places.pluginDir);
    const Inputs inputs = places.filesOrDemo(files, plugins);
    const std::vector<std::filesystem::path> &paths = inputs.files;
    auto describe = [&](size_t index) {
        PlayerSession session(plugins, paths[index]);
        printInfo(session, paths[index]);
        printDetails(session);
        session.requirePlayable();
        return FileOutcome{};
    };
    return inputs.status(eachFile(paths.size(), describe, Failures::Replace).status);
}

int runPlugins(const Places &places)
{
    PluginSet plugins(places.pluginDir);
    if (plugins.plugins().empty() && plugins.unusable().empty())
        throw HostError("no plug-ins found in '" + places.pluginDir.string() + "'");
    for (const auto &plugin : plugins.plugins()) {
        std::printf("%s\n%s", plugin->fileName().c_str(),
                    formatFields(descriptorFields(plugin->info(), plugin->encodes())).c_str());
    }
    for (const auto &[file, reason] : plugins.unusable())
        std::printf("%s\n  not usable: %s\n", file.c_str(), reason.c_str());
    return 0;
}

} // namespace orvane
