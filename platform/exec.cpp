/* The exec base and its main interface. */
#include "exec_internal.h"

#include <cstring>

namespace {

using namespace ov::exec;

uint32 execObtain(struct ExecIFace *Self) { return ++Self->Data.RefCount; }
uint32 execRelease(struct ExecIFace *Self) { return --Self->Data.RefCount; }

APTR execAllocVec(struct ExecIFace *, uint32 size, uint32 attributes)
{
    return allocVec(size, attributes);
}
void execFreeVec(struct ExecIFace *, APTR memory) { freeVec(memory); }
void execCopyMem(struct ExecIFace *, CONST_APTR source, APTR dest, uint32 size)
{
    if (size != 0)
        std::memmove(dest, source, size);
}

struct Library *execOpenLibrary(struct ExecIFace *, CONST_STRPTR name, uint32 version)
{
    return openLibrary(name, version);
}
void execCloseLibrary(struct ExecIFace *, struct Library *library) { closeLibrary(library); }
struct Interface *execGetInterface(struct ExecIFace *, struct Library *library, CONST_STRPTR name,
                                   uint32 version, struct TagItem *)
{
    return getInterface(library, name, version);
}
void execDropInterface(struct ExecIFace *, struct Interface *iface) { dropInterface(iface); }
void execRemove(struct ExecIFace *, struct Node *node)
{
    std::lock_guard lock(systemLock());
    remove(node);
}
void execDeleteLibrary(struct ExecIFace *, struct Library *library) { deleteLibrary(library); }
BPTR execRemLibrary(struct ExecIFace *, struct Library *library) { return remLibrary(library); }

void execNewList(struct ExecIFace *, struct List *list) { newList(list); }
void execAddTail(struct ExecIFace *, struct List *list, struct Node *node) { addTail(list, node); }
void execAddHead(struct ExecIFace *, struct List *list, struct Node *node) { addHead(list, node); }
struct Node *execRemHead(struct ExecIFace *, struct List *list) { return remHead(list); }
struct Node *execFindName(struct ExecIFace *, struct List *list, CONST_STRPTR name)
{
    return findName(list, name);
}

void execForbid(struct ExecIFace *) { systemLock().lock(); }
void execPermit(struct ExecIFace *) { systemLock().unlock(); }

struct ExecIFace execInterface = {
    {},
    execObtain,
    execRelease,
    nullptr,
    nullptr,
    execAllocVec,
    execFreeVec,
    execCopyMem,
    execOpenLibrary,
    execCloseLibrary,
    execGetInterface,
    execDropInterface,
    execRemove,
    execDeleteLibrary,
    execRemLibrary,
    execNewList,
    execAddTail,
    execAddHead,
    execRemHead,
    execFindName,
    ovexec_FindTask,
    ovexec_AllocSignal,
    ovexec_FreeSignal,
    ovexec_Signal,
    ovexec_Wait,
    ovexec_SetSignal,
    ovexec_CreateMsgPort,
    ovexec_DeleteMsgPort,
    ovexec_AddPort,
    ovexec_RemPort,
    ovexec_FindPort,
    ovexec_PutMsg,
    ovexec_GetMsg,
    ovexec_ReplyMsg,
    ovexec_WaitPort,
    execForbid,
    execPermit,
};

char execName[] = "exec.library";

struct ExecBase execBase;

struct ExecBase *setUpExec()
{
    execBase.LibNode.lib_Node.ln_Type = NT_LIBRARY;
    execBase.LibNode.lib_Node.ln_Name = execName;
    execBase.LibNode.lib_Version = 53;
    execBase.LibNode.lib_OpenCnt = 1;
    execBase.MainInterface = &execInterface;
    execInterface.Data.LibBase = &execBase.LibNode;
    execInterface.Data.Version = 1;
    execInterface.Data.Link.ln_Type = NT_INTERFACE;
    execInterface.Data.Link.ln_Name = const_cast<char *>("main");
    newList(&execBase.LibList);
    newList(&execBase.PortList);
    return &execBase;
}

} // namespace

std::recursive_mutex &ov::exec::systemLock()
{
    static std::recursive_mutex lock;
    return lock;
}

/* Set up before any other static initialiser of the process can need it:
 * constant initialisation of the pointer is impossible (the lists point at
 * themselves), so it is done on first use and at start-up. */
struct ExecBase *AbsExecBase = setUpExec();
