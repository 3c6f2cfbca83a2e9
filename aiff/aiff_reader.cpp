/* The AIFF reader: chunk scan at open, frame reads while playing. */
#include "aiff_reader.h"
#include "aiff_format.h"

namespace {

/* Reads exactly `length` bytes or reports failure. */
bool read_bytes(struct DOSIFace *IDOS, struct aiff_reader *reader, uint8 *buffer, uint32 length)
{
    if (IDOS->FRead(IDOS, reader->file, buffer, 1, length) != length)
        return false;
    reader->file_pos += length;
    return true;
}

/* Moves the file forward; a position past the end of the file is refused. */
bool skip_bytes(struct DOSIFace *IDOS, struct aiff_reader *reader, uint64 length)
{
    if (length == 0)
        return true;
    if (!IDOS->ChangeFilePosition(IDOS, reader->file, (int64)length, OFFSET_CURRENT))
        return false;
    reader->file_pos += length;
    return true;
}

/* Chunk data is followed by a pad byte when its size is odd. */
uint64 padded_size(uint32 chunk_size) { return (uint64)chunk_size + (chunk_size & 1u); }

/* Takes the fields of a COMM chunk and moves past it. A chunk too short
 * for its fields, or whose buffer cannot be had, is passed over unused. */
bool take_comm(struct ExecIFace *IExec, struct DOSIFace *IDOS, struct aiff_reader *reader,
               uint32 chunk_size)
{
    uint64 rest = padded_size(chunk_size);
    if (chunk_size >= AIFF_COMM_SIZE) {
        uint8 *fields = (uint8 *)IExec->AllocVec(IExec, AIFF_COMM_SIZE, MEMF_CLEAR);
        if (fields != nullptr) {
            const bool complete = read_bytes(IDOS, reader, fields, AIFF_COMM_SIZE);
            if (complete) {
                reader->num_channels = ov_load_be16(fields + AIFF_COMM_CHANNELS_AT);
                reader->num_frames = ov_load_be32(fields + AIFF_COMM_FRAMES_AT);
                reader->sample_size = ov_load_be16(fields + AIFF_COMM_SAMPLE_SIZE_AT);
                reader->sample_rate = aiff_decode_rate(fields + AIFF_COMM_RATE_AT);
            }
            IExec->FreeVec(IExec, fields);
            if (!complete)
                return false;
            rest -= AIFF_COMM_SIZE;
        }
    }
    return skip_bytes(IDOS, reader, rest);
}

/* Takes the fields of an SSND chunk; the scan ends when it holds data.
 * A chunk too short for its fields is passed over unused. */
bool take_ssnd(struct DOSIFace *IDOS, struct aiff_reader *reader, uint64 chunk_pos,
               uint32 chunk_size)
{
    if (chunk_size < AIFF_SSND_FIELDS_SIZE)
        return skip_bytes(IDOS, reader, padded_size(chunk_size));
    uint8 fields[AIFF_SSND_FIELDS_SIZE];
    if (!read_bytes(IDOS, reader, fields, AIFF_SSND_FIELDS_SIZE))
        return false;
    reader->ssnd_pos = chunk_pos;
    reader->ssnd_offset = ov_load_be32(fields + AIFF_SSND_OFFSET_AT);
    reader->ssnd_block_size = ov_load_be32(fields + AIFF_SSND_BLOCK_SIZE_AT);
    reader->data_length = chunk_size - AIFF_SSND_FIELDS_SIZE;
    reader->offset_skipped = 0;
    return true;
}

/* Walks the chunks until an SSND chunk with data. Every chunk is passed by
 * its size, so the scan stays on chunk boundaries; when it cannot get past
 * a chunk (a short read, a chunk running beyond the file) there is no
 * sound data to be found. */
bool scan_chunks(struct ExecIFace *IExec, struct DOSIFace *IDOS, struct aiff_reader *reader)
{
    while (reader->data_length == 0) {
        const uint64 chunk_pos = reader->file_pos;
        uint8 header[AIFF_CHUNK_HEADER_SIZE];
        if (!read_bytes(IDOS, reader, header, AIFF_CHUNK_HEADER_SIZE))
            return false;
        const uint32 chunk_size = ov_load_be32(header + AIFF_CHUNK_SIZE_AT);
        bool passed;
        if (aiff_id_is(header, AIFF_COMM_ID))
            passed = take_comm(IExec, IDOS, reader, chunk_size);
        else if (aiff_id_is(header, AIFF_SSND_ID))
            passed = take_ssnd(IDOS, reader, chunk_pos, chunk_size);
        else
            passed = skip_bytes(IDOS, reader, padded_size(chunk_size));
        if (!passed)
            return false;
    }
    return true;
}

} // namespace

struct aiff_reader *aiff_open(struct ExecIFace *IExec, struct DOSIFace *IDOS, CONST_STRPTR name)
{
    if (name == nullptr)
        return nullptr;
    struct aiff_reader *reader =
        (struct aiff_reader *)IExec->AllocVec(IExec, sizeof(struct aiff_reader), MEMF_CLEAR);
    if (reader == nullptr)
        return nullptr;
    reader->file = IDOS->FOpen(IDOS, name, MODE_OLDFILE, 0);
    uint8 form[AIFF_FORM_HEADER_SIZE];
    if (reader->file != 0 && read_bytes(IDOS, reader, form, AIFF_FORM_HEADER_SIZE) &&
        aiff_is_form_header(form) && scan_chunks(IExec, IDOS, reader))
        return reader;
    aiff_close(IExec, IDOS, reader);
    return nullptr;
}

uint32 aiff_frame_size(const struct aiff_reader *reader)
{
    return (uint32)reader->num_channels * (reader->sample_size / 8u);
}

uint32 aiff_sound_bytes(const struct aiff_reader *reader)
{
    /* The offset bytes belong to the chunk's data but are no sound. */
    return reader->data_length > reader->ssnd_offset ? reader->data_length - reader->ssnd_offset
                                                     : 0;
}

int32 aiff_read(struct DOSIFace *IDOS, struct aiff_reader *reader, APTR destination, int32 frames)
{
    if (frames <= 0)
        return -1;
    if (reader->data_done == 0 && reader->ssnd_offset != 0 && !reader->offset_skipped) {
        if (!skip_bytes(IDOS, reader, reader->ssnd_offset))
            return -1;
        reader->offset_skipped = 1;
    }
    if (reader->sample_size != 16 || reader->num_channels == 0 || reader->num_channels > 2)
        return -1;
    const uint32 frame_size = aiff_frame_size(reader);
    const uint32 sound_bytes = aiff_sound_bytes(reader);
    uint8 *out = (uint8 *)destination;
    int32 delivered = 0;
    /* A request cut short by the end of the data is followed by one for the
     * rest, which finds the data used up unless the cut read came up short. */
    while (reader->data_done < sound_bytes) {
        const uint32 bytes_left = sound_bytes - reader->data_done;
        uint32 count = (uint32)frames;
        if ((uint64)count * frame_size > bytes_left)
            count = bytes_left / frame_size;
        if (count == 0)
            break; /* only part of a frame is left */
        const uint32 got = IDOS->FRead(IDOS, reader->file, out, frame_size, count);
        if (got == 0 || got > count)
            break;
        reader->data_done += got * frame_size;
        reader->file_pos += (uint64)got * frame_size;
        delivered += (int32)got;
        out += got * frame_size;
        if (count == (uint32)frames)
            break;
        frames -= (int32)count;
    }
    return delivered > 0 ? delivered : -1;
}

void aiff_close(struct ExecIFace *IExec, struct DOSIFace *IDOS, struct aiff_reader *reader)
{
    if (reader == nullptr)
        return;
    if (reader->file != 0)
        IDOS->FClose(IDOS, reader->file);
    IExec->FreeVec(IExec, reader);
}
