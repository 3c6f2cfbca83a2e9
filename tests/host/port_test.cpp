/* The way from the host's audio to Zephrin's picture: the history ring,
 * the spectrum, the port's protocol with the test as its client, and the
 * real Zephrin (its window in memory) drawing what the port published. */
#include "host/host_error.h"
#include "host/port/audio_history.h"
#include "host/port/plugin_port.h"
#include "host/port/spectrum.h"
#include "host/port/visualiser_run.h"
#include "support/plugin_host.h"

#include "platform/byteorder.h"
#include "platform/display.h"
#include "platform/testing.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <thread>

namespace orvane {
bool operator==(StereoFrame a, StereoFrame b) { return a.first == b.first && a.second == b.second; }
} // namespace orvane

using namespace orvane;

namespace {

struct ExecIFace *e() { return ovtest::exec(); }
constexpr uint64_t kCapacity = AudioHistory::kCapacity;

/* Frame n of the test audio: each channel in rows of the picture no bar
 * reaches (2 to 8 and 10 to 16), the pair repeating every 49 frames. */
StereoFrame pattern(uint64_t n)
{
    return {static_cast<int16_t>(29184 + n % 7 * 512),
            static_cast<int16_t>(25088 + n / 7 % 7 * 512)};
}

/* Big-endian frames from..to-1 of `channels` channels of the frame function. */
std::vector<uint8_t> bigEndian(uint64_t from, uint64_t to,
                               const std::function<StereoFrame(uint64_t)> &frame,
                               uint32_t channels = 2)
{
    std::vector<uint8_t> bytes;
    for (uint64_t n = from; n < to; n++) {
        const int16_t values[3] = {frame(n).first, frame(n).second, 9999};
        for (uint32_t c = 0; c < channels; c++) {
            bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(values[c]) >> 8));
            bytes.push_back(static_cast<uint8_t>(values[c]));
        }
    }
    return bytes;
}

/* Polls the condition for up to five seconds. */
bool eventually(const std::function<bool()> &condition)
{
    for (int i = 0; i < 5000 && !condition(); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return condition();
}

TEST(AudioHistory, HoldsTheNewestFramesAcrossTheRingsWrap)
{
    AudioHistory history;
    history.append(std::vector<uint8_t>{0x12, 0x34, 0xFF, 0xFE, 0x7F}, 1); /* mono, doubled */
    history.append(bigEndian(2, 3, pattern, 3), 3); /* a third channel left out */
    std::vector<StereoFrame> out(5);
    history.copyEndingAt(4, out);
    const std::vector<StereoFrame> start = {{0, 0}, {0x1234, 0x1234}, {-2, -2}, pattern(2), {0, 0}};
    EXPECT_TRUE(out == start) << "missing frames are silent, before and after";

    history.append(bigEndian(3, kCapacity + 200, pattern), 2);
    ASSERT_EQ(history.end(), kCapacity + 200);
    for (uint64_t end : {kCapacity + 200, kCapacity + 7, uint64_t{700}}) {
        out.assign(1000, {});
        history.copyEndingAt(end, out);
        for (int64_t i = 0; i < 1000; i++) {
            const int64_t n = static_cast<int64_t>(end) - 1000 + i; /* below 200: no longer held */
            ASSERT_TRUE(out[i] == (n >= 200 ? pattern(n) : StereoFrame{0, 0})) << "frame " << n;
        }
    }
}

TEST(Spectrum, ColumnLevelsFollowTheLogarithmicDecibelScale)
{
    /* Magnitudes rising bin by bin; levels of 60 dB below full scale up to
     * 58000, with 1.5 dB per octave added above 500 Hz (and taken below). */
    SpectrumAnalyser analyser(44100);
    std::vector<float> magnitudes(SpectrumAnalyser::kFftFrames / 2 + 1);
    for (size_t k = 0; k < magnitudes.size(); k++)
        magnitudes[k] = static_cast<float>(k + 1) / 1025;
    const std::pair<size_t, uint16_t> levels[] = {
        {0, 3369}, {2, 3547}, {100, 13334}, {200, 24739}, {300, 36724}, {450, 55052}, {511, 58000}};
    for (auto [column, level] : levels)
        EXPECT_EQ(analyser.columnLevel(column, magnitudes), level) << "column " << column;
}

/* The test plays the visualiser: signal 20 for data, 21 for info. */
struct Client {
    struct MsgPort *replies = e()->CreateMsgPort(e());
    APTR slots[4] = {}; /* samples, first and second spectrum, track */
    struct PluginMessage message {
        .dataSignalMask = 1u << 20, .clientTask = e()->FindTask(e(), nullptr),
        .firstSpectrumSlot = &slots[1], .secondSpectrumSlot = &slots[2], .infoSignalMask = 1u << 21,
        .trackInfoSlot = &slots[3], .sampleBufferSlot = &slots[0]
    };

    ~Client() { e()->DeleteMsgPort(e(), replies); }
    /* Sends the message as it stands and takes the reply: `accepted` as
     * the port left it, 99 without a reply. */
    uint16_t exchange(VisualiserPort &port, uint16_t length = sizeof(struct PluginMessage))
    {
        message.pm_Message.mn_ReplyPort = replies;
        message.pm_Message.mn_Length = length;
        message.accepted = 7;
        e()->PutMsg(e(), e()->FindPort(e(), PLUGIN_PORT_NAME), &message.pm_Message);
        port.serve();
        return e()->GetMsg(e(), replies) == &message.pm_Message ? message.accepted : 99;
    }
    /* The signals received since the last look. */
    static uint32_t signals() { return e()->SetSignal(e(), 0, 3u << 20) & (3u << 20); }
};

TEST(VisualiserPort, ServesOneCompleteClientItsNewestAudioAndBothSpectra)
{
    VisualiserPort port;
    port.setTitle("Song A");
    Client::signals();
    Client incomplete, stranger, client;
    incomplete.message.trackInfoSlot = nullptr; /* a slot missing */
    EXPECT_EQ(incomplete.exchange(port), 0);
    incomplete.message.trackInfoSlot = &incomplete.slots[3];
    incomplete.message.dataSignalMask = 0;
    EXPECT_EQ(incomplete.exchange(port), 0);
    EXPECT_EQ(incomplete.exchange(port, 55), 7) << "a short message is answered untouched";
    EXPECT_EQ(incomplete.slots[0], nullptr) << "nothing written for a rejected client";

    ASSERT_EQ(client.exchange(port, 56), 1);
    EXPECT_EQ(Client::signals(), 1u << 21) << "told of the title at once";
    EXPECT_EQ(stranger.exchange(port), 0) << "one client at a time";
    EXPECT_EQ(port.attachCount(), 4u) << "the short message not counted";
    const auto *track = static_cast<const struct TrackInfo *>(client.slots[3]);
    const char *first = track->title;
    port.setTitle("A much longer song name than fits in a short string");
    EXPECT_STREQ(track->title, "A much longer song name than fits in a short string");
    EXPECT_STREQ(first, "Song A") << "a title once shown stays as it was";
    EXPECT_EQ(Client::signals(), 1u << 21);

    /* The sample buffer: the 512 frames before the end, big-endian, here
     * across the ring's wrap; a full-scale tone in one channel shows in
     * that channel's spectrum only, at its place on the scale. */
    const double hz = 186 * 44100.0 / SpectrumAnalyser::kFftFrames;
    for (int toneIn = 0; toneIn < 2; toneIn++) {
        const auto audio = [&](uint64_t n) {
            const auto tone = static_cast<int16_t>(
                std::lround(32767 * std::sin(2 * std::numbers::pi * hz * n / 44100)));
            const StereoFrame other = pattern(n);
            return toneIn == 0 ? StereoFrame{tone, other.second} : StereoFrame{other.first, tone};
        };
        AudioHistory history;
        SpectrumAnalyser analyser(44100);
        history.append(bigEndian(0, kCapacity + 200, audio), 2);
        port.publish(history, kCapacity + 200, analyser);
        EXPECT_EQ(Client::signals(), 1u << 20);
        const auto *samples = static_cast<const uint8 *>(client.slots[0]);
        for (uint64_t i = 0; i < VisualiserPort::kSampleFrames; i++) {
            const StereoFrame expected = audio(kCapacity + 200 - 512 + i);
            ASSERT_EQ(ov_load_be16_signed(samples + 4 * i), expected.first) << i;
            ASSERT_EQ(ov_load_be16_signed(samples + 4 * i + 2), expected.second) << i;
        }
        const auto *toned = static_cast<const uint8 *>(client.slots[1 + toneIn]);
        const auto *quiet = static_cast<const uint8 *>(client.slots[2 - toneIn]);
        size_t loudest = 0;
        for (size_t c = 0; c < SpectrumAnalyser::kColumns; c++)
            loudest = ov_load_be16(toned + 2 * c) > ov_load_be16(toned + 2 * loudest) ? c : loudest;
        EXPECT_EQ(ov_load_be16(toned + 2 * loudest), 58000);
        EXPECT_NEAR(loudest, 512 * std::log(hz / 40) / std::log(400.0), 2);
        EXPECT_LT(ov_load_be16(quiet + 2 * loudest), 30000) << "channel " << toneIn;
    }

    client.message.clientTask = stranger.message.clientTask = nullptr;
    client.message.dataSignalMask = stranger.message.dataSignalMask = 0;
    EXPECT_EQ(stranger.exchange(port), 7);
    EXPECT_TRUE(port.attached()) << "a stranger's detach changes nothing";
    EXPECT_EQ(client.exchange(port), 7);
    EXPECT_FALSE(port.attached());
    EXPECT_EQ(port.detachCount(), 1u);
    AudioHistory history;
    SpectrumAnalyser analyser(44100);
    port.publish(history, 0, analyser);
    port.setTitle("Song B");
    EXPECT_EQ(Client::signals(), 0u) << "nothing signalled after the detach";
}

TEST(VisualiserRun, OffersFramesOnlyOnceDrawnAndZephrinShowsTheNewestAudio)
{
    const uint32_t portsBefore = ovTestLivePorts();
    {
        VisualiserPort port;
        port.setTitle("Port test song");
        VisualiserRun run(port, ovtest::binDir() + "/Zephrin", true);
        AudioHistory history;
        SpectrumAnalyser analyser(44100);
        history.append(bigEndian(0, kCapacity + 200, pattern), 2);
        std::vector<uint32_t> shown(512 * 132), black(512 * 132, 0);
        ASSERT_TRUE(run.offer(history, kCapacity, analyser));
        ASSERT_TRUE(eventually([&] {
            return ovReadWindowPixels(ovNewestWindow(), shown.data(), 512, 132) && shown != black;
        })) << "the first frame";
        ASSERT_TRUE(run.offer(history, kCapacity + 200, analyser)) << "the first frame is drawn";
        ASSERT_TRUE(run.waitForFrame());
        EXPECT_FALSE(run.offer(history, kCapacity + 200, analyser)) << "nothing drawn since";

        ASSERT_TRUE(ovReadWindowPixels(ovNewestWindow(), shown.data(), 512, 132));
        for (uint64_t i = 2; i <= 510; i++) {
            const StereoFrame frame = pattern(kCapacity + 200 - 512 + i);
            ASSERT_EQ(shown[(65 - (frame.first >> 9)) * 512 + i], 0x00AAFFAAu) << "column " << i;
            ASSERT_EQ(shown[(65 - (frame.second >> 9)) * 512 + i], 0x00FFAAAAu) << "column " << i;
        }
        char title[256] = {};
        EXPECT_TRUE(eventually([&] {
            return ovTestWindowTitle(ovNewestWindow(), title, sizeof title) &&
                   std::string(title) == "Zephrin 1.1: Port test song";
        })) << title;

        ovTestPostCloseWindow(ovNewestWindow()); /* the user closes it: the host goes on */
        EXPECT_TRUE(eventually([&] {
            port.serve();
            return !port.attached();
        }));
        EXPECT_FALSE(run.running());
        EXPECT_FALSE(run.waitForFrame()) << "no frame is awaited from a visualiser that left";
        run.stop();
        EXPECT_EQ(port.detachCount(), 1u);
    }
    EXPECT_EQ(e()->FindPort(e(), PLUGIN_PORT_NAME), nullptr);
    EXPECT_EQ(ovTestLivePorts(), portsBefore);
    EXPECT_EQ(ovTestOpenWindows(), 0u);
}

TEST(VisualiserRun, AProgramThatEndsBeforeAttachingIsReported)
{
    VisualiserPort port;
    /* Zephrin ends at once without its window system. */
    ovTestFailOpenLibrary("intuition.library");
    EXPECT_THAT([&] { VisualiserRun run(port, ovtest::binDir() + "/Zephrin", true); },
                testing::ThrowsMessage<HostError>(
                    testing::HasSubstr("the visualiser did not attach to the player's port")));
    EXPECT_FALSE(port.attached());
    EXPECT_EQ(port.attachCount(), 0u);
}

} // namespace
