/*
 * The platform's own controls for the host and the tests (not part of the
 * system the components see).
 */
#ifndef OV_PLATFORM_PLATFORM_H
#define OV_PLATFORM_PLATFORM_H

#include "exec.h"

OV_EXTERN_C_BEGIN

/* Folders searched for library files by OpenLibrary, separated by ':'.
 * The default is the folder of the running program. A name with a '/' in
 * it is opened as a path. */
void ovSetLibraryPath(const char *folders);
const char *ovGetLibraryPath(void);

/* Ask every library whose open count is 0 to go away (as the system does
 * when memory runs short); libraries that hand back their segment list are
 * unloaded. Returns how many went. */
uint32 ovExpungeLibraries(void);

/* The platform's own libraries ("dos.library" and the ones registered
 * here) are created on their first OpenLibrary from the vector table of
 * their interface "main" (ended by VECTOR_TABLE_END), and stay for the
 * life of the process. Registering a name again replaces the table. */
void ovRegisterBuiltinLibrary(const char *name, uint16 version, void *const *mainVectors);

/* The exec interface, for host, tool and test code that keeps no IExec of
 * its own. */
inline struct ExecIFace *ovExecInterface(void) { return AbsExecBase->MainInterface; }

/* Loadable files (plug-ins, programs): load one by path or by name on the
 * library path, look up an entry symbol in it, unload it. A file that
 * ov::loadableFileFault (loadable_file.h) finds fault with is not loaded. */
BPTR ovLoadSeg(const char *name);
void *ovSegmentSymbol(BPTR segList, const char *symbol);
void ovUnLoadSeg(BPTR segList);
/* Runs a loaded program's entry (_start) on the calling task; returns its
 * result, or -1 when the file has no entry. */
int32 ovRunSegment(BPTR segList);

OV_EXTERN_C_END

#endif
