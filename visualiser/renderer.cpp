/* The picture: scroll and fade, stars, oscilloscope, spectrum. */
#include "renderer.h"

#include "../platform/byteorder.h"

#include <ctime>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

uint32 frameBuffer[framePixels];
uint32 barPalette[paletteSize];
struct Star starField[starCount];
uint32 peakLevel[frameWidth];
uint32 barLevel[frameWidth];

namespace {

constexpr uint32 firstChannelColour = 0x00AAFFAA;
constexpr uint32 secondChannelColour = 0x00FFAAAA;
constexpr uint32 peakColour = 0x00FFFFFF;
constexpr int32 scopeCentreRow = 65;
constexpr int32 barBaseRow = 130;
constexpr int32 starRows = 130;
constexpr int32 firstScopeColumn = 2, lastScopeColumn = 510;
constexpr int32 firstBarColumn = 2, lastBarColumn = 508;

/* Blue keeps 92 %: floor(b * 23 / 25), as a multiply and shift that stays
 * exact for every byte value (checked below). */
constexpr uint32 fadeBlue(uint32 blue) { return (blue * 60294u) >> 16; }

constexpr bool blueFadeIsExact()
{
    for (uint32 blue = 0; blue < 256; blue++) {
        if (fadeBlue(blue) != blue * 23 / 25)
            return false;
    }
    return true;
}
static_assert(blueFadeIsExact());

/* Red and green halve (the bits shifted across a colour boundary are
 * masked away), blue keeps 92 %, alpha is 0. */
constexpr uint32 fade(uint32 pixel)
{
    return ((pixel >> 1) & 0x007F7F00u) | fadeBlue(pixel & 0xFFu);
}

/* The generator for the star field: any time-seeded one will do. */
uint32 randomState;

uint32 nextRandom()
{
    randomState = randomState * 1103515245u + 12345u;
    return (randomState >> 16) & 0x7FFFu;
}

/* Each pixel takes its right-hand neighbour, which is not rewritten yet:
 * the pass works in place, and on several pixels at once where the
 * machine can (four loaded before any of them is stored). */
void shiftAndFade()
{
    int32 k = 0;
#if defined(__SSE2__)
    /* Blue sits alone in the low half of each pixel's low 16-bit lane, the
     * high lane is 0: one unsigned high multiply per lane fades it. */
    const __m128i redGreenMask = _mm_set1_epi32(0x007F7F00);
    const __m128i blueMask = _mm_set1_epi32(0xFF);
    const __m128i blueFactor = _mm_set1_epi32(60294);
    for (; k + 4 <= framePixels - 1; k += 4) {
        const __m128i pixels =
            _mm_loadu_si128(reinterpret_cast<const __m128i *>(&frameBuffer[k + 1]));
        const __m128i blue = _mm_mulhi_epu16(_mm_and_si128(pixels, blueMask), blueFactor);
        const __m128i redGreen = _mm_and_si128(_mm_srli_epi32(pixels, 1), redGreenMask);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(&frameBuffer[k]),
                         _mm_or_si128(redGreen, blue));
    }
#endif
    for (; k < framePixels - 1; k++)
        frameBuffer[k] = fade(frameBuffer[k + 1]);
}

void drawStars()
{
    for (struct Star &star : starField) {
        frameBuffer[star.y * frameWidth + star.x] = star.colour;
        star.x = (star.x + star.speed) & (frameWidth - 1);
    }
}

int32 scopeRow(int32 sample) { return scopeCentreRow - (sample >> 9); }

void drawScope(const uint8 *samples)
{
    for (int32 i = firstScopeColumn; i <= lastScopeColumn; i++) {
        const int32 first = ov_load_be16_signed(samples + 4 * i);
        const int32 second = ov_load_be16_signed(samples + 4 * i + 2);
        frameBuffer[scopeRow(first) * frameWidth + i] = firstChannelColour;
        frameBuffer[scopeRow(second) * frameWidth + i] = secondChannelColour;
    }
}

uint32 peakFall(uint32 level)
{
    level &= 0xFF;
    if (level > 96)
        level -= 1;
    if (level > 64)
        level -= 1;
    if (level > 32)
        level -= 1;
    if (level > 1)
        level -= 1;
    return level;
}

uint32 barFall(uint32 level)
{
    level &= 0xFF;
    if (level > 96)
        level -= 4;
    if (level > 64)
        level -= 4;
    if (level > 32)
        level -= 4;
    if (level > 4)
        level -= 4;
    if (level > 1)
        level -= 1;
    return level;
}

void drawSpectrum(const uint8 *first, const uint8 *second)
{
    /* Each column only ever draws into itself, its bar before its dot, so
     * the columns can be drawn side by side: the levels first, then the
     * bars row by row (along the memory rather than across it), then the
     * dots. */
    uint32 barHeight[frameWidth];
    uint32 peakRow[frameWidth];
    uint32 tallest = 0;
    for (int32 i = firstBarColumn; i <= lastBarColumn; i++) {
        const uint32 v = (ov_load_be16(first + 2 * i) + ov_load_be16(second + 2 * i)) >> 10;
        if (v > peakLevel[i])
            peakLevel[i] = v;
        if (v > barLevel[i])
            barLevel[i] = v;
        barHeight[i] = barLevel[i];
        peakRow[i] = static_cast<uint32>(barBaseRow) - peakLevel[i];
        tallest = barHeight[i] > tallest ? barHeight[i] : tallest;
        peakLevel[i] = peakFall(peakLevel[i]);
        barLevel[i] = barFall(barLevel[i]);
    }
    for (uint32 k = 0; k < tallest; k++) {
        uint32 *row = &frameBuffer[(barBaseRow - static_cast<int32>(k)) * frameWidth];
        const uint32 colour = barPalette[k];
        for (int32 i = firstBarColumn; i <= lastBarColumn; i++)
            row[i] = k < barHeight[i] ? colour : row[i];
    }
    for (int32 i = firstBarColumn; i <= lastBarColumn; i++)
        frameBuffer[peakRow[i] * frameWidth + i] = peakColour;
}

} // namespace

void initRenderer()
{
    for (uint32 k = 0; k < paletteSize; k++) {
        const uint32 green = k * 3 < 255 ? k * 3 : 255;
        const uint32 blue = k < 64 ? 0 : 2 * k - 128;
        barPalette[k] = 0x00FF0000u | (green << 8) | blue;
    }
    for (int32 i = 0; i < frameWidth; i++) {
        peakLevel[i] = 0;
        barLevel[i] = 0;
    }
    scatterStars(static_cast<uint32>(std::time(nullptr)));
}

void scatterStars(uint32 seed)
{
    randomState = seed;
    for (struct Star &star : starField) {
        star.x = static_cast<int32>(nextRandom() % frameWidth);
        star.y = static_cast<int32>(nextRandom() % starRows);
        star.speed = static_cast<int32>(nextRandom() % 6 + 1);
        star.colour = 0x00FFFFFFu - static_cast<uint32>(6 - star.speed) * 0x00222222u;
    }
}

void renderFrame(const void *samples, const void *firstSpectrum, const void *secondSpectrum)
{
    shiftAndFade();
    drawStars();
    drawScope(static_cast<const uint8 *>(samples));
    drawSpectrum(static_cast<const uint8 *>(firstSpectrum),
                 static_cast<const uint8 *>(secondSpectrum));
}
