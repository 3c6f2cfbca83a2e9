/* The picture: frame by frame against a plain reference renderer (every
 * fade step and fall step occurs in its random frames), and the numbers a
 * reference could get wrong the same way (palette corners, the top one
 * never drawn there, and the star field's spread). */
#include "renderer.h"

#include "platform/byteorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <set>
#include <vector>

namespace {

constexpr uint32 white = 0x00FFFFFF;

uint32 rgb(uint32 red, uint32 green, uint32 blue) { return (red << 16) | (green << 8) | blue; }

/* The inputs of one frame, big-endian as the player delivers them. */
struct FrameInput {
    std::vector<uint8> samples = std::vector<uint8>(511 * 4, 0);
    std::vector<uint8> first = std::vector<uint8>(509 * 2, 0);
    std::vector<uint8> second = std::vector<uint8>(509 * 2, 0);
};

TEST(Renderer, StarsFallOnEveryColumnRowAndSpeedAndShineByTheirSpeed)
{
    const uint32 grey[7] = {0, 85, 119, 153, 187, 221, 255};
    ASSERT_EQ(std::size(starField), 50u);
    std::set<int32> columns, rows, speeds;
    std::fill_n(peakLevel, frameWidth, 9u);
    std::fill_n(barLevel, frameWidth, 9u);
    for (uint32 seed = 0; seed <= 100; seed++) {
        if (seed == 0)
            initRenderer(); /* from the calendar time, and with all levels at 0 */
        else
            scatterStars(seed);
        for (const struct Star &star : starField) {
            ASSERT_TRUE(star.x >= 0 && star.x < 512 && star.y >= 0 && star.y < 130 &&
                        star.speed >= 1 && star.speed <= 6);
            EXPECT_EQ(star.colour, grey[star.speed] * 0x010101u) << "speed " << star.speed;
            columns.insert(star.x);
            rows.insert(star.y);
            speeds.insert(star.speed);
        }
    }
    EXPECT_EQ(columns.size() + rows.size() + speeds.size(), 512u + 130 + 6) << "each occurs";
    EXPECT_EQ(std::count(peakLevel, peakLevel + frameWidth, 0u) +
                  std::count(barLevel, barLevel + frameWidth, 0u),
              2 * frameWidth);
}

/* Levels the reference frames do not reach exactly, such as 1 and 4. */
TEST(Renderer, LevelsFallAsTheTableSays)
{
    struct Fall {
        uint32 before, peakAfter, barAfter;
    };
    const Fall falls[] = {{127, 123, 110}, {100, 96, 83}, {97, 93, 80}, {96, 93, 83}, {65, 62, 52},
                          {64, 62, 55},    {50, 48, 41},  {33, 31, 24}, {32, 31, 27}, {6, 5, 1},
                          {5, 4, 1},       {4, 3, 3},     {2, 1, 1},    {1, 1, 1},    {0, 0, 0}};
    const std::vector<uint8> silence(511 * 4, 0);
    for (size_t f = 0; f < std::size(falls); f++)
        peakLevel[10 + 20 * f] = barLevel[10 + 20 * f] = falls[f].before;
    renderFrame(silence.data(), silence.data(), silence.data());
    for (size_t f = 0; f < std::size(falls); f++) {
        EXPECT_EQ(peakLevel[10 + 20 * f], falls[f].peakAfter) << "before " << falls[f].before;
        EXPECT_EQ(barLevel[10 + 20 * f], falls[f].barAfter) << "before " << falls[f].before;
    }
}

/* ---- the reference: the rules written out pixel by pixel ---- */

struct Reference {
    std::vector<uint32> picture = std::vector<uint32>(framePixels);
    std::array<struct Star, starCount> stars{};
    std::array<uint32, 512> peak{}, bar{};

    static uint32 paletteEntry(uint32 k)
    {
        return rgb(255, std::min<uint32>(3 * k, 255), k <= 63 ? 0 : 2 * k - 128);
    }
    static uint32 faded(uint32 p)
    {
        const double red = (p >> 16) & 0xFF, green = (p >> 8) & 0xFF, blue = p & 0xFF;
        return rgb(static_cast<uint32>(red * 0.5), static_cast<uint32>(green * 0.5),
                   static_cast<uint32>(blue * 0.92));
    }
    void set(int row, int column, uint32 colour)
    {
        picture.at(size_t(row) * 512 + column) = colour;
    }

    void frame(const FrameInput &in)
    {
        for (int k = 0; k < 67583; k++)
            picture[k] = faded(picture[k + 1]);
        for (struct Star &star : stars) {
            set(star.y, star.x, star.colour);
            star.x = (star.x + star.speed) % 512;
        }
        for (int i = 2; i <= 510; i++) {
            const auto a = ov_load_be16_signed(&in.samples[4 * i]);
            const auto b = ov_load_be16_signed(&in.samples[4 * i + 2]);
            set(65 - static_cast<int>(std::floor(a / 512.0)), i, 0x00AAFFAA);
            set(65 - static_cast<int>(std::floor(b / 512.0)), i, 0x00FFAAAA);
        }
        for (int i = 2; i <= 508; i++) {
            const uint32 v =
                (ov_load_be16(&in.first[2 * i]) + ov_load_be16(&in.second[2 * i])) / 1024;
            peak[i] = std::max(peak[i], v);
            bar[i] = std::max(bar[i], v);
            for (uint32 k = 0; k < bar[i]; k++)
                set(130 - static_cast<int>(k), i, paletteEntry(k));
            set(130 - static_cast<int>(peak[i]), i, white);
            for (uint32 threshold : {96u, 64u, 32u, 1u})
                peak[i] -= peak[i] > threshold ? 1 : 0;
            for (auto [threshold, step] :
                 {std::pair{96u, 4u}, {64u, 4u}, {32u, 4u}, {4u, 4u}, {1u, 1u}})
                bar[i] -= bar[i] > threshold ? step : 0;
        }
    }
};

TEST(Renderer, MatchesThePlainReference)
{
    initRenderer(); /* the palette */
    std::mt19937 random(20240611);
    Reference reference;
    for (int k = 0; k < framePixels; k++)
        frameBuffer[k] = reference.picture[k] = random() & 0x00FFFFFFu;
    for (int i = 0; i < frameWidth; i++) {
        barLevel[i] = reference.bar[i] = random() % 128;
        peakLevel[i] = reference.peak[i] = barLevel[i] + random() % (128 - barLevel[i]);
    }
    for (struct Star &star : starField) {
        star = {static_cast<int32>(random() % 512), static_cast<int32>(random() % 130),
                static_cast<int32>(random() % 6 + 1), static_cast<uint32>(random() & 0x00FFFFFFu)};
    }
    starField[0] = {511, 129, 6, white}; /* wraps to 5 */
    std::copy(std::begin(starField), std::end(starField), reference.stars.begin());
    const uint32 palette[][2] = {{0, 0xFF0000},  {1, 0xFF0300},  {63, 0xFFBD00}, {64, 0xFFC000},
                                 {65, 0xFFC302}, {85, 0xFFFF2A}, {86, 0xFFFF2C}, {127, 0xFFFF7E}};
    for (const auto &[k, colour] : palette)
        EXPECT_EQ(barPalette[k], colour) << "entry " << k;
    FrameInput input;
    for (int frame = 0; frame < 16; frame++) {
        /* Loud, quiet, silent frames, and the extremes of both inputs. */
        const uint32 mask = frame < 6 ? 0xFF : frame < 9 ? 0x07 : 0;
        for (auto *bytes : {&input.samples, &input.first, &input.second})
            for (size_t k = 0; k < bytes->size(); k++)
                (*bytes)[k] = static_cast<uint8>(random() & (k % 2 ? 0xFF : mask));
        if (frame == 3) {
            for (int i = 0; i < 511; i++) {
                ov_store_be16(&input.samples[4 * i], i % 2 ? 32767 : 0x8000);
                ov_store_be16(&input.samples[4 * i + 2], i % 3 ? 0xFFFF : 0);
            }
            std::fill(input.first.begin(), input.first.end(), 0xFF);
            std::fill(input.second.begin(), input.second.end(), 0xFF);
        }
        renderFrame(input.samples.data(), input.first.data(), input.second.data());
        reference.frame(input);
        for (int k = 0; k < framePixels; k++)
            ASSERT_EQ(frameBuffer[k], reference.picture[k])
                << "frame " << frame << " row " << k / 512 << " column " << k % 512;
        for (int i = 0; i < frameWidth; i++) {
            ASSERT_EQ(peakLevel[i], reference.peak[i]) << "frame " << frame << " column " << i;
            ASSERT_EQ(barLevel[i], reference.bar[i]) << "frame " << frame << " column " << i;
        }
    }
}

} // namespace
