#include "plugin/editor/editor_actions.h"

#include <algorithm>
#include <cstring>

#include "model/pattern_clipboard.h"
#include "model/song.h"
#include "model/step_editor.h"
#include "model/undo.h"
#include "model/units.h"
#include "plugin/plugin_parameters.h"

namespace velmor {

namespace {

constexpr char kPiano[] = "q2w3er5t6y7ui";

// The pattern's switches all off, its pitches kept: a rest of every step.
void clearPattern(Synth& s) {
    Edit edit(s, "Clear");
    for (int i = 0; i < kEditorSteps; ++i) {
        if (stepNoteOn(s, i)) toggleStepNoteOn(s, i);
        if (stepSlide(s, i)) toggleStepSlide(s, i);
        if (stepAccent(s, i)) toggleStepAccent(s, i);
    }
}

}  // namespace

void editAndTell(PluginCore& core, const TellHost& tell, const std::function<void(Synth&)>& edit) {
    float before[kPluginParameterCount];
    for (uint32_t i = 0; i < kPluginParameterCount; ++i) before[i] = core.parameterValue(i);
    edit(core.editModel());
    for (uint32_t i = 0; i < kPluginParameterCount; ++i)
        if (core.parameterValue(i) != before[i] && tell) tell(i, core.parameterValue(i));
}

int32_t knobValue(const Synth& s, int knob) { return getCurrent(s, knobParam(knob)); }

void setKnob(Synth& s, int knob, int32_t value) { setLinked(s, knobParam(knob), value); }

void clickStep(Synth& s, int step, StepRow row) {
    switch (row) {
        case StepRow::kPitch: break;
        case StepRow::kNote: toggleStepNoteOn(s, step); break;
        case StepRow::kSlide: toggleStepSlide(s, step); break;
        case StepRow::kAccent: toggleStepAccent(s, step); break;
    }
}

void setStepPitch(Synth& s, int step, int pitch) {
    if (pitch != stepPitch(s, step)) setStepPitchFromSlider(s, step, pitchSliderPosition(pitch));
}

bool pressButton(Synth& s, EditorFocus& focus, Button b, uint32_t randomSeed) {
    const int pattern = s.score.derived.currentPattern;
    switch (b) {
        case Button::kUnit1:
        case Button::kUnit2:
        case Button::kUnit3:
        case Button::kUnit4: selectUnit(s, static_cast<int>(b) - static_cast<int>(Button::kUnit1)); return true;
        case Button::kAddUnit: addUnit(s); return true;
        case Button::kDeleteUnit: deleteCurrentUnit(s); return true;
        case Button::kLink1:
        case Button::kLink2:
        case Button::kLink3:
        case Button::kLink4: toggleLink(s, static_cast<int>(b) - static_cast<int>(Button::kLink1)); return true;
        case Button::kUndo: undo(s); return true;
        case Button::kRedo: redo(s); return true;
        case Button::kPreviousPattern: selectPattern(s, (pattern + kPatternsPerUnit - 1) % kPatternsPerUnit); return true;
        case Button::kNextPattern: selectPattern(s, (pattern + 1) % kPatternsPerUnit); return true;
        case Button::kCopy: copyPattern(s); return true;
        case Button::kPaste: pastePattern(s); return true;
        case Button::kClear: clearPattern(s); return true;
        case Button::kRandom: generateRandomPattern(s, randomSeed); return true;
        case Button::kSongMode: setSongMode(s, !songModeOn(s)); return true;
        case Button::kPreviousPosition: focus.position = std::max(0, focus.position - 1); return true;
        case Button::kNextPosition: focus.position = std::min(songPositions(s) - 1, focus.position + 1); return true;
        case Button::kInsertPosition:
            if (insertSongPosition(s, focus.position + 1, pattern)) ++focus.position;
            return true;
        case Button::kDeletePosition:
            deleteSongPosition(s, focus.position);
            focus.position = std::min(focus.position, songPositions(s) - 1);
            return true;
        default: return false;
    }
}

int firstShownPosition(const Synth& s, const EditorFocus& focus) {
    return std::clamp(focus.position - kShownPositions / 2, 0, std::max(0, songPositions(s) - kShownPositions));
}

void stepSongPattern(Synth& s, int position, int notches) {
    if (position < 0 || position >= songPositions(s)) return;
    setSongPattern(s, position, std::clamp(songPattern(s, position) + notches, 0, kPatternsPerUnit - 1));
}

bool pressKey(Synth& s, EditorFocus& focus, EditorKey key, uint32_t character, bool control, bool shift) {
    int& step = focus.step;
    switch (key) {
        case EditorKey::kLeft: step = (step + kEditorSteps - 1) % kEditorSteps; return true;
        case EditorKey::kRight: step = (step + 1) % kEditorSteps; return true;
        case EditorKey::kUp: setStepPitch(s, step, std::min(stepPitch(s, step) + 1, kHighestPitch)); return true;
        case EditorKey::kDown: setStepPitch(s, step, std::max(stepPitch(s, step) - 1, kLowestPitch)); return true;
        case EditorKey::kCharacter: break;
    }
    const uint32_t c = character >= 'A' && character <= 'Z' ? character + 32 : character;
    if (control) {
        if (c == 'z' && !shift) return undo(s), true;
        if (c == 'y' || c == 'z') return redo(s), true;
        return false;
    }
    if (c == ' ') return toggleStepNoteOn(s, step), true;
    if (c == 's') return toggleStepSlide(s, step), true;
    if (c == 'a') return toggleStepAccent(s, step), true;
    const char* key12 = c != 0 && c < 128 ? std::strchr(kPiano, static_cast<char>(c)) : nullptr;
    if (!key12) return false;
    // C of the step's octave (pitch 3 is C1), then the key's semitone.
    const int pitch = std::clamp(stepPitch(s, step), kLowestPitch, kHighestPitch);
    const int c0 = pitch - (pitch - kLowestPitch) % 12;
    setStepPitch(s, step, std::min(c0 + static_cast<int>(key12 - kPiano), kHighestPitch));
    step = (step + 1) % kEditorSteps;
    return true;
}

}  // namespace velmor
