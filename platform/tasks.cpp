/*
 * Tasks and signals. Every thread is a task: the platform's own (started by
 * ovCreateTask) carry a record from the start, any other thread (the host's
 * main thread, a test's thread) gets one the first time it asks for itself.
 * Wait sleeps on the task's condition variable until one of the awaited
 * bits is set by Signal.
 */
#include "exec_internal.h"
#include "task_internal.h"
#include "testing.h"

#include <memory>
#include <set>

namespace {

std::atomic<uint64> allocSignalCalls{0};
std::atomic<uint64> failSignalAtCall{0}; /* 0: none */

/* The record of a thread the platform did not start, freed with the thread. */
struct ForeignTaskDeleter {
    void operator()(struct Task *task) const;
};
thread_local std::unique_ptr<struct Task, ForeignTaskDeleter> foreignTask;
thread_local struct Task *runningTask = nullptr;

void ForeignTaskDeleter::operator()(struct Task *task) const
{
    ov::exec::unregisterTask(task);
    delete task;
}

} // namespace

namespace ov::exec {

std::mutex &tasksLock()
{
    static std::mutex lock;
    return lock;
}

std::set<struct Task *> &liveTasks()
{
    static std::set<struct Task *> all;
    return all;
}

void registerTask(struct Task *task, const char *name)
{
    task->name = name != nullptr ? name : "";
    task->tc_Node.ln_Type = NT_TASK;
    task->tc_Node.ln_Name = task->name.data();
    std::lock_guard lock(tasksLock());
    liveTasks().insert(task);
}

void unregisterTask(struct Task *task)
{
    std::lock_guard lock(tasksLock());
    liveTasks().erase(task);
}

void setCurrentTask(struct Task *task) { runningTask = task; }

struct Task *currentTask()
{
    if (runningTask == nullptr) {
        foreignTask.reset(new Task);
        registerTask(foreignTask.get(), "host task");
        runningTask = foreignTask.get();
    }
    return runningTask;
}

int8 allocSignal(struct Task *task, int8 signal)
{
    const uint64 call = ++allocSignalCalls;
    if (call == failSignalAtCall.load())
        return -1;
    std::lock_guard lock(task->lock);
    int bit = -1;
    if (signal == -1) {
        for (int candidate = 31; candidate >= 0 && bit < 0; candidate--) {
            if (!(task->sigAlloc & (1u << candidate)))
                bit = candidate;
        }
    } else if (signal >= 0 && signal < 32 && !(task->sigAlloc & (1u << signal))) {
        bit = signal;
    }
    if (bit < 0)
        return -1;
    task->sigAlloc |= 1u << bit;
    task->sigRecvd &= ~(1u << bit);
    return static_cast<int8>(bit);
}

void freeSignal(struct Task *task, int8 signal)
{
    if (task == nullptr || signal < 0 || signal > 31)
        return;
    std::lock_guard lock(task->lock);
    task->sigAlloc &= ~(1u << signal);
}

void signalTask(struct Task *task, uint32 signals)
{
    if (task == nullptr)
        return;
    /* A task that has gone is not signalled: its record is not touched. */
    std::lock_guard registry(tasksLock());
    if (liveTasks().count(task) == 0)
        return;
    std::lock_guard lock(task->lock);
    task->sigRecvd |= signals;
    if (task->sigRecvd & task->sigWait)
        task->wake.notify_all();
}

uint32 waitSignals(uint32 signals)
{
    if (signals == 0)
        return 0;
    struct Task *task = currentTask();
    std::unique_lock lock(task->lock);
    task->sigWait = signals;
    task->wake.wait(lock, [&] { return (task->sigRecvd & signals) != 0; });
    task->sigWait = 0;
    const uint32 received = task->sigRecvd & signals;
    task->sigRecvd &= ~received;
    return received;
}

} // namespace ov::exec

using namespace ov::exec;

struct Task *ovexec_FindTask(struct ExecIFace *, CONST_STRPTR name)
{
    if (name == nullptr)
        return currentTask();
    std::lock_guard lock(tasksLock());
    for (struct Task *task : liveTasks()) {
        if (task->name == name)
            return task;
    }
    return nullptr;
}

int8 ovexec_AllocSignal(struct ExecIFace *, int8 signal)
{
    return allocSignal(currentTask(), signal);
}

void ovexec_FreeSignal(struct ExecIFace *, int8 signal) { freeSignal(currentTask(), signal); }

void ovexec_Signal(struct ExecIFace *, struct Task *task, uint32 signals)
{
    signalTask(task, signals);
}

uint32 ovexec_Wait(struct ExecIFace *, uint32 signals) { return waitSignals(signals); }

uint32 ovexec_SetSignal(struct ExecIFace *, uint32 newSignals, uint32 signalMask)
{
    struct Task *task = currentTask();
    std::lock_guard lock(task->lock);
    const uint32 old = task->sigRecvd;
    task->sigRecvd = (old & ~signalMask) | (newSignals & signalMask);
    return old;
}

uint32 ovTestAllocatedSignals(struct Task *task)
{
    if (task == nullptr)
        return 0;
    std::lock_guard lock(task->lock);
    return task->sigAlloc & 0xFFFF0000u;
}

void ovTestFailAllocSignal(uint32 n)
{
    failSignalAtCall = n == 0 ? 0 : allocSignalCalls.load() + n;
}

/* The system's other libraries exist from start-up, as on the real machine. */
[[maybe_unused]] static const bool displayLibrariesRegistered = (registerDisplayLibraries(), true);
