/*
 * The SDL2 back end. SDL's video calls must all come from one thread: on
 * Linux (X11, Wayland) that may be any thread, as long as it is always the
 * same one, so the back end runs its own display thread for the life of the
 * process. It owns every SDL window and the event loop; the tasks' calls
 * are handed to it as jobs (waiting for the ones whose answer they need),
 * and a close-gadget click there becomes an IDCMP_CLOSEWINDOW message at
 * the window's UserPort. The host's main thread stays free for SDL audio.
 */
#include "display_backend.h"

#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <thread>

namespace ov::display {

uint64 sdlSystemWindowId(SDL_Window *window); /* display_sdl_wm.cpp */

namespace {

/* Never destroyed: the display thread runs until the process ends. */
struct DisplayThread {
    std::mutex queueLock;
    std::deque<std::function<void()>> jobs;
    std::thread::id id;
    Uint32 wakeEvent = 0;
    std::map<Uint32, WindowRecord *> windows; /* by SDL window id; display thread only */
};
DisplayThread &display()
{
    static auto *thread = new DisplayThread;
    return *thread;
}

void post(std::function<void()> job)
{
    DisplayThread &d = display();
    {
        std::lock_guard lock(d.queueLock);
        d.jobs.push_back(std::move(job));
    }
    SDL_Event wake{};
    wake.type = d.wakeEvent;
    SDL_PushEvent(&wake);
}

/* Runs the job on the display thread and waits for it; jobs run in the
 * order they were handed over. */
void runOnDisplay(const std::function<void()> &job)
{
    if (std::this_thread::get_id() == display().id) {
        job();
        return;
    }
    std::promise<void> done;
    post([&] {
        job();
        done.set_value();
    });
    done.get_future().wait();
}

void runJobs()
{
    DisplayThread &d = display();
    for (;;) {
        std::function<void()> job;
        {
            std::lock_guard lock(d.queueLock);
            if (d.jobs.empty())
                return;
            job = std::move(d.jobs.front());
            d.jobs.pop_front();
        }
        job();
    }
}

/* Latin-1 text (the system's) as UTF-8 (SDL's). */
std::string latin1ToUtf8(const std::string &text)
{
    std::string utf8;
    for (unsigned char c : text) {
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

SDL_Window *sdlWindow(WindowRecord &record) { return static_cast<SDL_Window *>(record.backend); }

void presentNow(WindowRecord &record)
{
    SDL_Window *window = sdlWindow(record);
    SDL_Surface *surface = SDL_GetWindowSurface(window);
    if (surface == nullptr)
        return;
    const struct Window &w = record.window;
    const int innerWidth = w.Width - w.BorderLeft - w.BorderRight;
    const int innerHeight = w.Height - w.BorderTop - w.BorderBottom;
    {
        std::lock_guard lock(record.pixelsLock);
        /* The pixel words are 0x00RRGGBB in the machine's order: SDL's RGB888. */
        SDL_ConvertPixels(std::min(innerWidth, surface->w), std::min(innerHeight, surface->h),
                          SDL_PIXELFORMAT_RGB888,
                          &record.pixels[size_t(w.BorderTop) * w.Width + w.BorderLeft], w.Width * 4,
                          surface->format->format, surface->pixels, surface->pitch);
    }
    SDL_UpdateWindowSurface(window);
}

void handleEvent(const SDL_Event &event)
{
    if (event.type != SDL_WINDOWEVENT)
        return;
    auto found = display().windows.find(event.window.windowID);
    if (found == display().windows.end())
        return;
    switch (event.window.event) {
    case SDL_WINDOWEVENT_CLOSE: postWindowEvent(*found->second, IDCMP_CLOSEWINDOW); break;
    case SDL_WINDOWEVENT_EXPOSED: presentNow(*found->second); break;
    default: break;
    }
}

void displayLoop(std::promise<bool> *started)
{
    DisplayThread &d = display();
    d.id = std::this_thread::get_id();
    /* Ctrl-C belongs to the platform's break handling, not to SDL. */
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        started->set_value(false);
        return;
    }
    d.wakeEvent = SDL_RegisterEvents(1);
    started->set_value(true);
    for (;;) {
        SDL_Event event;
        if (SDL_WaitEventTimeout(&event, 100))
            handleEvent(event);
        runJobs();
    }
}

bool openWindow(WindowRecord &record)
{
    bool opened = false;
    runOnDisplay([&] {
        const struct Window &w = record.window;
        SDL_Window *window =
            SDL_CreateWindow(latin1ToUtf8(record.shownTitle).c_str(), w.LeftEdge, w.TopEdge,
                             w.Width - w.BorderLeft - w.BorderRight,
                             w.Height - w.BorderTop - w.BorderBottom, SDL_WINDOW_SHOWN);
        if (window == nullptr)
            return;
        record.backend = window;
        display().windows[SDL_GetWindowID(window)] = &record;
        presentNow(record);
        opened = true;
    });
    return opened;
}

void closeWindow(WindowRecord &record)
{
    runOnDisplay([&] {
        display().windows.erase(SDL_GetWindowID(sdlWindow(record)));
        SDL_DestroyWindow(sdlWindow(record));
        record.backend = nullptr;
    });
}

void setTitle(WindowRecord &record)
{
    post([window = sdlWindow(record), title = latin1ToUtf8(record.shownTitle)] {
        SDL_SetWindowTitle(window, title.c_str());
    });
}

void present(WindowRecord &record)
{
    /* Frames that come faster than the screen shows them are merged. */
    if (record.presentPending.exchange(true))
        return;
    post([&record] {
        record.presentPending = false;
        presentNow(record);
    });
}

size_t showRequester(const Requester &requester)
{
    std::vector<SDL_MessageBoxButtonData> buttons;
    for (size_t i = 0; i < requester.buttons.size(); i++)
        buttons.push_back({0, static_cast<int>(i), requester.buttons[i].c_str()});
    buttons.back().flags = SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
    const std::string title = latin1ToUtf8(requester.title), body = latin1ToUtf8(requester.body);
    const SDL_MessageBoxData box = {
        SDL_MESSAGEBOX_INFORMATION | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT,
        nullptr,
        title.c_str(),
        body.c_str(),
        static_cast<int>(buttons.size()),
        buttons.data(),
        nullptr,
    };
    int pressed = -1;
    runOnDisplay([&] {
        if (SDL_ShowMessageBox(&box, &pressed) != 0)
            pressed = -1;
    });
    if (pressed < 0)
        return answerOnConsole(requester);
    return static_cast<size_t>(pressed);
}

std::string shownTitle(WindowRecord &record)
{
    std::string title;
    runOnDisplay([&] { title = SDL_GetWindowTitle(sdlWindow(record)); });
    return title;
}

uint64 systemId(WindowRecord &record)
{
    uint64 id = 0;
    runOnDisplay([&] { id = sdlSystemWindowId(sdlWindow(record)); });
    return id;
}

bool displayPresent()
{
    const char *x11 = std::getenv("DISPLAY");
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

/* Chosen automatically only where the machine shows windows; SDL's video
 * is started once, and only the first answer counts. */
bool start(bool byName)
{
    if (!byName && !displayPresent())
        return false;
    static const bool started = [] {
        std::promise<bool> result;
        std::thread(displayLoop, &result).detach();
        return result.get_future().get();
    }();
    return started;
}

} // namespace

const Driver sdlDriver = {
    "sdl", start, openWindow, closeWindow, setTitle, present, showRequester, shownTitle, systemId,
};

} // namespace ov::display
