/*
 * What every fuzz target shares: the plug-ins are loaded once from the
 * program's own folder and driven exactly as the host drives them; after
 * each input nothing may be left allocated or open.
 */
#ifndef OV_FUZZ_FUZZ_HOST_H
#define OV_FUZZ_FUZZ_HOST_H

#include "frame/ovplug.h"
#include "platform/platform.h"
#include "platform/testing.h"

#include <cstdio>
#include <cstdlib>

namespace ovfuzz {

inline struct ExecIFace *exec() { return AbsExecBase->MainInterface; }

/* Opens a plug-in file once for the whole run. */
inline struct OVPlugIFace *openPlugin(const char *fileName)
{
    struct ExecIFace *IExec = exec();
    struct Library *base = IExec->OpenLibrary(IExec, fileName, 1);
    if (base == nullptr) {
        std::fprintf(stderr, "cannot open %s on %s\n", fileName, ovGetLibraryPath());
        std::abort();
    }
    return reinterpret_cast<struct OVPlugIFace *>(
        IExec->GetInterface(IExec, base, "main", 1, nullptr));
}

/* A finding of its own: the plug-in kept memory or a file after the stream
 * or encoder was closed. */
inline void requireNothingHeld(uint32 allocationsBefore, uint32 filesBefore)
{
    if (ovTestLiveAllocations() != allocationsBefore || ovTestOpenFiles() != filesBefore) {
        std::fprintf(stderr, "leak: %u blocks and %u files held after close\n",
                     ovTestLiveAllocations() - allocationsBefore, ovTestOpenFiles() - filesBefore);
        std::abort();
    }
}

} // namespace ovfuzz

#endif
