/* The entry points of OV_AIFF.ovplug's interface "main": the player's
 * (declared with the frame) and the encoder's, slots 13 to 17. */
#ifndef OV_AIFF_ENTRYPOINTS_H
#define OV_AIFF_ENTRYPOINTS_H

#include "../frame/player_entrypoints.h"
#include "frame_config.h"

#define AIFF_OUTPUT_BUFFER_SIZE 32768
#define AIFF_FRAMES_PER_DECODE 8192
#define AIFF_HOST_THRESHOLD 7999

OV_EXTERN_C_BEGIN
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
