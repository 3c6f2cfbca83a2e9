/*
 * The display behind Intuition and Picasso96: which back end shows the
 * windows, and reading back what a window shows.
 *
 * The back ends, by name:
 * - "sdl": a real window per Intuition window (title, close gadget, the
 *   inner area's pixels), message boxes for requesters. Built only with
 *   OV_WITH_SDL; chosen automatically when a display is present (DISPLAY
 *   or WAYLAND_DISPLAY set and SDL's video starts).
 * - "headless": windows exist only in memory; requesters are printed to
 *   standard error as title, body and buttons. Always there, and the
 *   automatic choice when no other back end starts.
 * The choice is made at the first window, screen or requester call: an
 * earlier ovSetDisplayName or ovSetDisplay, else the environment variable
 * OV_DISPLAY (a name or "auto"), else automatically as above. A name that
 * is not there or does not start falls back to the automatic choice.
 *
 * Pixels read back are native 32-bit words 0x00RRGGBB, row after row.
 */
#ifndef OV_PLATFORM_DISPLAY_H
#define OV_PLATFORM_DISPLAY_H

#include "exec.h"
#include "intuition.h"

OV_EXTERN_C_BEGIN

/* Asks for a back end by name (NULL or "auto": the automatic choice)
 * before the first window opens. FALSE when the choice is already made
 * differently, or the back end is not in this build or cannot start on
 * this machine. */
BOOL ovSetDisplayName(const char *name);

/* The same, naming "headless" or "sdl" by kind ("auto": OV_DISPLAY_AUTO). */
enum OvDisplayKind {
    OV_DISPLAY_AUTO = 0,
    OV_DISPLAY_HEADLESS = 1,
    OV_DISPLAY_SDL = 2,
};
BOOL ovSetDisplay(enum OvDisplayKind kind);

/* The name of the back end in use (choosing it now if not yet chosen). */
const char *ovDisplayName(void);

/* The window opened last that is still open, or NULL. */
struct Window *ovNewestWindow(void);

/* Inner size of a window (the area inside its borders). */
BOOL ovWindowInnerSize(struct Window *window, uint32 *width, uint32 *height);

/* Copies the window's inner area, width x height words, into `pixels`
 * (which holds at least width * height words). With window NULL: the
 * newest open window, or when none is open the last picture of the window
 * that closed last. FALSE when there is no such window. */
BOOL ovReadWindowPixels(struct Window *window, uint32 *pixels, uint32 width, uint32 height);

/* Writes the inner area (window as for ovReadWindowPixels) as an 8-bit RGB
 * PNG file. FALSE when there is no window or the file cannot be written. */
BOOL ovSaveWindowPNG(struct Window *window, const char *path);

OV_EXTERN_C_END

#endif
