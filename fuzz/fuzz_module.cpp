/* Any byte string as a module, played through OV_PT.ovplug's entry points
 * (module_play.h); module_mutator.cpp keeps most inputs valid modules. */
#include "fuzz_host.h"
#include "module_play.h"

static struct OVPlugIFace *plugin;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    plugin = ovfuzz::openPlugin("OV_PT.ovplug");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ovfuzz::playThroughPlugin(plugin, data, size);
    return 0;
}
