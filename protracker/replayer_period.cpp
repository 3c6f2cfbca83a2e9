/* Pitch arithmetic: period lookup in the note table and the position step
 * of a period. */
#include "replayer_internal.h"

/* 3579328 Hz playback clock × 16384 / 50: the step numerator. */
#define PT_STEP_NUMERATOR 1172874197

int32 getperiod(int32 period, int32 finetune, int32 offset)
{
    /* The search runs over the whole table: a period found only in a later
     * row gives an index of 36 or more, as does one found nowhere. */
    int32 index = PT_TUNES_PER_ROW;
    for (int32 i = 0; i < PT_FINETUNES * PT_TUNES_PER_ROW; i++) {
        if (tab_tunes[i] == period) {
            index = i;
            break;
        }
    }
    int32 entry = index + offset;
    if (entry > PT_TUNES_PER_ROW - 1)
        entry = PT_TUNES_PER_ROW - 1;
    return tab_tunes[(finetune & (PT_FINETUNES - 1)) * PT_TUNES_PER_ROW + entry];
}

int32 pt_period_step(const struct pt_state *state, int32 period)
{
    /* The product is formed in 32 bits; a period too small for a divisor
     * (E1y can drive it to 0 or below zero) gives step 0. */
    int32 product = (int32)((uint32)state->mix_rate * (uint32)period);
    int32 divisor = product / 50;
    return divisor == 0 ? 0 : PT_STEP_NUMERATOR / divisor;
}

void pt_set_step(const struct pt_state *state, struct pt_channel *channel, int32 period)
{
    channel->step = pt_period_step(state, period);
}
