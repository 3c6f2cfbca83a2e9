/* Any byte string as an AIFF file, opened by name and decoded through
 * OV_AIFF.ovplug's entry points, with seeks in between that the last four
 * bytes of the input choose. */
#include "fuzz_host.h"

#include <unistd.h>

#include <fstream>
#include <string>

static struct OVPlugIFace *plugin;
static std::string folder; /* the run's own, removed at exit */

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    plugin = ovfuzz::openPlugin("OV_AIFF.ovplug");
    folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm/ov-fuzz-XXXXXX" : "/tmp/ov-fuzz-XXXXXX";
    ovfuzz::require(mkdtemp(folder.data()) != nullptr, "a temporary folder");
    std::atexit([] { rmdir(folder.c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const ovfuzz::NothingHeld nothingHeld;
    const std::string filePath = folder + "/input.aiff";
    std::ofstream(filePath, std::ios::binary)
        .write(reinterpret_cast<const char *>(data), std::streamsize(size));
    plugin->TestPlayer(plugin, nullptr, data, static_cast<uint32>(size));
    PlayerStream stream{};
    stream.LoadMode = LOADMODE_BY_NAME;
    int hostArg = 0;
    if (plugin->InitPlayer(plugin, &stream) == 1 &&
        plugin->OpenPlayer(plugin, filePath.c_str(), &stream) == 1) {
        for (int call = 0; call < 8; call++) {
            const int32 frames = plugin->DecodeFramePlayer(plugin, &stream, &hostArg);
            ovfuzz::require(frames == -1 || (frames > 0 && frames <= 8192),
                            "frames delivered or -1");
            if (call % 2 == 1)
                plugin->SeekPlayer(plugin, &stream, size >= 4 ? data[size - 4 + call / 2] % 4u : 0);
        }
        plugin->SeekPlayer(plugin, &stream, 0xFFFFFFFFu);
    }
    plugin->ClosePlayer(plugin, &stream);
    plugin->ClosePlayer(plugin, &stream);
    std::remove(filePath.c_str());
    return 0;
}
