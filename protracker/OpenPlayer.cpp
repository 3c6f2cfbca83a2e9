#include "entrypoints.h"
#include "replayer.h"

/* The host hands over the whole file; the state keeps pointing into it. */
int32 _OVPlug_OpenPlayer(struct OVPlugIFace *Self, CONST_STRPTR, struct PlayerStream *stream)
{
    struct ExecIFace *IExec = PluginExecOf(Self);
    stream->PlayerHandle =
        pt_init(static_cast<uint8 *>(stream->FileData), stream->FileSize, PT_MIX_RATE, IExec);
    if (stream->PlayerHandle == nullptr)
        return 0;
    /* The module stays loaded until ClosePlayer, also on this refusal. */
    if (stream->LoadMode != LOADMODE_IN_MEMORY)
        return 0;
    stream->InfoText5[0] = '\0';
    stream->InfoText4[0] = '\0';
    stream->InfoText1[0] = '\0';
    stream->InfoText2[0] = '\0';
    stream->InfoText3[0] = '\0';
    stream->Word1344 = 0;
    stream->Word1324 = 0;
    stream->Duration = 0;
    stream->Word1348 = 1;
    stream->Word1352 = 25;
    stream->SampleRate = PT_MIX_RATE;
    stream->Channels = 2;
    stream->SampleFormat = SAMPLEFORMAT_SIGNED_16;
    return 1;
}
