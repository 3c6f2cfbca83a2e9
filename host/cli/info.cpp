/* orvane info and orvane plugins: what the plug-ins say about files and
 * about themselves. */
#include "host/cli/commands.h"
#include "host/host_error.h"
#include "host/input/descriptor_text.h"
#include "host/input/plugins.h"
#include "host/input/song_length.h"
#include "host/input/stream.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <utility>

namespace orvane {

namespace {

/* Keys in the order they are set: the file's name first. */
using Json = nlohmann::ordered_json;

/* Stored text read as ISO-8859-1, as the Amiga wrote it, in UTF-8. */
std::string latin1(const std::string &text)
{
    std::string out;
    for (char byte : text) {
        auto c = static_cast<unsigned char>(byte);
        if (c < 0x80) {
            out += byte;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

Json moduleJson(const ModuleDetails &module)
{
    Json samples = Json::array();
    for (const ModuleSample &sample : module.samples)
        samples.push_back({{"number", sample.number},
                           {"name", latin1(sample.name)},
                           {"sound", sample.length != 0},
                           {"length", sample.length},
                           {"loop_start", sample.loopStart},
                           {"loop_length", sample.loopLength},
                           {"volume", sample.volume},
                           {"finetune", sample.finetune}});
    return {{"title", latin1(module.title)}, {"tracks", module.channels},
            {"speed", module.speed},         {"tempo", module.tempo},
            {"orders", module.songLength},   {"restart", module.restart},
            {"patterns", module.patterns},   {"samples", samples}};
}

/* The size of a regular file; nullopt for a pipe or a device. */
std::optional<uintmax_t> fileBytes(const std::filesystem::path &file)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        return std::nullopt;
    const uintmax_t bytes = std::filesystem::file_size(file, error);
    return error ? std::nullopt : std::optional<uintmax_t>(bytes);
}

/* The file's name as JSON: its bytes (written out with U+FFFD where they
 * are not UTF-8), and those bytes in hex too when they are not. */
Json namedFile(const std::filesystem::path &file)
{
    const std::string name = file.string();
    Json object = {{"file", name}};
    try {
        (void)object.dump();
    } catch (const Json::type_error &) {
        std::string hex;
        for (unsigned char c : name) {
            char digits[3];
            std::snprintf(digits, sizeof digits, "%02x", c);
            hex += digits;
        }
        object["file_hex"] = hex;
    }
    return object;
}

/* What info shows of the file, as one JSON object. */
Json infoJson(const PlayerSession &session, const std::filesystem::path &file)
{
    Json object = namedFile(file);
    object["plugin"] = session.plugin().name();
    object["plugin_file"] = session.plugin().fileName();
    object["loading"] = session.loadMode();
    object["rate"] = session.rate();
    object["channels"] = session.channels();
    if (std::optional<uintmax_t> bytes = fileBytes(file))
        object["bytes"] = *bytes;
    Json seconds = nullptr;
    if (session.endless()) {
        if (std::optional<uint64_t> frames = songFrames(session, 1))
            seconds = static_cast<double>(*frames) / session.rate();
    } else if (session.durationKnown()) {
        seconds = session.durationMs() / 1000.0;
    }
    object["seconds"] = seconds;
    if (const std::optional<ModuleDetails> &module = session.facts().module)
        object.update(moduleJson(*module));
    if (const std::optional<AiffDetails> &aiff = session.facts().aiff)
        object.update({{"bits", aiff->bits}, {"frames", aiff->frames}});
    object["playable"] = session.playable();
    if (!session.playable())
        object["why_unplayable"] = session.whyUnplayable();
    return object;
}

void printInfo(const PlayerSession &session, const std::filesystem::path &file)
{
    std::printf("%s\n", file.string().c_str());
    std::printf("  plug-in:  %s (%s)\n", session.plugin().name().c_str(),
                session.plugin().fileName().c_str());
    std::printf("  loading:  %s\n", loadingText(session.loadMode()).c_str());
    std::printf("  rate:     %u Hz\n", session.rate());
    std::printf("  channels: %u\n", session.channels());
    if (std::optional<uintmax_t> bytes = fileBytes(file))
        std::printf("  size:     %ju bytes\n", *bytes);
    if (session.endless()) {
        std::optional<uint64_t> frames = songFrames(session, 1);
        std::printf("  duration: %s\n",
                    frames ? durationText(*frames, session.rate()).c_str() : "endless");
    } else if (!session.durationKnown())
        std::printf("  duration: unknown\n");
    else
        std::printf("  duration: %s\n", durationText(session.durationMs(), 1000).c_str());
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

/* Bytes a text from a file cannot hold in UTF-8 become U+FFFD. */
void printJson(const Json &json)
{
    std::printf("%s\n", json.dump(2, ' ', false, Json::error_handler_t::replace).c_str());
}

} // namespace

int runInfo(const Places &places, const std::vector<std::string> &files, bool json)
{
    PluginSet plugins(places.pluginDir);
    Inputs inputs;
    try {
        inputs = places.filesOrDemo(files, plugins);
    } catch (const HostError &error) {
        /* Nothing to describe (a playlist of itself alone, an empty folder):
         * a script still reads valid JSON that carries the reason. */
        if (json) {
            Json failed = files.size() == 1 ? namedFile(files.front()) : Json::object();
            failed["error"] = error.what();
            printJson(Json::array({failed}));
        }
        throw;
    }
    const std::vector<std::filesystem::path> &paths = inputs.files;
    Json described = Json::array();
    auto describe = [&](size_t index) {
        const std::filesystem::path &file = paths[index];
        if (!json) {
            PlayerSession session(plugins, file);
            printInfo(session, file);
            printDetails(session);
            session.requirePlayable();
            return FileOutcome{};
        }
        /* A file that fails is described by its reason alone; one that
         * opens but cannot be played keeps its facts. */
        bool opened = false;
        try {
            PlayerSession session(plugins, file);
            described.push_back(infoJson(session, file));
            opened = true;
            session.requirePlayable();
        } catch (const HostError &error) {
            if (!opened) {
                Json failed = namedFile(file);
                failed["error"] = error.what();
                described.push_back(std::move(failed));
            }
            throw;
        }
        return FileOutcome{};
    };
    const int status = inputs.status(eachFile(paths.size(), describe, Failures::Replace).status);
    if (json)
        printJson(described);
    return status;
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
