/* Any byte string as an AIFF file, opened by name and decoded through
 * OV_AIFF.ovplug's entry points, with seeks in between. The last four bytes
 * of the input also choose the seeks. */
#include "fuzz_host.h"

#include <unistd.h>

#include <cstring>
#include <string>

static struct OVPlugIFace *plugin;
static std::string filePath;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    plugin = ovfuzz::openPlugin("OV_AIFF.ovplug");
    const char *shm = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    filePath = std::string(shm) + "/ov-fuzz-aiff-" + std::to_string(getpid()) + ".aiff";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const uint32 allocations = ovTestLiveAllocations();
    const uint32 files = ovTestOpenFiles();
    if (FILE *out = std::fopen(filePath.c_str(), "wb")) {
        std::fwrite(data, 1, size, out);
        std::fclose(out);
    }
    uint8_t seeks[4] = {};
    if (size >= 4)
        std::memcpy(seeks, data + size - 4, 4);
    plugin->TestPlayer(plugin, nullptr, data, static_cast<uint32>(size));
    PlayerStream stream{};
    stream.LoadMode = LOADMODE_BY_NAME;
    int hostArg = 0;
    if (plugin->InitPlayer(plugin, &stream) == 1 &&
        plugin->OpenPlayer(plugin, filePath.c_str(), &stream) == 1) {
        for (int call = 0; call < 8; call++) {
            int32 frames = plugin->DecodeFramePlayer(plugin, &stream, &hostArg);
            if (frames == 0 || frames < -1 || frames > 8192)
                std::abort();
            if (call % 2 == 1)
                plugin->SeekPlayer(plugin, &stream, seeks[call / 2] % 4u);
        }
        plugin->SeekPlayer(plugin, &stream, 0xFFFFFFFFu);
    }
    plugin->ClosePlayer(plugin, &stream);
    plugin->ClosePlayer(plugin, &stream);
    ovfuzz::requireNothingHeld(allocations, files);
    return 0;
}
