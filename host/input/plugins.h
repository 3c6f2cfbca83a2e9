/*
 * The plug-in libraries as the host holds them: each one opened through
 * exec, its interface "main" obtained and the host announced to it.
 */
#ifndef OV_HOST_PLUGINS_H
#define OV_HOST_PLUGINS_H

#include "frame/ovplug.h"
#include "host/input/formats.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace orvane {

/* Announced to every plug-in; both thresholds lie below it. */
constexpr uint32_t kHostVersion = 10400;

class LoadedPlugin {
public:
    /* Opens the library file and announces the host; on failure returns
     * null and says why in `whyNot`. */
    static std::unique_ptr<LoadedPlugin> open(const std::filesystem::path &file,
                                              std::string &whyNot);
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin &) = delete;
    LoadedPlugin &operator=(const LoadedPlugin &) = delete;

    struct OVPlugIFace *iface() const { return iface_; }
    const struct PlayerInfo &info() const { return *info_; }
    /* The library as exec opened it: version, revision, ID string. */
    const struct Library &library() const { return *base_; }
    const std::filesystem::path &file() const { return file_; }
    std::string fileName() const { return file_.filename().string(); }
    std::string name() const;
    /* The interface carries the encoder slots. */
    bool encodes() const;
    /* What the host knows of its format beyond the contract. */
    const Format &format() const { return *format_; }

private:
    LoadedPlugin() = default;
    std::filesystem::path file_;
    struct Library *base_ = nullptr;
    struct OVPlugIFace *iface_ = nullptr;
    const struct PlayerInfo *info_ = nullptr;
    const Format *format_ = nullptr;
};

/* The plug-in a file was recognised by, with the loading mode it asked for. */
struct Recognised {
    LoadedPlugin *plugin = nullptr;
    uint32_t loadMode = 0;
};

class PluginSet {
public:
    /* Opens every "*.ovplug" file in the folder, in name order. */
    explicit PluginSet(const std::filesystem::path &folder);
    /* Closes every library and lets the system unload them. */
    ~PluginSet();
    PluginSet(const PluginSet &) = delete;
    PluginSet &operator=(const PluginSet &) = delete;

    const std::vector<std::unique_ptr<LoadedPlugin>> &plugins() const { return plugins_; }
    /* Files that could not be used, with the reason. */
    const std::vector<std::pair<std::string, std::string>> &unusable() const { return unusable_; }
    const std::filesystem::path &folder() const { return folder_; }

    /* Asks each plug-in's TestPlayer about the file's first bytes. */
    Recognised recognise(std::span<const uint8_t> head) const;

private:
    std::filesystem::path folder_;
    std::vector<std::unique_ptr<LoadedPlugin>> plugins_;
    std::vector<std::pair<std::string, std::string>> unusable_;
};

} // namespace orvane

#endif
