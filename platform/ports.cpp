/*
 * Message ports. A port's message list is shared between the tasks that put
 * and the task that gets, so every list change happens under one lock; the
 * public port list is the system's, under Forbid (the system lock), which
 * is always taken before the message lock.
 */
#include "exec_internal.h"
#include "task_internal.h"
#include "testing.h"

namespace {

using namespace ov::exec;

std::mutex &messageLock()
{
    static std::mutex lock;
    return lock;
}

std::atomic<uint32> livePorts{0};

void notifyOwner(struct MsgPort *port)
{
    if ((port->mp_Flags & 3) == PA_SIGNAL && port->mp_SigTask != nullptr)
        signalTask(port->mp_SigTask, 1u << port->mp_SigBit);
}

void queueMessage(struct MsgPort *port, struct Message *message, uint8 type)
{
    {
        std::lock_guard lock(messageLock());
        message->mn_Node.ln_Type = type;
        addTail(&port->mp_MsgList, &message->mn_Node);
    }
    notifyOwner(port);
}

} // namespace

namespace ov::exec {

bool initPort(struct MsgPort *port, struct Task *task)
{
    *port = {};
    port->mp_Node.ln_Type = NT_MSGPORT;
    port->mp_Flags = PA_IGNORE;
    if (task != nullptr) {
        const int8 bit = allocSignal(task, -1);
        if (bit < 0)
            return false;
        port->mp_Flags = PA_SIGNAL;
        port->mp_SigBit = static_cast<uint8>(bit);
        port->mp_SigTask = task;
    }
    newList(&port->mp_MsgList);
    return true;
}

void releasePort(struct MsgPort *port)
{
    if ((port->mp_Flags & 3) == PA_SIGNAL)
        freeSignal(port->mp_SigTask, static_cast<int8>(port->mp_SigBit));
    port->mp_SigTask = nullptr;
}

} // namespace ov::exec

struct MsgPort *ovexec_CreateMsgPort(struct ExecIFace *)
{
    auto *port =
        static_cast<struct MsgPort *>(allocVec(sizeof(struct MsgPort), MEMF_PUBLIC | MEMF_CLEAR));
    if (port == nullptr)
        return nullptr;
    if (!initPort(port, currentTask())) {
        freeVec(port);
        return nullptr;
    }
    ++livePorts;
    return port;
}

void ovexec_DeleteMsgPort(struct ExecIFace *, struct MsgPort *port)
{
    if (port == nullptr)
        return;
    releasePort(port);
    freeVec(port);
    --livePorts;
}

void ovexec_AddPort(struct ExecIFace *, struct MsgPort *port)
{
    if (port == nullptr)
        return;
    std::lock_guard lock(systemLock());
    port->mp_Node.ln_Type = NT_MSGPORT;
    addTail(&AbsExecBase->PortList, &port->mp_Node);
}

void ovexec_RemPort(struct ExecIFace *, struct MsgPort *port)
{
    if (port == nullptr)
        return;
    std::lock_guard lock(systemLock());
    remove(&port->mp_Node);
}

struct MsgPort *ovexec_FindPort(struct ExecIFace *, CONST_STRPTR name)
{
    if (name == nullptr)
        return nullptr;
    std::lock_guard lock(systemLock());
    return reinterpret_cast<struct MsgPort *>(findName(&AbsExecBase->PortList, name));
}

void ovexec_PutMsg(struct ExecIFace *, struct MsgPort *port, struct Message *message)
{
    if (port == nullptr || message == nullptr)
        return;
    queueMessage(port, message, NT_MESSAGE);
}

struct Message *ovexec_GetMsg(struct ExecIFace *, struct MsgPort *port)
{
    if (port == nullptr)
        return nullptr;
    std::lock_guard lock(messageLock());
    return reinterpret_cast<struct Message *>(remHead(&port->mp_MsgList));
}

void ovexec_ReplyMsg(struct ExecIFace *, struct Message *message)
{
    if (message == nullptr)
        return;
    if (message->mn_ReplyPort == nullptr) {
        message->mn_Node.ln_Type = NT_FREEMSG;
        return;
    }
    queueMessage(message->mn_ReplyPort, message, NT_REPLYMSG);
}

struct Message *ovexec_WaitPort(struct ExecIFace *, struct MsgPort *port)
{
    if (port == nullptr)
        return nullptr;
    for (;;) {
        {
            std::lock_guard lock(messageLock());
            struct Node *head = port->mp_MsgList.lh_Head;
            if (head->ln_Succ != nullptr)
                return reinterpret_cast<struct Message *>(head);
        }
        /* A message put after the look above has set the bit already. */
        waitSignals(1u << port->mp_SigBit);
    }
}

uint32 ovTestLivePorts(void) { return livePorts.load(); }
