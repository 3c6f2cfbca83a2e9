/* The task record and the pieces of the task services other platform
 * sources use. */
#ifndef OV_PLATFORM_TASK_INTERNAL_H
#define OV_PLATFORM_TASK_INTERNAL_H

#include "exec.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>

/* A task is a thread with 32 signal bits. The low sixteen bits belong to
 * the system (SIGBREAKF_CTRL_C and friends among them); AllocSignal hands
 * out the upper sixteen. */
struct Task {
    struct Node tc_Node; /* ln_Type NT_TASK, ln_Name the task's name */

    std::string name;
    std::mutex lock; /* guards the three signal words */
    std::condition_variable wake;
    uint32 sigAlloc = 0x0000FFFFu;
    uint32 sigRecvd = 0;
    uint32 sigWait = 0;

    /* Tasks the platform started (ovCreateTask, ovCreateProgramTask). */
    std::thread thread;
    void (*entry)(void *) = nullptr;
    void *data = nullptr;
    BPTR segment = 0; /* a program's loaded file */
    int32 result = 0;
    std::atomic<bool> ended{false};

    bool isProgram = false;
    std::atomic<bool> receivesBreaks{false};
};

namespace ov::exec {

/* Every task that exists, under tasksLock. */
std::mutex &tasksLock();
std::set<struct Task *> &liveTasks();
void registerTask(struct Task *task, const char *name);
void unregisterTask(struct Task *task);
/* Makes `task` the calling thread's task (for threads the platform starts). */
void setCurrentTask(struct Task *task);

/* The calling thread's task, created on first use for threads the
 * platform did not start. */
struct Task *currentTask();
/* Signal bit allocation for a task, honouring the test's injected
 * failures; -1 when none is free. */
int8 allocSignal(struct Task *task, int8 signal);
void freeSignal(struct Task *task, int8 signal);
void signalTask(struct Task *task, uint32 signals);
uint32 waitSignals(uint32 signals);

/* A port made inside the platform (a window's UserPort): signal bit from
 * the given task, or no signal at all with task NULL (PA_IGNORE). FALSE
 * when no signal bit is free. */
bool initPort(struct MsgPort *port, struct Task *task);
void releasePort(struct MsgPort *port);

} // namespace ov::exec

#endif
