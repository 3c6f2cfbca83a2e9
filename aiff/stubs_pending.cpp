/* Player and encoder entry points whose reader and writer are not built yet:
 * each returns its failure result. */
#include "entrypoints.h"

int32 _OVPlug_OpenPlayer(struct OVPlugIFace *, CONST_STRPTR, struct PlayerStream *) { return 0; }

void _OVPlug_ClosePlayer(struct OVPlugIFace *Self, struct PlayerStream *stream)
{
    if (stream == nullptr)
        return;
    struct ExecIFace *IExec = PluginExecOf(Self);
    if (stream->OutputBuffer != nullptr) {
        IExec->FreeVec(IExec, stream->OutputBuffer);
        stream->OutputBuffer = nullptr;
    }
    stream->OutputBufferPlus4 = nullptr;
}

int32 _OVPlug_DecodeFramePlayer(struct OVPlugIFace *, struct PlayerStream *, APTR) { return 0; }
int32 _OVPlug_SeekPlayer(struct OVPlugIFace *, struct PlayerStream *, uint32) { return -1; }
int32 _OVPlug_InitEncoder(struct OVPlugIFace *, struct EncoderStream *encoder)
{
    if (encoder != nullptr)
        encoder->State = nullptr;
    return 0;
}
APTR _OVPlug_OpenEncoder(struct OVPlugIFace *, struct EncoderStream *, const struct EncoderFormat *)
{
    return nullptr;
}
int32 _OVPlug_EncodeFrameEncoder(struct OVPlugIFace *, struct EncoderStream *, CONST_APTR, uint32)
{
    return -1;
}
uint32 _OVPlug_CloseEncoder(struct OVPlugIFace *, struct EncoderStream *encoder)
{
    if (encoder != nullptr)
        encoder->State = nullptr;
    return 0;
}
struct EncoderFixup **_OVPlug_FinishEncoder(struct OVPlugIFace *, struct EncoderStream *)
{
    return nullptr;
}
