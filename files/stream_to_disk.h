#pragma once
// Renders one pass of the pattern, from its first step, into an open raw
// sample file: headerless 16-bit stereo frames at 44100 Hz.

#include <cstdio>

#include "model/synth.h"

namespace velmor {

// Resets the engine and writes blocks of 2048 bytes until the pattern has
// played once: F - 1 frames for F = 16 samplesPerStep. Returns 1 when every
// write succeeded, 0 when one came up short (or when no unit is in use, so
// that the clock never ends a pass; the file then holds what was written
// until a pass would have ended). The caller opens and closes the file.
int streamToDisk(Synth& s, std::FILE* f);

}  // namespace velmor
