#include "aiff_format.h"
#include "aiff_reader.h"
#include "entrypoints.h"

int32 _OVPlug_SeekPlayer(struct OVPlugIFace *Self, struct PlayerStream *stream, uint32 seconds)
{
    if (stream == nullptr || stream->PlayerHandle == nullptr)
        return SEEKPLAYER_REFUSED;
    struct aiff_reader *reader = (struct aiff_reader *)stream->PlayerHandle;
    /* Beyond the stream's whole seconds, or beyond what the result can say. */
    if (seconds >= reader->duration_secs || seconds > 0x7FFFFFFFu)
        return SEEKPLAYER_REFUSED;
    /* In 64 bits no product of seconds, frame size and rate can wrap. */
    const uint64 byte_offset =
        (uint64)seconds * aiff_frame_size(reader) * (uint64)reader->sample_rate;
    if (byte_offset >= aiff_sound_bytes(reader))
        return SEEKPLAYER_REFUSED;
    const uint64 target =
        reader->ssnd_pos + AIFF_SSND_DATA_START + reader->ssnd_offset + byte_offset;
    struct DOSIFace *IDOS = AiffBaseOf(Self)->IDOS;
    if (!IDOS->ChangeFilePosition(IDOS, reader->file, (int64)target, OFFSET_BEGINNING))
        return SEEKPLAYER_IMPOSSIBLE;
    reader->data_done = (uint32)byte_offset;
    reader->file_pos = target;
    reader->offset_skipped = 1;
    return (int32)seconds;
}
