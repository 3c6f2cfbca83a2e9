#include "aiff_writer.h"
#include "entrypoints.h"

struct EncoderFixup **_OVPlug_FinishEncoder(struct OVPlugIFace *Self, struct EncoderStream *encoder)
{
    struct aiff_writer *writer = aiff_open_writer_of(encoder);
    if (writer == nullptr)
        return nullptr;
    return aiff_writer_finish(PluginExecOf(Self), writer);
}
