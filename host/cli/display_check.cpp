#include "host/cli/display_check.h"

#include "platform/display.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace orvane {

bool displayForVisualiser(const std::string &what)
{
    constexpr std::string_view kHeadless = "headless";
    if (ovDisplayName() != kHeadless)
        return true;
    const char *asked = std::getenv("OV_DISPLAY");
    if (asked != nullptr && asked == kHeadless)
        return true;
    std::fflush(stdout);
    std::fprintf(stderr,
                 "orvane: warning: no display for --visualise (no X11 or Wayland display "
                 "found); %s goes on without the visualiser\n",
                 what.c_str());
    return false;
}

} // namespace orvane
