#include "aiff_writer.h"
#include "entrypoints.h"

int32 _OVPlug_InitEncoder(struct OVPlugIFace *Self, struct EncoderStream *encoder)
{
    if (encoder == nullptr)
        return 0;
    encoder->State = aiff_writer_new(PluginExecOf(Self));
    return encoder->State != nullptr ? 1 : 0;
}
