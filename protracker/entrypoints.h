/* OV_PT.ovplug's constants; its entry points are the player's, declared
 * with the frame. */
#ifndef OV_PT_ENTRYPOINTS_H
#define OV_PT_ENTRYPOINTS_H

#include "../frame/player_entrypoints.h"

/* Mixing rate and block size of every decode call. */
#define PT_MIX_RATE 44100
#define PT_OUTPUT_BUFFER_SIZE 65536
#define PT_FRAMES_PER_DECODE 16384
#define PT_HOST_THRESHOLD 7599

#endif
