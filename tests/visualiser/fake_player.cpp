#include "fake_player.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
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

/* ---- the player ---- */

static char portName[] = PLUGIN_PORT_NAME;

FakePlayer::FakePlayer()
{
    port = exec()->CreateMsgPort(exec());
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

void FakePlayer::reply(struct PluginMessage *message) { exec()->ReplyMsg(exec(), &message->pm_Message); }

struct PluginMessage *FakePlayer::attach(uint16 accepted)
{
    struct PluginMessage *message = nextMessage();
    if (message == nullptr)
        return nullptr;
    client = message->clientTask;
    dataMask = message->dataSignalMask;
    infoMask = message->infoSignalMask;
    sampleSlot = message->sampleBufferSlot;
    firstSlot = message->firstSpectrumSlot;
    secondSlot = message->secondSpectrumSlot;
    trackSlot = message->trackInfoSlot;
    message->accepted = accepted;
    reply(message);
    return message;
}

void FakePlayer::fillSlots()
{
    setSlot(sampleSlot, samples.data());
    setSlot(firstSlot, firstSpectrum.data());
    setSlot(secondSlot, secondSpectrum.data());
    setSlot(trackSlot, &track);
}

void FakePlayer::signal(uint32 signals) { exec()->Signal(exec(), client, signals); }

bool FakePlayer::portEmpty() { return port->mp_MsgList.lh_Head->ln_Succ == nullptr; }

/* ---- the program ---- */

ZephrinTask::ZephrinTask(FakePlayer *player) : player_(player)
{
    task_ = ovCreateProgramTask((binDir() + "/Zephrin").c_str());
}

bool ZephrinTask::finish(int timeoutMs)
{
    if (task_ == nullptr)
        return true;
    if (!waitUntil([&] { return ovTaskHasEnded(task_) != FALSE; }, timeoutMs))
        return false;
    ovWaitTask(task_);
    task_ = nullptr;
    return true;
}

ZephrinTask::~ZephrinTask()
{
    if (task_ == nullptr)
        return;
    /* A test that failed half-way: ask the program to end and answer
     * whatever it still sends. */
    exec()->Signal(exec(), task_, SIGBREAKF_CTRL_C);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!ovTaskHasEnded(task_)) {
        if (player_ != nullptr) {
            if (struct Message *message = exec()->GetMsg(exec(), player_->port))
                exec()->ReplyMsg(exec(), message);
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "Zephrin does not end";
            std::abort();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ovWaitTask(task_);
}

/* ---- recording the calls ---- */

namespace {

std::mutex logLock;
std::vector<std::string> logged;
struct Task *testTask;
std::condition_variable drawingGate;
bool drawingHeld = false;
bool insideDrawing = false;

struct ExecIFace saved;
struct IntuitionIFace *intuition;
struct IntuitionIFace savedIntuition;
struct P96IFace *p96;
struct P96IFace savedP96;
struct Library *intuitionBase, *p96Base;

bool recorded() { return saved.FindTask(exec(), nullptr) != testTask; }

void record(const std::string &call)
{
    if (!recorded())
        return;
    std::lock_guard lock(logLock);
    logged.push_back(call);
}

void logFreeVec(struct ExecIFace *self, APTR memory)
{
    record("FreeVec");
    saved.FreeVec(self, memory);
}
void logDeleteMsgPort(struct ExecIFace *self, struct MsgPort *port)
{
    record("DeleteMsgPort");
    saved.DeleteMsgPort(self, port);
}
void logFreeSignal(struct ExecIFace *self, int8 signal)
{
    record("FreeSignal " + std::to_string(signal));
    saved.FreeSignal(self, signal);
}
void logReplyMsg(struct ExecIFace *self, struct Message *message)
{
    record("ReplyMsg");
    saved.ReplyMsg(self, message);
}
void logCloseWindow(struct IntuitionIFace *self, struct Window *window)
{
    record("CloseWindow");
    savedIntuition.CloseWindow(self, window);
}
void logUnlockPubScreen(struct IntuitionIFace *self, CONST_STRPTR name, struct Screen *screen)
{
    record("UnlockPubScreen");
    savedIntuition.UnlockPubScreen(self, name, screen);
}
struct Window *logOpenWindowTagList(struct IntuitionIFace *self, APTR newWindow,
                                    const struct TagItem *tags)
{
    record("OpenWindow");
    return savedIntuition.OpenWindowTagList(self, newWindow, tags);
}
int32 logEasyRequestArgs(struct IntuitionIFace *self, struct Window *window,
                         const struct EasyStruct *easy, uint32 *idcmp, APTR args)
{
    record("Requester");
    return savedIntuition.EasyRequestArgs(self, window, easy, idcmp, args);
}
void logSetWindowTitles(struct IntuitionIFace *self, struct Window *window, CONST_STRPTR title,
                        CONST_STRPTR screenTitle)
{
    record(std::string("SetWindowTitles ") + (title != nullptr ? title : "(none)"));
    savedIntuition.SetWindowTitles(self, window, title, screenTitle);
}
void logWritePixelArray(struct P96IFace *self, const struct RenderInfo *info, uint16 srcX,
                        uint16 srcY, struct RastPort *rastPort, uint16 destX, uint16 destY,
                        uint16 sizeX, uint16 sizeY)
{
    record("WritePixels");
    savedP96.p96WritePixelArray(self, info, srcX, srcY, rastPort, destX, destY, sizeX, sizeY);
    std::unique_lock lock(logLock);
    insideDrawing = true;
    drawingGate.notify_all();
    drawingGate.wait(lock, [] { return !drawingHeld; });
    insideDrawing = false;
}

} // namespace

CallLog::CallLog()
{
    testTask = exec()->FindTask(exec(), nullptr);
    logged.clear();
    drawingHeld = insideDrawing = false;
    intuitionBase = exec()->OpenLibrary(exec(), "intuition.library", 0);
    p96Base = exec()->OpenLibrary(exec(), "Picasso96API.library", 0);
    intuition = reinterpret_cast<struct IntuitionIFace *>(
        exec()->GetInterface(exec(), intuitionBase, "main", 1, nullptr));
    p96 = reinterpret_cast<struct P96IFace *>(exec()->GetInterface(exec(), p96Base, "main", 1, nullptr));
    saved = *exec();
    savedIntuition = *intuition;
    savedP96 = *p96;
    exec()->FreeVec = logFreeVec;
    exec()->DeleteMsgPort = logDeleteMsgPort;
    exec()->FreeSignal = logFreeSignal;
    exec()->ReplyMsg = logReplyMsg;
    intuition->CloseWindow = logCloseWindow;
    intuition->UnlockPubScreen = logUnlockPubScreen;
    intuition->OpenWindowTagList = logOpenWindowTagList;
    intuition->EasyRequestArgs = logEasyRequestArgs;
    intuition->SetWindowTitles = logSetWindowTitles;
    p96->p96WritePixelArray = logWritePixelArray;
}

CallLog::~CallLog()
{
    holdDrawing(false);
    exec()->FreeVec = saved.FreeVec;
    exec()->DeleteMsgPort = saved.DeleteMsgPort;
    exec()->FreeSignal = saved.FreeSignal;
    exec()->ReplyMsg = saved.ReplyMsg;
    *intuition = savedIntuition;
    *p96 = savedP96;
    exec()->DropInterface(exec(), reinterpret_cast<struct Interface *>(p96));
    exec()->DropInterface(exec(), reinterpret_cast<struct Interface *>(intuition));
    exec()->CloseLibrary(exec(), p96Base);
    exec()->CloseLibrary(exec(), intuitionBase);
}

std::vector<std::string> CallLog::calls() const
{
    std::lock_guard lock(logLock);
    return logged;
}

size_t CallLog::count(const std::string &call) const
{
    std::lock_guard lock(logLock);
    return static_cast<size_t>(std::count(logged.begin(), logged.end(), call));
}

void CallLog::holdDrawing(bool hold)
{
    std::lock_guard lock(logLock);
    drawingHeld = hold;
    drawingGate.notify_all();
}

bool CallLog::waitHeld(int timeoutMs)
{
    std::unique_lock lock(logLock);
    return drawingGate.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [] { return insideDrawing; });
}

std::vector<Requester> requestersShown()
{
    std::vector<Requester> shown;
    char title[512], body[512], buttons[512];
    for (uint32 i = 0; ovTestRequester(i, title, body, buttons, sizeof title); i++)
        shown.push_back({title, body, buttons});
    return shown;
}

} // namespace ovtest
