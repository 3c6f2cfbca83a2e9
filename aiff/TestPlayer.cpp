#include "entrypoints.h"

#include <cstring>

int32 _OVPlug_TestPlayer(struct OVPlugIFace *, APTR, CONST_APTR data, uint32 length)
{
    if (length <= 16)
        return 0;
    const uint8 *bytes = static_cast<const uint8 *>(data);
    if (std::memcmp(bytes, "FORM", 4) == 0 && std::memcmp(bytes + 8, "AIFF", 4) == 0)
        return LOADMODE_BY_NAME;
    return 0;
}
