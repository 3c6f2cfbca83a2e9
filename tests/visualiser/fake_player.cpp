#include "fake_player.h"

#include <chrono>
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

/* ---- recording the calls ---- */

namespace {

std::mutex logLock;
std::vector<std::string> logged;
std::vector<std::pair<Tag, std::string>> lastWindowTags;
struct Task *testTask;
struct IntuitionIFace *intuition, savedIntuition;
struct P96IFace *p96, savedP96;
struct Library *intuitionBase, *p96Base;

/* Puts a recording function into an interface slot: it logs the label
 * (or what `describe` makes of the arguments), then calls the function it
 * replaced. */
template <auto Slot> struct Hook;
template <typename I, typename R, typename... A, R (*I::*Slot)(I *, A...)> struct Hook<Slot> {
    static inline R (*replaced)(I *, A...);
    static inline const char *label;
    static inline std::string (*describe)(A...);
    static R call(I *self, A... arguments)
    {
        const std::string call = describe != nullptr ? describe(arguments...) : label;
        if (exec()->FindTask(exec(), nullptr) != testTask) {
            std::lock_guard lock(logLock);
            logged.push_back(call);
        }
        return replaced(self, arguments...);
    }
    static void put(I *interface, const char *name, std::string (*describer)(A...) = nullptr)
    {
        replaced = interface->*Slot;
        label = name;
        describe = describer;
        interface->*Slot = call;
    }
};

} // namespace

CallLog::CallLog()
{
    testTask = exec()->FindTask(exec(), nullptr);
    logged.clear();
    intuitionBase = exec()->OpenLibrary(exec(), "intuition.library", 0);
    p96Base = exec()->OpenLibrary(exec(), "Picasso96API.library", 0);
    intuition = reinterpret_cast<struct IntuitionIFace *>(
        exec()->GetInterface(exec(), intuitionBase, "main", 1, nullptr));
    p96 = reinterpret_cast<struct P96IFace *>(
        exec()->GetInterface(exec(), p96Base, "main", 1, nullptr));
    savedIntuition = *intuition;
    savedP96 = *p96;
    Hook<&ExecIFace::FreeVec>::put(exec(), "FreeVec");
    Hook<&ExecIFace::DeleteMsgPort>::put(exec(), "DeleteMsgPort");
    Hook<&ExecIFace::FreeSignal>::put(exec(), "",
                                      [](int8 bit) { return "FreeSignal" + std::to_string(bit); });
    Hook<&ExecIFace::ReplyMsg>::put(exec(), "ReplyMsg");
    Hook<&IntuitionIFace::CloseWindow>::put(intuition, "CloseWindow");
    Hook<&IntuitionIFace::UnlockPubScreen>::put(intuition, "UnlockPubScreen");
    Hook<&IntuitionIFace::EasyRequestArgs>::put(intuition, "Requester");
    Hook<&IntuitionIFace::SetWindowTitles>::put(intuition, "",
                                                [](Window *, CONST_STRPTR title, CONST_STRPTR) {
                                                    return "SetWindowTitles " + std::string(title);
                                                });
    Hook<&IntuitionIFace::OpenWindowTagList>::put(intuition, "", [](APTR, const TagItem *tags) {
        std::lock_guard lock(logLock);
        lastWindowTags.clear();
        for (; tags->ti_Tag != TAG_DONE; tags++)
            lastWindowTags.emplace_back(tags->ti_Tag,
                                        tags->ti_Tag == WA_Title
                                            ? reinterpret_cast<const char *>(tags->ti_Data)
                                            : std::to_string(tags->ti_Data));
        return std::string("OpenWindow");
    });
    Hook<&P96IFace::p96WritePixelArray>::put(p96, "WritePixels");
}

CallLog::~CallLog()
{
    exec()->FreeVec = Hook<&ExecIFace::FreeVec>::replaced;
    exec()->DeleteMsgPort = Hook<&ExecIFace::DeleteMsgPort>::replaced;
    exec()->FreeSignal = Hook<&ExecIFace::FreeSignal>::replaced;
    exec()->ReplyMsg = Hook<&ExecIFace::ReplyMsg>::replaced;
    *intuition = savedIntuition;
    *p96 = savedP96;
    exec()->DropInterface(exec(), reinterpret_cast<struct Interface *>(p96));
    exec()->DropInterface(exec(), reinterpret_cast<struct Interface *>(intuition));
    exec()->CloseLibrary(exec(), p96Base);
    exec()->CloseLibrary(exec(), intuitionBase);
}

std::string CallLog::joined() const
{
    std::lock_guard lock(logLock);
    std::string text;
    for (const std::string &call : logged)
        text += (text.empty() ? "" : " ") + call;
    return text;
}

size_t CallLog::count(const std::string &call) const
{
    std::lock_guard lock(logLock);
    return static_cast<size_t>(std::count(logged.begin(), logged.end(), call));
}

std::vector<std::pair<Tag, std::string>> CallLog::windowTags() const
{
    std::lock_guard lock(logLock);
    return lastWindowTags;
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
