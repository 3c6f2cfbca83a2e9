/* An AIFF file's header as the reader finds it, for those that only
 * describe a file (the plug-in does not use it). */
#include "aiff_reader.h"

bool aiff_describe(struct ExecIFace *IExec, struct DOSIFace *IDOS, CONST_STRPTR name,
                   struct aiff_description *description)
{
    struct aiff_reader *reader = aiff_open(IExec, IDOS, name);
    if (reader == nullptr)
        return false;
    description->sample_rate = reader->sample_rate;
    description->num_channels = reader->num_channels;
    description->sample_size = reader->sample_size;
    description->num_frames = reader->num_frames;
    description->sound_bytes = aiff_sound_bytes(reader);
    aiff_close(IExec, IDOS, reader);
    return true;
}
