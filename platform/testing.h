/*
 * Controls for tests: counting what is alive and making the system's calls
 * fail on purpose. None of this exists on the real machine; components never
 * include this header.
 */
#ifndef OV_PLATFORM_TESTING_H
#define OV_PLATFORM_TESTING_H

#include "exec.h"

OV_EXTERN_C_BEGIN

/* ---- exec memory ---- */
/* Blocks handed out by AllocVec and not yet freed. */
uint32 ovTestLiveAllocations(void);
/* AllocVec calls made since start-up (successful or failed). */
uint64 ovTestAllocationCalls(void);
/* Make the n-th AllocVec call from now fail (1 = the next one); 0 clears. */
void ovTestFailAllocation(uint32 n);
/* Make every AllocVec call from the n-th one from now on fail; 0 clears. */
void ovTestFailAllocationsFrom(uint32 n);

/* ---- dos ---- */
/* Files opened by FOpen and not yet closed. */
uint32 ovTestOpenFiles(void);
/* FOpen, FRead and ChangeFilePosition calls made since start-up. */
uint64 ovTestDosCalls(void);
/* Make the n-th DOS call from now fail (1 = the next one); 0 clears.
 * Counted calls: FOpen, FRead, ChangeFilePosition. */
void ovTestFailDosCall(uint32 n);
/* Make the n-th FRead from now deliver one whole block fewer than asked
 * (the data of the missing block is not consumed); 0 clears. */
void ovTestShortDosRead(uint32 n);

/* ---- libraries ---- */
/* Make OpenLibrary of the named library fail while set (NULL clears). */
void ovTestFailOpenLibrary(const char *name);
/* Make GetInterface of the named interface of the named library fail
 * while set (NULL clears). */
void ovTestFailGetInterface(const char *library, const char *interface);
/* Clear every fault set above. */
void ovTestClearFaults(void);

OV_EXTERN_C_END

#endif
