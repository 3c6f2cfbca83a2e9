/* The entry points of OV_PT.ovplug's interface "main", in slot order. */
#ifndef OV_PT_ENTRYPOINTS_H
#define OV_PT_ENTRYPOINTS_H

#include "../frame/libframe.h"

/* Mixing rate and block size of every decode call. */
#define PT_MIX_RATE 44100
#define PT_OUTPUT_BUFFER_SIZE 65536
#define PT_FRAMES_PER_DECODE 16384
#define PT_HOST_THRESHOLD 7599

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

#endif
