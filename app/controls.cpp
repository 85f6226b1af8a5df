#include "app/controls.h"

#include "model/units.h"
#include "resources/resource_ids.h"

namespace velmor {

namespace {

using P = Param;

const SliderControl kSliders[] = {{IDC_CUTOFF, P::kCutoff, 1, 10, false, false},
                                  {IDC_RESO, P::kResonance, 1, 10, false, false},
                                  {IDC_ENV_AMT, P::kEnvAmount, 1, 10, false, false},
                                  {IDC_OSC1_COARSE, P::kOsc1Coarse, 25, 25, false, false},
                                  {IDC_OSC1_FINE, P::kOsc1Fine, 1, 10, false, false},
                                  {IDC_OSC2_COARSE, P::kOsc2Coarse, 25, 25, false, false},
                                  {IDC_OSC2_FINE, P::kOsc2Fine, 1, 10, false, false},
                                  {IDC_OSC_MIX, P::kOscMix, 50, 50, false, false},
                                  {IDC_PHASE, P::kPhase, 50, 50, false, false},
                                  {IDC_RING_MOD, P::kRingMod, 1, 10, false, false},
                                  {IDC_FM, P::kFmAmount, 1, 10, false, false},
                                  {IDC_OSC1_PW, P::kPulseWidth, 1, 16, false, false},
                                  {IDC_DELAY_SEND, P::kDelaySend, 10, 10, false, false},
                                  {kVolumeSlider, P::kVolume, 16, 16, true, true},
                                  {kAccentSlider, P::kAccent, 1, 10, true, true},
                                  {IDC_DIST_WET, P::kDistWet, 25, 25, false, false},
                                  {IDC_DIST_THRESHOLD, P::kThreshold, 25, 25, false, false},
                                  {kAttackSlider, P::kAttack, 1, 10, false, false},
                                  {kDecaySlider, P::kDecay, 1, 10, false, false},
                                  {kSustainSlider, P::kSustain, 1, 10, false, false},
                                  {kSustainLevelSlider, P::kSustainLevel, 1, 10, true, true},
                                  {kReleaseSlider, P::kRelease, 1, 10, false, false},
                                  {IDC_STEP_GATE, P::kStepGate, 1, 10, true, false},
                                  {IDC_LFO_SPEED, P::kLfoSpeed, 1, 10, false, false},
                                  {IDC_LFO_AMOUNT, P::kLfoAmount, 1, 10, false, false},
                                  {kTempoSlider, P::kTempo, 1, 10, false, false},
                                  {IDC_MASTER_VOLUME, P::kMasterVolume, 1, 10, false, false}};

const SliderControl kEffectsSliders[] = {{IDC_DELAY_STEPS, P::kDelaySteps, 1, 1, false, false},
                                         {IDC_DELAY_FEEDBACK, P::kFeedback, 1, 10, false, false},
                                         {IDC_DELAY_PAN, P::kPan, 16, 16, false, false},
                                         {IDC_SWING, P::kSwing, 10, 10, false, false}};

struct Choice {
    int id;
    Param param;
    uint16_t value;
};

const Choice kChoices[] = {
    {1030, P::kOsc1Wave, 0},   {1031, P::kOsc1Wave, 1},   {1032, P::kOsc1Wave, 2},   {1033, P::kOsc1Wave, 3},
    {1034, P::kOsc1Wave, 4},   {1041, P::kOsc2Wave, 0},   {1042, P::kOsc2Wave, 1},   {1043, P::kOsc2Wave, 2},
    {1044, P::kOsc2Wave, 3},   {1045, P::kOsc2Wave, 4},   {1202, P::kFilterMode, 0}, {1203, P::kFilterMode, 1},
    {1204, P::kFilterMode, 2}, {1205, P::kFilterMode, 3}, {1206, P::kFilterMode, 4}, {1036, P::kLfoTarget, 0},
    {1038, P::kLfoTarget, 1},  {1040, P::kLfoTarget, 2},  {1046, P::kLfoWave, 0},    {1047, P::kLfoWave, 1},
    {1200, P::kDistMode, 1},   {1201, P::kDistMode, 2}};

const Choice* findChoice(int id) {
    for (const Choice& c : kChoices)
        if (c.id == id) return &c;
    return nullptr;
}

}  // namespace

const SliderControl* mainWindowSliders(int* count) {
    *count = static_cast<int>(sizeof kSliders / sizeof kSliders[0]);
    return kSliders;
}

const SliderControl* effectsSliders(int* count) {
    *count = static_cast<int>(sizeof kEffectsSliders / sizeof kEffectsSliders[0]);
    return kEffectsSliders;
}

const SliderControl* findSlider(int id) {
    for (const SliderControl& row : kSliders)
        if (row.id == id) return &row;
    return nullptr;
}

int32_t sliderValue(const SliderControl& c, int position) {
    return c.inverted ? parameterTraits(c.param).maximum - position : position;
}

Position sliderPosition(const SliderControl& c, int32_t value) {
    return static_cast<Position>(c.inverted ? parameterTraits(c.param).maximum - value : value);
}

bool onSliderScrolled(Synth& s, int id, int position) {
    const SliderControl* row = findSlider(id);
    if (!row) return false;
    setLinked(s, row->param, static_cast<Position>(sliderValue(*row, position)));
    return id == kAttackSlider || id == kDecaySlider || id == kSustainSlider || id == kReleaseSlider || id == kSustainLevelSlider;
}

Position sliderRefreshPosition(const Synth& s, const SliderControl& c) {
    return sliderPosition(c, static_cast<Position>(getCurrent(s, c.param)));
}

Position sliderRefreshPosition(const Synth& s, int id) {
    const SliderControl* row = findSlider(id);
    return row ? sliderRefreshPosition(s, *row) : 0;
}

bool onChoiceClicked(Synth& s, int id) {
    const Choice* c = findChoice(id);
    if (!c) return false;
    setLinked(s, c->param, c->value);
    return true;
}

bool isChoiceChecked(const Synth& s, int id) {
    const Choice* c = findChoice(id);
    if (!c) return false;
    const int32_t value = getCurrent(s, c->param);
    // The distortion pair checks "A" for mode 1 and "B" for anything else.
    if (c->param == P::kDistMode) return (value == 1) == (c->value == 1);
    return value == c->value;
}

uint32_t onSyncClicked(Synth& s) {
    const uint32_t next = getCurrent(s, P::kSync) == 0 ? 1 : 0;
    setLinked(s, P::kSync, static_cast<int32_t>(next));
    return next;
}

LinkState onLinkClicked(Synth& s, int id) {
    const int k = id - kFirstLinkButton;
    if (k < 0 || k >= kMaxUnitsInUse) return kLinkOff;
    if (k == s.selection.currentUnit) return kLinkOwn;
    return toggleLink(s, k) != 0 ? kLinkOn : kLinkOff;
}

LinkState linkButtonState(const Synth& s, int unit) {
    if (unit == s.selection.currentUnit) return kLinkOwn;
    return s.score.doc.unitLinks[s.selection.currentUnit][unit] != 0 ? kLinkOn : kLinkOff;
}

}  // namespace velmor
