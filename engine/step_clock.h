#pragma once
// The step clock, apart from the voices: it cuts a stretch of frames into
// runs that lie within one step, the same for every unit, and moves the
// clock and the song on at each step's end. A step of the internal clock
// lasts samplesPerStep frames, swung: even steps d frames longer, odd steps
// d shorter, d = samplesPerStep x swing / 300. Following MIDI clock, a step
// ends at its sixth tick instead (a swung even step d frames after it).
// Stopped, waiting for the first tick or holding, the clock stands.

#include <cstdint>

namespace velmor {

struct Engine;

// A run of frames within one step.
struct StepSpan {
    int32_t offset;  // its first frame, within the stretch
    int32_t frames;
    int32_t step;            // 0..15
    int32_t tick;            // frames of the step played before the run
    int32_t stepLength;      // the swung step's length
    int32_t samplesPerStep;  // the straight step's length
    int32_t swingDelay;      // d; 0 plays straight
    // Patterns: the one playing, the one before it (whose step 15 decides
    // the retrigger at step 0) and the one after it (toward whose step 0
    // step 15 slides).
    int32_t playing;
    int32_t previous;
    int32_t following;
    bool advancing;  // false: the clock stands, no step begins
};

constexpr int kMaxSpans = 64;

// The patterns unit u plays in a span: its own, where a controller chose
// one for it (pattern mode only), else the song's.
struct UnitSpanPatterns {
    int32_t playing, previous, following;
};
UnitSpanPatterns patternsOf(const Engine& e, int u, const StepSpan& span);

// A pattern a controller chose for unit u (Program Change): it starts at
// the next pattern end, in place of any chosen before; ignored in song mode.
void queueUnitPattern(Engine& e, int u, int32_t pattern);

// Runs the clock over up to `frames` frames, which begin at frame
// `blockOffset` of the block, into spans[0..count). Returns the frames it
// covered: all of them, or fewer once kMaxSpans runs are taken. With no unit
// in use the clock stands still and there is no run.
int runStepClock(Engine& e, int blockOffset, int frames, StepSpan* spans, int& count);

// The straight step length the engine plays: measured from MIDI clock while
// it follows one, else the tempo's.
int32_t playedSamplesPerStep(const Engine& e);

// The units' own patterns at a pattern's end (or the start), where the
// song's pattern `was` gives way to `now`: a queued one starts; the song's
// changing (a pattern chosen, or song mode) ends them.
void startUnitPatterns(Engine& e, int32_t was, int32_t now);

// The next step begins now; `lastFrame` is the block index of the frame
// that ended the one before (for the pattern and pass ends).
void beginNextStep(Engine& e, int32_t lastFrame);

// A MIDI clock tick at the frame where the events now applied stand.
void clockTick(Engine& e);

// Every unit released (its keys too) into the tail.
void releaseAllUnits(Engine& e);

}  // namespace velmor
