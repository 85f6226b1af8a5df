#pragma once
// Where everything of the plugin's editor lies, in the units of its design
// size (the window at 100 %): one table of knobs (the current unit's
// controls and the global ones), the pattern grid, and one table of
// buttons. Drawing and the mouse both read it, whatever the scale. A knob's
// value follows a vertical drag (finely with Shift) and steps with the
// wheel.

#include <cstdint>

#include "model/parameters.h"

namespace velmor {

constexpr float kEditorWidth = 1000;
constexpr float kEditorHeight = 640;
constexpr int kEditorSteps = 16;

struct Box {
    float x, y, w, h;
    bool contains(float px, float py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

// The knobs: the current unit's 32 controls, then the global ones.
constexpr int kUnitKnobs = 32;
constexpr int kGlobalKnobs = 6;
constexpr int kKnobCount = kUnitKnobs + kGlobalKnobs;
Param knobParam(int knob);
Box knobBox(int knob);

// The pattern grid's rows: the pitch (a drag or the wheel sets it), then
// the note, slide and accent switches.
enum class StepRow : uint8_t { kPitch, kNote, kSlide, kAccent };
constexpr int kStepRows = 4;
Box stepBox(int step, StepRow row);
// The step numbers above the grid, lit where the sequencer plays.
Box stepNumberBox(int step);

enum class Button : uint8_t {
    kUnit1,
    kUnit2,
    kUnit3,
    kUnit4,  // the unit tabs
    kAddUnit,
    kDeleteUnit,
    kLink1,
    kLink2,
    kLink3,
    kLink4,      // "Link Generators" from the current unit
    kSequencer,  // Off / Follow Host
    kLocalOff,   // the current unit's
    kUndo,
    kRedo,
    kZoomOut,
    kZoomIn,
    kPreviousPattern,
    kNextPattern,
    kCopy,
    kPaste,
    kClear,
    kRandom,
    kSongMode,
    kPreviousPosition,
    kNextPosition,
    kInsertPosition,
    kDeletePosition,
    kPreviousPreset,
    kPresetName,
    kNextPreset,
    kLoad,
    kSave,
    kSavePreset,
    kPlay,  // the stand-alone program's Play / Stop
    kCount
};
constexpr int kButtonCount = static_cast<int>(Button::kCount);
struct ButtonTraits {
    Button id;
    const char* label;  // null: the editor writes its own (the preset's name, the zoom)
    Box box;
};
const ButtonTraits& buttonTraits(Button b);

// The song's positions shown, the selected one among them.
constexpr int kShownPositions = 16;
Box positionBox(int shown);
Box patternNumberBox();

// What lies under a point of the design.
struct Hit {
    enum Kind : uint8_t { kNothing, kKnob, kStep, kButton, kPosition } kind = kNothing;
    int index = 0;  // the knob, the step, the button, the shown position
    StepRow row = StepRow::kPitch;
};
Hit hitTest(float x, float y);

// A knob's value after a vertical drag of `pixels` (up is positive) from
// `start`: its whole range over 200 pixels, over 1000 with `fine`.
int32_t dragValue(Param p, int32_t start, float pixels, bool fine);
// One wheel notch up (+1) or down (-1): one step, choices wrapping round.
int32_t wheelValue(Param p, int32_t value, int notches);
// A step's pitch after a vertical drag: one semitone each 8 pixels.
int dragPitch(int start, float pixels);

}  // namespace velmor
