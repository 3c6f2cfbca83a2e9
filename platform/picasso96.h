/*
 * Picasso96API: copying pixel blocks from memory into a window.
 *
 * A RenderInfo describes a block of memory pixels; p96WritePixelArray
 * copies a rectangle of it into a RastPort, converting to the display's
 * own format.
 *
 * Pixel words on this platform: RGBFB_A8R8G8B8 pixels are 32-bit words in
 * the machine's own byte order holding 0xAARRGGBB (on a big-endian machine
 * that is the bytes alpha, red, green, blue in memory, as on the real
 * system). Alpha is ignored.
 */
#ifndef OV_PLATFORM_PICASSO96_H
#define OV_PLATFORM_PICASSO96_H

#include "exec.h"
#include "intuition.h"

/* pixel formats */
#define RGBFB_NONE 0
#define RGBFB_A8R8G8B8 6

struct RenderInfo {
    APTR Memory;       /* the first pixel of the block */
    int16 BytesPerRow; /* distance between the starts of two rows */
    int16 pad;
    uint32 RGBFormat; /* RGBFB_ */
};

/* ---- the interface "main" of "Picasso96API.library" --------------------- */

struct P96IFace {
    struct InterfaceData Data;
    uint32 (*Obtain)(struct P96IFace *Self);
    uint32 (*Release)(struct P96IFace *Self);
    void (*Expunge)(struct P96IFace *Self);
    struct Interface *(*Clone)(struct P96IFace *Self);

    /* Copies the sizeX x sizeY rectangle at (srcX, srcY) of the block into
     * the RastPort at (destX, destY), clipped to the destination. Blocks
     * in other formats than RGBFB_A8R8G8B8 are not copied. */
    void (*p96WritePixelArray)(struct P96IFace *Self, const struct RenderInfo *renderInfo,
                               uint16 srcX, uint16 srcY, struct RastPort *rastPort, uint16 destX,
                               uint16 destY, uint16 sizeX, uint16 sizeY);
};

#endif
