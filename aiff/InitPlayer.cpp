#include "entrypoints.h"

int32 _OVPlug_InitPlayer(struct OVPlugIFace *Self, struct PlayerStream *stream)
{
    return ovInitPlayerOutput(Self, stream, AIFF_OUTPUT_BUFFER_SIZE);
}
