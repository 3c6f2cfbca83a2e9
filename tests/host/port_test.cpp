/* The player's port against the real Zephrin, run as a task of this test
 * with its window in memory; and the spectrum's scale. */
#include "audio_history.h"
#include "support/plugin_host.h"
#include "plugin_port.h"
#include "spectrum.h"
#include "visualiser_run.h"

#include "platform/byteorder.h"
#include "platform/display.h"
#include "platform/testing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <thread>

using namespace orvane;

namespace {

std::string zephrin() { return ovtest::binDir() + "/Zephrin"; }

/* Big-endian stereo frames of a sine in both channels. */
std::vector<uint8_t> sineFrames(size_t frames, double hz, double amplitude, uint32_t rate = 44100)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < frames; i++) {
        auto v = static_cast<int16_t>(
            std::lround(amplitude * 32767 * std::sin(2 * std::numbers::pi * hz * i / rate)));
        for (int ch = 0; ch < 2; ch++) {
            bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
            bytes.push_back(static_cast<uint8_t>(v));
        }
    }
    return bytes;
}

/* The bar height the visualiser draws from two spectrum arrays. */
std::vector<int> barHeights(const std::vector<uint8_t> &first, const std::vector<uint8_t> &second)
{
    std::vector<int> heights;
    for (size_t i = 0; i < SpectrumAnalyser::kColumns; i++)
        heights.push_back((ov_load_be16(&first[i * 2]) + ov_load_be16(&second[i * 2])) >> 10);
    return heights;
}

std::vector<int> barsFor(const std::vector<uint8_t> &audio)
{
    AudioHistory history;
    history.append(audio, 2);
    std::vector<StereoFrame> frames(SpectrumAnalyser::kFftFrames);
    history.copyEndingAt(history.end(), frames);
    SpectrumAnalyser analyser(44100);
    std::vector<uint8_t> first(SpectrumAnalyser::kColumns * 2), second(first.size());
    analyser.analyse(frames, first, second);
    return barHeights(first, second);
}

TEST(Spectrum, AFullScaleToneRisesHighWithoutReachingTheTop)
{
    std::vector<int> bars = barsFor(sineFrames(4096, 1000, 1.0));
    auto peak = std::max_element(bars.begin() + 2, bars.begin() + 509);
    EXPECT_GE(*peak, 100);
    EXPECT_LE(*peak, 126);
    /* The peak lies where 1 kHz sits on the logarithmic scale (40 Hz to 16 kHz). */
    double expected = 512 * std::log(1000.0 / 40) / std::log(16000.0 / 40);
    EXPECT_NEAR(static_cast<double>(peak - bars.begin()), expected, 4);
    /* Far from the tone the bars stay low. */
    EXPECT_LT(bars[20], 30);
}

TEST(Spectrum, QuieterMeansLowerAndSilenceIsNothing)
{
    auto loud = barsFor(sineFrames(4096, 440, 1.0));
    auto quiet = barsFor(sineFrames(4096, 440, 0.03));
    int loudPeak = *std::max_element(loud.begin() + 2, loud.begin() + 509);
    int quietPeak = *std::max_element(quiet.begin() + 2, quiet.begin() + 509);
    EXPECT_GT(quietPeak, 10);
    EXPECT_LT(quietPeak, loudPeak - 30);
    auto silence = barsFor(std::vector<uint8_t>(4096 * 4, 0));
    EXPECT_TRUE(std::all_of(silence.begin(), silence.end(), [](int h) { return h == 0; }));
}

TEST(AudioHistoryTest, MonoIsDoubledAndMissingFramesAreSilent)
{
    AudioHistory history;
    history.append(std::vector<uint8_t>{0x12, 0x34, 0xFF, 0xFE}, 1);
    std::vector<StereoFrame> frames(4);
    history.copyEndingAt(history.end(), frames);
    EXPECT_EQ(frames[0].first, 0);
    EXPECT_EQ(frames[1].second, 0);
    EXPECT_EQ(frames[2].first, 0x1234);
    EXPECT_EQ(frames[2].second, 0x1234);
    EXPECT_EQ(frames[3].first, -2);
    EXPECT_EQ(frames[3].second, -2);
}

/* The attach message of a client played by the test itself: signal 20
 * for data, its slots in `slots` (both spectra, track info, samples). */
struct PluginMessage attachMessage(struct MsgPort *reply, APTR (&slots)[4])
{
    struct ExecIFace *IExec = ovtest::exec();
    struct PluginMessage message{};
    message.pm_Message.mn_Node.ln_Type = NT_MESSAGE;
    message.pm_Message.mn_ReplyPort = reply;
    message.pm_Message.mn_Length = sizeof message;
    message.dataSignalMask = 1u << 20;
    message.clientTask = IExec->FindTask(IExec, nullptr);
    message.firstSpectrumSlot = &slots[0];
    message.secondSpectrumSlot = &slots[1];
    message.trackInfoSlot = &slots[2];
    message.sampleBufferSlot = &slots[3];
    return message;
}

class PortWithZephrin : public ::testing::Test {
protected:
    void SetUp() override
    {
        portsBefore_ = ovTestLivePorts();
        windowsBefore_ = ovTestOpenWindows();
    }
    void TearDown() override
    {
        EXPECT_EQ(ovTestLivePorts(), portsBefore_) << "ports left behind";
        EXPECT_EQ(ovTestOpenWindows(), windowsBefore_) << "windows left open";
    }
    uint32_t portsBefore_ = 0;
    uint32_t windowsBefore_ = 0;
};

TEST_F(PortWithZephrin, AttachDrawDetach)
{
    {
        VisualiserPort port;
        port.setTitle("Port test song");
        struct ExecIFace *IExec = ovtest::exec();
        EXPECT_NE(IExec->FindPort(IExec, "Brivex plugin port"), nullptr);
        {
            VisualiserRun run(port, zephrin(), true);
            EXPECT_EQ(port.attachCount(), 1u);
            EXPECT_TRUE(run.running());

            AudioHistory history;
            SpectrumAnalyser analyser(44100);
            history.append(sineFrames(4096, 440, 0.8), 2);
            for (int frame = 0; frame < 5; frame++) {
                port.publish(history, history.end() - 882 * (4 - frame), analyser);
                EXPECT_TRUE(run.waitForFrame()) << "frame " << frame;
            }
            /* The window shows the song's name, and the oscilloscope. */
            char title[256] = {};
            ASSERT_TRUE(ovTestWindowTitle(ovNewestWindow(), title, sizeof title));
            EXPECT_STREQ(title, "Zephrin 1.1: Port test song");
            std::vector<uint32_t> pixels(512 * 132);
            ASSERT_TRUE(ovReadWindowPixels(nullptr, pixels.data(), 512, 132));
            EXPECT_GT(std::count(pixels.begin(), pixels.end(), 0xFFAAAAu), 100);

            /* A new song: the title follows without any audio. */
            port.setTitle("Next song");
            for (int i = 0; i < 2000 && std::string(title) != "Zephrin 1.1: Next song"; i++) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                ovTestWindowTitle(ovNewestWindow(), title, sizeof title);
            }
            EXPECT_STREQ(title, "Zephrin 1.1: Next song");
            run.stop();
            EXPECT_FALSE(run.running());
        }
        EXPECT_EQ(port.detachCount(), 1u);
        EXPECT_FALSE(port.attached());
    }
    struct ExecIFace *IExec = ovtest::exec();
    EXPECT_EQ(IExec->FindPort(IExec, "Brivex plugin port"), nullptr);
}

TEST_F(PortWithZephrin, ASecondVisualiserIsTurnedAway)
{
    VisualiserPort port;
    VisualiserRun run(port, zephrin(), true);
    struct ExecIFace *IExec = ovtest::exec();

    /* A second client asks while the first is attached. */
    struct MsgPort *reply = IExec->CreateMsgPort(IExec);
    ASSERT_NE(reply, nullptr);
    APTR slots[4] = {};
    struct PluginMessage message = attachMessage(reply, slots);
    message.accepted = 7;
    IExec->PutMsg(IExec, IExec->FindPort(IExec, PLUGIN_PORT_NAME), &message.pm_Message);
    port.serve();
    EXPECT_EQ(IExec->GetMsg(IExec, reply), &message.pm_Message);
    EXPECT_EQ(message.accepted, 0);
    EXPECT_EQ(slots[3], nullptr) << "nothing is written into a rejected client's slots";

    /* A message too short to be a PluginMessage is answered untouched. */
    struct Message shortMessage{};
    shortMessage.mn_ReplyPort = reply;
    shortMessage.mn_Length = sizeof shortMessage;
    IExec->PutMsg(IExec, IExec->FindPort(IExec, PLUGIN_PORT_NAME), &shortMessage);
    port.serve();
    EXPECT_EQ(IExec->GetMsg(IExec, reply), &shortMessage);

    EXPECT_TRUE(run.running());
    EXPECT_EQ(port.attachCount(), 2u);
    run.stop();
    EXPECT_EQ(port.detachCount(), 1u);
    IExec->DeleteMsgPort(IExec, reply);
}

TEST(VisualiserPortTitles, ATitleOnceShownStaysAsItWas)
{
    /* The visualiser reads the title without a lock whenever it likes
     * after the info signal, so a later title must not change or free the
     * text of an earlier one. The test is the client here. */
    VisualiserPort port;
    port.setTitle("Song A");
    struct ExecIFace *IExec = ovtest::exec();
    struct MsgPort *reply = IExec->CreateMsgPort(IExec);
    ASSERT_NE(reply, nullptr);
    APTR slots[4] = {};
    struct PluginMessage message = attachMessage(reply, slots);
    message.infoSignalMask = 1u << 21;
    IExec->PutMsg(IExec, IExec->FindPort(IExec, PLUGIN_PORT_NAME), &message.pm_Message);
    port.serve();
    ASSERT_EQ(IExec->GetMsg(IExec, reply), &message.pm_Message);
    ASSERT_NE(message.accepted, 0);
    auto *track = static_cast<const struct TrackInfo *>(slots[2]);
    const char *first = track->title;
    EXPECT_STREQ(first, "Song A");
    for (const char *next :
         {"Song B", "A much longer song name than fits in a short string", "Song A"}) {
        port.setTitle(next);
        EXPECT_STREQ(track->title, next);
        EXPECT_STREQ(first, "Song A");
    }
    IExec->SetSignal(IExec, 0, (1u << 20) | (1u << 21));

    /* Detach. */
    message.clientTask = nullptr;
    message.dataSignalMask = message.infoSignalMask = 0;
    IExec->PutMsg(IExec, IExec->FindPort(IExec, PLUGIN_PORT_NAME), &message.pm_Message);
    port.serve();
    EXPECT_EQ(IExec->GetMsg(IExec, reply), &message.pm_Message);
    IExec->DeleteMsgPort(IExec, reply);
}

TEST_F(PortWithZephrin, ClosingTheWindowDetachesAndTheHostGoesOn)
{
    VisualiserPort port;
    VisualiserRun run(port, zephrin(), true);
    ovTestPostCloseWindow(ovNewestWindow());
    for (int i = 0; i < 2000 && port.attached(); i++) {
        port.serve();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_FALSE(port.attached());
    EXPECT_FALSE(run.running());
    EXPECT_FALSE(run.waitForFrame()) << "no frames are awaited from a visualiser that left";
    run.stop();
    EXPECT_EQ(port.detachCount(), 1u);
}

} // namespace
