#include "entrypoints.h"

void _OVPlug_ClosePlayer(struct OVPlugIFace *Self, struct PlayerStream *stream)
{
    if (stream == nullptr)
        return;
    struct ExecIFace *IExec = PluginExecOf(Self);
    if (stream->PlayerHandle != nullptr) {
        IExec->FreeVec(IExec, stream->PlayerHandle);
        stream->PlayerHandle = nullptr;
    }
    if (stream->OutputBuffer != nullptr) {
        IExec->FreeVec(IExec, stream->OutputBuffer);
        stream->OutputBuffer = nullptr;
    }
    if (stream->OutputBufferPlus4 != nullptr)
        stream->OutputBufferPlus4 = nullptr;
}
