#pragma once
// The life of the unit slots: initialisation and the release of the engine
// buffers.

#include "model/synth.h"

namespace velmor {

// Obtains the delay line (zeroed) and the unit buffers, gives every slot its
// start values and builds the pitch, wave and filter tables. Returns 1 on
// success, 0 when a buffer cannot be obtained (the unit fields are then
// untouched).
int initialiseUnits(Synth& s);

// Frees the two engine buffers.
void releaseBuffers(Synth& s);

}  // namespace velmor
