#include "engine/step_clock.h"

#include "engine/arith.h"
#include "engine/engine.h"
#include "engine/song_clock.h"

namespace velmor {

int runStepClock(Engine& e, int blockOffset, int frames, StepSpan* spans, int& count) {
    count = 0;
    const Score& score = e.score;
    if (clampInt(score.doc.unitCount, 0, kUnitSlots) == 0) return frames;

    const int32_t samplesPerStep = score.derived.samplesPerStep;
    const int32_t swingDelay = mul32(samplesPerStep, clampInt(score.doc.settings.swing, 0, 100)) / 300;
    int32_t step = e.currentStep & 15;
    int32_t tick = e.stepTick;
    int32_t playing = clampInt(e.song.pattern, 0, kPatternsPerUnit - 1);
    int32_t previous = clampInt(e.song.previousPattern, 0, kPatternsPerUnit - 1);
    int32_t position = e.song.position;
    int32_t following = nextSongStep(score, position).pattern;

    int done = 0;
    while (done < frames && count < kMaxSpans) {
        const int32_t stepLength = (step & 1) != 0 ? sub32(samplesPerStep, swingDelay) : add32(samplesPerStep, swingDelay);
        // A tick already past the step's end (the tempo rose) plays one frame.
        const int32_t left = stepLength > tick ? stepLength - tick : 1;
        const int n = left < frames - done ? static_cast<int>(left) : frames - done;
        spans[count++] = StepSpan{done, n, step, tick, stepLength, samplesPerStep, swingDelay, playing, previous, following};
        done += n;
        tick += n;
        if (tick < stepLength) continue;
        tick = 0;
        if (++step < 16) continue;
        // The end of step 15: the next pattern starts.
        step = 0;
        const int32_t last = blockOffset + done - 1;
        e.patternEndFrame = last;
        const SongStep next = nextSongStep(score, position);
        if (endsPass(next)) e.passEndFrame = last;
        previous = playing;
        playing = next.pattern;
        position = next.position;
        following = nextSongStep(score, position).pattern;
        e.song.position = position;
        e.song.pattern = playing;
        e.song.previousPattern = previous;
    }
    e.currentStep = step;
    e.stepTick = tick;
    return done;
}

}  // namespace velmor
