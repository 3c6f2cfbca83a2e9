#include "aiff_writer.h"
#include "entrypoints.h"

int32 _OVPlug_EncodeFrameEncoder(struct OVPlugIFace *Self, struct EncoderStream *encoder,
                                 CONST_APTR samples, uint32 frames)
{
    struct aiff_writer *writer = aiff_open_writer_of(encoder);
    if (writer == nullptr)
        return -1;
    return aiff_writer_append(PluginExecOf(Self), writer, samples, frames);
}
