#include "host/input/file_list.h"

#include "host/host_error.h"
#include "host/input/plugins.h"
#include "host/input/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <utility>

namespace orvane {

namespace {

/* A playlist larger than this is refused rather than read into memory. */
constexpr std::uintmax_t kLargestPlaylist = 16u << 20;
/* Playlists within playlists, and folders within folders, go no deeper. */
constexpr size_t kDeepest = 64;

using Identity = std::pair<dev_t, ino_t>;

class Expander {
public:
    Expander(const PluginSet &plugins, const std::filesystem::path &leaveOut)
        : plugins_(plugins), leaveOut_(leaveOut)
    {}

    void argument(const std::filesystem::path &name, bool listed)
    {
        std::error_code error;
        const auto status = std::filesystem::status(name, error);
        if (std::filesystem::is_directory(status))
            return folder(name);
        if (isPlaylist(name) && std::filesystem::exists(status))
            return playlist(name);
        if (listed && !std::filesystem::is_regular_file(status))
            return problem(quoted(name) + (std::filesystem::exists(status)
                                               ? ": not a regular file; skipped"
                                               : ": no such file; skipped"));
        list_.files.push_back(name);
    }

    FileList take() { return std::move(list_); }

private:
    void problem(std::string line) { list_.problems.push_back(std::move(line)); }

    /* Every file under the folder that a plug-in recognises, sorted. A
     * folder reached again through a link is listed once; one that leads
     * back above itself is reported. */
    void folder(const std::filesystem::path &top)
    {
        std::vector<std::filesystem::path> found;
        std::vector<Identity> above;
        seen_.clear();
        if (struct stat info{}; !leaveOut_.empty() && ::stat(leaveOut_.c_str(), &info) == 0)
            seen_.insert({info.st_dev, info.st_ino});
        walk(top, found, above);
        std::sort(found.begin(), found.end());
        list_.files.insert(list_.files.end(), found.begin(), found.end());
    }

    void walk(const std::filesystem::path &dir, std::vector<std::filesystem::path> &found,
              std::vector<Identity> &above)
    {
        struct stat info {};
        if (::stat(dir.c_str(), &info) != 0)
            return;
        const Identity identity{info.st_dev, info.st_ino};
        if (std::find(above.begin(), above.end(), identity) != above.end())
            return problem(quoted(dir) + ": a link back to a folder above it; skipped");
        if (!seen_.insert(identity).second)
            return;
        if (above.size() >= kDeepest)
            return problem(quoted(dir) + ": folders nested too deep; skipped");
        std::error_code error;
        std::filesystem::directory_iterator entries(dir, error);
        if (error)
            return problem(quoted(dir) + ": " + error.message() + "; skipped");
        above.push_back(identity);
        /* Stepping on reports an entry that cannot be read in `error`:
         * the folder's listing ends there. */
        for (; !error && entries != std::filesystem::directory_iterator();
             entries.increment(error)) {
            const std::filesystem::directory_entry &entry = *entries;
            std::error_code ignored;
            const auto status = entry.status(ignored);
            if (std::filesystem::is_directory(status))
                walk(entry.path(), found, above);
            else if (std::filesystem::is_regular_file(status) && recognised(entry.path()))
                found.push_back(entry.path());
            else
                list_.skipped++;
        }
        above.pop_back();
        if (error)
            problem(quoted(dir) + ": " + error.message() + "; the rest of it skipped");
    }

    /* Opened without waiting, so that a file that never answers (such as
     * one of /proc's) is not waited on: it has no first bytes. */
    bool recognised(const std::filesystem::path &file) const
    {
        const int descriptor = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (descriptor < 0)
            return false;
        std::vector<uint8_t> head(kRecogniseBytes);
        const ssize_t got = ::read(descriptor, head.data(), head.size());
        ::close(descriptor);
        head.resize(got > 0 ? static_cast<size_t>(got) : 0);
        return !head.empty() && plugins_.recognise(head).plugin != nullptr;
    }

    /* Each line that is not empty and not a "#" comment names a file,
     * relative to the playlist's own folder unless absolute. */
    void playlist(const std::filesystem::path &list)
    {
        std::error_code error;
        const std::filesystem::path identity = std::filesystem::weakly_canonical(list, error);
        if (std::find(open_.begin(), open_.end(), identity) != open_.end())
            return problem(quoted(list) + ": a playlist that includes itself; skipped");
        if (open_.size() >= kDeepest)
            return problem(quoted(list) + ": playlists nested too deep; skipped");
        if (!std::filesystem::is_regular_file(list, error))
            return problem(quoted(list) + ": not a regular file; skipped");
        if (std::filesystem::file_size(list, error) > kLargestPlaylist)
            return problem(quoted(list) + ": a playlist over 16 MiB; skipped");
        std::ifstream in(list, std::ios::binary);
        if (!in)
            return problem(quoted(list) + ": cannot be read; skipped");
        open_.push_back(identity);
        std::string line;
        for (bool first = true; std::getline(in, line); first = false) {
            if (first && line.rfind("\xEF\xBB\xBF", 0) == 0)
                line.erase(0, 3);
            while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
                line.pop_back();
            const size_t start = line.find_first_not_of(" \t");
            if (start == std::string::npos || line[start] == '#')
                continue;
            const std::filesystem::path entry = line.substr(start);
            argument(entry.is_absolute() ? entry : list.parent_path() / entry, true);
        }
        open_.pop_back();
    }

    const PluginSet &plugins_;
    const std::filesystem::path leaveOut_;
    FileList list_;
    std::set<Identity> seen_;
    std::vector<std::filesystem::path> open_; /* the playlists being read */
};

} // namespace

bool isPlaylist(const std::filesystem::path &file)
{
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".m3u" || extension == ".m3u8";
}

FileList expandFiles(const std::vector<std::string> &arguments, const PluginSet &plugins,
                     const std::filesystem::path &leaveOut)
{
    Expander expander(plugins, leaveOut);
    for (const std::string &argument : arguments)
        expander.argument(argument, false);
    return expander.take();
}

} // namespace orvane
