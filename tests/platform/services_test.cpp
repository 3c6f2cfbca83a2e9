/* The platform services under Zephrin and the player where Zephrin's own
 * runs cannot tell a fault: waking, message order, clipping, titles. */
#include "platform/display.h"
#include "support/plugin_host.h"

#include <atomic>
#include <numeric>
#include <thread>

namespace {

using namespace ovtest;

struct ExecIFace *e() { return exec(); }

TEST(Signals, WakeOnTheAwaitedBitsAndLeaveTheOthersPending)
{
    std::atomic<struct Task *> task{nullptr};
    uint32 woken = 0, left = 0;
    std::thread waiter([&] {
        EXPECT_EQ(e()->AllocSignal(e(), 20), 20);
        EXPECT_EQ(e()->AllocSignal(e(), 20), -1) << "taken";
        EXPECT_EQ(e()->AllocSignal(e(), SIGBREAKB_CTRL_C), -1) << "the system's";
        task = e()->FindTask(e(), nullptr);
        woken = e()->Wait(e(), 0x00130000u);
        left = e()->SetSignal(e(), 0, 0x00040000u);
        e()->FreeSignal(e(), 20);
    });
    ASSERT_TRUE(waitUntil([&] { return task != nullptr; }));
    EXPECT_NE(task, e()->FindTask(e(), nullptr)) << "every thread is a task of its own";
    e()->Signal(e(), task, 0x00040000u); /* not awaited: stays pending */
    e()->Signal(e(), task, 0x00020000u);
    waiter.join();
    EXPECT_EQ(woken, 0x00020000u);
    EXPECT_EQ(left, 0x00040000u);
}

TEST(Ports, MessagesArriveInOrderAndGoBackMarkedAsReplies)
{
    struct MsgPort *port = e()->CreateMsgPort(e()), *replies = e()->CreateMsgPort(e());
    struct Message messages[3]{}, orphan{};
    for (struct Message &message : messages) {
        message.mn_ReplyPort = replies;
        e()->PutMsg(e(), port, &message);
    }
    for (struct Message &message : messages) {
        EXPECT_EQ(e()->GetMsg(e(), port), &message) << "in the order they were put";
        EXPECT_EQ(message.mn_Node.ln_Type, NT_MESSAGE);
        e()->ReplyMsg(e(), &message);
    }
    for (struct Message &message : messages) {
        EXPECT_EQ(e()->GetMsg(e(), replies), &message);
        EXPECT_EQ(message.mn_Node.ln_Type, NT_REPLYMSG);
    }
    e()->ReplyMsg(e(), &orphan);
    EXPECT_EQ(orphan.mn_Node.ln_Type, NT_FREEMSG) << "no reply port: handed back as free";
    e()->DeleteMsgPort(e(), replies);
    e()->DeleteMsgPort(e(), port);
}

TEST(Windows, HaveBordersAroundTheInnerAreaWhereTheirPixelsAreClipped)
{
    ASSERT_TRUE(ovSetDisplay(OV_DISPLAY_HEADLESS));
    Graphics graphics;
    struct IntuitionIFace *intuition = graphics.intuition;
    struct P96IFace *p96 = graphics.p96;
    const struct TagItem tags[] = {{WA_InnerWidth, 8}, {WA_InnerHeight, 4}, {TAG_DONE, 0}};
    struct Window *window = intuition->OpenWindowTagList(intuition, nullptr, tags);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->Width - window->BorderLeft - window->BorderRight, 8);
    EXPECT_EQ(window->Height - window->BorderTop - window->BorderBottom, 4);
    EXPECT_GT(window->BorderTop, 0);
    EXPECT_EQ(window->UserPort, nullptr) << "no event classes, no port";
    ovTestPostCloseWindow(window); /* not asked for: dropped */

    /* Inside; past the window's edge (cut off); another format and a
     * foreign raster port (left alone). */
    std::vector<uint32> block(10 * 6), pixels(8 * 4), expected(8 * 4, 0);
    std::iota(block.begin(), block.end(), 1u);
    struct RenderInfo info {
        block.data(), 10 * 4, 0, RGBFB_A8R8G8B8
    }, other{info};
    other.RGBFormat = RGBFB_NONE;
    struct RastPort stranger {};
    p96->p96WritePixelArray(p96, &info, 1, 1, window->RPort, window->BorderLeft + 2,
                            window->BorderTop + 1, 3, 2);
    p96->p96WritePixelArray(p96, &info, 0, 0, window->RPort, window->Width - 2, window->Height - 2,
                            10, 6);
    p96->p96WritePixelArray(p96, &other, 0, 0, window->RPort, window->BorderLeft, window->BorderTop,
                            8, 4);
    p96->p96WritePixelArray(p96, &info, 0, 0, &stranger, 0, 0, 8, 4);
    for (int row = 0; row < 2; row++)
        for (int column = 0; column < 3; column++)
            expected[(1 + row) * 8 + 2 + column] = block[(1 + row) * 10 + 1 + column];
    ASSERT_TRUE(ovReadWindowPixels(window, pixels.data(), 8, 4));
    EXPECT_EQ(pixels, expected);

    char title[] = "first";
    intuition->SetWindowTitles(intuition, window, title, "screen");
    intuition->SetWindowTitles(intuition, window, reinterpret_cast<CONST_STRPTR>(-1), "other");
    EXPECT_EQ(window->Title, title) << "kept as a pointer; -1 leaves it";
    EXPECT_STREQ(window->ScreenTitle, "other");
    intuition->CloseWindow(intuition, window);
}

} // namespace
