#include "aiff_format.h"
#include "entrypoints.h"

int32 _OVPlug_TestPlayer(struct OVPlugIFace *, APTR, CONST_APTR data, uint32 length)
{
    if (length <= 16)
        return 0;
    if (aiff_is_form_header(static_cast<const uint8 *>(data)))
        return LOADMODE_BY_NAME;
    return 0;
}
