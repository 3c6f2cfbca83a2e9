#include "entrypoints.h"

/* The module loader is not built yet: every open fails. */
int32 _OVPlug_OpenPlayer(struct OVPlugIFace *, CONST_STRPTR, struct PlayerStream *)
{
    return 0;
}
