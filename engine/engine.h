#pragma once
// The engine: its own copy of the score, its input, and the render's running
// state: the step clock, each unit's voice (phases, envelope, filter
// memories), the unit and delay buffers and the meters. Only the thread that
// renders changes it; the fields the interface reads meanwhile (the clock,
// the song position and the meters) are Relaxed.

#include <cstdint>
#include <memory>

#include "base/document.h"
#include "base/relaxed.h"
#include "engine/clock_tempo.h"
#include "engine/engine_input.h"
#include "engine/note_output.h"
#include "engine/tables.h"

namespace velmor {

constexpr int kMaxBlockFrames = 65536;
constexpr int kDelaySlots = 200000;
constexpr int kEnvFull = 2097152;  // 2^21
constexpr uint16_t kLevelClipped = 0xFFFF;

struct UnitVoice {
    int32_t osc1Accum = 0;
    int32_t osc2Accum = 0;
    int32_t lfoAccum = 0;
    int32_t envLevel = 0;
    uint8_t envStage = 0;  // 0 attack, 1 decay, 2 sustain hold, 3 release
    int32_t sustainCounter = 0;
    int32_t filterX1 = 0, filterX2 = 0, filterY1 = 0, filterY2 = 0;
    int32_t filterW1 = 0, filterW2 = 0, filterZ1 = 0, filterZ2 = 0;
    // Accent: whether the note now sounding was struck accented, and the
    // charge that successive accents build up (Q16, decays between notes).
    uint8_t accentOn = 0;
    int32_t accentCharge = 0;
};

// A unit played from MIDI keys: the keys held on its channel, oldest first
// (the newest sounds), the legato glide toward it, and after the last key's
// release (or a stop) the tail: released, no step strikes, until the
// pattern takes over at the start of a step.
struct UnitKeys {
    uint8_t held[128] = {};
    int32_t count = 0;
    bool tail = false;
    bool strike = false;      // the next frame strikes the newest key
    bool accent = false;      // the note struck was accented
    int32_t pitch = 0;        // the step pitch sounding, or last sounded
    bool keyed = false;       // a key sounded since the pattern last played: the tail keeps its pitch
    int32_t from = 0;         // where a legato glide starts
    int32_t glide = -1;       // frames into the glide; -1: none
    int32_t glideLength = 1;  // the step length it glides over
};

// The step clock following MIDI clock: six ticks a step, each step beginning
// at the frame of its tick; the step length for gates, slides, swing and
// the delay measured from the ticks.
struct ClockIn {
    bool sync = false;                     // the steps follow MIDI clock
    bool waiting = false;                  // after Start or Continue: the first tick begins the step
    bool restart = false;                  // after Start: the first tick begins the song from the start
    bool holding = false;                  // no tick for two seconds: the units are released
    int32_t ticks = 0;                     // ticks of the step so far, 0..5
    int32_t endIn = -1;                    // a swung step ends this many frames after its sixth tick
    int64_t tickFrames[kTempoTicks] = {};  // the latest ticks' frames
    int32_t tickCount = 0;
    int32_t samplesPerStep = 0;  // measured; 0 until two ticks came
};
constexpr int32_t kClockHoldFrames = 88200;  // 2 s

// The frames of the block at which MIDI clock ticks fall (24 a quarter
// note), for the clock output.
struct ClockOut {
    static constexpr int kMax = 1024;
    bool enabled = false;
    int32_t count = 0;
    int32_t frames[kMax] = {};
};

// Where the song stands: the playing position (0-based; -1 in pattern
// mode), the pattern all units play, and the pattern that played before it
// (whose step 15 decides the retrigger at step 0). The step clock advances
// it at the frame that ends step 15; the engine reset puts it back to the
// start.
struct SongClock {
    Relaxed<int32_t> position;
    Relaxed<int32_t> pattern;
    Relaxed<int32_t> previousPattern;
};

// A pattern a controller chose for one unit in pattern mode (Program
// Change): the one it plays instead of the song's, the one it played before
// where that differs from the song's (its step 15 decides the retrigger at
// step 0), and the one waiting for the next pattern end; -1 for none.
struct UnitPattern {
    int32_t playing = -1;
    int32_t previous = -1;
    int32_t queued = -1;
};

struct Engine {
    const Tables* tables = nullptr;
    // The score it plays, its own: only its input writes it. A whole new
    // score can take its place by a pointer swap (swapScore).
    std::unique_ptr<Score> score = std::make_unique<Score>();
    EngineInput input;

    Relaxed<int32_t> currentStep;
    Relaxed<int32_t> stepTick;
    // Index, within the block, of the last frame of a pattern, and of the
    // frame that ended a whole pass: in pattern mode every pattern, in song
    // mode the last song position.
    Relaxed<int32_t> patternEndFrame;
    Relaxed<int32_t> passEndFrame;
    SongClock song;
    // The sequencer runs (Play, or MIDI Start); stopped, the clock stands
    // and only keys sound.
    bool running = true;
    UnitVoice voices[8];
    UnitKeys keys[8];
    UnitPattern unitPatterns[8];
    ClockIn clockIn;
    ClockOut clockOut;
    NoteOut noteOut;
    // "Local Off": bit u set, unit u is not heard (it plays on, and its
    // notes still go out as MIDI).
    uint32_t localOff = 0;
    Relaxed<int32_t> syncedTempo;  // BPM measured from MIDI clock; 0 when not synced
    // Frames rendered so far, and where in the block the events now applied
    // stand.
    Relaxed<int64_t> framePosition;
    int32_t eventOffset = 0;

    std::unique_ptr<int16_t[]> unitBuffers;  // 8 x 65536 samples, unit u at u * 65536
    std::unique_ptr<int32_t[]> delayBuffer;  // 200000 slots: even left, odd right
    int32_t delayPos = 0;
    int32_t delayLength = 0;
    int32_t delayGainL = 0;
    int32_t delayGainR = 0;
    Relaxed<uint16_t> levelLeft;
    Relaxed<uint16_t> levelRight;

    double highPassScale = 0;
    double lfoPhaseScale = 134217728.0;  // 2^27
};

}  // namespace velmor
