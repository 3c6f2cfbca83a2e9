/*
 * Controls for tests: counting what is alive and making the system's calls
 * fail on purpose. None of this exists on the real machine; components never
 * include this header.
 */
#ifndef OV_PLATFORM_TESTING_H
#define OV_PLATFORM_TESTING_H

#include "exec.h"

OV_EXTERN_C_BEGIN

/* ---- exec memory ---- */
/* Blocks handed out by AllocVec and not yet freed. */
uint32 ovTestLiveAllocations(void);
/* AllocVec calls made since start-up (successful or failed). */
uint64 ovTestAllocationCalls(void);
/* Make the n-th AllocVec call from now fail (1 = the next one); 0 clears. */
void ovTestFailAllocation(uint32 n);
/* Make every AllocVec call from the n-th one from now on fail; 0 clears. */
void ovTestFailAllocationsFrom(uint32 n);

/* ---- dos ---- */
/* Files opened by FOpen and not yet closed. */
uint32 ovTestOpenFiles(void);
/* FOpen, FRead and ChangeFilePosition calls made since start-up. */
uint64 ovTestDosCalls(void);
/* Make the n-th DOS call from now fail (1 = the next one); 0 clears.
 * Counted calls: FOpen, FRead, ChangeFilePosition. */
void ovTestFailDosCall(uint32 n);
/* Make the n-th FRead from now deliver one whole block fewer than asked
 * (the data of the missing block is not consumed); 0 clears. */
void ovTestShortDosRead(uint32 n);

/* ---- libraries ---- */
/* Make OpenLibrary of the named library fail while set (NULL clears). */
void ovTestFailOpenLibrary(const char *name);
/* Make GetInterface of the named interface of the named library fail
 * while set (NULL clears). */
void ovTestFailGetInterface(const char *library, const char *interface);

/* ---- tasks, signals, ports ---- */
/* Message ports made by CreateMsgPort and not yet deleted. */
uint32 ovTestLivePorts(void);
/* Signals held by the task (bits allocated with AllocSignal, beyond the
 * sixteen the system keeps), as a mask. */
uint32 ovTestAllocatedSignals(struct Task *task);
/* Make the n-th AllocSignal call from now fail (1 = the next one); 0
 * clears. Counts every signal allocation, including the ones made for
 * CreateMsgPort and for a window's UserPort. */
void ovTestFailAllocSignal(uint32 n);

/* ---- intuition and the display ---- */
/* Make the next OpenWindowTags / LockPubScreen calls fail while set. */
void ovTestFailOpenWindow(BOOL on);
void ovTestFailLockPubScreen(BOOL on);
/* Windows open, and locks held on the default public screen. */
uint32 ovTestOpenWindows(void);
uint32 ovTestPubScreenLocks(void);
/* Waits up to timeoutMs for a window to be open; returns the newest open
 * window, or NULL. */
struct Window *ovTestWaitForWindow(uint32 timeoutMs);
/* The window's title as the display shows it (the real window's title in
 * the SDL back end), cut to size bytes with the NUL. FALSE if not open. */
BOOL ovTestWindowTitle(struct Window *window, char *title, uint32 size);
/* Delivers a close-gadget event to the window, as a user's click would. */
void ovTestPostCloseWindow(struct Window *window);
/* Requesters shown since start-up (or the last clear), oldest first. Each
 * text is cut to size bytes with the NUL. FALSE when there is no index-th. */
uint32 ovTestRequesterCount(void);
BOOL ovTestRequester(uint32 index, char *title, char *body, char *buttons, uint32 size);
void ovTestClearRequesters(void);
/* The native window system's handle of the window (an X11 window id in
 * the SDL back end on X11), 0 when there is none. */
uint64 ovTestWindowSystemId(struct Window *window);

/* Clear every fault set above. */
void ovTestClearFaults(void);

OV_EXTERN_C_END

#endif
