#pragma once
// The render's running state: the step clock, each unit's voice (phases,
// envelope, filter memories), the unit and delay buffers and the meters.

#include <cstdint>
#include <memory>

#include "model/relaxed.h"

namespace velmor {

constexpr int kMaxBlockFrames = 65536;
constexpr int kDelaySlots = 200000;
constexpr int kEnvFull = 2097152;  // 2^21
constexpr uint16_t kLevelClipped = 0xFFFF;

// Fields the interface thread also writes (the waveform and Phase setters
// restart the phases, the filter-mode setter clears the memories, the
// refresh after a load re-arms the envelope) are Relaxed.
struct UnitVoice {
    Relaxed<int32_t> osc1Accum;
    Relaxed<int32_t> osc2Accum;
    Relaxed<int32_t> lfoAccum;
    Relaxed<int32_t> envLevel;
    Relaxed<uint8_t> envStage;  // 0 attack, 1 decay, 2 sustain hold, 3 release
    Relaxed<int32_t> sustainCounter;
    Relaxed<int32_t> filterX1, filterX2, filterY1, filterY2;
    Relaxed<int32_t> filterW1, filterW2, filterZ1, filterZ2;
    // Accent: whether the note now sounding was struck accented, and the
    // charge that successive accents build up (Q16, decays between notes).
    Relaxed<uint8_t> accentOn;
    Relaxed<int32_t> accentCharge;
};

// Where the song stands: the playing position (0-based; 0 in pattern mode),
// the pattern all units play, and the pattern that played before it (whose
// step 15 decides the retrigger at step 0). The render advances it at the
// frame that ends step 15; the engine reset puts it back to the start.
struct SongClock {
    Relaxed<int32_t> position;
    Relaxed<int32_t> pattern;
    Relaxed<int32_t> previousPattern;
};

struct EngineState {
    Relaxed<int32_t> currentStep;
    Relaxed<int32_t> stepTick;
    Relaxed<int32_t> patternEndFrame;
    // Index, within the block, of the frame that ended a whole pass: in
    // pattern mode every pattern, in song mode the last song position.
    Relaxed<int32_t> passEndFrame;
    SongClock song;
    Relaxed<int16_t> sequencerOn;
    UnitVoice voices[8];

    std::unique_ptr<int16_t[]> unitBuffers;  // 8 x 65536 samples, unit u at u * 65536
    std::unique_ptr<int32_t[]> delayBuffer;  // 200000 slots: even left, odd right
    int32_t delayPos = 0;
    int32_t delayLength = 0;
    int32_t delayGainL = 0;
    int32_t delayGainR = 0;
    Relaxed<uint16_t> levelLeft;
    Relaxed<uint16_t> levelRight;

    Relaxed<double> highPassScale;
    double lfoPhaseScale = 134217728.0;  // 2^27
};

}  // namespace velmor
