/*
 * Zephrin's picture: a 512 x 132 canvas that every frame scrolls one pixel
 * left and fades towards blue, with a star field, a two-channel
 * oscilloscope and a spectrum of falling bars with peak dots drawn on top.
 *
 * Pixels are 32-bit words 0x00RRGGBB in the machine's own order (the
 * platform's A8R8G8B8). Everything is static: one picture per program.
 */
#ifndef OV_VISUALISER_RENDERER_H
#define OV_VISUALISER_RENDERER_H

#include "../platform/exec.h"

constexpr int32 frameWidth = 512;
constexpr int32 frameHeight = 132;
constexpr int32 framePixels = frameWidth * frameHeight;
constexpr int32 starCount = 50;
constexpr int32 paletteSize = 128;

struct Star {
    int32 x;     /* column 0 to 511 */
    int32 y;     /* row 0 to 129 */
    int32 speed; /* 1 to 6 pixels per frame */
    uint32 colour;
};

/* The picture the display copies into the window; starts black. */
extern uint32 frameBuffer[framePixels];
/* Bar colours from red at the bottom to pale yellow at the top. */
extern uint32 barPalette[paletteSize];
extern struct Star starField[starCount];
/* Per column: the peak dot's and the bar's height (0 to 127). */
extern uint32 peakLevel[frameWidth];
extern uint32 barLevel[frameWidth];

/* Builds the palette, clears the levels and scatters the stars from the
 * calendar time. */
void initRenderer();
/* Scatters the stars from the given seed: the same seed, the same field. */
void scatterStars(uint32 seed);

/* Draws one frame. samples: stereo frames of big-endian signed 16-bit
 * values (frames 2 to 510 are read); first/secondSpectrum: big-endian
 * unsigned 16-bit values (entries 2 to 508 are read). */
void renderFrame(const void *samples, const void *firstSpectrum, const void *secondSpectrum);

#endif
