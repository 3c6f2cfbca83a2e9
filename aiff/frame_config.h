/* What the library frame needs to know about OV_AIFF.ovplug. */
#ifndef OV_AIFF_FRAME_CONFIG_H
#define OV_AIFF_FRAME_CONFIG_H

#include "../frame/libframe.h"
#include "../platform/dos.h"

#define OV_FRAME_LIB_NAME "OV_AIFF.ovplug"
#define OV_FRAME_VERSION 1
#define OV_FRAME_REVISION 4
#define OV_FRAME_DATE "30.11.2006"

/* The AIFF plug-in's base: the frame's fields, then DOS. */
struct AiffBase {
    struct PluginBase Frame;
    struct Library *DOSBase;
    struct DOSIFace *IDOS;
};
typedef struct AiffBase OVFrameBase;

static inline struct AiffBase *AiffBaseOf(struct OVPlugIFace *Self)
{
    return (struct AiffBase *)Self->Data.LibBase;
}

#endif
