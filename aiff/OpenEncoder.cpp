#include "aiff_writer.h"
#include "entrypoints.h"

APTR _OVPlug_OpenEncoder(struct OVPlugIFace *, struct EncoderStream *encoder,
                         const struct EncoderFormat *format)
{
    struct aiff_writer *writer = aiff_writer_of(encoder);
    if (writer == nullptr || format == nullptr || format->MustBeZero != 0)
        return nullptr;
    return aiff_writer_start(writer, format->Channels, format->SampleRate);
}
