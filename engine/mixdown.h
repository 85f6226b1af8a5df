#pragma once
// The end of each unit's path (distortion) and the engine's output stage:
// delay, master volume, limiter and level meters.

#include <cstdint>

#include "engine/arith.h"
#include "engine/engine.h"

namespace velmor {

// Distortion of the amplified sample a with curve row `curve` and wet level
// 0..128: the stored unit sample.
inline int16_t distort(const int32_t* curve, int32_t wet, int32_t a) {
    a = clampInt(a, -32768, 32767);
    // Dry (the start-up setting): 128 a >> 7 is a, the curve is not needed.
    if (wet == 0) return static_cast<int16_t>(a);
    const int32_t t = curve[16384 + (a >> 1)];
    return static_cast<int16_t>(add32(mul32(t, wet), mul32(sub32(128, wet), a)) >> 7);
}

// The curve row a unit reads: family A for mode 1, B for any other mode; a
// threshold above 9 (only reachable from pattern files) reads row 9.
const int32_t* distortionCurve(const Tables& t, uint16_t distMode, uint16_t distThreshold);

// Per-block delay set-up: delayLength and the two return gains.
void setupDelay(Engine& e);

// Longest delay line in slots; a longer one (only reachable from pattern
// files) is capped here.
constexpr int32_t kMaxDelayLength = 200000;

struct Peaks {
    int32_t left = 0;
    int32_t right = 0;
};

// Mixes frames [0, frames) of the unit buffers through the delay and master
// stage into out, widening the running peaks.
void mixdown(Engine& e, int16_t* out, int frames, Peaks& peaks);

// Level meters at the end of a block.
void updateMeters(Engine& e, const Peaks& peaks);

// The engine reset: filter memories cleared, every envelope re-armed in the
// attack from level 1 without accent, the clock at step 0, tick 0 of the
// song's first position (song mode) or of the selected pattern.
void resetEngine(Engine& e);

}  // namespace velmor
