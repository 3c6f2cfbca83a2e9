/* Zephrin's parts as they call each other: the system interfaces the
 * start-up opens, the display and its loop, the connection to the player. */
#ifndef OV_VISUALISER_ZEPHRIN_H
#define OV_VISUALISER_ZEPHRIN_H

#include "../platform/exec.h"
#include "../platform/intuition.h"
#include "../platform/picasso96.h"

extern struct ExecIFace *IExec;
extern struct IntuitionIFace *IIntuition;
extern struct P96IFace *IP96;

/* ---- display (display.cpp) ---- */

/* Opens the window, locks the public screen, prepares the renderer:
 * 1 on success; on failure whatever was opened stays for closeDisplay. */
int32 openDisplay();
/* Draws a frame per data signal and follows the song name per info
 * signal, until the close gadget or a break. The slots are the variables
 * the player fills; they are only read. */
void runEventLoop(uint32 dataSignalMask, uint32 infoSignalMask, APTR *sampleBufferSlot,
                  APTR *firstSpectrumSlot, APTR *secondSpectrumSlot, APTR *trackInfoSlot);
/* Closes the window and unlocks the screen, each only if held. */
void closeDisplay();

/* ---- connection (connection.cpp) ---- */

/* The program: attach to the player, run, detach, release. */
int32 zephrinMain();

#endif
