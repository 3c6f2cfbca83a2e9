/* Any byte string as a module image for the replay routine itself: loaded,
 * then rendered for two song passes in blocks that step through all eight
 * output modes (the first title byte, which playing ignores, picks the
 * first mode). module_mutator.cpp keeps most inputs valid modules. */
#include "fuzz_host.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const ovfuzz::NothingHeld nothingHeld;
    struct ExecIFace *IExec = ovExecInterface();
    std::vector<uint8_t> image(data, data + size);
    struct pt_state *state = pt_init(image.data(), static_cast<int32>(size), 44100, IExec);
    if (state == nullptr)
        return 0;
    constexpr int32 kFrames = 2048;
    static uint8_t out[4 * kFrames * 2];
    ovfuzz::RowBudget budget(state);
    for (int block = 0, mode = size > 0 ? data[0] : 0;; block++, mode++) {
        const int32 channels = (mode & 1) + 1;
        const int32 width = (mode & 2) ? 2 : 1;
        const int32 oversample = (mode & 4) ? 2 : 1;
        pt_render(state, out, out + width, channels * width, kFrames, oversample, width * 8,
                  channels);
        if (!budget.spend(state, kFrames * oversample) && block >= 7)
            break;
    }
    IExec->FreeVec(IExec, state);
    return 0;
}
