// ovplugins: lists player plug-ins with every field of their descriptors.
// Each file is opened the way the host opens it (OpenLibrary, the interface
// "main", AnnouncePlayer) so the listing shows what a host would see.
//
//   ovplugins                 every *.ovplug beside this program
//   ovplugins FOLDER|FILE...  the plug-ins in those folders, or those files

#include "frame/ovplug.h"
#include "host/descriptor_text.h"
#include "platform/exec.h"
#include "platform/loadable_file.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// The host version this listing announces itself with; both plug-ins answer it.
constexpr uint32 kHostVersion = 10400;

// An encoder option of the descriptor's encoder block: its word and text.
std::string optionText(const struct EncoderOption &option)
{
    std::string text = option.Text != nullptr ? orvane::fieldText(option.Text, 64) : "(none)";
    return "word " + std::to_string(option.One) + ", text " + text;
}

// The descriptor's fields as orvane shows them, with the flags and, for a
// plug-in that encodes, its encoder options.
std::vector<orvane::DescribedField> descriptorDetail(const struct PlayerInfo &info, bool encodes)
{
    std::vector<orvane::DescribedField> fields = orvane::descriptorFields(info, encodes);
    char flags[8];
    std::snprintf(flags, sizeof flags, "0x%02X", info.Flags);
    fields.push_back({"flags", flags});
    // Only a plug-in whose interface carries the encoder slots has the
    // encoder block after its descriptor.
    if (encodes) {
        const auto &encoder = reinterpret_cast<const struct EncoderPlayerInfo &>(info);
        fields.push_back({"quality", optionText(encoder.Quality)});
        fields.push_back({"format", optionText(encoder.Format)});
    }
    return fields;
}

// Lists one plug-in file; returns false when it could not be opened or
// gave no descriptor.
bool listPlugin(const std::string &path)
{
    struct ExecIFace *IExec = ovExecInterface();
    std::printf("%s\n", path.c_str());
    if (std::string fault = ov::loadableFileFault(path.c_str()); !fault.empty()) {
        std::printf("  cannot be loaded: %s\n", fault.c_str());
        return false;
    }
    struct Library *base = IExec->OpenLibrary(IExec, path.c_str(), 1);
    if (base == nullptr) {
        std::printf("  cannot be opened as a plug-in library\n");
        return false;
    }
    std::string idString = base->lib_IdString != nullptr ? base->lib_IdString : "";
    while (!idString.empty() && (idString.back() == '\n' || idString.back() == '\r'))
        idString.pop_back();
    std::vector<orvane::DescribedField> library{
        {"library", std::to_string(base->lib_Version) + "." + std::to_string(base->lib_Revision) +
                        " " + idString}};
    auto *main = reinterpret_cast<struct OVPlugIFace *>(
        IExec->GetInterface(IExec, base, "main", 1, nullptr));
    bool listed = false;
    if (main == nullptr) {
        std::printf("%s  has no interface \"main\"\n", orvane::formatFields(library).c_str());
    } else {
        const size_t slots = main->Data.PositiveSize / sizeof(void *);
        library.push_back({"slots", std::to_string(slots)});
        std::printf("%s", orvane::formatFields(library).c_str());
        const struct PlayerInfo *info = main->AnnouncePlayer(main, kHostVersion);
        if (info == nullptr) {
            std::printf("  announces nothing to host version %u\n", kHostVersion);
        } else {
            std::printf("%s",
                        orvane::formatFields(descriptorDetail(*info, slots >= OVPLUG_ENCODER_SLOTS))
                            .c_str());
            listed = true;
        }
        IExec->DropInterface(IExec, reinterpret_cast<struct Interface *>(main));
    }
    IExec->CloseLibrary(IExec, base);
    ovExpungeLibraries();
    return listed;
}

std::vector<std::string> pluginsIn(const std::filesystem::path &folder)
{
    std::vector<std::string> files;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().extension() == ".ovplug")
            files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> files;
    if (argc < 2) {
        const std::string searchPath = ovGetLibraryPath();
        for (size_t start = 0; start <= searchPath.size();) {
            size_t end = std::min(searchPath.find(':', start), searchPath.size());
            auto found = pluginsIn(searchPath.substr(start, end - start));
            files.insert(files.end(), found.begin(), found.end());
            start = end + 1;
        }
    } else {
        for (int i = 1; i < argc; i++) {
            if (std::filesystem::is_directory(argv[i])) {
                auto found = pluginsIn(argv[i]);
                files.insert(files.end(), found.begin(), found.end());
            } else {
                files.push_back(argv[i]);
            }
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "ovplugins: no plug-ins found\n");
        return 1;
    }
    bool allListed = true;
    for (const std::string &file : files)
        allListed = listPlugin(file) && allListed;
    return allListed ? 0 : 1;
}
