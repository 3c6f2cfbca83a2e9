/*
 * How the module targets play one input, shared with the test that replays
 * checked-in findings so that it runs exactly the same code.
 *
 * An input is played for a number of rows, not of seconds: a module at
 * speed 31 reads a row where one at speed 1 has read thirty, and faults in
 * the sequencer need their loops and jumps met again. Two passes over the
 * song's positions are played, counted from the sequencer's pace after
 * each block, and never more than a fixed number of samples, which keeps
 * slow songs from costing more than a few blocks.
 */
#ifndef OV_FUZZ_MODULE_PLAY_H
#define OV_FUZZ_MODULE_PLAY_H

#include "fuzz_host.h"
#include "protracker/replayer.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace ovfuzz {

constexpr int kSongPasses = 2;
/* Frames in every block the plug-in decodes: a module never ends. */
constexpr int32 kPluginBlockFrames = 16384;
/* Six such blocks: 18 rows at the starting pace (speed 6, 882 samples a
 * tick), over 200 at speed 1 and the fastest tempo. */
constexpr int kMostSamplesPerInput = 6 * kPluginBlockFrames;

/* The rows still to play; the pace of the sequencer turns samples into rows. */
class RowBudget {
public:
    explicit RowBudget(const struct pt_state *state)
        : rowsLeft_(kSongPasses * std::clamp<int>(static_cast<int>(state->song_length), 1, PT_ORDERS) *
                    PT_ROWS)
    {
    }

    /* Counts samples just rendered; false once the rows or the samples are spent. */
    bool spend(const struct pt_state *state, int samples)
    {
        const double samplesPerRow = std::max<double>(state->tick_samples, 1) *
                                     std::max<double>(state->speed, 1) * (1.0 + state->pattern_delay);
        rowsLeft_ -= samples / samplesPerRow;
        samplesLeft_ -= samples;
        return rowsLeft_ > 0 && samplesLeft_ > 0;
    }

private:
    double rowsLeft_;
    int samplesLeft_ = kMostSamplesPerInput;
};

/* The input as a module file through OV_PT.ovplug's entry points, as the
 * host plays it: recognised or not, loaded, decoded block by block, refused
 * a seek, closed twice. */
inline void playThroughPlugin(struct OVPlugIFace *plugin, const uint8_t *data, size_t size)
{
    const uint32 allocations = ovTestLiveAllocations();
    /* The host's file image: writable, since the invert-loop effect
     * rewrites sample bytes in place. */
    std::vector<uint8_t> image(data, data + size);
    plugin->TestPlayer(plugin, nullptr, image.data(), static_cast<uint32>(image.size()));
    PlayerStream stream{};
    stream.FileData = image.empty() ? nullptr : image.data();
    stream.FileSize = static_cast<int32>(image.size());
    stream.LoadMode = LOADMODE_IN_MEMORY;
    if (plugin->InitPlayer(plugin, &stream) == 1 && plugin->OpenPlayer(plugin, "fuzz.mod", &stream) == 1) {
        const auto *state = static_cast<const struct pt_state *>(stream.PlayerHandle);
        RowBudget budget(state);
        do {
            if (plugin->DecodeFramePlayer(plugin, &stream, nullptr) != kPluginBlockFrames)
                std::abort();
        } while (budget.spend(state, kPluginBlockFrames));
        if (plugin->SeekPlayer(plugin, &stream, 1) != -2)
            std::abort();
    }
    plugin->ClosePlayer(plugin, &stream);
    plugin->ClosePlayer(plugin, &stream);
    requireNothingHeld(allocations, ovTestOpenFiles());
}

/* The input as a module image for the replay routine itself: loaded, then
 * rendered in blocks that go through all eight output modes (the first
 * title byte, which the player ignores, chooses where the modes start). */
inline void playThroughReplayer(const uint8_t *data, size_t size)
{
    struct ExecIFace *IExec = exec();
    const uint32 allocations = ovTestLiveAllocations();
    std::vector<uint8_t> image(data, data + size);
    struct pt_state *state =
        pt_init(image.empty() ? nullptr : image.data(), static_cast<int32>(image.size()), 44100, IExec);
    if (state != nullptr) {
        constexpr int32 kFrames = 2048;
        static uint8_t out[4 * kFrames * 2];
        RowBudget budget(state);
        const int firstMode = size > 0 ? data[0] : 0;
        for (int block = 0;; block++) {
            const int mode = (firstMode + block) & 7;
            const int32 channels = (mode & 1) + 1;
            const int32 bits = (mode & 2) ? 16 : 8;
            const int32 oversample = (mode & 4) ? 2 : 1;
            const int32 width = bits / 8;
            pt_render(state, out, out + width, channels * width, kFrames, oversample, bits, channels);
            if (!budget.spend(state, kFrames * oversample) && block >= 7)
                break;
        }
        IExec->FreeVec(IExec, state);
    }
    requireNothingHeld(allocations, ovTestOpenFiles());
}

} // namespace ovfuzz

#endif
