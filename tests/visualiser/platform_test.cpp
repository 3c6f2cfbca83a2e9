/* The platform services Zephrin and the player stand on: tasks and their
 * signals, message ports, programs, windows, pixels and requesters. */
#include "fake_player.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <fstream>
#include <memory>

namespace {

using namespace ovtest;

/* A function run as a task of its own, waited for at the end of the scope. */
class TaskRun {
public:
    TaskRun(const char *name, std::function<void()> body) : body_(std::move(body))
    {
        task_ = ovCreateTask(
            name, [](void *data) { static_cast<TaskRun *>(data)->body_(); }, this);
    }
    ~TaskRun() { wait(); }
    struct Task *task() const { return task_; }
    void wait()
    {
        if (task_ != nullptr)
            ovWaitTask(task_);
        task_ = nullptr;
    }

private:
    std::function<void()> body_;
    struct Task *task_ = nullptr;
};

struct ExecIFace *e() { return exec(); }

TEST(Signals, SixteenAreHandedOutFromTheTopAndComeBack)
{
    TaskRun run("signals", [] {
        struct Task *self = e()->FindTask(e(), nullptr);
        for (int bit = 31; bit >= 16; bit--)
            EXPECT_EQ(e()->AllocSignal(e(), -1), bit);
        EXPECT_EQ(e()->AllocSignal(e(), -1), -1) << "the low sixteen are the system's";
        EXPECT_EQ(e()->AllocSignal(e(), SIGBREAKB_CTRL_C), -1);
        EXPECT_EQ(ovTestAllocatedSignals(self), 0xFFFF0000u);
        e()->FreeSignal(e(), 20);
        EXPECT_EQ(e()->AllocSignal(e(), 21), -1) << "still taken";
        EXPECT_EQ(e()->AllocSignal(e(), 20), 20);
        for (int bit = 16; bit <= 31; bit++)
            e()->FreeSignal(e(), static_cast<int8>(bit));
        EXPECT_EQ(ovTestAllocatedSignals(self), 0u);
    });
}

TEST(Signals, WaitWakesOnTheAwaitedBitsAndLeavesTheOthersPending)
{
    std::atomic<uint32> woken{0}, left{0};
    TaskRun waiter("waiter", [&] {
        woken = e()->Wait(e(), 0x00030000u);
        left = e()->SetSignal(e(), 0, 0x00040000u);
        EXPECT_EQ(e()->SetSignal(e(), 0, 0), 0u);
    });
    ASSERT_NE(waiter.task(), nullptr);
    EXPECT_EQ(e()->FindTask(e(), "waiter"), waiter.task());
    e()->Signal(e(), waiter.task(), 0x00040000u); /* not awaited: stays pending */
    e()->Signal(e(), waiter.task(), 0x00020000u);
    waiter.wait();
    EXPECT_EQ(woken, 0x00020000u);
    EXPECT_EQ(left, 0x00040000u);
    EXPECT_EQ(e()->FindTask(e(), "waiter"), nullptr) << "gone with its end";
}

TEST(Signals, EveryThreadIsATaskOfItsOwn)
{
    struct Task *mine = e()->FindTask(e(), nullptr);
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(e()->FindTask(e(), nullptr), mine);
    struct Task *other = nullptr;
    std::thread([&] { other = e()->FindTask(e(), nullptr); }).join();
    EXPECT_NE(other, nullptr);
    EXPECT_NE(other, mine);
}

TEST(Signals, CtrlCReachesTasksThatAskForIt)
{
    ovReceiveBreaks(TRUE);
    e()->SetSignal(e(), 0, SIGBREAKF_CTRL_C);
    std::raise(SIGINT);
    EXPECT_EQ(e()->Wait(e(), SIGBREAKF_CTRL_C), SIGBREAKF_CTRL_C);
    ovReceiveBreaks(FALSE);
}

TEST(Ports, MessagesGoRoundBetweenTasks)
{
    const uint32 portsBefore = ovTestLivePorts();
    struct MsgPort *replyPort = e()->CreateMsgPort(e());
    ASSERT_NE(replyPort, nullptr);
    EXPECT_EQ(ovTestLivePorts(), portsBefore + 1);
    struct Message first{}, second{};
    first.mn_ReplyPort = second.mn_ReplyPort = replyPort;

    static char name[] = "test service";
    std::atomic<bool> published{false};
    TaskRun service("service", [&] {
        struct MsgPort *port = e()->CreateMsgPort(e());
        port->mp_Node.ln_Name = name;
        e()->AddPort(e(), port);
        published = true;
        for (int taken = 0; taken < 2; taken++) {
            struct Message *message = e()->WaitPort(e(), port);
            EXPECT_EQ(message, taken == 0 ? &first : &second) << "in the order they were put";
            EXPECT_EQ(e()->GetMsg(e(), port), message);
            EXPECT_EQ(message->mn_Node.ln_Type, NT_MESSAGE);
            e()->ReplyMsg(e(), message);
        }
        e()->RemPort(e(), port);
        e()->DeleteMsgPort(e(), port);
    });
    ASSERT_TRUE(waitUntil([&] { return published.load(); }));
    struct MsgPort *found = e()->FindPort(e(), "test service");
    ASSERT_NE(found, nullptr);
    e()->PutMsg(e(), found, &first);
    e()->PutMsg(e(), found, &second);
    for (struct Message *expected : {&first, &second}) {
        struct Message *reply = e()->WaitPort(e(), replyPort);
        EXPECT_EQ(reply, expected);
        EXPECT_EQ(e()->GetMsg(e(), replyPort), expected);
        EXPECT_EQ(expected->mn_Node.ln_Type, NT_REPLYMSG);
    }
    service.wait();
    EXPECT_EQ(e()->FindPort(e(), "test service"), nullptr);
    EXPECT_EQ(e()->GetMsg(e(), replyPort), nullptr);

    struct Message orphan{};
    e()->ReplyMsg(e(), &orphan);
    EXPECT_EQ(orphan.mn_Node.ln_Type, NT_FREEMSG) << "no reply port: handed back as free";
    e()->DeleteMsgPort(e(), replyPort);
    EXPECT_EQ(ovTestLivePorts(), portsBefore);
}

TEST(Ports, CreationFailsCleanlyWithoutMemoryOrSignal)
{
    struct Task *self = e()->FindTask(e(), nullptr);
    const uint32 signalsBefore = ovTestAllocatedSignals(self);
    ovTestFailAllocation(1);
    EXPECT_EQ(e()->CreateMsgPort(e()), nullptr);
    ovTestFailAllocSignal(1);
    EXPECT_EQ(e()->CreateMsgPort(e()), nullptr);
    ovTestClearFaults();
    EXPECT_EQ(ovTestAllocatedSignals(self), signalsBefore);
    struct MsgPort *port = e()->CreateMsgPort(e());
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->mp_SigTask, self);
    EXPECT_EQ(ovTestAllocatedSignals(self), signalsBefore | (1u << port->mp_SigBit));
    e()->DeleteMsgPort(e(), port);
    EXPECT_EQ(ovTestAllocatedSignals(self), signalsBefore);
}

TEST(Programs, AMissingFileStartsNothing)
{
    EXPECT_EQ(ovCreateProgramTask("no such program"), nullptr);
    EXPECT_EQ(ovCreateProgramTask((binDir() + "/no such program").c_str()), nullptr);
}

/* ---- windows ---- */

class Windows : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ovSetDisplay(OV_DISPLAY_HEADLESS));
        ovTestClearRequesters();
        intuitionBase = e()->OpenLibrary(e(), "intuition.library", 0);
        p96Base = e()->OpenLibrary(e(), "Picasso96API.library", 0);
        intuition = reinterpret_cast<struct IntuitionIFace *>(
            e()->GetInterface(e(), intuitionBase, "main", 1, nullptr));
        p96 = reinterpret_cast<struct P96IFace *>(e()->GetInterface(e(), p96Base, "main", 1, nullptr));
        ASSERT_NE(intuition, nullptr);
        ASSERT_NE(p96, nullptr);
    }
    void TearDown() override
    {
        e()->DropInterface(e(), reinterpret_cast<struct Interface *>(p96));
        e()->DropInterface(e(), reinterpret_cast<struct Interface *>(intuition));
        e()->CloseLibrary(e(), p96Base);
        e()->CloseLibrary(e(), intuitionBase);
        EXPECT_EQ(ovTestOpenWindows(), 0u);
    }
    struct Window *open(uint32 idcmp, int innerWidth = 8, int innerHeight = 4)
    {
        const struct TagItem tags[] = {{WA_InnerWidth, Tag(innerWidth)},
                                       {WA_InnerHeight, Tag(innerHeight)},
                                       {WA_Title, reinterpret_cast<Tag>("test window")},
                                       {WA_IDCMP, idcmp},
                                       {TAG_DONE, 0}};
        return intuition->OpenWindowTagList(intuition, nullptr, tags);
    }
    std::vector<uint32> inner(struct Window *window, int width, int height)
    {
        std::vector<uint32> pixels(size_t(width) * height);
        EXPECT_TRUE(ovReadWindowPixels(window, pixels.data(), width, height));
        return pixels;
    }

    struct Library *intuitionBase = nullptr, *p96Base = nullptr;
    struct IntuitionIFace *intuition = nullptr;
    struct P96IFace *p96 = nullptr;
};

/* The back end is looked up by name and, once chosen, stays. */
TEST_F(Windows, DisplayIsChosenByNameOnce)
{
    EXPECT_FALSE(ovSetDisplayName("no such display"));
    EXPECT_STREQ(ovDisplayName(), "headless");
    EXPECT_TRUE(ovSetDisplayName("headless"));
    EXPECT_TRUE(ovSetDisplayName("auto"));
    EXPECT_TRUE(ovSetDisplay(OV_DISPLAY_AUTO));
    EXPECT_FALSE(ovSetDisplayName("sdl"));
    EXPECT_FALSE(ovSetDisplay(OV_DISPLAY_SDL));
}

TEST_F(Windows, OpenWithBordersAroundTheInnerSizeAndAPortForTheirEvents)
{
    struct Task *self = e()->FindTask(e(), nullptr);
    const uint32 signalsBefore = ovTestAllocatedSignals(self);
    struct Window *window = open(IDCMP_CLOSEWINDOW);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->Width - window->BorderLeft - window->BorderRight, 8);
    EXPECT_EQ(window->Height - window->BorderTop - window->BorderBottom, 4);
    EXPECT_GT(window->BorderTop, 0);
    EXPECT_NE(window->RPort, nullptr);
    ASSERT_NE(window->UserPort, nullptr);
    EXPECT_EQ(window->UserPort->mp_SigTask, self);
    EXPECT_STREQ(window->Title, "test window");
    EXPECT_EQ(ovNewestWindow(), window);

    /* Events: a close click arrives as a message to be replied; queued
     * ones go with the window. */
    ovTestPostCloseWindow(window);
    EXPECT_NE(e()->SetSignal(e(), 0, 0) & (1u << window->UserPort->mp_SigBit), 0u);
    auto *event = reinterpret_cast<struct IntuiMessage *>(e()->GetMsg(e(), window->UserPort));
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(event->Class, IDCMP_CLOSEWINDOW);
    EXPECT_EQ(event->IDCMPWindow, window);
    e()->ReplyMsg(e(), &event->ExecMessage);
    ovTestPostCloseWindow(window);
    ovTestPostCloseWindow(window);
    intuition->CloseWindow(intuition, window);
    EXPECT_EQ(ovTestAllocatedSignals(self), signalsBefore);

    struct Window *quiet = open(0);
    ASSERT_NE(quiet, nullptr);
    EXPECT_EQ(quiet->UserPort, nullptr) << "no event classes, no port";
    ovTestPostCloseWindow(quiet); /* not asked for: dropped */
    intuition->CloseWindow(intuition, quiet);
}

TEST_F(Windows, PixelsAreCopiedIntoTheInnerAreaAndClipped)
{
    struct Window *window = open(0, 8, 4);
    ASSERT_NE(window, nullptr);
    std::vector<uint32> block(10 * 6);
    for (size_t i = 0; i < block.size(); i++)
        block[i] = static_cast<uint32>(i + 1);
    struct RenderInfo info{block.data(), 10 * 4, 0, RGBFB_A8R8G8B8};
    p96->p96WritePixelArray(p96, &info, 1, 1, window->RPort, window->BorderLeft + 2,
                            window->BorderTop + 1, 3, 2);
    auto pixels = inner(window, 8, 4);
    EXPECT_EQ(pixels[1 * 8 + 2], block[1 * 10 + 1]);
    EXPECT_EQ(pixels[1 * 8 + 4], block[1 * 10 + 3]);
    EXPECT_EQ(pixels[2 * 8 + 2], block[2 * 10 + 1]);
    EXPECT_EQ(pixels[0], 0u);
    EXPECT_EQ(pixels[3 * 8 + 2], 0u);

    /* Past the window's edge: cut off, nothing outside written. */
    p96->p96WritePixelArray(p96, &info, 0, 0, window->RPort, static_cast<uint16>(window->Width - 2),
                            static_cast<uint16>(window->Height - 2), 10, 6);
    /* Other formats and foreign raster ports are left alone. */
    struct RenderInfo other = info;
    other.RGBFormat = RGBFB_NONE;
    p96->p96WritePixelArray(p96, &other, 0, 0, window->RPort, window->BorderLeft, window->BorderTop, 8, 4);
    struct RastPort stranger{};
    p96->p96WritePixelArray(p96, &info, 0, 0, &stranger, 0, 0, 8, 4);
    EXPECT_EQ(inner(window, 8, 4), pixels);
    intuition->CloseWindow(intuition, window);
}

TEST_F(Windows, TitlesAreKeptAsPointersAndMayStayUnchanged)
{
    struct Window *window = open(0);
    ASSERT_NE(window, nullptr);
    char title[] = "first";
    intuition->SetWindowTitles(intuition, window, title, "screen");
    char shown[64];
    ASSERT_TRUE(ovTestWindowTitle(window, shown, sizeof shown));
    EXPECT_STREQ(shown, "first");
    EXPECT_EQ(window->Title, title);
    intuition->SetWindowTitles(intuition, window, reinterpret_cast<CONST_STRPTR>(intptr_t(-1)), "other");
    EXPECT_EQ(window->Title, title);
    EXPECT_STREQ(window->ScreenTitle, "other");
    intuition->CloseWindow(intuition, window);
}

TEST_F(Windows, ScreenLocksAreCounted)
{
    struct Screen *screen = intuition->LockPubScreen(intuition, nullptr);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(intuition->LockPubScreen(intuition, "no such screen"), nullptr);
    EXPECT_EQ(ovTestPubScreenLocks(), 1u);
    intuition->UnlockPubScreen(intuition, nullptr, screen);
    EXPECT_EQ(ovTestPubScreenLocks(), 0u);
}

TEST_F(Windows, RequestersAreLoggedAndAnsweredWithTheRightmostButton)
{
    const struct EasyStruct easy = {sizeof(struct EasyStruct), 0, "Question", "Go on?", "Yes|Maybe|No",
                                    nullptr, nullptr};
    EXPECT_EQ(intuition->EasyRequestArgs(intuition, nullptr, &easy, nullptr, nullptr), 0);
    const auto shown = requestersShown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, "Question");
    EXPECT_EQ(shown[0].body, "Go on?");
    EXPECT_EQ(shown[0].buttons, "Yes|Maybe|No");
}

TEST_F(Windows, PictureIsSavedAsPng)
{
    struct Window *window = open(0, 3, 2);
    ASSERT_NE(window, nullptr);
    uint32 red = 0x00FF0000;
    struct RenderInfo info{&red, 4, 0, RGBFB_A8R8G8B8};
    p96->p96WritePixelArray(p96, &info, 0, 0, window->RPort, window->BorderLeft, window->BorderTop, 1, 1);
    const std::string path = tempPath("window.png");
    const BOOL saved = ovSaveWindowPNG(window, path.c_str());
    intuition->CloseWindow(intuition, window);
#if OV_TEST_HAVE_PNG
    ASSERT_TRUE(saved);
    const std::vector<uint8_t> file = readFile(path);
    ASSERT_GT(file.size(), 33u);
    EXPECT_EQ(std::memcmp(file.data(), "\x89PNG\r\n\x1a\n", 8), 0);
    EXPECT_EQ(file[19], 3u) << "width";
    EXPECT_EQ(file[23], 2u) << "height";
    /* With no window open, the last closed one's picture is saved. */
    EXPECT_TRUE(ovSaveWindowPNG(nullptr, path.c_str()));
#else
    EXPECT_FALSE(saved) << "built without libpng";
#endif
    EXPECT_FALSE(ovSaveWindowPNG(window, path.c_str())) << "a closed window";
}

} // namespace
