#include "model/parameters.h"

#include <cstdio>

#include "engine/arith.h"
#include "engine/precise_math.h"
#include "engine/render.h"

namespace velmor {

namespace {

UnitRecord& unitOf(Score& s, int u) { return s.doc.units[u]; }
const UnitRecord& unitOf(const Score& s, int u) { return s.doc.units[u]; }
EngineSettings& settings(Score& s) { return s.doc.settings; }
const EngineSettings& settings(const Score& s) { return s.doc.settings; }

// Values from pattern files can lie far outside the control ranges: the
// getters' 32-bit arithmetic wraps, and the result is a 16-bit position.
int32_t position(int32_t v) { return static_cast<Position>(v); }
int32_t position(double v) { return static_cast<Position>(truncToInt(v)); }

// A slider row's field written from position p of unit u.
#define UNIT_SLIDER(name, field, formula)                \
    void set##name(Score& s, int u, int32_t value) {     \
        const Position p = static_cast<Position>(value); \
        unitOf(s, u).field = formula;                    \
    }

UNIT_SLIDER(Cutoff, cutoff, p * 16383 / 100 + 1)
UNIT_SLIDER(Resonance, resonance, (100 - p) * 32767 / 100)
UNIT_SLIDER(EnvAmount, envAmount, p * 315 + 500)
UNIT_SLIDER(Osc1Coarse, osc1Coarse, p * 24 / 100 - 12)
UNIT_SLIDER(Osc1Fine, osc1Fine, p * 256 / 100 - 128)
UNIT_SLIDER(Osc2Coarse, osc2Coarse, p * 24 / 100 - 12)
UNIT_SLIDER(Osc2Fine, osc2Fine, p * 256 / 100 - 128)
UNIT_SLIDER(OscMix, oscMix, p * 256 / 100)
UNIT_SLIDER(RingMod, ringMod, p * 256 / 100)
UNIT_SLIDER(FmAmount, fmAmount, p * 256 / 100)
UNIT_SLIDER(PulseWidth, pulseWidth, p)
UNIT_SLIDER(DelaySend, delaySend[0], static_cast<uint32_t>(p * 128 / 100))
UNIT_SLIDER(Volume, volume, p)
UNIT_SLIDER(DistWet, distWet, static_cast<uint16_t>(p * 128 / 100))
UNIT_SLIDER(Threshold, distThreshold, static_cast<uint16_t>(9 - (p * 9 / 100)))
UNIT_SLIDER(SustainLevel, sustainLevel, p * 32768 / 100)
UNIT_SLIDER(LfoAmount, lfoAmount, p * 256 / 100)
UNIT_SLIDER(Attack, attack, preciseExp((-25 - p) * 0.1) * 2097152)
UNIT_SLIDER(Decay, decay, static_cast<float>(p * 2.9999999999996697e-06 + 0.9997))
UNIT_SLIDER(Sustain, sustainTime, truncToInt(p*(44100 * 10) * 0.01))
UNIT_SLIDER(Release, release, preciseExp((p - 100) * 7e-05))
UNIT_SLIDER(LfoSpeed, lfoSpeed, preciseExp((p - 50) * 0.07))
// The accent strength is stored as 50 minus the position: the 0 that every
// earlier file and every fresh slot holds is the middle strength.
UNIT_SLIDER(Accent, accentOffset, static_cast<uint32_t>(50 - clampInt(p, 0, 100)))
#undef UNIT_SLIDER

void setPhase(Score& s, int u, int32_t value) { unitOf(s, u).osc2Phase = static_cast<Position>(value) * 256 / 100; }

void setStepGate(Score& s, int u, int32_t value) {
    // The factor 0.01 is held as a 32-bit float; the product is formed in
    // double and stored as a 32-bit float.
    UnitRecord& r = unitOf(s, u);
    r.stepGate = static_cast<float>(static_cast<Position>(value) * static_cast<double>(0.01f));
    s.derived.units[u].gateSamples = gateSamplesFor(r.stepGate, s.derived.samplesPerStep);
}

// The waveforms: the table of a choice 0..4 (another choice leaves the table
// as it was).
void setWave(Score& s, int u, int32_t value, uint16_t UnitRecord::*field, uint8_t UnitDerived::*table) {
    const uint16_t wave = static_cast<uint16_t>(value);
    unitOf(s, u).*field = wave;
    if (wave <= 4) s.derived.units[u].*table = static_cast<uint8_t>(wave);
}
void setOsc1Wave(Score& s, int u, int32_t v) { setWave(s, u, v, &UnitRecord::osc1Wave, &UnitDerived::osc1Table); }
void setOsc2Wave(Score& s, int u, int32_t v) { setWave(s, u, v, &UnitRecord::osc2Wave, &UnitDerived::osc2Table); }

void setFilterMode(Score& s, int u, int32_t v) { unitOf(s, u).filterMode = static_cast<uint16_t>(v); }
void setLfoTarget(Score& s, int u, int32_t v) { unitOf(s, u).lfoTarget = static_cast<uint16_t>(v); }
void setLfoWave(Score& s, int u, int32_t v) { unitOf(s, u).lfoWave = static_cast<uint16_t>(v); }
void setDistMode(Score& s, int u, int32_t v) { unitOf(s, u).distMode = static_cast<uint16_t>(v); }
void setSync(Score& s, int u, int32_t v) { unitOf(s, u).oscSync = static_cast<uint32_t>(v); }

int32_t getCutoff(const Score& s, int u) { return position(mul32(sub32(unitOf(s, u).cutoff, 1), 100) / 16383); }
int32_t getResonance(const Score& s, int u) { return position(sub32(100, mul32(unitOf(s, u).resonance, 100) / 32767)); }
int32_t getEnvAmount(const Score& s, int u) { return position(mul32(sub32(unitOf(s, u).envAmount, 500), 100) / 31500); }
int32_t getOsc1Coarse(const Score& s, int u) { return position(mul32(add32(unitOf(s, u).osc1Coarse, 12), 100) / 24); }
int32_t getOsc1Fine(const Score& s, int u) { return position(mul32(add32(unitOf(s, u).osc1Fine, 128), 100) / 256); }
int32_t getOsc2Coarse(const Score& s, int u) { return position(mul32(add32(unitOf(s, u).osc2Coarse, 12), 100) / 24); }
int32_t getOsc2Fine(const Score& s, int u) { return position(mul32(add32(unitOf(s, u).osc2Fine, 128), 100) / 256); }
int32_t getOscMix(const Score& s, int u) { return position(mul32(unitOf(s, u).oscMix, 100) / 256); }
int32_t getPhase(const Score& s, int u) { return position(mul32(unitOf(s, u).osc2Phase, 100) / 256); }
int32_t getRingMod(const Score& s, int u) { return position(mul32(unitOf(s, u).ringMod, 100) / 256); }
int32_t getFmAmount(const Score& s, int u) { return position(mul32(unitOf(s, u).fmAmount, 100) / 256); }
int32_t getPulseWidth(const Score& s, int u) { return position(unitOf(s, u).pulseWidth); }
int32_t getDelaySend(const Score& s, int u) {
    return position(mul32(static_cast<int32_t>(unitOf(s, u).delaySend[0]), 100) / 128);
}
int32_t getVolume(const Score& s, int u) { return position(unitOf(s, u).volume); }
int32_t getDistWet(const Score& s, int u) { return position(unitOf(s, u).distWet * 100 / 128); }
int32_t getThreshold(const Score& s, int u) { return position((9 - unitOf(s, u).distThreshold) * 100 / 9); }
int32_t getSustainLevel(const Score& s, int u) { return position(mul32(unitOf(s, u).sustainLevel, 100) / 32768); }
int32_t getLfoAmount(const Score& s, int u) { return position(mul32(unitOf(s, u).lfoAmount, 100) / 256); }
int32_t getAttack(const Score& s, int u) { return position(preciseLog(unitOf(s, u).attack / 2097152) * (-10) - 25); }
int32_t getDecay(const Score& s, int u) {
    return position((static_cast<double>(unitOf(s, u).decay) - 0.9997) * 333333.33333337004);
}
// The hold in samples back to the slider, in double: v / 441000 x 100.
int32_t getSustain(const Score& s, int u) { return position(unitOf(s, u).sustainTime / (44100.0 * 10) * 100); }
int32_t getRelease(const Score& s, int u) { return position(preciseLog(unitOf(s, u).release) * 14285.714285714286 + 100); }
int32_t getStepGate(const Score& s, int u) { return position(static_cast<double>(unitOf(s, u).stepGate) * 100); }
int32_t getLfoSpeed(const Score& s, int u) { return position(preciseLog(unitOf(s, u).lfoSpeed) * 14.285714285714285 + 50); }
int32_t getAccent(const Score& s, int u) {
    return position(clampInt(sub32(50, static_cast<int32_t>(unitOf(s, u).accentOffset)), 0, 100));
}
int32_t getOsc1Wave(const Score& s, int u) { return unitOf(s, u).osc1Wave; }
int32_t getOsc2Wave(const Score& s, int u) { return unitOf(s, u).osc2Wave; }
int32_t getFilterMode(const Score& s, int u) { return unitOf(s, u).filterMode; }
int32_t getLfoTarget(const Score& s, int u) { return unitOf(s, u).lfoTarget; }
int32_t getLfoWave(const Score& s, int u) { return unitOf(s, u).lfoWave; }
int32_t getDistMode(const Score& s, int u) { return unitOf(s, u).distMode; }
// Sync is a 32-bit word: a value a file brings reads as itself.
int32_t getSync(const Score& s, int u) { return static_cast<int32_t>(unitOf(s, u).oscSync); }

// Global settings.

void setTempo(Score& s, int, int32_t v) {
    settings(s).tempoBpm = static_cast<Position>(v);
    recomputeStepTiming(s);
}
void setMasterVolume(Score& s, int, int32_t v) { settings(s).masterVolume = static_cast<Position>(v) * 256 / 100; }
// The control gives 0..4; any other position picks the nearest choice.
void setDelaySteps(Score& s, int, int32_t v) { settings(s).delaySteps = delayStepChoices[clampInt(v, 0, 4)]; }
void setFeedback(Score& s, int, int32_t v) { settings(s).delayFeedback = static_cast<Position>(v) * 128 / 100; }
void setPan(Score& s, int, int32_t v) { settings(s).delayPan = static_cast<Position>(v) - 64; }
void setSwing(Score& s, int, int32_t v) { settings(s).swing = clampInt(v, 0, 100); }

int32_t getTempo(const Score& s, int) { return position(settings(s).tempoBpm); }
int32_t getMasterVolume(const Score& s, int) { return position(mul32(settings(s).masterVolume, 100) / 256); }
int32_t getDelaySteps(const Score& s, int) {
    for (int i = 0; i < 5; ++i)
        if (delayStepChoices[i] == settings(s).delaySteps) return i;
    return 0;
}
int32_t getFeedback(const Score& s, int) { return position(mul32(settings(s).delayFeedback, 100) / 128); }
int32_t getPan(const Score& s, int) { return position(add32(settings(s).delayPan, 64)); }
int32_t getSwing(const Score& s, int) { return clampInt(settings(s).swing, 0, 100); }

const char* const kOsc1Waves[] = {"SAW", "Square", "Sine", "303 Saw", "User"};
const char* const kOsc2Waves[] = {"Pure Saw", "Square", "Sine", "303 Saw", "User"};
const char* const kFilterModes[] = {"Lo12", "Lo24", "Hi12", "Band", "Bypass"};
const char* const kLfoTargets[] = {"Osc1/2", "Reso", "Cutoff"};
const char* const kLfoWaves[] = {"Sine", "Square"};
const char* const kDistModes[] = {"A", "B"};
const char* const kOffOn[] = {"Off", "On"};

using T = ValueText;
using E = Effect;
#define ROW(id, name, lo, hi, start, text, set, get) \
    { Param::id, name, lo, hi, start, false, text, nullptr, set, get, E::kNone }
#define ROW_WITH(id, name, lo, hi, start, text, set, get, effect) \
    { Param::id, name, lo, hi, start, false, text, nullptr, set, get, effect }
#define CHOICE(id, name, lo, hi, start, names, set, get, effect) \
    { Param::id, name, lo, hi, start, false, T::kChoice, names, set, get, effect }
#define GLOBAL(id, name, lo, hi, start, text, set, get) \
    { Param::id, name, lo, hi, start, true, text, nullptr, set, get, E::kNone }

const ParameterTraits kParameters[kParamCount] = {
    ROW(kCutoff, "Cutoff", 0, 100, 50, T::kNumber, setCutoff, getCutoff),
    ROW(kResonance, "Reso", 0, 100, 40, T::kNumber, setResonance, getResonance),
    ROW(kEnvAmount, "EnvAmt", 0, 100, 50, T::kNumber, setEnvAmount, getEnvAmount),
    ROW(kOsc1Coarse, "Osc 1 Coarse", 0, 100, 50, T::kNumber, setOsc1Coarse, getOsc1Coarse),
    ROW(kOsc1Fine, "Osc 1 Fine", 0, 100, 50, T::kNumber, setOsc1Fine, getOsc1Fine),
    ROW(kOsc2Coarse, "Osc 2 Coarse", 0, 100, 50, T::kNumber, setOsc2Coarse, getOsc2Coarse),
    ROW(kOsc2Fine, "Osc 2 Fine", 0, 100, 50, T::kNumber, setOsc2Fine, getOsc2Fine),
    ROW(kOscMix, "Osc Mix", 0, 100, 50, T::kNumber, setOscMix, getOscMix),
    ROW_WITH(kPhase, "Phase", 0, 100, 0, T::kNumber, setPhase, getPhase, E::kRestartOscillators),
    ROW(kRingMod, "Ring Mod", 0, 100, 0, T::kNumber, setRingMod, getRingMod),
    ROW(kFmAmount, "FM (1->2)", 0, 100, 0, T::kNumber, setFmAmount, getFmAmount),
    ROW(kPulseWidth, "PW", 0, 128, 0, T::kNumber, setPulseWidth, getPulseWidth),
    ROW(kDelaySend, "->Delay", 0, 100, 0, T::kNumber, setDelaySend, getDelaySend),
    ROW(kVolume, "Volume", 0, 128, 128, T::kNumber, setVolume, getVolume),
    ROW(kAccent, "Accent", 0, 100, 50, T::kNumber, setAccent, getAccent),
    ROW(kDistWet, "Wet Lvl", 0, 100, 0, T::kNumber, setDistWet, getDistWet),
    ROW(kThreshold, "Threshold", 0, 100, 0, T::kNumber, setThreshold, getThreshold),
    ROW(kAttack, "Attack", 0, 100, 20, T::kNumber, setAttack, getAttack),
    ROW(kDecay, "Decay", 0, 100, 70, T::kNumber, setDecay, getDecay),
    ROW(kSustain, "Sustain", 0, 100, 0, T::kNumber, setSustain, getSustain),
    ROW(kSustainLevel, "Sus Lvl", 0, 100, 0, T::kNumber, setSustainLevel, getSustainLevel),
    ROW(kRelease, "Release", 0, 100, 10, T::kNumber, setRelease, getRelease),
    ROW(kStepGate, "Step Gate", 0, 100, 95, T::kNumber, setStepGate, getStepGate),
    ROW(kLfoSpeed, "LFO Speed", 0, 100, 0, T::kNumber, setLfoSpeed, getLfoSpeed),
    ROW(kLfoAmount, "LFO Amt", 0, 100, 0, T::kNumber, setLfoAmount, getLfoAmount),
    CHOICE(kOsc1Wave, "Osc 1 Wave", 0, 4, 0, kOsc1Waves, setOsc1Wave, getOsc1Wave, E::kRestartOscillators),
    CHOICE(kOsc2Wave, "Osc 2 Wave", 0, 4, 0, kOsc2Waves, setOsc2Wave, getOsc2Wave, E::kRestartOscillators),
    CHOICE(kFilterMode, "Filter", 0, 4, 0, kFilterModes, setFilterMode, getFilterMode, E::kClearFilter),
    CHOICE(kLfoTarget, "LFO Target", 0, 2, 0, kLfoTargets, setLfoTarget, getLfoTarget, E::kNone),
    CHOICE(kLfoWave, "LFO Wave", 0, 1, 0, kLfoWaves, setLfoWave, getLfoWave, E::kNone),
    CHOICE(kDistMode, "Distortion", 1, 2, 1, kDistModes, setDistMode, getDistMode, E::kNone),
    CHOICE(kSync, "Sync", 0, 1, 0, kOffOn, setSync, getSync, E::kNone),
    GLOBAL(kTempo, "Tempo", 60, 180, 80, T::kBpm, setTempo, getTempo),
    GLOBAL(kMasterVolume, "Master Volume", 0, 100, 50, T::kNumber, setMasterVolume, getMasterVolume),
    GLOBAL(kDelaySteps, "Delay Steps", 0, 4, 1, T::kSteps, setDelaySteps, getDelaySteps),
    GLOBAL(kFeedback, "Feedback", 0, 100, 85, T::kPercent, setFeedback, getFeedback),
    GLOBAL(kPan, "Pan", 0, 128, 32, T::kPan, setPan, getPan),
    GLOBAL(kSwing, "Swing", 0, 100, 0, T::kPercent, setSwing, getSwing)};
#undef ROW
#undef ROW_WITH
#undef CHOICE
#undef GLOBAL

}  // namespace

const ParameterTraits& parameterTraits(Param id) { return kParameters[static_cast<int>(id)]; }

namespace {

int unitFor(const ParameterTraits& p, int unit) { return p.global ? 0 : clampInt(unit, 0, kUnitSlots - 1); }

// The command for the running state that a change of `p` on unit `u` needs.
bool effectCommand(const ParameterTraits& p, int u, EngineCommand& c) {
    switch (p.effect) {
        case Effect::kRestartOscillators: c = EngineCommand::of(EngineCommand::kRestartOscillators, u); return true;
        case Effect::kClearFilter: c = EngineCommand::of(EngineCommand::kClearFilter, u); return true;
        case Effect::kNone: break;
    }
    return false;
}

// Sets one unit's value and tells the engine what else the change needs.
void setAndPost(Synth& s, const ParameterTraits& p, int u, int32_t value) {
    p.set(s.score, u, value);
    EngineCommand c;
    if (effectCommand(p, u, c)) postToEngine(s, c);
}

}  // namespace

void setParameter(Synth& s, int unit, Param id, int32_t value) {
    const ParameterTraits& p = parameterTraits(id);
    const int u = unitFor(p, unit);
    Edit edit(s, p.name, joinKey(EditControl::kParameter, static_cast<int>(id), u));
    setAndPost(s, p, u, value);
}

void applyParameter(Engine& e, int unit, Param id, int32_t value) {
    const ParameterTraits& p = parameterTraits(id);
    const int u = unitFor(p, unit);
    p.set(*e.score, u, value);
    EngineCommand c;
    if (effectCommand(p, u, c)) applyCommand(e, c);
}

int32_t getParameter(const Score& s, int unit, Param id) {
    const ParameterTraits& p = parameterTraits(id);
    return p.get(s, unitFor(p, unit));
}

int32_t getParameter(const Synth& s, int unit, Param id) { return getParameter(s.score, unit, id); }

void setLinked(Synth& s, Param id, int32_t value) {
    const ParameterTraits& p = parameterTraits(id);
    Edit edit(s, p.name, joinKey(EditControl::kParameter, static_cast<int>(id), p.global ? 0 : s.selection.currentUnit));
    if (p.global) {
        setAndPost(s, p, 0, value);
        return;
    }
    forEachLinkedUnit(s, s.selection.currentUnit, [&](int u) { setAndPost(s, p, u, value); });
}

int32_t getCurrent(const Synth& s, Param id) { return getParameter(s, s.selection.currentUnit, id); }

std::string valueText(Param id, int32_t value) {
    const ParameterTraits& p = parameterTraits(id);
    char text[32];
    switch (p.text) {
        case ValueText::kPercent: std::snprintf(text, sizeof text, "%d%%", value); break;
        case ValueText::kBpm: std::snprintf(text, sizeof text, "%d BPM", value); break;
        case ValueText::kSteps: std::snprintf(text, sizeof text, "%d Steps", delayStepChoices[clampInt(value, 0, 4)]); break;
        case ValueText::kPan: std::snprintf(text, sizeof text, "%d", value - 64); break;
        case ValueText::kChoice:
            if (value >= p.minimum && value <= p.maximum) return p.choices[value - p.minimum];
            std::snprintf(text, sizeof text, "%d", value);
            break;
        case ValueText::kNumber: std::snprintf(text, sizeof text, "%d", value); break;
    }
    return text;
}

void recomputeStepTiming(Score& s) {
    Derived& d = s.derived;
    const int32_t sps = samplesPerStepFor(s.doc.settings.tempoBpm);
    d.samplesPerStep = sps;
    for (int u = 0; u < kUnitSlots; ++u) d.units[u].gateSamples = gateSamplesFor(s.doc.units[u].stepGate, sps);
}

}  // namespace velmor
