#include "aiff_writer.h"

int32 _OVPlug_InitEncoder(struct OVPlugIFace *Self, struct EncoderStream *encoder)
{
    if (encoder == nullptr)
        return 0;
    struct ExecIFace *IExec = PluginExecOf(Self);
    /* Not cleared: every field is set below or by OpenEncoder before use. */
    struct aiff_writer *writer =
        (struct aiff_writer *)IExec->AllocVec(IExec, sizeof(struct aiff_writer), MEMF_SHARED);
    encoder->State = writer;
    if (writer == nullptr)
        return 0;
    for (int i = 0; i <= AIFF_WRITER_FIXUPS; i++)
        writer->fixups[i] = nullptr;
    writer->pending = 0;
    writer->opened = 0;
    writer->frames_written = 0;
    writer->ssnd_size = 0;
    writer->ssnd_pos = AIFF_WRITER_SSND_POS;
    return 1;
}
