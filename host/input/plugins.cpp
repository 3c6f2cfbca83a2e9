#include "host/input/plugins.h"

#include "host/input/descriptor_text.h"

#include "platform/loadable_file.h"
#include "platform/platform.h"

#include <algorithm>

namespace orvane {

namespace {

constexpr const char *kPluginSuffix = ".ovplug";

} // namespace

std::unique_ptr<LoadedPlugin> LoadedPlugin::open(const std::filesystem::path &file,
                                                 std::string &whyNot)
{
    struct ExecIFace *IExec = ovExecInterface();
    std::unique_ptr<LoadedPlugin> plugin(new LoadedPlugin);
    plugin->file_ = file;
    whyNot = ov::loadableFileFault(file.c_str());
    if (!whyNot.empty())
        return nullptr;
    plugin->base_ = IExec->OpenLibrary(IExec, file.c_str(), 1);
    if (plugin->base_ == nullptr) {
        whyNot = "not a library the system can open";
        return nullptr;
    }
    plugin->iface_ = reinterpret_cast<struct OVPlugIFace *>(
        IExec->GetInterface(IExec, plugin->base_, "main", 1, nullptr));
    if (plugin->iface_ == nullptr ||
        plugin->iface_->Data.PositiveSize < OVPLUG_PLAYER_SLOTS * sizeof(void *)) {
        whyNot = "has no player interface \"main\"";
        return nullptr;
    }
    plugin->info_ = plugin->iface_->AnnouncePlayer(plugin->iface_, kHostVersion);
    if (plugin->info_ == nullptr) {
        whyNot = "refuses this host's version";
        return nullptr;
    }
    plugin->format_ = &formatOf(plugin->name());
    return plugin;
}

LoadedPlugin::~LoadedPlugin()
{
    struct ExecIFace *IExec = ovExecInterface();
    if (info_ != nullptr)
        iface_->ExitPlayer(iface_);
    if (iface_ != nullptr)
        IExec->DropInterface(IExec, reinterpret_cast<struct Interface *>(iface_));
    if (base_ != nullptr)
        IExec->CloseLibrary(IExec, base_);
}

std::string LoadedPlugin::name() const { return fieldText(info_->Name, PLAYERINFO_NAME_LEN); }

bool LoadedPlugin::encodes() const
{
    return iface_->Data.PositiveSize >= OVPLUG_ENCODER_SLOTS * sizeof(void *);
}

PluginSet::PluginSet(const std::filesystem::path &folder) : folder_(folder)
{
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().extension() == kPluginSuffix && entry.is_regular_file(error))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const auto &file : files) {
        std::string whyNot;
        if (auto plugin = LoadedPlugin::open(file, whyNot))
            plugins_.push_back(std::move(plugin));
        else
            unusable_.emplace_back(file.filename().string(), whyNot);
    }
}

PluginSet::~PluginSet()
{
    plugins_.clear();
    ovExpungeLibraries();
}

Recognised PluginSet::recognise(std::span<const uint8_t> head) const
{
    for (const auto &plugin : plugins_) {
        struct OVPlugIFace *iface = plugin->iface();
        int32 mode =
            iface->TestPlayer(iface, nullptr, head.data(), static_cast<uint32>(head.size()));
        if (mode != 0)
            return {plugin.get(), static_cast<uint32_t>(mode)};
    }
    return {};
}

} // namespace orvane
