/*
 * pt_render: tick timing, channel mixing, the optional low-pass filter and
 * the output stores.
 *
 * Rendering goes in chunks that end before the next tick, so channel
 * volumes, pans, steps and the filter switch are constant inside a chunk.
 * Inside a chunk, runs of samples in which no channel reaches its loop end
 * or sample end and every read lies inside the module image are mixed in
 * one tight loop; each sample at which some channel meets such an event is
 * mixed one at a time with every check in place. The plug-in's own layout
 * (16-bit stereo frames, unity volume, filter off) is mixed and stored in
 * one pass, most of it in blocks of 16 frames where the processor has a
 * byte shuffle.
 */
#include "../platform/byteorder.h"
#include "replayer_internal.h"

#include <math.h>

#define PT_CHUNK 1024
#define PT_LOOPING_MIN (2 << PT_FIXED_SHIFT) /* loops of more than 2 bytes repeat */
#define PT_RUN_UNLIMITED 0x7FFFFFFF

/* The channel sums of one chunk: high-pan and low-pan with two output
 * channels, the mono mix in high alone. */
struct mix_sums {
    int32 high[PT_CHUNK];
    int32 low[PT_CHUNK];
};

static int8 sample_byte(const struct pt_state *state, const struct pt_sample *sample,
                        int32 position)
{
    uint64 at = (uint64)(sample->data - state->image) + ((uint32)position >> PT_FIXED_SHIFT);
    return at < state->image_size ? (int8)state->image[at] : 0;
}

/* One channel for one rendered sample, with every check: loop wrap and
 * pending switch, one-shot end, bounds. Returns false when the channel adds
 * nothing. */
static bool mix_one(const struct pt_state *state, struct pt_channel *channel, int32 *byte)
{
    if (channel->position < 0)
        return false;
    const struct pt_sample *sample = &state->samples[channel->sample];
    if (sample->loop_length > PT_LOOPING_MIN) {
        if ((uint32)channel->position >= sample->loop_end) {
            channel->position = pt_wrap_add(channel->position, -(int32)sample->loop_length);
            if (channel->pending_sample != 0)
                channel->sample = channel->pending_sample;
        }
    } else if ((uint32)channel->position >= sample->length) {
        channel->position = -1;
        return false;
    }
    *byte = sample_byte(state, sample, channel->position);
    channel->position = pt_wrap_add(channel->position, channel->step);
    return true;
}

static void mix_single(struct pt_state *state, bool stereo, int32 *high, int32 *low)
{
    int32 sum_high = 0, sum_low = 0;
    for (int c = 0; c < PT_CHANNELS; c++) {
        struct pt_channel *channel = &state->channels[c];
        int32 byte;
        if (!mix_one(state, channel, &byte))
            continue;
        int32 value = channel->output_volume * byte;
        if (stereo) {
            sum_low += (255 - channel->pan) * value;
            sum_high += channel->pan * value;
        } else {
            sum_high += value;
        }
    }
    *high = sum_high;
    *low = sum_low;
}

/* How many samples from now the channel plays with no check doing
 * anything: its position stays below the loop end (or sample end) and
 * below 2^31, stays at or above 0, and every byte read lies inside the
 * image. 0 means the next sample needs the checks. */
static int64 plain_run(const struct pt_state *state, const struct pt_channel *channel)
{
    if (channel->position < 0)
        return PT_RUN_UNLIMITED;
    const struct pt_sample *sample = &state->samples[channel->sample];
    int64 limit = sample->loop_length > PT_LOOPING_MIN ? sample->loop_end : sample->length;
    if (limit > INT32_MAX)
        limit = (int64)INT32_MAX + 1;
    int64 position = channel->position, step = channel->step;
    if (position >= limit)
        return 0;
    int64 image_end = ((int64)state->image_size - (sample->data - state->image)) << PT_FIXED_SHIFT;
    if (position >= image_end)
        return 0;
    if (step < 0)
        return position / -step + 1;
    if (image_end < limit)
        limit = image_end;
    if (step == 0)
        return PT_RUN_UNLIMITED;
    return (limit - position + step - 1) / step;
}

/* A playing channel as a plain run sees it, with its weight on one side. */
struct run_voice {
    const int8 *data;
    uint32 position;
    uint32 step;
    int32 weight;
};

/* out = (or +=) the weighted bytes of one or two voices over count samples. */
static void mix_voices(int32 *out, int32 count, const struct run_voice *a,
                       const struct run_voice *b, bool add)
{
    const int8 *da = a->data;
    uint32 pa = a->position;
    const uint32 sa = a->step;
    const int32 wa = a->weight;
    if (b == nullptr) {
        if (add) {
#pragma GCC unroll 4
            for (int32 i = 0; i < count; i++, pa += sa)
                out[i] += wa * da[pa >> PT_FIXED_SHIFT];
        } else {
#pragma GCC unroll 4
            for (int32 i = 0; i < count; i++, pa += sa)
                out[i] = wa * da[pa >> PT_FIXED_SHIFT];
        }
        return;
    }
    const int8 *db = b->data;
    uint32 pb = b->position;
    const uint32 sb = b->step;
    const int32 wb = b->weight;
    if (add) {
#pragma GCC unroll 4
        for (int32 i = 0; i < count; i++, pa += sa, pb += sb)
            out[i] += wa * da[pa >> PT_FIXED_SHIFT] + wb * db[pb >> PT_FIXED_SHIFT];
    } else {
#pragma GCC unroll 4
        for (int32 i = 0; i < count; i++, pa += sa, pb += sb)
            out[i] = wa * da[pa >> PT_FIXED_SHIFT] + wb * db[pb >> PT_FIXED_SHIFT];
    }
}

/* One side's sum over count samples from the voices that weigh on it, two
 * at a time; a voice of weight 0 adds nothing and is left out. */
static void mix_side(int32 *out, int32 count, const struct run_voice *voices, int voice_count)
{
    if (voice_count == 0) {
        for (int32 i = 0; i < count; i++)
            out[i] = 0;
        return;
    }
    for (int v = 0; v < voice_count; v += 2)
        mix_voices(out, count, &voices[v], v + 1 < voice_count ? &voices[v + 1] : nullptr, v > 0);
}

static void mix_plain_run(struct pt_state *state, bool stereo, int32 *high, int32 *low, int32 count)
{
    struct run_voice high_voices[PT_CHANNELS], low_voices[PT_CHANNELS];
    int high_count = 0, low_count = 0;
    for (int c = 0; c < PT_CHANNELS; c++) {
        struct pt_channel *channel = &state->channels[c];
        if (channel->position < 0)
            continue;
        struct run_voice voice = {(const int8 *)state->samples[channel->sample].data,
                                  (uint32)channel->position, (uint32)channel->step, 0};
        voice.weight = stereo ? channel->pan * channel->output_volume : channel->output_volume;
        if (voice.weight != 0)
            high_voices[high_count++] = voice;
        voice.weight = (255 - channel->pan) * channel->output_volume;
        if (stereo && voice.weight != 0)
            low_voices[low_count++] = voice;
        channel->position =
            (int32)((uint32)channel->position + (uint32)channel->step * (uint32)count);
    }
    mix_side(high, count, high_voices, high_count);
    if (stereo)
        mix_side(low, count, low_voices, low_count);
}

/* The plug-in's own layout at unity volume: each frame is the two sums as
 * big-endian 16-bit values side by side. The sums fit 16 bits here, so
 * they are narrowed as they are; four frames go at a time. */
typedef int32 pt_v4i __attribute__((vector_size(16)));
typedef int16 pt_v4s __attribute__((vector_size(8)));
typedef uint16 pt_v8u __attribute__((vector_size(16)));

static void store_frame_words(uint8 *__restrict at, const int32 *__restrict high,
                              const int32 *__restrict low, int32 count, int shift)
{
    int32 i = 0;
    for (; i + 4 <= count; i += 4) {
        pt_v4i h, l;
        __builtin_memcpy(&h, high + i, sizeof h);
        __builtin_memcpy(&l, low + i, sizeof l);
        h >>= shift;
        l >>= shift;
        pt_v4s h16 = __builtin_convertvector(h, pt_v4s), l16 = __builtin_convertvector(l, pt_v4s);
        pt_v8u frames = (pt_v8u)__builtin_shufflevector(h16, l16, 0, 4, 1, 5, 2, 6, 3, 7);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        frames = (pt_v8u)((frames << 8) | (frames >> 8));
#endif
        __builtin_memcpy(at + 4 * i, &frames, sizeof frames);
    }
    for (; i < count; i++) {
        ov_store_be32(at + 4 * i,
                      ((uint32)(high[i] >> shift) << 16) | ((uint32)(low[i] >> shift) & 0xFFFF));
    }
}

#if defined(__x86_64__)
/* The plug-in's own layout (16-bit stereo frames of two adjacent
 * big-endian values, unity volume, filter off) in one pass where the
 * processor has a variable byte shuffle (SSSE3): blocks of 16 frames, each
 * voice's bytes of a block fetched by one 16-byte load and the shuffle,
 * both sides' sums formed pairwise, narrowed and stored together. Other
 * machines mix these frames as every other layout. */
#define PT_BLOCK_MIXING 1
#define PT_BLOCK_TARGET __attribute__((target("ssse3")))

typedef char pt_v16c __attribute__((vector_size(16)));
typedef int16 pt_v8s __attribute__((vector_size(16)));

#define PT_BLOCK 16
#define PT_BLOCK_STEP_MAX ((1 << PT_FIXED_SHIFT) - 1) /* 16 samples read inside 16 bytes */

/* A voice of a block run: sample i (0 to 15) of the next block is the byte
 * at data + (position >> 14) + whole[i], one further when the position's
 * fraction exceeds carry_above[i]. */
struct block_voice {
    const int8 *data;
    uint32 position;
    uint32 step;
    pt_v8s carry_above[2]; /* 2^14 - 1 - the fraction of i steps */
    pt_v16c whole;         /* the whole bytes of i steps */
};

PT_BLOCK_TARGET static inline pt_v16c block_bytes(struct block_voice *voice)
{
    const uint32 position = voice->position;
    const pt_v8s fraction = (pt_v8s){} + (int16)(position & ((1 << PT_FIXED_SHIFT) - 1));
    /* 0 or -1 words, narrowed to bytes */
    const pt_v16c carry = __builtin_ia32_packsswb128(fraction > voice->carry_above[0],
                                                     fraction > voice->carry_above[1]);
    pt_v16c window;
    __builtin_memcpy(&window, voice->data + (position >> PT_FIXED_SHIFT), sizeof window);
    voice->position = position + PT_BLOCK * voice->step;
    return __builtin_ia32_pshufb128(window, voice->whole - carry);
}

/* Four frames of {a b c d} byte quadruples: the sums {a wa + b wb, c wc +
 * d wd} of each frame, stored as two big-endian 16-bit values. The weights
 * come doubled, so bits 7 to 22 of a sum (the sum shifted right by 7 and
 * narrowed) are its bytes 1 and 2. */
PT_BLOCK_TARGET static inline void store_quad_frames(uint8 *at, pt_v16c quads, pt_v8s weights)
{
    /* each byte twice in a word, shifted down: the byte sign-extended */
    pt_v8s first = (pt_v8s)__builtin_shufflevector(quads, quads, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5,
                                                   6, 6, 7, 7) >>
                   8;
    pt_v8s second = (pt_v8s)__builtin_shufflevector(quads, quads, 8, 8, 9, 9, 10, 10, 11, 11, 12,
                                                    12, 13, 13, 14, 14, 15, 15) >>
                    8;
    pt_v16c a = (pt_v16c)__builtin_ia32_pmaddwd128(first, weights);
    pt_v16c b = (pt_v16c)__builtin_ia32_pmaddwd128(second, weights);
    pt_v16c frames =
        __builtin_shufflevector(a, b, 2, 1, 6, 5, 10, 9, 14, 13, 18, 17, 22, 21, 26, 25, 30, 29);
    __builtin_memcpy(at, &frames, sizeof frames);
}

/* blocks × 16 frames from voices {a, b} (high side) and {c, d} (low side)
 * with the doubled weights {wa, wb, wc, wd} twice. */
PT_BLOCK_TARGET static void mix_word_blocks(uint8 *at, struct block_voice *voices, pt_v8s weights,
                                            int32 blocks)
{
    for (int32 k = 0; k < blocks; k++, at += 4 * PT_BLOCK) {
        pt_v16c a = block_bytes(&voices[0]), b = block_bytes(&voices[1]);
        pt_v16c c = block_bytes(&voices[2]), d = block_bytes(&voices[3]);
        pt_v8s ab0 = (pt_v8s)__builtin_shufflevector(a, b, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21,
                                                     6, 22, 7, 23);
        pt_v8s ab1 = (pt_v8s)__builtin_shufflevector(a, b, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13,
                                                     29, 14, 30, 15, 31);
        pt_v8s cd0 = (pt_v8s)__builtin_shufflevector(c, d, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21,
                                                     6, 22, 7, 23);
        pt_v8s cd1 = (pt_v8s)__builtin_shufflevector(c, d, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13,
                                                     29, 14, 30, 15, 31);
        store_quad_frames(at, (pt_v16c)__builtin_shufflevector(ab0, cd0, 0, 8, 1, 9, 2, 10, 3, 11),
                          weights);
        store_quad_frames(at + 16,
                          (pt_v16c)__builtin_shufflevector(ab0, cd0, 4, 12, 5, 13, 6, 14, 7, 15),
                          weights);
        store_quad_frames(
            at + 32, (pt_v16c)__builtin_shufflevector(ab1, cd1, 0, 8, 1, 9, 2, 10, 3, 11), weights);
        store_quad_frames(at + 48,
                          (pt_v16c)__builtin_shufflevector(ab1, cd1, 4, 12, 5, 13, 6, 14, 7, 15),
                          weights);
    }
}

/* Mixes and stores as many whole blocks of the next count samples (a plain
 * run) as the block path can: each side has at most two voices, every
 * weight doubled fits 16 bits (volumes up to 64 at any pan of 0 to 255 do),
 * every step lies in 0 to PT_BLOCK_STEP_MAX and every block's 16-byte load
 * ends inside the image. Returns the samples done. */
static int32 mix_word_run(struct pt_state *state, uint8 *at, int32 count)
{
    static const int8 silence[PT_BLOCK] = {};
    struct block_voice voices[4];
    int16 weight[4] = {0, 0, 0, 0};
    int sides[2] = {0, 0};
    int64 blocks = count / PT_BLOCK;
    if (!__builtin_cpu_supports("ssse3"))
        return 0;
    for (int c = 0; c < PT_CHANNELS; c++) {
        const struct pt_channel *channel = &state->channels[c];
        if (channel->position < 0)
            continue;
        const int32 side_weight[2] = {channel->pan * channel->output_volume,
                                      (255 - channel->pan) * channel->output_volume};
        if (side_weight[0] == 0 && side_weight[1] == 0)
            continue;
        const struct pt_sample *sample = &state->samples[channel->sample];
        if (channel->step < 0 || channel->step > PT_BLOCK_STEP_MAX)
            return 0;
        /* the last block that may start: its 16 bytes end inside the image */
        int64 after = (int64)state->image_size - (sample->data - state->image) - (PT_BLOCK - 1);
        int64 room = (after << PT_FIXED_SHIFT) - channel->position;
        if (room <= 0)
            return 0;
        if (channel->step > 0) {
            int64 stride = (int64)PT_BLOCK * channel->step;
            if ((room + stride - 1) / stride < blocks)
                blocks = (room + stride - 1) / stride;
        }
        for (int side = 0; side < 2; side++) {
            if (side_weight[side] == 0)
                continue;
            if (sides[side] == 2 || 2 * side_weight[side] != (int16)(2 * side_weight[side]))
                return 0;
            int slot = 2 * side + sides[side]++;
            voices[slot].data = (const int8 *)sample->data;
            voices[slot].position = (uint32)channel->position;
            voices[slot].step = (uint32)channel->step;
            weight[slot] = (int16)(2 * side_weight[side]);
        }
    }
    if (blocks == 0)
        return 0;
    for (int slot = 0; slot < 4; slot++) {
        struct block_voice *voice = &voices[slot];
        if (slot % 2 >= sides[slot / 2]) {
            voice->data = silence;
            voice->position = voice->step = 0;
        }
        for (int i = 0; i < PT_BLOCK; i++) {
            uint32 offset = (uint32)i * voice->step;
            voice->carry_above[i / 8][i % 8] =
                (int16)((1 << PT_FIXED_SHIFT) - 1 - (offset & ((1 << PT_FIXED_SHIFT) - 1)));
            voice->whole[i] = (char)(offset >> PT_FIXED_SHIFT);
        }
    }
    const pt_v8s weights = {weight[0], weight[1], weight[2], weight[3],
                            weight[0], weight[1], weight[2], weight[3]};
    mix_word_blocks(at, voices, weights, (int32)blocks);
    const int32 done = (int32)blocks * PT_BLOCK;
    for (int c = 0; c < PT_CHANNELS; c++) {
        struct pt_channel *channel = &state->channels[c];
        if (channel->position >= 0)
            channel->position =
                (int32)((uint32)channel->position + (uint32)channel->step * (uint32)done);
    }
    return done;
}
#endif

/* The unshifted channel sums of count samples; with words (the plug-in's
 * own layout, filter off) the frames are stored there, shifted, instead. */
static void mix_chunk(struct pt_state *state, bool stereo, struct mix_sums *sums, int32 count,
                      uint8 *words)
{
    int32 done = 0;
    while (done < count) {
        int64 run = count - done;
        for (int c = 0; c < PT_CHANNELS && run > 0; c++) {
            int64 plain = plain_run(state, &state->channels[c]);
            if (plain < run)
                run = plain;
        }
        int32 start = done;
        if (run == 0) {
            mix_single(state, stereo, &sums->high[done], &sums->low[done]);
            done += 1;
        } else {
#ifdef PT_BLOCK_MIXING
            if (words != nullptr)
                start += mix_word_run(state, words + 4 * done, (int32)run);
#endif
            if (start < done + run)
                mix_plain_run(state, stereo, &sums->high[start], &sums->low[start],
                              (int32)(done + run - start));
            done += (int32)run;
        }
        if (words != nullptr && start < done)
            store_frame_words(words + 4 * start, &sums->high[start], &sums->low[start],
                              done - start, 7);
    }
}

/* Both two-channel sums are shifted right by 7 after the four channels. */
static void shift_sums(struct mix_sums *sums, int32 count)
{
    for (int32 i = 0; i < count; i++) {
        sums->high[i] >>= 7;
        sums->low[i] >>= 7;
    }
}

/* Two one-pole low-pass stages in series, in single precision: the product
 * with b and the sum after it are one fused multiply-add. */
static void filter_side(struct pt_state *state, int side, int32 *values, int32 count)
{
    const float a = state->filter_a, b = state->filter_b;
    float in0 = state->filter_in[side][0], out0 = state->filter_out[side][0];
    float in1 = state->filter_in[side][1], out1 = state->filter_out[side][1];
    for (int32 i = 0; i < count; i++) {
        float x = (float)values[i];
        float y1 = fmaf(x + in0, b, a * out0);
        in0 = x;
        out0 = y1;
        float y2 = fmaf(y1 + in1, b, a * out1);
        in1 = y1;
        out1 = y2;
        values[i] = (int32)y2;
    }
    state->filter_in[side][0] = in0;
    state->filter_out[side][0] = out0;
    state->filter_in[side][1] = in1;
    state->filter_out[side][1] = out1;
}

/* Where the frames go and what an oversampled frame has gathered so far. */
struct output_cursor {
    uint8 *out1;
    uint8 *out2;
    int64 stride;
    int64 frame; /* frames stored so far */
    int64 master_volume;
    int64 sum_high; /* ΣH, or ΣA in mono */
    int64 sum_low;
    bool odd_rendered; /* the first of a frame's two rendered samples is gathered */
    /* 16-bit stereo at unity volume into frames of two adjacent values:
     * stored as words; with the filter off mix_chunk stores them itself. */
    bool word_frames;
};

static void store8(struct output_cursor *out, uint8 *base, int64 value)
{
    base[out->frame * out->stride] = (uint8)value;
}

static void store16(struct output_cursor *out, uint8 *base, int64 value)
{
    ov_store_be16(base + out->frame * out->stride, (uint32)value);
}

/* The eight output modes (PT_MODE_* bits); in mono H = L = the mono mix.
 * Stores count rendered samples of final (shifted, filtered) sums. */
static void store_chunk(struct output_cursor *out, int32 mode, const int32 *high, const int32 *low,
                        int32 count)
{
    const int64 mv = out->master_volume;
    switch (mode) {
    case 0: /* 8-bit mono */
        for (int32 i = 0; i < count; i++, out->frame++)
            store8(out, out->out1, ((((int64)high[i] + high[i]) >> 1) * mv) >> 16);
        break;
    case PT_MODE_STEREO:
        for (int32 i = 0; i < count; i++, out->frame++) {
            store8(out, out->out1, ((int64)high[i] * mv) >> 16);
            store8(out, out->out2, ((int64)low[i] * mv) >> 16);
        }
        break;
    case PT_MODE_16BIT:
        for (int32 i = 0; i < count; i++, out->frame++)
            store16(out, out->out1, (((int64)high[i] + high[i]) * mv) >> 9);
        break;
    case PT_MODE_16BIT | PT_MODE_STEREO:
        if (out->word_frames) {
            store_frame_words(out->out1 + out->frame * 4, high, low, count, 0);
            out->frame += count;
            break;
        }
        for (int32 i = 0; i < count; i++, out->frame++) {
            store16(out, out->out1, ((int64)high[i] * mv) >> 8);
            store16(out, out->out2, ((int64)low[i] * mv) >> 8);
        }
        break;
    default: /* PT_MODE_OVERSAMPLE: two rendered samples make one frame */
        for (int32 i = 0; i < count; i++) {
            if (mode & PT_MODE_STEREO) {
                out->sum_high += high[i];
                out->sum_low += low[i];
            } else {
                out->sum_high += (int64)high[i] + high[i];
            }
            out->odd_rendered = !out->odd_rendered;
            if (out->odd_rendered)
                continue;
            int64 sh = out->sum_high * mv, sl = out->sum_low * mv;
            switch (mode) {
            case PT_MODE_OVERSAMPLE: store8(out, out->out1, sh >> 18); break;
            case PT_MODE_OVERSAMPLE | PT_MODE_STEREO:
                store8(out, out->out1, sh >> 17);
                store8(out, out->out2, sl >> 17);
                break;
            case PT_MODE_OVERSAMPLE | PT_MODE_16BIT: store16(out, out->out1, sh >> 10); break;
            default: /* PT_MODE_OVERSAMPLE | PT_MODE_16BIT | PT_MODE_STEREO */
                store16(out, out->out1, sh >> 9);
                store16(out, out->out2, sl >> 9);
                break;
            }
            out->sum_high = out->sum_low = 0;
            out->frame++;
        }
        break;
    }
}

void pt_render(struct pt_state *state, uint8 *out1, uint8 *out2, int32 stride, int32 frames,
               int32 oversample, int32 bits, int32 channels)
{
    const int32 mode = pt_output_mode(oversample, bits, channels);
    if (frames <= 0 || mode < 0)
        return;
    const bool stereo = (mode & PT_MODE_STEREO) != 0;
    struct output_cursor out = {out1,
                                out2,
                                stride,
                                0,
                                (int64)state->master_volume,
                                0,
                                0,
                                false,
                                mode == (PT_MODE_16BIT | PT_MODE_STEREO) &&
                                    state->master_volume == 256 && stride == 4 && out2 == out1 + 2};
    struct mix_sums sums;
    int64 remaining = (int64)frames * oversample;
    while (remaining > 0) {
        int64 count = pt_run_tick_timing(state);
        if (count > remaining)
            count = remaining;
        if (count > PT_CHUNK)
            count = PT_CHUNK;
        state->sample_counter = (int32)((uint32)state->sample_counter + (uint32)count);
        remaining -= count;
        if (out.word_frames && state->filter_on == 0) {
            mix_chunk(state, stereo, &sums, (int32)count, out.out1 + out.frame * 4);
            out.frame += count;
            continue;
        }
        mix_chunk(state, stereo, &sums, (int32)count, nullptr);
        if (stereo)
            shift_sums(&sums, (int32)count);
        if (state->filter_on != 0) {
            filter_side(state, 0, stereo ? sums.low : sums.high, (int32)count);
            if (stereo)
                filter_side(state, 1, sums.high, (int32)count);
        }
        store_chunk(&out, mode, sums.high, sums.low, (int32)count);
    }
}
