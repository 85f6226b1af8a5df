#pragma once
// The block render: the step clock and every unit in use, then the mixdown
// through the delay, master volume, limiter and meters.

#include <cstdint>

#include "model/synth.h"

namespace velmor {

// Renders byteCount >> 2 frames of interleaved 16-bit stereo (left first)
// into out. Fewer than 4 bytes write nothing but still update the meters.
void renderBlock(Synth& s, int16_t* out, uint32_t byteCount);

// samplesPerStep from the tempo, then gateSamples of all 8 slots.
void recomputeStepTiming(Synth& s);

// Samples per step for a tempo; a tempo outside 60..180 (only reachable from
// pattern files) is clamped here, the stored field keeps its value.
int32_t samplesPerStepFor(int32_t tempoBpm);

// gateSamples for a step gate: a single-precision product, truncated.
int32_t gateSamplesFor(float stepGate, int32_t samplesPerStep);

}  // namespace velmor
