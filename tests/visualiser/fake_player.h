/*
 * A small stand-in for the music player, for driving Zephrin: it owns the
 * public port "Brivex plugin port" (on the test's own task), answers
 * messages, fills the visualiser's slots and signals it. Also records what
 * Zephrin calls, by putting recording functions into the shared interfaces'
 * slots.
 */
#ifndef OV_TESTS_VISUALISER_FAKE_PLAYER_H
#define OV_TESTS_VISUALISER_FAKE_PLAYER_H

#include "platform/display.h"
#include "platform/intuition.h"
#include "platform/picasso96.h"
#include "platform/program.h"
#include "platform/testing.h"
#include "pluginport.h"
#include "support/plugin_host.h"

#include <functional>
#include <string>
#include <vector>

namespace ovtest {

/* Waits up to timeoutMs for the condition. */
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000);

class FakePlayer {
public:
    FakePlayer();
    ~FakePlayer();
    FakePlayer(const FakePlayer &) = delete;
    FakePlayer &operator=(const FakePlayer &) = delete;

    /* The next message at the port, or NULL after timeoutMs. */
    struct PluginMessage *nextMessage(int timeoutMs = 5000);
    void reply(struct PluginMessage *message);
    /* Takes the attach message and answers it with `accepted`; remembers
     * its slots and masks. NULL if none came. */
    struct PluginMessage *attach(uint16 accepted = 1);
    /* Stores the buffers into the remembered slots. */
    void fillSlots();
    /* Stores one slot as a player must: whole, since Zephrin reads it at
     * any moment from its own task. */
    static void setSlot(APTR *slot, APTR value) { __atomic_store_n(slot, value, __ATOMIC_RELEASE); }
    void signal(uint32 signals);
    bool portEmpty();

    struct MsgPort *port = nullptr;
    struct Task *client = nullptr;
    uint32 dataMask = 0, infoMask = 0;
    APTR *sampleSlot = nullptr, *firstSlot = nullptr, *secondSlot = nullptr, *trackSlot = nullptr;

    /* The player's buffers, big-endian; silence unless changed. */
    std::vector<uint8> samples = std::vector<uint8>(PLUGIN_SAMPLE_FRAMES * 4, 0);
    std::vector<uint8> firstSpectrum = std::vector<uint8>(PLUGIN_SPECTRUM_ENTRIES * 2, 0);
    std::vector<uint8> secondSpectrum = std::vector<uint8>(PLUGIN_SPECTRUM_ENTRIES * 2, 0);
    struct TrackInfo track {};
};

/* Zephrin started as a task, ended (replying whatever it still waits for)
 * when the test has not ended it. */
class ZephrinTask {
public:
    explicit ZephrinTask(FakePlayer *player);
    ~ZephrinTask();
    ZephrinTask(const ZephrinTask &) = delete;
    ZephrinTask &operator=(const ZephrinTask &) = delete;

    bool started() const { return task_ != nullptr; }
    struct Task *task() const { return task_; }
    /* Waits for the program to end; false if it does not within the time. */
    bool finish(int timeoutMs = 5000);

private:
    FakePlayer *player_;
    struct Task *task_ = nullptr;
};

/* What other tasks than the test's own (that is, Zephrin's) called, in order: "FreeVec", "DeleteMsgPort",
 * "FreeSignal <bit>", "CloseWindow", "UnlockPubScreen", "OpenWindow",
 * "Requester", "WritePixels", "SetWindowTitles <title>", "ReplyMsg". */
class CallLog {
public:
    CallLog();
    ~CallLog();
    CallLog(const CallLog &) = delete;
    CallLog &operator=(const CallLog &) = delete;

    std::vector<std::string> calls() const;
    size_t count(const std::string &call) const;
    /* While closed, p96WritePixelArray holds Zephrin inside it. */
    void holdDrawing(bool hold);
    /* Waits until Zephrin is held inside p96WritePixelArray. */
    bool waitHeld(int timeoutMs = 5000);
};

struct Requester {
    std::string title, body, buttons;
};
std::vector<Requester> requestersShown();

} // namespace ovtest

#endif
