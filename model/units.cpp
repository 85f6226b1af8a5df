#include "model/units.h"

#include <new>

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

void releaseBuffers(Synth& s) {
    s.engine.delayBuffer.reset();
    s.engine.unitBuffers.reset();
}

}  // namespace velmor
