/*
 * What Intuition keeps for a window, and the back ends that show windows:
 * each is a small table of functions (a name, starting, opening and
 * closing the real window, retitling, presenting new pixels, requesters),
 * chosen once at the first use (display_select.cpp).
 */
#ifndef OV_PLATFORM_DISPLAY_BACKEND_H
#define OV_PLATFORM_DISPLAY_BACKEND_H

#include "display.h"
#include "intuition.h"
#include "picasso96.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace ov::display {

struct WindowRecord {
    Window window{};
    RastPort rastPort{};
    MsgPort userPort{};
    MsgPort replyPort{}; /* the window's WindowPort */

    /* The whole window, borders included: Width x Height native words
     * 0x00RRGGBB. Written by p96WritePixelArray, read by the back end. */
    std::mutex pixelsLock;
    std::vector<uint32> pixels;
    std::string shownTitle; /* the title as handed to the back end */

    /* Every IntuiMessage of the window not yet reclaimed. */
    std::mutex eventsLock;
    std::vector<struct IntuiMessage *> events;

    std::atomic<bool> presentPending{false};
    void *backend = nullptr; /* the back end's own window */
};

struct Requester {
    std::string title;
    std::string body;
    std::vector<std::string> buttons;
};

/* A back end, found by its name (OV_DISPLAY, ovSetDisplayName) in the
 * table of display_select.cpp. Slots left null get the core's default once
 * the back end is chosen: always ready; windows open and need nothing
 * more; requesters answered on the console (answerOnConsole); the title
 * shown is Intuition's own; no system window id. */
struct Driver {
    const char *name;
    /* Gets the back end ready; false when it cannot run here. byName: asked
     * for by name rather than tried by the automatic choice. */
    bool (*start)(bool byName);
    bool (*openWindow)(WindowRecord &record);
    void (*closeWindow)(WindowRecord &record);
    void (*setTitle)(WindowRecord &record);
    /* New pixels are in record.pixels; may show them later. */
    void (*present)(WindowRecord &record);
    /* Returns the index of the button pressed, counted from the left. */
    size_t (*showRequester)(const Requester &requester);
    /* The title the real window shows. */
    std::string (*shownTitle)(WindowRecord &record);
    uint64 (*systemId)(WindowRecord &record);
};

extern const Driver headlessDriver;
extern const Driver sdlDriver;

/* The back end in use, chosen at the first call, its empty slots filled. */
const Driver &driver();

/* Prints a requester on standard error and answers it with its rightmost
 * button: the default way to show one. */
size_t answerOnConsole(const Requester &requester);

/* The inner area's geometry: the window's borders. */
inline constexpr int8 borderLeft = 4;
inline constexpr int8 borderTop = 20;
inline constexpr int8 borderRight = 4;
inline constexpr int8 borderBottom = 4;

/* Sends an IntuiMessage of the class to the window's task when it asked
 * for that class. Safe from any thread while the window is open. */
void postWindowEvent(WindowRecord &record, uint32 eventClass);

/* The inner area of the window (NULL: the newest open one, or the last
 * picture of the window closed last), row after row. */
bool copyInnerPixels(struct Window *window, std::vector<uint32> &pixels, uint32 &width,
                     uint32 &height);

/* p96WritePixelArray: copies a rectangle of memory pixels into the
 * window the RastPort belongs to, clipped to it, and presents it. */
void writePixels(const struct RenderInfo *info, uint16 srcX, uint16 srcY, struct RastPort *rastPort,
                 uint16 destX, uint16 destY, uint16 sizeX, uint16 sizeY);
void registerPicasso96Library();

} // namespace ov::display

#endif
