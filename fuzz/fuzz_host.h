/* What the fuzz targets share. Every target also builds without libFuzzer as
 * a ctest program that replays the checked-in findings (tests/findings). */
#ifndef OV_FUZZ_FUZZ_HOST_H
#define OV_FUZZ_FUZZ_HOST_H

#include "frame/ovplug.h"
#include "platform/platform.h"
#include "platform/testing.h"
#include "protracker/replayer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace ovfuzz {

/* A broken invariant is a finding: the run stops here. */
inline void require(bool holds, const char *what)
{
    if (!holds) {
        std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
        std::abort();
    }
}

/* Opens a plug-in file (searched beside the program) for the whole run. */
inline struct OVPlugIFace *openPlugin(const char *fileName)
{
    struct ExecIFace *IExec = ovExecInterface();
    struct Library *base = IExec->OpenLibrary(IExec, fileName, 1);
    require(base != nullptr, "the plug-in opens");
    return reinterpret_cast<struct OVPlugIFace *>(
        IExec->GetInterface(IExec, base, "main", 1, nullptr));
}

/* Declared first in an input's run: when it goes, every block and file must be back. */
struct NothingHeld {
    const uint32 allocations = ovTestLiveAllocations(), files = ovTestOpenFiles();
    ~NothingHeld()
    {
        require(ovTestLiveAllocations() == allocations && ovTestOpenFiles() == files,
                "nothing held after close");
    }
};

/* How long a module input plays: two passes over the song's positions, in
 * rows at the sequencer's pace after each block (sequencer faults need their
 * loops and jumps met again, at speed 1 as at 31), and at most six plug-in
 * blocks, so that slow songs stay cheap. */
constexpr int32 kPluginBlockFrames = 16384; /* a module never ends */
struct RowBudget {
    explicit RowBudget(const struct pt_state *state)
        : rowsLeft(2.0 * std::clamp<int>(int(state->song_length), 1, PT_ORDERS) * PT_ROWS)
    {}
    /* Counts samples just rendered; false once the rows or the samples are spent. */
    bool spend(const struct pt_state *state, int samples)
    {
        rowsLeft -= samples / (std::max<double>(state->tick_samples, 1) *
                               std::max<double>(state->speed, 1) * (1.0 + state->pattern_delay));
        samplesLeft -= samples;
        return rowsLeft > 0 && samplesLeft > 0;
    }
    double rowsLeft;
    int samplesLeft = 6 * kPluginBlockFrames;
};

} // namespace ovfuzz

#endif
