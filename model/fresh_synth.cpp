#include "model/fresh_synth.h"

#include "model/units.h"

namespace velmor {

std::unique_ptr<Synth> initialisedSynth() {
    auto s = makeSynth();
    buildDistortionCurves(s->tables);
    initialiseUnits(*s);
    publishAndReset(*s);
    return s;
}

std::unique_ptr<Synth> startedSynth() {
    auto s = makeSynth();
    startUpState(*s);
    return s;
}

void applyStartupLikeSettings(Synth& s, int unit) {
    if (unit == 0) {
        applyDefaults(s);
        return;
    }
    const int32_t saved = s.selection.currentUnit;
    s.selection.currentUnit = unit;
    pasteSettings(s, 0);
    s.selection.currentUnit = saved;
    if (s.score.doc.unitCount < unit + 1) s.score.doc.unitCount = unit + 1;
    publish(s);
}

}  // namespace velmor
