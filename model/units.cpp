#include "model/units.h"

#include <new>

#include "engine/arith.h"
#include "engine/mixdown.h"
#include "engine/render.h"
#include "model/parameters.h"

namespace velmor {

int initialiseUnits(Synth& s) {
    EngineState& e = s.engine;
    Store& st = s.store;

    e.delayBuffer.reset(new (std::nothrow) int32_t[kDelaySlots]());
    if (!e.delayBuffer) return 0;
    e.delayPos = 0;
    e.unitBuffers.reset(new (std::nothrow) int16_t[kUnitSlots * kMaxBlockFrames]());
    if (!e.unitBuffers) return 0;

    st.settings.patternCount = 1;
    st.settings.songLength = 1;
    st.settings.currentPattern = 0;

    for (int u = 0; u < kUnitSlots; ++u) {
        st.unitLinks[u][u] = 1;
        st.currentUnit = u;
        UnitRecord& r = st.units[u];
        r.release = 0.995;
        r.decay = 0.9998f;
        r.sustainTime = 0;
        r.attack = 10000.0;
        r.sustainLevel = 0;
        r.stepGate = 0.9f;
        setOsc1Wave(s, r.osc1Wave);
        setOsc2Wave(s, r.osc2Wave);
        UnitVoice& v = e.voices[u];
        v.lfoAccum = 0;
        r.pulseWidth = 0;
        r.spareE = 0;
        v.osc1Accum = 0;
        v.osc2Accum = 0;
        for (auto& word : r.delaySend) word = 0;
        for (int i = 0; i < kStepsPerSlot; ++i) {
            const int at = u * kStepsPerSlot + i;
            st.stepSlide[at] = 0;
            st.stepSpare[at] = 0;
            st.stepNoteOn[at] = 1;
            st.stepPitch[at] = 15;
        }
        for (auto& entry : st.settings.songSequence) entry = 0;
    }
    st.currentUnit = 0;

    buildPitchTables(s.tables);
    buildFilterTables(s.tables, s.rng, 40.0);
    return 1;
}

void applyDefaults(Synth& s) {
    s.store.unitCount = 0;
    s.store.unitCount = 1;  // the first unit tab
    s.engine.sequencerOn = 1;
    setFilterMode(s, 0);
    setCutoff(s, 50);
    setResonance(s, 40);
    setEnvAmount(s, 50);
    setOsc1Coarse(s, 50);
    setOsc1Fine(s, 50);
    setOsc2Coarse(s, 50);
    setOsc2Fine(s, 50);
    setOsc1Wave(s, 0);
    setOsc2Wave(s, 0);
    setOscMix(s, 50);
    setPhase(s, 0);
    setAttack(s, 20);
    setDecay(s, 70);
    setSustain(s, 0);
    setSustainLevel(s, 0);
    setRelease(s, 10);
    setStepGate(s, 95);
    setVolume(s, 128);
    setLfoSpeed(s, 0);
    setLfoAmount(s, 0);
    setLfoWave(s, 0);
    setLfoTarget(s, 0);
    setDelaySend(s, 0);
    setFeedback(s, 85);
    setDelaySteps(s, 1);
    setPan(s, 32);
    setThreshold(s, 0);
    setDistWet(s, 0);
    setDistMode(s, 1);
    setRingMod(s, 0);
    setMasterVolume(s, 50);
    setTempo(s, 80);
}

int addUnit(Synth& s) {
    Store& st = s.store;
    if (st.unitCount >= kMaxUnitsInUse) return 0;
    const int32_t saved = st.currentUnit;
    st.currentUnit = st.unitCount;
    st.unitCount = st.unitCount + 1;
    const UnitRecord& fresh = st.units[st.currentUnit];
    setOsc1Wave(s, fresh.osc1Wave);
    setOsc2Wave(s, fresh.osc2Wave);
    st.currentUnit = saved;
    return 1;
}

int deleteCurrentUnit(Synth& s) {
    Store& st = s.store;
    const int32_t count = clampInt(st.unitCount, 0, kUnitSlots);
    if (count < 2) return 0;
    const int bytes = clampInt(st.settings.patternCount, 0, kPatternsPerUnit) * kStepsPerPattern;
    for (int j = st.currentUnit + 1; j < count; ++j) {
        st.currentUnit = j - 1;
        pasteSettings(s, j);
        for (int i = 0; i < bytes; ++i) {
            const int from = stepIndex(j, 0, i), to = stepIndex(j - 1, 0, i);
            st.stepPitch[to] = st.stepPitch[from].load();
            st.stepNoteOn[to] = st.stepNoteOn[from].load();
            st.stepSlide[to] = st.stepSlide[from].load();
            st.stepSpare[to] = st.stepSpare[from].load();
        }
    }
    st.unitCount = count - 1;
    st.currentUnit = 0;
    return 1;
}

void copySettings(Synth& s) { s.store.settingsSource = s.store.currentUnit; }

void pasteSettings(Synth& s, int source) {
    Store& st = s.store;
    const UnitRecord& from = st.units[clampInt(source, 0, kUnitSlots - 1)];
    UnitRecord& to = st.units[st.currentUnit];
    for (int w = 0; w < 8; ++w) to.delaySend[w] = from.delaySend[w].load();
    to.distMode = from.distMode.load();
    to.distThreshold = from.distThreshold.load();
    to.distWet = from.distWet.load();
    to.cutoff = from.cutoff.load();
    to.resonance = from.resonance.load();
    to.filterMode = from.filterMode.load();
    to.envAmount = from.envAmount.load();
    to.osc1Coarse = from.osc1Coarse.load();
    to.osc1Fine = from.osc1Fine.load();
    to.osc2Coarse = from.osc2Coarse.load();
    to.osc2Fine = from.osc2Fine.load();
    to.osc2Phase = from.osc2Phase.load();
    to.oscMix = from.oscMix.load();

    setOsc1Wave(s, from.osc1Wave);
    setOsc2Wave(s, from.osc2Wave);

    to.ringMod = from.ringMod.load();
    to.fmAmount = from.fmAmount.load();
    to.lfoSpeed = from.lfoSpeed.load();
    to.lfoAmount = from.lfoAmount.load();
    to.lfoTarget = from.lfoTarget.load();
    to.lfoWave = from.lfoWave.load();
    to.attack = from.attack.load();
    to.decay = from.decay.load();
    to.release = from.release.load();
    to.sustainLevel = from.sustainLevel.load();
    to.sustainTime = from.sustainTime.load();
    to.stepGate = from.stepGate.load();
    to.volume = from.volume.load();
    to.spareE = from.spareE.load();  // the accent strength
    to.gateSamples = gateSamplesFor(to.stepGate, st.settings.samplesPerStep);
}

void selectUnit(Synth& s, int index) {
    s.store.currentUnit = clampInt(index, 0, clampInt(s.store.unitCount, 1, kUnitSlots) - 1);
}

int startUpState(Synth& s) {
    buildDistortionCurves(s.tables);
    if (!initialiseUnits(s)) return 0;
    resetEngine(s);
    prepareRandomTables(s.randomNotes);
    applyDefaults(s);
    return 1;
}

void releaseBuffers(Synth& s) {
    s.engine.delayBuffer.reset();
    s.engine.unitBuffers.reset();
}

}  // namespace velmor
