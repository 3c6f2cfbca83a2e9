/* Zephrin in a real SDL2 window (run under Xvfb): the window's size as
 * the X server has it, its title, a drawn frame on the screen, and the
 * close button ending the program with a detach. */
#include "fake_player.h"
#include "x11_probe.h"

namespace {

using namespace ovtest;

TEST(SdlWindow, ShowsZephrinsFramesAndClosesWithADetach)
{
    if (!ovSetDisplay(OV_DISPLAY_SDL))
        GTEST_SKIP() << "no SDL display here (run under xvfb-run)";
    ASSERT_TRUE(x11::connect());
    FakePlayer player;
    ZephrinTask program(&player);
    ASSERT_NE(player.attach(), nullptr);
    player.fillSlots();
    struct Window *window = ovTestWaitForWindow(5000);
    ASSERT_NE(window, nullptr);
    const uint64 id = ovTestWindowSystemId(window);
    ASSERT_NE(id, 0u);

    char title[64] = "";
    player.track.title = "Song under Xvfb";
    player.signal(player.infoMask);
    EXPECT_TRUE(waitUntil([&] {
        return ovTestWindowTitle(window, title, sizeof title) &&
               std::string(title) == "Zephrin 1.1: Song under Xvfb";
    })) << title;

    player.signal(player.dataMask);
    std::vector<uint32> drawn(512 * 132), shown;
    int width = 0, height = 0;
    const bool onScreen = waitUntil(
        [&] {
            return ovReadWindowPixels(window, drawn.data(), 512, 132) &&
                   drawn[65 * 512 + 300] != 0 && x11::screenshot(id, width, height, shown) &&
                   shown == drawn;
        },
        10000);
    ASSERT_TRUE(onScreen) << "the frame never showed on the screen: " << width << "x" << height;
    EXPECT_EQ(shown[65 * 512 + 300], 0x00FFAAAAu) << "the second channel's trace";
    EXPECT_EQ(shown[130 * 512 + 300], 0x00FFFFFFu) << "a peak dot";

    x11::requestClose(id);
    struct PluginMessage *detach = player.nextMessage(10000);
    ASSERT_NE(detach, nullptr);
    player.reply(detach);
    EXPECT_TRUE(program.finish());
    EXPECT_EQ(ovTestOpenWindows(), 0u);
}

} // namespace
