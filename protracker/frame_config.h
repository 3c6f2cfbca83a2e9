/* What the library frame needs to know about OV_PT.ovplug. */
#ifndef OV_PT_FRAME_CONFIG_H
#define OV_PT_FRAME_CONFIG_H

#include "../frame/libframe.h"

#define OV_FRAME_LIB_NAME "OV_PT.ovplug"
#define OV_FRAME_VERSION 1
#define OV_FRAME_REVISION 2
#define OV_FRAME_DATE "20.3.2006"

/* The Protracker plug-in's base holds nothing beyond the frame's fields. */
typedef struct PluginBase OVFrameBase;

#endif
