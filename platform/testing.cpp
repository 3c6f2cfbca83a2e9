/* Test controls that span several services. */
#include "testing.h"

void ovTestClearFaults(void)
{
    ovTestFailAllocation(0);
    ovTestFailAllocationsFrom(0);
    ovTestFailDosCall(0);
    ovTestShortDosRead(0);
    ovTestFailOpenLibrary(nullptr);
    ovTestFailGetInterface(nullptr, nullptr);
    ovTestFailAllocSignal(0);
    ovTestFailOpenWindow(FALSE);
    ovTestFailLockPubScreen(FALSE);
}
