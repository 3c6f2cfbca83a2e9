/* Any byte string as a module image for the replay routine itself
 * (module_play.h); module_mutator.cpp keeps most inputs valid modules. */
#include "module_play.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ovfuzz::playThroughReplayer(data, size);
    return 0;
}
