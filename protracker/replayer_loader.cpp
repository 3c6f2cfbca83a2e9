/* pt_init: turns a module image into the replay state. */
#include "../platform/byteorder.h"
#include "replayer.h"

#include <math.h>

static void copy_bytes(char *to, const uint8 *from, uint32 count)
{
    for (uint32 i = 0; i < count; i++)
        to[i] = (char)from[i];
}

/* The pattern count is not stored: it is one more than the highest entry
 * among all 128 order bytes, played or not. */
static uint32 count_patterns(const uint8 *data)
{
    uint32 highest = 0;
    for (uint32 i = 0; i < PT_ORDERS; i++)
        if (data[PT_FILE_ORDER_TABLE + i] > highest)
            highest = data[PT_FILE_ORDER_TABLE + i];
    return highest + 1;
}

static void unpack_patterns(struct pt_note *cell, const uint8 *from, uint32 patterns)
{
    for (uint32 i = 0; i < patterns * PT_CELLS_PER_PATTERN; i++, cell++, from += 4) {
        cell->period = ((uint32)(from[0] & 0x0F) << 8) | from[1];
        cell->sample = (uint32)(from[0] & 0xF0) | (uint32)(from[2] >> 4);
        cell->effect = from[2] & 0x0F;
        cell->param_x = from[3] >> 4;
        cell->param_y = from[3] & 0x0F;
        cell->param = from[3];
    }
}

/* A two-stage low-pass at 2000 Hz; b is derived from a before a is
 * rounded to single precision. */
static void set_filter_coefficients(struct pt_state *state, int32 rate)
{
    double t = rate != 0 ? atan(12566.37061435916 / (double)rate) : atan(HUGE_VAL);
    double a = (1.0 - t) / (1.0 + t);
    state->filter_a = (float)a;
    state->filter_b = (float)((1.0 - a) * 0.5);
}

bool pt_has_signature(const uint8 *data, uint32 size)
{
    static const uint8 signature[4] = {'M', '.', 'K', '.'};
    if (data == nullptr || size < PT_FILE_SIGNATURE + sizeof signature)
        return false;
    for (uint32 i = 0; i < sizeof signature; i++)
        if (data[PT_FILE_SIGNATURE + i] != signature[i])
            return false;
    return true;
}

struct pt_module_check pt_check_module(const uint8 *data, int32 size)
{
    struct pt_module_check check = {};
    check.size = size > 0 ? (uint32)size : 0;
    if (data != nullptr) {
        for (uint32 i = 0; i < 4 && PT_FILE_SIGNATURE + i < check.size; i++)
            check.tag[check.tag_bytes++] = data[PT_FILE_SIGNATURE + i];
    }
    if (!pt_has_signature(data, check.size)) {
        check.verdict = PT_MODULE_NO_SIGNATURE;
        return check;
    }
    check.patterns = count_patterns(data);
    /* At most 1084 + 256 KB of patterns + 31 × 128 KB of samples: no overflow. */
    check.needed = PT_FILE_PATTERNS + PT_FILE_PATTERN_SIZE * check.patterns;
    for (int i = 1; i < PT_SAMPLES; i++) {
        const uint8 *header = data + PT_FILE_SAMPLE_HEADERS + (i - 1) * PT_FILE_SAMPLE_HEADER_SIZE;
        /* Samples follow each other, so the last one starts last. */
        if (i == PT_SAMPLES - 1)
            check.reach = check.needed + PT_POSITION_REACH;
        check.needed += ov_load_be16(header + 22) * 2u;
    }
    check.verdict = check.size < check.needed ? PT_MODULE_TOO_SHORT : PT_MODULE_ACCEPTED;
    return check;
}

struct pt_state *pt_init(uint8 *data, int32 size, int32 rate, struct ExecIFace *IExec)
{
    const struct pt_module_check check = pt_check_module(data, size);
    if (check.verdict != PT_MODULE_ACCEPTED)
        return nullptr;
    const uint32 patterns = check.patterns;
    const uint32 sample_data = PT_FILE_PATTERNS + PT_FILE_PATTERN_SIZE * patterns;

    struct pt_state *state = (struct pt_state *)IExec->AllocVec(
        IExec, sizeof(struct pt_state) + sizeof(struct pt_note) * PT_CELLS_PER_PATTERN * patterns,
        MEMF_CLEAR);
    if (state == nullptr)
        return nullptr;
    state->num_patterns = patterns;
    state->patterns = (struct pt_note *)(state + 1);
    state->image = data;
    state->image_size = (uint32)size;

    static const int32 pans[PT_CHANNELS] = {0, 255, 255, 0};
    for (int c = 0; c < PT_CHANNELS; c++) {
        state->channels[c].position = -1;
        state->channels[c].volume = 64;
        state->channels[c].cut_countdown = -1;
        state->channels[c].pan = pans[c];
    }
    state->mix_rate = rate;
    state->master_volume = 256;
    state->flags = PT_STATE_FILTER_SWITCHABLE;
    state->speed = 6;
    state->tempo = 125;
    state->tick_samples = rate / 50;

    copy_bytes(state->title, data + PT_FILE_TITLE, 20);
    for (int i = 1; i < PT_SAMPLES; i++) {
        const uint8 *header = data + PT_FILE_SAMPLE_HEADERS + (i - 1) * PT_FILE_SAMPLE_HEADER_SIZE;
        struct pt_sample *sample = &state->samples[i];
        copy_bytes(sample->name, header, 22);
        sample->length = ov_load_be16(header + 22) * 2;
        sample->finetune = header[24] & 15;
        sample->volume = header[25];
        sample->loop_start = ov_load_be16(header + 26) * 2;
        sample->loop_length = ov_load_be16(header + 28) * 2;
    }
    state->song_length = data[PT_FILE_SONG_LENGTH];
    for (int i = 0; i < PT_ORDERS; i++)
        state->order_table[i] = data[PT_FILE_ORDER_TABLE + i];
    unpack_patterns(state->patterns, data + PT_FILE_PATTERNS, patterns);

    /* Every sample lies within the image: pt_check_module made sure. */
    uint32 cursor = sample_data;
    for (int i = 1; i < PT_SAMPLES; i++) {
        struct pt_sample *sample = &state->samples[i];
        sample->data = data + cursor;
        cursor += sample->length;
        sample->length <<= PT_FIXED_SHIFT;
        sample->loop_start <<= PT_FIXED_SHIFT;
        sample->loop_length <<= PT_FIXED_SHIFT;
        sample->loop_end = sample->loop_start + sample->loop_length;
    }

    state->filter_on = 0;
    set_filter_coefficients(state, rate);
    state->tick_countdown = 0;
    state->row = 0;
    return state;
}

struct pt_module_info pt_get_module_info(const struct pt_state *state)
{
    struct pt_module_info info = {};
    copy_bytes(info.title, (const uint8 *)state->title, sizeof info.title - 1);
    info.orders = (int32)state->song_length;
    info.patterns = (int32)state->num_patterns;
    info.restart = state->image[PT_FILE_RESTART];
    for (int i = 1; i < PT_SAMPLES; i++) {
        const struct pt_sample *sample = &state->samples[i];
        struct pt_sample_info *out = &info.samples[i - 1];
        copy_bytes(out->name, (const uint8 *)sample->name, sizeof out->name - 1);
        out->length = (int32)(sample->length >> PT_FIXED_SHIFT);
        out->loop_start = (int32)(sample->loop_start >> PT_FIXED_SHIFT);
        out->loop_length = (int32)(sample->loop_length >> PT_FIXED_SHIFT);
        out->volume = (int32)sample->volume;
        /* The header's low nibble, two's complement. */
        out->finetune =
            sample->finetune >= 8 ? (int32)sample->finetune - 16 : (int32)sample->finetune;
    }
    return info;
}
