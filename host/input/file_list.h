/*
 * The files a command's arguments stand for: a file as given, a folder for
 * the files under it that a loaded plug-in recognises (sorted, every
 * level), an M3U playlist (.m3u, .m3u8) for the files it lists.
 */
#ifndef OV_HOST_FILE_LIST_H
#define OV_HOST_FILE_LIST_H

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace orvane {

class PluginSet;

struct FileList {
    std::vector<std::filesystem::path> files;
    /* One line each: a playlist or entry that could not be read, a link
     * back into a folder above it. What they name is left out. */
    std::vector<std::string> problems;
    /* Files under the folders given that no plug-in recognises. */
    size_t skipped = 0;
};

/* A name ending in .m3u or .m3u8, in any case. */
bool isPlaylist(const std::filesystem::path &file);

/* Expands the arguments in order; a file named on its own is kept as given,
 * to be judged when it is opened. The folder `leaveOut` (a render's output
 * folder) is not looked into. */
FileList expandFiles(const std::vector<std::string> &arguments, const PluginSet &plugins,
                     const std::filesystem::path &leaveOut = {});

} // namespace orvane

#endif
