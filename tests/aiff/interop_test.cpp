/* Interoperability: files sox and libsndfile write, with text and marker
 * chunks of odd length, play through our reader with their samples, and
 * both read the files our writer makes, without a complaint. */
#include "aiff_host.h"

#ifdef OV_TEST_SNDFILE
#include <sndfile.h>
#endif
#include <cstdlib>
#include <cstring>

namespace {

using aifftest::Bytes;
using ovtest::runCommand;
using ovtest::shellQuote;

/* What a tool makes of an AIFF file: rate, channels and frames, the sample
 * bytes as the file holds them, and anything it complained about. */
struct Reading {
    std::vector<uint32_t> format;
    Bytes pcm;
    std::string complaints;
};

void soxWrite(const std::string &path, uint32_t rate, uint16_t channels, const Bytes &pcm)
{
    const std::string raw = aifftest::tempFile("for-sox.raw", pcm), odd = rate % 3 ? "odd" : "";
    const auto made = runCommand("sox -R -t raw -e signed-integer -b 16 -B -r " +
                                 std::to_string(rate) + " -c " + std::to_string(channels) + " " +
                                 shellQuote(raw) + " --comment '" + odd + "' " + shellQuote(path));
    ASSERT_EQ(made.status, 0) << made.err;
}

Reading soxRead(const std::string &path)
{
    Reading reading;
    for (const std::string option : {"-r", "-c", "-s"})
        reading.format.push_back(std::strtoul(
            runCommand("sox --i " + option + " " + shellQuote(path)).out.c_str(), nullptr, 10));
    const auto decoded = runCommand("sox " + shellQuote(path) + " -t raw -e signed-integer -B -");
    reading.pcm.assign(decoded.out.begin(), decoded.out.end());
    reading.complaints = decoded.err;
    return reading;
}

#ifdef OV_TEST_SNDFILE
/* The raw calls move the file's own big-endian sample bytes. */
void sndfileWrite(const std::string &path, uint32_t rate, uint16_t channels, const Bytes &pcm)
{
    SF_INFO info = {0, static_cast<int>(rate), channels, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE *file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    if (rate % 3 != 0) {
        sf_set_string(file, SF_STR_COMMENT, "an odd note");
        SF_CUES cues = {};
        cues.cue_count = 2;
        cues.cue_points[0] = {1, 0, {}, 0, 0, 100, "abc"};
        cues.cue_points[1] = {2, 0, {}, 0, 0, 300, "four"};
        EXPECT_EQ(sf_command(file, SFC_SET_CUE, &cues, sizeof cues), SF_TRUE);
    }
    EXPECT_EQ(sf_write_raw(file, pcm.data(), static_cast<sf_count_t>(pcm.size())), pcm.size());
    sf_close(file);
}

Reading sndfileRead(const std::string &path)
{
    SF_INFO info = {};
    SNDFILE *file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr)
        return {{}, {}, sf_strerror(nullptr)};
    Reading reading = {{uint32_t(info.samplerate), uint32_t(info.channels), uint32_t(info.frames)},
                       Bytes(static_cast<size_t>(info.frames + 4) * info.channels * 2),
                       ""};
    reading.pcm.resize(sf_read_raw(file, reading.pcm.data(), reading.pcm.size()));
    char log[4096] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    if (std::strstr(log, "Warning") || std::strstr(log, "***") || std::strstr(log, "Possible"))
        reading.complaints = log;
    sf_close(file);
    return reading;
}
#endif

const struct Tool {
    const char *name;
    void (*write)(const std::string &path, uint32_t rate, uint16_t channels, const Bytes &pcm);
    Reading (*read)(const std::string &path);
} kTools[] = {
    {"sox", soxWrite, soxRead},
#ifdef OV_TEST_SNDFILE
    {"libsndfile", sndfileWrite, sndfileRead},
#endif
};

class Interop : public ::testing::TestWithParam<Tool> {
protected:
    void SetUp() override
    {
        if (GetParam().write == soxWrite && !ovtest::soxAvailable())
            GTEST_SKIP() << "sox not available";
        ASSERT_TRUE(plugin.ok());
    }
    ovtest::Plugin plugin{aifftest::kPluginFile};
};

TEST_P(Interop, TheirFilesPlayWithTheirSamplesAndTheyReadOurs)
{
    const Tool &tool = GetParam();
    for (uint32_t rate : {8000u, 11025u, 22050u, 44100u, 65535u, 65536u, 96000u, 192000u}) {
        for (uint16_t channels : {1, 2}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, " << channels << " channels");
            const uint32_t frames = rate / 5 + channels;
            const Bytes pcm = ovtest::testPcm(frames, channels, rate);
            const std::string theirs = ovtest::tempPath("theirs.aiff");
            tool.write(theirs, rate, channels, pcm);
            aifftest::Stream stream(plugin);
            ASSERT_TRUE(stream.start(theirs));
            EXPECT_EQ(stream->SampleRate, rate);
            EXPECT_EQ(stream->Channels, channels);
            EXPECT_EQ(stream->Duration, 200u);
            EXPECT_TRUE(stream.decodeAll() == pcm);

            const auto ours = aifftest::encodeFile(plugin, rate, uint8_t(channels), pcm);
            const Reading reading = tool.read(aifftest::tempFile("ours.aiff", ours));
            EXPECT_EQ(reading.format, (std::vector<uint32_t>{rate, channels, frames}));
            EXPECT_TRUE(reading.pcm == pcm);
            EXPECT_EQ(reading.complaints, "");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Tools, Interop, ::testing::ValuesIn(kTools),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
