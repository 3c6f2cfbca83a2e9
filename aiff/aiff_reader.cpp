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
uint64 padded_size(uint32 chunkSize)
{
    return (uint64)chunkSize + (chunkSize & 1u);
}

/* Takes the fields of a COMM chunk and moves past it. A chunk too short
 * for its fields, or whose buffer cannot be had, is passed over unused. */
bool take_comm(struct ExecIFace *IExec, struct DOSIFace *IDOS, struct aiff_reader *reader,
               uint32 chunkSize)
{
    uint64 rest = padded_size(chunkSize);
    if (chunkSize >= AIFF_COMM_SIZE) {
        uint8 *fields = (uint8 *)IExec->AllocVec(IExec, AIFF_COMM_SIZE, MEMF_CLEAR);
        if (fields != nullptr) {
            const bool complete = read_bytes(IDOS, reader, fields, AIFF_COMM_SIZE);
            if (complete) {
                reader->num_channels = aiff_load_u16(fields);
                reader->num_frames = aiff_load_u32(fields + 2);
                reader->sample_size = aiff_load_u16(fields + 6);
                reader->sample_rate = aiff_decode_rate(fields + 8);
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
bool take_ssnd(struct DOSIFace *IDOS, struct aiff_reader *reader, uint64 chunkPos,
               uint32 chunkSize)
{
    if (chunkSize < AIFF_SSND_FIELDS_SIZE)
        return skip_bytes(IDOS, reader, padded_size(chunkSize));
    uint8 fields[AIFF_SSND_FIELDS_SIZE];
    if (!read_bytes(IDOS, reader, fields, AIFF_SSND_FIELDS_SIZE))
        return false;
    reader->ssnd_pos = chunkPos;
    reader->ssnd_offset = aiff_load_u32(fields);
    reader->ssnd_block_size = aiff_load_u32(fields + 4);
    reader->data_length = chunkSize - AIFF_SSND_FIELDS_SIZE;
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
        const uint64 chunkPos = reader->file_pos;
        uint8 header[AIFF_CHUNK_HEADER_SIZE];
        if (!read_bytes(IDOS, reader, header, AIFF_CHUNK_HEADER_SIZE))
            return false;
        const uint32 chunkSize = aiff_load_u32(header + 4);
        bool passed;
        if (aiff_id_is(header, "COMM"))
            passed = take_comm(IExec, IDOS, reader, chunkSize);
        else if (aiff_id_is(header, "SSND"))
            passed = take_ssnd(IDOS, reader, chunkPos, chunkSize);
        else
            passed = skip_bytes(IDOS, reader, padded_size(chunkSize));
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
        aiff_id_is(form, "FORM") && aiff_id_is(form + 8, "AIFF") &&
        scan_chunks(IExec, IDOS, reader))
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
    const uint32 frameSize = aiff_frame_size(reader);
    const uint32 soundBytes = aiff_sound_bytes(reader);
    uint8 *out = (uint8 *)destination;
    int32 delivered = 0;
    /* A request cut short by the end of the data is followed by one for the
     * rest, which finds the data used up unless the cut read came up short. */
    while (reader->data_done < soundBytes) {
        const uint32 bytesLeft = soundBytes - reader->data_done;
        uint32 count = (uint32)frames;
        if ((uint64)count * frameSize > bytesLeft)
            count = bytesLeft / frameSize;
        if (count == 0)
            break; /* only part of a frame is left */
        const uint32 got = IDOS->FRead(IDOS, reader->file, out, frameSize, count);
        if (got == 0 || got > count)
            break;
        reader->data_done += got * frameSize;
        reader->file_pos += (uint64)got * frameSize;
        delivered += (int32)got;
        out += got * frameSize;
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
