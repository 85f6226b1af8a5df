#include "model/pattern_clipboard.h"

#include "engine/arith.h"
#include "model/song.h"
#include "model/synth.h"

namespace velmor {

namespace {
int firstStep(const Synth& s) {
    return stepIndex(s.selection.currentUnit, clampInt(s.score.derived.currentPattern, 0, kPatternsPerUnit - 1), 0);
}
}  // namespace

void copyPattern(Synth& s) {
    const int at = firstStep(s);
    for (int i = 0; i < kStepsPerPattern; ++i) {
        s.patternClipboard.slide[i] = s.score.doc.stepSlide[at + i];
        s.patternClipboard.noteOn[i] = s.score.doc.stepNoteOn[at + i];
        s.patternClipboard.pitch[i] = s.score.doc.stepPitch[at + i];
        s.patternClipboard.accent[i] = s.score.doc.stepSpare[at + i] & 1;
    }
}

void pastePattern(Synth& s) {
    Edit edit(s, "Paste");
    const int at = firstStep(s);
    for (int i = 0; i < kStepsPerPattern; ++i) {
        s.score.doc.stepSlide[at + i] = s.patternClipboard.slide[i];
        s.score.doc.stepNoteOn[at + i] = s.patternClipboard.noteOn[i];
        s.score.doc.stepPitch[at + i] = s.patternClipboard.pitch[i];
        s.score.doc.stepSpare[at + i] = static_cast<uint8_t>((s.score.doc.stepSpare[at + i] & ~1) | s.patternClipboard.accent[i]);
    }
    coverPattern(s, s.score.derived.currentPattern);
}

}  // namespace velmor
