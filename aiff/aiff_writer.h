/* Writing an AIFF file for the encoder: the file's bytes are built in a
 * buffer the host appends to its file, and the sizes known only at the end
 * are handed over as fix-ups of the header. */
#ifndef OV_AIFF_WRITER_H
#define OV_AIFF_WRITER_H

#include "../frame/ovplug.h"
#include "../platform/exec.h"
#include "aiff_format.h"

#define AIFF_WRITER_BUFFER_SIZE 193028
/* The header written: FORM header, COMM chunk, SSND chunk up to its sound
 * bytes (54 bytes in all, the SSND chunk at 38). */
#define AIFF_WRITER_COMM_POS AIFF_FORM_HEADER_SIZE
#define AIFF_WRITER_SSND_POS (AIFF_WRITER_COMM_POS + AIFF_CHUNK_HEADER_SIZE + AIFF_COMM_SIZE)
#define AIFF_WRITER_HEADER_SIZE (AIFF_WRITER_SSND_POS + AIFF_SSND_DATA_START)
/* The SSND size written until the real one is known, and the bound the
 * real one must stay below. */
#define AIFF_WRITER_SIZE_LIMIT 0x7FFFFFFCu
/* Frame count, SSND size, FORM size. */
#define AIFF_WRITER_FIXUPS 3

struct aiff_writer {
    uint32 pending;    /* header bytes at the start of out_buf not yet reported */
    uint32 size_limit; /* SSND size bound */
    uint64 ssnd_pos;   /* file offset of the SSND chunk */
    uint16 num_channels;
    uint16 sample_size;     /* 16 */
    uint32 sample_rate;     /* Hz */
    uint32 ssnd_offset;     /* 0 */
    uint32 ssnd_block_size; /* 0 */
    uint32 frames_written;  /* frames whose samples were accepted */
    uint32 ssnd_size;       /* SSND size so far: 8 + sound bytes */
    uint32 opened;          /* 1 once a header has been built */
    /* The fix-up list: the entries (the first is also the address of their
     * block), then null. */
    struct EncoderFixup *fixups[AIFF_WRITER_FIXUPS + 1];
    uint8 out_buf[AIFF_WRITER_BUFFER_SIZE];
};

/* A writer with no header built yet; null when there is no memory. */
struct aiff_writer *aiff_writer_new(struct ExecIFace *IExec);

/* Starts a new file of 16-bit frames: builds its header, pending in the
 * buffer this returns, and counts frames from 0 again. */
uint8 *aiff_writer_start(struct aiff_writer *writer, uint16 num_channels, uint32 sample_rate);

/* Appends `frames` frames of big-endian samples behind the pending header
 * bytes; the number of bytes now ready at the start of the buffer, or -1
 * when the frames are refused whole (no room, or the SSND size would reach
 * its bound) and nothing is taken. */
int32 aiff_writer_append(struct ExecIFace *IExec, struct aiff_writer *writer, CONST_APTR samples,
                         uint32 frames);

/* The header's fix-ups for the frames appended so far, null-terminated;
 * null when their block cannot be had. A later call refreshes the same
 * entries. */
struct EncoderFixup **aiff_writer_finish(struct ExecIFace *IExec, struct aiff_writer *writer);

/* Releases the writer and its fix-ups; a null writer is ignored. */
void aiff_writer_free(struct ExecIFace *IExec, struct aiff_writer *writer);

/* The encoder's state, or null when the record is null or holds none. */
static inline struct aiff_writer *aiff_writer_of(struct EncoderStream *encoder)
{
    return encoder == nullptr ? nullptr : (struct aiff_writer *)encoder->State;
}

/* The state of an encoder whose header has been built, else null. */
static inline struct aiff_writer *aiff_open_writer_of(struct EncoderStream *encoder)
{
    struct aiff_writer *writer = aiff_writer_of(encoder);
    return writer != nullptr && writer->opened ? writer : nullptr;
}

#endif
