/* The AIFF writer behind the encoder entry points: the file's bytes are
 * built in a buffer the host appends to its file, and the sizes known only
 * at the end are handed over as fix-ups of the header. */
#ifndef OV_AIFF_WRITER_H
#define OV_AIFF_WRITER_H

#include "entrypoints.h"

#define AIFF_WRITER_BUFFER_SIZE 193028
/* FORM header, COMM chunk of 18 bytes, SSND header with offset and block size. */
#define AIFF_WRITER_HEADER_SIZE 54
#define AIFF_WRITER_SSND_POS 38
/* The SSND size written until the real one is known, and the bound the
 * real one must stay below. */
#define AIFF_WRITER_SIZE_LIMIT 0x7FFFFFFCu
/* Frame count, SSND size, FORM size. */
#define AIFF_WRITER_FIXUPS 3

struct aiff_writer {
    uint32 pending;         /* header bytes at the start of out_buf not yet reported */
    uint32 size_limit;      /* SSND size bound */
    uint64 ssnd_pos;        /* file offset of the SSND chunk */
    uint16 num_channels;
    uint16 sample_size;     /* 16 */
    uint32 sample_rate;     /* Hz */
    uint32 ssnd_offset;     /* 0 */
    uint32 ssnd_block_size; /* 0 */
    uint32 frames_written;  /* frames whose samples were accepted */
    uint32 ssnd_size;       /* SSND size so far: 8 + sound bytes */
    uint32 opened;          /* 1 once OpenEncoder has built the header */
    /* The fix-up list: the entries (the first is also the address of their
     * block), then null. */
    struct EncoderFixup *fixups[AIFF_WRITER_FIXUPS + 1];
    uint8 out_buf[AIFF_WRITER_BUFFER_SIZE];
};

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
