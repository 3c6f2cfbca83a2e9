/*
 * Tasks the platform starts, programs run as tasks, and Ctrl-C turned into
 * the break signal of the running programs.
 *
 * Ctrl-C arrives as SIGINT in whatever thread; the handler may do almost
 * nothing, so it only writes a byte into a pipe, and a watcher thread that
 * reads the pipe delivers SIGBREAKF_CTRL_C under the normal locks.
 */
#include "program.h"
#include "exec_internal.h"
#include "platform.h"
#include "task_internal.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

namespace {

using namespace ov::exec;

void runTask(struct Task *task)
{
    setCurrentTask(task);
    if (task->segment != 0)
        task->result = ovRunSegment(task->segment);
    else
        task->entry(task->data);
    task->ended = true;
}

struct Task *startTask(struct Task *task, const char *name)
{
    registerTask(task, name);
    try {
        task->thread = std::thread(runTask, task);
    } catch (const std::system_error &) {
        unregisterTask(task);
        delete task;
        return nullptr;
    }
    return task;
}

/* ---- Ctrl-C ---- */

int breakPipe[2] = {-1, -1};
struct sigaction previousInterrupt;

void onInterrupt(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] ssize_t written = write(breakPipe[1], &byte, 1);
    errno = saved;
}

/* With nobody to receive the break, Ctrl-C does what it did before. */
void passInterruptOn()
{
    if (previousInterrupt.sa_handler == SIG_IGN)
        return;
    if (previousInterrupt.sa_handler == SIG_DFL) {
        sigaction(SIGINT, &previousInterrupt, nullptr);
        raise(SIGINT);
        return;
    }
    if (!(previousInterrupt.sa_flags & SA_SIGINFO) && previousInterrupt.sa_handler != nullptr)
        previousInterrupt.sa_handler(SIGINT);
}

void deliverBreaks()
{
    char byte;
    while (read(breakPipe[0], &byte, 1) == 1) {
        bool delivered = false;
        {
            std::lock_guard registry(tasksLock());
            for (struct Task *task : liveTasks()) {
                if ((task->isProgram && !task->ended) || task->receivesBreaks) {
                    std::lock_guard lock(task->lock);
                    task->sigRecvd |= SIGBREAKF_CTRL_C;
                    task->wake.notify_all();
                    delivered = true;
                }
            }
        }
        if (!delivered)
            passInterruptOn();
    }
}

void catchInterrupts()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (pipe(breakPipe) != 0)
            return;
        fcntl(breakPipe[0], F_SETFD, FD_CLOEXEC);
        fcntl(breakPipe[1], F_SETFD, FD_CLOEXEC);
        std::thread(deliverBreaks).detach();
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, &previousInterrupt);
    });
}

} // namespace

struct Task *ovCreateTask(const char *name, void (*entry)(void *data), void *data)
{
    if (entry == nullptr)
        return nullptr;
    auto *task = new Task;
    task->entry = entry;
    task->data = data;
    return startTask(task, name);
}

struct Task *ovCreateProgramTask(const char *nameOrPath)
{
    BPTR segment = ovLoadSeg(nameOrPath);
    if (segment == 0)
        return nullptr;
    if (ovSegmentSymbol(segment, "_start") == nullptr) {
        ovUnLoadSeg(segment);
        return nullptr;
    }
    catchInterrupts();
    auto *task = new Task;
    task->segment = segment;
    task->isProgram = true;
    const char *slash = std::strrchr(nameOrPath, '/');
    struct Task *started = startTask(task, slash != nullptr ? slash + 1 : nameOrPath);
    if (started == nullptr)
        ovUnLoadSeg(segment);
    return started;
}

BOOL ovTaskHasEnded(struct Task *task) { return task != nullptr && task->ended ? TRUE : FALSE; }

int32 ovWaitTask(struct Task *task)
{
    if (task == nullptr)
        return -1;
    if (task->thread.joinable())
        task->thread.join();
    unregisterTask(task);
    if (task->segment != 0)
        ovUnLoadSeg(task->segment);
    const int32 result = task->result;
    delete task;
    return result;
}

void ovReceiveBreaks(BOOL on)
{
    if (on)
        catchInterrupts();
    currentTask()->receivesBreaks = on != FALSE;
}
