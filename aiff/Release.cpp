#include "entrypoints.h"

/* The main interface keeps no count; the library's manager does. */
uint32 _OVPlug_Release(struct OVPlugIFace *) { return 0; }
