/* orvane render: the plug-in's own bytes into AIFF files with their fix-ups
 * applied, other formats read back by libsndfile and sox, songs that end
 * where the replayer's scan says, output never left half-written, the PCM
 * shaped, and the headless visualiser's pictures. */
#include "host/cli/commands.h"
#include "host/input/plugins.h"
#include "host/input/stream.h"
#include "orvane_run.h"
#include "platform/byteorder.h"
#include "protracker/replayer.h"
#include "tools/module_image.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>

using hosttest::bigEndianSamples;
using testing::HasSubstr;

namespace {

constexpr size_t kAiffHeader = 54;

/* The first `frames` frames the Protracker plug-in itself delivers for a
 * module, driven the way the host drives it. */
std::vector<uint8_t> decodeDirectly(const std::string &songFile, size_t frames)
{
    ovtest::Plugin plugin("OV_PT.ovplug");
    EXPECT_NE(plugin->AnnouncePlayer(plugin.iface(), 10400), nullptr);
    std::vector<uint8_t> image = ovtest::readFile(songFile), pcm;
    auto stream = ovtest::newStream();
    stream->LoadMode = LOADMODE_IN_MEMORY;
    stream->FileData = image.data();
    stream->FileSize = static_cast<int32>(image.size());
    if (plugin->InitPlayer(plugin.iface(), stream.get()) == 1 &&
        plugin->OpenPlayer(plugin.iface(), songFile.c_str(), stream.get()) == 1) {
        while (pcm.size() < frames * 4) {
            int32 got = plugin->DecodeFramePlayer(plugin.iface(), stream.get(), stream.get());
            auto *out = static_cast<const uint8_t *>(stream->OutputBuffer);
            pcm.insert(pcm.end(), out, out + std::max(got, 0) * 4);
        }
        pcm.resize(frames * 4);
    }
    plugin->ClosePlayer(plugin.iface(), stream.get());
    return pcm;
}

/* A module's frames as heard: the plug-in delivers the right side first. */
std::vector<uint8_t> leftFirst(std::vector<uint8_t> frames)
{
    for (size_t i = 0; i + 3 < frames.size(); i += 4)
        std::swap_ranges(&frames[i], &frames[i + 2], &frames[i + 2]);
    return frames;
}

/* The replayer's own scan: frames until a module has played `passes` times. */
int64_t scannedFrames(const std::string &file, int32 passes)
{
    std::vector<uint8_t> image = ovtest::readFile(file);
    struct ExecIFace *IExec = AbsExecBase->MainInterface;
    struct pt_state *state = pt_init(image.data(), static_cast<int32>(image.size()), 44100, IExec);
    int64 frames =
        state == nullptr ? -2 : pt_song_samples(state, passes, int64{44100} * 3600, IExec);
    IExec->FreeVec(IExec, state);
    return frames;
}

/* The samples of a file as libsndfile reads them, and its format. */
std::vector<int16_t> readWithSndfile(const std::string &file, SF_INFO *format = nullptr)
{
    SF_INFO own{}, &info = format != nullptr ? *format : own;
    SNDFILE *in = sf_open(file.c_str(), SFM_READ, &info);
    EXPECT_NE(in, nullptr) << file << ": " << sf_strerror(nullptr);
    std::vector<int16_t> samples(static_cast<size_t>(in ? info.frames * info.channels : 0));
    if (in != nullptr) {
        samples.resize(static_cast<size_t>(sf_readf_short(in, samples.data(), info.frames)) *
                       static_cast<size_t>(info.channels));
        sf_close(in);
    }
    return samples;
}

TEST(Render, LoopAndStartChooseWhatIsRendered)
{
    const std::string demo = hosttest::demoSong(), out = ovtest::tempPath("loop.pcm");
    const int64_t once = scannedFrames(demo, 1);
    const std::vector<uint8_t> whole = decodeDirectly(demo, 461000);
    /* Options and the frames they render: --start counts into the song; a
     * bound counts from the start. */
    const std::vector<std::pair<std::vector<std::string>, int64_t>> cases = {
        {{"--loop=2"}, scannedFrames(demo, 3)},
        {{"--loop=0"}, once},
        {{"--start", "10"}, once - 441000},
        {{"--start", "10", "--frames", "20000"}, 20000}};
    for (const auto &[options, frames] : cases) {
        std::vector<std::string> args{"render", "--raw", "-o", out};
        args.insert(args.end(), options.begin(), options.end());
        SCOPED_TRACE(testing::PrintToString(args));
        ASSERT_EQ(hosttest::orvane(args).status, 0);
        std::vector<uint8_t> bytes = ovtest::readFile(out);
        EXPECT_EQ(bytes.size(), static_cast<size_t>(frames) * 4);
        if (options[0] == "--start") {
            EXPECT_TRUE(std::equal(whole.begin() + 441000 * 4, whole.end(), bytes.begin()));
        }
    }
}

TEST(Render, ARestartHearsTheModuleAsAtFirstThoughTheInvertLoopRewroteIt)
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
    const std::vector<uint8_t> start = decodeDirectly(file, 30000);
    orvane::PluginSet plugins(ovtest::binDir());
    orvane::PlayerSession session(plugins, file);
    ASSERT_TRUE(session.restartable());
    EXPECT_EQ(session.skip(100000), 100000u);
    session.restart();
    EXPECT_EQ(session.skip(20000), 20000u);
    std::span<const uint8_t> next = session.decode();
    ASSERT_GE(next.size(), 10000u * 4);
    EXPECT_TRUE(std::equal(start.begin() + 80000, start.end(), next.begin()));
}

/* Lossless formats keep every sample; lossy ones keep rate, channels and
 * (within an encoder's padding) the length. */
const struct Written {
    const char *extension;
    int format;
    bool lossy = false;
} kWritten[] = {{"aif", SF_FORMAT_AIFF},      {"wav", SF_FORMAT_WAV},
                {"flac", SF_FORMAT_FLAC},     {"caf", SF_FORMAT_CAF},
                {"au", SF_FORMAT_AU},         {"w64", SF_FORMAT_W64},
                {"ogg", SF_FORMAT_OGG, true}, {"mp3", SF_FORMAT_MPEG, true}};

void PrintTo(const Written &row, std::ostream *out) { *out << row.extension; }

using EveryFormat = testing::TestWithParam<Written>;

TEST_P(EveryFormat, ReadsBackThroughLibsndfileAndSox)
{
    const std::string source = hosttest::aiffFile("formats-source.aiff", 2, 30000);
    const std::vector<int16_t> pcm = bigEndianSamples(ovtest::testPcm(30000, 2));
    const std::string out = ovtest::tempPath(std::string("formats-out.") + GetParam().extension);
    ASSERT_EQ(hosttest::orvane({"render", source, "-o", out}).status, 0) << out;
    SF_INFO info{};
    const std::vector<int16_t> samples = readWithSndfile(out, &info);
    EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, GetParam().format) << out;
    EXPECT_EQ(info.samplerate * 10 + info.channels, 441002) << out;
    EXPECT_TRUE(GetParam().lossy ? info.frames - 30000 <= 2 * 1152 : samples == pcm) << out;
}

INSTANTIATE_TEST_SUITE_P(Render, EveryFormat, testing::ValuesIn(kWritten),
                         [](const auto &row) { return std::string(row.param.extension); });

TEST(Render, ExtensionFormatOptionAndByteOrderDecideTheBytes)
{
    constexpr uint32_t kFrames = 1000;
    const std::string source = hosttest::aiffFile("order-source.aiff", 2, kFrames),
                      file = ovtest::tempPath("order");
    const std::vector<uint8_t> big = ovtest::testPcm(kFrames, 2);
    std::vector<uint8_t> little = big;
    for (size_t i = 0; i + 1 < little.size(); i += 2)
        std::swap(little[i], little[i + 1]);
    std::map<std::string, std::vector<uint8_t>> files;
    for (const std::string extension : {"wav", "aiff", "flac"}) {
        ASSERT_EQ(hosttest::orvane({"render", source, "-o", file + "." + extension}).status, 0);
        files[extension] = ovtest::readFile(file + "." + extension);
    }
    const std::vector<uint8_t> &wav = files["wav"];
    const std::vector<uint8_t> module = decodeDirectly(hosttest::demoSong(), 20000);
    /* Options (standard output when no -o is among them), and the bytes. */
    using Case = std::pair<std::vector<std::string>, std::vector<uint8_t>>;
    for (const auto &[options, expected] : {
             Case{{"-o", file + ".pcm"}, big},
             Case{{"-o", file + ".RAW", "--endian", "little"}, little},
             Case{{"-o", file + ".aiff", "--raw"}, big},
             Case{{"-o", file + ".wav", "--format", "raw", "--endian", "little"}, little},
             Case{{"-o", file + ".aiff", "--format", "wav"}, wav},
             Case{{}, big},
             Case{{"--format", "wav"}, wav},
             /* The length known: AIFF and WAV stream, their header sent first; FLAC is
              * held to the end. */
             Case{{"--format", "wav", "--frames", "1000"}, wav},
             Case{{"--format", "aiff", "--frames", "1000"}, files["aiff"]},
             Case{{"--format", "flac", "--frames", "1000"}, files["flac"]},
             /* 20000 frames of a module, a whole block and part of the next: --raw
              * as the plug-in delivers them, else with the left side first. */
             Case{{hosttest::demoSong(), "--frames", "20000", "--raw"}, module},
             Case{{hosttest::demoSong(), "--frames", "20000"}, leftFirst(module)},
         }) {
        std::vector<std::string> args{"render"};
        if (expected.size() != 80000)
            args.push_back(source);
        args.insert(args.end(), options.begin(), options.end());
        const bool toStandardOutput = options.empty() || options[0] != "-o";
        if (toStandardOutput)
            args.insert(args.end(), {"-o", "-"});
        SCOPED_TRACE(testing::PrintToString(args));
        auto run = hosttest::orvane(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(toStandardOutput ? std::vector<uint8_t>(run.out.begin(), run.out.end())
                                   : ovtest::readFile(options[1]),
                  expected);
    }
}

TEST(Render, AStreamedFileEndingSoonerThanItsHeaderSaysIsFilledOutWithSilence)
{
    const std::string source = hosttest::aiffFile("ends-early.aiff", 2, 1000);
    for (const char *format : {"aiff", "wav"}) {
        SCOPED_TRACE(format);
        auto run =
            hosttest::orvane({"render", source, "--frames", "1500", "--format", format, "-o", "-"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "orvane: '" + source +
                               "' ended at 0:00; the rest of the length its "
                               "header promised is silence\n");
        std::string copy = ovtest::tempPath(std::string("ends-early-copy.") + format);
        ovtest::writeFile(copy, std::vector<uint8_t>(run.out.begin(), run.out.end()));
        std::vector<int16_t> expected = bigEndianSamples(ovtest::testPcm(1000, 2));
        expected.resize(3000, 0);
        EXPECT_EQ(readWithSndfile(copy), expected);
    }
}

TEST(Render, AFailedOrInterruptedRenderLeavesWhatWasThere)
{
    /* A failed or interrupted render keeps an earlier file as it was and
     * leaves no part behind, and the process ends by the signal. The
     * pictures' folder is made once Ctrl-C is watched for and the
     * temporary file is there; standard output, once bytes arrive. */
    const std::string folder = hosttest::freshFolder("kept"), kept = folder + "/kept.aiff",
                      sent = ovtest::tempPath("sent.pcm");
    const std::vector<uint8_t> keep{'k', 'e', 'e', 'p'};
    ovtest::writeFile(kept, keep);
    EXPECT_EQ(hosttest::orvane({"render", "--loop", "-o", kept}).status, 1);
    const std::vector<std::pair<int, std::string>> stops{{SIGINT, kept},  {SIGTERM, kept},
                                                         {SIGHUP, kept},  {SIGQUIT, kept},
                                                         {SIGXFSZ, kept}, {SIGINT, "-"}};
    for (const auto &stop : stops) {
        SCOPED_TRACE(std::to_string(stop.first) + " " + stop.second);
        std::filesystem::remove(sent);
        auto run = ovtest::runCommand(
            "ulimit -c 0; ORVANE_CHECK_LEAKS=1 env --default-signal=QUIT " +
            ovtest::shellQuote(OV_ORVANE) + " render --seconds 300 --frames-dir " +
            ovtest::shellQuote(folder + "/pictures") + " -o " + ovtest::shellQuote(stop.second) +
            " >" + ovtest::shellQuote(sent) + " & pid=$!; until [ " +
            (stop.second == "-" ? "-s " + ovtest::shellQuote(sent)
                                : "-d " + ovtest::shellQuote(folder + "/pictures")) +
            " ]; do sleep 0.05; done; sleep 0.3; kill -" + std::to_string(stop.first) +
            " $pid; wait $pid");
        EXPECT_EQ(run.status, 128 + stop.first);
        if (stop.first != SIGINT)
            EXPECT_THAT(run.err, testing::Not(HasSubstr("orvane")));
        else if (stop.second == kept)
            EXPECT_EQ(run.err, "orvane: interrupted; '" + kept + "' was not written\n");
        else
            EXPECT_EQ(run.err, "orvane: interrupted after " +
                                   std::to_string(std::filesystem::file_size(sent)) +
                                   " bytes were sent to standard output; what was sent is "
                                   "incomplete\n");
        EXPECT_EQ(ovtest::readFile(kept), keep);
        EXPECT_EQ(hosttest::folderEntries(folder),
                  (std::vector<std::string>{"kept.aiff", "pictures"}));
    }
}

TEST(Render, AnOrdinaryUserReplacesNoFileTheyCouldNotWrite)
{
    const std::string asUser = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    if (::geteuid() != 0 || ovtest::runCommand(asUser + "true").status != 0)
        GTEST_SKIP() << "needs root and setpriv to run orvane as user 65534";
    /* The folder is theirs, the file write-protected: refused, as by cp. */
    const std::string folder = hosttest::freshFolder("protected"), locked = folder + "/locked.aiff";
    ovtest::writeFile(locked, {'k', 'e', 'e', 'p'});
    ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
    ASSERT_EQ(::chown(folder.c_str(), 65534, 65534) | ::chown(locked.c_str(), 65534, 65534), 0);
    auto run = ovtest::runCommand(asUser + ovtest::shellQuote(OV_ORVANE) +
                                  " render --frames 10 -o " + ovtest::shellQuote(locked));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orvane: cannot replace '" + locked + "': Permission denied\n");
    EXPECT_EQ(ovtest::readFile(locked), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
}

/* The AIFF plug-in's encoder with a size limit of one second of stereo
 * sound in place of its 2 GB: it refuses a call as the real one does at
 * its limit, taking nothing. */
struct OVPlugIFace *gRealEncoder = nullptr;
uint64_t gSoundBytes = 0;
constexpr uint64_t kStandInLimit = 44100 * 4;

int32 limitedEncode(struct OVPlugIFace *, struct EncoderStream *encoder, CONST_APTR samples,
                    uint32 frames)
{
    if (gSoundBytes + uint64_t{frames} * 4 > kStandInLimit)
        return -1;
    gSoundBytes += uint64_t{frames} * 4;
    return gRealEncoder->EncodeFrameEncoder(gRealEncoder, encoder, samples, frames);
}

TEST(Render, TheEncodersSizeLimitKeepsTheFileUpToThere)
{
    std::string whyNot;
    auto aiff = orvane::LoadedPlugin::open(ovtest::binDir() + "/OV_AIFF.ovplug", whyNot);
    ASSERT_NE(aiff, nullptr) << whyNot;
    gRealEncoder = aiff->iface();
    gSoundBytes = 0;
    struct OVPlugIFace standIn = *aiff->iface();
    standIn.EncodeFrameEncoder = limitedEncode;
    orvane::RenderOptions options;
    options.output = ovtest::tempPath("cut-short.aiff");
    options.length.seconds = 5;
    testing::internal::CaptureStderr();
    int status =
        orvane::runRender({ovtest::binDir(), ovtest::binDir()}, options, {&standIn, "stand-in"});
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 2);
    /* Whole calls of 8192 frames fit below the limit. */
    const uint32_t kept = kStandInLimit / 4 / 8192 * 8192;
    EXPECT_THAT(err, HasSubstr("stopped at 0:00 (" + std::to_string(kept) + " frames)"));
    EXPECT_THAT(err, HasSubstr("'" + options.output + "' is complete up to there"));
    /* The sizes the fix-ups complete. */
    std::vector<uint8_t> file = ovtest::readFile(options.output);
    ASSERT_EQ(file.size(), kAiffHeader + kept * 4);
    EXPECT_EQ(ov_load_be32(&file.at(4)), file.size() - 8) << "FORM size";
    EXPECT_EQ(ov_load_be32(&file.at(22)), kept) << "sample frames";
    EXPECT_EQ(ov_load_be32(&file.at(42)), 8 + kept * 4) << "SSND size";
    std::vector<uint8_t> direct = leftFirst(decodeDirectly(hosttest::demoSong(), kept));
    EXPECT_TRUE(std::equal(direct.begin(), direct.end(), file.begin() + kAiffHeader));
}

TEST(Render, EachFileGoesIntoTheFolderAndAFailureDoesNotStopTheRest)
{
    const std::string first = hosttest::aiffFile("batch-a.aiff", 2, 3000),
                      second = hosttest::aiffFile("batch-b.aiff", 1, 2000);
    const std::string noise = ovtest::tempPath("batch-noise.aiff"),
                      folder = ovtest::tempPath("batch-out");
    ovtest::writeFile(noise, std::vector<uint8_t>(3000, 7));
    std::filesystem::remove_all(folder);
    auto run = hosttest::orvane(
        {"render", first, noise, second, "--output-dir", folder, "--format", "wav"});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("orvane: '" + noise + "': no plug-in recognises this file\n"));
    EXPECT_THAT(run.err, HasSubstr("orvane: 1 of 3 files failed\n"));
    ASSERT_EQ(hosttest::folderEntries(folder),
              (std::vector<std::string>{"batch-a.wav", "batch-b.wav"}));
    EXPECT_EQ(readWithSndfile(folder + "/batch-a.wav"), bigEndianSamples(ovtest::testPcm(3000, 2)));
    EXPECT_EQ(readWithSndfile(folder + "/batch-b.wav"), bigEndianSamples(ovtest::testPcm(2000, 1)));
}

TEST(Render, ANoteOnChannelZeroIsOnTheLeftAndRawLeavesThePluginsOrder)
{
    const std::string song = ovtest::tempPath("channel-0.mod"), heardFile = song + ".wav",
                      rawFile = song + ".pcm";
    ovtest::writeFile(song, ovtools::ModuleWriter()
                                .sample(1, std::vector<int8_t>{100, 100, -100, -100}, 64, 0, 0, 4)
                                .cell(0, 0, 0, 428, 1)
                                .bytes());
    ASSERT_EQ(hosttest::orvane({"render", song, "--seconds", "0.2", "-o", heardFile}).status, 0);
    ASSERT_EQ(hosttest::orvane({"render", song, "--seconds", "0.2", "--raw", "-o", rawFile}).status,
              0);
    const std::vector<int16_t> heard = readWithSndfile(heardFile),
                               raw = bigEndianSamples(ovtest::readFile(rawFile));
    ASSERT_EQ(heard.size(), 2u * 8820);
    ASSERT_EQ(raw.size(), heard.size());
    /* The plug-in's first value is the right side. */
    for (size_t i = 0; i < heard.size(); i += 2) {
        ASSERT_EQ(heard[i + 1], 0) << i;
        ASSERT_EQ(raw[i], 0) << i;
        ASSERT_EQ(raw[i + 1], heard[i]) << i;
    }
    EXPECT_NE(std::count(heard.begin(), heard.end(), 0), 8820 * 2);
}

TEST(Render, TheVisualiserDrawsAFrameForEverySignalAndSavesEveryNth)
{
    const std::string folder = hosttest::freshFolder("pictures"),
                      out = ovtest::tempPath("visualised.aiff");
    auto run = hosttest::orvane({"render", "--seconds", "2", "--visualise", "--frames-dir", folder,
                                 "--frames-every", "2", "-o", out});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(std::filesystem::file_size(out), kAiffHeader + 2 * 44100 * 4);
    /* 50 frames a second of audio, every second one kept, named in order,
     * each one new. */
    std::vector<std::string> names = hosttest::folderEntries(folder);
    ASSERT_EQ(names.size(), 50u);
    EXPECT_EQ(names.front(), "frame-0000002.png");
    EXPECT_EQ(names.back(), "frame-0000100.png");
    std::vector<uint8_t> previous;
    for (const std::string &name : names) {
        std::vector<uint8_t> picture = ovtest::readFile(folder + "/" + name);
        ASSERT_GE(picture.size(), 24u);
        EXPECT_EQ(ov_load_be32(&picture[16]) * 1000 + ov_load_be32(&picture[20]), 512132u);
        EXPECT_NE(picture, previous) << name;
        previous = std::move(picture);
    }
}

} // namespace
