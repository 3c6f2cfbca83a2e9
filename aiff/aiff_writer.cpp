/* The AIFF writer: header at start, samples appended, fix-ups at the end. */
#include "aiff_writer.h"

/* Where the fields fixed up at the end lie in the file. */
#define AIFF_WRITER_FORM_SIZE_POS AIFF_CHUNK_SIZE_AT
#define AIFF_WRITER_FRAMES_POS (AIFF_WRITER_COMM_POS + AIFF_CHUNK_HEADER_SIZE + AIFF_COMM_FRAMES_AT)
/* The FORM size counts every byte after its own field. */
#define AIFF_WRITER_FORM_SIZE_BASE (AIFF_WRITER_FORM_SIZE_POS + 4)

struct aiff_writer *aiff_writer_new(struct ExecIFace *IExec)
{
    /* Not cleared: every field is set here or by aiff_writer_start before use. */
    struct aiff_writer *writer =
        (struct aiff_writer *)IExec->AllocVec(IExec, sizeof(struct aiff_writer), MEMF_SHARED);
    if (writer == nullptr)
        return nullptr;
    for (int i = 0; i <= AIFF_WRITER_FIXUPS; i++)
        writer->fixups[i] = nullptr;
    writer->pending = 0;
    writer->opened = 0;
    writer->frames_written = 0;
    writer->ssnd_size = 0;
    writer->ssnd_pos = AIFF_WRITER_SSND_POS;
    return writer;
}

/* FORM with its size fixed up at the end, COMM with a frame count fixed up
 * at the end, SSND with a provisional size. */
static void build_header(struct aiff_writer *writer)
{
    uint8 *form = writer->out_buf;
    aiff_store_id(form, AIFF_FORM_ID);
    ov_store_be32(form + AIFF_CHUNK_SIZE_AT, 0);
    aiff_store_id(form + AIFF_FORM_TYPE_AT, AIFF_FORM_TYPE);

    uint8 *comm = writer->out_buf + AIFF_WRITER_COMM_POS;
    aiff_store_id(comm, AIFF_COMM_ID);
    ov_store_be32(comm + AIFF_CHUNK_SIZE_AT, AIFF_COMM_SIZE);
    uint8 *comm_data = comm + AIFF_CHUNK_HEADER_SIZE;
    ov_store_be16(comm_data + AIFF_COMM_CHANNELS_AT, writer->num_channels);
    ov_store_be32(comm_data + AIFF_COMM_FRAMES_AT, 0);
    ov_store_be16(comm_data + AIFF_COMM_SAMPLE_SIZE_AT, writer->sample_size);
    aiff_encode_rate(comm_data + AIFF_COMM_RATE_AT, writer->sample_rate);

    uint8 *ssnd = writer->out_buf + AIFF_WRITER_SSND_POS;
    aiff_store_id(ssnd, AIFF_SSND_ID);
    ov_store_be32(ssnd + AIFF_CHUNK_SIZE_AT, writer->size_limit);
    uint8 *ssnd_data = ssnd + AIFF_CHUNK_HEADER_SIZE;
    ov_store_be32(ssnd_data + AIFF_SSND_OFFSET_AT, writer->ssnd_offset);
    ov_store_be32(ssnd_data + AIFF_SSND_BLOCK_SIZE_AT, writer->ssnd_block_size);
}

uint8 *aiff_writer_start(struct aiff_writer *writer, uint16 num_channels, uint32 sample_rate)
{
    writer->num_channels = num_channels;
    writer->sample_rate = sample_rate;
    writer->sample_size = 16;
    writer->size_limit = AIFF_WRITER_SIZE_LIMIT;
    writer->ssnd_offset = 0;
    writer->ssnd_block_size = 0;
    build_header(writer);
    writer->pending = AIFF_WRITER_HEADER_SIZE;
    writer->ssnd_size = AIFF_SSND_FIELDS_SIZE;
    writer->frames_written = 0;
    writer->opened = 1;
    return writer->out_buf;
}

int32 aiff_writer_append(struct ExecIFace *IExec, struct aiff_writer *writer, CONST_APTR samples,
                         uint32 frames)
{
    const uint64 bytes = (uint64)(writer->sample_size / 8u) * frames * writer->num_channels;
    if (bytes > 0) {
        /* Refused whole, nothing copied or counted: samples that do not fit
         * behind the pending header, or that would take the SSND size to
         * its bound, so the host can still finish a consistent file. */
        if (samples == nullptr || bytes > AIFF_WRITER_BUFFER_SIZE - writer->pending ||
            writer->ssnd_size + bytes >= writer->size_limit)
            return -1;
        IExec->CopyMem(IExec, samples, writer->out_buf + writer->pending, (uint32)bytes);
        writer->ssnd_size += (uint32)bytes;
        writer->frames_written += frames;
    }
    const int32 ready = (int32)(writer->pending + bytes);
    writer->pending = 0;
    return ready;
}

static void set_fixup(struct EncoderFixup *fixup, uint64 file_offset, uint32 value)
{
    fixup->FileOffsetHigh = (uint32)(file_offset >> 32);
    fixup->FileOffsetLow = (uint32)file_offset;
    fixup->ByteCount = 4;
    fixup->Value = value;
}

struct EncoderFixup **aiff_writer_finish(struct ExecIFace *IExec, struct aiff_writer *writer)
{
    struct EncoderFixup *block = writer->fixups[0];
    if (block == nullptr) {
        block = (struct EncoderFixup *)IExec->AllocVec(
            IExec, AIFF_WRITER_FIXUPS * sizeof(struct EncoderFixup), MEMF_SHARED | MEMF_CLEAR);
        if (block == nullptr)
            return nullptr;
    }
    const uint64 file_length = writer->ssnd_pos + AIFF_CHUNK_HEADER_SIZE + writer->ssnd_size;
    set_fixup(&block[0], AIFF_WRITER_FRAMES_POS, writer->frames_written);
    set_fixup(&block[1], writer->ssnd_pos + AIFF_CHUNK_SIZE_AT, writer->ssnd_size);
    set_fixup(&block[2], AIFF_WRITER_FORM_SIZE_POS,
              (uint32)(file_length - AIFF_WRITER_FORM_SIZE_BASE));
    for (int i = 0; i < AIFF_WRITER_FIXUPS; i++)
        writer->fixups[i] = &block[i];
    writer->fixups[AIFF_WRITER_FIXUPS] = nullptr;
    return writer->fixups;
}

void aiff_writer_free(struct ExecIFace *IExec, struct aiff_writer *writer)
{
    if (writer == nullptr)
        return;
    if (writer->fixups[0] != nullptr)
        IExec->FreeVec(IExec, writer->fixups[0]);
    IExec->FreeVec(IExec, writer);
}
