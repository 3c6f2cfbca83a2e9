#include "aiff_reader.h"
#include "entrypoints.h"

int32 _OVPlug_DecodeFramePlayer(struct OVPlugIFace *Self, struct PlayerStream *stream, APTR hostArg)
{
    if (stream == nullptr || stream->PlayerHandle == nullptr || hostArg == nullptr ||
        stream->OutputBuffer == nullptr)
        return 0;
    /* The reader delivers only 16-bit mono or stereo frames, so 8192 of
     * them always fit the output buffer. */
    return aiff_read(AiffBaseOf(Self)->IDOS, (struct aiff_reader *)stream->PlayerHandle,
                     stream->OutputBuffer, AIFF_FRAMES_PER_DECODE);
}
