#include "aiff_format.h"
#include "aiff_writer.h"

/* The 54-byte header: FORM (its size fixed up at the end), COMM with a
 * frame count fixed up at the end, SSND with a provisional size. */
static void build_header(struct aiff_writer *writer)
{
    uint8 *header = writer->out_buf;
    std::memcpy(header, "FORM", 4);
    aiff_store_u32(header + 4, 0);
    std::memcpy(header + 8, "AIFF", 4);
    std::memcpy(header + 12, "COMM", 4);
    aiff_store_u32(header + 16, AIFF_COMM_SIZE);
    aiff_store_u16(header + 20, writer->num_channels);
    aiff_store_u32(header + 22, 0);
    aiff_store_u16(header + 26, writer->sample_size);
    aiff_encode_rate(header + 28, writer->sample_rate);
    std::memcpy(header + 38, "SSND", 4);
    aiff_store_u32(header + 42, writer->size_limit);
    aiff_store_u32(header + 46, writer->ssnd_offset);
    aiff_store_u32(header + 50, writer->ssnd_block_size);
}

APTR _OVPlug_OpenEncoder(struct OVPlugIFace *, struct EncoderStream *encoder,
                         const struct EncoderFormat *format)
{
    struct aiff_writer *writer = aiff_writer_of(encoder);
    if (writer == nullptr || format == nullptr || format->MustBeZero != 0)
        return nullptr;
    writer->num_channels = format->Channels;
    writer->sample_rate = format->SampleRate;
    writer->sample_size = 16;
    writer->size_limit = AIFF_WRITER_SIZE_LIMIT;
    writer->ssnd_offset = 0;
    writer->ssnd_block_size = 0;
    build_header(writer);
    writer->pending = AIFF_WRITER_HEADER_SIZE;
    writer->ssnd_size = AIFF_SSND_FIELDS_SIZE;
    /* A new header starts a new file: its frame count starts again too. */
    writer->frames_written = 0;
    writer->opened = 1;
    return writer->out_buf;
}
