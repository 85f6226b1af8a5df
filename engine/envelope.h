#pragma once
// The unit envelope: linear attack, exponential decay to the sustain level,
// a timed sustain hold and an exponential release. Full level is 2^21.

#include <cstdint>

#include "engine/arith.h"
#include "engine/engine.h"

namespace velmor {

enum EnvStage : uint8_t { kAttack = 0, kDecay = 1, kSustainHold = 2, kRelease = 3 };

// One frame of the unit voice's envelope (envLevel, envStage and
// sustainCounter). The decay, sustain and release parameters are read afresh
// at every frame from `p` (the unit record, or a test's values).
template <class Params>
inline void updateEnvelope(UnitVoice& v, int32_t attackIncrement, const Params& p) {
    switch (v.envStage) {
        case kAttack:
            v.envLevel = add32(v.envLevel, attackIncrement);
            if (v.envLevel >= kEnvFull) {
                v.envLevel = kEnvFull;
                v.envStage = kDecay;
            }
            break;
        case kDecay:
            v.envLevel = truncToInt(static_cast<double>(static_cast<float>(p.decay)) * v.envLevel);
            if (mul32(p.sustainLevel, 64) >= v.envLevel) {
                v.envStage = kSustainHold;
                v.sustainCounter = 0;
            }
            break;
        case kSustainHold:
            v.sustainCounter = add32(v.sustainCounter, 1);
            if (v.sustainCounter > static_cast<int32_t>(p.sustainTime)) {
                v.envStage = kRelease;
                v.envLevel = truncToInt(static_cast<double>(p.release) * v.envLevel);
            }
            break;
        case kRelease: v.envLevel = truncToInt(static_cast<double>(p.release) * v.envLevel); break;
        default: break;
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
