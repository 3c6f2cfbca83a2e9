/*
 * Decoding a large AIFF file: OV_AIFF.ovplug as the host drives it, against
 * `cat FILE > /dev/null` (the rate of just reading the file) and libsndfile
 * decoding the same file to 16-bit PCM. The file (OV_AIFF_BENCH_MB, default
 * 200 MB of 44100 Hz stereo) is made once in /tmp and read once before the
 * runs, so every contender reads it from the page cache.
 */
#include "frame/ovplug.h"
#include "platform/platform.h"

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kChannels = 2;
constexpr uint32_t kRate = 44100;
constexpr uint32_t kFramesPerRead = 8192;

void putU16(std::ofstream &out, uint32_t v)
{
    const char bytes[2] = {char(v >> 8), char(v)};
    out.write(bytes, 2);
}

void putU32(std::ofstream &out, uint32_t v)
{
    putU16(out, v >> 16);
    putU16(out, v & 0xFFFF);
}

struct BenchFile {
    std::string path;
    uint64_t soundBytes = 0;
    uint64_t fileBytes = 0;
};

/* A plain 16-bit stereo AIFF file of about the asked size, made once. */
const BenchFile &benchFile()
{
    static const BenchFile file = [] {
        const char *mb = std::getenv("OV_AIFF_BENCH_MB");
        const uint64_t megabytes = mb != nullptr ? std::strtoull(mb, nullptr, 10) : 200;
        const uint32_t frames = static_cast<uint32_t>(megabytes * 1000000 / (kChannels * 2));
        BenchFile made;
        made.path = "/tmp/ov-aiff-bench-" + std::to_string(megabytes) + "MB.aiff";
        made.soundBytes = uint64_t(frames) * kChannels * 2;
        made.fileBytes = 54 + made.soundBytes;
        std::error_code error;
        if (std::filesystem::file_size(made.path, error) != made.fileBytes) {
            std::ofstream out(made.path, std::ios::binary | std::ios::trunc);
            out.write("FORM", 4);
            putU32(out, static_cast<uint32_t>(made.fileBytes - 8));
            out.write("AIFFCOMM", 8);
            putU32(out, 18);
            putU16(out, kChannels);
            putU32(out, frames);
            putU16(out, 16);
            putU16(out, 0x400E);
            putU16(out, kRate);
            putU32(out, 0);
            putU16(out, 0);
            out.write("SSND", 4);
            putU32(out, static_cast<uint32_t>(made.soundBytes + 8));
            putU32(out, 0);
            putU32(out, 0);
            std::vector<char> block(1 << 20);
            uint32_t state = 1;
            for (char &byte : block)
                byte = char((state = state * 1664525u + 1013904223u) >> 24);
            for (uint64_t left = made.soundBytes; left > 0;) {
                const uint64_t now = std::min<uint64_t>(left, block.size());
                out.write(block.data(), static_cast<std::streamsize>(now));
                left -= now;
            }
        }
        /* Into the page cache before anything is timed. */
        if (std::system(("cat '" + made.path + "' > /dev/null").c_str()) != 0)
            std::fprintf(stderr, "could not read %s\n", made.path.c_str());
        return made;
    }();
    return file;
}

void BM_Cat(benchmark::State &state)
{
    const BenchFile &file = benchFile();
    const std::string command = "cat '" + file.path + "' > /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("cat failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.fileBytes));
}

void BM_PluginDecode(benchmark::State &state)
{
    const BenchFile &file = benchFile();
    struct ExecIFace *IExec = AbsExecBase->MainInterface;
    const std::string pluginPath = std::string(OV_BENCH_BIN_DIR) + "/OV_AIFF.ovplug";
    struct Library *base = IExec->OpenLibrary(IExec, pluginPath.c_str(), 1);
    auto *plugin = base == nullptr ? nullptr
                                   : reinterpret_cast<struct OVPlugIFace *>(
                                         IExec->GetInterface(IExec, base, "main", 1, nullptr));
    if (plugin == nullptr) {
        state.SkipWithError("OV_AIFF.ovplug did not open");
        return;
    }
    int hostArg = 0;
    uint64_t frames = 0;
    for (auto _ : state) {
        struct PlayerStream stream = {};
        stream.LoadMode = LOADMODE_BY_NAME;
        if (plugin->InitPlayer(plugin, &stream) != 1 ||
            plugin->OpenPlayer(plugin, file.path.c_str(), &stream) != 1) {
            state.SkipWithError("the stream did not open");
            break;
        }
        int32 got;
        while ((got = plugin->DecodeFramePlayer(plugin, &stream, &hostArg)) > 0) {
            frames += static_cast<uint64_t>(got);
            benchmark::DoNotOptimize(stream.OutputBuffer);
        }
        plugin->ClosePlayer(plugin, &stream);
    }
    if (frames != state.iterations() * file.soundBytes / (kChannels * 2))
        state.SkipWithError("not every frame was decoded");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.fileBytes));
    IExec->DropInterface(IExec, reinterpret_cast<struct Interface *>(plugin));
    IExec->CloseLibrary(IExec, base);
}

void BM_SndfileDecode(benchmark::State &state)
{
    const BenchFile &file = benchFile();
    std::vector<short> buffer(kFramesPerRead * kChannels);
    uint64_t frames = 0;
    for (auto _ : state) {
        SF_INFO info = {};
        SNDFILE *sound = sf_open(file.path.c_str(), SFM_READ, &info);
        if (sound == nullptr) {
            state.SkipWithError("libsndfile did not open the file");
            break;
        }
        sf_count_t got;
        while ((got = sf_readf_short(sound, buffer.data(), kFramesPerRead)) > 0) {
            frames += static_cast<uint64_t>(got);
            benchmark::DoNotOptimize(buffer.data());
        }
        sf_close(sound);
    }
    if (frames != state.iterations() * file.soundBytes / (kChannels * 2))
        state.SkipWithError("not every frame was decoded");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.fileBytes));
}

} // namespace

BENCHMARK(BM_Cat)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_PluginDecode)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_SndfileDecode)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

BENCHMARK_MAIN();
