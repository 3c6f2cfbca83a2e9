/* Sample rates as 80-bit extended values. */
#include "aiff_format.h"

#define EXTENDED_SIGN 0x8000u
#define EXTENDED_EXPONENT_MASK 0x7FFFu
#define EXTENDED_EXPONENT_BIAS 16383
/* Exponent of a value whose top 16 mantissa bits are its integer part. */
#define EXTENDED_EXPONENT_16BIT 0x400E

uint32 aiff_decode_rate(const uint8 extended[AIFF_EXTENDED_SIZE])
{
    const uint32 sign_and_exponent = ov_load_be16(extended);
    const uint64 mantissa = ((uint64)ov_load_be32(extended + 2) << 32) | ov_load_be32(extended + 6);
    const uint32 exponent = sign_and_exponent & EXTENDED_EXPONENT_MASK;
    if ((sign_and_exponent & EXTENDED_SIGN) != 0 || exponent == EXTENDED_EXPONENT_MASK)
        return 0;
    /* value = mantissa * 2^(exponent - bias - 63) */
    const int32 shift = (int32)exponent - EXTENDED_EXPONENT_BIAS - 63;
    uint64 hertz;
    if (shift >= 0) {
        if (mantissa == 0)
            return 0;
        if (shift >= 32 || (mantissa >> (32 - shift)) != 0)
            return 0; /* 2^32 Hz or more */
        hertz = mantissa << shift;
    } else {
        hertz = -shift >= 64 ? 0 : mantissa >> -shift;
    }
    return hertz > 0xFFFFFFFFu ? 0 : (uint32)hertz;
}

void aiff_encode_rate(uint8 extended[AIFF_EXTENDED_SIZE], uint32 rate)
{
    std::memset(extended, 0, AIFF_EXTENDED_SIZE);
    if (rate <= 0xFFFFu) {
        ov_store_be16(extended, EXTENDED_EXPONENT_16BIT);
        ov_store_be16(extended + 2, rate);
        return;
    }
    /* Normalised: the leading one moves to the mantissa's top bit. */
    const int32 top_bit = 31 - __builtin_clz(rate);
    const uint64 mantissa = (uint64)rate << (63 - top_bit);
    ov_store_be16(extended, (uint32)(EXTENDED_EXPONENT_BIAS + top_bit));
    ov_store_be32(extended + 2, (uint32)(mantissa >> 32));
    ov_store_be32(extended + 6, (uint32)mantissa);
}
