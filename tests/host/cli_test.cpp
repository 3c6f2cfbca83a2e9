/* orvane plugins, info, --help and the failures every command reports in
 * one line with a non-zero status. */
#include "orvane_run.h"
#include "support/plugin_host.h"
#include "support/aiff_file.h"
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
#include <sstream>
#include <thread>

using hosttest::orvane;
using testing::HasSubstr;
using testing::Not;

namespace {

/* One line on standard error, naming the program. */
void expectOneLineError(const hosttest::RunResult &run, const std::string &text)
{
    EXPECT_NE(run.status, 0);
    EXPECT_THAT(run.err, HasSubstr(text));
    EXPECT_EQ(run.err.rfind("orvane: ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
}

std::string writeAiff(const std::string &name, uint16_t channels, uint32_t frames, double rate)
{
    std::string path = ovtest::tempPath(name);
    ovtest::writeFile(path, ovtest::AiffFile().comm(channels, frames, 16, rate)
                                .ssnd(ovtest::testPcm(frames, channels)).bytes());
    return path;
}

TEST(Plugins, ListsEveryPluginWithItsDescriptor)
{
    auto run = orvane({"plugins"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    /* Both plug-ins, in file-name order, with the fields of their descriptors. */
    size_t aiff = run.out.find("OV_AIFF.ovplug\n"), pt = run.out.find("OV_PT.ovplug\n");
    ASSERT_NE(aiff, std::string::npos);
    ASSERT_NE(pt, std::string::npos);
    EXPECT_LT(aiff, pt);
    std::string aiffPart = run.out.substr(aiff, pt - aiff), ptPart = run.out.substr(pt);
    for (const char *line :
         {"name:        AIFF\n",
          "description: Simple AIFF Player - (For use with CD Audio Discs under OS4)\n",
          "extension:   aiff\n", "loading:     1", "version:     1.4 (10400)\n",
          "encodes:     yes\n"})
        EXPECT_THAT(aiffPart, HasSubstr(line));
    for (const char *line :
         {"name:        Protracker\n", "description: Protracker Player\n", "extension:   (none)\n",
          "loading:     2", "version:     1.2 (10200)\n", "encodes:     no\n"})
        EXPECT_THAT(ptPart, HasSubstr(line));
}

TEST(Plugins, PluginDirChoosesWhereToLook)
{
    std::string only = hosttest::freshFolder("only-pt");
    std::filesystem::copy_file(ovtest::binDir() + "/OV_PT.ovplug", only + "/OV_PT.ovplug");
    auto run = orvane({"plugins", "--plugin-dir", only});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("OV_PT.ovplug"));
    EXPECT_THAT(run.out, Not(HasSubstr("OV_AIFF")));

    /* A file that is not a library is named, not fatal. */
    ovtest::writeFile(only + "/broken.ovplug", {1, 2, 3});
    run = orvane({"--plugin-dir", only, "plugins"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("broken.ovplug\n  not usable:"));

    expectOneLineError(orvane({"plugins", "--plugin-dir", hosttest::freshFolder("no-plugins")}),
                       "no plug-ins found");
}

TEST(Info, DescribesTheDemoSongWhenNoFileIsGiven)
{
    auto run = orvane({"info"});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char *line : {"demo.mod\n", "plug-in:  Protracker (OV_PT.ovplug)\n", "loading:  2",
                             "rate:     44100 Hz\n", "channels: 2\n", "duration: 1:03.700\n",
                             "title:    Orvane demo\n"})
        EXPECT_THAT(run.out, HasSubstr(line));
}

TEST(Info, AModuleIsNamedByItsOwnTitle)
{
    OV_REQUIRE_MODS();
    auto run = orvane({"info", ovtest::modsDir() + "/fridge-in-space_from_reg-zbb.mod"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("title:    fridge in space\n"));
}

TEST(Info, ModuleThroughTheLoaderWithItsSampleTable)
{
    ovtools::ModuleSample lead{"lead", std::vector<int8_t>(1000, 5), 9, 40, 100, 200};
    ovtools::ModuleSample kick{"kick\x01", std::vector<int8_t>(64, 9), 0, 64, 0, 1};
    std::string path = ovtest::tempPath("table.mod");
    ovtest::writeFile(path, ovtools::ModuleWriter()
                                .title("  table test ")
                                .sample(3, lead)
                                .sample(17, kick)
                                .orders({0, 4, 2})
                                .songLength(3)
                                .bytes());
    auto run = orvane({"info", path});
    ASSERT_EQ(run.status, 0) << run.err;
    /* Finetune 9 is -7; an empty sample (here 1, 2, 4...) has no row;
     * loop fields are words in the file and bytes here. */
    for (const char *line :
         {"title:    table test\n", "orders:   3\n", "patterns: 5\n", "samples:  2 with sound\n",
          "     3  lead                      1000         200          400      40        -7\n",
          "    17  kick                        64           0            2      64         0\n",
          "playable: yes\n"})
        EXPECT_THAT(run.out, HasSubstr(line));
}

TEST(Info, DescribesAiffFilesWithTheirDurationAndNoTitle)
{
    std::string mono = writeAiff("info-mono.aiff", 1, 33075, 22050);
    auto run = orvane({"info", mono});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char *line : {"plug-in:  AIFF (OV_AIFF.ovplug)\n", "loading:  1",
                             "rate:     22050 Hz\n", "channels: 1\n", "duration: 1500 ms\n",
                             "bits:     16\n", "frames:   33075\n", "playable: yes\n"})
        EXPECT_THAT(run.out, HasSubstr(line));
    EXPECT_THAT(run.out, Not(HasSubstr("title:")));
}

TEST(Info, AModuleArrivesThroughAPipe)
{
    /* The file is read once, head and rest alike: a pipe works. */
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

TEST(Info, GoesOnPastAFileItCannotDescribe)
{
    auto run = orvane({"info", "/nonexistent/song.mod", hosttest::demoSong()});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("cannot read '/nonexistent/song.mod'"));
    EXPECT_THAT(run.out, HasSubstr("title:    Orvane demo"));
}

TEST(Help, ShowsTheCommandsAndExamples)
{
    auto run = orvane({"--help"});
    EXPECT_EQ(run.status, 0);
    for (const char *text : {"play", "render", "info", "plugins", "--plugin-dir", "Examples:",
                             "orvane render song.mod --seconds 60 -o song.aiff",
                             "2 render cut short at the AIFF size limit"})
        EXPECT_THAT(run.out, HasSubstr(text));
    run = orvane({"render", "--help"});
    EXPECT_EQ(run.status, 0);
    for (const char *text :
         {"--seconds", "--frames", "--raw", "--visualise", "--frames-dir", "--frames-every"})
        EXPECT_THAT(run.out, HasSubstr(text));
}

TEST(Errors, UnreadableFile)
{
    for (const char *command : {"play", "render", "info"}) {
        std::vector<std::string> args{command, "/nonexistent/song.mod"};
        if (std::string(command) == "render")
            args.insert(args.end(), {"--seconds", "1", "-o", ovtest::tempPath("never.aiff")});
        expectOneLineError(orvane(args, "SDL_AUDIODRIVER=dummy"),
                           "cannot read '/nonexistent/song.mod': No such file or directory");
    }
    expectOneLineError(orvane({"info", ovtest::binDir()}), "it is a folder");
}

TEST(Errors, FileNoPluginRecognises)
{
    std::string path = ovtest::tempPath("noise.bin");
    ovtest::writeFile(path, std::vector<uint8_t>(5000, 0x55));
    expectOneLineError(orvane({"info", path}), "no plug-in recognises this file");
    std::string empty = ovtest::tempPath("empty.bin");
    ovtest::writeFile(empty, {});
    expectOneLineError(
        orvane({"render", empty, "-o", ovtest::tempPath("x.aiff"), "--seconds", "1"}),
        "no plug-in recognises this file");
}

TEST(Errors, ModulesTheLoaderRefusesSayWhy)
{
    /* Six patterns (the highest order is 5) and one 100-byte sample. */
    const std::vector<uint8_t> module = ovtools::ModuleWriter()
                                            .orders({0, 5, 2})
                                            .sample(1, std::vector<int8_t>(100, 1))
                                            .bytes();
    ASSERT_EQ(module.size(), 1084u + 6 * 1024 + 100);
    auto cut = [&](size_t size) { return std::vector<uint8_t>(module.begin(), module.begin() + size); };
    auto tagged = [&](const char *tag) {
        std::vector<uint8_t> bytes = module;
        std::memcpy(&bytes[1080], tag, 4);
        return bytes;
    };
    struct Case {
        const char *name;
        std::vector<uint8_t> bytes;
        std::string reason;
    };
    for (const Case &c : std::vector<Case>{
             {"cut.mod", cut(7000),
              "the Protracker plug-in cannot open this file: 328 bytes shorter than its 6 "
              "patterns and samples need (7000 of 7328 bytes)"},
             {"one-short.mod", cut(7327), "1 byte shorter than its 6 patterns"},
             {"flt4.mod", tagged("FLT4"),
              "no plug-in recognises this file: not a \"M.K.\" module: its tag is \"FLT4\""},
             {"MOD.binary", tagged("\x01K\"\xff"), "its tag is \"\\x01K\\x22\\xFF\""},
             {"tiny.mod", cut(300), "not a \"M.K.\" module: 300 bytes end before its tag at byte 1080"},
             /* Not named as a module: no guess about what it is. */
             {"flt4.bin", tagged("FLT4"), "no plug-in recognises this file"}}) {
        SCOPED_TRACE(c.name);
        std::string path = ovtest::tempPath(c.name);
        ovtest::writeFile(path, c.bytes);
        auto run = orvane({"info", path});
        expectOneLineError(run, c.reason);
        if (std::string(c.name) == "flt4.bin") {
            EXPECT_THAT(run.err, Not(HasSubstr("M.K.")));
        }
    }
}

TEST(Errors, NoPluginsInTheFolder)
{
    std::string empty = hosttest::freshFolder("plugin-free");
    for (const char *command : {"info", "play"})
        expectOneLineError(orvane({"--plugin-dir", empty, command, hosttest::demoSong()},
                                  "SDL_AUDIODRIVER=dummy"),
                           "no plug-ins found in '" + empty + "'");
    ovtest::writeFile(empty + "/broken.ovplug", {1, 2, 3});
    expectOneLineError(orvane({"--plugin-dir", empty, "info", hosttest::demoSong()}),
                       "none of its *.ovplug files is usable");
}

TEST(Errors, PluginRefusesToOpen)
{

    /* An AIFF file without sound data. */
    std::string hollow = ovtest::tempPath("hollow.aiff");
    ovtest::writeFile(hollow, ovtest::AiffFile().comm(2, 0, 16, 44100).bytes());
    auto run = orvane({"info", hollow});
    EXPECT_NE(run.status, 0);
    EXPECT_THAT(run.err, HasSubstr("hollow.aiff"));
}

TEST(Errors, FilesThePluginOpensButCannotPlay)
{
    /* The AIFF plug-in opens these and then delivers no frame: every
     * command says why, fails, and leaves no output. */
    struct Case {
        const char *name;
        uint16_t channels;
        uint16_t bits;
        size_t soundBytes;
        const char *reason;
    };
    for (Case c :
         {Case{"x24.aiff", 2, 24, 6000, "24-bit samples; the AIFF plug-in plays 16-bit files"},
          Case{"x8.aiff", 1, 8, 1000, "8-bit samples; the AIFF plug-in plays 16-bit files"},
          Case{"x3.aiff", 3, 16, 6000, "3 channels; the AIFF plug-in plays mono and stereo files"},
          Case{"partial.aiff", 2, 16, 3, "the AIFF plug-in delivers not one whole sample frame"}}) {
        SCOPED_TRACE(c.name);
        std::string path = ovtest::tempPath(c.name);
        ovtest::writeFile(path, ovtest::AiffFile().comm(c.channels, 1000, c.bits, 44100)
                                    .ssnd(std::vector<uint8_t>(c.soundBytes, 9)).bytes());
        auto info = orvane({"info", path});
        expectOneLineError(info, c.reason);
        EXPECT_THAT(info.out, HasSubstr(std::string("playable: no (") + c.reason));
        std::string out = ovtest::tempPath("never-written.aiff");
        for (bool raw : {false, true}) {
            std::vector<std::string> args{"render", path, "-o", out};
            if (raw)
                args.push_back("--raw");
            expectOneLineError(orvane(args), c.reason);
            EXPECT_FALSE(std::filesystem::exists(out));
        }
        expectOneLineError(orvane({"play", path}, "SDL_AUDIODRIVER=dummy"), c.reason);
    }
}

TEST(Errors, CommandLineMistakesInOneLine)
{
    const std::string out = ovtest::tempPath("never.aiff");
    const std::string seconds = "is not a number of seconds above 0 and at most 1000000000";
    const std::string frames = "is not a whole number of frames from 1 to about 18 billion billion";
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    for (const Case &c : std::vector<Case>{
             {{}, "A subcommand is required"},
             {{"dance"}, "unknown command 'dance'; the commands are play, render, info, plugins"},
             {{"--plugin-dir", "/tmp", "dance", "x"}, "unknown command 'dance'"},
             {{"render", hosttest::demoSong()}, "render needs an output file"},
             {{"render", "--seconds", "1", "--frames", "5", "-o", out}, "excludes --frames"},
             {{"play", "--seconds", "-1"}, "'-1' " + seconds},
             {{"play", "--seconds", "0"}, "'0' " + seconds},
             {{"play", "--seconds", "1e400"}, "'1e400' " + seconds},
             {{"render", "--seconds", "nan", "-o", out}, "'nan' " + seconds},
             {{"play", "--frames", "-5"}, "'-5' " + frames},
             {{"play", "--frames", "18446744073709551616"}, "'18446744073709551616' " + frames},
             {{"render", "--frames-every", "0", "-o", out},
              "'0' is not a whole number of pictures from 1 to 4294967295"},
             {{"plugins", "--plugin-dir", "/nonexistent"}, "--plugin-dir"}}) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        auto run = orvane(c.args);
        expectOneLineError(run, c.message);
        EXPECT_EQ(run.status, 1);
        EXPECT_LT(run.err.size(), 200u) << "no number of hundreds of digits";
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

TEST(Help, VersionAndTheManualPage)
{
    auto run = orvane({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(run.out, testing::MatchesRegex("orvane [0-9]+\\.[0-9]+\\.[0-9]+\n"));
}

TEST(Visualise, NoDisplayIsAWarningAndPlayingGoesOn)
{
    auto run = orvane({"play", "--seconds", "0.2", "--visualise"},
                      "OV_DISPLAY= DISPLAY= WAYLAND_DISPLAY= SDL_AUDIODRIVER=dummy");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("Orvane demo"));
    EXPECT_THAT(run.err, HasSubstr("orvane: warning: no display for --visualise"));
    EXPECT_THAT(run.err, HasSubstr("playing goes on without the visualiser"));
}

/* The install made at build time (tests/host/CMakeLists.txt) into the
 * build tree: orvane finds its companions in lib/orvane and plays the demo
 * song from there; the manual page and the completion are in place. */
TEST(Install, TheInstalledOrvaneRendersTheDemoSong)
{
    const std::string prefix = OV_TEST_PREFIX;
    std::string out = ovtest::tempPath("installed.pcm");
    std::string command = "ORVANE_CHECK_LEAKS=1 " + prefix + "/bin/orvane render --frames 44100 --raw -o " + out +
                          " </dev/null >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    /* The same bytes as the build tree's orvane renders. */
    std::string reference = ovtest::tempPath("reference.pcm");
    ASSERT_EQ(orvane({"render", "--frames", "44100", "--raw", "-o", reference}).status, 0);
    EXPECT_EQ(ovtest::readFile(out), ovtest::readFile(reference));
    EXPECT_EQ(ovtest::readFile(out).size(), 44100u * 4);

    std::ifstream page(prefix + "/share/man/man1/orvane.1");
    std::stringstream text;
    text << page.rdbuf();
    for (const char *part : {".TH ORVANE 1", ".SH \"orvane render\"", "\\-\\-seconds", "Examples:"})
        EXPECT_THAT(text.str(), HasSubstr(part));
    /* The completion offers the options of the command being typed, found in its help. */
    auto complete = [&](const std::string &words) {
        std::string listed = ovtest::tempPath("completion.txt");
        std::string script = "source " + prefix + "/share/bash-completion/completions/orvane; " +
                             "COMP_WORDS=(" + prefix + "/bin/orvane " + words +
                             "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _orvane; " +
                             "echo \"${COMPREPLY[*]}\" >" + listed;
        EXPECT_EQ(std::system(("bash -c '" + script + "' </dev/null").c_str()), 0);
        std::ifstream in(listed);
        std::string line;
        std::getline(in, line);
        return line;
    };
    EXPECT_EQ(complete("re"), "render");
    EXPECT_EQ(complete("render --frames-"), "--frames-dir --frames-every");
    EXPECT_EQ(complete("--plugin-dir x info --"), "--help") << "not the examples' options";
    for (const char *companion : {"OV_PT.ovplug", "OV_AIFF.ovplug", "Zephrin", "demo.mod"})
        EXPECT_TRUE(std::filesystem::exists(prefix + "/lib/orvane/" + companion)) << companion;
}

} // namespace
