#pragma once
// What the plugin's editor does, apart from drawing: each click, drag, wheel
// notch and key is an edit of the plugin core's model (the one change path:
// heard at the next block, kept in the state, taken back by Undo), and the
// host hears of every parameter an edit changed.

#include <cstdint>
#include <functional>

#include "plugin/editor/editor_layout.h"
#include "plugin/plugin_core.h"

namespace velmor {

// What the editor shows besides the document: the step the keyboard edits
// and the song position selected.
struct EditorFocus {
    int step = 0;
    int position = 0;
};

// Tells the host a parameter's new value (the plugin's index).
using TellHost = std::function<void(uint32_t index, float value)>;

// Runs `edit` on the core's model, then tells the host of each parameter
// whose value it changed.
void editAndTell(PluginCore& core, const TellHost& tell, const std::function<void(Synth&)>& edit);

// The current unit's value of a knob, and a new one (linked units follow).
int32_t knobValue(const Synth& s, int knob);
void setKnob(Synth& s, int knob, int32_t value);

// A click on a step's switch, a new pitch (3..51).
void clickStep(Synth& s, int step, StepRow row);
void setStepPitch(Synth& s, int step, int pitch);

// The buttons that edit the document or the selection; false for those
// the editor's window handles itself (zoom, files, presets, Sequencer,
// Local Off).
bool pressButton(Synth& s, EditorFocus& focus, Button b, uint32_t randomSeed);

// The song position shown first, so that the selected one is in view.
int firstShownPosition(const Synth& s, const EditorFocus& focus);
// A wheel notch on a shown position: its pattern steps (1..64).
void stepSongPattern(Synth& s, int position, int notches);

// The keyboard: arrows move between steps (Up and Down change the pitch),
// Space toggles the note, S the slide, A the accent, and the row Q 2 W 3 E R
// 5 T 6 Y 7 U I plays a piano from C within the step's octave, setting its
// pitch and moving on. Ctrl+Z undoes, Ctrl+Y and Ctrl+Shift+Z redo. False
// for a key the editor does not use.
enum class EditorKey : uint8_t { kCharacter, kLeft, kRight, kUp, kDown };
bool pressKey(Synth& s, EditorFocus& focus, EditorKey key, uint32_t character, bool control, bool shift);

}  // namespace velmor
