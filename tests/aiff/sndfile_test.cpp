/* Interoperability with libsndfile: files it writes, with markers, an
 * instrument and text chunks of odd length, play through our reader with
 * its samples; it reads the files our writer makes. */
#include "aiff_host.h"
#include "platform/byteorder.h"

#include <sndfile.h>

#include <cstring>

namespace {

class Sndfile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(plugin.ok()); }
    ovtest::Plugin plugin{aifftest::kPluginFile};
};

std::vector<short> nativeSamples(const std::vector<uint8_t> &bigEndian)
{
    std::vector<short> samples(bigEndian.size() / 2);
    for (size_t i = 0; i < samples.size(); i++)
        samples[i] = ov_load_be16_signed(&bigEndian[2 * i]);
    return samples;
}

/* Writes an AIFF file with libsndfile; `extras` adds text, marker and
 * instrument chunks. */
void writeWithSndfile(const std::string &path, int rate, int channels,
                      const std::vector<short> &samples, bool extras)
{
    SF_INFO info = {};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_AIFF | SF_FORMAT_PCM_16;
    SNDFILE *file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    if (extras) {
        sf_set_string(file, SF_STR_TITLE, "odd");
        sf_set_string(file, SF_STR_ARTIST, "Orvane");
        sf_set_string(file, SF_STR_COPYRIGHT, "none");
        sf_set_string(file, SF_STR_COMMENT, "a note of odd length");
        SF_INSTRUMENT instrument = {};
        instrument.basenote = 60;
        instrument.velocity_hi = 127;
        instrument.key_hi = 127;
        instrument.loop_count = 1;
        instrument.loops[0].mode = SF_LOOP_FORWARD;
        instrument.loops[0].start = 10;
        instrument.loops[0].end = 500;
        instrument.loops[0].count = 0;
        EXPECT_EQ(sf_command(file, SFC_SET_INSTRUMENT, &instrument, sizeof instrument), SF_TRUE);
        SF_CUES cues = {};
        cues.cue_count = 2;
        cues.cue_points[0].indx = 1;
        cues.cue_points[0].sample_offset = 100;
        std::strcpy(cues.cue_points[0].name, "abc");
        cues.cue_points[1].indx = 2;
        cues.cue_points[1].sample_offset = 300;
        std::strcpy(cues.cue_points[1].name, "four");
        EXPECT_EQ(sf_command(file, SFC_SET_CUE, &cues, sizeof cues), SF_TRUE);
    }
    const sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
    EXPECT_EQ(sf_writef_short(file, samples.data(), frames), frames);
    sf_close(file);
}

TEST_F(Sndfile, ItsFilesPlayWithTheirSamples)
{
    for (int rate : {8000, 11025, 22050, 32000, 44100, 48000, 88200, 96000}) {
        for (int channels : {1, 2}) {
            for (bool extras : {false, true}) {
                SCOPED_TRACE(testing::Message() << rate << " Hz, " << channels << " channels"
                                                << (extras ? ", extra chunks" : ""));
                const uint32_t frames = static_cast<uint32_t>(rate) / 5 + 1;
                const auto pcm = ovtest::testPcm(frames, static_cast<uint16_t>(channels), frames);
                const std::string path = ovtest::tempPath("sndfile-written.aiff");
                writeWithSndfile(path, rate, channels, nativeSamples(pcm), extras);

                aifftest::Stream stream(plugin);
                ASSERT_TRUE(stream.start(path));
                EXPECT_EQ(stream->SampleRate, static_cast<uint32_t>(rate));
                EXPECT_EQ(stream->Channels, static_cast<uint32_t>(channels));
                EXPECT_EQ(stream->Duration, 200u);
                EXPECT_TRUE(stream.decodeAll() == pcm);
            }
        }
    }
}

TEST_F(Sndfile, ReadsOurFilesWithoutComplaint)
{
    for (uint32_t rate : {8000u, 11025u, 44100u, 65535u, 65536u, 70000u, 96000u, 192000u}) {
        for (uint8_t channels : {1, 2}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, " << int(channels) << " channels");
            const uint32_t frames = rate / 8 + 5;
            const auto pcm = ovtest::testPcm(frames, channels, rate);
            const auto encoded = aifftest::encodeFile(plugin, rate, channels, pcm, 5000);
            const auto path = aifftest::tempFile("ours-for-sndfile.aiff", encoded.file);

            SF_INFO info = {};
            SNDFILE *file = sf_open(path.c_str(), SFM_READ, &info);
            ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
            EXPECT_EQ(info.samplerate, static_cast<int>(rate));
            EXPECT_EQ(info.channels, channels);
            EXPECT_EQ(info.frames, frames);
            EXPECT_EQ(info.format, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
            std::vector<short> samples(static_cast<size_t>(frames) * channels + 16);
            EXPECT_EQ(sf_readf_short(file, samples.data(), frames + 4), frames);
            samples.resize(static_cast<size_t>(frames) * channels);
            EXPECT_TRUE(samples == nativeSamples(pcm));
            char log[4096] = {};
            sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
            EXPECT_EQ(std::strstr(log, "Warning"), nullptr) << log;
            EXPECT_EQ(std::strstr(log, "***"), nullptr) << log;
            EXPECT_EQ(std::strstr(log, "Possible"), nullptr) << log;
            sf_close(file);
        }
    }
}

} // namespace
