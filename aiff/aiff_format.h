/* The AIFF file format as this plug-in reads and writes it: chunk layout,
 * identifiers, field offsets and the 80-bit extended sample rate. */
#ifndef OV_AIFF_FORMAT_H
#define OV_AIFF_FORMAT_H

#include "../platform/byteorder.h"
#include "../platform/exec.h"

#include <cstring>

/* Chunk identifiers and the form type. */
#define AIFF_FORM_ID "FORM"
#define AIFF_FORM_TYPE "AIFF"
#define AIFF_COMM_ID "COMM"
#define AIFF_SSND_ID "SSND"

/* Every chunk: a 4-byte identifier, then a 4-byte data size. */
#define AIFF_CHUNK_HEADER_SIZE 8
#define AIFF_CHUNK_SIZE_AT 4
/* FORM identifier, FORM size, form type. */
#define AIFF_FORM_HEADER_SIZE 12
#define AIFF_FORM_TYPE_AT 8
/* COMM data: channels, frames, sample size, extended rate. */
#define AIFF_COMM_SIZE 18
#define AIFF_COMM_CHANNELS_AT 0
#define AIFF_COMM_FRAMES_AT 2
#define AIFF_COMM_SAMPLE_SIZE_AT 6
#define AIFF_COMM_RATE_AT 8
/* SSND data before the sound bytes: offset, block size. */
#define AIFF_SSND_FIELDS_SIZE 8
#define AIFF_SSND_OFFSET_AT 0
#define AIFF_SSND_BLOCK_SIZE_AT 4
/* Where the sound bytes of an SSND chunk start, counted from its identifier. */
#define AIFF_SSND_DATA_START (AIFF_CHUNK_HEADER_SIZE + AIFF_SSND_FIELDS_SIZE)
/* An 80-bit extended value: sign and 15-bit exponent, 64-bit mantissa. */
#define AIFF_EXTENDED_SIZE 10

static inline bool aiff_id_is(const uint8 *bytes, const char *id)
{
    return std::memcmp(bytes, id, 4) == 0;
}

/* Whether a file's first AIFF_FORM_HEADER_SIZE bytes open an AIFF form. */
static inline bool aiff_is_form_header(const uint8 *form)
{
    return aiff_id_is(form, AIFF_FORM_ID) && aiff_id_is(form + AIFF_FORM_TYPE_AT, AIFF_FORM_TYPE);
}

static inline void aiff_store_id(uint8 *bytes, const char *id) { std::memcpy(bytes, id, 4); }

/* The whole number of Hz an extended rate denotes, truncated toward zero;
 * 0 for a negative, infinite or not-a-number value or one of 2^32 Hz or
 * more. A rate stored with exponent 0x400E is its top 16 mantissa bits. */
uint32 aiff_decode_rate(const uint8 extended[AIFF_EXTENDED_SIZE]);

/* Stores a rate as an extended value. Below 65536 Hz: exponent 0x400E with
 * the rate in the top 16 mantissa bits (the form every reader of 16-bit
 * rates expects); from 65536 Hz on the normalised value. */
void aiff_encode_rate(uint8 extended[AIFF_EXTENDED_SIZE], uint32 rate);

#endif
