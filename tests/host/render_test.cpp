/* orvane render: real modules and AIFF files into AIFF files with their
 * fix-ups applied, raw PCM exactly as the plug-in delivers it, output that
 * is never left half-written, and the headless visualiser's pictures. */
#include "audio_writer.h"
#include "commands.h"
#include "host_error.h"
#include "orvane_run.h"
#include "output_format.h"
#include "plugins.h"
#include "support/plugin_host.h"
#include "support/aiff_file.h"
#include "platform/byteorder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

using hosttest::bigEndianSamples;
using testing::HasSubstr;
using testing::Not;

namespace {

constexpr size_t kAiffHeader = 54;

/* Checks the header of an AIFF file written by the host: format fields and
 * the three sizes the fix-ups complete. */
void expectCompleteAiff(const std::vector<uint8_t> &file, uint32_t channels, uint32_t frames)
{
    ASSERT_EQ(file.size(), kAiffHeader + size_t{frames} * channels * 2);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "FORM");
    EXPECT_EQ(ov_load_be32(&file.at(4)), file.size() - 8) << "FORM size";
    EXPECT_EQ(file[20] * 256 + file[21], channels);
    EXPECT_EQ(ov_load_be32(&file.at(22)), frames) << "sample frames";
    EXPECT_EQ(ov_load_be32(&file.at(42)), 8 + frames * channels * 2) << "SSND size";
}

/* What the plug-in itself delivers for the first `frames` frames of a file,
 * driven here the way the host drives it. */
std::vector<uint8_t> decodeDirectly(const std::string &pluginFile, const std::string &songFile,
                                    size_t frames)
{
    ovtest::Plugin plugin(pluginFile);
    EXPECT_TRUE(plugin.ok());
    EXPECT_NE(plugin->AnnouncePlayer(plugin.iface(), 10400), nullptr);
    std::vector<uint8_t> image = ovtest::readFile(songFile);
    auto stream = ovtest::newStream();
    stream->LoadMode =
        plugin->TestPlayer(plugin.iface(), nullptr, image.data(),
                           static_cast<uint32>(std::min<size_t>(image.size(), 4096)));
    if (stream->LoadMode == LOADMODE_IN_MEMORY) {
        stream->FileData = image.data();
        stream->FileSize = static_cast<int32>(image.size());
    }
    std::vector<uint8_t> pcm;
    if (plugin->InitPlayer(plugin.iface(), stream.get()) == 1 &&
        plugin->OpenPlayer(plugin.iface(), songFile.c_str(), stream.get()) == 1) {
        size_t frameBytes = stream->Channels * 2;
        while (pcm.size() < frames * frameBytes) {
            int32 got = plugin->DecodeFramePlayer(plugin.iface(), stream.get(), stream.get());
            if (got <= 0)
                break;
            auto *out = static_cast<const uint8_t *>(stream->OutputBuffer);
            pcm.insert(pcm.end(), out, out + got * frameBytes);
        }
        pcm.resize(std::min(pcm.size(), frames * frameBytes));
    }
    plugin->ClosePlayer(plugin.iface(), stream.get());
    return pcm;
}

bool silent(const std::vector<uint8_t> &bytes, size_t from)
{
    return std::all_of(bytes.begin() + static_cast<ptrdiff_t>(from), bytes.end(),
                       [](uint8_t b) { return b == 0; });
}

/* An AIFF file of `frames` test frames at 44100 Hz; returns its path. */
std::string writeSource(const std::string &name, uint32_t frames, uint16_t channels = 2)
{
    std::string path = ovtest::tempPath(name);
    ovtest::writeFile(path, ovtest::AiffFile()
                                .comm(channels, frames, 16, 44100)
                                .ssnd(ovtest::testPcm(frames, channels))
                                .bytes());
    return path;
}

/* A file as libsndfile reads it: its format and its samples. */
struct ReadBack {
    SF_INFO info{};
    std::vector<int16_t> samples;
};

ReadBack readWithSndfile(const std::string &file)
{
    ReadBack back;
    SNDFILE *in = sf_open(file.c_str(), SFM_READ, &back.info);
    if (in == nullptr) {
        ADD_FAILURE() << "libsndfile cannot read " << file << ": " << sf_strerror(nullptr);
        return back;
    }
    back.samples.resize(static_cast<size_t>(back.info.frames * back.info.channels));
    back.samples.resize(
        static_cast<size_t>(sf_readf_short(in, back.samples.data(), back.info.frames) *
                            back.info.channels));
    sf_close(in);
    return back;
}

TEST(RenderModules, EveryRealModuleBecomesACompleteAiffFile)
{
    OV_REQUIRE_MODS();
    int rendered = 0;
    for (const auto &entry : std::filesystem::directory_iterator(ovtest::modsDir())) {
        std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".mod" ||
            name.find("not-a-protracker") != std::string::npos)
            continue;
        SCOPED_TRACE(name);
        std::string out = ovtest::tempPath(name + ".aiff");
        auto run =
            hosttest::orvane({"render", entry.path().string(), "--seconds", "1.5", "-o", out});
        ASSERT_EQ(run.status, 0) << run.err;
        std::vector<uint8_t> file = ovtest::readFile(out);
        expectCompleteAiff(file, 2, 66150);
        /* The samples are the plug-in's own, unconverted. */
        std::vector<uint8_t> direct = decodeDirectly("OV_PT.ovplug", entry.path().string(), 66150);
        EXPECT_TRUE(std::equal(direct.begin(), direct.end(), file.begin() + kAiffHeader));
        EXPECT_FALSE(silent(file, kAiffHeader));
        rendered++;
    }
    EXPECT_EQ(rendered, 7);
}

TEST(RenderRaw, BytesAreExactlyWhatThePluginDelivers)
{
    /* 20000 frames: a whole block and part of the next. */
    std::string out = ovtest::tempPath("demo.pcm");
    auto run = hosttest::orvane({"render", "--frames", "20000", "--raw", "-o", out});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<uint8_t> raw = ovtest::readFile(out);
    EXPECT_EQ(raw.size(), 20000u * 4);
    EXPECT_EQ(raw, decodeDirectly("OV_PT.ovplug", hosttest::demoSong(), 20000));

    std::string aiff = ovtest::tempPath("raw-source.aiff");
    ovtest::writeFile(
        aiff, ovtest::AiffFile().comm(1, 10000, 16, 8000).ssnd(ovtest::testPcm(10000, 1)).bytes());
    run = hosttest::orvane({"render", aiff, "--raw", "-o", out});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ovtest::readFile(out), ovtest::testPcm(10000, 1));
}

TEST(RenderAiff, RoundTripKeepsEverySample)
{
    struct Case {
        uint16_t channels;
        uint32_t frames;
        double rate;
    };
    for (Case c : {Case{2, 30000, 44100}, Case{1, 12345, 22050}, Case{2, 100, 8000}}) {
        SCOPED_TRACE(std::to_string(c.channels) + " channels at " + std::to_string(c.rate));
        std::vector<uint8_t> pcm = ovtest::testPcm(c.frames, c.channels);
        std::string source = ovtest::tempPath("source.aiff");
        /* Extra chunks around the sound data do not reach the copy. */
        ovtest::writeFile(source, ovtest::AiffFile()
                                      .chunk("NAME", "odd")
                                      .comm(c.channels, c.frames, 16, c.rate)
                                      .chunk("ANNO", "a note")
                                      .ssnd(pcm)
                                      .bytes());
        std::string copy = ovtest::tempPath("copy.aiff");
        auto run = hosttest::orvane({"render", source, "-o", copy});
        ASSERT_EQ(run.status, 0) << run.err;
        std::vector<uint8_t> file = ovtest::readFile(copy);
        expectCompleteAiff(file, c.channels, c.frames);
        EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), file.begin() + kAiffHeader));

        /* And again from the copy: the same file. */
        std::string second = ovtest::tempPath("second.aiff");
        ASSERT_EQ(hosttest::orvane({"render", copy, "-o", second}).status, 0);
        EXPECT_EQ(ovtest::readFile(second), file);
    }
}

TEST(RenderAiff, AFileOfUnknownLengthRendersToItsEnd)
{
    /* A header that says 0 frames (a writer that could not seek back), and
     * a file shorter than a millisecond: the plug-in reports no duration,
     * yet the file ends, so no bound is needed and nothing is "endless". */
    struct Case {
        uint32_t declaredFrames;
        uint32_t frames;
    };
    for (Case c : {Case{0, 1000}, Case{40, 40}}) {
        SCOPED_TRACE(std::to_string(c.declaredFrames) + " frames declared");
        std::string source = ovtest::tempPath("unknown-length.aiff");
        ovtest::writeFile(source, ovtest::AiffFile().comm(2, c.declaredFrames, 16, 44100)
                                      .ssnd(ovtest::testPcm(c.frames, 2)).bytes());
        auto info = hosttest::orvane({"info", source});
        ASSERT_EQ(info.status, 0) << info.err;
        EXPECT_THAT(info.out, HasSubstr("duration: unknown\n"));
        std::string out = ovtest::tempPath("unknown-length-copy.aiff");
        auto run = hosttest::orvane({"render", source, "-o", out});
        ASSERT_EQ(run.status, 0) << run.err;
        std::vector<uint8_t> file = ovtest::readFile(out);
        expectCompleteAiff(file, 2, c.frames);
        std::vector<uint8_t> pcm = ovtest::testPcm(c.frames, 2);
        EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), file.begin() + kAiffHeader));
    }
}

TEST(RenderAiff, BoundsCutAnAiffFileShort)
{
    std::string source = ovtest::tempPath("long.aiff");
    ovtest::writeFile(
        source,
        ovtest::AiffFile().comm(2, 44100, 16, 44100).ssnd(ovtest::testPcm(44100, 2)).bytes());
    std::string out = ovtest::tempPath("short.aiff");
    ASSERT_EQ(hosttest::orvane({"render", source, "--frames", "1000", "-o", out}).status, 0);
    expectCompleteAiff(ovtest::readFile(out), 2, 1000);
    ASSERT_EQ(hosttest::orvane({"render", source, "--seconds", "0.5", "-o", out}).status, 0);
    expectCompleteAiff(ovtest::readFile(out), 2, 22050);
}

TEST(RenderAiff, RatesAbove16BitsKeepTheirRate)
{
    /* A 96000 Hz file converts to a 96000 Hz file: the rate is stored as
     * the full extended value, not cut to 16 bits. */
    std::string source = ovtest::tempPath("96k.aiff");
    ovtest::writeFile(
        source, ovtest::AiffFile().comm(2, 4800, 16, 96000).ssnd(ovtest::testPcm(4800, 2)).bytes());
    std::string out = ovtest::tempPath("96k-copy.aiff");
    ASSERT_EQ(hosttest::orvane({"render", source, "-o", out}).status, 0);
    std::vector<uint8_t> written = ovtest::readFile(out);
    expectCompleteAiff(written, 2, 4800);
    const auto rate = ovtest::extendedRate(96000);
    ASSERT_GE(written.size(), 38u);
    EXPECT_TRUE(std::equal(rate.begin(), rate.end(), written.begin() + 28));
    ASSERT_EQ(hosttest::orvane({"render", source, "--raw", "-o", out}).status, 0);
    EXPECT_EQ(ovtest::readFile(out), ovtest::testPcm(4800, 2));
}

TEST(RenderAiff, SoxReadsTheRightLength)
{
    if (!hosttest::soxAvailable())
        GTEST_SKIP() << "sox is not installed";
    std::string out = ovtest::tempPath("for-sox.aiff");
    ASSERT_EQ(hosttest::orvane({"render", "--seconds", "2", "-o", out}).status, 0);
    EXPECT_EQ(hosttest::soxi("s", out), "88200");
    EXPECT_EQ(hosttest::soxi("r", out), "44100");
    EXPECT_EQ(hosttest::soxi("c", out), "2");
    EXPECT_EQ(hosttest::soxi("b", out), "16");
}

TEST(RenderOutput, StandardOutputGetsRawPcmOrTheWholeFinishedFile)
{
    /* With the length known, AIFF and WAV stream with their header sent
     * first; FLAC is held to the end. Either way the bytes are the file's. */
    for (const char *format : {"raw", "aiff", "wav", "flac"}) {
        SCOPED_TRACE(format);
        std::string file = ovtest::tempPath(std::string("stdout-copy.") +
                                            (format == std::string("raw") ? "pcm" : format));
        ASSERT_EQ(hosttest::orvane({"render", "--frames", "5000", "-o", file}).status, 0);
        std::vector<std::string> args{"render", "--frames", "5000", "-o", "-"};
        if (format != std::string("raw"))
            args.insert(args.end(), {"--format", format});
        auto run = hosttest::orvane(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(std::vector<uint8_t>(run.out.begin(), run.out.end()), ovtest::readFile(file));
    }
}

TEST(RenderOutput, AStreamedFileEndingSoonerThanItsHeaderIsFilledWithSilence)
{
    std::string source = writeSource("ends-early.aiff", 1000);
    for (const char *format : {"aiff", "wav"}) {
        SCOPED_TRACE(format);
        auto run = hosttest::orvane({"render", source, "--frames", "1500", "--format", format, "-o", "-"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_THAT(run.err, HasSubstr("ended at 0:00; the rest of the length its header "
                                       "promised is silence"));
        std::string copy = ovtest::tempPath(std::string("ends-early-copy.") + format);
        ovtest::writeFile(copy, std::vector<uint8_t>(run.out.begin(), run.out.end()));
        std::vector<int16_t> expected = bigEndianSamples(ovtest::testPcm(1000, 2));
        expected.resize(3000, 0);
        EXPECT_EQ(readWithSndfile(copy).samples, expected);
    }
}

TEST(RenderOutput, APipeOrDeviceIsWrittenInPlace)
{
    /* Like -o /dev/null: the named thing is written to, never replaced by
     * a finished file renamed over it. */
    std::string pipe = ovtest::tempPath("render.fifo");
    std::filesystem::remove(pipe);
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    /* Held open for writing so the reader's open returns at once and its
     * end of file comes only when this is closed, replaced pipe or not. */
    int keepOpen = ::open(pipe.c_str(), O_RDWR);
    ASSERT_GE(keepOpen, 0);
    std::vector<uint8_t> received;
    std::thread reader([&] {
        std::ifstream in(pipe, std::ios::binary);
        received.assign(std::istreambuf_iterator<char>(in), {});
    });
    auto run = hosttest::orvane({"render", "--frames", "1000", "--format", "aiff", "-o", pipe});
    ::close(keepOpen);
    reader.join();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::filesystem::is_fifo(pipe)) << "the pipe was replaced";
    expectCompleteAiff(received, 2, 1000);
    std::filesystem::remove(pipe);
}

TEST(RenderOutput, UnwritableOutputLeavesNothingBehind)
{
    auto run = hosttest::orvane({"render", "--seconds", "1", "-o", "/nonexistent-folder/out.aiff"});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("cannot create '/nonexistent-folder/out.aiff'"));

    std::string folder = hosttest::freshFolder("out-folder");
    run = hosttest::orvane({"render", "--seconds", "1", "-o", folder});
    EXPECT_NE(run.status, 0);
    EXPECT_THAT(run.err, HasSubstr("cannot create"));

    /* A failed render keeps an earlier file as it was and leaves no part. */
    std::string kept = folder + "/kept.aiff";
    ovtest::writeFile(kept, {'k', 'e', 'e', 'p'});
    std::string noise = folder + "/noise.bin";
    ovtest::writeFile(noise, std::vector<uint8_t>(3000, 7));
    EXPECT_NE(hosttest::orvane({"render", noise, "--seconds", "1", "-o", kept}).status, 0);
    EXPECT_NE(hosttest::orvane({"render", hosttest::demoSong(), "--loop", "-o", kept}).status, 0);
    EXPECT_EQ(ovtest::readFile(kept), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(hosttest::folderEntries(folder),
              (std::vector<std::string>{"kept.aiff", "noise.bin"}));
}

TEST(RenderOutput, InterruptedRenderLeavesNothingBehind)
{
    /* Pacing the visualiser keeps the render busy long enough to be
     * interrupted half-way. */
    std::string folder = hosttest::freshFolder("interrupted");
    std::string out = folder + "/song.aiff";
    std::string command = "ORVANE_CHECK_LEAKS=1 '" + std::string(OV_ORVANE) +
                          "' render --seconds 300 --frames-dir '" + folder + "/pictures' -o '" +
                          out + "' 2>/dev/null & pid=$!; sleep 1; kill -INT $pid; wait $pid";
    int raw = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    EXPECT_EQ(hosttest::folderEntries(folder), (std::vector<std::string>{"pictures"}));
}

TEST(RenderOutput, NoEncoderMeansOnlyRawOutput)
{
    std::string only = hosttest::freshFolder("pt-only");
    std::filesystem::copy_file(ovtest::binDir() + "/OV_PT.ovplug", only + "/OV_PT.ovplug");
    std::string out = ovtest::tempPath("no-encoder.aiff");
    auto run = hosttest::orvane({"render", "--plugin-dir", only, "--seconds", "1", "-o", out});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("writes AIFF files"));
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(
        hosttest::orvane({"render", "--plugin-dir", only, "--seconds", "1", "--raw", "-o", out})
            .status,
        0);
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

TEST(RenderOutput, TheEncodersSizeLimitKeepsTheFileUpToThere)
{
    std::string whyNot;
    auto aiff = orvane::LoadedPlugin::open(ovtest::binDir() + "/OV_AIFF.ovplug", whyNot);
    ASSERT_NE(aiff, nullptr) << whyNot;
    gRealEncoder = aiff->iface();
    gSoundBytes = 0;
    struct OVPlugIFace standIn = *aiff->iface();
    standIn.EncodeFrameEncoder = limitedEncode;

    orvane::Places places{ovtest::binDir(), ovtest::binDir()};
    orvane::RenderOptions options;
    options.files = {hosttest::demoSong()};
    options.output = ovtest::tempPath("cut-short.aiff");
    options.length.seconds = 5;
    testing::internal::CaptureStderr();
    int status = orvane::runRender(places, options, {&standIn, "stand-in"});
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 2);
    /* Whole calls of 8192 frames fit below the limit. */
    const uint32_t kept = kStandInLimit / 4 / 8192 * 8192;
    EXPECT_THAT(err, HasSubstr("stopped at 0:00 (" + std::to_string(kept) + " frames)"));
    EXPECT_THAT(err, HasSubstr("'" + options.output + "' is complete up to there"));
    std::vector<uint8_t> file = ovtest::readFile(options.output);
    expectCompleteAiff(file, 2, kept);
    std::vector<uint8_t> direct = decodeDirectly("OV_PT.ovplug", hosttest::demoSong(), kept);
    EXPECT_TRUE(std::equal(direct.begin(), direct.end(), file.begin() + kAiffHeader));
}

/* ---- output formats, several files, stereo and gain ---- */

TEST(RenderFormats, EveryFormatReadsBackThroughLibsndfileAndSox)
{
    /* Lossless formats keep every sample; lossy ones keep rate, channels
     * and (within an encoder's padding) the length. */
    struct Case {
        const char *extension;
        int major; /* SF_FORMAT_* */
        bool lossless;
    };
    constexpr uint32_t kFrames = 30000;
    std::string source = writeSource("formats-source.aiff", kFrames);
    std::vector<int16_t> pcm = bigEndianSamples(ovtest::testPcm(kFrames, 2));
    for (Case c : {Case{"wav", SF_FORMAT_WAV, true}, Case{"flac", SF_FORMAT_FLAC, true},
                   Case{"caf", SF_FORMAT_CAF, true}, Case{"au", SF_FORMAT_AU, true},
                   Case{"w64", SF_FORMAT_W64, true}, Case{"aif", SF_FORMAT_AIFF, true},
                   Case{"ogg", SF_FORMAT_OGG, false}, Case{"mp3", SF_FORMAT_MPEG, false}}) {
        SCOPED_TRACE(c.extension);
        std::string out = ovtest::tempPath(std::string("formats-out.") + c.extension);
        auto run = hosttest::orvane({"render", source, "-o", out});
        ASSERT_EQ(run.status, 0) << run.err;
        ReadBack back = readWithSndfile(out);
        EXPECT_EQ(back.info.format & SF_FORMAT_TYPEMASK, c.major);
        EXPECT_EQ(back.info.samplerate, 44100);
        EXPECT_EQ(back.info.channels, 2);
        if (c.lossless) {
            EXPECT_EQ(back.samples, pcm);
        } else {
            EXPECT_GE(back.info.frames, kFrames);
            EXPECT_LE(back.info.frames, kFrames + 2 * 1152);
        }
        if (!hosttest::soxAvailable())
            continue;
        EXPECT_EQ(hosttest::soxi("r", out), "44100");
        EXPECT_EQ(hosttest::soxi("c", out), "2");
        if (c.lossless) {
            EXPECT_EQ(hosttest::soxi("s", out), std::to_string(kFrames));
        }
    }
}

TEST(RenderFormats, ExtensionFormatOptionAndByteOrderDecideTheBytes)
{
    constexpr uint32_t kFrames = 1000;
    std::string source = writeSource("order-source.aiff", kFrames);
    const std::vector<uint8_t> big = ovtest::testPcm(kFrames, 2);
    std::vector<uint8_t> little = big;
    for (size_t i = 0; i + 1 < little.size(); i += 2)
        std::swap(little[i], little[i + 1]);
    std::string wavFile = ovtest::tempPath("order.wav");
    ASSERT_EQ(hosttest::orvane({"render", source, "-o", wavFile}).status, 0);
    const std::vector<uint8_t> wav = ovtest::readFile(wavFile);
    ASSERT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");

    struct Case {
        std::vector<std::string> options; /* "-o -" when no -o is among them */
        const std::vector<uint8_t> &expected;
    };
    std::string file = ovtest::tempPath("order-out");
    for (const Case &c : {
             Case{{"-o", file + ".pcm"}, big},
             Case{{"-o", file + ".RAW", "--endian", "little"}, little},
             Case{{"-o", file + ".raw", "--endian", "big"}, big},
             Case{{"-o", file + ".aiff", "--raw"}, big},
             Case{{"-o", file + ".wav", "--format", "raw", "--endian", "little"}, little},
             Case{{"-o", file + ".aiff", "--format", "wav"}, wav},
             Case{{}, big},
             Case{{"--endian", "little"}, little},
             Case{{"--format", "wav"}, wav},
         }) {
        std::vector<std::string> args{"render", source};
        args.insert(args.end(), c.options.begin(), c.options.end());
        bool toStandardOutput = c.options.empty() || c.options[0] != "-o";
        if (toStandardOutput)
            args.insert(args.end(), {"-o", "-"});
        SCOPED_TRACE(testing::PrintToString(args));
        auto run = hosttest::orvane(args);
        ASSERT_EQ(run.status, 0) << run.err;
        std::vector<uint8_t> written = toStandardOutput
                                           ? std::vector<uint8_t>(run.out.begin(), run.out.end())
                                           : ovtest::readFile(c.options[1]);
        EXPECT_EQ(written, c.expected);
    }
}

TEST(RenderFormats, UnknownFormatsAndMisplacedOptionsAreRefusedBeforeWriting)
{
    std::string source = writeSource("refused-source.aiff", 100);
    const std::string list = "aiff (.aiff .aif), wav, flac, ogg (.ogg .oga), mp3, caf, "
                             "au (.au .snd), w64, raw (.pcm .raw)";
    struct Case {
        std::string output;
        std::vector<std::string> options;
        std::string message;
    };
    for (const Case &c : {
             Case{"song.xyz", {}, "cannot tell the format of '{out}' from its extension '.xyz'; "
                                  "the formats are " + list + " (or choose one with --format)"},
             Case{"song", {}, "cannot tell the format of '{out}' from its extension; the formats"},
             Case{"song.wav", {"--format", "xyz"}, "unknown format 'xyz'; the formats are " + list},
             Case{"song.wav", {"--endian", "little"}, "--endian applies to raw PCM only"},
         }) {
        std::string out = ovtest::tempPath(c.output);
        std::string message = c.message;
        if (size_t at = message.find("{out}"); at != std::string::npos)
            message.replace(at, 5, out);
        std::vector<std::string> args{"render", source, "-o", out};
        args.insert(args.end(), c.options.begin(), c.options.end());
        SCOPED_TRACE(testing::PrintToString(args));
        auto run = hosttest::orvane(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_THAT(run.err, HasSubstr("orvane: " + message));
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

TEST(RenderFormats, TheEncoderIsChosenByFormatNotByFileOrder)
{
    /* A copy of the AIFF plug-in whose descriptor says its encoder writes
     * WAV, in a file that comes first among the plug-ins. */
    std::vector<uint8_t> library = ovtest::readFile(ovtest::binDir() + "/OV_AIFF.ovplug");
    const std::string quality = "Match Decode Quality", aiffText("aiff\0\0\0\0", 8);
    auto qualityAt = std::search(library.begin(), library.end(), quality.begin(), quality.end());
    ASSERT_NE(qualityAt, library.end());
    auto searchEnd = qualityAt + std::min<ptrdiff_t>(256, library.end() - qualityAt);
    auto formatAt = std::search(qualityAt, searchEnd, aiffText.begin(), aiffText.end());
    ASSERT_NE(formatAt, searchEnd) << "the encoder's format text follows its quality text";
    std::copy_n("wav", 4, formatAt);
    /* Under a library name of its own, so the system loads both. */
    const std::string name = "OV_AIFF.ovplug";
    for (auto at = library.begin();
         (at = std::search(at, library.end(), name.begin(), name.end())) != library.end();)
        at = std::copy_n("OV_AIFW", 7, at);
    std::string folder = hosttest::freshFolder("two-encoders");
    ovtest::writeFile(folder + "/0-wav.ovplug", library);
    std::filesystem::copy_file(ovtest::binDir() + "/OV_AIFF.ovplug", folder + "/OV_AIFF.ovplug");

    orvane::PluginSet plugins(folder);
    ASSERT_EQ(plugins.plugins().size(), 2u);
    ASSERT_NE(plugins.plugins()[0]->iface(), plugins.plugins()[1]->iface());
    EXPECT_EQ(orvane::encoderFor(plugins, *orvane::formatNamed("aiff")).iface,
              plugins.plugins()[1]->iface());
    EXPECT_EQ(orvane::encoderFor(plugins, *orvane::formatNamed("wav")).iface,
              plugins.plugins()[0]->iface());
    try {
        orvane::encoderFor(plugins, *orvane::formatNamed("caf"));
        ADD_FAILURE() << "no plug-in encodes CAF";
    } catch (const orvane::HostError &error) {
        EXPECT_THAT(error.what(), HasSubstr("writes CAF files"));
    }
}

TEST(RenderBatch, EachFileGoesIntoTheFolderAndAFailureDoesNotStopTheRest)
{
    std::string first = writeSource("batch-a.aiff", 3000);
    std::string noise = ovtest::tempPath("batch-noise.aiff");
    ovtest::writeFile(noise, std::vector<uint8_t>(3000, 7));
    std::string second = writeSource("batch-b.aiff", 2000, 1);
    std::string folder = ovtest::tempPath("batch-out");
    std::filesystem::remove_all(folder);
    auto run = hosttest::orvane(
        {"render", first, noise, second, "--output-dir", folder, "--format", "wav"});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("orvane: '" + noise + "': "));
    EXPECT_THAT(run.err, HasSubstr("orvane: 1 of 3 files failed\n"));
    ASSERT_EQ(hosttest::folderEntries(folder),
              (std::vector<std::string>{"batch-a.wav", "batch-b.wav"}));
    EXPECT_EQ(readWithSndfile(folder + "/batch-a.wav").samples,
              bigEndianSamples(ovtest::testPcm(3000, 2)));
    EXPECT_EQ(readWithSndfile(folder + "/batch-b.wav").samples,
              bigEndianSamples(ovtest::testPcm(2000, 1)));

    /* Without --format the files are AIFF, each as a single render makes it. */
    std::string aiffFolder = hosttest::freshFolder("batch-aiff");
    ASSERT_EQ(hosttest::orvane({"render", first, second, "--output-dir", aiffFolder}).status, 0);
    expectCompleteAiff(ovtest::readFile(aiffFolder + "/batch-a.aiff"), 2, 3000);
    expectCompleteAiff(ovtest::readFile(aiffFolder + "/batch-b.aiff"), 1, 2000);
}

TEST(RenderBatch, ClashingOutputNamesAreRefusedBeforeAnyWork)
{
    std::string one = hosttest::freshFolder("clash-1"), two = hosttest::freshFolder("clash-2");
    std::string a = one + "/song.aiff", b = two + "/song.aiff";
    for (const std::string &path : {a, b})
        ovtest::writeFile(path, ovtest::AiffFile().comm(2, 10, 16, 44100)
                                    .ssnd(ovtest::testPcm(10, 2)).bytes());
    std::string folder = ovtest::tempPath("clash-out");
    std::filesystem::remove_all(folder);
    auto run = hosttest::orvane({"render", a, b, "--output-dir", folder});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("orvane: '" + a + "' and '" + b + "' would both be written to '" +
                                   folder + "/song.aiff'; nothing was rendered\n"));
    EXPECT_FALSE(std::filesystem::exists(folder));

    run = hosttest::orvane({"render", a, b, "-o", ovtest::tempPath("both.aiff")});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("2 files were given: use --output-dir DIR"));
}

TEST(RenderShaping, StereoWidthAndGainWithClippedSamplesCounted)
{
    /* Frames picked for the arithmetic: opposite sides, a half to round
     * away from zero, full scale, and a wide pair. */
    const std::vector<int16_t> frames{1000, -1000, 1001, 0, 32767, 32767, -32768, 32767,
                                      20000, 10000};
    std::vector<uint8_t> bytes;
    for (int16_t sample : frames)
        ovtest::appendU16(bytes, static_cast<uint16_t>(sample));
    std::string source = ovtest::tempPath("shaping.aiff");
    ovtest::writeFile(source, ovtest::AiffFile().comm(2, 5, 16, 44100).ssnd(bytes).bytes());
    const std::string twice = "6.020599913279624"; /* 20 log10(2) dB */

    struct Case {
        std::string stereo;
        std::string gain;
        std::vector<int16_t> expected;
        uint64_t clipped;
    };
    for (const Case &c : {
             Case{"100", "0", frames, 0},
             Case{"0", "0", {0, 0, 501, 501, 32767, 32767, -1, -1, 15000, 15000}, 0},
             Case{"50", "0", {500, -500, 751, 250, 32767, 32767, -16384, 16383, 17500, 12500}, 0},
             Case{"100", twice,
                  {2000, -2000, 2002, 0, 32767, 32767, -32768, 32767, 32767, 20000}, 5},
             Case{"0", twice, {0, 0, 1001, 1001, 32767, 32767, -1, -1, 30000, 30000}, 2},
         }) {
        SCOPED_TRACE("--stereo " + c.stereo + " --gain " + c.gain);
        std::string out = ovtest::tempPath("shaped.pcm");
        auto run = hosttest::orvane(
            {"render", source, "--stereo", c.stereo, "--gain", c.gain, "-o", out});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(bigEndianSamples(ovtest::readFile(out)), c.expected);
        std::string report = std::to_string(c.clipped) + " of 10 samples clipped";
        if (c.clipped == 0) {
            EXPECT_THAT(run.err, Not(HasSubstr("clipped")));
        } else {
            EXPECT_THAT(run.err, HasSubstr("'" + out + "': " + report));
        }

        /* What is played is shaped alike. */
        auto play = hosttest::orvane({"play", source, "--stereo", c.stereo, "--gain", c.gain},
                                     "SDL_AUDIODRIVER=dummy");
        ASSERT_EQ(play.status, 0) << play.err;
        if (c.clipped != 0) {
            EXPECT_THAT(play.err, HasSubstr("'" + source + "': " + report));
        }
    }

    /* A mono file takes the gain; its width has nothing to change. */
    std::string mono = ovtest::tempPath("shaping-mono.aiff");
    ovtest::writeFile(mono, ovtest::AiffFile().comm(1, 10, 16, 44100).ssnd(bytes).bytes());
    std::string out = ovtest::tempPath("shaped-mono.pcm");
    ASSERT_EQ(
        hosttest::orvane({"render", mono, "--stereo", "0", "--gain", twice, "-o", out}).status, 0);
    EXPECT_EQ(bigEndianSamples(ovtest::readFile(out)),
              (std::vector<int16_t>{2000, -2000, 2002, 0, 32767, 32767, -32768, 32767, 32767,
                                    20000}));
}

/* ---- the visualiser, headless ---- */

bool isScopeDot(uint32_t pixel) { return pixel == 0xAAFFAA || pixel == 0xFFAAAA; }

/* A bar pixel: the palette's red 255 and blue below 127, on rows 4 to 130. */
bool isBarPixel(uint32_t pixel)
{
    return (pixel >> 16) == 0xFF && (pixel & 0xFF) < 127 && ((pixel >> 8) & 0xFF) < 0xFF;
}

TEST(RenderVisualiser, SavesNumberedPicturesOfScopeAndBars)
{
    std::string folder = hosttest::freshFolder("pictures");
    std::string out = ovtest::tempPath("visualised.aiff");
    /* 9 s into the demo drums, bass and chords play. */
    auto run = hosttest::orvane(
        {"render", "--seconds", "9", "--frames-dir", folder, "--frames-every", "50", "-o", out});
    ASSERT_EQ(run.status, 0) << run.err;
    expectCompleteAiff(ovtest::readFile(out), 2, 9 * 44100);

    /* 50 frames a second of audio, every 50th kept, names in frame order. */
    std::vector<std::string> names = hosttest::folderEntries(folder);
    ASSERT_EQ(names.size(), 9u);
    EXPECT_EQ(names.front(), "frame-0000050.png");
    EXPECT_EQ(names.back(), "frame-0000450.png");

    hosttest::Picture last = hosttest::readPng(folder + "/" + names.back());
    ASSERT_EQ(last.width, 512u);
    ASSERT_EQ(last.height, 132u);
    int scope = 0, tallBars = 0, maxHeight = 0;
    for (uint32_t column = 2; column <= 508; column++) {
        for (uint32_t row = 2; row <= 129; row++)
            scope += isScopeDot(last.at(row, column));
        int height = 0;
        while (height < 127 && isBarPixel(last.at(130 - height, column)))
            height++;
        tallBars += height >= 20;
        maxHeight = std::max(maxHeight, height);
    }
    EXPECT_GT(scope, 500) << "both oscilloscope traces are drawn";
    EXPECT_GT(tallBars, 100) << "the music's spectrum shows as bars";
    EXPECT_LT(maxHeight, 125) << "loud music does not pin the bars at the top";
}

TEST(RenderVisualiser, EveryDataSignalGivesAFrame)
{
    std::string folder = hosttest::freshFolder("every-frame");
    auto run =
        hosttest::orvane({"render", "--frames", "44100", "--visualise", "--frames-dir", folder,
                          "--frames-every", "1", "-o", ovtest::tempPath("every.aiff")});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> names = hosttest::folderEntries(folder);
    ASSERT_EQ(names.size(), 50u);
    /* Consecutive pictures differ: each one is a new frame. */
    hosttest::Picture previous = hosttest::readPng(folder + "/" + names[0]);
    for (size_t i = 1; i < names.size(); i++) {
        hosttest::Picture picture = hosttest::readPng(folder + "/" + names[i]);
        EXPECT_NE(picture.pixels, previous.pixels) << names[i];
        previous = std::move(picture);
    }
}

} // namespace
