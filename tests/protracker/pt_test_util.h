/* Shared helpers of the Protracker tests: a loaded module with its own
 * image, rendering through the fast and the reference renderer. */
#ifndef OV_TESTS_PROTRACKER_PT_TEST_UTIL_H
#define OV_TESTS_PROTRACKER_PT_TEST_UTIL_H

#include "protracker/replayer.h"
#include "tools/module_image.h"
#include "support/plugin_host.h"
#include "support/pt_reference.h"

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
    void ticks(int count);
    /* Plays whole rows (speed ticks each, pattern delays included). */
    void rows(int count);
};

/* The plug-in's own output: 16-bit stereo, no oversampling. */
inline const pt_output_format kPluginFormat = pt_mode_format(PT_MODE_16BIT | PT_MODE_STEREO);

using RenderFunction = void (*)(pt_state *, uint8 *, uint8 *, int32, int32, int32, int32, int32);

/* Frames rendered into a packed buffer (values interleaved, out1 first). */
std::vector<uint8_t> render(RenderFunction renderer, pt_state *state, int32 frames,
                            pt_output_format format = kPluginFormat);
inline std::vector<uint8_t> renderFast(pt_state *state, int32 frames,
                                       pt_output_format format = kPluginFormat)
{
    return render(pt_render, state, frames, format);
}
inline std::vector<uint8_t> renderReference(pt_state *state, int32 frames,
                                            pt_output_format format = kPluginFormat)
{
    return render(ovtest::ptReferenceRender, state, frames, format);
}

/* Renders the module through the fast and the reference renderer in all
 * eight modes, in uneven blocks, and asserts equal bytes and images. With
 * filterOn the filter is on from the start; otherwise E0y cannot switch it. */
void expectFastEqualsReference(const std::vector<uint8_t> &module, int32 frames, bool filterOn,
                               const std::string &what);

/* Value i of a 16-bit render (big-endian). */
int16_t value16(const std::vector<uint8_t> &bytes, size_t index);

/* Index of the first differing byte, or -1. */
long firstDifference(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b);

/* A sample with a varied waveform (deterministic from the seed). */
std::vector<int8_t> waveSample(size_t length, unsigned seed);

/* A basic module: sample 1 is 1000 bytes of value 64, one-shot. */
ovtools::ModuleWriter basicWriter();

/* Seconds of audio for long renders: the PowerPC run under qemu sets
 * OV_TEST_QUICK=1 and gets a shorter render. */
int longRenderSeconds(int normal, int quick);

} // namespace pttest

#endif
