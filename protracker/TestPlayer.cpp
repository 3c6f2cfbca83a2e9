#include "entrypoints.h"

int32 _OVPlug_TestPlayer(struct OVPlugIFace *, APTR, CONST_APTR data, uint32 length)
{
    if (length <= 1083)
        return 0;
    const uint8 *bytes = static_cast<const uint8 *>(data);
    if (bytes[1080] == 'M' && bytes[1081] == '.' && bytes[1082] == 'K' && bytes[1083] == '.')
        return LOADMODE_IN_MEMORY;
    return 0;
}
