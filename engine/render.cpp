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

constexpr int32_t kPhasePeriod = 1 << 22;     // oscillator phase cycle
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
    int32_t coarse1, coarse2, fine1, fine2;
    uint32_t sync;
    int32_t pulseThreshold;  // P
    int32_t mix, ring, fm;
    int32_t cutoff, resonance, envAmount;
    int32_t attackIncrement;
    int32_t lfoIncrement, lfoAmount;
    uint16_t lfoTarget;
    const WaveSample* lfoTable;
    const int32_t* distCurve;
    int32_t distWet;
    int32_t accentGain;   // 0..128: how much an accented note gains, in 128ths
};

// The unit's accent strength 0..100 from its stored word (50 minus the
// position, so that a stored 0 is the middle strength).
inline int32_t accentStrength(uint32_t stored) {
    return clampInt(sub32(50, static_cast<int32_t>(stored)), 0, 100);
}

// The charge that successive accents build up, in Q16: each accented note
// charges it a quarter of the way toward full (8192 cutoff units), and it
// falls back with a time constant of 8192 frames (186 ms).
constexpr int32_t kAccentChargeFull = 8192 << 16;

BlockParams latchBlockParams(const Engine& e, const UnitRecord& r) {
    const Tables& t = *e.tables;
    BlockParams b;
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
    b.cutoff = r.cutoff;
    b.resonance = r.resonance;
    b.envAmount = r.envAmount;
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
    int32_t tick;            // frames into the step (or the glide) at the run's start
    int32_t glideLength;
    bool strikes;            // the first frame strikes the note
    bool accented;
    bool gated;              // the step's gate closes at `gate`
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
    const int at = stepIndex(u, span.playing, span.step);
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
    run.next = slides ? int32_t{doc.stepPitch[span.step < 15 ? at + 1 : stepIndex(u, span.following, 0)]} : run.note;
    run.gliding = run.next != run.note;
    run.strikes = span.tick == 0 && doc.stepNoteOn[at] != 0 &&
                  doc.stepSlide[span.step > 0 ? at - 1 : stepIndex(u, span.previous, 15)] == 0;
    run.accented = (doc.stepSpare[at] & 1) != 0;
    run.gated = !slides;
    run.gate = span.swingDelay != 0
                   ? static_cast<int32_t>(int64_t{gateSamples} * span.stepLength / span.samplesPerStep)
                   : gateSamples;
    // Following a clock, a step may last longer than measured.
    return e.clockIn.sync ? splitGlide(runs) : 1;
}

// Runs unit u over the runs of one stretch, into its unit buffer.
void renderUnit(Engine& e, int u, const StepSpan* spans, int count) {
    const Tables& t = *e.tables;
    const Document& doc = e.score->doc;
    const UnitRecord& r = doc.units[u];
    const UnitDerived& derived = e.score->derived.units[u];
    UnitVoice& voice = e.voices[u];
    const BlockParams b = latchBlockParams(e, r);
    const WaveSample* osc1Table = waveTableFor(t, doc.userWave, derived.osc1Table);
    const WaveSample* osc2Table = waveTableFor(t, doc.userWave, derived.osc2Table);
    const uint16_t mode = r.filterMode;

    int32_t acc1 = voice.osc1Accum;
    int32_t acc2 = voice.osc2Accum;
    int32_t lfoAcc = voice.lfoAccum;
    Envelope env{voice.envLevel, voice.envStage, voice.sustainCounter};
    FilterMemory mem;
    mem.x1 = voice.filterX1;
    mem.x2 = voice.filterX2;
    mem.y1 = voice.filterY1;
    mem.y2 = voice.filterY2;
    mem.w1 = voice.filterW1;
    mem.w2 = voice.filterW2;
    mem.z1 = voice.filterZ1;
    mem.z2 = voice.filterZ2;
    FilterCoefficients coeff;
    const double highPassScale = e.highPassScale;
    uint8_t accentOn = voice.accentOn;
    int32_t accentCharge = voice.accentCharge;
    int16_t* outBuf = e.unitBuffers.get() + u * kMaxBlockFrames;

    // Notes are signed 8-bit, so this key never matches one.
    constexpr int32_t kNoPitchKey = INT32_MIN;

    const bool synced = e.clockIn.sync;
    // Following a clock, the gate follows the measured step length.
    const int32_t gateSamples = synced ? gateSamplesFor(r.stepGate, playedSamplesPerStep(e)) : derived.gateSamples;
    for (const StepSpan* span = spans; span != spans + count; ++span) {
        VoiceRun runs[2];
        const int runCount = planRuns(e, u, *span, gateSamples, runs);
        for (const VoiceRun* run = runs; run != runs + runCount; ++run) {
        const int32_t note = run->note;
        const int32_t next = run->next;
        const bool gliding = run->gliding;
        const int32_t glideLength = run->glideLength;
        const int32_t gate = run->gate;
        int32_t pitchKeyNote = kNoPitchKey, pitchKeyOff = 0;
        int32_t inc1 = 0, inc2 = 0;

        int32_t tick = run->tick;
        int16_t* out = outBuf + span->offset + run->offset;
        for (int n = 0; n < run->frames; ++n, ++tick) {
            // LFO. The one subtraction of a period, and the reduction of a
            // phase outside 0..2^27 - 1 (from pattern-file speeds), are both
            // the remainder modulo 2^27.
            lfoAcc = add32(lfoAcc, b.lfoIncrement) & kLfoPhaseMask;
            const int32_t l = b.lfoTable[lfoAcc >> 17];

            // Pitch and slide. The increments are recomputed only when the
            // LFO offset changes, or at every frame of a glide.
            const int32_t off = b.lfoTarget == 0 ? mul32(mul32(l, b.lfoAmount), 12) >> 20 : 0;
            if (gliding || note != pitchKeyNote || off != pitchKeyOff) {
                int32_t p1, p2;
                if (b.lfoTarget == 0) {
                    p1 = fineHz(t, add32(mul32(add32(note, b.coarse1), 8), off));
                    p2 = fineHz(t, add32(mul32(add32(note, b.coarse2), 8), off));
                } else {
                    p1 = noteHz(t, add32(note, b.coarse1));
                    p2 = noteHz(t, add32(note, b.coarse2));
                }
                if (gliding) {
                    p1 = p1 + (noteHz(t, add32(next, b.coarse1)) - p1) * tick / glideLength;
                    p2 = p2 + (noteHz(t, add32(next, b.coarse2)) - p2) * tick / glideLength;
                }
                inc1 = phaseIncrement(p1);
                inc2 = phaseIncrement(p2);
                pitchKeyNote = gliding ? kNoPitchKey : note;
                pitchKeyOff = off;
            }

            if (b.lfoTarget == 3) acc2 = add32(acc2, mul32(mul32(inc2, b.lfoAmount) >> 10, l) >> 8);

            // Oscillator 1 with the pulse-width warp.
            acc1 = add32(acc1, add32(inc1, b.fine1));
            if (acc1 < 0) acc1 = 0;
            if (acc1 >= kPhasePeriod) acc1 = wrapPhase(acc1 - kPhasePeriod);
            // acc1 - P is 0..2^32 - 1 when acc1 >= P, exact in unsigned 32 bits.
            uint32_t readPos = static_cast<uint32_t>(acc1);
            if (acc1 >= b.pulseThreshold) readPos -= static_cast<uint32_t>(b.pulseThreshold);
            // A threshold below 0 (from a pattern file) could read past the
            // table: the index is clamped to its last entry.
            const int32_t s1 = osc1Table[readPos >= kPhasePeriod ? kWaveLength - 1 : (readPos >> 12)];

            // Frequency modulation of oscillator 2 by oscillator 1.
            if (b.fm > 0) acc2 = add32(acc2, mul32(mul32(inc2, b.fm) >> 10, s1) >> 8);

            // Oscillator 2, the sync master.
            acc2 = add32(acc2, add32(inc2, b.fine2));
            if (acc2 < 0) acc2 = 0;
            if (acc2 >= kPhasePeriod) {
                acc2 = wrapPhase(acc2 - kPhasePeriod);
                if (b.sync != 0) acc1 = 0;
            }
            const int32_t s2 = osc2Table[acc2 >> 12];

            int32_t reso = b.resonance;
            if (b.lfoTarget == 1) {
                reso = add32(mul32(mul32(b.resonance, l) >> 15, b.lfoAmount) >> 8, b.resonance);
                if (reso > 32767) reso = 32767;
            }

            // Mix and ring modulation, at half of full scale.
            const int32_t m = mul32(add32(mul32(b.mix, s2), mul32(s1, sub32(256, b.mix))) >> 8, sub32(256, b.ring));
            const int32_t k = mul32((s1 * s2) >> 15, b.ring);
            const int32_t x = add32(m, k) >> 9;

            const int32_t envTerm = mul32(b.envAmount >> 7, env.level) >> 15;
            int32_t c = add32(b.cutoff, envTerm);
            // An accented note opens the filter further: a stronger
            // envelope, plus the charge of the accents before it.
            if (accentOn != 0) c = add32(c, mul32(add32(envTerm, accentCharge >> 16), b.accentGain) >> 7);
            if (b.lfoTarget == 2) c = add32(c, mul32(mul32(l, b.lfoAmount) >> 15, b.cutoff) >> 8);

            int32_t y;
            switch (mode) {
                case kLo12:
                    updateCoefficients(coeff, t, mode, c, reso);
                    y = filterLo12(mem, coeff, x);
                    break;
                case kLo24:
                    updateCoefficients(coeff, t, mode, c, reso);
                    y = filterLo24(mem, coeff, x);
                    break;
                case kHi12:
                    y = filterHi12(mem, highPassScale, c, reso, x);
                    break;
                case kBand:
                    updateCoefficients(coeff, t, mode, c, 0);
                    y = filterBand(mem, coeff, x);
                    break;
                default:
                    y = x;
                    break;
            }
            const int32_t v = y / 2;

            // Gate: the note struck at the step's start decides the accent,
            // which a slide carries on; the release starts after the gate
            // length of a step without slide.
            if (n == 0 && run->strikes) {
                env.stage = kAttack;
                accentOn = b.accentGain > 0 && run->accented;
                if (accentOn != 0) accentCharge = add32(accentCharge, (kAccentChargeFull - accentCharge) >> 2);
            }
            if (run->gated && gate < tick) env.stage = kRelease;

            int32_t a = mul32(env.level >> 8, v) >> 14;
            // An accented note's amplitude rises by up to the whole of itself.
            if (accentOn != 0) a = add32(a, mul32(a, b.accentGain) >> 7);

            updateEnvelope(env, b.attackIncrement, r);
            accentCharge -= accentCharge >> 13;

            out[n] = distort(b.distCurve, b.distWet, a);
        }
        }
    }
    voice.accentOn = accentOn;
    voice.accentCharge = accentCharge;
    voice.osc1Accum = acc1;
    voice.osc2Accum = acc2;
    voice.lfoAccum = lfoAcc;
    voice.envLevel = env.level;
    voice.envStage = env.stage;
    voice.sustainCounter = env.sustainCounter;
    voice.filterX1 = mem.x1;
    voice.filterX2 = mem.x2;
    voice.filterY1 = mem.y1;
    voice.filterY2 = mem.y2;
    voice.filterW1 = mem.w1;
    voice.filterW2 = mem.w2;
    voice.filterZ1 = mem.z1;
    voice.filterZ2 = mem.z2;
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
