#include "pt_reference.h"

#include "platform/byteorder.h"

#include <cmath>
#include <cstdint>

namespace ovtest {

namespace {

/* Bytes outside the module image read as silence. */
int32 readByte(const pt_state *state, const pt_sample &sample, int32 position)
{
    int64_t at = (sample.data - state->image) + (position >> 14);
    return at >= 0 && at < static_cast<int64_t>(state->image_size)
               ? static_cast<int8_t>(state->image[at])
               : 0;
}

int32 wrapAdd(int32 a, int32 b)
{
    return static_cast<int32>(static_cast<uint32>(a) + static_cast<uint32>(b));
}

int32 filterSide(pt_state *state, int side, int32 value)
{
    float x = static_cast<float>(value);
    float y1 = std::fma(x + state->filter_in[side][0], state->filter_b,
                        state->filter_a * state->filter_out[side][0]);
    state->filter_in[side][0] = x;
    state->filter_out[side][0] = y1;
    float y2 = std::fma(y1 + state->filter_in[side][1], state->filter_b,
                        state->filter_a * state->filter_out[side][1]);
    state->filter_in[side][1] = y1;
    state->filter_out[side][1] = y2;
    return static_cast<int32>(y2);
}

void put(uint8 *at, int bits, int64_t value)
{
    if (bits == 8) {
        at[0] = static_cast<uint8>(value);
    } else {
        ov_store_be16(at, static_cast<uint32_t>(value));
    }
}

} // namespace

void ptReferenceRender(pt_state *state, uint8 *out1, uint8 *out2, int32 stride, int32 frames,
                       int32 oversample, int32 bits, int32 channels)
{
    const int32 mode = pt_output_mode(oversample, bits, channels);
    if (frames <= 0 || mode < 0)
        return;
    const int64_t mv = state->master_volume;
    int64_t sumA = 0, sumH = 0, sumL = 0;
    int64_t frame = 0;
    const int64_t n = static_cast<int64_t>(frames) * oversample;
    for (int64_t down = n - 1; down >= 0; down--) {
        /* tick timing, with 32-bit wrap-around */
        if (static_cast<int32>(static_cast<uint32>(state->sample_counter) -
                               static_cast<uint32>(state->tick_samples)) >= 0) {
            state->sample_counter = wrapAdd(state->sample_counter, -state->tick_samples);
            pt_tick(state);
        }
        state->sample_counter = wrapAdd(state->sample_counter, 1);

        int32 mono = 0, low = 0, high = 0;
        for (pt_channel &ch : state->channels) {
            if (ch.position < 0)
                continue;
            const pt_sample &s = state->samples[ch.sample];
            if (s.loop_length > 32768) {
                if (static_cast<uint32>(ch.position) >= s.loop_end) {
                    ch.position = wrapAdd(ch.position, -static_cast<int32>(s.loop_length));
                    if (ch.pending_sample != 0)
                        ch.sample = ch.pending_sample;
                }
            } else if (static_cast<uint32>(ch.position) >= s.length) {
                ch.position = -1;
                continue;
            }
            int32 b = readByte(state, s, ch.position);
            ch.position = wrapAdd(ch.position, ch.step);
            int32 v = ch.output_volume * b;
            if (channels == 1) {
                mono += v;
            } else {
                low += (255 - ch.pan) * v;
                high += ch.pan * v;
            }
        }
        if (channels == 2) {
            low >>= 7;
            high >>= 7;
        }
        if (state->filter_on != 0) {
            if (channels == 1) {
                mono = filterSide(state, 0, mono);
            } else {
                low = filterSide(state, 0, low);
                high = filterSide(state, 1, high);
            }
        }
        int64_t H = channels == 1 ? mono : high;
        int64_t L = channels == 1 ? mono : low;
        uint8 *o1 = out1 + frame * stride;
        uint8 *o2 = channels == 2 ? out2 + frame * stride : nullptr;
        switch (mode) {
        case 0:
            put(o1, 8, (((H + L) >> 1) * mv) >> 16);
            frame++;
            break;
        case PT_MODE_STEREO:
            put(o1, 8, (H * mv) >> 16);
            put(o2, 8, (L * mv) >> 16);
            frame++;
            break;
        case PT_MODE_16BIT:
            put(o1, 16, ((H + L) * mv) >> 9);
            frame++;
            break;
        case PT_MODE_16BIT | PT_MODE_STEREO:
            put(o1, 16, (H * mv) >> 8);
            put(o2, 16, (L * mv) >> 8);
            frame++;
            break;
        default: /* PT_MODE_OVERSAMPLE */
            sumA += H + L;
            sumH += H;
            sumL += L;
            if (down % 2 == 1)
                break;
            if (mode == PT_MODE_OVERSAMPLE)
                put(o1, 8, (sumA * mv) >> 18);
            if (mode == (PT_MODE_OVERSAMPLE | PT_MODE_STEREO)) {
                put(o1, 8, (sumH * mv) >> 17);
                put(o2, 8, (sumL * mv) >> 17);
            }
            if (mode == (PT_MODE_OVERSAMPLE | PT_MODE_16BIT))
                put(o1, 16, (sumA * mv) >> 10);
            if (mode == (PT_MODE_OVERSAMPLE | PT_MODE_16BIT | PT_MODE_STEREO)) {
                put(o1, 16, (sumH * mv) >> 9);
                put(o2, 16, (sumL * mv) >> 9);
            }
            sumA = sumH = sumL = 0;
            frame++;
            break;
        }
    }
}

} // namespace ovtest
