#include "aiff_writer.h"
#include "entrypoints.h"

uint32 _OVPlug_CloseEncoder(struct OVPlugIFace *Self, struct EncoderStream *encoder)
{
    struct aiff_writer *writer = aiff_writer_of(encoder);
    if (writer == nullptr)
        return 0;
    aiff_writer_free(PluginExecOf(Self), writer);
    encoder->State = nullptr;
    return 0;
}
