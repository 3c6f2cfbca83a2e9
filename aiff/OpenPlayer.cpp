#include "aiff_reader.h"
#include "entrypoints.h"

/* Play time of `frames` at `rate`, in whole seconds and in milliseconds; a
 * length beyond what the millisecond field holds is given as its largest
 * value. */
static void stream_length(uint32 frames, uint32 rate, uint32 *seconds, int32 *milliseconds)
{
    *seconds = 0;
    *milliseconds = 0;
    if (rate == 0)
        return;
    const double exact_seconds = (double)frames / (double)rate;
    const double exact_milliseconds = exact_seconds * 1000.0;
    *seconds = (uint32)exact_seconds;
    *milliseconds = exact_milliseconds >= 2147483647.0 ? 2147483647 : (int32)exact_milliseconds;
}

int32 _OVPlug_OpenPlayer(struct OVPlugIFace *Self, CONST_STRPTR fileName,
                         struct PlayerStream *stream)
{
    if (stream == nullptr || stream->LoadMode != LOADMODE_BY_NAME)
        return 0;
    struct aiff_reader *reader = aiff_open(PluginExecOf(Self), AiffBaseOf(Self)->IDOS, fileName);
    stream->PlayerHandle = reader;
    if (reader == nullptr)
        return 0;
    stream->SampleFormat = SAMPLEFORMAT_SIGNED_16;
    stream->SampleRate = reader->sample_rate;
    stream->Channels = reader->num_channels;
    stream->Word1324 = 0;
    int32 milliseconds;
    stream_length(reader->num_frames, reader->sample_rate, &reader->duration_secs, &milliseconds);
    stream->Duration = (uint32)milliseconds;
    stream->InfoText4[0] = '\0';
    stream->InfoText1[0] = '\0';
    stream->InfoText2[0] = '\0';
    return 1;
}
