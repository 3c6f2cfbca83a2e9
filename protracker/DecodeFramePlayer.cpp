#include "entrypoints.h"

/* The replay routine is not built yet: nothing is decoded. */
int32 _OVPlug_DecodeFramePlayer(struct OVPlugIFace *, struct PlayerStream *, APTR)
{
    return 0;
}
