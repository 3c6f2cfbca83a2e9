/* Any byte string as a module: recognised or not, loaded and decoded for a
 * block through OV_PT.ovplug's entry points. */
#include "fuzz_host.h"

#include <cstring>
#include <vector>

static struct OVPlugIFace *plugin;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    plugin = ovfuzz::openPlugin("OV_PT.ovplug");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const uint32 allocations = ovTestLiveAllocations();
    /* The host's file image: writable, since the invert-loop effect
     * rewrites sample bytes in place. */
    std::vector<uint8_t> image(data, data + size);
    plugin->TestPlayer(plugin, nullptr, image.data(), static_cast<uint32>(image.size()));
    PlayerStream stream{};
    stream.FileData = image.empty() ? nullptr : image.data();
    stream.FileSize = static_cast<int32>(image.size());
    stream.LoadMode = LOADMODE_IN_MEMORY;
    if (plugin->InitPlayer(plugin, &stream) == 1 &&
        plugin->OpenPlayer(plugin, "fuzz.mod", &stream) == 1) {
        if (plugin->DecodeFramePlayer(plugin, &stream, nullptr) != 16384)
            std::abort();
        if (plugin->SeekPlayer(plugin, &stream, 1) != -2)
            std::abort();
    }
    plugin->ClosePlayer(plugin, &stream);
    plugin->ClosePlayer(plugin, &stream);
    ovfuzz::requireNothingHeld(allocations, ovTestOpenFiles());
    return 0;
}
