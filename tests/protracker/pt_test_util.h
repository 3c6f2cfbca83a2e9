/* Shared helpers of the Protracker tests: a loaded module with its own
 * image, the plug-in's stream, and rendering through the fast and the
 * reference renderer. */
#ifndef OV_TESTS_PROTRACKER_PT_TEST_UTIL_H
#define OV_TESTS_PROTRACKER_PT_TEST_UTIL_H

#include "protracker/replayer.h"
#include "support/plugin_host.h"
#include "support/pt_reference.h"
#include "tools/module_image.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pttest {

/* A module loaded by pt_init over its own copy of the image. */
struct LoadedModule {
    std::vector<uint8_t> image;
    pt_state *state = nullptr;

    explicit LoadedModule(std::vector<uint8_t> bytes, int32 rate = 44100);
    ~LoadedModule();
    LoadedModule(const LoadedModule &) = delete;
    LoadedModule &operator=(const LoadedModule &) = delete;

    pt_channel &channel(int c) { return state->channels[c]; }
};

/* A stream over the image as the host prepares it. */
std::unique_ptr<PlayerStream> moduleStream(std::vector<uint8_t> &image, uint32 loadMode = 2);

using RenderFunction = void (*)(pt_state *, uint8 *, uint8 *, int32, int32, int32, int32, int32);

/* Frames rendered in mode (PT_MODE_* bits), values interleaved, out1 first;
 * planar puts all out2 values behind all out1 values instead. */
std::vector<uint8_t> render(RenderFunction renderer, pt_state *state, int32 frames,
                            int mode = PT_MODE_16BIT | PT_MODE_STEREO, bool planar = false);

/* Renders the module through the fast and the reference renderer in all
 * eight modes, in uneven blocks of both layouts, and asserts equal bytes and
 * images. With filterOn the filter is on from the start; otherwise E0y
 * cannot switch it. */
void expectFastEqualsReference(const std::vector<uint8_t> &module, int32 frames, bool filterOn,
                               const std::string &what, uint32 masterVolume = 256);

/* Value i of a 16-bit render (big-endian). */
int16_t value16(const std::vector<uint8_t> &bytes, size_t index);

/* A sample with a varied waveform (deterministic from the seed). */
std::vector<int8_t> waveSample(size_t length, unsigned seed);

/* Seconds of audio for long renders: the PowerPC run under qemu sets
 * OV_TEST_QUICK=1 and gets a shorter render. */
int longRenderSeconds(int normal, int quick);

} // namespace pttest

#endif
