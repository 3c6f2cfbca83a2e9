#include "entrypoints.h"
#include "replayer.h"

int32 _OVPlug_TestPlayer(struct OVPlugIFace *, APTR, CONST_APTR data, uint32 length)
{
    return pt_has_signature(static_cast<const uint8 *>(data), length) ? LOADMODE_IN_MEMORY : 0;
}
