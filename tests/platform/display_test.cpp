/* Windows on the display chosen by itself, and Ctrl-C with nobody to receive it. */
#include "platform/display_backend.h"
#include "platform/program.h"
#include "support/plugin_host.h"

#include <png.h>

using ovtest::exec;

TEST(Display, WindowsGetTheEventsAskedForAndShowAndSaveTheirInnerAreaOnly)
{
    const bool sdlRuns = ovSetDisplayName("sdl"), automatic = ovSetDisplayName(nullptr);
    const bool shown = sdlRuns && (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY"));
    EXPECT_STREQ(automatic ? ovDisplayName() : "", shown ? "sdl" : "headless") << "where shown";
    EXPECT_EQ(ov::display::answerOnConsole({"Title", "Body", {"A", "B", "C"}}), 2u) << "rightmost";
    struct Library *base = exec()->OpenLibrary(exec(), "intuition.library", 0);
    auto *intuition = (struct IntuitionIFace *)exec()->GetInterface(exec(), base, "main", 1, 0);
    uint32 picture[6] = {0x616263, 0x646566, 0x676869, 0x6a6b6c, 0x6d6e6f, 0x707172}, inner[12];
    const struct RenderInfo info = {picture, 12, 0, RGBFB_A8R8G8B8};
    char path[] = "/tmp/ovdisplay.XXXXXX", rgb[19] = {};
    ASSERT_EQ(close(mkstemp(path)), 0);
    for (uint32 asked : {IDCMP_NEWSIZE, IDCMP_CLOSEWINDOW}) {
        TagItem tags[] = {{WA_InnerWidth, 3}, {WA_InnerHeight, 2}, {WA_IDCMP, asked}, {TAG_END, 0}};
        struct Window *window = intuition->OpenWindowTagList(intuition, nullptr, tags);
        ov::display::writePixels(&info, 0, 0, window->RPort, 4, 20, 3, 2);
        ovTestPostCloseWindow(window);
        auto *message = (struct IntuiMessage *)exec()->GetMsg(exec(), window->UserPort);
        ASSERT_EQ(message != nullptr, asked == IDCMP_CLOSEWINDOW) << "the classes asked for only";
        EXPECT_LE(message ? std::labs(message->Seconds - time(nullptr)) : 0, 1) << "seconds now";
        ASSERT_TRUE(ovReadWindowPixels(window, inner, 4, 3));
        for (int i = 0; i < 12; i++) /* 0 beyond the inner area */
            EXPECT_EQ(inner[i], i % 4 < 3 && i < 8 ? picture[i / 4 * 3 + i % 4] : 0) << i;
        png_image image{.opaque = nullptr, .version = PNG_IMAGE_VERSION, .format = PNG_FORMAT_RGB};
        ASSERT_TRUE(ovSaveWindowPNG(window, path) && png_image_begin_read_from_file(&image, path) &&
                    png_image_finish_read(&image, nullptr, rgb, 0, nullptr));
        EXPECT_STREQ(rgb, "abcdefghijklmnopqr") << "row after row, red first";
        intuition->CloseWindow(intuition, window);
    }
    unlink(path), exec()->CloseLibrary(exec(), base);
    static int chained = 0; /* a handler wanting signal information is not called without it */
    struct sigaction before = {.sa_flags = SA_SIGINFO};
    before.sa_sigaction = [](int, siginfo_t *, void *) { chained++; };
    sigaction(SIGINT, &before, nullptr);
    ovReceiveBreaks(TRUE), ovReceiveBreaks(FALSE), raise(SIGINT), usleep(50000);
    ovReceiveBreaks(TRUE), raise(SIGINT); /* handled in order: the first one is done */
    exec()->Wait(exec(), SIGBREAKF_CTRL_C), ovReceiveBreaks(FALSE);
    EXPECT_EQ(chained, 0);
}
