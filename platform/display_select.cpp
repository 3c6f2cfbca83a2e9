/*
 * Choosing the display back end: a table of back ends tried in order, the
 * first one asked for by name (ovSetDisplayName, else OV_DISPLAY) or else
 * the first that starts; and the defaults for the slots a back end leaves
 * empty, filled in once when it is chosen.
 */
#include "display_backend.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ov::display {

namespace {

/* In the order the automatic choice tries them; the last starts anywhere. */
const Driver *const drivers[] = {
#if OV_WITH_SDL
    &sdlDriver,
#endif
    &headlessDriver,
};

bool openInMemory(WindowRecord &) { return true; }
void nothingToShow(WindowRecord &) {}
std::string intuitionTitle(WindowRecord &record) { return record.shownTitle; }
uint64 noSystemId(WindowRecord &) { return 0; }

template <typename Slot> void fillEmpty(Slot &slot, Slot fallback)
{
    if (slot == nullptr)
        slot = fallback;
}

Driver withDefaults(Driver driver)
{
    fillEmpty(driver.openWindow, openInMemory);
    fillEmpty(driver.closeWindow, nothingToShow);
    fillEmpty(driver.setTitle, nothingToShow);
    fillEmpty(driver.present, nothingToShow);
    fillEmpty(driver.showRequester, answerOnConsole);
    fillEmpty(driver.shownTitle, intuitionTitle);
    fillEmpty(driver.systemId, noSystemId);
    return driver;
}

bool isAutomatic(const char *name)
{
    return name == nullptr || *name == '\0' || std::strcmp(name, "auto") == 0;
}

const Driver *findDriver(const char *name)
{
    for (const Driver *candidate : drivers) {
        if (std::strcmp(candidate->name, name) == 0)
            return candidate;
    }
    return nullptr;
}

bool starts(const Driver &candidate, bool byName)
{
    return candidate.start == nullptr || candidate.start(byName);
}

const Driver &choose(const char *name)
{
    if (!isAutomatic(name)) {
        const Driver *named = findDriver(name);
        if (named != nullptr && starts(*named, true))
            return *named;
        std::fprintf(stderr, "display \"%s\" %s: choosing another\n", name,
                     named != nullptr ? "not available" : "not in this build");
    }
    for (const Driver *candidate : drivers) {
        if (starts(*candidate, false))
            return *candidate;
    }
    return headlessDriver;
}

std::mutex driverLock;
Driver chosen{};           /* once chosen, never changed */
std::string requestedName; /* by ovSetDisplayName; empty: OV_DISPLAY decides */

} // namespace

const Driver &driver()
{
    std::lock_guard lock(driverLock);
    if (chosen.name == nullptr) {
        const char *name =
            !requestedName.empty() ? requestedName.c_str() : std::getenv("OV_DISPLAY");
        chosen = withDefaults(choose(name));
    }
    return chosen;
}

size_t answerOnConsole(const Requester &requester)
{
    std::string buttons;
    for (const std::string &button : requester.buttons)
        buttons += "[" + button + "] ";
    std::fprintf(stderr, "--- %s ---\n%s\n%s\n", requester.title.c_str(), requester.body.c_str(),
                 buttons.c_str());
    return requester.buttons.empty() ? 0 : requester.buttons.size() - 1;
}

} // namespace ov::display

using namespace ov::display;

BOOL ovSetDisplayName(const char *name)
{
    std::lock_guard lock(driverLock);
    if (chosen.name != nullptr)
        return isAutomatic(name) || std::strcmp(chosen.name, name) == 0 ? TRUE : FALSE;
    if (!isAutomatic(name)) {
        const Driver *named = findDriver(name);
        if (named == nullptr || !starts(*named, true))
            return FALSE;
    }
    requestedName = isAutomatic(name) ? "" : name;
    return TRUE;
}

BOOL ovSetDisplay(enum OvDisplayKind kind)
{
    switch (kind) {
    case OV_DISPLAY_HEADLESS: return ovSetDisplayName("headless");
    case OV_DISPLAY_SDL: return ovSetDisplayName("sdl");
    default: return ovSetDisplayName(nullptr);
    }
}

const char *ovDisplayName(void) { return driver().name; }
