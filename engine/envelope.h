#pragma once
// The unit envelope: linear attack, exponential decay to the sustain level,
// a timed sustain hold and an exponential release. Full level is 2^21.

#include <cstdint>

#include "engine/arith.h"
#include "engine/engine.h"

namespace velmor {

enum EnvStage : uint8_t { kAttack = 0, kDecay = 1, kSustainHold = 2, kRelease = 3 };

struct Envelope {
    int32_t level;
    uint8_t stage;
    int32_t sustainCounter;
};

// One frame of the envelope. The decay, sustain and release parameters are
// read afresh at every frame from `p` (the unit record, or a test's values).
template <class Params>
inline void updateEnvelope(Envelope& e, int32_t attackIncrement, const Params& p) {
    switch (e.stage) {
        case kAttack:
            e.level = add32(e.level, attackIncrement);
            if (e.level >= kEnvFull) {
                e.level = kEnvFull;
                e.stage = kDecay;
            }
            break;
        case kDecay:
            e.level = truncToInt(static_cast<double>(static_cast<float>(p.decay)) * e.level);
            if (mul32(p.sustainLevel, 64) >= e.level) {
                e.stage = kSustainHold;
                e.sustainCounter = 0;
            }
            break;
        case kSustainHold:
            e.sustainCounter = add32(e.sustainCounter, 1);
            if (e.sustainCounter > static_cast<int32_t>(p.sustainTime)) {
                e.stage = kRelease;
                e.level = truncToInt(static_cast<double>(p.release) * e.level);
            }
            break;
        case kRelease:
            e.level = truncToInt(static_cast<double>(p.release) * e.level);
            break;
        default:
            break;
    }
}

// Envelope parameters as plain values.
struct EnvelopeParams {
    float decay;
    int32_t sustainLevel;
    int32_t sustainTime;
    double release;
};

}  // namespace velmor
