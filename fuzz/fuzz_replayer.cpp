/* Any byte string as a module image for the replay routine itself: loaded,
 * then rendered in blocks through all eight output modes (the first title
 * byte, which the player ignores, chooses where the modes start). */
#include "fuzz_host.h"
#include "replayer.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    struct ExecIFace *IExec = ovfuzz::exec();
    const uint32 allocations = ovTestLiveAllocations();
    std::vector<uint8_t> image(data, data + size);
    struct pt_state *state = pt_init(image.empty() ? nullptr : image.data(),
                                     static_cast<int32>(image.size()), 44100, IExec);
    if (state != nullptr) {
        static uint8_t out[4 * 2048 * 2];
        const int firstMode = size > 0 ? data[0] : 0;
        for (int block = 0; block < 8; block++) {
            const int mode = (firstMode + block) & 7;
            const int channels = (mode & 1) + 1;
            const int bits = (mode & 2) ? 16 : 8;
            const int oversample = (mode & 4) ? 2 : 1;
            const int width = bits / 8;
            pt_render(state, out, out + width, channels * width, 2048, oversample, bits,
                      channels);
        }
        IExec->FreeVec(IExec, state);
    }
    ovfuzz::requireNothingHeld(allocations, ovTestOpenFiles());
    return 0;
}
