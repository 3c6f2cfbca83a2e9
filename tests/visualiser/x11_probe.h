/* Looking at a window through the X server, the way a user sees it. Apart
 * from the tests themselves: X11's own Window type would clash with
 * Intuition's. */
#ifndef OV_TESTS_VISUALISER_X11_PROBE_H
#define OV_TESTS_VISUALISER_X11_PROBE_H

#include <cstdint>
#include <vector>

namespace ovtest::x11 {

bool connect();
/* The window's size as the X server has it, and what the screen shows in
 * its area: width x height 0x00RRGGBB. */
bool screenshot(uint64_t window, int &width, int &height, std::vector<uint32_t> &pixels);
/* Asks the window to close as a window manager's close button does. */
void requestClose(uint64_t window);

} // namespace ovtest::x11

#endif
