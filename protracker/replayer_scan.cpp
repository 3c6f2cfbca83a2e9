/*
 * The song's length: the sequencer run on its own, tick by tick on
 * pt_render's clock but without mixing, until a row starts in a state
 * already met in the current pass. That state (song position, row, and each
 * channel's pattern-loop row, count and phase) decides every later row, so
 * from there on the song repeats; speed and tempo only time the rows. The
 * row a finished loop started from is left out (see current_row_state).
 */
#include "replayer_internal.h"

#include <string.h>

/* What decides where the song goes from a row on. */
struct row_state {
    int32 position;
    int32 row;
    int32 loops[PT_CHANNELS][3]; /* loop row, loop count, loop phase */
    int32 used;
};

/* The row states met in the current pass: open addressing, kept at most
 * half full. */
struct row_set {
    struct row_state *slots;
    uint32 capacity; /* a power of two */
    uint32 count;
};

static void current_row_state(const struct pt_state *state, struct row_state *out)
{
    memset(out, 0, sizeof *out);
    out->position = (int32)state->song_position;
    out->row = (int32)state->row;
    /* A loop at rest keeps the row of its last start, which a loop in
     * progress no longer needs; left out, a song that loops inside a
     * pattern ends where it began, as module players count it. */
    for (int c = 0; c < PT_CHANNELS; c++) {
        const struct pt_channel *channel = &state->channels[c];
        if (channel->loop_state == 0 && channel->loop_count == 0)
            continue;
        out->loops[c][0] = channel->loop_row;
        out->loops[c][1] = channel->loop_count;
        out->loops[c][2] = channel->loop_state;
    }
    out->used = 1;
}

static uint32 hash_row_state(const struct row_state *key)
{
    uint32 hash = 2166136261u;
    const int32 *words = &key->position;
    for (uint32 i = 0; i < 2 + PT_CHANNELS * 3; i++) {
        hash ^= (uint32)words[i];
        hash *= 16777619u;
        hash ^= hash >> 15;
    }
    return hash;
}

static bool same_row_state(const struct row_state *a, const struct row_state *b)
{
    return memcmp(a, b, sizeof *a) == 0;
}

/* Adds key unless present. Returns 1 when added, 0 when already met, -1
 * when out of memory. */
static int remember(struct row_set *set, const struct row_state *key, struct ExecIFace *IExec)
{
    if (2 * (set->count + 1) > set->capacity) {
        uint32 capacity = set->capacity == 0 ? 1024 : set->capacity * 2;
        struct row_state *slots = (struct row_state *)IExec->AllocVec(
            IExec, sizeof(struct row_state) * capacity, MEMF_CLEAR);
        if (slots == nullptr)
            return -1;
        for (uint32 i = 0; i < set->capacity; i++) {
            if (!set->slots[i].used)
                continue;
            uint32 at = hash_row_state(&set->slots[i]) & (capacity - 1);
            while (slots[at].used)
                at = (at + 1) & (capacity - 1);
            slots[at] = set->slots[i];
        }
        if (set->slots != nullptr)
            IExec->FreeVec(IExec, set->slots);
        set->slots = slots;
        set->capacity = capacity;
    }
    uint32 at = hash_row_state(key) & (set->capacity - 1);
    while (set->slots[at].used) {
        if (same_row_state(&set->slots[at], key))
            return 0;
        at = (at + 1) & (set->capacity - 1);
    }
    set->slots[at] = *key;
    set->count += 1;
    return 1;
}

static void forget_all(struct row_set *set)
{
    if (set->slots != nullptr)
        memset(set->slots, 0, sizeof(struct row_state) * set->capacity);
    set->count = 0;
}

int64 pt_song_samples(struct pt_state *state, int32 passes, int64 limit, struct ExecIFace *IExec)
{
    if (passes < 1)
        return -1;
    struct row_set seen = {nullptr, 0, 0};
    int64 elapsed = 0, result = -1;
    int32 passes_done = 0;
    while (elapsed <= limit) {
        if (pt_next_tick_reads_row(state)) {
            struct row_state key;
            current_row_state(state, &key);
            int added = remember(&seen, &key, IExec);
            if (added < 0 || seen.count > PT_SCAN_MAX_ROWS)
                break;
            if (added == 0) {
                /* This row starts the next pass, which counts its own rows
                 * from here: it may loop back to a later place than the
                 * song's start. */
                if (++passes_done == passes) {
                    result = elapsed;
                    break;
                }
                forget_all(&seen);
                remember(&seen, &key, IExec);
            }
        }
        int64 until = pt_run_tick_timing(state);
        state->sample_counter = (int32)((uint32)state->sample_counter + (uint32)until);
        elapsed += until;
    }
    if (seen.slots != nullptr)
        IExec->FreeVec(IExec, seen.slots);
    return result;
}
