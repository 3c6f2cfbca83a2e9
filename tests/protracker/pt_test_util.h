/* Helpers of the Protracker tests: modules, streams and renders. */
#ifndef OV_TESTS_PROTRACKER_PT_TEST_UTIL_H
#define OV_TESTS_PROTRACKER_PT_TEST_UTIL_H

#include "protracker/replayer.h"
#include "support/plugin_host.h"
#include "support/pt_reference.h"
#include "tools/module_image.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace pttest {

/* A module loaded by pt_init over its own copy of the image; not copied. */
struct LoadedModule {
    std::vector<uint8_t> image;
    pt_state *state = nullptr;

    explicit LoadedModule(std::vector<uint8_t> bytes) : image(std::move(bytes))
    {
        state = pt_init(image.data(), static_cast<int32>(image.size()), 44100, ovtest::exec());
    }
    ~LoadedModule() { ovtest::exec()->FreeVec(ovtest::exec(), state); }
};

/* A stream over the image as the host prepares it. */
inline std::unique_ptr<PlayerStream> moduleStream(std::vector<uint8_t> &image, uint32 loadMode = 2)
{
    auto stream = ovtest::newStream();
    stream->FileData = image.data();
    stream->FileSize = static_cast<int32>(image.size());
    stream->LoadMode = loadMode;
    return stream;
}

using RenderFunction = void (*)(pt_state *, uint8 *, uint8 *, int32, int32, int32, int32, int32);

/* Frames rendered in mode (PT_MODE_* bits), values interleaved, out1 first;
 * planar puts all out2 values behind all out1 values instead. */
inline std::vector<uint8_t> render(RenderFunction renderer, pt_state *state, int32 frames,
                                   int mode = PT_MODE_16BIT | PT_MODE_STEREO, bool planar = false)
{
    const pt_output_format format = pt_mode_format(mode);
    const int32 width = format.bits / 8;
    std::vector<uint8_t> out(static_cast<size_t>(frames) * width * format.channels + 8, 0xA5);
    renderer(state, out.data(), out.data() + (planar ? frames * width : width),
             planar ? width : width * format.channels, frames, format.oversample, format.bits,
             format.channels);
    return out;
}

/* The fast and the reference renderer in all eight modes, in uneven blocks
 * of both layouts, give equal bytes and images; E0y may switch the filter
 * only with filterOn, which also starts with it on. pan (0 to 255) replaces
 * every channel's hard left or right. */
inline void expectFastEqualsReference(const std::vector<uint8_t> &module, int32 frames,
                                      bool filterOn, const std::string &what,
                                      uint32 masterVolume = 256, int32 pan = -1)
{
    for (int mode = 0; mode < PT_MODES; mode++) {
        LoadedModule fast(module), reference(module);
        ASSERT_NE(fast.state, nullptr) << what;
        for (pt_state *state : {fast.state, reference.state}) {
            state->filter_on = filterOn ? 1 : 0;
            state->flags = filterOn ? PT_STATE_FILTER_SWITCHABLE : 0;
            state->master_volume = masterVolume;
            for (pt_channel &channel : state->channels)
                channel.pan = pan >= 0 ? pan : channel.pan;
        }
        for (int32 done = 0, block = 1; done < frames; done += block, block = block * 3 + 7) {
            int32 n = std::min(block, frames - done);
            ASSERT_EQ(render(pt_render, fast.state, n, mode, block % 2 == 0),
                      render(ovtest::ptReferenceRender, reference.state, n, mode, block % 2 == 0))
                << what << " mode " << mode << " filter " << filterOn << " at frame " << done;
        }
        ASSERT_EQ(fast.image, reference.image) << what << " mode " << mode;
    }
}

/* A sample with a varied waveform (deterministic from the seed). */
inline std::vector<int8_t> waveSample(size_t length, unsigned seed)
{
    std::vector<int8_t> data(length);
    unsigned x = seed * 2654435761u + 1;
    for (size_t i = 0; i < length; i++) {
        x = x * 1103515245u + 12345u;
        data[i] = static_cast<int8_t>(static_cast<int>((i * 7 + seed) % 256) - 128 +
                                      static_cast<int>((x >> 16) % 17) - 8);
    }
    return data;
}

/* Seconds of audio for long renders: the PowerPC run under qemu sets
 * OV_TEST_QUICK=1 and gets a shorter render. */
inline int longRenderSeconds(int normal, int quick)
{
    const char *value = std::getenv("OV_TEST_QUICK");
    return value != nullptr && value[0] == '1' ? quick : normal;
}

} // namespace pttest

#endif
