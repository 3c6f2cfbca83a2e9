#include "aiff_writer.h"

int32 _OVPlug_EncodeFrameEncoder(struct OVPlugIFace *Self, struct EncoderStream *encoder,
                                 CONST_APTR samples, uint32 frames)
{
    struct aiff_writer *writer = aiff_open_writer_of(encoder);
    if (writer == nullptr)
        return -1;
    const uint64 bytes = (uint64)(writer->sample_size / 8u) * frames * writer->num_channels;
    if (bytes > 0) {
        /* Refused whole, nothing copied or counted: samples that do not fit
         * behind the pending header, or that would take the SSND size to
         * its bound, so the host can still finish a consistent file. */
        if (samples == nullptr || bytes > AIFF_WRITER_BUFFER_SIZE - writer->pending ||
            writer->ssnd_size + bytes >= writer->size_limit)
            return -1;
        struct ExecIFace *IExec = PluginExecOf(Self);
        IExec->CopyMem(IExec, samples, writer->out_buf + writer->pending, (uint32)bytes);
        writer->ssnd_size += (uint32)bytes;
        writer->frames_written += frames;
    }
    const int32 ready = (int32)(writer->pending + bytes);
    writer->pending = 0;
    return ready;
}
