#pragma once
// The main window's controls as the model sees them: each slider's
// identifier, range, page and tick with its setter and getter, the radio
// groups, Sync and the "Link Generators" buttons. The window turns its
// messages into these calls.

#include <cstdint>

#include "model/parameters.h"

namespace velmor {

struct SliderSpec {
    int id;
    Position minimum, maximum, page, tick;
    bool vertical;
    bool global;  // an EngineSettings field: no links apply
    void (*set)(Synth&, Position);
    Position (*get)(const Synth&);
};

// The sliders of the main window, in the order of the parameter table.
const SliderSpec* mainWindowSliders(int* count);
const SliderSpec* findSlider(int id);

// Identifiers of the controls with special rules.
enum ControlId : int {
    kVolumeSlider = 1073,
    kSustainLevelSlider = 1067,
    kAccentSlider = 1078,  // the strongest accent at the top, like "Sus Lvl"
    kTempoSlider = 1018,
    kAttackSlider = 1062,
    kDecaySlider = 1063,
    kSustainSlider = 1065,
    kReleaseSlider = 1066,
    kSyncBox = 1077,
    kFirstLinkButton = 1068,  // 1068..1071 for units 0..3
};

// A scroll notification from a slider at sliderPosition: calls the slider's
// setter ("Volume" with 128 minus the position, "Sus Lvl" and "Accent" with
// 100 minus it).
// Returns true when the envelope picture must be redrawn (Attack, Decay,
// Sustain, Release, Sus Lvl); false for the others and for unknown ids.
bool onSliderScrolled(Synth& s, int id, int sliderPosition);

// The position a slider shows after a refresh ("Sus Lvl" and "Accent" show
// 100 minus their getter; "Volume"'s getter already gives the slider
// position).
Position sliderRefreshPosition(const Synth& s, int id);

// Radio buttons: oscillator waves 1030..1034 and 1041..1045, filter modes
// 1202..1206, LFO targets 1036, 1038, 1040, LFO waves 1046, 1047, distortion
// 1200 ("A", mode 1) and 1201 ("B", mode 2). Returns false for other ids.
bool onChoiceClicked(Synth& s, int id);
// Whether a radio button shows checked after a refresh.
bool isChoiceChecked(const Synth& s, int id);

// "Sync": sets the opposite of the getter and returns the new check state.
uint32_t onSyncClicked(Synth& s);

// Check states of the "Link Generators" buttons.
enum LinkState : int { kLinkOff = 0, kLinkOn = 1, kLinkOwn = 2 /* indeterminate */ };
// A click on link button `id`: the current unit's own button does nothing;
// any other flips the link from the current unit to that unit. Returns the
// button's new state.
LinkState onLinkClicked(Synth& s, int id);
LinkState linkButtonState(const Synth& s, int unit);

}  // namespace velmor
