/* The entry points of OV_AIFF.ovplug's interface "main", in slot order. */
#ifndef OV_AIFF_ENTRYPOINTS_H
#define OV_AIFF_ENTRYPOINTS_H

#include "frame_config.h"

#define AIFF_OUTPUT_BUFFER_SIZE 32768
#define AIFF_FRAMES_PER_DECODE 8192
#define AIFF_HOST_THRESHOLD 7999

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
int32 _OVPlug_InitEncoder(struct OVPlugIFace *Self, struct EncoderStream *encoder);
APTR _OVPlug_OpenEncoder(struct OVPlugIFace *Self, struct EncoderStream *encoder,
                         const struct EncoderFormat *format);
int32 _OVPlug_EncodeFrameEncoder(struct OVPlugIFace *Self, struct EncoderStream *encoder,
                                 CONST_APTR samples, uint32 frames);
uint32 _OVPlug_CloseEncoder(struct OVPlugIFace *Self, struct EncoderStream *encoder);
struct EncoderFixup **_OVPlug_FinishEncoder(struct OVPlugIFace *Self,
                                           struct EncoderStream *encoder);
OV_EXTERN_C_END

#endif
