/*
 * The Protracker replay routine: the module state, the loader, the
 * sequencer with its effect engine, and the mixer.
 *
 * Records use the machine's byte order and pointer width; every field is
 * a plain integer (or float for the filter) so the state can be inspected
 * field by field.
 */
#ifndef OV_PT_REPLAYER_H
#define OV_PT_REPLAYER_H

#include "../platform/exec.h"

/* Positions, lengths and steps are byte counts × 16384 (18.14 fixed point). */
#define PT_FIXED_SHIFT 14
#define PT_CHANNELS 4
#define PT_SAMPLES 32
#define PT_ORDERS 128
#define PT_ROWS 64
#define PT_CELLS_PER_PATTERN (PT_ROWS * PT_CHANNELS)
#define PT_TUNES_PER_ROW 36
#define PT_FINETUNES 16
#define PT_PERIOD_MIN 108
#define PT_PERIOD_MAX 907

/* A playing position is a non-negative int32 (a negative one stops the
 * channel), so every byte a channel reads lies less than this many bytes
 * past its sample's start, whatever the sample's length, loop, offset or
 * step. */
#define PT_POSITION_REACH (1u << (31 - PT_FIXED_SHIFT))

/* Module file layout. */
#define PT_FILE_TITLE 0
#define PT_FILE_SAMPLE_HEADERS 20
#define PT_FILE_SAMPLE_HEADER_SIZE 30
#define PT_FILE_SONG_LENGTH 950
#define PT_FILE_RESTART 951 /* stored, never played from */
#define PT_FILE_ORDER_TABLE 952
#define PT_FILE_SIGNATURE 1080
#define PT_FILE_PATTERNS 1084
#define PT_FILE_PATTERN_SIZE 1024

/* Effect commands: the cell's effect field. */
#define PT_FX_ARPEGGIO 0x0
#define PT_FX_PORTAMENTO_UP 0x1
#define PT_FX_PORTAMENTO_DOWN 0x2
#define PT_FX_TONE_PORTAMENTO 0x3
#define PT_FX_VIBRATO 0x4
#define PT_FX_TONE_PORTAMENTO_VOLUME_SLIDE 0x5
#define PT_FX_VIBRATO_VOLUME_SLIDE 0x6
#define PT_FX_TREMOLO 0x7
#define PT_FX_SAMPLE_OFFSET 0x9 /* 8xx does nothing */
#define PT_FX_VOLUME_SLIDE 0xA
#define PT_FX_POSITION_JUMP 0xB
#define PT_FX_SET_VOLUME 0xC
#define PT_FX_PATTERN_BREAK 0xD
#define PT_FX_EXTENDED 0xE
#define PT_FX_SET_SPEED 0xF /* speed below 32, tempo from 32 */

/* Extended commands (effect E): the parameter's high nibble. */
#define PT_EX_FILTER 0x0
#define PT_EX_FINE_PORTAMENTO_UP 0x1
#define PT_EX_FINE_PORTAMENTO_DOWN 0x2
#define PT_EX_GLISSANDO 0x3
#define PT_EX_VIBRATO_WAVEFORM 0x4
#define PT_EX_FINETUNE 0x5
#define PT_EX_PATTERN_LOOP 0x6
#define PT_EX_TREMOLO_WAVEFORM 0x7
#define PT_EX_RETRIGGER 0x9 /* E8y does nothing */
#define PT_EX_FINE_VOLUME_UP 0xA
#define PT_EX_FINE_VOLUME_DOWN 0xB
#define PT_EX_NOTE_CUT 0xC
#define PT_EX_NOTE_DELAY 0xD
#define PT_EX_PATTERN_DELAY 0xE
#define PT_EX_INVERT_LOOP 0xF

/* pt_channel.flags */
#define PT_CHANNEL_SKIP_PERIOD_EFFECT 1 /* no period effect on the current tick */
#define PT_CHANNEL_TONE_PORTAMENTO 2

/* pt_state.flags: E0y may switch the output filter. */
#define PT_STATE_FILTER_SWITCHABLE 4

struct pt_sample {
    char name[32];
    uint8 *data; /* inside the module image */
    uint32 length;
    uint32 loop_start;
    uint32 loop_length;
    uint32 loop_end;
    uint32 finetune;
    uint32 volume;
};

struct pt_note {
    uint32 period;
    uint32 sample;
    uint8 effect;
    uint8 param_x;
    uint8 param_y;
    uint8 param;
    uint8 unused[4];
};

struct pt_channel {
    int32 sample;
    int32 instrument;
    int32 position; /* -1: stopped */
    int32 period;
    int32 last_period;
    int32 step;
    int32 offset_memory;
    int32 last_command;
    int32 row_period;
    int32 period_slide;
    int32 volume;
    int32 saved_volume;
    int32 output_volume;
    int32 volume_slide;
    int32 pan;
    int32 finetune;
    int32 flags;
    int32 porta_speed;
    int32 porta_target;
    int32 output_period;
    int32 retrig_interval;
    int32 cut_countdown;
    int32 retrig_countdown;
    int32 arpeggio;
    int32 note_period;
    int32 vibrato_speed_memory;
    int32 vibrato_depth;
    int32 vibrato_speed;
    int32 vibrato_position;
    int32 tremolo_speed_memory;
    int32 tremolo_depth;
    int32 tremolo_speed;
    int32 tremolo_position;
    int32 vibrato_waveform;
    int32 tremolo_waveform;
    int32 glissando_funk;
    int32 funk_accumulator;
    int32 funk_position;
    int32 pending_sample;
    int32 loop_row;
    int32 loop_count;
    int32 loop_state;
};

struct pt_state {
    struct pt_sample samples[PT_SAMPLES];
    struct pt_channel channels[PT_CHANNELS];
    uint32 order_table[PT_ORDERS];
    char title[32];
    struct pt_note *patterns;
    uint32 flags;
    uint32 num_patterns;
    uint32 song_length;
    int32 mix_rate;
    uint32 master_volume;
    uint32 song_position;
    uint32 row;
    uint32 speed;
    uint32 tempo; /* the last Fxx from 32 (125 until one comes): tick_samples follows it */
    int32 tick_samples;
    int32 sample_counter;
    int32 tick_countdown;
    uint32 pattern_delay;
    uint32 break_row;
    uint32 filter_on;
    float filter_b;
    float filter_a;
    float filter_in[2][2];
    float filter_out[2][2];
    /* The module image the sample data lies in: every sample read and
     * every invert-loop write is checked against it. */
    uint8 *image;
    uint32 image_size;
};

/* Fixed tables. */
extern const int16 tab_tunes[PT_FINETUNES * PT_TUNES_PER_ROW];
extern const uint8 tab_vib[32];
extern const uint8 tab_funk[16];

/* Whether data[0..size) is long enough to hold the "M.K." signature at
 * PT_FILE_SIGNATURE and holds it there. */
bool pt_has_signature(const uint8 *data, uint32 size);

/* Why pt_init refuses a module image (PT_MODULE_ACCEPTED when it does not),
 * with the numbers that say so. */
#define PT_MODULE_ACCEPTED 0
#define PT_MODULE_NO_SIGNATURE 1 /* no "M.K." at PT_FILE_SIGNATURE */
#define PT_MODULE_TOO_SHORT 2    /* ends before its patterns and samples do */

struct pt_module_check {
    int32 verdict;    /* one of PT_MODULE_* */
    uint8 tag[4];     /* the bytes where the signature belongs */
    uint32 tag_bytes; /* how many of them the image holds (0 to 4) */
    uint32 patterns;  /* patterns the order table asks for (signature present) */
    uint32 needed;    /* bytes the header, patterns and samples take (signature present) */
    uint32 size;      /* bytes the image has (0 for a negative size) */
    /* Bytes from the image's start that the replay can ever read (signature
     * present): the last sample's start + PT_POSITION_REACH. A byte past it
     * is never heard, so an image cut there renders every output byte as
     * the whole one does. At least `needed`, at most 4,326,400. */
    uint32 reach;
};

/* The checks pt_init makes before it loads anything; the host asks the same
 * function to say why a module is refused. */
struct pt_module_check pt_check_module(const uint8 *data, int32 size);

/* Loads the module in data[0..size) for mixing at rate Hz. The state points
 * into the image (sample data, rewritten in place by the invert loop), so the
 * image must stay valid and writable while the state lives. Returns null when
 * the module is refused; release the result with FreeVec. */
struct pt_state *pt_init(uint8 *data, int32 size, int32 rate, struct ExecIFace *IExec);

/* One sample of a loaded module as its header gives it. */
struct pt_sample_info {
    char name[23];     /* the 22 stored bytes, NUL-terminated */
    int32 length;      /* bytes */
    int32 loop_start;  /* bytes */
    int32 loop_length; /* bytes */
    int32 volume;      /* as stored, 0 to 255 (64 is full) */
    int32 finetune;    /* -8 to 7 */
};

/* A loaded module as its header gives it. */
struct pt_module_info {
    char title[21]; /* the 20 stored bytes, NUL-terminated */
    int32 orders;   /* the song length as stored: order positions played */
    int32 patterns; /* patterns in the image */
    int32 restart;  /* the byte at PT_FILE_RESTART */
    struct pt_sample_info samples[PT_SAMPLES - 1]; /* samples 1 to 31 */
};

/* What a state pt_init loaded says of its module, in bytes and plain
 * numbers. */
struct pt_module_info pt_get_module_info(const struct pt_state *state);

/* Output modes of pt_render: an index of three bits, one for each property
 * of the output. */
#define PT_MODE_STEREO 1     /* two values a frame: out1 high-pan sum, out2 low-pan sum */
#define PT_MODE_16BIT 2      /* 16-bit big-endian values; otherwise 8-bit */
#define PT_MODE_OVERSAMPLE 4 /* two rendered samples summed into each frame */
#define PT_MODES 8

/* The arguments of pt_render that choose its output mode. */
struct pt_output_format {
    int32 oversample; /* 1 or 2 */
    int32 bits;       /* 8 or 16 */
    int32 channels;   /* 1 or 2 */
};

/* The mode index of a format, or -1 when pt_render renders nothing for it. */
static inline int32 pt_output_mode(int32 oversample, int32 bits, int32 channels)
{
    if ((oversample != 1 && oversample != 2) || (bits != 8 && bits != 16) ||
        (channels != 1 && channels != 2))
        return -1;
    return (channels == 2 ? PT_MODE_STEREO : 0) | (bits == 16 ? PT_MODE_16BIT : 0) |
           (oversample == 2 ? PT_MODE_OVERSAMPLE : 0);
}

/* The format of mode index mode (0 to PT_MODES - 1). */
static inline struct pt_output_format pt_mode_format(int32 mode)
{
    struct pt_output_format format = {(mode & PT_MODE_OVERSAMPLE) ? 2 : 1,
                                      (mode & PT_MODE_16BIT) ? 16 : 8,
                                      (mode & PT_MODE_STEREO) ? 2 : 1};
    return format;
}

/* Renders frames × oversample samples. out1 receives the high-pan sum (or the
 * mono mix), out2 the low-pan sum; both advance by stride per frame. bits 8
 * or 16 (16-bit values are stored big-endian), channels 1 or 2, oversample 1
 * or 2; any other combination renders nothing. */
void pt_render(struct pt_state *state, uint8 *out1, uint8 *out2, int32 stride, int32 frames,
               int32 oversample, int32 bits, int32 channels);

/* One sequencer tick: a row read when the row is over, then the per-tick
 * effect update of all four channels. */
void pt_tick(struct pt_state *state);
void pt_read_row(struct pt_state *state);

/* Most rows a pass of the song scan remembers (about 8 hours at speed 6,
 * tempo 125); a longer pass counts as no end found. */
#define PT_SCAN_MAX_ROWS (1 << 18)

/* Samples the song plays until it has wrapped `passes` times (1: the song
 * once): until a row starts in a state already met in the current pass
 * (song position, row and every channel's pattern loop), on pt_render's
 * clock, at the sample where pt_render would read that row. A pass counts
 * its own rows, so a song that jumps back into its middle repeats only
 * that part. state must be freshly loaded over a private copy of the image:
 * the scan runs its sequencer (and the invert loop writes into the image).
 * Returns -1 when no end comes within limit samples or within
 * PT_SCAN_MAX_ROWS rows of a pass, or memory runs out. */
int64 pt_song_samples(struct pt_state *state, int32 passes, int64 limit, struct ExecIFace *IExec);

/* Entry j = (index of period in tab_tunes, 36 when absent) + offset, at most
 * 35, of row finetune. */
int32 getperiod(int32 period, int32 finetune, int32 offset);

/* The position step (18.14) of a period at the state's mixing rate. */
int32 pt_period_step(const struct pt_state *state, int32 period);

#endif
