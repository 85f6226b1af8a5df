#pragma once
// "Load..." of the user waveform from a raw file.

#include "model/synth.h"

namespace velmor {

// Reads up to 1024 little-endian 16-bit samples into the document's user
// waveform from entry 0; a shorter file changes only the entries it holds.
// Returns 1 when the file was read, 0 when it cannot be opened or a read
// fails part way (nothing changes then).
int loadUserWave(Synth& s, const char* path);

}  // namespace velmor
