/* The effect engine: what each effect command does when its row is read,
 * and the per-tick update of a channel. */
#include "replayer_internal.h"

/* Waveform value at pos (0..63): sine, ramp or square by the low two bits. */
static int32 waveform_value(int32 waveform, int32 pos)
{
    switch (waveform & 3) {
    case 0: return pos > 31 ? -(int32)tab_vib[pos & 31] : (int32)tab_vib[pos & 31];
    case 2: return pos > 31 ? -255 : 255;
    default: return pos * 8 - (pos > 31 ? 512 : 0);
    }
}

/* With glissando on, the step follows the nearest table period not above
 * q; the search runs on through the following rows and ends at the table's
 * last entry. */
static int32 glissando(const struct pt_channel *channel, int32 q)
{
    if (channel->glissando_funk == 0)
        return q;
    const int32 last = PT_FINETUNES * PT_TUNES_PER_ROW - 1;
    for (int32 i = (channel->finetune & (PT_FINETUNES - 1)) * PT_TUNES_PER_ROW; i < last; i++)
        if (tab_tunes[i] <= q)
            return tab_tunes[i];
    return tab_tunes[last];
}

static int32 volume_slide_of(const struct pt_note *cell)
{
    return cell->param_x != 0 ? cell->param_x : -(int32)cell->param_y;
}

/* Tone portamento set-up shared by 3xx and 5xy; the sample never restarts. */
static void start_tone_portamento(struct pt_channel *channel, const struct pt_note *cell,
                                  struct pt_row_context *context)
{
    if (cell->period != 0)
        channel->porta_target = getperiod((int32)cell->period, channel->finetune, 0);
    if (channel->porta_speed != 0)
        channel->flags |= PT_CHANNEL_SKIP_PERIOD_EFFECT | PT_CHANNEL_TONE_PORTAMENTO;
    context->newpos = channel->position;
}

static void pattern_loop(struct pt_channel *channel, int32 count, struct pt_row_context *context)
{
    if (count == 0) {
        if (channel->loop_state == 0) {
            channel->loop_row = context->row;
            channel->loop_state = 1;
        }
        return;
    }
    int32 remaining = channel->loop_state == 2 ? channel->loop_count : count;
    if (remaining <= 0) {
        channel->loop_state = 0;
        channel->loop_count = 0;
        return;
    }
    channel->loop_count = remaining - 1;
    channel->loop_state = 2;
    context->row = channel->loop_row - 1;
    context->position -= 1;
}

static void extended_row(struct pt_state *state, struct pt_channel *channel,
                         const struct pt_note *cell, struct pt_row_context *context)
{
    int32 y = cell->param_y;
    switch (cell->param_x) {
    case PT_EX_FILTER:
        if (state->flags & PT_STATE_FILTER_SWITCHABLE)
            state->filter_on = 1 - (uint32)(y & 1);
        break;
    case PT_EX_FINE_PORTAMENTO_UP:
    case PT_EX_FINE_PORTAMENTO_DOWN:
        /* Fine slides apply no limit and leave output_period alone. */
        if (y != 0) {
            int32 change = cell->param_x == PT_EX_FINE_PORTAMENTO_UP ? -y : y;
            channel->period = pt_wrap_add(channel->period, change);
            channel->porta_target = channel->period;
            pt_set_step(state, channel, channel->period);
        }
        break;
    case PT_EX_GLISSANDO: channel->glissando_funk = y; break;
    case PT_EX_VIBRATO_WAVEFORM: channel->vibrato_waveform = y; break;
    case PT_EX_FINETUNE:
        if (cell->period != 0) {
            channel->finetune = y;
            channel->period = channel->porta_target = getperiod((int32)cell->period, y, 0);
            pt_set_step(state, channel, channel->period);
            context->newpos = 0;
        }
        break;
    case PT_EX_PATTERN_LOOP: pattern_loop(channel, y, context); break;
    case PT_EX_TREMOLO_WAVEFORM: channel->tremolo_waveform = y; break;
    case PT_EX_RETRIGGER:
        if (y != 0) {
            context->newpos = 0;
            channel->retrig_countdown = y;
            channel->retrig_interval = y;
        }
        break;
    case PT_EX_FINE_VOLUME_UP:
        channel->volume = channel->output_volume = pt_clamp(channel->volume + y, INT32_MIN, 63);
        break;
    case PT_EX_FINE_VOLUME_DOWN:
        channel->volume = channel->output_volume = pt_clamp(channel->volume - y, 0, INT32_MAX);
        break;
    case PT_EX_NOTE_CUT: channel->cut_countdown = y; break;
    case PT_EX_NOTE_DELAY:
        if (cell->period != 0) {
            context->newpos = channel->position;
            channel->retrig_countdown = y;
        }
        break;
    case PT_EX_PATTERN_DELAY: state->pattern_delay = (uint32)y; break;
    case PT_EX_INVERT_LOOP: channel->glissando_funk = y * 16; break;
    default: /* E8y does nothing */ break;
    }
}

void pt_effect_row(struct pt_state *state, struct pt_channel *channel, const struct pt_note *cell,
                   struct pt_row_context *context)
{
    int32 x = cell->param_x, y = cell->param_y, param = cell->param;
    switch (cell->effect) {
    case PT_FX_ARPEGGIO:
        if (param != 0)
            channel->arpeggio = param;
        break;
    case PT_FX_PORTAMENTO_UP:
        channel->period_slide = -param;
        channel->flags |= PT_CHANNEL_SKIP_PERIOD_EFFECT;
        break;
    case PT_FX_PORTAMENTO_DOWN:
        channel->period_slide = param;
        channel->flags |= PT_CHANNEL_SKIP_PERIOD_EFFECT;
        break;
    case PT_FX_TONE_PORTAMENTO:
        if (param != 0)
            channel->porta_speed = param;
        start_tone_portamento(channel, cell, context);
        break;
    case PT_FX_VIBRATO:
        if (y != 0)
            channel->vibrato_depth = y;
        if (x != 0)
            channel->vibrato_speed_memory = x;
        channel->vibrato_speed = channel->vibrato_speed_memory;
        channel->flags |= PT_CHANNEL_SKIP_PERIOD_EFFECT;
        break;
    case PT_FX_TONE_PORTAMENTO_VOLUME_SLIDE:
        channel->volume_slide = volume_slide_of(cell);
        start_tone_portamento(channel, cell, context);
        break;
    case PT_FX_VIBRATO_VOLUME_SLIDE:
        channel->volume_slide = volume_slide_of(cell);
        channel->vibrato_speed = channel->vibrato_speed_memory;
        channel->flags |= PT_CHANNEL_SKIP_PERIOD_EFFECT;
        break;
    case PT_FX_TREMOLO:
        if (y != 0)
            channel->tremolo_depth = 2 * y;
        if (x != 0)
            channel->tremolo_speed_memory = x;
        channel->tremolo_speed = channel->tremolo_speed_memory;
        break;
    case PT_FX_SAMPLE_OFFSET:
        if (cell->period != 0) {
            int32 offset = param << 22; /* param × 256 bytes, 18.14 */
            if (offset == 0)
                offset = channel->offset_memory;
            context->newpos = cell->sample >= 1 && cell->sample < PT_SAMPLES
                                  ? offset
                                  : pt_wrap_add(channel->offset_memory, offset);
            channel->offset_memory = context->newpos;
        }
        break;
    case PT_FX_VOLUME_SLIDE: channel->volume_slide = volume_slide_of(cell); break;
    case PT_FX_POSITION_JUMP:
        context->position = param - 1;
        context->row = PT_ROWS - 1;
        break;
    case PT_FX_SET_VOLUME: channel->volume = param > 63 ? 63 : param; break;
    case PT_FX_PATTERN_BREAK:
        if (param != 0 && 10 * x + y <= 63)
            state->break_row = (uint32)(10 * x + y);
        else
            context->row = PT_ROWS - 1;
        break;
    case PT_FX_EXTENDED: extended_row(state, channel, cell, context); break;
    case PT_FX_SET_SPEED:
        if (param >= 32) {
            state->tempo = (uint32)param;
            state->tick_samples = (int32)((double)state->mix_rate * 50.5 / ((double)param * 20.4));
        } else if (param != 0)
            state->speed = (uint32)param;
        break;
    default: /* 8xx does nothing */ break;
    }
}

void pt_invert_loop_step(struct pt_state *state, struct pt_channel *channel,
                         struct pt_row_context *context)
{
    int32 speed = (channel->glissando_funk >> 4) & 15;
    if (speed == 0)
        return;
    channel->funk_accumulator += tab_funk[speed];
    if ((channel->funk_accumulator & 7) != 0)
        return;
    channel->funk_accumulator = 0;
    const struct pt_sample *sample = &state->samples[channel->sample & (PT_SAMPLES - 1)];
    channel->funk_position += 1;
    if ((uint32)channel->funk_position > sample->loop_length >> PT_FIXED_SHIFT)
        channel->funk_position = 0;
    uint32 loop_start = sample->loop_start >> PT_FIXED_SHIFT;
    if (loop_start == 0)
        return;
    /* The byte may lie behind the sample's data; one outside the module
     * image is left alone. */
    uint64 at = (uint64)(sample->data - state->image) + loop_start + (uint32)channel->funk_position;
    if (at < state->image_size)
        state->image[at] = (uint8)~state->image[at];
    channel->offset_memory = context->newpos =
        pt_wrap_add(channel->position, channel->funk_position);
}

/* The first period effect in force moves the pitch. */
static void period_effects(struct pt_state *state, struct pt_channel *channel)
{
    if (channel->flags & PT_CHANNEL_SKIP_PERIOD_EFFECT) {
        channel->flags &= ~PT_CHANNEL_SKIP_PERIOD_EFFECT;
    } else if (channel->period_slide != 0) {
        int32 q =
            pt_clamp(channel->output_period + channel->period_slide, PT_PERIOD_MIN, PT_PERIOD_MAX);
        channel->period = channel->output_period = q;
        pt_set_step(state, channel, glissando(channel, q));
    } else if (channel->flags & PT_CHANNEL_TONE_PORTAMENTO) {
        int32 distance = channel->porta_target - channel->output_period;
        if (distance != 0) {
            distance = pt_clamp(distance, -channel->porta_speed, channel->porta_speed);
            int32 q = pt_clamp(channel->output_period + distance, PT_PERIOD_MIN, PT_PERIOD_MAX);
            channel->period = channel->output_period = q;
            pt_set_step(state, channel, glissando(channel, q));
        }
    } else if (channel->arpeggio != 0) {
        /* The countdown already holds this tick's value: base, x, y. */
        int32 phase = state->tick_countdown % 3;
        int32 offset =
            phase == 1 ? (channel->arpeggio >> 4) & 15 : (phase == 2 ? channel->arpeggio & 15 : 0);
        pt_set_step(state, channel, getperiod(channel->note_period, channel->finetune, offset));
    } else if (channel->vibrato_speed != 0) {
        int32 wave = waveform_value(channel->vibrato_waveform, channel->vibrato_position);
        channel->vibrato_position = (channel->vibrato_position + channel->vibrato_speed) & 63;
        channel->output_period = pt_clamp(channel->period + ((channel->vibrato_depth * wave) >> 7),
                                          PT_PERIOD_MIN, PT_PERIOD_MAX);
        pt_set_step(state, channel, channel->output_period);
    }
}

void pt_effect_tick(struct pt_state *state, struct pt_channel *channel)
{
    period_effects(state, channel);

    int32 volume = channel->volume;
    if (channel->volume_slide != 0) {
        volume = pt_clamp(channel->volume + channel->volume_slide, 0, 63);
        channel->volume = volume;
    }

    int32 output = volume;
    if (channel->tremolo_speed != 0) {
        int32 wave = waveform_value(channel->tremolo_waveform, channel->tremolo_position);
        channel->tremolo_position = (channel->tremolo_position + channel->tremolo_speed) & 63;
        output = pt_clamp(volume + ((channel->tremolo_depth * wave) >> 8), 0, 63);
    }

    if (channel->cut_countdown != -1) {
        if (channel->cut_countdown == 0) {
            /* Without a note in its row, the cut brings the volume back. */
            channel->volume = channel->row_period != 0 ? 0 : channel->saved_volume;
            output = channel->volume;
        }
        channel->cut_countdown -= 1;
    }

    if (channel->retrig_countdown != -1) {
        if (channel->retrig_countdown == 0) {
            channel->position = 0;
            channel->retrig_countdown = channel->retrig_interval - 1;
        } else {
            channel->retrig_countdown -= 1;
        }
    }
    channel->output_volume = output;
}
