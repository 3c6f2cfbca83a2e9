#include "entrypoints.h"

void _OVPlug_ExitPlayer(struct OVPlugIFace *) {}
