/* The host's output driven in-process: the output file's write-then-rename
 * and its pipes, headers worked out from the length, the encoder's
 * refusals, the PCM shaping. */
#include "host/host_error.h"
#include "host/input/plugins.h"
#include "host/input/song_length.h"
#include "host/output/audio_writer.h"
#include "host/output/encoder_session.h"
#include "host/output/output_file.h"
#include "host/output/pcm_shaping.h"
#include "host/output/sndfile_writer.h"
#include "orvane_run.h"

#include "platform/testing.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

using testing::HasSubstr;

namespace {

/* Matches an action that throws a HostError whose message holds `text`. */
auto throwsHostError(const std::string &text)
{
    return testing::ThrowsMessage<orvane::HostError>(HasSubstr(text));
}

TEST(OutputFile, AppearsOnlyWhenCompleteKeepsModeAndLinkAndLeavesNoPartWhenTheRenameFails)
{
    auto openDescriptors = [] {
        auto entries = std::filesystem::directory_iterator("/proc/self/fd");
        return static_cast<size_t>(std::distance(begin(entries), end(entries)));
    };
    const std::string folder = hosttest::freshFolder("output-file");
    const std::vector<uint8_t> bytes{1, 2, 3, 4};
    const size_t descriptors = openDescriptors();
    {
        orvane::OutputFile out(folder + "/done.bin", true);
        out.append(bytes);
        out.patch(1, std::vector<uint8_t>{9});
        EXPECT_FALSE(std::filesystem::exists(folder + "/done.bin"));
        out.commit();
    }
    EXPECT_EQ(openDescriptors(), descriptors) << "the committed file stays open";
    EXPECT_EQ(ovtest::readFile(folder + "/done.bin"), (std::vector<uint8_t>{1, 9, 3, 4}));

    /* A folder made in the way after the file was opened. */
    const std::string blocked = folder + "/blocked";
    {
        orvane::OutputFile out(blocked, false);
        out.append(bytes);
        std::filesystem::create_directories(blocked + "/inside");
        EXPECT_THAT([&] { out.commit(); }, throwsHostError("cannot write '" + blocked));
    }
    EXPECT_EQ(hosttest::folderEntries(folder), (std::vector<std::string>{"blocked", "done.bin"}));

    /* A header is sent ahead only on a held stream, before any byte. */
    orvane::OutputFile unheld("-", false);
    EXPECT_THAT([&] { unheld.sendAhead({}); }, throwsHostError("cannot stream"));

    /* Written through a link, a private file keeps its mode and owner (as
     * root can) and the link stays. A name of 255 bytes gets a temporary
     * name cut short at a character's start. */
    const std::string mine = folder + "/mine.bin", link = folder + "/link.bin";
    ovtest::writeFile(mine, {7});
    std::filesystem::permissions(mine, std::filesystem::perms::owner_all);
    const uid_t owner = ::geteuid() == 0 ? 65534 : ::geteuid();
    ASSERT_EQ(::chown(mine.c_str(), owner, static_cast<gid_t>(-1)), 0);
    std::filesystem::create_symlink("mine.bin", link);
    std::string longest;
    for (int i = 0; i < 125; i++)
        longest += "\xc3\xa9";
    longest = folder + "/" + longest + "a.wav";
    for (const std::string &name : {link, longest}) {
        orvane::OutputFile out(name, false);
        out.append(bytes);
        out.commit();
    }
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ovtest::readFile(mine), bytes);
    EXPECT_EQ(std::filesystem::status(mine).permissions(), std::filesystem::perms::owner_all);
    struct stat replaced {};
    EXPECT_EQ(::stat(mine.c_str(), &replaced) == 0 ? replaced.st_uid : 0, owner);
    orvane::OutputFile open(longest, false);
    const std::string temporary = hosttest::folderEntries(folder).front();
    EXPECT_EQ(temporary.substr(0, 248), "." + longest.substr(folder.size() + 1, 238) + ".partial-");

    /* A pipe no one reads yet is waited for, asking now and then whether
     * to go on, and is then written like any pipe, waiting for its reader. */
    const std::string pipe = folder + "/pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::vector<uint8_t> lots(256 * 1024, 5);
    std::thread reader;
    size_t waits = 0, received = 0;
    ::alarm(60); /* an open or a write that blocks for good would never return */
    {
        orvane::OutputFile out(pipe, false, [&] {
            if (++waits == 3)
                reader = std::thread([&] {
                    std::ifstream in(pipe, std::ios::binary);
                    received =
                        static_cast<size_t>(std::distance(std::istreambuf_iterator<char>(in), {}));
                });
        });
        out.append(lots);
    }
    reader.join();
    ::alarm(0);
    EXPECT_EQ(received, lots.size());
}

TEST(OutputFile, APipeGetsItsHeaderWithTheFirstAudioAndAHeldFileNoticesTheReaderGo)
{
    const std::string pipe = hosttest::freshFolder("pipe") + "/pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    std::vector<uint8_t> got(64);
    {
        orvane::OutputFile out(pipe, true);
        out.sendAhead({1, 2, 3, 4});
        out.append(std::vector<uint8_t>(4));
        EXPECT_EQ(::read(reader, got.data(), got.size()), -1) << "the header alone was sent";
        out.append(std::vector<uint8_t>{5});
        EXPECT_EQ(::read(reader, got.data(), got.size()), 5);
        EXPECT_EQ(got[0], 1);
    }
    orvane::OutputFile held(pipe, true);
    ::close(reader);
    auto action = std::signal(SIGPIPE, SIG_IGN);
    EXPECT_THAT([&] { held.append(std::vector<uint8_t>{1}); }, throwsHostError("Broken pipe"));
    std::signal(SIGPIPE, action);
}

TEST(SndfileWriter, HeadersFollowFromTheLengthAsWritingItDoesAndNeverWrap)
{
    for (const char *name : {"wav", "caf", "au", "w64", "ogg"})
        for (uint32_t channels : {1u, 2u})
            for (uint64_t frames : {0, 1, 70001}) {
                SCOPED_TRACE(std::string(name) + " " + std::to_string(frames));
                orvane::WriterSetup setup{*orvane::formatNamed(name), 22050, channels};
                setup.frames = frames;
                EXPECT_EQ(orvane::sndfileHeaderFor(setup.format, 22050, channels, frames),
                          orvane::probedHeader(setup, frames));
            }
    /* Read back from files of that length without their sound (sparse):
     * WAV up to the last frame its sizes hold, RF64 beyond; AU past 2 GB
     * says its length is not known, so the file's end tells it; CAF and
     * W64 have sizes of 64 bits. */
    const orvane::OutputFormat &wav = *orvane::formatNamed("wav"), &au = *orvane::formatNamed("au"),
                               &caf = *orvane::formatNamed("caf"),
                               &w64 = *orvane::formatNamed("w64");
    const uint64_t largest = orvane::largestFrames(wav.sndfileFormat, 44100, 2), issue = 1102500000;
    using Case = std::tuple<const orvane::OutputFormat &, uint64_t, int>;
    for (const auto &[format, frames, container] :
         {Case{wav, largest, SF_FORMAT_WAV}, Case{wav, largest + 1, SF_FORMAT_RF64},
          Case{wav, issue, SF_FORMAT_RF64}, Case{au, issue, SF_FORMAT_AU},
          Case{caf, issue, SF_FORMAT_CAF}, Case{w64, issue, SF_FORMAT_W64}}) {
        SCOPED_TRACE(std::string(format.name) + " " + std::to_string(frames));
        const std::string path = ovtest::tempPath("long." + std::string(format.name));
        std::vector<uint8_t> head = *orvane::sndfileHeaderFor(format, 44100, 2, frames);
        ovtest::writeFile(path, head);
        std::filesystem::resize_file(path, head.size() + frames * 4);
        SF_INFO info{};
        SNDFILE *in = sf_open(path.c_str(), SFM_READ, &info);
        ASSERT_NE(in, nullptr) << sf_strerror(nullptr);
        sf_close(in);
        std::filesystem::remove(path);
        EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, container);
        EXPECT_EQ(static_cast<uint64_t>(info.frames), frames);
    }
    EXPECT_EQ(orvane::sndfileFormatFor(wav, 44100, 2, std::nullopt), wav.sndfileFormat);
}

TEST(EncoderSession, RefusesWhatAnAiffFileCannotHold)
{
    std::string whyNot;
    auto aiff = orvane::LoadedPlugin::open(ovtest::binDir() + "/OV_AIFF.ovplug", whyNot);
    ASSERT_NE(aiff, nullptr) << whyNot;
    orvane::OutputFile probe{orvane::HeadProbe{}};
    auto open = [&](uint32_t rate, uint32_t channels) {
        return [&, rate, channels] {
            orvane::EncoderSession session(aiff->iface(), "AIFF", rate, channels, probe);
        };
    };
    EXPECT_THAT(open(0, 2), throwsHostError("encoder cannot write a file without a sample rate"));
    EXPECT_THAT(open(44100, 0), throwsHostError("the AIFF encoder cannot write 0 channels"));
    EXPECT_THAT(open(44100, 3), throwsHostError("the AIFF encoder cannot write 3 channels"));
    EXPECT_NO_THROW(open(8000, 1)());
    EXPECT_NO_THROW(open(44100, 2)());
}

TEST(PcmShaper, StereoWidthAndGainWithClippedSamplesCounted)
{
    /* Frames picked for the arithmetic: opposite sides, a half to round
     * away from zero, full scale, and a wide pair. */
    const std::vector<int16_t> frames{1000,  -1000,  1001,  0,     32767,
                                      32767, -32768, 32767, 20000, 10000};
    const double twice = 6.020599913279624; /* 20 log10(2) dB */
    const std::vector<int16_t> doubled{2000,  -2000,  2002,  0,     32767,
                                       32767, -32768, 32767, 32767, 20000};
    struct Case {
        double stereo, gain;
        uint32_t channels;
        std::vector<int16_t> expected;
        uint64_t clipped;
        bool swapSides = false;
    };
    for (const Case &c :
         {Case{0, 0, 2, {0, 0, 501, 501, 32767, 32767, -1, -1, 15000, 15000}, 0},
          Case{50, 0, 2, {500, -500, 751, 250, 32767, 32767, -16384, 16383, 17500, 12500}, 0},
          Case{100, twice, 2, doubled, 5},
          Case{0, twice, 2, {0, 0, 1001, 1001, 32767, 32767, -1, -1, 30000, 30000}, 2},
          /* Mono takes the gain; its width has nothing to change. */
          Case{0, twice, 1, doubled, 5},
          /* Each frame's two sides change places, alone and with the shaping. */
          Case{100,
               0,
               2,
               {-1000, 1000, 0, 1001, 32767, 32767, 32767, -32768, 10000, 20000},
               0,
               true},
          Case{50, 0, 2, {-500, 500, 250, 751, 32767, 32767, 16383, -16384, 12500, 17500}, 0, true},
          Case{100, 0, 1, frames, 0, true}}) {
        SCOPED_TRACE(std::to_string(c.stereo) + " % wide, " + std::to_string(c.gain) + " dB" +
                     (c.swapSides ? ", sides swapped" : ""));
        std::vector<uint8_t> bytes;
        for (int16_t sample : frames)
            ovtest::appendU16(bytes, static_cast<uint16_t>(sample));
        orvane::PcmShaper shaper({c.stereo, c.gain}, c.channels, c.swapSides);
        std::span<const uint8_t> shaped = shaper.apply(bytes);
        EXPECT_EQ(hosttest::bigEndianSamples({shaped.begin(), shaped.end()}), c.expected);
        EXPECT_EQ(shaper.clipped(), c.clipped);
        EXPECT_EQ(shaper.clippingReport().substr(0, 24),
                  c.clipped == 0 ? "" : std::to_string(c.clipped) + " of 10 samples clipped ");
    }
}

} // namespace
