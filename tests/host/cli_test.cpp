/* orvane plugins, info, --help and the failures every command reports in
 * one line with a non-zero status. */
#include "orvane_run.h"
#include "support/plugin_host.h"
#include "support/aiff_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
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

TEST(Info, DescribesAiffFilesWithTheirDurationAndNoTitle)
{
    std::string mono = writeAiff("info-mono.aiff", 1, 33075, 22050);
    auto run = orvane({"info", mono});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char *line : {"plug-in:  AIFF (OV_AIFF.ovplug)\n", "loading:  1",
                             "rate:     22050 Hz\n", "channels: 1\n", "duration: 1500 ms\n"})
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

TEST(Errors, PluginRefusesToOpen)
{
    /* The signature is there, the samples it announces are not. */
    std::vector<uint8_t> demo = ovtest::readFile(hosttest::demoSong());
    demo.resize(2000);
    std::string cut = ovtest::tempPath("cut.mod");
    ovtest::writeFile(cut, demo);
    expectOneLineError(orvane({"info", cut}), "the Protracker plug-in cannot open this file");

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
        std::string out = ovtest::tempPath("never-written.out");
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

TEST(Errors, CommandLineMistakes)
{
    EXPECT_NE(orvane({}).status, 0);
    EXPECT_NE(orvane({"dance"}).status, 0);
    EXPECT_NE(orvane({"render", hosttest::demoSong()}).status, 0) << "no -o";
    EXPECT_NE(
        orvane({"render", "--seconds", "1", "--frames", "5", "-o", ovtest::tempPath("both.aiff")})
            .status,
        0);
    EXPECT_NE(orvane({"play", "--seconds", "-1"}).status, 0);
    EXPECT_NE(orvane({"plugins", "--plugin-dir", "/nonexistent"}).status, 0);
}

} // namespace
