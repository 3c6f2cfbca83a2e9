/*
 * A small stand-in for the music player, for Zephrin's failure and
 * ordering cases (the host's own port serves the rest): it owns the public
 * port "Brivex plugin port" on the test's task, answers messages, fills
 * the visualiser's slots and signals it.
 */
#ifndef OV_TESTS_VISUALISER_FAKE_PLAYER_H
#define OV_TESTS_VISUALISER_FAKE_PLAYER_H

#include "platform/display.h"
#include "platform/program.h"
#include "platform/testing.h"
#include "pluginport.h"
#include "support/plugin_host.h"

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace ovtest {

struct FakePlayer {
    FakePlayer() : port(exec()->CreateMsgPort(exec()))
    {
        port->mp_Node.ln_Name = const_cast<char *>(PLUGIN_PORT_NAME);
        exec()->AddPort(exec(), port);
    }
    ~FakePlayer()
    {
        exec()->RemPort(exec(), port);
        exec()->DeleteMsgPort(exec(), port);
    }
    /* The next message at the port, or NULL after timeoutMs. */
    struct PluginMessage *nextMessage(int timeoutMs = 5000)
    {
        struct Message *message = nullptr;
        waitUntil([&] { return (message = exec()->GetMsg(exec(), port)) != nullptr; }, timeoutMs);
        return reinterpret_cast<struct PluginMessage *>(message);
    }
    void reply(struct PluginMessage *message) { exec()->ReplyMsg(exec(), &message->pm_Message); }
    /* Takes the attach message, remembers its slots and masks, sets
     * `accepted` and answers it unless told not to. NULL if none came. */
    struct PluginMessage *attach(uint16 accepted = 1, bool answer = true)
    {
        struct PluginMessage *message = nextMessage();
        if (message == nullptr)
            return nullptr;
        client = message->clientTask;
        dataMask = message->dataSignalMask;
        infoMask = message->infoSignalMask;
        APTR *given[4] = {message->sampleBufferSlot, message->firstSpectrumSlot,
                          message->secondSpectrumSlot, message->trackInfoSlot};
        std::copy(std::begin(given), std::end(given), slots);
        message->accepted = accepted;
        if (answer)
            reply(message);
        return message;
    }
    /* Stores the data buffers and the track record into the slots. */
    void fillSlots()
    {
        APTR buffers[4] = {samples.data(), spectrum.data(), spectrum.data(), &track};
        for (int k = 0; k < 4; k++)
            setSlot(slots[k], buffers[k]);
    }
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
    explicit ZephrinTask(FakePlayer *fake)
        : player(fake), task(ovCreateProgramTask((binDir() + "/Zephrin").c_str()))
    {}
    ~ZephrinTask()
    {
        if (task == nullptr)
            return;
        exec()->Signal(exec(), task, SIGBREAKF_CTRL_C); /* a test that failed half-way */
        while (!ovTaskHasEnded(task)) {
            if (struct Message *message = player ? exec()->GetMsg(exec(), player->port) : nullptr)
                exec()->ReplyMsg(exec(), message);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ovWaitTask(task);
    }
    /* Waits for the program to end and takes its result; false if it does
     * not end in time. */
    bool finish()
    {
        if (task == nullptr || !waitUntil([&] { return ovTaskHasEnded(task) != FALSE; }))
            return false;
        result = ovWaitTask(task);
        task = nullptr;
        return true;
    }

    FakePlayer *player;
    struct Task *task = nullptr;
    int32 result = -1;
};

} // namespace ovtest

#endif
