/* Whether --visualise has a display to show Zephrin on. */
#ifndef OV_HOST_DISPLAY_CHECK_H
#define OV_HOST_DISPLAY_CHECK_H

#include <string>

namespace orvane {

/* True when a window can be seen (or OV_DISPLAY=headless asks for one kept
 * in memory). Otherwise warns on standard error that `what` goes on
 * without the visualiser, and returns false. Chooses the display back end,
 * so call it only where any back end will do. */
bool displayForVisualiser(const std::string &what);

} // namespace orvane

#endif
