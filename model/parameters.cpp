#include "model/parameters.h"

#include "engine/arith.h"
#include "engine/precise_math.h"
#include "engine/render.h"

namespace velmor {

namespace {

const UnitRecord& current(const Synth& s) { return s.store.units[s.store.currentUnit]; }

// Writes one value into the current unit and every unit it links.
template <class T, class V>
void setLinked(Synth& s, Relaxed<T> UnitRecord::*field, V value) {
    forEachLinkedUnit(s, [&](int u) { s.store.units[u].*field = static_cast<T>(value); });
}

// Getters hand back a 16-bit position. Values from pattern files can lie far
// outside the control ranges: the getters' 32-bit arithmetic wraps.
Position position(int32_t v) { return static_cast<Position>(v); }
Position position(double v) { return static_cast<Position>(truncToInt(v)); }

void setWave(Synth& s, uint16_t wave, Relaxed<uint16_t> UnitRecord::*field,
             Relaxed<const WaveSample*> UnitRecord::*table) {
    const WaveSample* chosen = waveTableFor(s.tables, wave);
    forEachLinkedUnit(s, [&](int u) {
        UnitRecord& r = s.store.units[u];
        (r.*field) = wave;
        if (chosen) (r.*table) = chosen;
        restartOscillators(s, u);
    });
}

}  // namespace

void restartOscillators(Synth& s, int u) {
    UnitVoice& v = s.engine.voices[u];
    v.osc1Accum = 0;
    // osc2Phase x 8192, formed as the phase shifted left by 22 bits and
    // divided by 512, which is the same for the control range 0..256.
    v.osc2Accum = shl32(s.store.units[u].osc2Phase, 22) / 512;
}

void clearFilterMemory(Synth& s, int u) {
    UnitVoice& v = s.engine.voices[u];
    for (Relaxed<int32_t>* m : {&v.filterX1, &v.filterX2, &v.filterY1, &v.filterY2, &v.filterW1, &v.filterW2,
                                &v.filterZ1, &v.filterZ2})
        *m = 0;
}

// Per-unit sliders.

void setCutoff(Synth& s, Position p) { setLinked(s, &UnitRecord::cutoff, p * 16383 / 100 + 1); }
void setResonance(Synth& s, Position p) { setLinked(s, &UnitRecord::resonance, (100 - p) * 32767 / 100); }
void setEnvAmount(Synth& s, Position p) { setLinked(s, &UnitRecord::envAmount, p * 315 + 500); }
void setOsc1Coarse(Synth& s, Position p) { setLinked(s, &UnitRecord::osc1Coarse, p * 24 / 100 - 12); }
void setOsc1Fine(Synth& s, Position p) { setLinked(s, &UnitRecord::osc1Fine, p * 256 / 100 - 128); }
void setOsc2Coarse(Synth& s, Position p) { setLinked(s, &UnitRecord::osc2Coarse, p * 24 / 100 - 12); }
void setOsc2Fine(Synth& s, Position p) { setLinked(s, &UnitRecord::osc2Fine, p * 256 / 100 - 128); }
void setOscMix(Synth& s, Position p) { setLinked(s, &UnitRecord::oscMix, p * 256 / 100); }
void setRingMod(Synth& s, Position p) { setLinked(s, &UnitRecord::ringMod, p * 256 / 100); }
void setFmAmount(Synth& s, Position p) { setLinked(s, &UnitRecord::fmAmount, p * 256 / 100); }
void setPulseWidth(Synth& s, Position p) { setLinked(s, &UnitRecord::pulseWidth, p); }
void setVolume(Synth& s, Position p) { setLinked(s, &UnitRecord::volume, p); }
void setDistWet(Synth& s, Position p) { setLinked(s, &UnitRecord::distWet, p * 128 / 100); }
void setThreshold(Synth& s, Position p) { setLinked(s, &UnitRecord::distThreshold, 9 - (p * 9 / 100)); }
void setSustainLevel(Synth& s, Position p) { setLinked(s, &UnitRecord::sustainLevel, p * 32768 / 100); }
void setLfoAmount(Synth& s, Position p) { setLinked(s, &UnitRecord::lfoAmount, p * 256 / 100); }

void setPhase(Synth& s, Position p) {
    const int32_t phase = p * 256 / 100;
    forEachLinkedUnit(s, [&](int u) {
        s.engine.voices[u].osc1Accum = 0;
        s.store.units[u].osc2Phase = phase;
        restartOscillators(s, u);
    });
}

void setDelaySend(Synth& s, Position p) {
    const uint32_t send = static_cast<uint32_t>(p * 128 / 100);
    forEachLinkedUnit(s, [&](int u) { s.store.units[u].delaySend[0] = send; });
}

void setAttack(Synth& s, Position p) { setLinked(s, &UnitRecord::attack, preciseExp((-25 - p) * 0.1) * 2097152); }
void setDecay(Synth& s, Position p) {
    setLinked(s, &UnitRecord::decay, static_cast<float>(p * 2.9999999999996697e-06 + 0.9997));
}
void setSustain(Synth& s, Position p) { setLinked(s, &UnitRecord::sustainTime, truncToInt(p * (44100 * 10) * 0.01)); }
void setRelease(Synth& s, Position p) { setLinked(s, &UnitRecord::release, preciseExp((p - 100) * 7e-05)); }
void setLfoSpeed(Synth& s, Position p) { setLinked(s, &UnitRecord::lfoSpeed, preciseExp((p - 50) * 0.07)); }

void setStepGate(Synth& s, Position p) {
    // The factor 0.01 is held as a 32-bit float; the product is formed in
    // double and stored as a 32-bit float.
    const float gate = static_cast<float>(p * static_cast<double>(0.01f));
    const int32_t samplesPerStep = s.store.settings.samplesPerStep;
    forEachLinkedUnit(s, [&](int u) {
        UnitRecord& r = s.store.units[u];
        r.stepGate = gate;
        r.gateSamples = gateSamplesFor(r.stepGate, samplesPerStep);
    });
}

Position getCutoff(const Synth& s) { return position(mul32(sub32(current(s).cutoff, 1), 100) / 16383); }
Position getResonance(const Synth& s) { return position(sub32(100, mul32(current(s).resonance, 100) / 32767)); }
Position getEnvAmount(const Synth& s) { return position(mul32(sub32(current(s).envAmount, 500), 100) / 31500); }
Position getOsc1Coarse(const Synth& s) { return position(mul32(add32(current(s).osc1Coarse, 12), 100) / 24); }
Position getOsc1Fine(const Synth& s) { return position(mul32(add32(current(s).osc1Fine, 128), 100) / 256); }
Position getOsc2Coarse(const Synth& s) { return position(mul32(add32(current(s).osc2Coarse, 12), 100) / 24); }
Position getOsc2Fine(const Synth& s) { return position(mul32(add32(current(s).osc2Fine, 128), 100) / 256); }
Position getOscMix(const Synth& s) { return position(mul32(current(s).oscMix, 100) / 256); }
Position getPhase(const Synth& s) { return position(mul32(current(s).osc2Phase, 100) / 256); }
Position getRingMod(const Synth& s) { return position(mul32(current(s).ringMod, 100) / 256); }
Position getFmAmount(const Synth& s) { return position(mul32(current(s).fmAmount, 100) / 256); }
Position getPulseWidth(const Synth& s) { return position(current(s).pulseWidth.load()); }
Position getDelaySend(const Synth& s) {
    return position(mul32(static_cast<int32_t>(current(s).delaySend[0].load()), 100) / 128);
}
Position getVolume(const Synth& s) { return position(sub32(128, current(s).volume)); }
Position getDistWet(const Synth& s) { return position(current(s).distWet * 100 / 128); }
Position getThreshold(const Synth& s) { return position((9 - current(s).distThreshold) * 100 / 9); }
Position getSustainLevel(const Synth& s) { return position(mul32(current(s).sustainLevel, 100) / 32768); }
Position getLfoAmount(const Synth& s) { return position(mul32(current(s).lfoAmount, 100) / 256); }

Position getAttack(const Synth& s) { return position(preciseLog(current(s).attack / 2097152) * (-10) - 25); }
Position getDecay(const Synth& s) {
    return position((static_cast<double>(current(s).decay) - 0.9997) * 333333.33333337004);
}
// The hold in samples back to the slider, in double: v / 441000 x 100.
Position getSustain(const Synth& s) { return position(current(s).sustainTime / (44100.0 * 10) * 100); }
Position getRelease(const Synth& s) { return position(preciseLog(current(s).release) * 14285.714285714286 + 100); }
Position getStepGate(const Synth& s) { return position(static_cast<double>(current(s).stepGate) * 100); }
Position getLfoSpeed(const Synth& s) { return position(preciseLog(current(s).lfoSpeed) * 14.285714285714285 + 50); }

// Choices.

void setOsc1Wave(Synth& s, uint16_t wave) { setWave(s, wave, &UnitRecord::osc1Wave, &UnitRecord::osc1Table); }
void setOsc2Wave(Synth& s, uint16_t wave) { setWave(s, wave, &UnitRecord::osc2Wave, &UnitRecord::osc2Table); }

void setFilterMode(Synth& s, uint16_t mode) {
    forEachLinkedUnit(s, [&](int u) {
        s.store.units[u].filterMode = mode;
        clearFilterMemory(s, u);
    });
}

void setLfoTarget(Synth& s, uint16_t target) { setLinked(s, &UnitRecord::lfoTarget, target); }
void setLfoWave(Synth& s, uint16_t wave) { setLinked(s, &UnitRecord::lfoWave, wave); }
void setDistMode(Synth& s, uint16_t mode) { setLinked(s, &UnitRecord::distMode, mode); }
void setSync(Synth& s, uint32_t sync) { setLinked(s, &UnitRecord::oscSync, sync); }

uint16_t getOsc1Wave(const Synth& s) { return current(s).osc1Wave; }
uint16_t getOsc2Wave(const Synth& s) { return current(s).osc2Wave; }
uint16_t getFilterMode(const Synth& s) { return current(s).filterMode; }
uint16_t getLfoTarget(const Synth& s) { return current(s).lfoTarget; }
uint16_t getLfoWave(const Synth& s) { return current(s).lfoWave; }
uint16_t getDistMode(const Synth& s) { return current(s).distMode; }
uint32_t getSync(const Synth& s) { return current(s).oscSync; }

// Global settings.

void setTempo(Synth& s, Position p) {
    s.store.settings.tempoBpm = p;
    recomputeStepTiming(s);
}
void setMasterVolume(Synth& s, Position p) { s.store.settings.masterVolume = p * 256 / 100; }
// The control gives 0..4; any other position picks the nearest choice.
void setDelaySteps(Synth& s, Position p) { s.store.settings.delaySteps = delayStepChoices[clampInt(p, 0, 4)]; }
void setFeedback(Synth& s, Position p) { s.store.settings.delayFeedback = p * 128 / 100; }
void setPan(Synth& s, Position p) { s.store.settings.delayPan = p - 64; }
void setSwing(Synth& s, Position p) { s.store.settings.swing = clampInt(p, 0, 100); }
Position getSwing(const Synth& s) { return position(clampInt(s.store.settings.swing, 0, 100)); }

// The accent strength is stored as 50 minus the position: the 0 that every
// earlier file and every fresh slot holds is the middle strength.
void setAccent(Synth& s, Position p) { setLinked(s, &UnitRecord::spareE, static_cast<uint32_t>(50 - clampInt(p, 0, 100))); }
Position getAccent(const Synth& s) {
    return position(clampInt(sub32(50, static_cast<int32_t>(current(s).spareE.load())), 0, 100));
}

Position getTempo(const Synth& s) { return position(s.store.settings.tempoBpm.load()); }
Position getMasterVolume(const Synth& s) { return position(mul32(s.store.settings.masterVolume, 100) / 256); }
Position getDelaySteps(const Synth& s) {
    for (int i = 0; i < 5; ++i)
        if (delayStepChoices[i] == s.store.settings.delaySteps) return static_cast<Position>(i);
    return 0;
}
Position getFeedback(const Synth& s) { return position(mul32(s.store.settings.delayFeedback, 100) / 128); }
Position getPan(const Synth& s) { return position(add32(s.store.settings.delayPan, 64)); }

}  // namespace velmor
