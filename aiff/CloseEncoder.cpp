#include "aiff_writer.h"

uint32 _OVPlug_CloseEncoder(struct OVPlugIFace *Self, struct EncoderStream *encoder)
{
    struct aiff_writer *writer = aiff_writer_of(encoder);
    if (writer == nullptr)
        return 0;
    struct ExecIFace *IExec = PluginExecOf(Self);
    if (writer->fixups[0] != nullptr) {
        IExec->FreeVec(IExec, writer->fixups[0]);
        writer->fixups[0] = nullptr;
    }
    IExec->FreeVec(IExec, writer);
    encoder->State = nullptr;
    return 0;
}
