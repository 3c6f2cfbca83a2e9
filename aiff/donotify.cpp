#include "entrypoints.h"

uint32 _OVPlug_DoNotify(struct OVPlugIFace *) { return 0; }
