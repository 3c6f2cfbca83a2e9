/* The headless back end: windows live only in memory (their pixels are
 * Intuition's own), requesters go to standard error and count as answered
 * with their rightmost button. */
#include "display_backend.h"

namespace ov::display {

namespace {

bool openWindow(WindowRecord &) { return true; }
void closeWindow(WindowRecord &) {}
void setTitle(WindowRecord &) {}
void present(WindowRecord &) {}

size_t showRequester(const Requester &requester)
{
    printRequester(requester);
    return requester.buttons.empty() ? 0 : requester.buttons.size() - 1;
}

std::string shownTitle(WindowRecord &record) { return record.shownTitle; }
uint64 systemId(WindowRecord &) { return 0; }

} // namespace

const Driver headlessDriver = {
    "headless", openWindow, closeWindow, setTitle, present, showRequester, shownTitle, systemId,
};

} // namespace ov::display
