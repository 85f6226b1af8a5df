#pragma once
// The windows' controls as the model sees them: each slider's identifier,
// parameter, page, tick and orientation, the radio buttons' values, Sync and
// the "Link Generators" buttons. The windows turn their messages into these
// calls.

#include <cstdint>

#include "model/parameters.h"

namespace velmor {

// A slider of a parameter; its range is the parameter's. An inverted slider
// shows maximum minus the value (the vertical Volume, Sus Lvl and Accent
// have their strongest setting at the top).
struct SliderControl {
    int id;
    Param param;
    Position page, tick;
    bool vertical;
    bool inverted;
};

// The sliders of the main window, in the order of the parameter table, and
// those of "Effects Setup".
const SliderControl* mainWindowSliders(int* count);
const SliderControl* effectsSliders(int* count);
// A main window slider.
const SliderControl* findSlider(int id);

// Identifiers of the controls with special rules.
enum ControlId : int {
    kVolumeSlider = 1073,
    kSustainLevelSlider = 1067,
    kAccentSlider = 1078,
    kTempoSlider = 1018,
    kAttackSlider = 1062,
    kDecaySlider = 1063,
    kSustainSlider = 1065,
    kReleaseSlider = 1066,
    kSyncBox = 1077,
    kFirstLinkButton = 1068  // 1068..1071 for units 0..3
};

// The value a slider position stands for, and back.
int32_t sliderValue(const SliderControl& c, int sliderPosition);
Position sliderPosition(const SliderControl& c, int32_t value);

// A scroll notification from a main window slider at sliderPosition: sets
// its parameter on the current unit and its links. Returns true when the
// envelope picture must be redrawn (Attack, Decay, Sustain, Release, Sus
// Lvl); false for the others and for unknown ids.
bool onSliderScrolled(Synth& s, int id, int sliderPosition);

// The position a slider shows after a refresh.
Position sliderRefreshPosition(const Synth& s, int id);
Position sliderRefreshPosition(const Synth& s, const SliderControl& c);

// Radio buttons: oscillator waves 1030..1034 and 1041..1045, filter modes
// 1202..1206, LFO targets 1036, 1038, 1040, LFO waves 1046, 1047, distortion
// 1200 ("A", mode 1) and 1201 ("B", mode 2). Returns false for other ids.
bool onChoiceClicked(Synth& s, int id);
// Whether a radio button shows checked after a refresh.
bool isChoiceChecked(const Synth& s, int id);

// "Sync": sets the opposite of the current value and returns the new check
// state.
uint32_t onSyncClicked(Synth& s);

// Check states of the "Link Generators" buttons.
enum LinkState : int { kLinkOff = 0, kLinkOn = 1, kLinkOwn = 2 /* indeterminate */ };
// A click on link button `id`: the current unit's own button does nothing;
// any other flips the link from the current unit to that unit. Returns the
// button's new state.
LinkState onLinkClicked(Synth& s, int id);
LinkState linkButtonState(const Synth& s, int unit);

}  // namespace velmor
