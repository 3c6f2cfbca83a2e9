#include "aiff_writer.h"

static void set_fixup(struct EncoderFixup *fixup, uint64 fileOffset, uint32 value)
{
    fixup->FileOffsetHigh = (uint32)(fileOffset >> 32);
    fixup->FileOffsetLow = (uint32)fileOffset;
    fixup->ByteCount = 4;
    fixup->Value = value;
}

struct EncoderFixup **_OVPlug_FinishEncoder(struct OVPlugIFace *Self,
                                           struct EncoderStream *encoder)
{
    struct aiff_writer *writer = aiff_open_writer_of(encoder);
    if (writer == nullptr)
        return nullptr;
    /* A second call refreshes the entries it handed out before. */
    struct EncoderFixup *block = writer->fixups[0];
    if (block == nullptr) {
        struct ExecIFace *IExec = PluginExecOf(Self);
        block = (struct EncoderFixup *)IExec->AllocVec(
            IExec, AIFF_WRITER_FIXUPS * sizeof(struct EncoderFixup), MEMF_SHARED | MEMF_CLEAR);
        if (block == nullptr)
            return nullptr;
    }
    /* COMM frame count, SSND size, and FORM size (the file length - 8). */
    set_fixup(&block[0], 22, writer->frames_written);
    set_fixup(&block[1], writer->ssnd_pos + 4, writer->ssnd_size);
    set_fixup(&block[2], 4, (uint32)(writer->ssnd_pos + writer->ssnd_size));
    for (int i = 0; i < AIFF_WRITER_FIXUPS; i++)
        writer->fixups[i] = &block[i];
    writer->fixups[AIFF_WRITER_FIXUPS] = nullptr;
    return writer->fixups;
}
