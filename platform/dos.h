/*
 * dos.library: files, as the components see them.
 * Opened with OpenLibrary("dos.library", 50); its interface "main".
 */
#ifndef OV_PLATFORM_DOS_H
#define OV_PLATFORM_DOS_H

#include "exec.h"

/* FOpen access modes */
#define MODE_OLDFILE 1005
#define MODE_NEWFILE 1006
#define MODE_READWRITE 1004

/* ChangeFilePosition modes */
#define OFFSET_BEGINNING (-1)
#define OFFSET_CURRENT 0
#define OFFSET_END 1

struct DOSIFace {
    struct InterfaceData Data;
    uint32 (*Obtain)(struct DOSIFace *Self);
    uint32 (*Release)(struct DOSIFace *Self);
    void (*Expunge)(struct DOSIFace *Self);
    struct Interface *(*Clone)(struct DOSIFace *Self);

    /* A handle, or 0. bufferSize 0 is the system default. */
    BPTR (*FOpen)(struct DOSIFace *Self, CONST_STRPTR name, int32 accessMode, int32 bufferSize);
    /* Non-zero on success. */
    int32 (*FClose)(struct DOSIFace *Self, BPTR file);
    /* Reads whole blocks; returns how many whole blocks arrived (0 at the end
     * or on an error; a partial last block is consumed but not counted). */
    uint32 (*FRead)(struct DOSIFace *Self, BPTR file, APTR buffer, uint32 blockLength,
                    uint32 blockCount);
    /* Non-zero on success. */
    int32 (*ChangeFilePosition)(struct DOSIFace *Self, BPTR file, int64 position, int32 mode);
};

#endif
