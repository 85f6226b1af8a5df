#pragma once
// The block render: the step clock and every unit in use, then the mixdown
// through the delay, master volume, limiter and meters.

#include <cstdint>
#include <span>

#include "engine/engine.h"
#include "engine/engine_input.h"

namespace velmor {

// Renders byteCount >> 2 frames of interleaved 16-bit stereo (left first)
// into out. First the interface's queued commands are applied, then each
// event at its frame (events in frame order; frames past the block's end
// apply at its end). The same events at the same frames give the same frames
// whatever the block size. Fewer than 4 bytes write nothing but still update
// the meters.
void renderBlock(Engine& e, int16_t* out, uint32_t byteCount, std::span<const EngineEvent> events = {});

// Samples per step for a tempo; a tempo outside 60..180 (only reachable from
// pattern files) is clamped here, the stored field keeps its value.
int32_t samplesPerStepFor(int32_t tempoBpm);

// gateSamples for a step gate: a single-precision product, truncated.
int32_t gateSamplesFor(float stepGate, int32_t samplesPerStep);

}  // namespace velmor
