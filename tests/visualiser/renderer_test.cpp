/* The picture, frame by frame: checked against the rules pixel by pixel,
 * and against a plain reference renderer on random inputs. */
#include "renderer.h"

#include "platform/byteorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr uint32 black = 0;
constexpr uint32 white = 0x00FFFFFF;
constexpr uint32 paleGreen = 0x00AAFFAA;
constexpr uint32 paleRed = 0x00FFAAAA;

/* The inputs of one frame, big-endian as the player delivers them. */
struct FrameInput {
    std::vector<uint8> samples = std::vector<uint8>(511 * 4, 0);
    std::vector<uint8> first = std::vector<uint8>(509 * 2, 0);
    std::vector<uint8> second = std::vector<uint8>(509 * 2, 0);

    void setSample(int frame, int channel, int16 value)
    {
        ov_store_be16(&samples[4 * frame + 2 * channel], static_cast<uint16>(value));
    }
    static void setLevel(std::vector<uint8> &spectrum, int index, uint16 value)
    {
        ov_store_be16(&spectrum[2 * index], value);
    }
    void randomise(std::mt19937 &random)
    {
        for (auto *bytes : {&samples, &first, &second})
            for (uint8 &byte : *bytes)
                byte = static_cast<uint8>(random());
    }
};

uint32 &pixel(int row, int column) { return frameBuffer[row * frameWidth + column]; }

uint32 rgb(uint32 red, uint32 green, uint32 blue) { return (red << 16) | (green << 8) | blue; }

void render(const FrameInput &input)
{
    renderFrame(input.samples.data(), input.first.data(), input.second.data());
}

class Renderer : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::fill(std::begin(frameBuffer), std::end(frameBuffer), 0u);
        initRenderer();
    }
    /* Puts every star on row 0 at column 300, out of the way of the checks. */
    static void parkStars()
    {
        for (struct Star &star : starField) {
            star.x = 300;
            star.y = 0;
            star.speed = 1;
            star.colour = 0x00555555;
        }
    }
};

TEST_F(Renderer, PaletteAndStarColoursFollowTheirTables)
{
    const std::array<std::array<uint32, 4>, 8> palette = {{{0, 255, 0, 0},
                                                           {1, 255, 3, 0},
                                                           {63, 255, 189, 0},
                                                           {64, 255, 192, 0},
                                                           {65, 255, 195, 2},
                                                           {85, 255, 255, 42},
                                                           {86, 255, 255, 44},
                                                           {127, 255, 255, 126}}};
    for (const auto &[k, red, green, blue] : palette)
        EXPECT_EQ(barPalette[k], rgb(red, green, blue)) << "entry " << k;

    const uint32 starGrey[7] = {0, 85, 119, 153, 187, 221, 255};
    for (const struct Star &star : starField) {
        ASSERT_GE(star.speed, 1);
        ASSERT_LE(star.speed, 6);
        EXPECT_EQ(star.colour, rgb(starGrey[star.speed], starGrey[star.speed], starGrey[star.speed]));
        EXPECT_GE(star.x, 0);
        EXPECT_LT(star.x, 512);
        EXPECT_GE(star.y, 0);
        EXPECT_LT(star.y, 130);
    }
    for (int i = 0; i < frameWidth; i++) {
        EXPECT_EQ(peakLevel[i], 0u);
        EXPECT_EQ(barLevel[i], 0u);
    }
}

TEST_F(Renderer, FirstSilentFrameShowsStarsTracesAndPeakLine)
{
    const std::array<struct Star, starCount> starsBefore = std::to_array(starField);
    render(FrameInput{});

    std::vector<uint32> expected(framePixels, black);
    for (const struct Star &star : starsBefore)
        expected[star.y * frameWidth + star.x] = star.colour;
    for (int column = 2; column <= 510; column++)
        expected[65 * frameWidth + column] = paleRed; /* the second channel is drawn last */
    for (int column = 2; column <= 508; column++)
        expected[130 * frameWidth + column] = white;
    for (int k = 0; k < framePixels; k++)
        ASSERT_EQ(frameBuffer[k], expected[k]) << "row " << k / 512 << " column " << k % 512;
    for (int s = 0; s < starCount; s++)
        EXPECT_EQ(starField[s].x, (starsBefore[s].x + starsBefore[s].speed) & 511);
}

TEST_F(Renderer, FadingHalvesRedAndGreenAndKeepsMostOfTheBlue)
{
    parkStars();
    pixel(10, 2) = white;
    render(FrameInput{});
    EXPECT_EQ(pixel(10, 1), rgb(127, 127, 234));

    /* Every value of each colour at once, one pixel per value. */
    for (uint32 value = 0; value < 256; value++)
        pixel(20 + static_cast<int>(value / 128), 100 + static_cast<int>(value % 128) + 1) =
            rgb(value, value, value);
    render(FrameInput{});
    for (uint32 value = 0; value < 256; value++) {
        const uint32 blue = static_cast<uint32>(std::floor(value * 0.92));
        EXPECT_EQ(pixel(20 + static_cast<int>(value / 128), 100 + static_cast<int>(value % 128)),
                  rgb(value / 2, value / 2, blue))
            << "value " << value;
    }
}

TEST_F(Renderer, BlueOf255IsGoneAfter43Frames)
{
    parkStars();
    pixel(40, 200) = 0x000000FF;
    for (int frame = 1; frame <= 43; frame++) {
        render(FrameInput{});
        const uint32 now = pixel(40, 200 - frame);
        EXPECT_EQ(now == 0, frame == 43) << "frame " << frame << " blue " << now;
    }
}

TEST_F(Renderer, BufferShiftsAsOneLongLine)
{
    parkStars();
    pixel(10, 0) = 0x00800000;
    pixel(10, 511) = 0x00000040;
    render(FrameInput{});
    EXPECT_EQ(pixel(9, 511), 0x00400000u); /* the left end went up a row */
    EXPECT_EQ(pixel(10, 510), 0x0000003Au); /* 64 * 0.92 = 58.88 */
    EXPECT_EQ(pixel(10, 0), 0u);
}

TEST_F(Renderer, BottomRowStaysBlack)
{
    std::mt19937 random(7);
    FrameInput loud;
    for (int frame = 0; frame < 30; frame++) {
        loud.randomise(random);
        render(loud);
    }
    for (int column = 0; column < frameWidth; column++)
        ASSERT_EQ(pixel(131, column), 0u) << "column " << column;
}

TEST_F(Renderer, FullLevelBarReachesRowFourWithItsDotOnRowThree)
{
    parkStars();
    FrameInput input;
    FrameInput::setLevel(input.first, 100, 65535);
    FrameInput::setLevel(input.second, 100, 65535);
    render(input);
    for (int k = 0; k < 127; k++)
        EXPECT_EQ(pixel(130 - k, 100), barPalette[k]) << "row " << 130 - k;
    EXPECT_EQ(pixel(3, 100), white);
    EXPECT_EQ(pixel(2, 100), black);
    EXPECT_EQ(peakLevel[100], 123u);
    EXPECT_EQ(barLevel[100], 110u);
}

TEST_F(Renderer, LevelsFallAsTheTableSays)
{
    parkStars();
    struct Fall {
        uint32 before, peakAfter, barAfter;
    };
    const Fall falls[] = {{127, 123, 110}, {100, 96, 83}, {97, 93, 80}, {96, 93, 83}, {65, 62, 52},
                          {64, 62, 55},    {50, 48, 41},  {33, 31, 24}, {32, 31, 27}, {6, 5, 1},
                          {5, 4, 1},       {4, 3, 3},     {2, 1, 1},    {1, 1, 1},    {0, 0, 0}};
    int column = 10;
    for (const Fall &fall : falls) {
        peakLevel[column] = fall.before;
        barLevel[column] = fall.before;
        column += 20;
    }
    render(FrameInput{}); /* silence: v = 0 raises nothing */
    column = 10;
    for (const Fall &fall : falls) {
        EXPECT_EQ(peakLevel[column], fall.peakAfter) << "before " << fall.before;
        EXPECT_EQ(barLevel[column], fall.barAfter) << "before " << fall.before;
        EXPECT_EQ(pixel(130 - static_cast<int>(fall.before), column), white);
        column += 20;
    }
}

TEST_F(Renderer, EdgeColumnsGetNoBarsAndOnlySomeScopeDots)
{
    parkStars();
    std::mt19937 random(3);
    FrameInput loud;
    loud.randomise(random);
    render(loud);
    for (int row = 0; row < frameHeight; row++) {
        for (int column : {0, 1, 511})
            EXPECT_EQ(pixel(row, column), black) << "row " << row << " column " << column;
    }
    for (int column : {509, 510}) {
        int drawn = 0;
        for (int row = 0; row < frameHeight; row++)
            drawn += pixel(row, column) != black;
        EXPECT_GE(drawn, 1);
        EXPECT_LE(drawn, 2) << "column " << column; /* two scope dots, no bar */
    }
}

TEST_F(Renderer, StarWrapsAroundTheRightEdge)
{
    parkStars();
    starField[0] = {511, 50, 6, white};
    render(FrameInput{});
    EXPECT_EQ(starField[0].x, 5);
    EXPECT_EQ(pixel(50, 511), white);
}

TEST_F(Renderer, ScopeRowsSpanTwoToOneHundredTwentyNine)
{
    parkStars();
    FrameInput input;
    input.setSample(100, 0, 32767);
    input.setSample(100, 1, -32768);
    input.setSample(200, 0, -1);
    input.setSample(200, 1, 0);
    render(input);
    EXPECT_EQ(pixel(2, 100), paleGreen);
    EXPECT_EQ(pixel(129, 100), paleRed);
    EXPECT_EQ(pixel(66, 200), paleGreen);
    EXPECT_EQ(pixel(65, 200), paleRed);
}

/* ---- the reference: the rules written out pixel by pixel ---- */

struct Reference {
    std::vector<uint32> picture = std::vector<uint32>(framePixels);
    std::array<struct Star, starCount> stars{};
    std::array<uint32, 512> peak{}, bar{};

    static uint32 paletteEntry(uint32 k)
    {
        const uint32 green = std::min<uint32>(3 * k, 255);
        const uint32 blue = k <= 63 ? 0 : 2 * k - 128;
        return rgb(255, green, blue);
    }
    static uint32 faded(uint32 p)
    {
        const double red = (p >> 16) & 0xFF, green = (p >> 8) & 0xFF, blue = p & 0xFF;
        return rgb(static_cast<uint32>(red * 0.5), static_cast<uint32>(green * 0.5),
                   static_cast<uint32>(blue * 0.92));
    }
    void set(int row, int column, uint32 colour) { picture.at(size_t(row) * 512 + column) = colour; }

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
            set(65 - static_cast<int>(std::floor(a / 512.0)), i, paleGreen);
            set(65 - static_cast<int>(std::floor(b / 512.0)), i, paleRed);
        }
        for (int i = 2; i <= 508; i++) {
            const uint32 v = (ov_load_be16(&in.first[2 * i]) + ov_load_be16(&in.second[2 * i])) / 1024;
            peak[i] = std::max(peak[i], v);
            bar[i] = std::max(bar[i], v);
            for (uint32 k = 0; k < bar[i]; k++)
                set(130 - static_cast<int>(k), i, paletteEntry(k));
            set(130 - static_cast<int>(peak[i]), i, white);
            for (uint32 threshold : {96u, 64u, 32u, 1u})
                peak[i] -= peak[i] > threshold ? 1 : 0;
            for (auto [threshold, step] : {std::pair{96u, 4u}, {64u, 4u}, {32u, 4u}, {4u, 4u}, {1u, 1u}})
                bar[i] -= bar[i] > threshold ? step : 0;
        }
    }
};

TEST_F(Renderer, MatchesThePlainReferenceOnRandomInput)
{
    std::mt19937 random(20240611);
    Reference reference;
    for (int k = 0; k < framePixels - frameWidth; k++)
        frameBuffer[k] = reference.picture[k] = random() & 0x00FFFFFFu;
    for (int i = 0; i < frameWidth; i++) {
        const uint32 level = random() % 128;
        peakLevel[i] = reference.peak[i] = level + (random() % (128 - level));
        barLevel[i] = reference.bar[i] = level;
    }
    std::copy(std::begin(starField), std::end(starField), reference.stars.begin());
    for (uint32 k = 0; k < paletteSize; k++)
        ASSERT_EQ(barPalette[k], Reference::paletteEntry(k));

    FrameInput input;
    for (int frame = 0; frame < 12; frame++) {
        input.randomise(random);
        if (frame == 3) { /* the extremes */
            for (int i = 0; i < 511; i++) {
                input.setSample(i, 0, static_cast<int16>(i % 2 ? 32767 : -32768));
                input.setSample(i, 1, static_cast<int16>(i % 3 ? -1 : 0));
            }
        }
        render(input);
        reference.frame(input);
        for (int k = 0; k < framePixels; k++)
            ASSERT_EQ(frameBuffer[k], reference.picture[k])
                << "frame " << frame << " row " << k / 512 << " column " << k % 512;
        for (int i = 0; i < frameWidth; i++) {
            ASSERT_EQ(peakLevel[i], reference.peak[i]) << "frame " << frame << " column " << i;
            ASSERT_EQ(barLevel[i], reference.bar[i]) << "frame " << frame << " column " << i;
        }
        for (int s = 0; s < starCount; s++)
            ASSERT_EQ(starField[s].x, reference.stars[s].x);
    }
}

} // namespace
