#include "aiff_reader.h"
#include "entrypoints.h"

void _OVPlug_ClosePlayer(struct OVPlugIFace *Self, struct PlayerStream *stream)
{
    if (stream == nullptr)
        return;
    struct ExecIFace *IExec = PluginExecOf(Self);
    if (stream->PlayerHandle != nullptr) {
        aiff_close(IExec, AiffBaseOf(Self)->IDOS, (struct aiff_reader *)stream->PlayerHandle);
        stream->PlayerHandle = nullptr;
    }
    if (stream->OutputBuffer != nullptr) {
        IExec->FreeVec(IExec, stream->OutputBuffer);
        stream->OutputBuffer = nullptr;
    }
    stream->OutputBufferPlus4 = nullptr;
}
