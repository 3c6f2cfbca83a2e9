/* Reading an AIFF file for playback: the chunk scan at open, then whole
 * 16-bit sample frames straight from the file into the caller's buffer. */
#ifndef OV_AIFF_READER_H
#define OV_AIFF_READER_H

#include "../platform/dos.h"
#include "../platform/exec.h"

/* One open file; the stream's PlayerHandle. */
struct aiff_reader {
    BPTR file;              /* 0 when none is open */
    uint16 num_channels;    /* from COMM */
    uint32 num_frames;      /* from COMM */
    uint16 sample_size;     /* bits per sample, from COMM */
    uint32 sample_rate;     /* Hz, from COMM's extended rate; 0 when unknown */
    uint32 ssnd_offset;     /* bytes before the first sample frame */
    uint32 ssnd_block_size; /* kept as read; plays no part */
    uint32 data_length;     /* SSND size - 8: offset bytes plus sound bytes */
    uint64 file_pos;        /* bytes consumed from the start of the file */
    uint32 data_done;       /* sound bytes delivered (or sought past) */
    uint64 ssnd_pos;        /* file offset of the SSND chunk's identifier */
    uint32 duration_secs;   /* whole seconds of audio: the seek bound */
    uint16 offset_skipped;  /* 1 once the offset bytes lie behind the file position */
};

/* Opens the named file and scans it up to its sound data; the file is left
 * at the first byte after SSND's block size. Null when the file cannot be
 * opened, is not a plain AIFF file, or has no sound data. */
struct aiff_reader *aiff_open(struct ExecIFace *IExec, struct DOSIFace *IDOS, CONST_STRPTR name);

/* Reads up to `frames` whole frames into `destination` (room for frames x
 * frame size bytes); the number delivered, or -1 when none can be: nothing
 * asked, a format other than 16-bit mono or stereo, the sound data used up,
 * or a failed read. */
int32 aiff_read(struct DOSIFace *IDOS, struct aiff_reader *reader, APTR destination, int32 frames);

/* Bytes of one sample frame, as the file stores it. */
uint32 aiff_frame_size(const struct aiff_reader *reader);

/* Bytes of sample frames in the SSND chunk: its data after the offset bytes. */
uint32 aiff_sound_bytes(const struct aiff_reader *reader);

/* What a file's header says, as aiff_open finds it. */
struct aiff_description {
    uint32 sample_rate;  /* Hz; 0 when unknown */
    uint16 num_channels; /* from COMM */
    uint16 sample_size;  /* bits per sample, from COMM */
    uint32 num_frames;   /* as COMM declares them */
    uint32 sound_bytes;  /* of sample frames in the SSND chunk */
};

/* Opens the named file as aiff_open does, fills `description` and closes it
 * again; false (the description untouched) when aiff_open refuses it. */
bool aiff_describe(struct ExecIFace *IExec, struct DOSIFace *IDOS, CONST_STRPTR name,
                   struct aiff_description *description);

/* Closes the file and releases the reader; a null reader is ignored. */
void aiff_close(struct ExecIFace *IExec, struct DOSIFace *IDOS, struct aiff_reader *reader);

#endif
