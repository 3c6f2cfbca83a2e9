/* The sequencer: ticks, row reads, note handling and the song advance. */
#include "replayer_internal.h"

static bool is_valid_sample(uint32 number) { return number >= 1 && number < PT_SAMPLES; }

/* A bare note with one of these effects plays the channel's instrument at
 * its remembered volume. */
static bool restarts_instrument(const struct pt_note *cell)
{
    switch (cell->effect) {
    case PT_FX_ARPEGGIO:
    case PT_FX_SET_VOLUME:
    case PT_FX_SET_SPEED: return true;
    case PT_FX_EXTENDED:
        return cell->param_x == PT_EX_FINE_PORTAMENTO_UP ||
               cell->param_x == PT_EX_FINE_PORTAMENTO_DOWN;
    default: return false;
    }
}

static void handle_note(struct pt_state *state, struct pt_channel *channel,
                        const struct pt_note *cell, struct pt_row_context *context)
{
    int32 period = (int32)cell->period;
    uint32 sample = cell->sample;
    bool keep_volume = false;

    if (period != 0)
        channel->last_period = period;
    channel->row_period = period;
    if (channel->volume != 0)
        channel->saved_volume = channel->volume;
    if (sample != 0)
        channel->instrument = (int32)sample;

    if (period != 0 && sample == 0 && restarts_instrument(cell)) {
        sample = (uint32)channel->instrument;
        channel->volume = channel->saved_volume;
        keep_volume = true;
    }
    if (period == 0 && sample != 0 && cell->effect == PT_FX_ARPEGGIO && cell->param != 0) {
        period = channel->last_period;
        channel->row_period = channel->last_period;
        channel->volume = channel->saved_volume;
    }

    channel->vibrato_speed = 0;
    channel->tremolo_speed = 0;
    channel->volume_slide = 0;
    channel->period_slide = 0;
    channel->arpeggio = 0;
    channel->retrig_interval = 0;
    channel->flags &= ~PT_CHANNEL_TONE_PORTAMENTO;

    if (is_valid_sample(sample)) {
        if (period == 0) {
            channel->pending_sample = (int32)sample;
        } else {
            channel->pending_sample = 0;
            channel->sample = (int32)sample;
        }
        int32 volume = pt_clamp((int32)state->samples[sample].volume, 0, 63);
        if (!keep_volume)
            channel->volume = channel->output_volume = volume;
        if (period != 0) {
            channel->finetune = (int32)state->samples[sample].finetune;
            context->newpos = 0;
        }
    }

    if (period != 0) {
        channel->note_period = period;
        channel->tremolo_position = 0;
        channel->vibrato_position = 0;
        if (cell->effect != PT_FX_TONE_PORTAMENTO &&
            cell->effect != PT_FX_TONE_PORTAMENTO_VOLUME_SLIDE) {
            context->newpos = 0;
            channel->period = getperiod(period, channel->finetune, 0);
            channel->porta_target = channel->output_period = channel->period;
            pt_set_step(state, channel, channel->period);
        }
    }

    if (period == 0 && cell->effect == PT_FX_VOLUME_SLIDE &&
        channel->last_command == PT_FX_VIBRATO) {
        channel->period = channel->porta_target = channel->output_period = channel->last_period;
        pt_set_step(state, channel, channel->period);
    }
    channel->last_command = cell->effect;
}

/* After all four channels: the next row, or the next song position. */
static void advance(struct pt_state *state, const struct pt_row_context *context)
{
    /* The working row may lie below 0 after pattern loops (a loop start
     * recorded while another channel's loop had set it to -1); the next row
     * is its successor modulo 64, always 0..63. */
    int32 next_row = (int32)((uint32)(context->row + 1) & (PT_ROWS - 1));
    if (state->break_row == 0 && next_row != 0) {
        state->row = (uint32)next_row;
        return;
    }
    /* The order table has 128 entries, whatever the length byte says. */
    uint32 song_length = state->song_length > PT_ORDERS ? PT_ORDERS : state->song_length;
    uint32 next_position = (uint32)context->position + 1;
    if (next_position >= song_length)
        next_position = 0;
    state->song_position = next_position;
    state->row = state->break_row;
}

void pt_read_row(struct pt_state *state)
{
    state->break_row = 0;
    /* Whatever the state holds, the read stays inside the order table and
     * the pattern's 64 rows. */
    uint32 position = state->song_position & (PT_ORDERS - 1);
    uint32 row = state->row & (PT_ROWS - 1);
    struct pt_row_context context;
    context.position = (int32)position;
    context.row = (int32)row;
    /* All four cells come from the row as it stood when the read began;
     * jumps and loops only steer the advance. */
    const struct pt_note *cells =
        state->patterns + state->order_table[position] * PT_CELLS_PER_PATTERN + row * PT_CHANNELS;
    for (int c = 0; c < PT_CHANNELS; c++) {
        struct pt_channel *channel = &state->channels[c];
        const struct pt_note *cell = &cells[c];
        context.newpos = channel->position;
        handle_note(state, channel, cell, &context);
        if (cell->effect == PT_FX_EXTENDED && cell->param_x == PT_EX_INVERT_LOOP)
            pt_invert_loop_step(state, channel, &context);
        pt_effect_row(state, channel, cell, &context);
        channel->position = context.newpos;
    }
    advance(state, &context);
}

void pt_tick(struct pt_state *state)
{
    if (state->tick_countdown != 0) {
        state->tick_countdown -= 1;
    } else if (state->pattern_delay != 0) {
        state->pattern_delay -= 1;
        state->tick_countdown = (int32)state->speed - 1;
    } else {
        pt_read_row(state);
        state->tick_countdown = (int32)state->speed - 1;
    }
    for (int c = 0; c < PT_CHANNELS; c++)
        pt_effect_tick(state, &state->channels[c]);
}

int64 pt_run_tick_timing(struct pt_state *state)
{
    int32 due = (int32)((uint32)state->sample_counter - (uint32)state->tick_samples);
    if (due >= 0) {
        state->sample_counter = due;
        pt_tick(state);
    }
    int64 until = (int64)state->tick_samples - state->sample_counter;
    return until < 1 ? 1 : until;
}
