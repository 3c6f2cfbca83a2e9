/* Big-endian values in byte buffers, as the system's files, records and
 * sample streams hold them. Byte by byte, so any alignment is fine and the
 * result is the same on either byte order of the machine; header only, so
 * every layer (plug-ins included) can use it without linking anything. */
#ifndef OV_PLATFORM_BYTEORDER_H
#define OV_PLATFORM_BYTEORDER_H

#include <stdint.h>

static inline uint16_t ov_load_be16(const void *at)
{
    const uint8_t *p = (const uint8_t *)at;
    return (uint16_t)((p[0] << 8) | p[1]);
}

/* A signed 16-bit value, such as a PCM sample. */
static inline int16_t ov_load_be16_signed(const void *at) { return (int16_t)ov_load_be16(at); }

static inline uint32_t ov_load_be32(const void *at)
{
    const uint8_t *p = (const uint8_t *)at;
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}

/* Stores the low 16 bits of `value` (a negative sample is stored in two's
 * complement). */
static inline void ov_store_be16(void *at, uint32_t value)
{
    uint8_t *p = (uint8_t *)at;
    p[0] = (uint8_t)(value >> 8);
    p[1] = (uint8_t)value;
}

static inline void ov_store_be32(void *at, uint32_t value)
{
    uint8_t *p = (uint8_t *)at;
    p[0] = (uint8_t)(value >> 24);
    p[1] = (uint8_t)(value >> 16);
    p[2] = (uint8_t)(value >> 8);
    p[3] = (uint8_t)value;
}

#endif
