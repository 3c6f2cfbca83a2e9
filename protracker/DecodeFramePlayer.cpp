#include "entrypoints.h"
#include "replayer.h"

/* A module never ends: every call delivers a full block. */
int32 _OVPlug_DecodeFramePlayer(struct OVPlugIFace *, struct PlayerStream *stream, APTR)
{
    if (stream == nullptr || stream->OutputBuffer == nullptr || stream->PlayerHandle == nullptr ||
        stream->Channels == 0)
        return 0;
    uint8 *buffer = static_cast<uint8 *>(stream->OutputBuffer);
    int32 channels = (int32)stream->Channels;
    pt_render(static_cast<struct pt_state *>(stream->PlayerHandle), buffer, buffer + 2,
              channels * 2, PT_FRAMES_PER_DECODE, 1, 16, channels);
    return PT_FRAMES_PER_DECODE;
}
