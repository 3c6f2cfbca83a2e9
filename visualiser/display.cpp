/* The window, its copy of the picture, and the loop that waits for the
 * player's signals and the window's events. */
#include "pluginport.h"
#include "renderer.h"
#include "zephrin.h"

#include <cstdio>

namespace {

struct Window *window;
struct Screen *screen;
struct RastPort *rastPort;
int16 borderLeft, borderTop;
uint32 windowSignalMask;
struct RenderInfo renderInfo;
/* The window keeps pointing at this text. */
char titleBuffer[256];

/* The player writes the slots from its own task at any moment. */
APTR readSlot(APTR *slot) { return __atomic_load_n(slot, __ATOMIC_ACQUIRE); }

/* Takes every queued window event; TRUE when one of them was a close. */
bool takeWindowEvents()
{
    bool closing = false;
    while (auto *event =
               reinterpret_cast<struct IntuiMessage *>(IExec->GetMsg(IExec, window->UserPort))) {
        if (event->Class == IDCMP_CLOSEWINDOW)
            closing = true;
        IExec->ReplyMsg(IExec, &event->ExecMessage);
    }
    return closing;
}

void drawFrame(APTR *sampleBufferSlot, APTR *firstSpectrumSlot, APTR *secondSpectrumSlot)
{
    APTR samples = readSlot(sampleBufferSlot);
    APTR firstSpectrum = readSlot(firstSpectrumSlot);
    APTR secondSpectrum = readSlot(secondSpectrumSlot);
    /* A player that signals before filling every slot gets no frame. */
    if (samples == nullptr || firstSpectrum == nullptr || secondSpectrum == nullptr)
        return;
    renderFrame(samples, firstSpectrum, secondSpectrum);
    IP96->p96WritePixelArray(IP96, &renderInfo, 0, 0, rastPort, borderLeft, borderTop, frameWidth,
                             frameHeight);
}

void followSongName(APTR *trackInfoSlot)
{
    auto *track = static_cast<const struct TrackInfo *>(readSlot(trackInfoSlot));
    if (track == nullptr || track->title == nullptr)
        return;
    /* A name too long for the buffer is cut. */
    std::snprintf(titleBuffer, sizeof titleBuffer, "Zephrin 1.1: %s", track->title);
    IIntuition->SetWindowTitles(IIntuition, window, titleBuffer, "Zephrin 1.1");
}

} // namespace

int32 openDisplay()
{
    window = IIntuition->OpenWindowTags(
        IIntuition, nullptr, WA_Left, Tag(20), WA_Top, Tag(20), WA_InnerWidth, Tag(frameWidth),
        WA_InnerHeight, Tag(frameHeight), WA_Title, reinterpret_cast<Tag>("Zephrin 1.0 "),
        WA_DragBar, Tag(TRUE), WA_DepthGadget, Tag(TRUE), WA_CloseGadget, Tag(TRUE), WA_IDCMP,
        Tag(IDCMP_CLOSEWINDOW), Tag(TAG_DONE));
    if (window == nullptr)
        return 0;
    renderInfo.Memory = frameBuffer;
    renderInfo.BytesPerRow = frameWidth * 4;
    renderInfo.RGBFormat = RGBFB_A8R8G8B8;
    windowSignalMask = 1u << window->UserPort->mp_SigBit;
    rastPort = window->RPort;
    borderLeft = window->BorderLeft;
    borderTop = window->BorderTop;
    screen = IIntuition->LockPubScreen(IIntuition, nullptr);
    if (screen == nullptr)
        return 0;
    initRenderer();
    return 1;
}

void runEventLoop(uint32 dataSignalMask, uint32 infoSignalMask, APTR *sampleBufferSlot,
                  APTR *firstSpectrumSlot, APTR *secondSpectrumSlot, APTR *trackInfoSlot)
{
    for (;;) {
        const uint32 received = IExec->Wait(IExec, windowSignalMask | dataSignalMask |
                                                       infoSignalMask | SIGBREAKF_CTRL_C);
        if (received & SIGBREAKF_CTRL_C)
            return;
        if ((received & windowSignalMask) && takeWindowEvents())
            return;
        if (received & dataSignalMask)
            drawFrame(sampleBufferSlot, firstSpectrumSlot, secondSpectrumSlot);
        if (received & infoSignalMask)
            followSongName(trackInfoSlot);
    }
}

void closeDisplay()
{
    if (window != nullptr) {
        IIntuition->CloseWindow(IIntuition, window);
        window = nullptr;
    }
    if (screen != nullptr) {
        IIntuition->UnlockPubScreen(IIntuition, nullptr, screen);
        screen = nullptr;
    }
}
