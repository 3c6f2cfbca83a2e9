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

/* The row states met in the current pass. Most rows start with no loop in
 * progress: those are one bit each; the rest go into a table with open
 * addressing, kept at most half full. */
struct row_set {
    uint32 plain[PT_ORDERS * PT_ROWS / 32];
    struct row_state *slots;
    uint32 capacity; /* a power of two */
    uint32 stored;   /* entries in the table */
    uint32 count;    /* row states met */
};

static bool is_plain(const struct row_state *key)
{
    static const int32 no_loops[PT_CHANNELS][3] = {};
    return key->position >= 0 && key->position < PT_ORDERS && key->row >= 0 && key->row < PT_ROWS &&
           memcmp(key->loops, no_loops, sizeof no_loops) == 0;
}

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

/* Makes room for one more entry in the table. Returns false when out of
 * memory. */
static bool grow_if_full(struct row_set *set, struct ExecIFace *IExec)
{
    if (2 * (set->stored + 1) <= set->capacity)
        return true;
    uint32 capacity = set->capacity == 0 ? 256 : set->capacity * 2;
    struct row_state *slots =
        (struct row_state *)IExec->AllocVec(IExec, sizeof(struct row_state) * capacity, MEMF_CLEAR);
    if (slots == nullptr)
        return false;
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
    return true;
}

/* Adds key unless present. Returns 1 when added, 0 when already met, -1
 * when out of memory. */
static int remember(struct row_set *set, const struct row_state *key, struct ExecIFace *IExec)
{
    if (is_plain(key)) {
        uint32 index = (uint32)key->position * PT_ROWS + (uint32)key->row;
        uint32 bit = 1u << (index & 31);
        if (set->plain[index / 32] & bit)
            return 0;
        set->plain[index / 32] |= bit;
        set->count += 1;
        return 1;
    }
    if (!grow_if_full(set, IExec))
        return -1;
    uint32 at = hash_row_state(key) & (set->capacity - 1);
    while (set->slots[at].used) {
        if (same_row_state(&set->slots[at], key))
            return 0;
        at = (at + 1) & (set->capacity - 1);
    }
    set->slots[at] = *key;
    set->stored += 1;
    set->count += 1;
    return 1;
}

static void forget_all(struct row_set *set)
{
    memset(set->plain, 0, sizeof set->plain);
    if (set->slots != nullptr)
        memset(set->slots, 0, sizeof(struct row_state) * set->capacity);
    set->stored = 0;
    set->count = 0;
}

int64 pt_song_samples(struct pt_state *state, int32 passes, int64 limit, struct ExecIFace *IExec)
{
    if (passes < 1)
        return -1;
    struct row_set seen;
    memset(&seen, 0, sizeof seen);
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
