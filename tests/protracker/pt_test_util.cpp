#include "pt_test_util.h"

#include <algorithm>
#include <cstdlib>

namespace pttest {

LoadedModule::LoadedModule(std::vector<uint8_t> bytes, int32 rate) : image(std::move(bytes))
{
    state = pt_init(image.data(), static_cast<int32>(image.size()), rate, ovtest::exec());
}

LoadedModule::~LoadedModule()
{
    if (state != nullptr)
        ovtest::exec()->FreeVec(ovtest::exec(), state);
}

std::unique_ptr<PlayerStream> moduleStream(std::vector<uint8_t> &image, uint32 loadMode)
{
    auto stream = ovtest::newStream();
    stream->FileData = image.data();
    stream->FileSize = static_cast<int32>(image.size());
    stream->LoadMode = loadMode;
    return stream;
}

std::vector<uint8_t> render(RenderFunction renderer, pt_state *state, int32 frames, int mode,
                            bool planar)
{
    const pt_output_format format = pt_mode_format(mode);
    const int32 width = format.bits / 8;
    const int32 stride = planar ? width : width * format.channels;
    std::vector<uint8_t> out(static_cast<size_t>(frames) * width * format.channels + 8, 0xA5);
    renderer(state, out.data(), out.data() + (planar ? frames * width : width), stride, frames,
             format.oversample, format.bits, format.channels);
    return out;
}

void expectFastEqualsReference(const std::vector<uint8_t> &module, int32 frames, bool filterOn,
                               const std::string &what, uint32 masterVolume)
{
    for (int mode = 0; mode < PT_MODES; mode++) {
        LoadedModule fast(module), reference(module);
        ASSERT_NE(fast.state, nullptr) << what;
        for (pt_state *state : {fast.state, reference.state}) {
            state->filter_on = filterOn ? 1 : 0;
            state->flags = filterOn ? PT_STATE_FILTER_SWITCHABLE : 0;
            state->master_volume = masterVolume;
        }
        /* uneven blocks carry the renderers' state over between calls */
        for (int32 done = 0, block = 1; done < frames; done += block, block = block * 3 + 7) {
            int32 n = std::min(block, frames - done);
            bool planar = block % 2 == 0;
            ASSERT_EQ(render(pt_render, fast.state, n, mode, planar),
                      render(ovtest::ptReferenceRender, reference.state, n, mode, planar))
                << what << " mode " << mode << " filter " << filterOn << " at frame " << done;
        }
        ASSERT_EQ(fast.image, reference.image) << what << " mode " << mode;
    }
}

int16_t value16(const std::vector<uint8_t> &bytes, size_t index)
{
    return ov_load_be16_signed(&bytes[index * 2]);
}

std::vector<int8_t> waveSample(size_t length, unsigned seed)
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

int longRenderSeconds(int normal, int quick)
{
    const char *value = std::getenv("OV_TEST_QUICK");
    return value != nullptr && value[0] == '1' ? quick : normal;
}

} // namespace pttest
