#include "engine/render.h"

#include "engine/arith.h"
#include "engine/envelope.h"
#include "engine/exact_division.h"
#include "engine/filter.h"
#include "engine/engine_input.h"
#include "engine/mixdown.h"
#include "engine/note_input.h"
#include "engine/step_clock.h"

namespace velmor {

namespace {

constexpr int32_t kPhasePeriod = 1 << 22;         // oscillator phase cycle
constexpr int32_t kLfoPhaseMask = (1 << 27) - 1;  // LFO phase cycle 2^27

// A note index into noteStepTable, kept inside the table (a coarse
// transpose can take it below 0).
inline int32_t noteHz(const Tables& t, int32_t index) { return t.noteStepTable[clampInt(index, 0, kNoteSteps - 1)]; }
// An eighth-semitone index into fineStepTable, kept inside the table.
inline int32_t fineHz(const Tables& t, int32_t index) { return t.fineStepTable[clampInt(index, 0, kFineSteps - 1)]; }

// After the one subtraction of a period, an accumulator that is still at or
// above 2^22 (strong FM at a high pitch, or values from a pattern file) is
// reduced modulo 2^22.
inline int32_t wrapPhase(int32_t acc) { return acc & (kPhasePeriod - 1); }

// Everything the frame loop takes once per unit and block.
struct BlockParams {
    const Tables* tables;
    const UnitRecord* record;  // the envelope reads its decay, sustain and release at every frame
    const WaveSample* osc1Table;
    const WaveSample* osc2Table;
    int32_t coarse1, coarse2, fine1, fine2;
    uint32_t sync;
    int32_t pulseThreshold;  // P
    int32_t mix, ring, fm;
    uint16_t filterMode;
    int32_t cutoff, resonance, envAmount;
    double highPassScale;
    int32_t attackIncrement;
    int32_t lfoIncrement, lfoAmount;
    uint16_t lfoTarget;
    const WaveSample* lfoTable;
    const int32_t* distCurve;
    int32_t distWet;
    int32_t accentGain;  // 0..128: how much an accented note gains, in 128ths
};

// The unit's accent strength 0..100 from its stored word (50 minus the
// position, so that a stored 0 is the middle strength).
inline int32_t accentStrength(uint32_t stored) { return clampInt(sub32(50, static_cast<int32_t>(stored)), 0, 100); }

// The charge that successive accents build up, in Q16: each accented note
// charges it a quarter of the way toward full (8192 cutoff units), and it
// falls back with a time constant of 8192 frames (186 ms).
constexpr int32_t kAccentChargeFull = 8192 << 16;

BlockParams latchBlockParams(const Engine& e, int u) {
    const Tables& t = *e.tables;
    const Document& doc = e.score->doc;
    const UnitRecord& r = doc.units[u];
    const UnitDerived& derived = e.score->derived.units[u];
    BlockParams b;
    b.tables = &t;
    b.record = &r;
    b.osc1Table = waveTableFor(t, doc.userWave, derived.osc1Table);
    b.osc2Table = waveTableFor(t, doc.userWave, derived.osc2Table);
    b.coarse1 = r.osc1Coarse;
    b.coarse2 = r.osc2Coarse;
    b.fine1 = r.osc1Fine;
    b.fine2 = r.osc2Fine;
    b.sync = r.oscSync;
    // 2^22 - pulseWidth 2^21 / 128, the product and quotient in double.
    b.pulseThreshold = sub32(kPhasePeriod, truncToInt(r.pulseWidth * 2097152.0 / 128.0));
    b.mix = r.oscMix;
    b.ring = r.ringMod;
    b.fm = r.fmAmount;
    b.filterMode = r.filterMode;
    b.cutoff = r.cutoff;
    b.resonance = r.resonance;
    b.envAmount = r.envAmount;
    b.highPassScale = e.highPassScale;
    b.attackIncrement = truncToInt(r.attack);
    b.lfoIncrement = truncToInt(r.lfoSpeed / 44100.0 * e.lfoPhaseScale);
    b.lfoAmount = r.lfoAmount;
    b.lfoTarget = r.lfoTarget;
    // Square for wave 1; the sine for 0 and for any other value.
    b.lfoTable = r.lfoWave == 1 ? t.squareTable : t.sineTable;
    b.distCurve = distortionCurve(t, r.distMode, r.distThreshold);
    b.distWet = r.distWet;
    b.accentGain = accentStrength(r.accentOffset) * 128 / 100;
    return b;
}

// What a run of frames plays: a pattern step, the keys held, or the tail.
struct VoiceRun {
    int32_t offset, frames;  // within the step's span
    int32_t note, next;      // the pitch, and the pitch it glides to
    bool gliding;
    int32_t tick;  // frames into the step (or the glide) at the run's start
    int32_t glideLength;
    bool strikes;  // the first frame strikes the note
    bool accented;
    bool gated;  // the step's gate closes at `gate`
    int32_t gate;
};

// A glide that would outlast its length holds its target from there on.
int splitGlide(VoiceRun* runs) {
    VoiceRun& glide = runs[0];
    const int32_t left = glide.glideLength - glide.tick;
    if (!glide.gliding || glide.frames <= left) return 1;
    VoiceRun held = glide;
    held.note = held.next;
    held.gliding = false;
    if (left <= 0) {
        runs[0] = held;
        return 1;
    }
    glide.frames = left;
    held.offset = left;
    held.frames -= left;
    held.tick += left;
    held.strikes = false;
    runs[1] = held;
    return 2;
}

// The runs unit u plays in one span: the keys while any is held, the tail
// after the last one or a stop (until a step begins), else the pattern.
int planRuns(Engine& e, int u, const StepSpan& span, int32_t gateSamples, VoiceRun* runs) {
    const Document& doc = e.score->doc;
    UnitKeys& k = e.keys[u];
    if (k.count == 0 && k.tail && span.advancing && span.tick == 0) k.tail = k.keyed = false;
    VoiceRun& run = runs[0];
    run = VoiceRun{0, span.frames, 0, 0, false, span.tick, span.stepLength, false, false, false, 0};
    if (k.count > 0) {
        run.strikes = k.strike;
        run.accented = k.accent;
        k.strike = false;
        run.next = k.pitch;
        run.note = k.glide >= 0 ? k.from : k.pitch;
        run.gliding = k.glide >= 0;
        run.tick = k.glide >= 0 ? k.glide : 0;
        run.glideLength = k.glideLength;
        if (k.glide >= 0) {
            k.glide += span.frames;
            if (k.glide >= k.glideLength) k.glide = -1;
        }
        return splitGlide(runs);
    }
    const UnitSpanPatterns patterns = patternsOf(e, u, span);
    const int at = stepIndex(u, patterns.playing, span.step);
    if (k.tail || !span.advancing) {
        // The tail: the gate stays closed, even for an envelope re-armed by
        // a load; the pitch is the last key's, or else the pattern's where
        // the clock stands (whichever pattern is loaded).
        run.note = run.next = k.tail && k.keyed ? k.pitch : int32_t{doc.stepPitch[at]};
        run.gated = true;
        run.gate = -1;
        return 1;
    }
    // The step's data: its note, and with slide the note it glides to (step
    // 15 slides toward step 0 of the pattern that plays next). A note-on step
    // strikes at its start unless the step before (step 15 of the pattern
    // that played before, for step 0) slid; the release starts after the gate
    // length of a step without slide, which for a swung step is gateSamples
    // L / samplesPerStep of its length L.
    const bool slides = doc.stepSlide[at] != 0;
    run.note = doc.stepPitch[at];
    run.next = slides ? int32_t{doc.stepPitch[span.step < 15 ? at + 1 : stepIndex(u, patterns.following, 0)]} : run.note;
    run.gliding = run.next != run.note;
    run.strikes = span.tick == 0 && doc.stepNoteOn[at] != 0 &&
                  doc.stepSlide[span.step > 0 ? at - 1 : stepIndex(u, patterns.previous, 15)] == 0;
    run.accented = (doc.stepSpare[at] & 1) != 0;
    run.gated = !slides;
    run.gate =
        span.swingDelay != 0 ? static_cast<int32_t>(int64_t{gateSamples} * span.stepLength / span.samplesPerStep) : gateSamples;
    // Following a clock, a step may last longer than measured.
    return e.clockIn.sync ? splitGlide(runs) : 1;
}

// Notes are signed 8-bit, so this key never matches one.
constexpr int32_t kNoPitchKey = INT32_MIN;

// The oscillators' phase increments within a run, and the note and LFO
// offset they were computed for.
struct Pitch {
    int32_t note = kNoPitchKey, offset = 0;
    int32_t inc1 = 0, inc2 = 0;
};

// The LFO, one frame on: its table value. The one subtraction of a period,
// and the reduction of a phase outside 0..2^27 - 1 (from pattern-file
// speeds), are both the remainder modulo 2^27.
inline int32_t runLfo(UnitVoice& v, const BlockParams& b) {
    v.lfoAccum = add32(v.lfoAccum, b.lfoIncrement) & kLfoPhaseMask;
    return b.lfoTable[v.lfoAccum >> 17];
}

// Pitch and slide. The increments are recomputed only when the LFO offset
// changes, or at every frame of a glide.
inline void followPitch(Pitch& p, const BlockParams& b, const VoiceRun& run, int32_t tick, int32_t l) {
    const Tables& t = *b.tables;
    const int32_t off = b.lfoTarget == 0 ? mul32(mul32(l, b.lfoAmount), 12) >> 20 : 0;
    if (!run.gliding && run.note == p.note && off == p.offset) return;
    int32_t p1, p2;
    if (b.lfoTarget == 0) {
        p1 = fineHz(t, add32(mul32(add32(run.note, b.coarse1), 8), off));
        p2 = fineHz(t, add32(mul32(add32(run.note, b.coarse2), 8), off));
    } else {
        p1 = noteHz(t, add32(run.note, b.coarse1));
        p2 = noteHz(t, add32(run.note, b.coarse2));
    }
    if (run.gliding) {
        p1 = p1 + (noteHz(t, add32(run.next, b.coarse1)) - p1) * tick / run.glideLength;
        p2 = p2 + (noteHz(t, add32(run.next, b.coarse2)) - p2) * tick / run.glideLength;
    }
    p.inc1 = phaseIncrement(p1);
    p.inc2 = phaseIncrement(p2);
    p.note = run.gliding ? kNoPitchKey : run.note;
    p.offset = off;
}

struct OscillatorSamples {
    int32_t s1, s2;
};

// The two oscillators, one frame on: oscillator 1 with the pulse-width warp,
// oscillator 2 (frequency-modulated by the LFO or by oscillator 1) the sync
// master.
inline OscillatorSamples runOscillators(UnitVoice& v, const BlockParams& b, const Pitch& p, int32_t l) {
    if (b.lfoTarget == 3) v.osc2Accum = add32(v.osc2Accum, mul32(mul32(p.inc2, b.lfoAmount) >> 10, l) >> 8);

    v.osc1Accum = add32(v.osc1Accum, add32(p.inc1, b.fine1));
    if (v.osc1Accum < 0) v.osc1Accum = 0;
    if (v.osc1Accum >= kPhasePeriod) v.osc1Accum = wrapPhase(v.osc1Accum - kPhasePeriod);
    // acc1 - P is 0..2^32 - 1 when acc1 >= P, exact in unsigned 32 bits.
    uint32_t readPos = static_cast<uint32_t>(v.osc1Accum);
    if (v.osc1Accum >= b.pulseThreshold) readPos -= static_cast<uint32_t>(b.pulseThreshold);
    // A threshold below 0 (from a pattern file) could read past the
    // table: the index is clamped to its last entry.
    const int32_t s1 = b.osc1Table[readPos >= kPhasePeriod ? kWaveLength - 1 : (readPos >> 12)];

    if (b.fm > 0) v.osc2Accum = add32(v.osc2Accum, mul32(mul32(p.inc2, b.fm) >> 10, s1) >> 8);

    v.osc2Accum = add32(v.osc2Accum, add32(p.inc2, b.fine2));
    if (v.osc2Accum < 0) v.osc2Accum = 0;
    if (v.osc2Accum >= kPhasePeriod) {
        v.osc2Accum = wrapPhase(v.osc2Accum - kPhasePeriod);
        if (b.sync != 0) v.osc1Accum = 0;
    }
    return {s1, b.osc2Table[v.osc2Accum >> 12]};
}

// Mix and ring modulation, at half of full scale.
inline int32_t mixOscillators(const BlockParams& b, OscillatorSamples o) {
    const int32_t m = mul32(add32(mul32(b.mix, o.s2), mul32(o.s1, sub32(256, b.mix))) >> 8, sub32(256, b.ring));
    const int32_t k = mul32((o.s1 * o.s2) >> 15, b.ring);
    return add32(m, k) >> 9;
}

// The filter at the cutoff the envelope, the accent and the LFO move, and
// the resonance the LFO moves.
inline int32_t runFilter(UnitVoice& v, FilterCoefficients& k, const BlockParams& b, int32_t l, int32_t x) {
    int32_t reso = b.resonance;
    if (b.lfoTarget == 1) {
        reso = add32(mul32(mul32(b.resonance, l) >> 15, b.lfoAmount) >> 8, b.resonance);
        if (reso > 32767) reso = 32767;
    }
    const int32_t envTerm = mul32(b.envAmount >> 7, v.envLevel) >> 15;
    int32_t c = add32(b.cutoff, envTerm);
    // An accented note opens the filter further: a stronger envelope, plus
    // the charge of the accents before it.
    if (v.accentOn != 0) c = add32(c, mul32(add32(envTerm, v.accentCharge >> 16), b.accentGain) >> 7);
    if (b.lfoTarget == 2) c = add32(c, mul32(mul32(l, b.lfoAmount) >> 15, b.cutoff) >> 8);

    switch (b.filterMode) {
        case kLo12: updateCoefficients(k, *b.tables, kLo12, c, reso); return filterLo12(v, k, x);
        case kLo24: updateCoefficients(k, *b.tables, kLo24, c, reso); return filterLo24(v, k, x);
        case kHi12: return filterHi12(v, b.highPassScale, c, reso, x);
        case kBand: updateCoefficients(k, *b.tables, kBand, c, 0); return filterBand(v, k, x);
        default: return x;
    }
}

// Gate: the note struck at the run's first frame decides the accent, which
// a slide carries on; the release starts after the gate length of a step
// without slide.
inline void applyGate(UnitVoice& v, const BlockParams& b, const VoiceRun& run, bool first, int32_t tick) {
    if (first && run.strikes) {
        v.envStage = kAttack;
        v.accentOn = b.accentGain > 0 && run.accented;
        if (v.accentOn != 0) v.accentCharge = add32(v.accentCharge, (kAccentChargeFull - v.accentCharge) >> 2);
    }
    if (run.gated && run.gate < tick) v.envStage = kRelease;
}

// The amplifier: the filtered sample at the envelope's level; an accented
// note's amplitude rises by up to the whole of itself.
inline int32_t amplify(const UnitVoice& v, const BlockParams& b, int32_t y) {
    const int32_t a = mul32(v.envLevel >> 8, y / 2) >> 14;
    return v.accentOn != 0 ? add32(a, mul32(a, b.accentGain) >> 7) : a;
}

// The envelope and the accent charge, one frame on.
inline void advanceEnvelope(UnitVoice& v, const BlockParams& b) {
    updateEnvelope(v, b.attackIncrement, *b.record);
    v.accentCharge -= v.accentCharge >> 13;
}

// One run of frames through the stages, into out.
void renderRun(UnitVoice& v, FilterCoefficients& k, const BlockParams& b, const VoiceRun& run, int16_t* out) {
    Pitch pitch;
    int32_t tick = run.tick;
    for (int n = 0; n < run.frames; ++n, ++tick) {
        const int32_t l = runLfo(v, b);
        followPitch(pitch, b, run, tick, l);
        const int32_t y = runFilter(v, k, b, l, mixOscillators(b, runOscillators(v, b, pitch, l)));
        applyGate(v, b, run, n == 0, tick);
        const int32_t a = amplify(v, b, y);
        advanceEnvelope(v, b);
        out[n] = distort(b.distCurve, b.distWet, a);
    }
}

// Runs unit u over the runs of one stretch, into its unit buffer.
void renderUnit(Engine& e, int u, const StepSpan* spans, int count) {
    const BlockParams b = latchBlockParams(e, u);
    FilterCoefficients coeff;
    int16_t* outBuf = e.unitBuffers.get() + u * kMaxBlockFrames;
    // Following a clock, the gate follows the measured step length.
    const int32_t gateSamples =
        e.clockIn.sync ? gateSamplesFor(b.record->stepGate, playedSamplesPerStep(e)) : e.score->derived.units[u].gateSamples;
    for (const StepSpan* span = spans; span != spans + count; ++span) {
        VoiceRun runs[2];
        const int runCount = planRuns(e, u, *span, gateSamples, runs);
        for (const VoiceRun* run = runs; run != runs + runCount; ++run)
            renderRun(e.voices[u], coeff, b, *run, outBuf + span->offset + run->offset);
    }
}

// One stretch of at most 65536 frames (one unit buffer), beginning at frame
// blockOffset of the block. Returns the frames rendered.
int renderStretch(Engine& e, int16_t* out, int blockOffset, int frames, Peaks& peaks) {
    setupDelay(e);
    StepSpan spans[kMaxSpans];
    int count = 0;
    frames = runStepClock(e, blockOffset, frames, spans, count);
    const int units = clampInt(e.score->doc.unitCount, 0, kUnitSlots);
    for (int u = 0; u < units; ++u) renderUnit(e, u, spans, count);
    mixdown(e, out, frames, peaks);
    return frames;
}

}  // namespace

int32_t samplesPerStepFor(int32_t tempoBpm) { return (2646000 / clampInt(tempoBpm, 60, 180)) / 4; }

int32_t gateSamplesFor(float stepGate, int32_t samplesPerStep) {
    const float product = stepGate * static_cast<float>(samplesPerStep);
    return truncToInt(product);
}

void renderBlock(Engine& e, int16_t* out, uint32_t byteCount, std::span<const EngineEvent> events) {
    takeInput(e);
    const int frames = static_cast<int>(byteCount >> 2 > 0x7FFFFFFF ? 0x7FFFFFFF : byteCount >> 2);
    const int64_t start = e.framePosition;
    auto& midi = e.input.midi;
    // The frame within the block of the next MIDI message from the queue
    // (one already due applies at once), or past the block's end.
    const auto nextMidi = [&]() -> int64_t {
        const TimedCommand* m = midi.front();
        if (!m) return INT64_MAX;
        return m->frame > start ? m->frame - start : 0;
    };
    Peaks peaks;
    e.clockOut.count = 0;
    e.noteOut.count = 0;
    size_t next = 0;
    int done = 0;
    // Stretches of at most one unit buffer, split at the events' frames: the
    // frames are those of one long block with the same events.
    for (;;) {
        e.eventOffset = done;
        for (;;) {
            if (next < events.size() && events[next].frame <= done) {
                applyCommand(e, events[next++].command);
            } else if (nextMidi() <= done) {
                applyCommand(e, midi.front()->command);
                midi.pop();
            } else {
                break;
            }
        }
        if (done >= frames) break;
        int end = frames - done > kMaxBlockFrames ? done + kMaxBlockFrames : frames;
        if (next < events.size() && events[next].frame < end) end = events[next].frame;
        if (nextMidi() < end) end = static_cast<int>(nextMidi());
        done += renderStretch(e, out + 2 * done, done, end - done, peaks);
    }
    // What is applied between blocks stands at the next block's start.
    e.framePosition = start + frames;
    e.eventOffset = 0;
    updateMeters(e, peaks);
}

}  // namespace velmor
