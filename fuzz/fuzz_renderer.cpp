/* Random sample buffers and spectrum arrays through many frames of the
 * visualiser's renderer. Whatever the input, the levels stay within the bar
 * range, alpha stays 0 and the bottom row stays black. */
#include "renderer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t sampleBytes = 511 * 4;
constexpr size_t spectrumBytes = 509 * 2;
constexpr size_t frameInput = sampleBytes + 2 * spectrumBytes;

void check(bool holds, const char *what)
{
    if (!holds) {
        std::fprintf(stderr, "renderer invariant broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    initRenderer();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    /* Inputs shorter than a frame are padded with zeroes, longer ones give
     * several frames; the buffers are exactly as large as the renderer may
     * read, so a read past them is reported. */
    static uint8_t samples[sampleBytes], first[spectrumBytes], second[spectrumBytes];
    size_t offset = 0;
    do {
        uint8_t input[frameInput] = {};
        std::memcpy(input, data + offset, size - offset < frameInput ? size - offset : frameInput);
        std::memcpy(samples, input, sampleBytes);
        std::memcpy(first, input + sampleBytes, spectrumBytes);
        std::memcpy(second, input + sampleBytes + spectrumBytes, spectrumBytes);
        renderFrame(samples, first, second);
        offset += frameInput;
    } while (offset < size);

    for (int column = 0; column < frameWidth; column++) {
        check(peakLevel[column] <= 127 && barLevel[column] <= 127, "levels within 0..127");
        check(peakLevel[column] >= barLevel[column], "peak dot above the bar");
        check(frameBuffer[131 * frameWidth + column] == 0, "row 131 stays black");
    }
    for (int pixel = 0; pixel < framePixels; pixel++)
        check((frameBuffer[pixel] >> 24) == 0, "alpha 0");
    return 0;
}
