/* orvane play through SDL's dummy and disk audio drivers: what reaches the
 * device is the plug-in's audio in the machine's byte order. */
#include "orvane_run.h"
#include "support/plugin_host.h"
#include "support/aiff_file.h"
#include "platform/byteorder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

using hosttest::bigEndianSamples;
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

/* Runs a shell command on a terminal of its own (util-linux's script),
 * its input fed from `input`; its output with the line ends as typed. */
hosttest::RunResult onTerminal(const std::string &command, const std::string &input)
{
    std::string out = ovtest::tempPath("terminal.out");
    std::string line = "(" + input + ") | timeout 60 script -qec \"" + command + "\" /dev/null > '" +
                       out + "' 2>&1";
    hosttest::RunResult result;
    int raw = std::system(line.c_str());
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    auto bytes = ovtest::readFile(out);
    result.out.assign(bytes.begin(), bytes.end());
    return result;
}

TEST(Play, KeysMoveBetweenFilesShowTheirHelpAndQuit)
{
    /* With --loop the songs play on until a key moves away; the right
     * arrow seeks the first 10 s on. */
    /* The second song is the demo without its title: named by its file. */
    std::string second = ovtest::tempPath("untitled.mod");
    std::vector<uint8_t> untitled = ovtest::readFile(hosttest::demoSong());
    std::fill(untitled.begin(), untitled.begin() + 20, 0);
    ovtest::writeFile(second, untitled);
    auto run = onTerminal("SDL_AUDIODRIVER=dummy " + std::string(OV_ORVANE) + " play --loop " +
                              hosttest::demoSong() + " " + second,
                          "sleep 1; printf '\\033[C'; sleep 1; printf n; sleep 1; printf p; "
                          "sleep 1; printf '?'; sleep 1; printf q");
    EXPECT_EQ(run.status, 0) << run.out;
    const std::string keys =
        "keys: space pause, q quit, n next, p previous, left/right seek 10 s, ? help";
    size_t first = run.out.find("Orvane demo"), next = run.out.find("untitled.mod", first),
           back = run.out.find("Orvane demo", next), help = run.out.find(keys, back);
    EXPECT_EQ(run.out.find(keys), 0u) << run.out;
    /* right arrow: 10 s on, within the first song */
    size_t seek = run.out.find("\r  0:1");
    EXPECT_LT(seek, next) << run.out;
    EXPECT_NE(back, std::string::npos) << run.out; /* n, then p, in that order */
    EXPECT_NE(help, std::string::npos) << run.out;
}

TEST(Play, ABackgroundJobPlaysOnWithoutTouchingTheTerminal)
{
    /* A job in the background that set the terminal's modes would be
     * stopped, and the wait would never end. */
    auto run = onTerminal("bash -c 'set -m; SDL_AUDIODRIVER=dummy " + std::string(OV_ORVANE) +
                              " play --seconds 0.5 & wait \\$!; echo status \\$?'",
                          "sleep 3");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_THAT(run.out, HasSubstr("status 0"));
    EXPECT_THAT(run.out, testing::Not(HasSubstr("keys:")));
}

TEST(Play, VisualiserAttachesWhilePlaying)
{
    auto run = orvane({"play", "--seconds", "0.5", "--visualise"}, "SDL_AUDIODRIVER=dummy");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("Orvane demo"));
}

} // namespace
