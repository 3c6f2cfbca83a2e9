/*
 * The reference renderer of the Protracker replayer: the mixer loop written
 * out literally, one rendered sample at a time with every check, against
 * which the plug-in's fast renderer is compared byte for byte. It drives the
 * replayer's own sequencer (pt_tick) and reads the same state.
 */
#ifndef OV_TESTS_SUPPORT_PT_REFERENCE_H
#define OV_TESTS_SUPPORT_PT_REFERENCE_H

#include "protracker/replayer.h"

namespace ovtest {

/* Same arguments and output as pt_render. */
void ptReferenceRender(pt_state *state, uint8 *out1, uint8 *out2, int32 stride, int32 frames,
                       int32 oversample, int32 bits, int32 channels);

} // namespace ovtest

#endif
