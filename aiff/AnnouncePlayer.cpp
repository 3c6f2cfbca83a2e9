#include "entrypoints.h"

static const struct EncoderPlayerInfo aiffPlayerInfo = {
    {
        "AIFF",
        "Orvane plug-in team\n\nFormat reference: Apple's Audio Interchange File Format, "
        "version 1.3.",
        "Simple AIFF Player - (For use with CD Audio Discs under OS4)",
        "aiff",
        LOADMODE_BY_NAME,
        0xC4,
        10400,
        10400,
    },
    &aiffPlayerInfo.Quality,
    {1, {0, 0, 0}, aiffPlayerInfo.QualityText},
    "Match Decode Quality",
    {1, {0, 0, 0}, aiffPlayerInfo.FormatText},
    {},
    "aiff",
};

const struct PlayerInfo *_OVPlug_AnnouncePlayer(struct OVPlugIFace *, uint32 hostVersion)
{
    return hostVersion > AIFF_HOST_THRESHOLD ? &aiffPlayerInfo.Player : nullptr;
}
