/*
 * A small stand-in for the music player, for Zephrin's failure and
 * ordering cases (the host's own port serves the rest): it owns the public
 * port "Brivex plugin port" on the test's task, answers messages, fills
 * the visualiser's slots and signals it.
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

struct FakePlayer {
    FakePlayer();
    ~FakePlayer();
    /* The next message at the port, or NULL after timeoutMs. */
    struct PluginMessage *nextMessage(int timeoutMs = 5000);
    void reply(struct PluginMessage *message) { exec()->ReplyMsg(exec(), &message->pm_Message); }
    /* Takes the attach message, remembers its slots and masks, sets
     * `accepted` and answers it unless told not to. NULL if none came. */
    struct PluginMessage *attach(uint16 accepted = 1, bool answer = true);
    /* Stores the data buffers and the track record into the slots. */
    void fillSlots();
    /* Whole, as a player must: Zephrin reads the slots from its own task. */
    static void setSlot(APTR *slot, APTR value) { __atomic_store_n(slot, value, __ATOMIC_RELEASE); }
    void signal(uint32 signals) { exec()->Signal(exec(), client, signals); }

    struct MsgPort *port = nullptr;
    struct Task *client = nullptr;
    uint32 dataMask = 0, infoMask = 0;
    APTR *slots[4] = {}; /* sample buffer, first and second spectrum, track */
    /* The player's buffers: silence. */
    std::vector<uint8> samples = std::vector<uint8>(PLUGIN_SAMPLE_FRAMES * 4, 0);
    std::vector<uint8> spectrum = std::vector<uint8>(PLUGIN_SPECTRUM_ENTRIES * 2, 0);
    struct TrackInfo track {};
};

/* Zephrin started as a task; when the test has not ended it, asked to end
 * with whatever it still waits for answered. */
struct ZephrinTask {
    explicit ZephrinTask(FakePlayer *fake);
    ~ZephrinTask();
    /* Waits for the program to end and takes its result; false if it does
     * not end in time. */
    bool finish();

    FakePlayer *player;
    struct Task *task = nullptr;
    int32 result = -1;
};

} // namespace ovtest

#endif
