/*
 * Intuition: windows with their event ports and pixels, the default public
 * screen, requesters, and the interface "main" of "intuition.library". The
 * back end that shows them is chosen in display_select.cpp.
 */
#include "display_backend.h"
#include "exec_internal.h"
#include "platform.h"
#include "task_internal.h"
#include "testing.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstring>
#include <thread>

struct Screen {
    int16 Width, Height;
    CONST_STRPTR Title;
};

namespace ov::display {

namespace {

using namespace ov::exec;

constexpr uint32 borderColour = 0x00AAAAAAu;
constexpr int32 largestInnerSize = 4096;

/* ---- windows ---- */

std::mutex windowsLock;
std::vector<WindowRecord *> openWindows; /* in the order they opened */
std::vector<uint32> lastClosedPicture;
uint32 lastClosedWidth = 0, lastClosedHeight = 0;
std::atomic<bool> failOpenWindow{false};

WindowRecord *findRecord(struct Window *window)
{
    for (WindowRecord *record : openWindows) {
        if (&record->window == window || (window == nullptr && record == openWindows.back()))
            return record;
    }
    return nullptr;
}

void copyInner(WindowRecord &record, std::vector<uint32> &pixels, uint32 &width, uint32 &height)
{
    const struct Window &w = record.window;
    width = static_cast<uint32>(w.Width - w.BorderLeft - w.BorderRight);
    height = static_cast<uint32>(w.Height - w.BorderTop - w.BorderBottom);
    pixels.resize(size_t(width) * height);
    std::lock_guard lock(record.pixelsLock);
    for (uint32 row = 0; row < height; row++) {
        const uint32 *source = &record.pixels[size_t(row + w.BorderTop) * w.Width + w.BorderLeft];
        std::copy(source, source + width, &pixels[size_t(row) * width]);
    }
}

/* IntuiMessages the window's task has replied are back at the window's
 * own port; they are freed here. */
void reclaimReplied(WindowRecord &record)
{
    while (auto *message =
               reinterpret_cast<struct IntuiMessage *>(ovexec_GetMsg(nullptr, &record.replyPort))) {
        record.events.erase(std::find(record.events.begin(), record.events.end(), message));
        delete message;
    }
}

struct Screen defaultScreen = {640, 480, "Orvane Screen"};
std::atomic<uint32> screenLocks{0};
std::atomic<bool> failLockScreen{false};

std::mutex requestersLock;
std::vector<Requester> shownRequesters;

std::string textOr(CONST_STRPTR text, const char *fallback)
{
    return text != nullptr ? text : fallback;
}

std::vector<std::string> splitButtons(const std::string &format)
{
    std::vector<std::string> buttons;
    size_t start = 0;
    for (;;) {
        size_t bar = format.find('|', start);
        buttons.push_back(format.substr(start, bar - start));
        if (bar == std::string::npos)
            return buttons;
        start = bar + 1;
    }
}

/* ---- the interface functions ---- */

uint32 intuitionObtain(struct IntuitionIFace *Self) { return ++Self->Data.RefCount; }
uint32 intuitionRelease(struct IntuitionIFace *Self) { return --Self->Data.RefCount; }

struct Window *openWindowTagList(struct IntuitionIFace *, APTR newWindow,
                                 const struct TagItem *tags)
{
    if (newWindow != nullptr || failOpenWindow)
        return nullptr;
    int32 left = 0, top = 0, width = -1, height = -1, innerWidth = -1, innerHeight = -1;
    CONST_STRPTR title = nullptr, screenTitle = nullptr;
    uint32 idcmp = 0;
    for (const struct TagItem *tag = tags; tag != nullptr && tag->ti_Tag != TAG_DONE; tag++) {
        const auto value = static_cast<int32>(tag->ti_Data);
        switch (tag->ti_Tag) {
        case WA_Left: left = value; break;
        case WA_Top: top = value; break;
        case WA_Width: width = value; break;
        case WA_Height: height = value; break;
        case WA_InnerWidth: innerWidth = value; break;
        case WA_InnerHeight: innerHeight = value; break;
        case WA_Title: title = reinterpret_cast<CONST_STRPTR>(tag->ti_Data); break;
        case WA_ScreenTitle: screenTitle = reinterpret_cast<CONST_STRPTR>(tag->ti_Data); break;
        case WA_IDCMP: idcmp = static_cast<uint32>(tag->ti_Data); break;
        default: break; /* gadgets and the rest need nothing here */
        }
    }
    const int32 bordersWide = borderLeft + borderRight, bordersHigh = borderTop + borderBottom;
    if (innerWidth < 0)
        innerWidth = width >= 0 ? width - bordersWide : 200;
    if (innerHeight < 0)
        innerHeight = height >= 0 ? height - bordersHigh : 100;
    if (innerWidth < 1 || innerHeight < 1 || innerWidth > largestInnerSize ||
        innerHeight > largestInnerSize)
        return nullptr;

    auto *record = new WindowRecord;
    struct Window &w = record->window;
    w.LeftEdge = static_cast<int16>(left);
    w.TopEdge = static_cast<int16>(top);
    w.Width = static_cast<int16>(innerWidth + bordersWide);
    w.Height = static_cast<int16>(innerHeight + bordersHigh);
    w.Title = title;
    w.ScreenTitle = screenTitle;
    w.WScreen = &defaultScreen;
    w.RPort = &record->rastPort;
    w.BorderLeft = borderLeft;
    w.BorderTop = borderTop;
    w.BorderRight = borderRight;
    w.BorderBottom = borderBottom;
    w.IDCMPFlags = idcmp;
    record->rastPort.rp_Private = record;
    initPort(&record->replyPort, nullptr);
    if (idcmp != 0) {
        if (!initPort(&record->userPort, currentTask())) {
            delete record;
            return nullptr;
        }
        w.UserPort = &record->userPort;
    }
    w.WindowPort = &record->replyPort;
    record->pixels.assign(size_t(w.Width) * w.Height, borderColour);
    for (int32 row = 0; row < innerHeight; row++)
        std::fill_n(&record->pixels[size_t(row + borderTop) * w.Width + borderLeft], innerWidth,
                    0u);
    record->shownTitle = textOr(title, "");

    if (!driver().openWindow(*record)) {
        if (w.UserPort != nullptr)
            releasePort(w.UserPort);
        delete record;
        return nullptr;
    }
    std::lock_guard lock(windowsLock);
    openWindows.push_back(record);
    return &record->window;
}

struct Window *openWindowTags(struct IntuitionIFace *Self, APTR newWindow, ...)
{
    std::vector<struct TagItem> tags;
    va_list arguments;
    va_start(arguments, newWindow);
    for (;;) {
        const Tag tag = va_arg(arguments, Tag);
        if (tag == TAG_DONE)
            break;
        tags.push_back({tag, va_arg(arguments, Tag)});
    }
    va_end(arguments);
    tags.push_back({TAG_DONE, 0});
    return Self->OpenWindowTagList(Self, newWindow, tags.data());
}

void closeWindow(struct IntuitionIFace *, struct Window *window)
{
    WindowRecord *record;
    {
        std::lock_guard lock(windowsLock);
        record = window != nullptr ? findRecord(window) : nullptr;
        if (record == nullptr)
            return;
        openWindows.erase(std::find(openWindows.begin(), openWindows.end(), record));
        copyInner(*record, lastClosedPicture, lastClosedWidth, lastClosedHeight);
    }
    driver().closeWindow(*record);
    {
        std::lock_guard lock(record->eventsLock);
        for (struct IntuiMessage *message : record->events)
            delete message;
    }
    if (record->window.UserPort != nullptr)
        releasePort(record->window.UserPort);
    delete record;
}

void setWindowTitles(struct IntuitionIFace *, struct Window *window, CONST_STRPTR windowTitle,
                     CONST_STRPTR screenTitle)
{
    const auto unchanged = reinterpret_cast<CONST_STRPTR>(intptr_t(-1));
    std::lock_guard lock(windowsLock);
    WindowRecord *record = window != nullptr ? findRecord(window) : nullptr;
    if (record == nullptr)
        return;
    if (screenTitle != unchanged)
        window->ScreenTitle = screenTitle;
    if (windowTitle != unchanged) {
        window->Title = windowTitle;
        record->shownTitle = textOr(windowTitle, "");
        driver().setTitle(*record);
    }
}

struct Screen *lockPubScreen(struct IntuitionIFace *, CONST_STRPTR name)
{
    driver(); /* the screen is the display's */
    if (failLockScreen || (name != nullptr && std::strcmp(name, "Workbench") != 0))
        return nullptr;
    ++screenLocks;
    return &defaultScreen;
}

void unlockPubScreen(struct IntuitionIFace *, CONST_STRPTR, struct Screen *screen)
{
    if (screen != &defaultScreen)
        return;
    uint32 locks = screenLocks.load();
    while (locks > 0 && !screenLocks.compare_exchange_weak(locks, locks - 1)) {}
}

int32 easyRequestArgs(struct IntuitionIFace *, struct Window *, const struct EasyStruct *easy,
                      uint32 *idcmp, APTR)
{
    if (easy == nullptr)
        return 0;
    if (idcmp != nullptr)
        *idcmp = 0;
    Requester requester{textOr(easy->es_Title, "System Request"), textOr(easy->es_TextFormat, ""),
                        splitButtons(textOr(easy->es_GadgetFormat, "Ok"))};
    {
        std::lock_guard lock(requestersLock);
        shownRequesters.push_back(requester);
    }
    const size_t pressed = driver().showRequester(requester);
    /* The rightmost button answers 0, the others 1, 2, ... from the left. */
    return pressed + 1 >= requester.buttons.size() ? 0 : static_cast<int32>(pressed + 1);
}

// clang-format off
void *const intuitionVectors[] = {
    (void *)intuitionObtain, (void *)intuitionRelease, nullptr,
    nullptr,                 (void *)openWindowTagList, (void *)openWindowTags,
    (void *)closeWindow,     (void *)setWindowTitles,  (void *)lockPubScreen,
    (void *)unlockPubScreen, (void *)easyRequestArgs,  VECTOR_TABLE_END,
};
// clang-format on

} // namespace

void postWindowEvent(WindowRecord &record, uint32 eventClass)
{
    struct Window &w = record.window;
    if (!(w.IDCMPFlags & eventClass) || w.UserPort == nullptr)
        return;
    auto *message = new IntuiMessage{};
    message->ExecMessage.mn_ReplyPort = &record.replyPort;
    message->ExecMessage.mn_Length = sizeof(struct IntuiMessage);
    message->Class = eventClass;
    message->IDCMPWindow = &w;
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
    message->Seconds = static_cast<uint32>(micros / 1000000);
    message->Micros = static_cast<uint32>(micros % 1000000);
    {
        std::lock_guard lock(record.eventsLock);
        reclaimReplied(record);
        record.events.push_back(message);
    }
    ovexec_PutMsg(nullptr, w.UserPort, &message->ExecMessage);
}

bool copyInnerPixels(struct Window *window, std::vector<uint32> &pixels, uint32 &width,
                     uint32 &height)
{
    std::lock_guard lock(windowsLock);
    if (WindowRecord *record = findRecord(window)) {
        copyInner(*record, pixels, width, height);
        return true;
    }
    if (window != nullptr || lastClosedPicture.empty())
        return false;
    pixels = lastClosedPicture;
    width = lastClosedWidth;
    height = lastClosedHeight;
    return true;
}

/* ---- drawing into a window (Picasso96) ---- */

void writePixels(const struct RenderInfo *info, uint16 srcX, uint16 srcY, struct RastPort *rastPort,
                 uint16 destX, uint16 destY, uint16 sizeX, uint16 sizeY)
{
    if (info == nullptr || info->Memory == nullptr || rastPort == nullptr ||
        info->RGBFormat != RGBFB_A8R8G8B8 || info->BytesPerRow <= 0)
        return;
    WindowRecord *record;
    {
        std::lock_guard lock(windowsLock);
        auto found = std::find_if(openWindows.begin(), openWindows.end(),
                                  [&](WindowRecord *r) { return r->window.RPort == rastPort; });
        if (found == openWindows.end())
            return;
        record = *found;
        const struct Window &w = record->window;
        const uint32 width = std::min<uint32>(sizeX, destX < w.Width ? w.Width - destX : 0);
        const uint32 height = std::min<uint32>(sizeY, destY < w.Height ? w.Height - destY : 0);
        const auto *source = static_cast<const uint8 *>(info->Memory);
        std::lock_guard pixels(record->pixelsLock);
        for (uint32 row = 0; row < height; row++) {
            const uint8 *from = source + size_t(srcY + row) * size_t(info->BytesPerRow) +
                                size_t(srcX) * sizeof(uint32);
            std::memcpy(&record->pixels[size_t(destY + row) * w.Width + destX], from,
                        width * sizeof(uint32));
        }
        if (width == 0 || height == 0)
            return;
    }
    driver().present(*record);
}

} // namespace ov::display

using namespace ov::display;

void ov::exec::registerDisplayLibraries()
{
    ovRegisterBuiltinLibrary("intuition.library", 53, intuitionVectors);
    registerPicasso96Library();
}

struct Window *ovNewestWindow(void)
{
    std::lock_guard lock(windowsLock);
    return openWindows.empty() ? nullptr : &openWindows.back()->window;
}

BOOL ovWindowInnerSize(struct Window *window, uint32 *width, uint32 *height)
{
    std::lock_guard lock(windowsLock);
    WindowRecord *record = window != nullptr ? findRecord(window) : nullptr;
    if (record == nullptr)
        return FALSE;
    const struct Window &w = record->window;
    if (width != nullptr)
        *width = static_cast<uint32>(w.Width - w.BorderLeft - w.BorderRight);
    if (height != nullptr)
        *height = static_cast<uint32>(w.Height - w.BorderTop - w.BorderBottom);
    return TRUE;
}

BOOL ovReadWindowPixels(struct Window *window, uint32 *pixels, uint32 width, uint32 height)
{
    std::vector<uint32> inner;
    uint32 innerWidth = 0, innerHeight = 0;
    if (pixels == nullptr || !copyInnerPixels(window, inner, innerWidth, innerHeight))
        return FALSE;
    for (uint32 row = 0; row < height; row++) {
        for (uint32 column = 0; column < width; column++) {
            pixels[size_t(row) * width + column] = row < innerHeight && column < innerWidth
                                                       ? inner[size_t(row) * innerWidth + column]
                                                       : 0;
        }
    }
    return TRUE;
}

/* ---- test controls ---- */

void ovTestFailOpenWindow(BOOL on) { failOpenWindow = on != FALSE; }
void ovTestFailLockPubScreen(BOOL on) { failLockScreen = on != FALSE; }

uint32 ovTestOpenWindows(void)
{
    std::lock_guard lock(windowsLock);
    return static_cast<uint32>(openWindows.size());
}

uint32 ovTestPubScreenLocks(void) { return screenLocks.load(); }

struct Window *ovTestWaitForWindow(uint32 timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (struct Window *window = ovNewestWindow())
            return window;
        if (std::chrono::steady_clock::now() >= deadline)
            return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

static void copyText(const std::string &text, char *buffer, uint32 size)
{
    if (buffer == nullptr || size == 0)
        return;
    const size_t length = std::min<size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

BOOL ovTestWindowTitle(struct Window *window, char *title, uint32 size)
{
    std::lock_guard lock(windowsLock);
    WindowRecord *record = window != nullptr ? findRecord(window) : nullptr;
    if (record == nullptr)
        return FALSE;
    copyText(driver().shownTitle(*record), title, size);
    return TRUE;
}

void ovTestPostCloseWindow(struct Window *window)
{
    std::lock_guard lock(windowsLock);
    if (WindowRecord *record = window != nullptr ? findRecord(window) : nullptr)
        postWindowEvent(*record, IDCMP_CLOSEWINDOW);
}

uint32 ovTestRequesterCount(void)
{
    std::lock_guard lock(requestersLock);
    return static_cast<uint32>(shownRequesters.size());
}

BOOL ovTestRequester(uint32 index, char *title, char *body, char *buttons, uint32 size)
{
    std::lock_guard lock(requestersLock);
    if (index >= shownRequesters.size())
        return FALSE;
    const Requester &requester = shownRequesters[index];
    std::string joined;
    for (const std::string &button : requester.buttons)
        joined += (joined.empty() ? "" : "|") + button;
    copyText(requester.title, title, size);
    copyText(requester.body, body, size);
    copyText(joined, buttons, size);
    return TRUE;
}

void ovTestClearRequesters(void)
{
    std::lock_guard lock(requestersLock);
    shownRequesters.clear();
}

uint64 ovTestWindowSystemId(struct Window *window)
{
    std::lock_guard lock(windowsLock);
    WindowRecord *record = window != nullptr ? findRecord(window) : nullptr;
    return record != nullptr ? driver().systemId(*record) : 0;
}
