#include "fake_player.h"

#include <chrono>
#include <thread>

namespace ovtest {

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

static char portName[] = PLUGIN_PORT_NAME;

FakePlayer::FakePlayer() : port(exec()->CreateMsgPort(exec()))
{
    port->mp_Node.ln_Name = portName;
    exec()->AddPort(exec(), port);
}

FakePlayer::~FakePlayer()
{
    exec()->RemPort(exec(), port);
    exec()->DeleteMsgPort(exec(), port);
}

struct PluginMessage *FakePlayer::nextMessage(int timeoutMs)
{
    struct Message *message = nullptr;
    waitUntil([&] { return (message = exec()->GetMsg(exec(), port)) != nullptr; }, timeoutMs);
    return reinterpret_cast<struct PluginMessage *>(message);
}

struct PluginMessage *FakePlayer::attach(uint16 accepted, bool answer)
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

void FakePlayer::fillSlots()
{
    APTR buffers[4] = {samples.data(), spectrum.data(), spectrum.data(), &track};
    for (int k = 0; k < 4; k++)
        setSlot(slots[k], buffers[k]);
}

ZephrinTask::ZephrinTask(FakePlayer *fake)
    : player(fake), task(ovCreateProgramTask((binDir() + "/Zephrin").c_str()))
{}

bool ZephrinTask::finish()
{
    if (task == nullptr || !waitUntil([&] { return ovTaskHasEnded(task) != FALSE; }))
        return false;
    result = ovWaitTask(task);
    task = nullptr;
    return true;
}

ZephrinTask::~ZephrinTask()
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

} // namespace ovtest
