/*
 * Tasks the platform starts, and programs run as tasks.
 *
 * On the real system every program shares one address space; here a
 * program (a loadable file with the entry `_start`, such as Zephrin) runs
 * as a new task, a thread, in the calling process, so the addresses it
 * exchanges with other tasks stay valid.
 *
 * Typical use by a host:
 *
 *     struct Task *vis = ovCreateProgramTask("Zephrin");   // found on the library path
 *     ...                                                   // serve its messages
 *     IExec->Signal(IExec, vis, SIGBREAKF_CTRL_C);          // ask it to end (optional)
 *     int32 result = ovWaitTask(vis);                       // joins and frees it
 *
 * Ctrl-C (SIGINT) while a program task runs sets SIGBREAKF_CTRL_C in every
 * running program task (and in every task that asked for it with
 * ovReceiveBreaks) instead of ending the process; with no such task left,
 * Ctrl-C ends the process as usual.
 */
#ifndef OV_PLATFORM_PROGRAM_H
#define OV_PLATFORM_PROGRAM_H

#include "exec.h"

OV_EXTERN_C_BEGIN

/* Starts entry(data) as a new task named `name` (FindTask finds it by that
 * name). NULL when no thread can be started. */
struct Task *ovCreateTask(const char *name, void (*entry)(void *data), void *data);

/* Loads the program file (a path, or a name looked up on the library path,
 * see ovSetLibraryPath) and runs its entry `_start` as a new task named
 * after the file. NULL when the file cannot be loaded or has no entry. */
struct Task *ovCreateProgramTask(const char *nameOrPath);

/* TRUE once the task's entry has returned. */
BOOL ovTaskHasEnded(struct Task *task);

/* Waits until the task's entry has returned, unloads a program's file and
 * frees the task with every signal it still holds. Returns the program's
 * result (0 for ovCreateTask tasks). Every task started here must be
 * waited for exactly once, by another task. */
int32 ovWaitTask(struct Task *task);

/* The calling task also receives SIGBREAKF_CTRL_C on Ctrl-C from now on
 * (on/off). */
void ovReceiveBreaks(BOOL on);

OV_EXTERN_C_END

#endif
