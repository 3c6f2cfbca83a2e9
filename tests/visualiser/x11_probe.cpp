#include "x11_probe.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace ovtest::x11 {

namespace {
Display *display = nullptr; /* open until the test program ends */
}

bool connect()
{
    display = XOpenDisplay(nullptr);
    return display != nullptr;
}

bool screenshot(uint64_t window, int &width, int &height, std::vector<uint32_t> &pixels)
{
    const ::Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    int x = 0, y = 0;
    ::Window child;
    if (!XGetWindowAttributes(display, window, &attributes) ||
        !XTranslateCoordinates(display, window, root, 0, 0, &x, &y, &child))
        return false;
    width = attributes.width;
    height = attributes.height;
    XImage *image = XGetImage(display, root, x, y, width, height, AllPlanes, ZPixmap);
    if (image == nullptr)
        return false;
    pixels.resize(size_t(width) * height);
    for (int row = 0; row < height; row++)
        for (int column = 0; column < width; column++)
            pixels[size_t(row) * width + column] =
                static_cast<uint32_t>(XGetPixel(image, column, row)) & 0x00FFFFFFu;
    XDestroyImage(image);
    return true;
}

void requestClose(uint64_t window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

} // namespace ovtest::x11
