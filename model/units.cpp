#include "model/units.h"

#include <cstring>
#include <new>

#include "engine/arith.h"
#include "engine/mixdown.h"
#include "engine/render.h"
#include "model/parameters.h"
#include "model/unit_fields.h"

namespace velmor {

int initialiseUnits(Synth& s) {
    Engine& e = s.engine;
    Document& d = s.score.doc;
    Edit edit(s);

    e.delayBuffer.reset(new (std::nothrow) int32_t[kDelaySlots]());
    if (!e.delayBuffer) return 0;
    e.delayPos = 0;
    e.unitBuffers.reset(new (std::nothrow) int16_t[kUnitSlots * kMaxBlockFrames]());
    if (!e.unitBuffers) return 0;

    d.settings.patternCount = 1;
    d.settings.songLength = 1;
    s.score.derived.currentPattern = 0;

    for (int u = 0; u < kUnitSlots; ++u) {
        d.unitLinks[u][u] = 1;
        s.selection.currentUnit = u;
        UnitRecord& r = d.units[u];
        r.release = 0.995;
        r.decay = 0.9998f;
        r.sustainTime = 0;
        r.attack = 10000.0;
        r.sustainLevel = 0;
        r.stepGate = 0.9f;
        setLinked(s, Param::kOsc1Wave, r.osc1Wave);
        setLinked(s, Param::kOsc2Wave, r.osc2Wave);
        UnitVoice& v = e.voices[u];
        v.lfoAccum = 0;
        r.pulseWidth = 0;
        r.accentOffset = 0;
        v.osc1Accum = 0;
        v.osc2Accum = 0;
        for (auto& word : r.delaySend) word = 0;
        for (int i = 0; i < kStepsPerSlot; ++i) {
            const int at = u * kStepsPerSlot + i;
            d.stepSlide[at] = 0;
            d.stepSpare[at] = 0;
            d.stepNoteOn[at] = 1;
            d.stepPitch[at] = 15;
        }
        for (auto& entry : d.settings.songSequence) entry = 0;
    }
    s.selection.currentUnit = 0;

    buildPitchTables(s.tables);
    buildFilterTables(s.tables, d.userWave, s.rng, 40.0);
    return 1;
}

void applyDefaults(Synth& s) {
    Edit edit(s);
    s.score.doc.unitCount = 0;
    s.score.doc.unitCount = 1;  // the first unit tab
    // The start-up sequence, in its order: the tempo comes last, so that its
    // step timing gives every slot its gate length. FM, PW, Sync, Accent and
    // Swing keep the values of initialisation.
    for (Param id : {Param::kFilterMode,   Param::kCutoff,       Param::kResonance, Param::kEnvAmount, Param::kOsc1Coarse,
                     Param::kOsc1Fine,     Param::kOsc2Coarse,   Param::kOsc2Fine,  Param::kOsc1Wave,  Param::kOsc2Wave,
                     Param::kOscMix,       Param::kPhase,        Param::kAttack,    Param::kDecay,     Param::kSustain,
                     Param::kSustainLevel, Param::kRelease,      Param::kStepGate,  Param::kVolume,    Param::kLfoSpeed,
                     Param::kLfoAmount,    Param::kLfoWave,      Param::kLfoTarget, Param::kDelaySend, Param::kFeedback,
                     Param::kDelaySteps,   Param::kPan,          Param::kThreshold, Param::kDistWet,   Param::kDistMode,
                     Param::kRingMod,      Param::kMasterVolume, Param::kTempo})
        setLinked(s, id, parameterTraits(id).startUp);
}

int addUnit(Synth& s) {
    Document& d = s.score.doc;
    if (d.unitCount >= kMaxUnitsInUse) return 0;
    Edit edit(s, "Add Unit");
    const int32_t saved = s.selection.currentUnit;
    s.selection.currentUnit = d.unitCount;
    d.unitCount = d.unitCount + 1;
    const UnitRecord& fresh = d.units[s.selection.currentUnit];
    setLinked(s, Param::kOsc1Wave, fresh.osc1Wave);
    setLinked(s, Param::kOsc2Wave, fresh.osc2Wave);
    s.selection.currentUnit = saved;
    return 1;
}

int deleteCurrentUnit(Synth& s) {
    Document& d = s.score.doc;
    const int32_t count = clampInt(d.unitCount, 0, kUnitSlots);
    if (count < 2) return 0;
    Edit edit(s, "Delete Unit");
    const int bytes = clampInt(d.settings.patternCount, 0, kPatternsPerUnit) * kStepsPerPattern;
    for (int j = s.selection.currentUnit + 1; j < count; ++j) {
        s.selection.currentUnit = j - 1;
        pasteSettings(s, j);
        for (uint8_t* plane : {reinterpret_cast<uint8_t*>(d.stepPitch), d.stepNoteOn, d.stepSlide, d.stepSpare})
            std::memcpy(plane + stepIndex(j - 1, 0, 0), plane + stepIndex(j, 0, 0), static_cast<size_t>(bytes));
    }
    d.unitCount = count - 1;
    s.selection.currentUnit = 0;
    return 1;
}

void copySettings(Synth& s) { s.selection.settingsSource = s.selection.currentUnit; }

void pasteSettings(Synth& s, int source) {
    Document& d = s.score.doc;
    Edit edit(s, "Paste Settings");
    const UnitRecord& from = d.units[clampInt(source, 0, kUnitSlots - 1)];
    UnitRecord& to = d.units[s.selection.currentUnit];
    const auto paste = [&](auto member, const RowRule& rule) {
        if (rule.pasted) to.*member = from.*member;
    };
    forEachOscillatorRow(paste);
    for (int w = 0; w < 8; ++w) to.delaySend[w] = from.delaySend[w];
    forEachVoiceRow(paste);
    // The waveforms through their setters: they reach the units the current
    // unit links too, and restart the oscillators.
    setLinked(s, Param::kOsc1Wave, from.osc1Wave);
    setLinked(s, Param::kOsc2Wave, from.osc2Wave);
    s.score.derived.units[s.selection.currentUnit].gateSamples = gateSamplesFor(to.stepGate, s.score.derived.samplesPerStep);
}

int toggleLink(Synth& s, int unit) {
    const int current = s.selection.currentUnit;
    uint8_t& link = s.score.doc.unitLinks[current][clampInt(unit, 0, kUnitSlots - 1)];
    if (unit == current) return link;
    Edit edit(s, "Link");
    link = link != 0 ? 0 : 1;
    return link;
}

void selectUnit(Synth& s, int index) {
    s.selection.currentUnit = clampInt(index, 0, clampInt(s.score.doc.unitCount, 1, kUnitSlots) - 1);
}

int startUpState(Synth& s) {
    if (!s.tables.distCurvesBuilt) buildDistortionCurves(s.tables);
    if (!initialiseUnits(s)) return 0;
    resetEngine(s.engine);
    prepareRandomTables(s.randomNotes);
    applyDefaults(s);
    // The start-up state is where the history begins, and no file's.
    clearHistory(s);
    markSaved(s);
    return 1;
}

void installDocument(Synth& s, const Document& loaded) {
    replaceDocument(s, loaded);
    // Replacing the document is no step: the history begins anew.
    clearHistory(s);
}

void replaceDocument(Synth& s, const Document& loaded) {
    Edit edit(s);
    Document& d = s.score.doc;
    d = loaded;
    s.score.derived.currentPattern = 0;
    recomputeStepTiming(s.score);
    const int units = clampInt(d.unitCount, 0, kUnitSlots);
    for (int u = 0; u < units; ++u) {
        postToEngine(s, EngineCommand::of(EngineCommand::kRearmEnvelope, u));
        s.selection.currentUnit = u;
        setLinked(s, Param::kOsc1Wave, d.units[u].osc1Wave);
        setLinked(s, Param::kOsc2Wave, d.units[u].osc2Wave);
    }
    s.selection.currentUnit = 0;
}

void releaseBuffers(Synth& s) {
    s.engine.delayBuffer.reset();
    s.engine.unitBuffers.reset();
}

}  // namespace velmor
