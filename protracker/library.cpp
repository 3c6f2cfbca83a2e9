/* OV_PT.ovplug as a library: its interface table and init/expunge extras. */
#include "entrypoints.h"
#include "frame_config.h"

extern "C" {

// clang-format off
void *const ovFrameMainVectors[] = {
    OV_PLAYER_VECTORS,
    VECTOR_TABLE_END,
};
// clang-format on

/* The language runtime needs no start-up of its own here: the entry points
 * use nothing but the exec interface. */
BOOL ovFramePluginInit(struct PluginBase *) { return TRUE; }

void ovFramePluginExpunge(struct PluginBase *) {}
}
