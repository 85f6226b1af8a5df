#include "model/pattern_clipboard.h"

#include "engine/arith.h"
#include "model/song.h"
#include "model/synth.h"

namespace velmor {

namespace {
int firstStep(const Synth& s) {
    return stepIndex(s.store.currentUnit, clampInt(s.store.settings.currentPattern, 0, kPatternsPerUnit - 1), 0);
}
}  // namespace

void copyPattern(Synth& s) {
    const int at = firstStep(s);
    for (int i = 0; i < kStepsPerPattern; ++i) {
        s.patternClipboard.slide[i] = s.store.stepSlide[at + i];
        s.patternClipboard.noteOn[i] = s.store.stepNoteOn[at + i];
        s.patternClipboard.pitch[i] = s.store.stepPitch[at + i];
        s.patternClipboard.accent[i] = s.store.stepSpare[at + i] & 1;
    }
}

void pastePattern(Synth& s) {
    const int at = firstStep(s);
    for (int i = 0; i < kStepsPerPattern; ++i) {
        s.store.stepSlide[at + i] = s.patternClipboard.slide[i];
        s.store.stepNoteOn[at + i] = s.patternClipboard.noteOn[i];
        s.store.stepPitch[at + i] = s.patternClipboard.pitch[i];
        s.store.stepSpare[at + i] = static_cast<uint8_t>((s.store.stepSpare[at + i] & ~1) | s.patternClipboard.accent[i]);
    }
    coverPattern(s, s.store.settings.currentPattern);
}

}  // namespace velmor
