/* Interoperability with sox: files it writes play through our reader with
 * the samples sox itself decodes, and it reads the files our writer makes. */
#include "aiff_host.h"

#include <sstream>

namespace {

const uint32_t kRates[] = {8000, 11025, 22050, 32000, 44100, 48000, 88200, 96000};

class Sox : public ::testing::Test {
protected:
    void SetUp() override
    {
        OV_REQUIRE_SOX();
        ASSERT_TRUE(plugin.ok());
    }
    ovtest::Plugin plugin{aifftest::kPluginFile};
};

std::string soxInfo(const std::string &option, const std::string &path)
{
    auto result = ovtest::runCommand("sox --i " + option + " '" + path + "'");
    while (!result.out.empty() && (result.out.back() == '\n' || result.out.back() == ' '))
        result.out.pop_back();
    return result.out;
}

TEST_F(Sox, ItsFilesPlayWithTheSamplesItDecodes)
{
    for (uint32_t rate : kRates) {
        for (int channels : {1, 2}) {
            /* A comment of odd length gives an odd-sized chunk before COMM. */
            const bool withComment = (rate / 1000 + channels) % 2 == 0;
            SCOPED_TRACE(testing::Message() << rate << " Hz, " << channels << " channels"
                                            << (withComment ? ", with comment" : ""));
            const std::string path = ovtest::tempPath("sox-written.aiff");
            std::ostringstream command;
            command << "sox -R -n -r " << rate << " -c " << channels << " -b 16 "
                    << (withComment ? "--comment 'odd' " : "--comment '' ") << "'" << path
                    << "' synth 0.3 sine 300-3000 whitenoise";
            const auto made = ovtest::runCommand(command.str());
            ASSERT_EQ(made.status, 0) << made.err;
            const auto expected = aifftest::soxDecode(path);
            ASSERT_FALSE(expected.empty());

            aifftest::Stream stream(plugin);
            ASSERT_TRUE(stream.start(path));
            EXPECT_EQ(stream->SampleRate, rate);
            EXPECT_EQ(stream->Channels, static_cast<uint32_t>(channels));
            const double frames = double(expected.size()) / (2 * channels);
            EXPECT_EQ(stream->Duration, static_cast<uint32_t>(frames / rate * 1000.0));
            EXPECT_TRUE(stream.decodeAll() == expected) << "the same samples as sox decodes";
        }
    }
}

TEST_F(Sox, ReadsOurFilesWithoutComplaint)
{
    for (uint32_t rate : {8000u, 22050u, 44100u, 70000u, 96000u}) {
        for (uint8_t channels : {1, 2}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, " << int(channels) << " channels");
            const uint32_t frames = rate / 4 + 3;
            const auto pcm = ovtest::testPcm(frames, channels, rate + channels);
            const auto encoded = aifftest::encodeFile(plugin, rate, channels, pcm, 3000);
            const auto path = aifftest::tempFile("ours-for-sox.aiff", encoded.file);
            EXPECT_EQ(soxInfo("-r", path), std::to_string(rate));
            EXPECT_EQ(soxInfo("-c", path), std::to_string(channels));
            EXPECT_EQ(soxInfo("-s", path), std::to_string(frames));
            EXPECT_EQ(soxInfo("-b", path), "16");
            std::string warnings;
            EXPECT_TRUE(aifftest::soxDecode(path, &warnings) == pcm);
            EXPECT_EQ(warnings, "");
        }
    }
}

} // namespace
