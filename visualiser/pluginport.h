/*
 * The visualiser's protocol with the music player, on the player's public
 * port "Brivex plugin port".
 *
 * The visualiser sends one PluginMessage to attach (masks, its task and the
 * addresses of four pointer variables of its own) and the same block again
 * with every one of those fields zero to detach. The player replies to both
 * with the same block; on attach it first writes `accepted` (non-zero: the
 * visualiser may stay). While attached the player stores the addresses of
 * its buffers into the four variables, and signals dataSignalMask to
 * clientTask whenever new audio is in them, infoSignalMask when the song
 * changed.
 *
 * Records use the machine's own byte order and pointer width; on a 32-bit
 * machine the offsets are the ones noted. The buffers behind the slots
 * hold big-endian 16-bit values.
 */
#ifndef OV_VISUALISER_PLUGINPORT_H
#define OV_VISUALISER_PLUGINPORT_H

#include "../platform/exec.h"

#define PLUGIN_PORT_NAME "Brivex plugin port"

/* Frames of the stereo sample buffer the visualiser reads (0 to 510):
 * interleaved signed 16-bit big-endian, first channel first. */
#define PLUGIN_SAMPLE_FRAMES 511
/* Entries of each spectrum array it reads (0 to 508): unsigned 16-bit
 * big-endian. */
#define PLUGIN_SPECTRUM_ENTRIES 509

#if OV_ADDRESS_32
#pragma pack(push, 2)
#endif

struct PluginMessage {
    struct Message pm_Message; /*  0 */
    uint32 dataSignalMask;     /* 20 */
    struct Task *clientTask;   /* 24 */
    APTR *firstSpectrumSlot;   /* 28 */
    APTR *secondSpectrumSlot;  /* 32 */
    uint16 accepted;           /* 36: written by the player on attach */
    uint16 reserved1;          /* 38 */
    uint32 infoSignalMask;     /* 40 */
    APTR *trackInfoSlot;       /* 44 */
    uint32 reserved2;          /* 48 */
    APTR *sampleBufferSlot;    /* 52 */
};

#if OV_ADDRESS_32
#pragma pack(pop)
#endif

/* The player's record of the current song: the visualiser reads only the
 * name, a NUL-terminated text (or NULL) at byte offset 32. */
struct TrackInfo {
    uint8 ti_Reserved[32];
    CONST_STRPTR title; /* 32 */
};

#if OV_ADDRESS_32
static_assert(sizeof(struct PluginMessage) == 56, "PluginMessage is 56 bytes");
static_assert(offsetof(struct PluginMessage, dataSignalMask) == 20, "dataSignalMask at 20");
static_assert(offsetof(struct PluginMessage, accepted) == 36, "accepted at 36");
static_assert(offsetof(struct PluginMessage, infoSignalMask) == 40, "infoSignalMask at 40");
static_assert(offsetof(struct PluginMessage, sampleBufferSlot) == 52, "sampleBufferSlot at 52");
#endif
static_assert(offsetof(struct TrackInfo, title) == 32, "TrackInfo title at 32");

#endif
