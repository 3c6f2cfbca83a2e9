/* orvane's command lines, one row each: arguments, exit status, the one
 * line on standard error, what standard output shows, and no output file
 * left behind by a failure. Then the runs a row cannot hold: a pipe as the
 * input, the installed program, what reaches the sound device, and keys. */
#include "orvane_run.h"
#include "tools/module_image.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>

using hosttest::aiffFile;
using hosttest::bigEndianSamples;
using hosttest::orvane;
using testing::HasSubstr;

namespace {

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
    std::string out;              /* in standard output */
    std::string environment = ""; /* after SDL_AUDIODRIVER=dummy, which it may override */
};

Row ok(std::vector<std::string> args, std::string out)
{
    return {std::move(args), 0, "", std::move(out)};
}

Row fails(std::vector<std::string> args, std::string err, std::string out = "",
          std::string environment = "")
{
    return {std::move(args), 1, std::move(err), std::move(out), std::move(environment)};
}

/* The rows, with the files and folders they name made on the way. */
std::vector<Row> commandLines()
{
    const std::string never = ovtest::tempPath("never.aiff"), demo = hosttest::demoSong();
    std::filesystem::remove(never);
    const std::string onlyPt = hosttest::freshFolder("only-pt"),
                      onlyAiff = hosttest::freshFolder("only-aiff"),
                      broken = hosttest::freshFolder("broken-only"),
                      empty = hosttest::freshFolder("no-plugins");
    std::filesystem::copy_file(ovtest::binDir() + "/OV_PT.ovplug", onlyPt + "/OV_PT.ovplug");
    std::filesystem::copy_file(ovtest::binDir() + "/OV_AIFF.ovplug", onlyAiff + "/OV_AIFF.ovplug");
    ovtest::writeFile(broken + "/broken.ovplug", {1, 2, 3});
    /* A plug-in cut short would be mapped past its end: it is left out. */
    const std::string cutPt = hosttest::freshFolder("cut-pt");
    const std::vector<uint8_t> pt = ovtest::readFile(ovtest::binDir() + "/OV_PT.ovplug");
    /* Inside its segments in every build: a build with debug information
     * keeps that past them, where a cut harms nothing. */
    ovtest::writeFile(cutPt + "/OV_PT.ovplug",
                      {pt.begin(), pt.begin() + std::min<ptrdiff_t>(pt.size() / 2, 20000)});
    std::filesystem::copy_file(ovtest::binDir() + "/OV_AIFF.ovplug", cutPt + "/OV_AIFF.ovplug");
    const std::string noDisplay = "OV_DISPLAY= DISPLAY= WAYLAND_DISPLAY=";
    /* Six patterns (the highest order is 5) and one 100-byte sample. */
    const std::vector<uint8_t> module =
        ovtools::ModuleWriter().orders({0, 5, 2}).sample(1, std::vector<int8_t>(100, 1)).bytes();
    auto cut = [&](size_t size) {
        return std::vector<uint8_t>(module.begin(), module.begin() + size);
    };
    /* Past 1 GiB, but only the bytes the replay can reach are read. */
    const std::string huge = fileOf("huge.mod", module);
    std::filesystem::resize_file(huge, (uintmax_t{1} << 30) + 1);
    std::vector<uint8_t> tagged = module;
    std::memcpy(&tagged[1080], " \"\x7f\xff", 4);
    /* A title with an escape, a bell and a high byte; finetune 9 is -7; loop
     * fields are words in the file and bytes in the table; a name without
     * sound; speed 3 and tempo 150 set on row 0, speed 5 on row 1. */
    const std::string table =
        fileOf("table.mod", ovtools::ModuleWriter()
                                .title("\x1b[2J\x07 table\xe9test ")
                                .sample(3, {"lead", std::vector<int8_t>(1000, 5), 9, 40, 100, 200})
                                .sample(17, {"kick\x01", std::vector<int8_t>(64, 9), 0, 64, 0, 1})
                                .sample(20, ovtools::ModuleSample{"by Gryzor\xa9", {}})
                                .cell(0, 0, 1, 0, 0, 0xF, 0x03)
                                .cell(0, 0, 3, 0, 0, 0xF, 0x96)
                                .cell(0, 1, 0, 0, 0, 0xF, 0x05)
                                .orders({0, 4, 2})
                                .songLength(3)
                                .bytes());
    const std::string seconds =
                          "--seconds: above 0 to 1000000000 seconds, or m:ss or h:mm:ss, not ",
                      frames = "--frames: 1 to about 18 billion billion frames, not ";
    /* Formats told by their signatures at bytes 0, 44 and 1080. */
    auto signed_ = [](const std::string &name, size_t at, const std::string &tag) {
        std::vector<uint8_t> bytes(2000, 0);
        std::copy(tag.begin(), tag.end(), bytes.begin() + static_cast<ptrdiff_t>(at));
        return fileOf(name, bytes);
    };
    const std::string xm = signed_("song.xm", 0, "Extended Module: "),
                      badName = signed_("bad\xff.xm", 0, "Extended Module: ");
    std::string badHex;
    for (unsigned char c : badName)
        badHex += "0123456789abcdef"[c >> 4] + std::string(1, "0123456789abcdef"[c & 15]);
    const std::string formats = "aiff (.aiff .aif), wav, flac, ogg (.ogg .oga), mp3, caf, "
                                "au (.au .snd), w64, raw (.pcm .raw)";
    const std::string song = aiffFile("song.aiff", 2, 10, 16, 44100, 40),
                      other = hosttest::freshFolder("other") + "/song.aiff";
    std::filesystem::copy_file(song, other);
    const std::string loud = fileOf(
        "loud.aiff",
        ovtest::AiffFile().comm(2, 5, 16, 44100).ssnd(std::vector<uint8_t>(20, 0x7F)).bytes());
    const std::string quarter = aiffFile("quarter.aiff", 2, 11025, 16, 44100, 44100),
                      noise = fileOf("noise.xyz", std::vector<uint8_t>(2000, 1));
    const std::string x24 = "24-bit samples; the AIFF plug-in plays 16-bit files",
                      x24File = ovtest::tempPath("x24.aiff");
    /* The song by other names: "./", a link, a hard link in another folder. */
    const std::string songDir = std::filesystem::path(song).parent_path().string(),
                      dotted = songDir + "/./song.aiff", linked = ovtest::tempPath("linked.wav"),
                      twin = hosttest::freshFolder("twin") + "/song.aiff",
                      same = "' is the same file as the input '";
    std::filesystem::create_symlink(song, linked);
    std::filesystem::create_hard_link(song, twin);
    /* 8192 rows of 16 x 31 ticks of 3411 samples (tempo 32): 87:17:58. Then
     * three channels' loops nested on each of 128 positions: more row
     * states than the song scan follows. */
    ovtools::ModuleWriter longWriter, loopsWriter;
    longWriter.orders(std::vector<int>(128, 0)).sample(1, std::vector<int8_t>(100, 1));
    loopsWriter.orders(std::vector<int>(128, 0)).cell(0, 0, 0, 428, 1, 0xF, 0x01);
    for (int row = 0; row < 64; row++)
        longWriter.cell(0, row, 0, 0, 0, 0xF, 0x1F)
            .cell(0, row, 1, 0, 0, 0xF, 0x20)
            .cell(0, row, 2, 0, 0, 0xE, 0xEF);
    for (int channel = 1; channel < 4; channel++)
        loopsWriter.cell(0, 0, channel, 0, 0, 0xE, 0x60)
            .cell(0, 4 - channel, channel, 0, 0, 0xE, 0x6F);
    const std::string longSong = fileOf("long.mod", longWriter.bytes()),
                      loops = fileOf("loops.mod", loopsWriter.bytes());
    /* Folders and playlists: a song two levels down beside a file no plug-in
     * plays, playlists naming each other, a link back into its own folder. */
    const std::string tree = hosttest::freshFolder("tree"), lists = hosttest::freshFolder("lists"),
                      loop = hosttest::freshFolder("link-loop"),
                      mute = hosttest::freshFolder("mute");
    std::filesystem::create_directories(tree + "/a/b");
    std::filesystem::copy_file(song, tree + "/a/b/song.aiff");
    std::filesystem::copy_file(noise, tree + "/a/noise.xyz");
    std::filesystem::copy_file(noise, mute + "/noise.xyz");
    std::filesystem::create_directory_symlink(loop, loop + "/back");
    /* A render's output folder inside the folder it renders, from a run before, left out;
     * the rest sorted (ext4 lists w/ before a.aiff here). */
    const std::string again = hosttest::freshFolder("again");
    for (const char *copy : {"/a.aiff", "/out/a.aiff", "/w/a.aiff"}) {
        std::filesystem::create_directories(std::filesystem::path(again + copy).parent_path());
        std::filesystem::copy_file(song, again + copy);
    }
    auto text = [&](const std::string &name, const std::string &lines) {
        return fileOf(name, {lines.begin(), lines.end()});
    };
    const std::string listed = text("lists/in.m3u8", "# a comment\n../tree/a/b\r\nx\n"),
                      circle = text("lists/o.m3u", "p.m3u\n");
    text("lists/p.m3u", "  " + tree + "/a/b/song.aiff\n../lists/o.m3u\n");
    const std::string noFile = "/nonexistent/song.mod",
                      unread = "cannot read '/nonexistent/song.mod': No such file or directory";

    return {
        ok({"plugins"},
           "  description: Simple AIFF Player - (For use with CD Audio Discs under OS4)\n  "
           "extension:   aiff\n  loading:     1 (the plug-in reads the file)\n  version:     1.4 "
           "(10400)\n"),
        ok({"plugins"},
           "  description: Protracker Player\n  extension:   (none)\n  loading:     2 (the whole "
           "file in memory)\n  version:     1.2 (10200)\n  interface:   1.4 (10400)\n  encodes:  "
           "   no\n"),
        fails({"info", "--plugin-dir", onlyPt, song}, "no plug-in recognises this file"),
        fails({"info", "--plugin-dir", onlyAiff, demo},
              "no plug-in recognises this file: it looks like a Protracker \"M.K.\" module, and "
              "no plug-in in '" +
                  onlyAiff + "' plays modules"),
        ok({"--plugin-dir", broken, "plugins"}, "broken.ovplug\n  not usable:"),
        fails({"play", "--plugin-dir", empty, demo}, "no plug-ins found in '" + empty + "'\n"),
        fails({"info", "--plugin-dir", broken, demo},
              "no plug-ins found in '" + broken +
                  "' (1 plug-in file could not be loaded: see 'orvane plugins')\n"),
        ok({"--plugin-dir", cutPt, "plugins"},
           "OV_PT.ovplug\n  not usable: cut short or damaged: "),
        ok({"--plugin-dir", cutPt, "render", song, "-o", "/dev/null"}, ""),
        fails({"--plugin-dir", cutPt, "info", demo},
              "(1 plug-in file could not be loaded: see 'orvane plugins')\n"),
        fails({"info"}, "give at least one FILE (see orvane --help)"),
        ok({"info", demo},
           "demo.mod\n  plug-in:  Protracker (OV_PT.ovplug)\n  loading:  2 (the whole file in "
           "memory)\n  rate:     44100 Hz\n  channels: 2\n  size:     17500 bytes\n  duration: "
           "1:03.700\n  title:    "
           "Orvane demo\n"),
        ok({"info", table},
           "  title:    [2J  table test\n  tracks:   4\n  speed:    3 (after row 0)\n  tempo:    "
           "150 (after row 0)\n  orders:   3\n  restart:  127\n  patterns: 5\n  samples:  2 with "
           "sound (*)\n"
           "     #  name                    length  loop start  loop length  volume  finetune\n"
           "     1                               0           0            2      64         0\n    "
           " 2"),
        ok({"info", table},
           "   * 3  lead                      1000         200          400      40        -7\n"),
        ok({"info", table},
           "    20  by Gryzor                    0           0            2      64         0\n"),
        ok({"info", "--json", table},
           "\"title\": \"\\u001b[2J\\u0007 table\u00e9test \",\n    \"tracks\": 4,\n    \"speed\": "
           "3,\n    \"tempo\": 150,\n    \"orders\": 3,\n    \"restart\": 127,\n"),
        ok({"info", "--json", table},
           "\"number\": 20,\n        \"name\": \"by Gryzor\u00a9\",\n        \"sound\": false,\n"),
        fails({"info", "--json", demo, badName}, "it is an XM module",
              "  },\n  {\n    \"file\": \"" + badName.substr(0, badName.size() - 4) +
                  "\ufffd.xm\",\n    \"file_hex\": \"" + badHex + "\",\n    \"error\": \"'"),
        fails({"info", xm},
              "it is an XM module (FastTracker 2), and no plug-in here plays that; this orvane "
              "plays AIFF files and Protracker \"M.K.\" modules\n"),
        fails({"info", "--plugin-dir", onlyPt, signed_("song.s3m", 44, "SCRM")},
              "it is an S3M module (Scream Tracker 3), and no plug-in here plays that; this "
              "orvane plays Protracker \"M.K.\" modules\n"),
        fails({"info", signed_("twelve.mod", 1080, "12CH")},
              "it is a 12-channel FastTracker module (\"12CH\")"),
        ok({"info", aiffFile("mono.aiff", 1, 33075, 16, 22050, 66150)},
           "mono.aiff\n  plug-in:  AIFF (OV_AIFF.ovplug)\n  loading:  1 (the plug-in reads the "
           "file)\n  rate:     22050 Hz\n  channels: 1\n  size:     66204 bytes\n  duration: "
           "0:01.500\n  bits:     16\n  "
           "frames:   33075\n  playable: yes\n"),
        /* No duration, yet the file ends: nothing is "endless". */
        ok({"info", aiffFile("unknown-length.aiff", 2, 0, 16, 44100, 4000)}, "duration: unknown\n"),
        fails({"info", noFile, demo}, unread, "title:    Orvane demo"),
        ok({"play", "--help"},
           "Examples:\n  orvane play                                play the bundled demo song"),
        ok({"--help"}, "2 cut short: a render at a size limit"),
        ok({"render", "--help"},
           "An existing file is replaced whole, once the new one is complete"),
        fails({"render", noFile, "--seconds", "1", "-o", never}, unread),
        fails({"play", noFile, "--seconds", "1"}, unread),
        fails({"render", fileOf("empty.bin", {}), "-o", never},
              "no plug-in recognises this file\n"),
        fails({"info", fileOf("cut.mod", cut(7000))},
              "the Protracker plug-in cannot open this file: 328 bytes shorter than its 6 patterns "
              "and samples need (7000 of 7328 bytes)"),
        fails({"info", fileOf("one-short.mod", cut(7327))}, "1 byte shorter than its 6 patterns"),
        fails({"info", fileOf("MOD.tagged", tagged)},
              "no plug-in recognises this file: not a \"M.K.\" module: its tag is \" "
              "\\x22\\x7F\\xFF\""),
        ok({"info", huge}, "  patterns: 6\n  samples:  1 with sound (*)\n"),
        fails({"info", fileOf("tiny.mod", cut(300))},
              "not a \"M.K.\" module: 300 bytes end before its tag at byte 1080"),
        /* Not named as a module: no guess about what it is. */
        fails({"info", fileOf("tagged.bin", tagged)}, "no plug-in recognises this file\n"),
        fails({"info", fileOf("hollow.aiff", ovtest::AiffFile().comm(2, 0, 16, 44100).bytes())},
              "hollow.aiff"),
        fails({"info", aiffFile("no-rate.aiff", 2, 100, 16, 0, 400)},
              "the AIFF plug-in reports no sample rate or no channels"),
        fails({}, "give a command: play, render, info, plugins"),
        fails({"dance"}, "unknown command 'dance'; the commands are play, render, info, plugins"),
        fails({"--plugin-dir", "/tmp", "dance", "x"}, "unknown command 'dance'"),
        fails({"render", demo}, "render needs an output file"),
        fails({"render", "--seconds", "1", "--frames", "5", "-o", never},
              "--seconds and --frames cannot be given together"),
        fails({"play", "--seconds", "-1"}, seconds + "'-1'"),
        fails({"play", "--seconds", "1e400"}, seconds + "'1e400'"),
        fails({"render", "--seconds", "nan", "-o", never}, seconds + "'nan'"),
        fails({"render", "--seconds", "1:60", "-o", never}, seconds + "'1:60'"),
        fails({"render", "--seconds", "1:2:03", "-o", never}, seconds + "'1:2:03'"),
        fails({"play", "--frames", "-5"}, frames + "'-5'"),
        fails({"play", "--frames", "18446744073709551616"}, frames + "'18446744073709551616'"),
        fails({"render", "--frames-every", "0", "-o", never},
              "--frames-every: 1 to 4294967295 pictures, not '0'"),
        fails({"render", "--endian", "middle", "-o", never},
              "--endian: little or big, not 'middle'"),
        fails({"render", "--loop=x", "-o", never}, "--loop: 0 to 1000000 more passes, not 'x'"),
        ok({"render", "--frames", "10", "--frames-every", "1", "-o", "/dev/null"}, ""),
        fails({"plugins", "--plugin-dir", "/nonexistent"},
              "--plugin-dir: a folder, not '/nonexistent'"),
        fails({"render", "--loop", "-o", never},
              "plays forever (--loop): give --seconds or --frames"),
        fails({"render", "--loop=-2", "-o", never}, "--loop"),
        fails({"render", "--start", "64", "-o", never},
              "--start lies beyond the song's end (1:03.700)"),
        fails({"render", "--start", "1:04", "-o", never}, "beyond the song's end (1:03.700)"),
        fails({"render", "--start", "0:01:03.701", "-o", never}, "beyond the song's end"),
        ok({"render", "--start", "0:01:03.600", "--seconds", "0:00.1", "-o", "/dev/null"}, ""),
        /* Answered before decoding (a hang otherwise): see the timeout below. */
        fails({"render", "--start", "1e9", "-o", never}, "beyond the song's end (1:03.700)"),
        fails({"render", quarter, "--start", "1", "--seconds", "1", "-o", never},
              "--start lies beyond the file's end (0:00.250)"),
        fails({"render", "--start", "nan", "-o", never},
              "--start: 0 to 1000000000 seconds, or m:ss or h:mm:ss, not 'nan'"),
        fails({"render", "--gain", "nan", "-o", never}, "--gain: -60 to 60 dB, not 'nan'"),
        fails({"play", "--stereo", "nan"}, "--stereo: 0 to 100 percent, not 'nan'"),
        ok({"info", longSong}, "  duration: 87:17:58."),
        /* The count after --loop and a space, as people type it. */
        fails({"render", longSong, "--loop", "1", "-o", never},
              "would play for more than the 24 hours the song scan follows with --loop=1 (the "
              "song once: 87:17:58."),
        fails({"render", loops, "-o", never},
              "has no end the song scan finds (no row comes back within 262144 rows)"),
        fails({"render", "--plugin-dir", onlyPt, "--seconds", "1", "-o", never},
              "writes AIFF files"),
        fails({"render", song, "-o", never + ".xyz"},
              "cannot tell the format of '" + never +
                  ".xyz' from its extension '.xyz'; the formats are " + formats +
                  " (or choose one with --format)"),
        fails({"render", song, "-o", ovtest::tempPath("song")}, "from its extension; the formats"),
        fails({"render", song, "-o", never, "--format", "xyz"}, "unknown format 'xyz'"),
        fails({"render", song, "-o", never, "--endian", "little"},
              "--endian applies to raw PCM only"),
        fails({"render", song, other, "--output-dir", never},
              "'" + song + "' and '" + other + "' would both be written to '" + never +
                  "/song.aiff'; nothing was rendered"),
        fails({"render", song, other, "-o", never}, "2 files were given: use --output-dir DIR"),
        fails({"render", song, "-o", dotted},
              "the output '" + dotted + same + song + "'; nothing was rendered"),
        fails({"render", song, "--format", "wav", "-o", linked}, linked + same + song + "'"),
        fails({"render", twin, "--output-dir", songDir}, songDir + "/song.aiff" + same + twin),
        fails({"render", song, "--output-dir", song},
              "cannot write into '" + song + "': it is not a folder"),
        fails({"render", "--seconds", "1", "-o", "/nonexistent/out.aiff"},
              "cannot create '/nonexistent/out.aiff'"),
        fails({"play", "--seconds", "1"}, "no sound device (", "",
              "SDL_AUDIODRIVER=no-such-driver"),
        {{"play", "--seconds", "0.2", "--visualise"},
         0,
         "warning: no display for --visualise (no X11 or Wayland display found); playing goes on "
         "without the visualiser",
         "Orvane demo",
         noDisplay},
        /* The AIFF plug-in opens these and then delivers no frame. */
        fails({"info", aiffFile("x24.aiff", 2, 1000, 24, 44100, 6000)}, x24,
              "playable: no (" + x24),
        fails({"render", x24File, "-o", never}, x24),
        fails({"play", x24File}, x24),
        fails({"info", aiffFile("x8.aiff", 1, 1000, 8, 44100, 1000)},
              "8-bit samples; the AIFF plug-in plays 16-bit files"),
        fails({"info", aiffFile("x3.aiff", 3, 1000, 16, 44100, 6000)},
              "3 channels; the AIFF plug-in plays mono and stereo files"),
        fails({"play", aiffFile("partial.aiff", 2, 1000, 16, 44100, 3)},
              "the AIFF plug-in delivers not one whole sample frame"),
        /* The device's rates, each side. */
        fails(
            {"play", aiffFile("low.aiff", 2, 20, 16, 999), aiffFile("least.aiff", 2, 20, 16, 1000)},
            "low.aiff' is at 999 Hz; play takes 1000 to 384000 Hz", "1000 Hz"),
        fails({"play", aiffFile("high.aiff", 2, 20, 16, 384001),
               aiffFile("most.aiff", 2, 20, 16, 384000)},
              "high.aiff' is at 384001 Hz", "384000 Hz"),
        /* Each file in turn; one that cannot play is reported. */
        fails({"play", quarter, noise, "--seconds", "0.1", demo},
              "'" + noise + "': no plug-in recognises this file",
              "quarter.aiff\n  AIFF, 44100 Hz, 2 channels, 0:00.250\nOrvane demo\n  Protracker, "
              "44100 "
              "Hz, 2 channels, 1:03.700\n"),
        /* Both commands shape what they take, and count what clips. */
        {{"render", loud, "--gain", "6.0206", "-o", "/dev/null"},
         0,
         "orvane: '/dev/null': 10 of 10 samples clipped"},
        {{"play", loud, "--stereo", "0", "--gain", "6.0206"}, 0, "': 10 of 10 samples clipped"},
        {{"play", loud, "--stereo", "50"}, 0, ""},
        {{"info", tree}, 0, "skipped 1 file under the folders given", "a/b/song.aiff\n"},
        fails({"info", listed}, "lists/x': no such file; skipped", "a/b/song.aiff\n"),
        fails({"info", circle}, "o.m3u': a playlist that includes itself", "a/b/song.aiff\n"),
        fails({"render", loop, "-o", never}, "back': a link back to a folder above it"),
        fails({"render", again, "--output-dir", again + "/out"},
              "'" + again + "/a.aiff' and '" + again + "/w/a.aiff' would both be written"),
        fails({"play", mute}, "no file to take: only 1 file under the folders given that no"),
        /* Each file that fails is left out of the next pass: none left ends it. */
        fails({"play", noise, "--repeat", "--shuffle"}, "no plug-in recognises this file"),
    };
}

/* A row's number and its words, without the folders of its files. */
std::string numbered(size_t index, const std::vector<std::string> &words)
{
    std::string name;
    for (const std::string &word : words)
        name += " " + std::filesystem::path(word).filename().string();
    return std::to_string(index) + "_" + ovtest::caseName(name).substr(0, 60);
}

void PrintTo(const Row &row, std::ostream *out) { *out << testing::PrintToString(row.args); }

using CommandLines = testing::TestWithParam<Row>;

TEST_P(CommandLines, EachGivesItsStatusMessageAndOutput)
{
    const Row &row = GetParam();
    /* A row that would hang fails instead. */
    auto run = orvane(row.args, "SDL_AUDIODRIVER=dummy " + row.environment + " timeout -s KILL 60");
    EXPECT_EQ(run.status, row.status) << run.err;
    if (row.err.empty()) {
        EXPECT_EQ(run.err, "");
    } else {
        EXPECT_THAT(run.err, HasSubstr(row.err));
        EXPECT_EQ(run.err.rfind("orvane: ", 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_LT(run.err.size(), 400u) << "no number of hundreds of digits";
    }
    EXPECT_THAT(run.out, HasSubstr(row.out));
    EXPECT_FALSE(std::filesystem::exists(ovtest::tempPath("never.aiff")));
}

INSTANTIATE_TEST_SUITE_P(Rows, CommandLines, testing::ValuesIn(commandLines()),
                         [](const auto &row) { return numbered(row.index, row.param.args); });

TEST(CommandLine, APlayerBesideItsPluginsStartsNoVisualiserUnasked)
{
    const std::string alone = hosttest::freshFolder("alone");
    for (const char *file : {"orvane", "OV_PT.ovplug"})
        std::filesystem::copy_file(ovtest::binDir() + "/" + file, alone + "/" + file);
    const std::string play = "SDL_AUDIODRIVER=dummy OV_DISPLAY=headless ORVANE_CHECK_LEAKS=1 " +
                             alone + "/orvane play --seconds 0.2 " + hosttest::demoSong();
    EXPECT_EQ(ovtest::runCommand(play).status, 0);
    auto asked = ovtest::runCommand(play + " --visualise");
    EXPECT_EQ(asked.status, 1);
    EXPECT_EQ(asked.err,
              "orvane: cannot start the visualiser: '" + alone + "/Zephrin' not found\n");
}

/* The install the build makes into the build tree (tests/host/CMakeLists.txt):
 * orvane finds its companions in lib/orvane and renders the same bytes as
 * the build tree's, the song arriving through a pipe (read once, head and
 * rest alike). */
TEST(CommandLine, TheInstalledOrvaneRendersTheDemoSongFromAPipe)
{
    const std::string prefix = OV_TEST_PREFIX, out = ovtest::tempPath("installed.pcm"),
                      reference = ovtest::tempPath("reference.pcm");
    auto installed = ovtest::runCommand(
        "cat " + ovtest::shellQuote(hosttest::demoSong()) + " | ORVANE_CHECK_LEAKS=1 " + prefix +
        "/bin/orvane render /dev/stdin --frames 44100 --raw -o " + out);
    ASSERT_EQ(installed.status, 0) << installed.err;
    ASSERT_EQ(orvane({"render", "--frames", "44100", "--raw", "-o", reference}).status, 0);
    EXPECT_EQ(ovtest::readFile(out), ovtest::readFile(reference));
}

/* ---- play through SDL's disk and dummy audio drivers, and keys on a terminal ---- */

TEST(Play, EachSongReachesTheDeviceWholeInNativeOrderAndStopsAtItsEnd)
{
    /* A module of one pattern at speed 1: 65 ticks, 1.3 seconds. */
    const std::string module =
        fileOf("short-song.mod", ovtools::ModuleWriter()
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
    /* Nothing but the song and nothing after its end, with the device's
     * silence (before, after, and where a busy machine let it run dry) left out. */
    std::vector<int16_t> heard(std::filesystem::file_size(played) / 2);
    std::ifstream(played).read(reinterpret_cast<char *>(heard.data()), heard.size() * 2);
    auto sound = [](std::vector<int16_t> samples) {
        samples.erase(std::remove(samples.begin(), samples.end(), 0), samples.end());
        return samples;
    };
    EXPECT_TRUE(sound(heard) == sound(song));
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
    const std::string aiff = aiffFile("thirty.aiff", 1, 240000, 16, 8000);
    std::string keys = "sleep 1";
    for (const char *key :
         {"\\033[C", "\\033[C", "\\033[C", "\\033[D", " ", "", " ", "n", "\\033[C", "h", "p", "q"})
        keys += std::string("; printf '") + key + "'; sleep 0.7";
    auto run = onTerminal("SDL_AUDIODRIVER=dummy OV_DISPLAY=headless " + std::string(OV_ORVANE) +
                              " play " + aiff + " " + hosttest::demoSong(),
                          keys);
    EXPECT_EQ(run.status, 0) << run.out;
    const std::string help =
        "keys: space pause, q quit, n next, p previous, left/right seek 10 s, h or \\? help";
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
    for (const std::string &line : shownLines(run.out))
        if (next < expected.size() && std::regex_match(line, std::regex(expected[next])))
            next++;
    EXPECT_EQ(next, expected.size())
        << "not seen: " << expected[std::min(next, expected.size() - 1)] << "\nin:\n"
        << run.out;
    /* Paused for over a second, the time shown stands still. */
    std::set<std::string> pausedAt;
    for (const std::string &line : shownLines(run.out))
        if (line.ends_with("(paused)"))
            pausedAt.insert(line.substr(0, 6));
    EXPECT_EQ(pausedAt.size(), 1u) << run.out;
    /* About 10 s of play, the line redrawn about 10 times a second. */
    EXPECT_LT(shownLines(run.out).size(), 200u) << run.out;
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

/* Runs a row cannot hold: signals while playing or rendering (an endless
 * song, or a start far into it to decode up to), an AIFF file through a
 * pipe, which its plug-in reads by name and so cannot read again, and
 * output that cannot be written. */
struct Stop {
    std::string command;
    int status;
    std::string out, err; /* err after the shell's word for a signal */
};

void PrintTo(const Stop &stop, std::ostream *out) { *out << stop.command; }

std::vector<Stop> stops()
{
    const std::string orvane =
        "ORVANE_CHECK_LEAKS=1 SDL_AUDIODRIVER=dummy OV_DISPLAY=headless timeout -s KILL 30 " +
        ovtest::shellQuote(OV_ORVANE);
    const std::string out = ovtest::tempPath("stopped.aiff"),
                      song = "Orvane demo\n  Protracker, 44100 Hz, 2 channels, 1:03.700\n",
                      full = "orvane: cannot write to standard output: No space left on device\n";
    auto signalled = [&](const std::string &args, const std::string &signal) {
        return orvane + " " + args + " </dev/null & pid=$!; sleep 1; kill -" + signal +
               " $pid; wait $pid";
    };
    return {
        {signalled("play --loop --visualise", "INT"), 130, song, ""},
        {signalled("play --loop", "TERM"), 128 + SIGTERM, song, ""},
        {signalled("play --start 1e9 --seconds 1", "TERM"), 128 + SIGTERM, song, ""},
        {signalled("render --start 1e9 --seconds 1 -o " + out, "INT"), 128 + SIGINT, "",
         "orvane: interrupted; '" + out + "' was not written\n"},
        /* Hours of silence owed after a file that ended early. */
        {signalled("render " + aiffFile("short.aiff", 2, 1000) +
                       " --seconds 1e6 --format wav -o - >/dev/null",
                   "INT"),
         128 + SIGINT, "", "orvane: interrupted after "},
        {"cat " + aiffFile("piped.aiff", 2, 1000) + " | " + orvane + " info /dev/stdin", 1, "",
         "orvane: '/dev/stdin' is a pipe, not a regular file: the AIFF plug-in opens its file "
         "again by name, and what was read from it cannot be read again (save it to a file "
         "first)\n"},
        {orvane + " info " + hosttest::demoSong() + " >/dev/full", 1, "", full},
        {orvane + " plugins >/dev/full", 1, "", full},
        {orvane + " --help >/dev/full", 1, "", full},
    };
}

using Stops = testing::TestWithParam<Stop>;

TEST_P(Stops, SignalsPipesAndAFullOutput)
{
    auto run = ovtest::runCommand(GetParam().command);
    EXPECT_EQ(run.status, GetParam().status) << run.err;
    EXPECT_EQ(run.out, GetParam().out);
    EXPECT_THAT(run.err, HasSubstr(GetParam().err));
    EXPECT_FALSE(std::filesystem::exists(ovtest::tempPath("stopped.aiff")));
}

/* Named by what orvane is asked and the signal it gets. */
std::string stopName(const testing::TestParamInfo<Stop> &row)
{
    const std::string &command = row.param.command;
    const size_t from = command.find("orvane' ") + 8, kill = command.rfind("kill -");
    std::istringstream words(command.substr(from, command.find_first_of("<>|&", from) - from) +
                             (kill == std::string::npos ? "" : command.substr(kill + 5, 5)));
    return numbered(row.index, {std::istream_iterator<std::string>(words), {}});
}

INSTANTIATE_TEST_SUITE_P(CommandLine, Stops, testing::ValuesIn(stops()), stopName);

} // namespace
