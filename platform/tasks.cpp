/* Tasks, signals and message ports: not yet built; every call fails. */
#include "exec_internal.h"

struct Task *ovexec_FindTask(struct ExecIFace *, CONST_STRPTR) { return nullptr; }
int8 ovexec_AllocSignal(struct ExecIFace *, int8) { return -1; }
void ovexec_FreeSignal(struct ExecIFace *, int8) {}
void ovexec_Signal(struct ExecIFace *, struct Task *, uint32) {}
uint32 ovexec_Wait(struct ExecIFace *, uint32) { return 0; }
uint32 ovexec_SetSignal(struct ExecIFace *, uint32, uint32) { return 0; }
struct MsgPort *ovexec_CreateMsgPort(struct ExecIFace *) { return nullptr; }
void ovexec_DeleteMsgPort(struct ExecIFace *, struct MsgPort *) {}
void ovexec_AddPort(struct ExecIFace *, struct MsgPort *) {}
void ovexec_RemPort(struct ExecIFace *, struct MsgPort *) {}
struct MsgPort *ovexec_FindPort(struct ExecIFace *, CONST_STRPTR) { return nullptr; }
void ovexec_PutMsg(struct ExecIFace *, struct MsgPort *, struct Message *) {}
struct Message *ovexec_GetMsg(struct ExecIFace *, struct MsgPort *) { return nullptr; }
void ovexec_ReplyMsg(struct ExecIFace *, struct Message *) {}
struct Message *ovexec_WaitPort(struct ExecIFace *, struct MsgPort *) { return nullptr; }
