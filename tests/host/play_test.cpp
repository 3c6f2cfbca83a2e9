/* orvane play through SDL's disk and dummy audio drivers: what reaches the
 * device, file after file, and the keys on a terminal. */
#include "orvane_run.h"
#include "platform/byteorder.h"
#include "support/aiff_file.h"
#include "support/plugin_host.h"
#include "tools/module_image.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>

using hosttest::bigEndianSamples;
using hosttest::orvane;
using testing::HasSubstr;

namespace {

TEST(Play, EachSongReachesTheDeviceWholeInNativeOrderAndStopsAtItsEnd)
{
    /* A module of one pattern at speed 1: 65 ticks, 1.3 seconds. */
    const std::string module = ovtest::tempPath("short-song.mod");
    ovtest::writeFile(module, ovtools::ModuleWriter()
                                  .sample(1, ovtools::constantSample(4000, 50), 40, 0, 0, 4000)
                                  .cell(0, 0, 0, 428, 1, 0xF, 0x01)
                                  .cell(0, 32, 1, 214, 1)
                                  .bytes());
    const std::string modulePcm = ovtest::tempPath("short-song.pcm");
    ASSERT_EQ(orvane({"render", module, "--raw", "-o", modulePcm}).status, 0);
    const std::vector<int16_t> song = bigEndianSamples(ovtest::readFile(modulePcm));
    ASSERT_EQ(song.size(), 65u * 882 * 2);
    /* The disk driver writes what the device plays into a file, at a real device's pace. */
    const std::string played = ovtest::tempPath("played.raw");
    auto run = orvane({"play", module}, "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" + played);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out,
                HasSubstr("short-song.mod\n  Protracker, 44100 Hz, 2 channels, 0:01.300\n"));
    /* The device's silence around it, and nothing after its end. */
    std::vector<int16_t> heard(std::filesystem::file_size(played) / 2);
    std::ifstream(played).read(reinterpret_cast<char *>(heard.data()), heard.size() * 2);
    auto at = std::search(heard.begin(), heard.end(), song.begin(), song.end());
    ASSERT_NE(at, heard.end());
    heard.erase(at, at + static_cast<ptrdiff_t>(song.size()));
    EXPECT_EQ(std::count(heard.begin(), heard.end(), 0), static_cast<ptrdiff_t>(heard.size()));
}

TEST(Play, PlaysEachFileInTurnAndReportsTheOnesItCannot)
{
    const std::string aiff = ovtest::tempPath("quarter.aiff"),
                      noise = ovtest::tempPath("noise.xyz");
    ovtest::writeFile(
        aiff, ovtest::AiffFile().comm(2, 11025, 16, 44100).ssnd(ovtest::testPcm(11025, 2)).bytes());
    ovtest::writeFile(noise, std::vector<uint8_t>(2000, 1));
    auto run = orvane({"play", aiff, noise, "--seconds", "0.1", hosttest::demoSong()},
                      "SDL_AUDIODRIVER=dummy");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orvane: '" + noise + "': no plug-in recognises this file\n");
    EXPECT_EQ(
        run.out,
        "quarter.aiff\n  AIFF, 44100 Hz, 2 channels, 0:00\nOrvane demo\n  Protracker, 44100 Hz, "
        "2 channels, 1:03.700\n");
}

/* Runs a shell command on a terminal of its own (util-linux's script), its
 * input fed from `input`; its output with the line ends as typed. */
ovtest::CommandResult onTerminal(const std::string &command, const std::string &input)
{
    return ovtest::runCommand("(" + input + ") | timeout 60 script -qec " +
                              ovtest::shellQuote(command) + " /dev/null");
}

/* Every text shown, split at the returns that rewrite the status line. */
std::vector<std::string> shownLines(const std::string &out)
{
    std::vector<std::string> lines(1);
    for (char c : out)
        if (c != '\r' && c != '\n')
            lines.back() += c;
        else if (!lines.back().empty())
            lines.emplace_back();
    return lines;
}

TEST(Play, KeysPauseSeekHelpAndMoveBetweenFiles)
{
    /* 30 s of AIFF (its plug-in seeks), then the 1:03.700 demo module
     * (restarted and decoded up to the target). */
    const std::string aiff = ovtest::tempPath("thirty.aiff");
    ovtest::writeFile(
        aiff,
        ovtest::AiffFile().comm(1, 240000, 16, 8000).ssnd(ovtest::testPcm(240000, 1)).bytes());
    std::string keys = "sleep 1";
    for (const char *key :
         {"\\033[C", "\\033[C", "\\033[C", "\\033[D", " ", " ", "n", "\\033[C", "?", "p", "q"})
        keys += std::string("; printf '") + key + "'; sleep 0.7";
    auto run = onTerminal("SDL_AUDIODRIVER=dummy OV_DISPLAY=headless " + std::string(OV_ORVANE) +
                              " play " + aiff + " " + hosttest::demoSong(),
                          keys);
    EXPECT_EQ(run.status, 0) << run.out;
    const std::string help =
        "keys: space pause, q quit, n next, p previous, left/right seek 10 s, \\? help";
    /* What must be seen, in this order. */
    const std::vector<std::string> expected = {
        help,
        "thirty.aiff",
        "  0:1[0-9] \\[#{10,11}\\.{19,20}\\] 0:30",
        "  0:2[0-9] \\[#{20,21}\\.{9,10}\\] 0:30",
        "  0:2[0-9] .*  \\(no further to go\\)",
        "  0:1[0-9] \\[#+\\.+\\] 0:30  \\(paused\\)",
        "  0:1[0-9] \\[#+\\.+\\] 0:30",
        "Orvane demo",
        "  Protracker, 44100 Hz, 2 channels, 1:03.700",
        "  0:1[0-9] \\[#{5,6}\\.{24,25}\\] 1:03",
        help,
        "thirty.aiff",
    };
    size_t next = 0;
    for (const std::string &line : shownLines(run.out)) {
        if (next < expected.size() && std::regex_match(line, std::regex(expected[next])))
            next++;
    }
    EXPECT_EQ(next, expected.size())
        << "not seen: " << expected[std::min(next, expected.size() - 1)] << "\nin:\n"
        << run.out;
}

TEST(Play, ABackgroundJobPlaysOnWithoutTouchingTheTerminal)
{
    /* A job in the background that set the terminal's modes would be
     * stopped, and the wait would never end. */
    auto run = onTerminal("bash -c 'set -m; SDL_AUDIODRIVER=dummy " + std::string(OV_ORVANE) +
                              " play --seconds 0.5 & wait $!; echo status $?'",
                          "sleep 3");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_THAT(run.out, HasSubstr("status 0"));
    EXPECT_THAT(run.out, testing::Not(HasSubstr("keys:")));
}

TEST(Play, CtrlCStopsASongThatPlaysForeverWithStatus130)
{
    /* Only a quarter of a second is decoded ahead, so an endless song
     * leaves time to see the break. */
    auto run = ovtest::runCommand(
        "ORVANE_CHECK_LEAKS=1 SDL_AUDIODRIVER=dummy OV_DISPLAY=headless timeout -s KILL 30 " +
        ovtest::shellQuote(OV_ORVANE) +
        " play --loop --visualise & pid=$!; sleep 1; kill -INT $pid; "
        "wait $pid");
    EXPECT_EQ(run.status, 130) << run.err;
    EXPECT_THAT(run.out, HasSubstr("Orvane demo\n  Protracker, 44100 Hz, 2 channels, 1:03.700\n"));
}

} // namespace
