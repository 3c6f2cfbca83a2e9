/* Pieces of the exec implementation shared between its source files. */
#ifndef OV_PLATFORM_EXEC_INTERNAL_H
#define OV_PLATFORM_EXEC_INTERNAL_H

#include "exec.h"

#include <mutex>

namespace ov::exec {

/* The lock behind Forbid/Permit: held while shared system lists change. */
std::recursive_mutex &systemLock();

/* lists (exec_lists.cpp) */
void newList(struct List *list);
void addTail(struct List *list, struct Node *node);
void addHead(struct List *list, struct Node *node);
void remove(struct Node *node);
struct Node *remHead(struct List *list);
struct Node *findName(struct List *list, CONST_STRPTR name);

/* memory (exec_memory.cpp) */
APTR allocVec(uint32 size, uint32 attributes);
void freeVec(APTR memory);

/* libraries (libraries.cpp) */
struct Library *openLibrary(CONST_STRPTR name, uint32 version);
void closeLibrary(struct Library *library);
struct Interface *getInterface(struct Library *library, CONST_STRPTR name, uint32 version);
void dropInterface(struct Interface *iface);
void deleteLibrary(struct Library *library);
BPTR remLibrary(struct Library *library);

/* The dos.library vector table (dos.cpp). */
extern void *const dosVectors[];

/* The system libraries beyond exec and DOS (intuition, Picasso96;
 * intuition.cpp). */
void registerDisplayLibraries();

} // namespace ov::exec

/* Task, signal and port services (tasks.cpp), in the interface's shape. */
OV_EXTERN_C_BEGIN
struct Task *ovexec_FindTask(struct ExecIFace *Self, CONST_STRPTR name);
int8 ovexec_AllocSignal(struct ExecIFace *Self, int8 signal);
void ovexec_FreeSignal(struct ExecIFace *Self, int8 signal);
void ovexec_Signal(struct ExecIFace *Self, struct Task *task, uint32 signals);
uint32 ovexec_Wait(struct ExecIFace *Self, uint32 signals);
uint32 ovexec_SetSignal(struct ExecIFace *Self, uint32 newSignals, uint32 signalMask);
struct MsgPort *ovexec_CreateMsgPort(struct ExecIFace *Self);
void ovexec_DeleteMsgPort(struct ExecIFace *Self, struct MsgPort *port);
void ovexec_AddPort(struct ExecIFace *Self, struct MsgPort *port);
void ovexec_RemPort(struct ExecIFace *Self, struct MsgPort *port);
struct MsgPort *ovexec_FindPort(struct ExecIFace *Self, CONST_STRPTR name);
void ovexec_PutMsg(struct ExecIFace *Self, struct MsgPort *port, struct Message *message);
struct Message *ovexec_GetMsg(struct ExecIFace *Self, struct MsgPort *port);
void ovexec_ReplyMsg(struct ExecIFace *Self, struct Message *message);
struct Message *ovexec_WaitPort(struct ExecIFace *Self, struct MsgPort *port);
OV_EXTERN_C_END

#endif
