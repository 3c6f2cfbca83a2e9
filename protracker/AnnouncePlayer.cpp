#include "entrypoints.h"

static const struct PlayerInfo ptPlayerInfo = {
    "Protracker",
    "Orvane plug-in team\n\nReplay routine after the Protracker replay code by Lars Hamre, "
    "Peter Hanning and Anders Hamre.",
    "Protracker Player",
    "",
    LOADMODE_IN_MEMORY,
    0x00,
    10200,
    10400,
};

const struct PlayerInfo *_OVPlug_AnnouncePlayer(struct OVPlugIFace *, uint32 hostVersion)
{
    return hostVersion > PT_HOST_THRESHOLD ? &ptPlayerInfo : nullptr;
}
