// ovplugins: lists player plug-ins with every field of their descriptors.
// The files are opened by the host's own plug-in set (OpenLibrary, the
// interface "main", AnnouncePlayer) so the listing shows what the host sees,
// and a file the host cannot use is listed with the host's reason.
//
//   ovplugins                 every *.ovplug beside this program
//   ovplugins FOLDER|FILE...  the plug-ins in those folders, or those files

#include "host/input/descriptor_text.h"
#include "host/input/plugins.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

// An encoder option of the descriptor's encoder block: its word and text.
std::string optionText(const struct EncoderOption &option)
{
    std::string text = option.Text != nullptr ? orvane::fieldText(option.Text, 64) : "(none)";
    return "word " + std::to_string(option.One) + ", text " + text;
}

// The library's version and ID string and the interface's slot count.
std::vector<orvane::DescribedField> libraryFields(const orvane::LoadedPlugin &plugin)
{
    const struct Library &base = plugin.library();
    std::string idString = base.lib_IdString != nullptr ? base.lib_IdString : "";
    while (!idString.empty() && (idString.back() == '\n' || idString.back() == '\r'))
        idString.pop_back();
    const size_t slots = plugin.iface()->Data.PositiveSize / sizeof(void *);
    return {{"library", std::to_string(base.lib_Version) + "." + std::to_string(base.lib_Revision) +
                            " " + idString},
            {"slots", std::to_string(slots)}};
}

// The descriptor's fields as orvane shows them, with the flags and, for a
// plug-in that encodes, its encoder options.
std::vector<orvane::DescribedField> descriptorDetail(const orvane::LoadedPlugin &plugin)
{
    const struct PlayerInfo &info = plugin.info();
    std::vector<orvane::DescribedField> fields = orvane::descriptorFields(info, plugin.encodes());
    char flags[8];
    std::snprintf(flags, sizeof flags, "0x%02X", info.Flags);
    fields.push_back({"flags", flags});
    // Only a plug-in whose interface carries the encoder slots has the
    // encoder block after its descriptor.
    if (plugin.encodes()) {
        const auto &encoder = reinterpret_cast<const struct EncoderPlayerInfo &>(info);
        fields.push_back({"quality", optionText(encoder.Quality)});
        fields.push_back({"format", optionText(encoder.Format)});
    }
    return fields;
}

// One file of the listing: the plug-in the host made of it, or why none.
struct Entry {
    std::filesystem::path file;
    const orvane::LoadedPlugin *plugin = nullptr;
    std::string whyNot;
};

// Lists one file; returns false when the host cannot use it.
bool list(const Entry &entry)
{
    std::printf("%s\n", entry.file.string().c_str());
    if (entry.plugin == nullptr) {
        std::printf("  cannot be loaded: %s\n", entry.whyNot.c_str());
        return false;
    }
    std::printf("%s%s", orvane::formatFields(libraryFields(*entry.plugin)).c_str(),
                orvane::formatFields(descriptorDetail(*entry.plugin)).c_str());
    return true;
}

// Lists the plug-in files of a folder in name order, usable or not; counts
// them into `found`. Returns false when one cannot be used.
bool listFolder(const std::filesystem::path &folder, size_t &found)
{
    const orvane::PluginSet set(folder);
    std::vector<Entry> entries;
    for (const auto &plugin : set.plugins())
        entries.push_back({plugin->file(), plugin.get(), {}});
    for (const auto &[name, whyNot] : set.unusable())
        entries.push_back({folder / name, nullptr, whyNot});
    std::sort(entries.begin(), entries.end(),
              [](const Entry &a, const Entry &b) { return a.file < b.file; });
    bool allListed = true;
    for (const Entry &entry : entries)
        allListed = list(entry) && allListed;
    found += entries.size();
    return allListed;
}

// Lists one file named on the command line.
bool listFile(const std::filesystem::path &file)
{
    std::string whyNot;
    std::unique_ptr<orvane::LoadedPlugin> plugin = orvane::LoadedPlugin::open(file, whyNot);
    bool listed = list({file, plugin.get(), whyNot});
    plugin.reset();
    ovExpungeLibraries();
    return listed;
}

} // namespace

int main(int argc, char **argv)
{
    size_t found = 0;
    bool allListed = true;
    if (argc < 2) {
        const std::string searchPath = ovGetLibraryPath();
        for (size_t start = 0; start <= searchPath.size();) {
            size_t end = std::min(searchPath.find(':', start), searchPath.size());
            allListed = listFolder(searchPath.substr(start, end - start), found) && allListed;
            start = end + 1;
        }
    } else {
        for (int i = 1; i < argc; i++) {
            if (std::filesystem::is_directory(argv[i])) {
                allListed = listFolder(argv[i], found) && allListed;
            } else {
                allListed = listFile(argv[i]) && allListed;
                found++;
            }
        }
    }
    if (found == 0) {
        std::fprintf(stderr, "ovplugins: no plug-ins found\n");
        return 1;
    }
    return allListed ? 0 : 1;
}
