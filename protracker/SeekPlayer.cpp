#include "entrypoints.h"

/* A module has no position to go to. */
int32 _OVPlug_SeekPlayer(struct OVPlugIFace *, struct PlayerStream *, uint32)
{
    return SEEKPLAYER_IMPOSSIBLE;
}
