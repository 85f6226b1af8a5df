#include "engine/step_clock.h"

#include "engine/arith.h"
#include "engine/clock_tempo.h"
#include "engine/engine.h"
#include "engine/envelope.h"
#include "engine/mixdown.h"
#include "engine/note_output.h"
#include "engine/song_clock.h"

namespace velmor {

namespace {

int32_t swingDelayOf(const Engine& e, int32_t samplesPerStep) {
    return mul32(samplesPerStep, clampInt(e.score->doc.settings.swing, 0, 100)) / 300;
}

int32_t stepLengthOf(int32_t step, int32_t samplesPerStep, int32_t swingDelay) {
    return (step & 1) != 0 ? sub32(samplesPerStep, swingDelay) : add32(samplesPerStep, swingDelay);
}

// The clock ticks (24 a quarter note, 6 a step) that fall into a run, on the
// straight grid: tick j of a pattern is due at the first frame at or after
// j x samplesPerStep / 6 frames from the pattern's start.
void reportClockTicks(Engine& e, int blockOffset, const StepSpan& span) {
    ClockOut& c = e.clockOut;
    if (!c.enabled || span.samplesPerStep <= 0) return;
    const int64_t sps = span.samplesPerStep;
    const int64_t start = span.step * sps + ((span.step & 1) != 0 ? span.swingDelay : 0) + span.tick;
    for (int64_t j = start <= 0 ? 0 : (6 * (start - 1)) / sps + 1; j < 96; ++j) {
        const int64_t due = (j * sps + 5) / 6;
        if (due >= start + span.frames) break;
        if (due >= start && c.count < ClockOut::kMax)
            c.frames[c.count++] = blockOffset + span.offset + static_cast<int32_t>(due - start);
    }
}

}  // namespace

UnitSpanPatterns patternsOf(const Engine& e, int u, const StepSpan& span) {
    const UnitPattern& p = e.unitPatterns[u];
    if (p.playing < 0 && p.queued < 0 && p.previous < 0) return {span.playing, span.previous, span.following};
    // A unit's own pattern goes on until the song's changes.
    const int32_t following =
        p.queued >= 0 ? p.queued : (p.playing >= 0 && span.following == span.playing ? p.playing : span.following);
    return {p.playing >= 0 ? p.playing : span.playing, p.previous >= 0 ? p.previous : span.previous, following};
}

void queueUnitPattern(Engine& e, int u, int32_t pattern) {
    if (e.score->doc.settings.songMode != 0 || pattern < 0 || pattern >= kPatternsPerUnit) return;
    e.unitPatterns[u].queued = pattern;
}

void startUnitPatterns(Engine& e, int32_t was, int32_t now) {
    const bool song = e.score->doc.settings.songMode != 0;
    for (UnitPattern& p : e.unitPatterns) {
        const int32_t played = p.playing >= 0 ? p.playing : was;
        if (p.queued >= 0 && !song)
            p.playing = p.queued;
        else if (now != was || song)
            p.playing = -1;
        p.queued = -1;
        p.previous = played != was ? played : -1;
    }
}

int32_t playedSamplesPerStep(const Engine& e) {
    return e.clockIn.sync && e.clockIn.samplesPerStep > 0 ? e.clockIn.samplesPerStep : e.score->derived.samplesPerStep;
}

void beginNextStep(Engine& e, int32_t lastFrame) {
    e.stepTick = 0;
    const int32_t step = (e.currentStep & 15) + 1;
    if (step < 16) {
        e.currentStep = step;
        return;
    }
    // The end of step 15: the next pattern starts.
    e.currentStep = 0;
    e.patternEndFrame = lastFrame;
    const SongStep next = nextSongStep(*e.score, e.song.position);
    if (endsPass(next)) e.passEndFrame = lastFrame;
    const int32_t was = clampInt(e.song.pattern, 0, kPatternsPerUnit - 1);
    e.song.previousPattern = was;
    e.song.pattern = next.pattern;
    e.song.position = next.position;
    startUnitPatterns(e, was, next.pattern);
}

void releaseAllUnits(Engine& e) {
    for (int u = 0; u < kUnitSlots; ++u) {
        UnitKeys& k = e.keys[u];
        k.count = 0;
        k.tail = true;
        k.strike = false;
        k.glide = -1;
        e.voices[u].envStage = kRelease;
    }
}

void clockTick(Engine& e) {
    ClockIn& c = e.clockIn;
    const int64_t now = e.framePosition + e.eventOffset;
    // The tempo from the latest ticks.
    if (c.tickCount == kTempoTicks) {
        for (int i = 1; i < kTempoTicks; ++i) c.tickFrames[i - 1] = c.tickFrames[i];
        c.tickCount = kTempoTicks - 1;
    }
    c.tickFrames[c.tickCount++] = now;
    if (c.tickCount >= 2) {
        const int64_t samples = measuredStepLength(c.tickFrames, c.tickCount);
        c.samplesPerStep = static_cast<int32_t>(samples < 3675 ? 3675 : (samples > 11025 ? 11025 : samples));
        e.syncedTempo = c.sync ? (661500 + c.samplesPerStep / 2) / c.samplesPerStep : 0;
    }
    if (!c.sync || !e.running) return;
    c.holding = false;
    if (c.waiting) {
        // The first tick after Start or Continue begins the step the clock
        // stands on; after Start, from the beginning, as Play begins it.
        if (c.restart) resetEngine(e);
        c.waiting = c.restart = false;
        c.ticks = 0;
        c.endIn = -1;
        e.stepTick = 0;
        return;
    }
    if (++c.ticks < 6) return;
    c.ticks = 0;
    // A swung even step lasts d frames past its sixth tick.
    const int32_t d = swingDelayOf(e, playedSamplesPerStep(e));
    if ((e.currentStep & 1) == 0 && d > 0) {
        c.endIn = d;
        return;
    }
    beginNextStep(e, e.eventOffset - 1);
}

int runStepClock(Engine& e, int blockOffset, int frames, StepSpan* spans, int& count) {
    count = 0;
    const Score& score = *e.score;
    if (clampInt(score.doc.unitCount, 0, kUnitSlots) == 0) return frames;

    ClockIn& c = e.clockIn;
    const bool synced = c.sync;
    const int32_t samplesPerStep = playedSamplesPerStep(e);
    const int32_t swingDelay = swingDelayOf(e, samplesPerStep);
    int done = 0;
    while (done < frames && count < kMaxSpans) {
        const int32_t step = e.currentStep & 15;
        const int32_t tick = e.stepTick;
        e.currentStep = step;
        const int32_t stepLength = stepLengthOf(step, samplesPerStep, swingDelay);
        const int32_t playing = clampInt(e.song.pattern, 0, kPatternsPerUnit - 1);
        const bool advancing = e.running && !(synced && (c.waiting || c.holding));
        const int32_t previous = clampInt(e.song.previousPattern, 0, kPatternsPerUnit - 1);
        const int32_t following = nextSongStep(score, e.song.position).pattern;
        const auto spanOf = [&](int length, bool advances) {
            return StepSpan{done,       length,  step,     tick,      stepLength, samplesPerStep,
                            swingDelay, playing, previous, following, advances};
        };
        int n = frames - done;
        if (!advancing) {
            spans[count++] = spanOf(n, false);
            reportNoteOffs(e, e.framePosition + blockOffset + frames);
            return frames;
        }
        int32_t left;
        if (synced) {
            // Ticks end steps; only a swung step's end and the hold come by time.
            const int64_t sinceTick = c.tickCount > 0 ? e.framePosition + blockOffset + done - c.tickFrames[c.tickCount - 1] : 0;
            left = c.endIn > 0 ? c.endIn : INT32_MAX;
            if (c.tickCount > 0 && kClockHoldFrames - sinceTick < left) left = static_cast<int32_t>(kClockHoldFrames - sinceTick);
            if (left <= 0) {
                c.holding = true;
                releaseAllUnits(e);
                continue;
            }
        } else {
            // A tick already past the step's end (the tempo rose) plays one frame.
            left = stepLength > tick ? stepLength - tick : 1;
        }
        if (left < n) n = static_cast<int>(left);
        spans[count] = spanOf(n, true);
        reportClockTicks(e, blockOffset, spans[count]);
        reportStepNotes(e, blockOffset, spans[count]);
        ++count;
        done += n;
        e.stepTick = tick + n;
        if (synced) {
            if (c.endIn < 0) continue;
            c.endIn -= n;
            if (c.endIn > 0) continue;
            c.endIn = -1;
        } else if (tick + n < stepLength) {
            continue;
        }
        beginNextStep(e, blockOffset + done - 1);
    }
    reportNoteOffs(e, e.framePosition + blockOffset + done);
    return done;
}

}  // namespace velmor
