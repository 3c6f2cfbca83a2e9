/* Random sample buffers and spectrum arrays through frames of the
 * visualiser's renderer. Whatever the input, the levels stay within the bar
 * range, alpha stays 0 and the bottom row stays black. */
#include "fuzz_host.h"
#include "renderer.h"

#include <cstring>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    initRenderer();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    /* Short inputs are padded with zeroes, longer ones give several frames;
     * the buffers are exactly as large as the renderer may read, so a read
     * past them is reported. */
    constexpr size_t kSampleBytes = 511 * 4, kSpectrumBytes = 509 * 2;
    static uint8_t input[kSampleBytes + 2 * kSpectrumBytes], samples[kSampleBytes];
    static uint8_t first[kSpectrumBytes], second[kSpectrumBytes];
    for (size_t offset = 0; offset == 0 || offset < size; offset += sizeof input) {
        std::memset(input, 0, sizeof input);
        std::memcpy(input, data + offset, std::min(size - offset, sizeof input));
        std::memcpy(samples, input, kSampleBytes);
        std::memcpy(first, input + kSampleBytes, kSpectrumBytes);
        std::memcpy(second, input + kSampleBytes + kSpectrumBytes, kSpectrumBytes);
        renderFrame(samples, first, second);
    }
    for (int column = 0; column < frameWidth; column++) {
        ovfuzz::require(barLevel[column] <= peakLevel[column] && peakLevel[column] <= 127,
                        "levels within 0..127, the peak dot above the bar");
        ovfuzz::require(frameBuffer[131 * frameWidth + column] == 0, "row 131 stays black");
    }
    for (int pixel = 0; pixel < framePixels; pixel++)
        ovfuzz::require((frameBuffer[pixel] >> 24) == 0, "alpha 0");
    return 0;
}
