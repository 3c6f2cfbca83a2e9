/*
 * The player entry points both plug-ins publish in slots 0 to 12 of their
 * interface "main", and the parts of them that are the same in both.
 * Each plug-in defines these functions in its own folder.
 */
#ifndef OV_FRAME_PLAYER_ENTRYPOINTS_H
#define OV_FRAME_PLAYER_ENTRYPOINTS_H

#include "libframe.h"

OV_EXTERN_C_BEGIN
uint32 _OVPlug_Obtain(struct OVPlugIFace *Self);
uint32 _OVPlug_Release(struct OVPlugIFace *Self);
const struct PlayerInfo *_OVPlug_AnnouncePlayer(struct OVPlugIFace *Self, uint32 hostVersion);
int32 _OVPlug_InitPlayer(struct OVPlugIFace *Self, struct PlayerStream *stream);
int32 _OVPlug_OpenPlayer(struct OVPlugIFace *Self, CONST_STRPTR fileName,
                         struct PlayerStream *stream);
void _OVPlug_ClosePlayer(struct OVPlugIFace *Self, struct PlayerStream *stream);
int32 _OVPlug_DecodeFramePlayer(struct OVPlugIFace *Self, struct PlayerStream *stream,
                                APTR hostArg);
void _OVPlug_ExitPlayer(struct OVPlugIFace *Self);
int32 _OVPlug_TestPlayer(struct OVPlugIFace *Self, APTR hostArg, CONST_APTR data, uint32 length);
int32 _OVPlug_SeekPlayer(struct OVPlugIFace *Self, struct PlayerStream *stream, uint32 seconds);
uint32 _OVPlug_DoNotify(struct OVPlugIFace *Self);
OV_EXTERN_C_END

/* Slots 0 to 12 of the "main" vector table, in slot order. */
#define OV_PLAYER_VECTORS                                                                          \
    (void *)_OVPlug_Obtain, (void *)_OVPlug_Release, nullptr /* Expunge */, nullptr /* Clone */,   \
        (void *)_OVPlug_AnnouncePlayer, (void *)_OVPlug_InitPlayer, (void *)_OVPlug_OpenPlayer,    \
        (void *)_OVPlug_ClosePlayer, (void *)_OVPlug_DecodeFramePlayer,                            \
        (void *)_OVPlug_ExitPlayer, (void *)_OVPlug_TestPlayer, (void *)_OVPlug_SeekPlayer,        \
        (void *)_OVPlug_DoNotify

/* What InitPlayer does in both plug-ins: a shared, cleared output buffer of
 * the plug-in's size at OutputBuffer and its address + 4 at
 * OutputBufferPlus4; without memory, the stream is cleaned up through the
 * plug-in's own ClosePlayer (slot 7) and 0 is returned. */
static inline int32 ovInitPlayerOutput(struct OVPlugIFace *Self, struct PlayerStream *stream,
                                       uint32 bufferBytes)
{
    if (stream == nullptr)
        return 0;
    struct ExecIFace *IExec = PluginExecOf(Self);
    stream->OutputBuffer = IExec->AllocVec(IExec, bufferBytes, MEMF_SHARED | MEMF_CLEAR);
    if (stream->OutputBuffer == nullptr) {
        Self->ClosePlayer(Self, stream);
        return 0;
    }
    stream->OutputBufferPlus4 = static_cast<uint8 *>(stream->OutputBuffer) + 4;
    return 1;
}

#endif
