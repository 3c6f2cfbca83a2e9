/* OV_PT.ovplug as a library: its interface table and init/expunge extras. */
#include "entrypoints.h"
#include "frame_config.h"

extern "C" {

void *const ovFrameMainVectors[] = {
    (void *)_OVPlug_Obtain,
    (void *)_OVPlug_Release,
    nullptr, /* Expunge */
    nullptr, /* Clone */
    (void *)_OVPlug_AnnouncePlayer,
    (void *)_OVPlug_InitPlayer,
    (void *)_OVPlug_OpenPlayer,
    (void *)_OVPlug_ClosePlayer,
    (void *)_OVPlug_DecodeFramePlayer,
    (void *)_OVPlug_ExitPlayer,
    (void *)_OVPlug_TestPlayer,
    (void *)_OVPlug_SeekPlayer,
    (void *)_OVPlug_DoNotify,
    VECTOR_TABLE_END,
};

/* The language runtime needs no start-up of its own here: the entry points
 * use nothing but the exec interface. */
BOOL ovFramePluginInit(struct PluginBase *)
{
    return TRUE;
}

void ovFramePluginExpunge(struct PluginBase *) {}
}
