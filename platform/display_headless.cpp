/* The headless back end: windows live only in memory (their pixels are
 * Intuition's own), requesters go to standard error and count as answered
 * with their rightmost button. Every slot is the core's default. */
#include "display_backend.h"

namespace ov::display {

const Driver headlessDriver = {"headless"};

} // namespace ov::display
