/* One frame of the picture on real-looking input: a sine pair on the
 * oscilloscope and a spectrum that falls off with the frequency. */
#include "renderer.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

void putBigEndian(std::vector<uint8> &bytes, size_t at, uint16 value)
{
    bytes[at] = static_cast<uint8>(value >> 8);
    bytes[at + 1] = static_cast<uint8>(value);
}

void renderFrameOnMusic(benchmark::State &state)
{
    std::vector<uint8> samples(511 * 4), first(509 * 2), second(509 * 2);
    for (size_t i = 0; i < 511; i++) {
        putBigEndian(samples, 4 * i,
                     static_cast<uint16>(static_cast<int16>(20000 * std::sin(i * 0.05))));
        putBigEndian(samples, 4 * i + 2,
                     static_cast<uint16>(static_cast<int16>(15000 * std::sin(i * 0.11))));
    }
    for (size_t i = 0; i < 509; i++) {
        putBigEndian(first, 2 * i, static_cast<uint16>(60000.0 / (1.0 + i * 0.05)));
        putBigEndian(second, 2 * i, static_cast<uint16>(50000.0 / (1.0 + i * 0.03)));
    }
    initRenderer();
    for (auto _ : state) {
        renderFrame(samples.data(), first.data(), second.data());
        benchmark::DoNotOptimize(frameBuffer);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(renderFrameOnMusic)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
