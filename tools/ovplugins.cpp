// ovplugins: lists player plug-ins with every field of their descriptors.
// Each file is opened the way the host opens it (OpenLibrary, the interface
// "main", AnnouncePlayer) so the listing shows what a host would see.
//
//   ovplugins                 every *.ovplug beside this program
//   ovplugins FOLDER|FILE...  the plug-ins in those folders, or those files

#include "frame/ovplug.h"
#include "platform/exec.h"
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

// A descriptor text field, which need not be NUL-terminated within its width,
// as a quoted one-line string.
std::string quoted(const char *text, size_t width)
{
    std::string out = "\"";
    for (size_t i = 0; i < width && text[i] != '\0'; i++) {
        const char c = text[i];
        if (c == '\n')
            out += "\\n";
        else if (c == '"' || c == '\\')
            out += std::string("\\") + c;
        else
            out += c;
    }
    return out + "\"";
}

const char *loadModeName(uint8 mode)
{
    switch (mode) {
    case LOADMODE_BY_NAME:
        return "the plug-in opens the file by name";
    case LOADMODE_IN_MEMORY:
        return "the host reads the file into memory";
    default:
        return "unknown";
    }
}

std::string versionText(uint32 version)
{
    return std::to_string(version / 10000) + "." + std::to_string(version / 100 % 100);
}

void printOption(const char *label, const struct EncoderOption &option)
{
    std::printf("  %-17s word %u, text %s\n", label, static_cast<unsigned>(option.One),
                option.Text != nullptr ? quoted(option.Text, 64).c_str() : "(none)");
}

void printDescriptor(const struct PlayerInfo &info, bool encodes)
{
    std::printf("  %-17s %s\n", "Name:", quoted(info.Name, PLAYERINFO_NAME_LEN).c_str());
    std::printf("  %-17s %s\n", "Author:", quoted(info.Author, PLAYERINFO_AUTHOR_LEN).c_str());
    std::printf("  %-17s %s\n", "Description:",
                quoted(info.Description, PLAYERINFO_DESCRIPTION_LEN).c_str());
    std::printf("  %-17s %s\n", "Extension:",
                quoted(info.Extension, PLAYERINFO_EXTENSION_LEN).c_str());
    std::printf("  %-17s %u (%s)\n", "LoadMode:", info.LoadMode, loadModeName(info.LoadMode));
    std::printf("  %-17s 0x%02X\n", "Flags:", info.Flags);
    std::printf("  %-17s %u (%s)\n", "PluginVersion:", static_cast<unsigned>(info.PluginVersion),
                versionText(info.PluginVersion).c_str());
    std::printf("  %-17s %u\n", "InterfaceVersion:", static_cast<unsigned>(info.InterfaceVersion));
    if (!encodes) {
        std::printf("  %-17s no\n", "Encoder:");
        return;
    }
    // Only a plug-in whose interface carries the encoder slots has the
    // encoder block after its descriptor.
    const auto &encoder = reinterpret_cast<const struct EncoderPlayerInfo &>(info);
    std::printf("  %-17s yes\n", "Encoder:");
    printOption("Quality option:", encoder.Quality);
    printOption("Format option:", encoder.Format);
}

// Lists one plug-in file; returns false when it could not be opened or
// gave no descriptor.
bool listPlugin(const std::string &path)
{
    struct ExecIFace *IExec = AbsExecBase->MainInterface;
    std::printf("%s\n", path.c_str());
    struct Library *base = IExec->OpenLibrary(IExec, path.c_str(), 1);
    if (base == nullptr) {
        std::printf("  cannot be opened as a plug-in library\n");
        return false;
    }
    std::string idString = base->lib_IdString != nullptr ? base->lib_IdString : "";
    while (!idString.empty() && (idString.back() == '\n' || idString.back() == '\r'))
        idString.pop_back();
    std::printf("  %-17s %u.%u %s\n", "Library:", base->lib_Version, base->lib_Revision,
                quoted(idString.c_str(), idString.size()).c_str());
    auto *main = reinterpret_cast<struct OVPlugIFace *>(
        IExec->GetInterface(IExec, base, "main", 1, nullptr));
    bool listed = false;
    if (main == nullptr) {
        std::printf("  has no interface \"main\"\n");
    } else {
        const size_t slots = main->Data.PositiveSize / sizeof(void *);
        std::printf("  %-17s %zu\n", "Slots:", slots);
        const struct PlayerInfo *info = main->AnnouncePlayer(main, kHostVersion);
        if (info == nullptr) {
            std::printf("  announces nothing to host version %u\n", kHostVersion);
        } else {
            printDescriptor(*info, slots >= OVPLUG_ENCODER_SLOTS);
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
