/* OV_AIFF.ovplug as a library: its interface table, and DOS opened at init. */
#include "entrypoints.h"

extern "C" {

// clang-format off
void *const ovFrameMainVectors[] = {
    OV_PLAYER_VECTORS,
    (void *)_OVPlug_InitEncoder,
    (void *)_OVPlug_OpenEncoder,
    (void *)_OVPlug_EncodeFrameEncoder,
    (void *)_OVPlug_CloseEncoder,
    (void *)_OVPlug_FinishEncoder,
    VECTOR_TABLE_END,
};
// clang-format on

BOOL ovFramePluginInit(struct PluginBase *frame)
{
    struct AiffBase *base = (struct AiffBase *)frame;
    struct ExecIFace *IExec = frame->IExec;
    base->DOSBase = IExec->OpenLibrary(IExec, "dos.library", 50);
    if (base->DOSBase == nullptr)
        return FALSE;
    base->IDOS = (struct DOSIFace *)IExec->GetInterface(IExec, base->DOSBase, "main", 1, nullptr);
    if (base->IDOS == nullptr) {
        IExec->CloseLibrary(IExec, base->DOSBase);
        base->DOSBase = nullptr;
        return FALSE;
    }
    return TRUE;
}

void ovFramePluginExpunge(struct PluginBase *frame)
{
    struct AiffBase *base = (struct AiffBase *)frame;
    struct ExecIFace *IExec = AbsExecBase->MainInterface;
    IExec->DropInterface(IExec, (struct Interface *)base->IDOS);
    IExec->CloseLibrary(IExec, base->DOSBase);
}
}
