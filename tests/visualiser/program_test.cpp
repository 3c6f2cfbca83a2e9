/* Zephrin as a program against a fake player task: attach, the loop's
 * signals and events, detach, the failures and the order of release.
 * Windows are kept in memory. */
#include "fake_player.h"

#include <csignal>
#include <cstring>

namespace {

using namespace ovtest;

constexpr uint32 paleRed = 0x00FFAAAA;
constexpr uint32 white = 0x00FFFFFF;
const char requesterTitle[] = "Orvane / Brivex Plugin";

std::string windowTitle()
{
    char title[300] = "";
    ovTestWindowTitle(ovNewestWindow(), title, sizeof title);
    return title;
}

std::vector<uint32> windowPixels()
{
    std::vector<uint32> pixels(512 * 132);
    ovReadWindowPixels(ovNewestWindow(), pixels.data(), 512, 132);
    return pixels;
}

/* The calls that came after the last one named `after`. */
std::vector<std::string> callsAfter(const std::vector<std::string> &calls, const std::string &after)
{
    auto last = std::find(calls.rbegin(), calls.rend(), after);
    return std::vector<std::string>(last.base(), calls.end());
}

class Zephrin : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ovSetDisplay(OV_DISPLAY_HEADLESS));
        ovTestClearRequesters();
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

    /* Attaches, accepted, with the slots filled. */
    void attachAndFill(FakePlayer &player)
    {
        ASSERT_NE(player.attach(1), nullptr);
        player.fillSlots();
    }
    /* Waits for the detach message, checks it and answers it. */
    void expectDetach(FakePlayer &player)
    {
        struct PluginMessage *detach = player.nextMessage();
        ASSERT_NE(detach, nullptr);
        EXPECT_EQ(detach->dataSignalMask, 0u);
        EXPECT_EQ(detach->infoSignalMask, 0u);
        EXPECT_EQ(detach->clientTask, nullptr);
        player.reply(detach);
    }
    /* Leaves Zephrin held inside the copy of its first frame. */
    void holdInFirstFrame(FakePlayer &player, CallLog &log)
    {
        log.holdDrawing(true);
        player.signal(player.dataMask);
        ASSERT_TRUE(log.waitHeld());
    }
    /* Clicks the close gadget and sees the program detach and end. */
    void closeAndFinish(FakePlayer &player, ZephrinTask &program)
    {
        ovTestPostCloseWindow(ovNewestWindow());
        expectDetach(player);
        ASSERT_TRUE(program.finish());
    }
    /* Returns once Zephrin has finished every wake-up begun before: a frame
     * drawn for a data signal sent after an earlier frame lies behind it. */
    void settle(FakePlayer &player, CallLog &log)
    {
        for (int frame = 0; frame < 2; frame++) {
            const size_t before = log.count("WritePixels");
            player.signal(player.dataMask);
            ASSERT_TRUE(waitUntil([&] { return log.count("WritePixels") > before; }));
        }
    }
    /* Returns once Zephrin has handled every signal sent before: the
     * title change of an info signal is the last thing of its wake-up. */
    void sync(FakePlayer &player, const char *name)
    {
        static std::string title;
        title = name;
        player.track.title = title.c_str();
        FakePlayer::setSlot(player.trackSlot, &player.track);
        player.signal(player.infoMask);
        ASSERT_TRUE(waitUntil([&] { return windowTitle() == "Zephrin 1.1: " + title; }));
    }

    uint32 portsBefore = 0;
    uint32 signalsBefore = 0;
};

TEST_F(Zephrin, WithoutThePlayersPortOnlyTellsSoAndOpensNoWindow)
{
    CallLog log;
    ZephrinTask program(nullptr);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(program.finish());
    const auto shown = requestersShown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, requesterTitle);
    EXPECT_EQ(shown[0].body, "Could not locate the message port.\nOrvane / Brivex may not be running.");
    EXPECT_EQ(shown[0].buttons, "Abort");
    EXPECT_EQ(log.count("OpenWindow"), 0u);
}

TEST_F(Zephrin, AttachMessageCarriesMasksTaskAndSlots)
{
    FakePlayer player;
    ZephrinTask program(&player);
    struct PluginMessage *attach = player.nextMessage();
    ASSERT_NE(attach, nullptr);

    /* The window is open and the screen locked before the player is asked. */
    EXPECT_EQ(ovTestOpenWindows(), 1u);
    EXPECT_EQ(ovTestPubScreenLocks(), 1u);
    EXPECT_EQ(windowTitle(), "Zephrin 1.0 ");
    uint32 width = 0, height = 0;
    ASSERT_TRUE(ovWindowInnerSize(ovNewestWindow(), &width, &height));
    EXPECT_EQ(width, 512u);
    EXPECT_EQ(height, 132u);

    const struct Message &header = attach->pm_Message;
    EXPECT_EQ(header.mn_Node.ln_Type, NT_MESSAGE);
    EXPECT_EQ(header.mn_Node.ln_Pri, 0);
    EXPECT_EQ(header.mn_Node.ln_Name, nullptr);
    EXPECT_NE(header.mn_ReplyPort, nullptr);
    EXPECT_EQ(header.mn_Length, sizeof(struct PluginMessage));
    EXPECT_EQ(attach->clientTask, program.task());
    for (uint32 mask : {attach->dataSignalMask, attach->infoSignalMask}) {
        EXPECT_EQ(mask & (mask - 1), 0u) << "one bit";
        EXPECT_GE(mask, 1u << 16) << "a signal of the program's own";
    }
    EXPECT_NE(attach->dataSignalMask, attach->infoSignalMask);
    std::vector<APTR *> slots = {attach->sampleBufferSlot, attach->firstSpectrumSlot,
                                 attach->secondSpectrumSlot, attach->trackInfoSlot};
    for (size_t i = 0; i < slots.size(); i++) {
        ASSERT_NE(slots[i], nullptr);
        EXPECT_EQ(*slots[i], nullptr) << "slots start empty";
        for (size_t j = 0; j < i; j++)
            EXPECT_NE(slots[i], slots[j]);
    }
    EXPECT_EQ(attach->accepted, 0u);
    EXPECT_EQ(attach->reserved1, 0u);
    EXPECT_EQ(attach->reserved2, 0u);
    if constexpr (OV_ADDRESS_32) {
        /* The bytes where the other side expects them. */
        const auto *bytes = reinterpret_cast<const uint8 *>(attach);
        uint32 word;
        std::memcpy(&word, bytes + 20, 4);
        EXPECT_EQ(word, attach->dataSignalMask);
        std::memcpy(&word, bytes + 40, 4);
        EXPECT_EQ(word, attach->infoSignalMask);
        std::memcpy(&word, bytes + 52, 4);
        EXPECT_EQ(word, static_cast<uint32>(reinterpret_cast<uintptr_t>(attach->sampleBufferSlot)));
    }
    player.reply(attach);
}

TEST_F(Zephrin, ClosingDetachesBeforeTheWindowClosesThenReleasesInOrder)
{
    FakePlayer player;
    CallLog log;
    ZephrinTask program(&player);
    struct PluginMessage *attach = player.attach(1);
    ASSERT_NE(attach, nullptr);
    const uint32 dataMask = attach->dataSignalMask, infoMask = attach->infoSignalMask;

    ovTestPostCloseWindow(ovNewestWindow());
    struct PluginMessage *detach = player.nextMessage();
    ASSERT_EQ(detach, attach) << "the same block comes back";
    EXPECT_EQ(detach->dataSignalMask, 0u);
    EXPECT_EQ(detach->infoSignalMask, 0u);
    EXPECT_EQ(detach->clientTask, nullptr);
    EXPECT_EQ(detach->firstSpectrumSlot, nullptr);
    EXPECT_EQ(detach->secondSpectrumSlot, nullptr);
    EXPECT_EQ(detach->trackInfoSlot, nullptr);
    EXPECT_EQ(detach->sampleBufferSlot, nullptr);
    EXPECT_EQ(detach->accepted, 1u) << "left as the player wrote it";
    EXPECT_EQ(detach->pm_Message.mn_Length, sizeof(struct PluginMessage));
    EXPECT_NE(detach->pm_Message.mn_ReplyPort, nullptr);
    EXPECT_EQ(ovTestOpenWindows(), 1u) << "the window waits for the reply";
    EXPECT_EQ(log.count("FreeVec"), 0u);
    player.reply(detach);
    ASSERT_TRUE(program.finish());

    int dataBit = 0, infoBit = 0;
    while ((1u << dataBit) != dataMask)
        dataBit++;
    while ((1u << infoBit) != infoMask)
        infoBit++;
    const std::vector<std::string> expected = {
        "FreeVec", "DeleteMsgPort", "FreeSignal " + std::to_string(dataBit),
        "FreeSignal " + std::to_string(infoBit), "CloseWindow", "UnlockPubScreen"};
    EXPECT_EQ(callsAfter(log.calls(), "ReplyMsg"), expected);
    EXPECT_TRUE(requestersShown().empty());
}

class Rejection : public Zephrin, public ::testing::WithParamInterface<bool> {};

TEST_P(Rejection, IsReportedAndReleasesWithoutDetach)
{
    const bool wideOne = GetParam();
    FakePlayer player;
    CallLog log;
    ZephrinTask program(&player);
    struct PluginMessage *attach = player.nextMessage();
    ASSERT_NE(attach, nullptr);
    if (wideOne) {
        /* A 32-bit 1 as a big-endian player stores it across 36 to 39:
         * the 16-bit field at 36 stays 0. */
        const uint8 one[4] = {0, 0, 0, 1};
        std::memcpy(reinterpret_cast<uint8 *>(&attach->accepted), one, 4);
    }
    player.reply(attach);
    ASSERT_TRUE(program.finish());
    EXPECT_TRUE(player.portEmpty()) << "no detach after a rejection";
    const auto shown = requestersShown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, requesterTitle);
    EXPECT_EQ(shown[0].body, "Plugin rejected by Music Player.\n");
    EXPECT_EQ(shown[0].buttons, "Abort");
    const auto after = callsAfter(log.calls(), "Requester");
    ASSERT_EQ(after.size(), 6u);
    EXPECT_EQ(after[0], "FreeVec");
    EXPECT_EQ(after[1], "DeleteMsgPort");
    EXPECT_EQ(after[4], "CloseWindow");
    EXPECT_EQ(after[5], "UnlockPubScreen");
}

INSTANTIATE_TEST_SUITE_P(Zephrin, Rejection, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "WideOne" : "Zero"; });

struct SetupFailure {
    const char *name;
    void (*inject)();
    const char *body;
    const char *button;
    bool requesterBeforeWindowCloses;
};

class Failure : public Zephrin, public ::testing::WithParamInterface<SetupFailure> {};

TEST_P(Failure, EndsWithItsRequesterAndReleasesEverything)
{
    const SetupFailure &failure = GetParam();
    FakePlayer player;
    CallLog log;
    failure.inject();
    ZephrinTask program(&player);
    ASSERT_TRUE(program.finish());
    ovTestClearFaults();
    EXPECT_TRUE(player.portEmpty()) << "the player never heard of it";
    const auto shown = requestersShown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, requesterTitle);
    EXPECT_EQ(shown[0].body, failure.body);
    EXPECT_EQ(shown[0].buttons, failure.button);

    const auto calls = log.calls();
    const auto requester = std::find(calls.begin(), calls.end(), "Requester");
    const auto close = std::find(calls.begin(), calls.end(), "CloseWindow");
    if (std::string(failure.name) != "NoWindow") {
        ASSERT_NE(close, calls.end());
        EXPECT_EQ(requester < close, failure.requesterBeforeWindowCloses);
    }
    /* Every signal the program had is given back. */
    const auto freed = std::count_if(calls.begin(), calls.end(),
                                     [](const std::string &c) { return c.rfind("FreeSignal", 0) == 0; });
    const std::string name = failure.name;
    const bool oneSignal = name == "DataSignal" || name == "InfoSignal";
    const bool noSignal = name == "NoWindow" || name == "NoScreen";
    EXPECT_EQ(freed, oneSignal ? 1 : noSignal ? 0 : 2);
}

/* Signal allocations of a start: the window's port, the data signal, the
 * info signal, the reply port. AllocVec calls: the message block, the
 * reply port. */
const SetupFailure failures[] = {
    {"NoWindow", [] { ovTestFailOpenWindow(TRUE); }, "Plugin setup failed.", "Ok", true},
    {"NoScreen", [] { ovTestFailLockPubScreen(TRUE); }, "Plugin setup failed.", "Ok", true},
    {"DataSignal", [] { ovTestFailAllocSignal(2); }, "Plugin setup failed (Signal Error)", "Abort", true},
    {"InfoSignal", [] { ovTestFailAllocSignal(3); }, "Plugin setup failed (Signal Error)", "Abort", true},
    {"NoMessageBlock", [] { ovTestFailAllocation(1); }, "Plugin setup failed.", "Ok", false},
    {"NoReplyPort", [] { ovTestFailAllocation(2); }, "Plugin setup failed.", "Ok", false},
    {"NoReplyPortSignal", [] { ovTestFailAllocSignal(4); }, "Plugin setup failed.", "Ok", false},
};

INSTANTIATE_TEST_SUITE_P(Zephrin, Failure, ::testing::ValuesIn(failures),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(Zephrin, DataSignalDrawsAFrameIntoTheInnerArea)
{
    FakePlayer player;
    CallLog log;
    ZephrinTask program(&player);
    attachAndFill(player);
    player.signal(player.dataMask);
    ASSERT_TRUE(waitUntil([] {
        const auto pixels = windowPixels();
        return pixels[65 * 512 + 300] == paleRed && pixels[130 * 512 + 300] == white;
    }));
    const auto pixels = windowPixels();
    for (int column = 2; column <= 510; column++)
        EXPECT_EQ(pixels[65 * 512 + column], paleRed) << "column " << column;
    for (int column = 2; column <= 508; column++)
        EXPECT_EQ(pixels[130 * 512 + column], white) << "column " << column;
    for (int column = 0; column < 512; column++)
        EXPECT_EQ(pixels[131 * 512 + column], 0u) << "column " << column;
    EXPECT_EQ(log.count("WritePixels"), 1u);
    closeAndFinish(player, program);
    /* What the window showed last stays readable, e.g. for a picture file. */
    EXPECT_EQ(windowPixels()[65 * 512 + 300], paleRed);
}

TEST_F(Zephrin, DataBeforeTheSlotsAreFilledIsSkipped)
{
    FakePlayer player;
    CallLog log;
    ZephrinTask program(&player);
    ASSERT_NE(player.attach(1), nullptr);
    FakePlayer::setSlot(player.sampleSlot, player.samples.data());
    FakePlayer::setSlot(player.firstSlot, player.firstSpectrum.data()); /* the second is still empty */
    player.signal(player.dataMask);
    sync(player, "one");
    EXPECT_EQ(log.count("WritePixels"), 0u);
    player.fillSlots();
    player.signal(player.dataMask);
    sync(player, "two");
    EXPECT_EQ(log.count("WritePixels"), 1u);
    exec()->Signal(exec(), program.task(), SIGBREAKF_CTRL_C);
    expectDetach(player);
    ASSERT_TRUE(program.finish());
}

TEST_F(Zephrin, InfoSignalFollowsTheSongNameAndIgnoresMissingOnes)
{
    FakePlayer player;
    CallLog log;
    ZephrinTask program(&player);
    attachAndFill(player);
    FakePlayer::setSlot(player.trackSlot, nullptr);
    player.signal(player.infoMask);
    settle(player, log);
    player.track.title = nullptr;
    FakePlayer::setSlot(player.trackSlot, &player.track);
    player.signal(player.infoMask);
    settle(player, log);
    sync(player, "Blue Monday");
    EXPECT_EQ(log.count("SetWindowTitles Zephrin 1.1: Blue Monday"), 1u);
    const auto calls = log.calls();
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                            [](const std::string &call) { return call.starts_with("SetWindowTitles"); }),
              1) << "nothing retitled for the empty ones";
    EXPECT_STREQ(ovNewestWindow()->ScreenTitle, "Zephrin 1.1");

    std::string longName(300, 'x');
    longName[241] = 'y';
    player.track.title = longName.c_str();
    player.signal(player.infoMask);
    const std::string cut = "Zephrin 1.1: " + longName.substr(0, 242);
    ASSERT_EQ(cut.size(), 255u);
    EXPECT_TRUE(waitUntil([&] { return windowTitle() == cut; })) << windowTitle();
    closeAndFinish(player, program);
}

TEST_F(Zephrin, DataAndInfoTogetherDrawFirstThenRetitle)
{
    FakePlayer player;
    CallLog log;
    ZephrinTask program(&player);
    attachAndFill(player);
    player.track.title = "Together";
    player.signal(player.dataMask | player.infoMask);
    ASSERT_TRUE(waitUntil([] { return windowTitle() == "Zephrin 1.1: Together"; }));
    const std::vector<std::string> expected = {"WritePixels", "SetWindowTitles Zephrin 1.1: Together"};
    EXPECT_EQ(callsAfter(log.calls(), "OpenWindow"), expected);
    closeAndFinish(player, program);
}

TEST_F(Zephrin, DataSignalsWhileDrawingMakeOneMoreFrame)
{
    FakePlayer player;
    CallLog log;
    ZephrinTask program(&player);
    attachAndFill(player);
    holdInFirstFrame(player, log);
    for (int i = 0; i < 4; i++)
        player.signal(player.dataMask);
    log.holdDrawing(false);
    sync(player, "after");
    EXPECT_EQ(log.count("WritePixels"), 2u);
    closeAndFinish(player, program);
}

struct SameWakeUp {
    const char *name;
    void (*stop)(FakePlayer &player, struct Task *program);
    size_t repliedEvents;
};

class EndingWakeUp : public Zephrin, public ::testing::WithParamInterface<SameWakeUp> {};

TEST_P(EndingWakeUp, EndsWithoutDrawingTheDataThatCameWithIt)
{
    FakePlayer player;
    CallLog log;
    ZephrinTask program(&player);
    attachAndFill(player);
    holdInFirstFrame(player, log);
    GetParam().stop(player, program.task());
    player.signal(player.dataMask | player.infoMask);
    log.holdDrawing(false);
    expectDetach(player);
    ASSERT_TRUE(program.finish());
    EXPECT_EQ(log.count("WritePixels"), 1u);
    EXPECT_EQ(log.count("ReplyMsg"), GetParam().repliedEvents);
    for (const std::string &call : log.calls())
        EXPECT_EQ(call.rfind("SetWindowTitles", 0), std::string::npos);
}

const SameWakeUp endings[] = {
    {"Break", [](FakePlayer &, struct Task *program) { exec()->Signal(exec(), program, SIGBREAKF_CTRL_C); }, 0},
    {"CloseGadget", [](FakePlayer &, struct Task *) { ovTestPostCloseWindow(ovNewestWindow()); }, 1},
    {"SeveralCloses",
     [](FakePlayer &, struct Task *) {
         ovTestPostCloseWindow(ovNewestWindow());
         ovTestPostCloseWindow(ovNewestWindow());
         ovTestPostCloseWindow(ovNewestWindow());
     },
     3},
};

INSTANTIATE_TEST_SUITE_P(Zephrin, EndingWakeUp, ::testing::ValuesIn(endings),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(Zephrin, CtrlCEndsTheProgramWithADetach)
{
    FakePlayer player;
    ZephrinTask program(&player);
    attachAndFill(player);
    std::raise(SIGINT);
    expectDetach(player);
    ASSERT_TRUE(program.finish());
}

TEST_F(Zephrin, StartsAfreshEachTime)
{
    for (int run = 0; run < 2; run++) {
        FakePlayer player;
        ZephrinTask program(&player);
        attachAndFill(player);
        EXPECT_EQ(*player.sampleSlot, player.samples.data());
        player.signal(player.dataMask);
        ASSERT_TRUE(waitUntil([] { return windowPixels()[65 * 512 + 300] == paleRed; }));
        /* A fresh picture: nothing above the trace but stars. */
        const auto pixels = windowPixels();
        int lit = 0;
        for (int row = 0; row < 65; row++)
            for (int column = 0; column < 512; column++)
                lit += pixels[row * 512 + column] != 0;
        EXPECT_LE(lit, 50) << "run " << run;
        closeAndFinish(player, program);
    }
}

} // namespace
