/* Pieces of the replay routine shared between its sources. */
#ifndef OV_PT_REPLAYER_INTERNAL_H
#define OV_PT_REPLAYER_INTERNAL_H

#include "replayer.h"

/* Positions and offsets wrap the way 32-bit registers do: a position that
 * runs past the top turns negative, which stops the channel. */
static inline int32 pt_wrap_add(int32 a, int32 b) { return (int32)((uint32)a + (uint32)b); }

static inline int32 pt_clamp(int32 value, int32 low, int32 high)
{
    return value < low ? low : (value > high ? high : value);
}

/* The working values of one row read: the song position and row the
 * advance starts from, and the channel's position after the row. */
struct pt_row_context {
    int32 position; /* P */
    int32 row;      /* R */
    int32 newpos;
};

/* The clock of pt_render and of the song scan, one piece of code for both:
 * samples from now until the next tick is due (at least 1), running the
 * tick first when it is due now. The caller then advances sample_counter by
 * the samples it renders (or skips), at most this many. Counters wrap as
 * 32-bit registers do. */
int64 pt_run_tick_timing(struct pt_state *state);

/* Whether the tick pt_run_tick_timing is about to run (when it is due now)
 * reads a row. */
static inline bool pt_next_tick_reads_row(const struct pt_state *state)
{
    int32 due = (int32)((uint32)state->sample_counter - (uint32)state->tick_samples);
    return due >= 0 && state->tick_countdown == 0 && state->pattern_delay == 0;
}

/* Stores the step of period in the channel. */
void pt_set_step(const struct pt_state *state, struct pt_channel *channel, int32 period);
/* The effect's action when its row is read. */
void pt_effect_row(struct pt_state *state, struct pt_channel *channel, const struct pt_note *cell,
                   struct pt_row_context *context);
/* One invert-loop step, before the row action of an EFy cell. */
void pt_invert_loop_step(struct pt_state *state, struct pt_channel *channel,
                         struct pt_row_context *context);
/* The per-tick update of one channel. */
void pt_effect_tick(struct pt_state *state, struct pt_channel *channel);

#endif
