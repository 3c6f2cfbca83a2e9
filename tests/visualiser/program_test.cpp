/* Zephrin as a program against a fake player: the window it asks for, the
 * attach and detach messages, every way it ends with what it releases in
 * which order, and how its loop takes signals and half-filled slots.
 * Windows are kept in memory. */
#include "fake_player.h"

#include <csignal>
#include <cstring>
#include <mutex>
#include <optional>

namespace {

using namespace ovtest;

/* ---- what Zephrin calls ---- */

std::mutex logLock;
std::vector<std::string> logged;
std::vector<std::pair<Tag, std::string>> windowTags; /* of the last OpenWindow */
struct Task *testTask;

/* Puts a recording function into an interface slot: it logs the label
 * (or what `describe` makes of the arguments) of a call from another task
 * than the test's, that is Zephrin's, and calls the function it replaced. */
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

/* Records Zephrin's calls while it lives: "FreeVec", "DeleteMsgPort",
 * "FreeSignal<bit>", "ReplyMsg", "OpenWindow", "CloseWindow",
 * "UnlockPubScreen", "Requester(<title>|<body>|<button>)", "WritePixels",
 * "SetWindowTitles <title>". */
class CallLog {
public:
    CallLog()
    {
        testTask = exec()->FindTask(exec(), nullptr);
        logged.clear();
        Hook<&ExecIFace::FreeVec>::put(exec(), "FreeVec");
        Hook<&ExecIFace::DeleteMsgPort>::put(exec(), "DeleteMsgPort");
        Hook<&ExecIFace::FreeSignal>::put(
            exec(), "", [](int8 bit) { return "FreeSignal" + std::to_string(bit); });
        Hook<&ExecIFace::ReplyMsg>::put(exec(), "ReplyMsg");
        Hook<&IntuitionIFace::CloseWindow>::put(intuition, "CloseWindow");
        Hook<&IntuitionIFace::UnlockPubScreen>::put(intuition, "UnlockPubScreen");
        Hook<&IntuitionIFace::EasyRequestArgs>::put(
            intuition, "", [](Window *, const EasyStruct *easy, uint32 *, APTR) {
                EXPECT_EQ(easy->es_StructSize, sizeof(EasyStruct));
                EXPECT_EQ(easy->es_Flags, 0u);
                return std::string("Requester(") + easy->es_Title + "|" + easy->es_TextFormat +
                       "|" + easy->es_GadgetFormat + ")";
            });
        Hook<&IntuitionIFace::SetWindowTitles>::put(
            intuition, "", [](Window *, CONST_STRPTR title, CONST_STRPTR) {
                return "SetWindowTitles " + std::string(title);
            });
        Hook<&IntuitionIFace::OpenWindowTagList>::put(intuition, "", [](APTR, const TagItem *tags) {
            std::lock_guard lock(logLock);
            windowTags.clear();
            for (; tags->ti_Tag != TAG_DONE; tags++)
                windowTags.emplace_back(tags->ti_Tag,
                                        tags->ti_Tag == WA_Title
                                            ? reinterpret_cast<const char *>(tags->ti_Data)
                                            : std::to_string(tags->ti_Data));
            return std::string("OpenWindow");
        });
        Hook<&P96IFace::p96WritePixelArray>::put(p96, "WritePixels");
    }
    ~CallLog()
    {
        *exec() = savedExec;
        *intuition = savedIntuition;
        *p96 = savedP96;
        EXPECT_EQ(intuitionBase->lib_OpenCnt + p96Base->lib_OpenCnt, opensBefore) << "closed";
    }
    /* The calls so far, joined with blanks. */
    std::string joined() const
    {
        std::lock_guard lock(logLock);
        std::string text;
        for (const std::string &call : logged)
            text += (text.empty() ? "" : " ") + call;
        return text;
    }
    size_t count(const std::string &call) const
    {
        std::lock_guard lock(logLock);
        return static_cast<size_t>(std::count(logged.begin(), logged.end(), call));
    }

private:
    Graphics graphics;
    struct Library *intuitionBase = graphics.intuitionBase, *p96Base = graphics.p96Base;
    struct IntuitionIFace *intuition = graphics.intuition, savedIntuition = *intuition;
    struct P96IFace *p96 = graphics.p96, savedP96 = *p96;
    struct ExecIFace savedExec = *exec();
    /* Zephrin closes the libraries it opened. */
    const int opensBefore = intuitionBase->lib_OpenCnt + p96Base->lib_OpenCnt;
};

std::string windowTitle()
{
    char title[300] = "";
    ovTestWindowTitle(ovNewestWindow(), title, sizeof title);
    return title;
}

class Zephrin : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ovSetDisplay(OV_DISPLAY_HEADLESS));
        portsBefore = ovTestLivePorts();
        signalsBefore = ovTestAllocatedSignals(exec()->FindTask(exec(), nullptr));
    }
    void TearDown() override
    {
        ovTestClearFaults();
        EXPECT_EQ(ovTestOpenWindows(), 0u);
        EXPECT_EQ(ovTestPubScreenLocks(), 0u);
        EXPECT_EQ(ovTestLivePorts(), portsBefore);
        EXPECT_EQ(ovTestAllocatedSignals(exec()->FindTask(exec(), nullptr)), signalsBefore);
    }
    /* Returns once Zephrin has handled every signal sent before: the title
     * change of an info signal is the last thing of its wake-up. */
    static void sync(FakePlayer &player, const std::string &name)
    {
        static std::string title; /* read by Zephrin until the next one */
        title = name;
        player.track.title = title.c_str();
        FakePlayer::setSlot(player.slots[3], &player.track);
        player.signal(player.infoMask);
        ASSERT_TRUE(
            waitUntil([&] { return windowTitle() == std::string("Zephrin 1.1: ") + name; }));
    }

    uint32 portsBefore = 0, signalsBefore = 0;
};

/* ---- every way it ends: the calls it made, its requester, its result ---- */

/* How the player answers. From Close on it accepts, and before its reply
 * the program is told to end together with data and a title: nothing but
 * the end is handled. */
enum class Answer { NoPlayer, None, Reject, WideOne, Close, Closes, Break, CtrlC };

struct Ending {
    const char *name;
    void (*inject)();
    Answer answer;
    std::string calls; /* none: it could not even start */
};

class Ends : public Zephrin, public ::testing::WithParamInterface<Ending> {};

TEST_P(Ends, WithItsRequesterAndReleasesInOrder)
{
    const Ending &row = GetParam();
    std::optional<FakePlayer> player;
    if (row.answer != Answer::NoPlayer)
        player.emplace();
    CallLog log;
    row.inject();
    ZephrinTask program(player ? &*player : nullptr);
    if (row.answer >= Answer::Reject) {
        struct PluginMessage *attach = player->attach(row.answer >= Answer::Close, false);
        ASSERT_NE(attach, nullptr);
        /* What it asks the window system for, then how it attaches. */
        const std::vector<std::pair<Tag, std::string>> tags = {
            {WA_Left, "20"},
            {WA_Top, "20"},
            {WA_InnerWidth, "512"},
            {WA_InnerHeight, "132"},
            {WA_Title, "Zephrin 1.0 "},
            {WA_DragBar, "1"},
            {WA_DepthGadget, "1"},
            {WA_CloseGadget, "1"},
            {WA_IDCMP, std::to_string(IDCMP_CLOSEWINDOW)}};
        EXPECT_EQ(windowTags, tags);
        EXPECT_EQ(ovTestPubScreenLocks(), 1u) << "the screen is locked before the player is asked";
        EXPECT_EQ(attach->pm_Message.mn_Node.ln_Pri | attach->reserved1 | attach->reserved2, 0u);
        EXPECT_EQ(attach->pm_Message.mn_Node.ln_Name, nullptr);
        EXPECT_EQ(attach->pm_Message.mn_Length, sizeof(struct PluginMessage));
        EXPECT_EQ(attach->clientTask, program.task);
        /* The program's first signals after its window's: bits 30 and 29. */
        EXPECT_EQ(attach->dataSignalMask, 1u << 30);
        EXPECT_EQ(attach->infoSignalMask, 1u << 29);
        APTR *slots[] = {attach->sampleBufferSlot, attach->firstSpectrumSlot,
                         attach->secondSpectrumSlot, attach->trackInfoSlot};
        for (size_t i = 0; i < 4; i++) {
            ASSERT_NE(slots[i], nullptr);
            EXPECT_EQ(*slots[i], nullptr) << "slots start empty";
            for (size_t j = 0; j < i; j++)
                EXPECT_NE(slots[i], slots[j]);
        }
        /* A 32-bit 1 as a big-endian player stores it across 36 to 39
         * leaves the 16-bit field at 36 zero. */
        const uint8 wideOne[4] = {0, 0, 0, 1};
        if (row.answer == Answer::WideOne)
            std::memcpy(&attach->accepted, wideOne, 4);
        player->fillSlots();
        player->track.title = "never shown";
        for (int k = 0; k < (row.answer == Answer::Closes ? 3 : row.answer == Answer::Close); k++)
            ovTestPostCloseWindow(ovNewestWindow());
        if (row.answer == Answer::Break)
            exec()->Signal(exec(), program.task, SIGBREAKF_CTRL_C);
        if (row.answer == Answer::CtrlC)
            std::raise(SIGINT); /* delivered later: alone */
        else
            player->signal(player->dataMask | player->infoMask);
        player->reply(attach);
    }
    if (row.answer >= Answer::Close) {
        struct PluginMessage *detach = player->nextMessage();
        ASSERT_NE(detach, nullptr);
        EXPECT_EQ(detach->dataSignalMask | detach->infoSignalMask, 0u);
        for (const void *field : {(void *)detach->clientTask, (void *)detach->firstSpectrumSlot,
                                  (void *)detach->secondSpectrumSlot, (void *)detach->trackInfoSlot,
                                  (void *)detach->sampleBufferSlot})
            EXPECT_EQ(field, nullptr);
        EXPECT_EQ(detach->accepted, 1u) << "left as the player wrote it";
        EXPECT_EQ(detach->pm_Message.mn_Length, sizeof(struct PluginMessage));
        EXPECT_EQ(ovTestOpenWindows(), 1u) << "the window waits for the reply";
        player->reply(detach);
    }
    ASSERT_TRUE(program.finish());
    ovTestClearFaults();
    EXPECT_EQ(program.result, row.calls.empty() ? 20 : 0) << "fails only without its libraries";
    EXPECT_EQ(log.joined(), row.calls);
    EXPECT_EQ(player ? exec()->GetMsg(exec(), player->port) : nullptr, nullptr) << "unanswered";
}

void nothing() {}
const std::string setupFailed = "Requester(Orvane / Brivex Plugin|Plugin setup failed.|Ok)";
const std::string signalError =
    "Requester(Orvane / Brivex Plugin|Plugin setup failed (Signal Error)|Abort)";
const std::string rejected =
    "OpenWindow Requester(Orvane / Brivex Plugin|Plugin rejected by Music Player.\n|Abort) ";
const std::string released =
    "FreeVec DeleteMsgPort FreeSignal30 FreeSignal29 CloseWindow UnlockPubScreen";
const std::string releasedEarly = "FreeSignal30 FreeSignal29 CloseWindow UnlockPubScreen ";

/* Signal allocations of a start: the window's port, the data signal, the
 * info signal, the reply port. AllocVec calls: the message, the reply port. */
const Ending endings[] = {
    {"NoPlayer", nothing, Answer::NoPlayer,
     "Requester(Orvane / Brivex Plugin|Could not locate the message port.\nOrvane / Brivex may "
     "not be running.|Abort)"},
    {"NoIntuition", [] { ovTestFailOpenLibrary("intuition.library"); }, Answer::None, ""},
    {"NoPicasso96", [] { ovTestFailGetInterface("Picasso96API.library", "main"); }, Answer::None,
     ""},
    {"NoWindow", [] { ovTestFailOpenWindow(TRUE); }, Answer::None, "OpenWindow " + setupFailed},
    {"NoScreen", [] { ovTestFailLockPubScreen(TRUE); }, Answer::None,
     "OpenWindow " + setupFailed + " CloseWindow"},
    {"NoDataSignal", [] { ovTestFailAllocSignal(2); }, Answer::None,
     "OpenWindow " + signalError + " FreeSignal30 CloseWindow UnlockPubScreen"},
    {"NoMessage", [] { ovTestFailAllocation(1); }, Answer::None,
     "OpenWindow DeleteMsgPort " + releasedEarly + setupFailed},
    {"NoReplyPort", [] { ovTestFailAllocation(2); }, Answer::None,
     "OpenWindow FreeVec " + releasedEarly + setupFailed},
    {"Rejected", nothing, Answer::Reject, rejected + released},
    {"RejectedWideOne", nothing, Answer::WideOne, rejected + released},
    {"CloseGadget", nothing, Answer::Close, "OpenWindow ReplyMsg " + released},
    {"SeveralCloses", nothing, Answer::Closes, "OpenWindow ReplyMsg ReplyMsg ReplyMsg " + released},
    {"Break", nothing, Answer::Break, "OpenWindow " + released},
    {"CtrlC", nothing, Answer::CtrlC, "OpenWindow " + released},
};

INSTANTIATE_TEST_SUITE_P(Zephrin, Ends, ::testing::ValuesIn(endings),
                         [](const auto &info) { return std::string(info.param.name); });

/* ---- the loop, one program run ---- */

TEST_F(Zephrin, DrawsOnceAllDataSlotsAreFilledAndRetitlesForANamedTrack)
{
    FakePlayer player;
    CallLog log;
    ZephrinTask program(&player);
    struct PluginMessage *attach = player.attach(1, false);
    ASSERT_NE(attach, nullptr);
    player.fillSlots();
    for (int i = 0; i < 5; i++) /* waiting before its loop, they make one frame */
        player.signal(player.dataMask);
    player.reply(attach);
    sync(player, "first");
    EXPECT_EQ(log.count("WritePixels"), 1u);

    APTR buffers[3] = {player.samples.data(), player.spectrum.data(), player.spectrum.data()};
    for (int filled = 0; filled < 7; filled++) { /* one bit per data slot */
        for (int k = 0; k < 3; k++)
            FakePlayer::setSlot(player.slots[k], filled & (1 << k) ? buffers[k] : nullptr);
        player.signal(player.dataMask);
        sync(player, std::to_string(filled));
    }
    EXPECT_EQ(log.count("WritePixels"), 1u);

    /* An empty track slot, then a track without a name: no new title. Two
     * frames after each show that its wake-up is over. */
    player.fillSlots();
    size_t drawn = 1;
    for (struct TrackInfo *track : {(struct TrackInfo *)nullptr, &player.track}) {
        player.track.title = nullptr;
        FakePlayer::setSlot(player.slots[3], track);
        player.signal(player.infoMask);
        for (int frame = 0; frame < 2; frame++) {
            player.signal(player.dataMask);
            ASSERT_TRUE(waitUntil([&] { return log.count("WritePixels") > drawn; }));
            drawn++;
        }
    }
    EXPECT_EQ(windowTitle(), "Zephrin 1.1: 6");
    EXPECT_EQ(log.count("SetWindowTitles Zephrin 1.1: 6"), 1u);
    EXPECT_STREQ(ovNewestWindow()->ScreenTitle, "Zephrin 1.1");

    /* Data and a title in one wake-up: the frame first; a long name cut. */
    std::string longName(300, 'x');
    longName[241] = 'y'; /* the last that fits with the prefix and the NUL */
    player.track.title = longName.c_str();
    player.signal(player.dataMask | player.infoMask);
    const std::string cut = "Zephrin 1.1: " + longName.substr(0, 242);
    ASSERT_TRUE(waitUntil([&] { return windowTitle() == cut; })) << windowTitle();
    EXPECT_TRUE(log.joined().ends_with("WritePixels SetWindowTitles " + cut));
    /* ZephrinTask ends it; the close gadget's way is one of the endings. */
}

} // namespace
