/* orvane's command lines, one row each: arguments, exit status, the one
 * line on standard error, what standard output shows, and no output file
 * left behind by a failure. Then the runs a row cannot hold: a pipe as the
 * input, and the installed program. */
#include "orvane_run.h"
#include "support/aiff_file.h"
#include "support/plugin_host.h"
#include "tools/module_image.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

using hosttest::orvane;
using testing::HasSubstr;

namespace {

std::string aiffFile(const std::string &name, uint16_t channels, uint32_t frames, uint16_t bits,
                     double rate, size_t soundBytes)
{
    std::string path = ovtest::tempPath(name);
    std::vector<uint8_t> sound = ovtest::testPcm(frames, channels);
    sound.resize(soundBytes);
    ovtest::writeFile(path,
                      ovtest::AiffFile().comm(channels, frames, bits, rate).ssnd(sound).bytes());
    return path;
}

std::string fileOf(const std::string &name, const std::vector<uint8_t> &bytes)
{
    std::string path = ovtest::tempPath(name);
    ovtest::writeFile(path, bytes);
    return path;
}

struct Row {
    std::vector<std::string> args;
    int status;
    std::string err;              /* in the one line on standard error; "" none at all */
    std::vector<std::string> out; /* each in standard output */
    std::string notOut = "\x01";  /* never in standard output */
    std::string environment = "SDL_AUDIODRIVER=dummy";
};

TEST(CommandLine, EveryRowGivesItsStatusMessageAndOutput)
{
    const std::string never = ovtest::tempPath("never.aiff"), demo = hosttest::demoSong();
    std::filesystem::remove(never);
    const std::string onlyPt = hosttest::freshFolder("only-pt"),
                      broken = hosttest::freshFolder("broken-only"),
                      empty = hosttest::freshFolder("no-plugins");
    std::filesystem::copy_file(ovtest::binDir() + "/OV_PT.ovplug", onlyPt + "/OV_PT.ovplug");
    ovtest::writeFile(broken + "/broken.ovplug", {1, 2, 3});
    const std::string noDisplay = "OV_DISPLAY= DISPLAY= WAYLAND_DISPLAY= SDL_AUDIODRIVER=dummy";

    /* Six patterns (the highest order is 5) and one 100-byte sample. */
    const std::vector<uint8_t> module =
        ovtools::ModuleWriter().orders({0, 5, 2}).sample(1, std::vector<int8_t>(100, 1)).bytes();
    ASSERT_EQ(module.size(), 1084u + 6 * 1024 + 100);
    auto cut = [&](size_t size) {
        return std::vector<uint8_t>(module.begin(), module.begin() + size);
    };
    auto tagged = [&](const char *tag) {
        std::vector<uint8_t> bytes = module;
        std::memcpy(&bytes[1080], tag, 4);
        return bytes;
    };
    /* A title with an escape, a bell and a high byte; finetune 9 is -7; loop
     * fields are words in the file and bytes in the table. */
    const std::string table =
        fileOf("table.mod", ovtools::ModuleWriter()
                                .title("\x1b[2J\x07 table\xe9test ")
                                .sample(3, {"lead", std::vector<int8_t>(1000, 5), 9, 40, 100, 200})
                                .sample(17, {"kick\x01", std::vector<int8_t>(64, 9), 0, 64, 0, 1})
                                .orders({0, 4, 2})
                                .songLength(3)
                                .bytes());
    const std::string seconds = "is not a number of seconds above 0 and at most 1000000000";
    const std::string frames = "is not a whole number of frames from 1 to about 18 billion billion";
    const std::string formats = "aiff (.aiff .aif), wav, flac, ogg (.ogg .oga), mp3, caf, "
                                "au (.au .snd), w64, raw (.pcm .raw)";
    const std::string song = aiffFile("song.aiff", 2, 10, 16, 44100, 40),
                      other = hosttest::freshFolder("other") + "/song.aiff";
    std::filesystem::copy_file(song, other);

    std::vector<Row> rows = {
        {{"plugins"},
         0,
         "",
         {"OV_AIFF.ovplug\n  name:        AIFF\n",
          "  description: Simple AIFF Player - (For use with CD Audio Discs under OS4)\n  "
          "extension:   "
          "aiff\n  loading:     1 (the plug-in reads the file)\n  version:     1.4 (10400)\n  "
          "interface:   1.4 (10400)\n  encodes:     yes\nOV_PT.ovplug\n  name:        Protracker\n",
          "  description: Protracker Player\n  extension:   (none)\n  loading:     2 (the whole "
          "file "
          "in memory)\n  version:     1.2 (10200)\n  interface:   1.4 (10400)\n  encodes:     "
          "no\n"}},
        {{"plugins", "--plugin-dir", onlyPt}, 0, "", {"OV_PT.ovplug"}, "OV_AIFF"},
        {{"--plugin-dir", broken, "plugins"}, 0, "", {"broken.ovplug\n  not usable:"}},
        {{"plugins", "--plugin-dir", empty}, 1, "no plug-ins found in '" + empty + "'"},
        {{"info", "--plugin-dir", empty, demo}, 1, "no plug-ins found in '" + empty + "'"},
        {{"play", "--plugin-dir", empty, demo}, 1, "no plug-ins found in '" + empty + "'"},
        {{"info", "--plugin-dir", broken, demo}, 1, "none of its *.ovplug files is usable"},
        {{"info"},
         0,
         "",
         {"demo.mod\n", "plug-in:  Protracker (OV_PT.ovplug)\n", "loading:  2",
          "rate:     44100 Hz\n", "channels: 2\n", "duration: 1:03.700\n",
          "title:    Orvane demo\n"}},
        {{"info", table},
         0,
         "",
         {"title:    [2J  table test\n", "orders:   3\n", "patterns: 5\n",
          "samples:  2 with sound\n",
          "     3  lead                      1000         200          400      40        -7\n",
          "    17  kick                        64           0            2      64         0\n",
          "playable: yes\n"}},
        {{"info", aiffFile("mono.aiff", 1, 33075, 16, 22050, 66150)},
         0,
         "",
         {"plug-in:  AIFF (OV_AIFF.ovplug)\n", "loading:  1", "rate:     22050 Hz\n",
          "channels: 1\n", "duration: 1500 ms\n", "bits:     16\n", "frames:   33075\n",
          "playable: yes\n"},
         "title:"},
        /* No duration, yet the file ends: nothing is "endless". */
        {{"info", aiffFile("unknown-length.aiff", 2, 0, 16, 44100, 4000)},
         0,
         "",
         {"duration: unknown\n"}},
        {{"info", "/nonexistent/song.mod", demo},
         1,
         "cannot read '/nonexistent/song.mod'",
         {"title:    Orvane demo"}},
        {{"--help"},
         0,
         "",
         {"play", "render", "info", "plugins", "--plugin-dir",
          "Examples:", "orvane render song.mod --seconds 60 -o song.aiff",
          "2 render cut short at the AIFF size limit"}},
        {{"render", "--help"},
         0,
         "",
         {"--seconds", "--frames", "--raw", "--visualise", "--frames-dir", "--frames-every"}},
        {{"--version"}, 0, "", {"orvane "}},
        {{"info", ovtest::binDir()}, 1, "cannot read '" + ovtest::binDir() + "': it is a folder"},
        {{"info", fileOf("noise.bin", std::vector<uint8_t>(5000, 0x55))},
         1,
         "no plug-in recognises this file"},
        {{"render", fileOf("empty.bin", {}), "-o", never, "--seconds", "1"},
         1,
         "no plug-in recognises this file"},
        {{"info", fileOf("cut.mod", cut(7000))},
         1,
         "the Protracker plug-in cannot open this file: 328 bytes shorter than its 6 patterns and "
         "samples need (7000 of 7328 bytes)"},
        {{"info", fileOf("one-short.mod", cut(7327))}, 1, "1 byte shorter than its 6 patterns"},
        {{"info", fileOf("flt4.mod", tagged("FLT4"))},
         1,
         "no plug-in recognises this file: not a \"M.K.\" module: its tag is \"FLT4\""},
        {{"info", fileOf("MOD.binary", tagged("\x01K\"\xff"))},
         1,
         "its tag is \"\\x01K\\x22\\xFF\""},
        {{"info", fileOf("spaced.mod", tagged(" K~\x7f"))}, 1, "its tag is \" K~\\x7F\""},
        {{"info", fileOf("tiny.mod", cut(300))},
         1,
         "not a \"M.K.\" module: 300 bytes end before its tag at byte 1080"},
        /* Not named as a module: no guess about what it is. */
        {{"info", fileOf("flt4.bin", tagged("FLT4"))}, 1, "recognises this file\n"},
        {{"info", fileOf("hollow.aiff", ovtest::AiffFile().comm(2, 0, 16, 44100).bytes())},
         1,
         "hollow.aiff"},
        {{"info", aiffFile("no-rate.aiff", 2, 100, 16, 0, 400)},
         1,
         "the AIFF plug-in reports no sample rate or no channels"},
        {{}, 1, "A subcommand is required"},
        {{"dance"}, 1, "unknown command 'dance'; the commands are play, render, info, plugins"},
        {{"--plugin-dir", "/tmp", "dance", "x"}, 1, "unknown command 'dance'"},
        {{"render", demo}, 1, "render needs an output file"},
        {{"render", "--seconds", "1", "--frames", "5", "-o", never}, 1, "excludes --frames"},
        {{"play", "--seconds", "-1"}, 1, "'-1' " + seconds},
        {{"play", "--seconds", "0"}, 1, "'0' " + seconds},
        {{"play", "--seconds", "1e400"}, 1, "'1e400' " + seconds},
        {{"render", "--seconds", "nan", "-o", never}, 1, "'nan' " + seconds},
        {{"play", "--frames", "-5"}, 1, "'-5' " + frames},
        {{"play", "--frames", "18446744073709551616"}, 1, "'18446744073709551616' " + frames},
        {{"render", "--frames-every", "0", "-o", never},
         1,
         "'0' is not a whole number of pictures from 1 to 4294967295"},
        {{"plugins", "--plugin-dir", "/nonexistent"}, 1, "--plugin-dir"},
        {{"render", "--loop", "-o", never},
         1,
         "plays forever (--loop): give --seconds or --frames"},
        {{"render", "--loop=-2", "-o", never}, 1, "--loop"},
        {{"render", "--start", "64", "-o", never},
         1,
         "--start lies beyond the song's end (1:03.700)"},
        {{"render", "--plugin-dir", onlyPt, "--seconds", "1", "-o", never}, 1, "writes AIFF files"},
        {{"render", song, "-o", never + ".xyz"},
         1,
         "cannot tell the format of '" + never +
             ".xyz' from its extension '.xyz'; the formats are " + formats +
             " (or choose one with --format)"},
        {{"render", song, "-o", ovtest::tempPath("song")}, 1, "from its extension; the formats"},
        {{"render", song, "-o", never, "--format", "xyz"},
         1,
         "unknown format 'xyz'; the formats are " + formats},
        {{"render", song, "-o", never, "--endian", "little"},
         1,
         "--endian applies to raw PCM only"},
        {{"render", song, other, "--output-dir", never},
         1,
         "'" + song + "' and '" + other + "' would both be written to '" + never +
             "/song.aiff'; nothing was rendered"},
        {{"render", song, other, "-o", never}, 1, "2 files were given: use --output-dir DIR"},
        {{"play", "--seconds", "1"},
         1,
         "no sound device (",
         {},
         "\x01",
         "SDL_AUDIODRIVER=no-such-driver"},
        {{"play", "--seconds", "0.2", "--visualise"},
         0,
         "warning: no display for --visualise (no X11 or Wayland display found); playing goes on "
         "without the visualiser",
         {"Orvane demo"},
         "\x01",
         noDisplay},
        /* No visualiser is started unasked. */
        {{"play", "--seconds", "0.2"}, 0, "", {"Orvane demo"}, "\x01", noDisplay},
    };
    for (const char *command : {"play", "render", "info"})
        rows.push_back({{command, "/nonexistent/song.mod", "--seconds", "1", "-o", never},
                        1,
                        "cannot read '/nonexistent/song.mod': No such file or directory"});
    rows.back().args.resize(2);
    rows[rows.size() - 3].args.resize(4);
    /* The AIFF plug-in opens these and then delivers no frame. */
    struct Unplayable {
        const char *name;
        uint16_t channels, bits;
        size_t soundBytes;
        const char *reason;
    };
    for (Unplayable c :
         {Unplayable{"x24.aiff", 2, 24, 6000,
                     "24-bit samples; the AIFF plug-in plays 16-bit files"},
          Unplayable{"x8.aiff", 1, 8, 1000, "8-bit samples; the AIFF plug-in plays 16-bit files"},
          Unplayable{"x3.aiff", 3, 16, 6000,
                     "3 channels; the AIFF plug-in plays mono and stereo files"},
          Unplayable{"partial.aiff", 2, 16, 3,
                     "the AIFF plug-in delivers not one whole sample frame"}}) {
        std::string path = aiffFile(c.name, c.channels, 1000, c.bits, 44100, c.soundBytes);
        rows.push_back({{"info", path}, 1, c.reason, {std::string("playable: no (") + c.reason}});
        rows.push_back({{"render", path, "-o", never}, 1, c.reason});
        rows.push_back({{"render", path, "--raw", "-o", never}, 1, c.reason});
        rows.push_back({{"play", path}, 1, c.reason});
    }

    for (const Row &row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.args));
        auto run = orvane(row.args, row.environment);
        EXPECT_EQ(run.status, row.status) << run.err;
        if (row.err.empty()) {
            EXPECT_EQ(run.err, "");
        } else {
            EXPECT_THAT(run.err, HasSubstr(row.err));
            EXPECT_EQ(run.err.rfind("orvane: ", 0), 0u) << run.err;
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
            EXPECT_LT(run.err.size(), 400u) << "no number of hundreds of digits";
        }
        for (const std::string &text : row.out)
            EXPECT_THAT(run.out, HasSubstr(text));
        EXPECT_THAT(run.out, testing::Not(HasSubstr(row.notOut)));
        EXPECT_FALSE(std::filesystem::exists(never));
    }
}

TEST(CommandLine, AModuleArrivesThroughAPipe)
{
    /* The file is read once, head and rest alike. */
    std::string pipe = ovtest::tempPath("module.fifo");
    std::filesystem::remove(pipe);
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::vector<uint8_t> demo = ovtest::readFile(hosttest::demoSong());
    /* A reader that goes away early must not end this process. */
    auto previous = std::signal(SIGPIPE, SIG_IGN);
    std::thread writer([&] {
        int fd = ::open(pipe.c_str(), O_WRONLY);
        for (size_t done = 0; fd >= 0 && done < demo.size();) {
            ssize_t wrote = ::write(fd, demo.data() + done, demo.size() - done);
            if (wrote <= 0)
                break;
            done += static_cast<size_t>(wrote);
        }
        if (fd >= 0)
            ::close(fd);
    });
    auto run = orvane({"info", pipe}, "timeout -s KILL 20");
    writer.join();
    std::signal(SIGPIPE, previous);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("title:    Orvane demo\n"));
    std::filesystem::remove(pipe);
}

/* The install the build makes into the build tree (tests/host/CMakeLists.txt):
 * orvane finds its companions in lib/orvane, renders the same bytes as the
 * build tree's, and its manual page and completion are in place. */
TEST(CommandLine, TheInstalledOrvaneRendersTheDemoSong)
{
    const std::string prefix = OV_TEST_PREFIX, out = ovtest::tempPath("installed.pcm"),
                      reference = ovtest::tempPath("reference.pcm");
    auto installed =
        ovtest::runCommand("ORVANE_CHECK_LEAKS=1 " + prefix +
                           "/bin/orvane render --frames 44100 --raw -o " + out + " </dev/null");
    ASSERT_EQ(installed.status, 0) << installed.err;
    ASSERT_EQ(orvane({"render", "--frames", "44100", "--raw", "-o", reference}).status, 0);
    EXPECT_EQ(ovtest::readFile(out), ovtest::readFile(reference));
    EXPECT_EQ(ovtest::readFile(out).size(), 44100u * 4);

    std::ifstream page(prefix + "/share/man/man1/orvane.1");
    std::string text((std::istreambuf_iterator<char>(page)), {});
    for (const char *part : {".TH ORVANE 1", ".SH \"orvane render\"", "\\-\\-seconds", "Examples:"})
        EXPECT_THAT(text, HasSubstr(part));
    /* The completion offers the options of the command being typed. */
    auto complete = [&](const std::string &words) {
        std::string script = "source " + prefix + "/share/bash-completion/completions/orvane; " +
                             "COMP_WORDS=(" + prefix + "/bin/orvane " + words +
                             "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _orvane; " +
                             "echo \"${COMPREPLY[*]}\"";
        return ovtest::runCommand("bash -c " + ovtest::shellQuote(script) + " </dev/null").out;
    };
    EXPECT_EQ(complete("re"), "render\n");
    EXPECT_EQ(complete("render --frames-"), "--frames-dir --frames-every\n");
    EXPECT_EQ(complete("--plugin-dir x info --"), "--help\n") << "not the examples' options";
    for (const char *companion : {"OV_PT.ovplug", "OV_AIFF.ovplug", "Zephrin", "demo.mod"})
        EXPECT_TRUE(std::filesystem::exists(prefix + "/lib/orvane/" + companion)) << companion;
}

} // namespace
