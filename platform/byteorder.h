/* Big-endian values in byte buffers, as the system's files, records and
 * sample streams hold them, and little-endian ones for the files of the
 * machine the stand-in runs on (a loadable file's headers). Byte by byte,
 * so any alignment is fine and the result is the same on either byte order
 * of the machine; header only, so every layer (plug-ins included) can use
 * it without linking anything. */
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

static inline uint64_t ov_load_be64(const void *at)
{
    const uint8_t *p = (const uint8_t *)at;
    return ((uint64_t)ov_load_be32(p) << 32) | ov_load_be32(p + 4);
}

static inline uint16_t ov_load_le16(const void *at)
{
    const uint8_t *p = (const uint8_t *)at;
    return (uint16_t)(p[0] | (p[1] << 8));
}

static inline uint32_t ov_load_le32(const void *at)
{
    const uint8_t *p = (const uint8_t *)at;
    return p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

static inline uint64_t ov_load_le64(const void *at)
{
    const uint8_t *p = (const uint8_t *)at;
    return ov_load_le32(p) | ((uint64_t)ov_load_le32(p + 4) << 32);
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
