/* Any byte string as a module file through OV_PT.ovplug's entry points, as
 * the host plays one: recognised or not, loaded, decoded block by block for
 * two song passes, refused a seek, closed twice. module_mutator.cpp keeps
 * most inputs valid modules. */
#include "fuzz_host.h"

#include <vector>

static struct OVPlugIFace *plugin;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    plugin = ovfuzz::openPlugin("OV_PT.ovplug");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const ovfuzz::NothingHeld nothingHeld;
    /* The host's file image: writable, since the invert-loop effect
     * rewrites sample bytes in place. */
    std::vector<uint8_t> image(data, data + size);
    plugin->TestPlayer(plugin, nullptr, image.data(), static_cast<uint32>(size));
    PlayerStream stream{};
    stream.FileData = image.data();
    stream.FileSize = static_cast<int32>(size);
    stream.LoadMode = LOADMODE_IN_MEMORY;
    if (plugin->InitPlayer(plugin, &stream) == 1 &&
        plugin->OpenPlayer(plugin, "fuzz.mod", &stream) == 1) {
        const auto *state = static_cast<const struct pt_state *>(stream.PlayerHandle);
        ovfuzz::RowBudget budget(state);
        do {
            ovfuzz::require(plugin->DecodeFramePlayer(plugin, &stream, nullptr) ==
                                ovfuzz::kPluginBlockFrames,
                            "a module decodes whole blocks");
        } while (budget.spend(state, ovfuzz::kPluginBlockFrames));
        ovfuzz::require(plugin->SeekPlayer(plugin, &stream, 1) == -2, "a module refuses to seek");
    }
    plugin->ClosePlayer(plugin, &stream);
    plugin->ClosePlayer(plugin, &stream);
    return 0;
}
