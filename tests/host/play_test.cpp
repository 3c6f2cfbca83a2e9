/* orvane play through SDL's dummy and disk audio drivers: what reaches the
 * device is the plug-in's audio in the machine's byte order. */
#include "orvane_run.h"
#include "support/plugin_host.h"
#include "support/aiff_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

using hosttest::orvane;
using testing::HasSubstr;

namespace {

/* The disk driver writes what the device plays into a file, at the pace
 * a real device would take it. */
std::string diskDriver(const std::string &file)
{
    return "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE='" + file + "'";
}

std::vector<int16_t> nativeSamples(const std::vector<uint8_t> &bytes)
{
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

std::vector<int16_t> bigEndianSamples(const std::vector<uint8_t> &bytes)
{
    std::vector<int16_t> samples;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        samples.push_back(static_cast<int16_t>((bytes[i] << 8) | bytes[i + 1]));
    return samples;
}

/* The device may play silence before the first queued buffer and after the
 * last: the song must appear whole, in order, in between. */
void expectPlayedWithin(const std::vector<int16_t> &played, const std::vector<int16_t> &song)
{
    ASSERT_GE(played.size(), song.size());
    size_t start = 0;
    while (start < played.size() && played[start] == 0)
        start++;
    size_t songStart = 0;
    while (songStart < song.size() && song[songStart] == 0)
        songStart++;
    ASSERT_GE(start, songStart);
    start -= songStart;
    ASSERT_LE(start + song.size(), played.size());
    EXPECT_TRUE(
        std::equal(song.begin(), song.end(), played.begin() + static_cast<ptrdiff_t>(start)));
    EXPECT_TRUE(std::all_of(played.begin() + static_cast<ptrdiff_t>(start + song.size()),
                            played.end(), [](int16_t s) { return s == 0; }));
}

TEST(Play, TheDeviceHearsTheModuleInNativeOrder)
{
    std::string pcm = ovtest::tempPath("demo-1s.pcm");
    ASSERT_EQ(orvane({"render", "--seconds", "1", "--raw", "-o", pcm}).status, 0);
    std::string played = ovtest::tempPath("played.raw");
    auto run = orvane({"play", "--seconds", "1"}, diskDriver(played));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("Orvane demo\n"));
    EXPECT_THAT(run.out, HasSubstr("Protracker, 44100 Hz, 2 channels, 1:03.700\n"));
    expectPlayedWithin(nativeSamples(ovtest::readFile(played)),
                       bigEndianSamples(ovtest::readFile(pcm)));
}

TEST(Play, AnAiffFileEndsByItself)
{
    std::vector<uint8_t> pcm = ovtest::testPcm(11025, 1);
    std::string song = ovtest::tempPath("short-mono.aiff");
    ovtest::writeFile(song, ovtest::AiffFile().comm(1, 11025, 16, 22050).ssnd(pcm).bytes());
    std::string played = ovtest::tempPath("played-mono.raw");
    auto run = orvane({"play", song}, diskDriver(played));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("short-mono.aiff\n"));
    EXPECT_THAT(run.out, HasSubstr("AIFF, 22050 Hz, 1 channel, "));
    expectPlayedWithin(nativeSamples(ovtest::readFile(played)), bigEndianSamples(pcm));
}

TEST(Play, PlaysEachFileInTurnAndReportsTheOnesItCannot)
{
    std::string noise = ovtest::tempPath("noise.xyz");
    ovtest::writeFile(noise, std::vector<uint8_t>(2000, 1));
    auto run =
        orvane({"play", "--seconds", "0.2", noise, hosttest::demoSong()}, "SDL_AUDIODRIVER=dummy");
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("no plug-in recognises this file"));
    EXPECT_THAT(run.out, HasSubstr("Orvane demo"));
}

TEST(Play, NoSoundDeviceSuggestsRender)
{
    auto run = orvane({"play", "--seconds", "1"}, "SDL_AUDIODRIVER=no-such-driver");
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("no sound device"));
    EXPECT_THAT(run.err, HasSubstr("orvane render"));
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
}

TEST(Play, VisualiserAttachesWhilePlaying)
{
    auto run = orvane({"play", "--seconds", "0.5", "--visualise"}, "SDL_AUDIODRIVER=dummy");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("Orvane demo"));
}

} // namespace
