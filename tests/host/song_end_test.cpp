/* Songs that end: the real orvane renders a module to exactly the frame
 * where it would start again (or N passes with --loop=N), info shows that
 * length, --start lands on the bytes a plain decode has there, and play
 * stops at the song's end. */
#include "orvane_run.h"
#include "plugins.h"
#include "song_length.h"
#include "tools/module_image.h"
#include "support/plugin_host.h"

#include "platform/exec.h"
#include "protracker/replayer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

using testing::HasSubstr;

namespace {

/* The replayer's own scan of a file, on a copy. */
int64_t scannedSamples(const std::string &file, int32 passes)
{
    std::vector<uint8_t> image = ovtest::readFile(file);
    struct ExecIFace *IExec = AbsExecBase->MainInterface;
    struct pt_state *state =
        pt_init(image.data(), static_cast<int32>(image.size()), 44100, IExec);
    if (state == nullptr)
        return -2;
    int64 samples = pt_song_samples(state, passes, int64{44100} * 3600, IExec);
    IExec->FreeVec(IExec, state);
    return samples;
}

/* Frames of a raw render (4 bytes a frame), -1 when it failed. */
int64_t renderedFrames(const std::vector<std::string> &arguments, const std::string &out)
{
    std::vector<std::string> all = {"render", "--raw", "-o", out};
    all.insert(all.end(), arguments.begin(), arguments.end());
    auto run = hosttest::orvane(all);
    if (run.status != 0) {
        ADD_FAILURE() << run.err;
        return -1;
    }
    return static_cast<int64_t>(std::filesystem::file_size(out) / 4);
}

/* A module of one pattern at speed 1: 65 ticks, about 1.3 seconds. */
std::string shortModule()
{
    std::string file = ovtest::tempPath("short-song.mod");
    ovtools::ModuleWriter writer;
    writer.sample(1, ovtools::constantSample(4000, 50), 40, 0, 0, 4000)
        .cell(0, 0, 0, 428, 1, 0xF, 0x01)
        .cell(0, 32, 1, 214, 1);
    ovtest::writeFile(file, writer.bytes());
    return file;
}

/* The next `frames` frames of a session's decodes. */
std::vector<uint8_t> take(orvane::PlayerSession &session, size_t frames)
{
    std::vector<uint8_t> bytes;
    while (bytes.size() < frames * 4) {
        std::span<const uint8_t> block = session.decode();
        if (block.empty())
            break;
        bytes.insert(bytes.end(), block.begin(),
                     block.begin() + static_cast<ptrdiff_t>(std::min(block.size(),
                                                                     frames * 4 - bytes.size())));
    }
    return bytes;
}

} // namespace

TEST(SongEnd, ARestartHearsTheModuleAsAtFirstThoughTheInvertLoopRewroteIt)
{
    /* EFF on every row inverts one more byte of sample 1's loop. */
    std::string file = ovtest::tempPath("invert-loop.mod");
    ovtools::ModuleWriter writer;
    std::vector<int8_t> wave(2000);
    for (size_t i = 0; i < wave.size(); i++)
        wave[i] = static_cast<int8_t>(i * 7 % 200 - 100);
    writer.sample(1, wave, 64, 0, 1000, 1000);
    for (int row = 0; row < 64; row++)
        writer.cell(0, row, 0, row == 0 ? 428 : 0, row == 0 ? 1 : 0, 0xE, 0xFF);
    ovtest::writeFile(file, writer.bytes());

    orvane::PluginSet plugins(ovtest::binDir());
    orvane::PlayerSession plain(plugins, file);
    const std::vector<uint8_t> start = take(plain, 30000);
    ASSERT_EQ(start.size(), 30000u * 4);
    orvane::PlayerSession session(plugins, file);
    ASSERT_TRUE(session.restartable());
    take(session, 100000);
    session.restart();
    EXPECT_EQ(session.skip(20000), 20000u);
    EXPECT_TRUE(take(session, 10000) ==
                std::vector<uint8_t>(start.begin() + 80000, start.end()));
}

TEST(SongEnd, RealModulesRenderAndShowTheirWholeLength)
{
    OV_REQUIRE_MODS();
    int modules = 0;
    for (const auto &entry : std::filesystem::directory_iterator(ovtest::modsDir())) {
        std::string file = entry.path().string();
        if (entry.path().extension() != ".mod" || file.find(".xm.") != std::string::npos)
            continue;
        SCOPED_TRACE(file);
        int64_t samples = scannedSamples(file, 1);
        ASSERT_GT(samples, 0);
        EXPECT_EQ(renderedFrames({file}, ovtest::tempPath("whole.pcm")), samples);
        auto info = hosttest::orvane({"info", file});
        EXPECT_THAT(info.out, HasSubstr("duration: " +
                                        orvane::durationText(static_cast<uint64_t>(samples), 44100) +
                                        "\n"));
        modules++;
    }
    EXPECT_EQ(modules, 7);
}

TEST(SongEnd, LoopAndStartChooseWhatIsRendered)
{
    const std::string demo = hosttest::demoSong(), out = ovtest::tempPath("loop.pcm");
    EXPECT_EQ(renderedFrames({"--loop=2"}, out), scannedSamples(demo, 3));
    EXPECT_EQ(renderedFrames({"--loop=0"}, out), scannedSamples(demo, 1));
    /* --start counts into the song; a bound counts from the start. */
    EXPECT_EQ(renderedFrames({"--start", "10"}, out), scannedSamples(demo, 1) - 441000);
    ASSERT_EQ(renderedFrames({"--start", "10", "--frames", "20000"}, out), 20000);
    std::vector<uint8_t> plain = ovtest::readFile(out);
    ASSERT_EQ(renderedFrames({"--frames", "461000"}, out), 461000);
    std::vector<uint8_t> whole = ovtest::readFile(out);
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), whole.end() - 80000));

    auto forever = hosttest::orvane({"render", "--loop", "-o", out});
    EXPECT_EQ(forever.status, 1);
    EXPECT_THAT(forever.err, HasSubstr("plays forever (--loop): give --seconds or --frames"));
    auto negative = hosttest::orvane({"render", "--loop=-2", "-o", out});
    EXPECT_NE(negative.status, 0);
    auto beyond = hosttest::orvane({"render", "--start", "64", "-o", out});
    EXPECT_EQ(beyond.status, 1);
    EXPECT_THAT(beyond.err, HasSubstr("--start lies beyond the song's end (1:03.700)"));
}

TEST(SongEnd, PlayStopsAtTheEndShowingTheLength)
{
    std::string song = shortModule(), played = ovtest::tempPath("short-played.raw");
    int64_t samples = scannedSamples(song, 1);
    ASSERT_EQ(samples, 65 * 882);
    auto run = hosttest::orvane({"play", song},
                      "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE='" + played + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("Protracker, 44100 Hz, 2 channels, 0:01.300\n"));
    /* All the song reached the device, and not a block more than its end
     * (the device adds at most its own buffer of silence). */
    auto bytes = std::filesystem::file_size(played);
    EXPECT_GE(bytes, static_cast<uintmax_t>(samples) * 4);
    EXPECT_LT(bytes, static_cast<uintmax_t>(samples + 16384) * 4);
}

TEST(SongEnd, CtrlCEndsPlayWithStatus130)
{
    std::string command = "SDL_AUDIODRIVER=dummy '" + std::string(OV_ORVANE) +
                          "' play >/dev/null 2>&1 & pid=$!; sleep 1; kill -INT $pid; wait $pid";
    int raw = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(raw), 130);
}
