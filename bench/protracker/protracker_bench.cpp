/*
 * Frames per CPU second for each real module: OV_PT.ovplug's decode call
 * (loaded and driven as the host does) and libxmp rendering the same module
 * at 44100 Hz, 16-bit stereo, nearest-neighbour, no effects processing.
 * "x_realtime" is frames per CPU second / 44100. "scan/" times the song
 * scan the host runs for a module's length: a private copy of the image,
 * the load, and the sequencer run to the song's end without mixing.
 */
#include "frame/ovplug.h"
#include "platform/exec.h"
#include "platform/platform.h"
#include "protracker/replayer.h"

#include <benchmark/benchmark.h>
#include <xmp.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void setCounters(benchmark::State &state, int64_t frames)
{
    state.counters["frames_per_s"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(frames) / 44100.0, benchmark::Counter::kIsRate);
}

void decodeWithPlugin(benchmark::State &state, std::string path)
{
    struct ExecIFace *IExec = AbsExecBase->MainInterface;
    std::string plugin = std::string(OV_BENCH_BIN_DIR) + "/OV_PT.ovplug";
    struct Library *base = IExec->OpenLibrary(IExec, plugin.c_str(), 1);
    if (base == nullptr) {
        state.SkipWithError("OV_PT.ovplug not found");
        return;
    }
    auto *iface = reinterpret_cast<struct OVPlugIFace *>(
        IExec->GetInterface(IExec, base, "main", 1, nullptr));
    std::vector<uint8_t> image = readFile(path);
    PlayerStream stream{};
    stream.FileData = image.data();
    stream.FileSize = static_cast<int32>(image.size());
    stream.LoadMode = 2;
    if (iface->InitPlayer(iface, &stream) != 1 ||
        iface->OpenPlayer(iface, path.c_str(), &stream) != 1) {
        state.SkipWithError("module refused");
    } else {
        int64_t frames = 0;
        for (auto _ : state) {
            frames += iface->DecodeFramePlayer(iface, &stream, nullptr);
            benchmark::DoNotOptimize(stream.OutputBuffer);
        }
        setCounters(state, frames);
    }
    iface->ClosePlayer(iface, &stream);
    IExec->DropInterface(IExec, reinterpret_cast<struct Interface *>(iface));
    IExec->CloseLibrary(IExec, base);
}

void decodeWithLibxmp(benchmark::State &state, std::string path)
{
    std::vector<uint8_t> image = readFile(path);
    xmp_context context = xmp_create_context();
    if (xmp_load_module_from_memory(context, image.data(), static_cast<long>(image.size())) != 0) {
        state.SkipWithError("libxmp refused the module");
        xmp_free_context(context);
        return;
    }
    xmp_start_player(context, 44100, 0);
    xmp_set_player(context, XMP_PLAYER_INTERP, XMP_INTERP_NEAREST);
    xmp_set_player(context, XMP_PLAYER_DSP, 0);
    std::vector<int16_t> buffer(16384 * 2);
    int64_t frames = 0;
    for (auto _ : state) {
        xmp_play_buffer(context, buffer.data(), static_cast<int>(buffer.size() * 2), 0);
        frames += 16384;
        benchmark::DoNotOptimize(buffer.data());
    }
    setCounters(state, frames);
    xmp_end_player(context);
    xmp_release_module(context);
    xmp_free_context(context);
}

void scanSong(benchmark::State &state, std::string path)
{
    struct ExecIFace *IExec = AbsExecBase->MainInterface;
    const std::vector<uint8_t> original = readFile(path);
    int64 samples = 0;
    for (auto _ : state) {
        std::vector<uint8_t> image = original;
        struct pt_state *song =
            pt_init(image.data(), static_cast<int32>(image.size()), 44100, IExec);
        if (song == nullptr) {
            state.SkipWithError("module refused");
            return;
        }
        samples = pt_song_samples(song, 1, int64{44100} * 3600, IExec);
        IExec->FreeVec(IExec, song);
        benchmark::DoNotOptimize(samples);
    }
    state.counters["song_seconds"] = static_cast<double>(samples) / 44100.0;
}

std::vector<std::string> realModules()
{
    std::vector<std::string> paths;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(OV_BENCH_MODS_DIR, error)) {
        std::string name = entry.path().filename().string();
        if (name.ends_with(".mod") && name.find(".xm.") == std::string::npos)
            paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

} // namespace

int main(int argc, char **argv)
{
    for (const auto &path : realModules()) {
        std::string name = std::filesystem::path(path).stem().string();
        benchmark::RegisterBenchmark(("OV_PT/" + name).c_str(), decodeWithPlugin, path)
            ->MinTime(0.5);
        benchmark::RegisterBenchmark(("libxmp/" + name).c_str(), decodeWithLibxmp, path)
            ->MinTime(0.5);
        benchmark::RegisterBenchmark(("scan/" + name).c_str(), scanSong, path)
            ->Unit(benchmark::kMicrosecond)
            ->MinTime(0.5);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
