#include "entrypoints.h"

int32 _OVPlug_InitPlayer(struct OVPlugIFace *Self, struct PlayerStream *stream)
{
    if (stream == nullptr)
        return 0;
    struct ExecIFace *IExec = PluginExecOf(Self);
    stream->OutputBuffer = IExec->AllocVec(IExec, AIFF_OUTPUT_BUFFER_SIZE, MEMF_SHARED | MEMF_CLEAR);
    if (stream->OutputBuffer == nullptr) {
        Self->ClosePlayer(Self, stream);
        return 0;
    }
    stream->OutputBufferPlus4 = static_cast<uint8 *>(stream->OutputBuffer) + 4;
    return 1;
}
