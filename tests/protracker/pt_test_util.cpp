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

void LoadedModule::ticks(int count)
{
    for (int i = 0; i < count; i++)
        pt_tick(state);
}

void LoadedModule::rows(int count)
{
    for (int r = 0; r < count; r++) {
        do
            pt_tick(state);
        while (state->tick_countdown != 0 || state->pattern_delay != 0);
    }
}

std::vector<uint8_t> render(RenderFunction renderer, pt_state *state, int32 frames,
                            pt_output_format format)
{
    const int32 width = format.bits / 8;
    const int32 stride = width * format.channels;
    std::vector<uint8_t> out(static_cast<size_t>(frames) * stride + 8, 0xA5);
    renderer(state, out.data(), out.data() + width, stride, frames, format.oversample, format.bits,
             format.channels);
    return out;
}

void expectFastEqualsReference(const std::vector<uint8_t> &module, int32 frames, bool filterOn,
                               const std::string &what)
{
    for (int mode = 0; mode < PT_MODES; mode++) {
        LoadedModule fast(module), reference(module);
        ASSERT_NE(fast.state, nullptr) << what;
        if (filterOn) {
            fast.state->filter_on = reference.state->filter_on = 1;
        } else {
            fast.state->flags = reference.state->flags = 0; /* E0y cannot switch it on */
        }
        /* in uneven blocks, so the renderer's state carries over between calls */
        std::vector<uint8_t> a, b;
        for (int32 done = 0, block = 1; done < frames; done += block, block = block * 3 + 7) {
            int32 n = std::min(block, frames - done);
            auto fa = renderFast(fast.state, n, pt_mode_format(mode));
            auto fb = renderReference(reference.state, n, pt_mode_format(mode));
            a.insert(a.end(), fa.begin(), fa.end());
            b.insert(b.end(), fb.begin(), fb.end());
        }
        ASSERT_EQ(firstDifference(a, b), -1) << what << " mode " << mode << " filter " << filterOn;
        ASSERT_EQ(fast.image, reference.image) << what << " mode " << mode;
    }
}

int16_t value16(const std::vector<uint8_t> &bytes, size_t index)
{
    return ov_load_be16_signed(&bytes[index * 2]);
}

long firstDifference(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b)
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; i++)
        if (a[i] != b[i])
            return static_cast<long>(i);
    return a.size() == b.size() ? -1 : static_cast<long>(n);
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

ovtools::ModuleWriter basicWriter()
{
    ovtools::ModuleWriter writer;
    writer.title("synthetic").sample(1, ovtools::constantSample(1000, 64), 64);
    return writer;
}

int longRenderSeconds(int normal, int quick)
{
    const char *value = std::getenv("OV_TEST_QUICK");
    return value != nullptr && value[0] == '1' ? quick : normal;
}

} // namespace pttest
