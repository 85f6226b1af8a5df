#include "plugin/editor/editor_layout.h"

#include <algorithm>
#include <cmath>

#include "model/step_editor.h"

namespace velmor {

namespace {

// The current unit's controls as four rows of eight: oscillators, their
// modulation and the filter, the envelope and level, distortion, LFO and
// the delay send. Then tempo and the other global controls.
constexpr Param kKnobs[kKnobCount] = {
    Param::kOsc1Wave,   Param::kOsc1Coarse,   Param::kOsc1Fine,  Param::kOsc2Wave,     Param::kOsc2Coarse, Param::kOsc2Fine,
    Param::kOscMix,     Param::kPulseWidth,   Param::kFmAmount,  Param::kRingMod,      Param::kPhase,      Param::kSync,
    Param::kFilterMode, Param::kCutoff,       Param::kResonance, Param::kEnvAmount,    Param::kAttack,     Param::kDecay,
    Param::kSustain,    Param::kSustainLevel, Param::kRelease,   Param::kStepGate,     Param::kAccent,     Param::kVolume,
    Param::kDistMode,   Param::kDistWet,      Param::kThreshold, Param::kLfoTarget,    Param::kLfoWave,    Param::kLfoSpeed,
    Param::kLfoAmount,  Param::kDelaySend,    Param::kTempo,     Param::kMasterVolume, Param::kSwing,      Param::kDelaySteps,
    Param::kFeedback,   Param::kPan};

constexpr float kKnobW = 76, kKnobH = 68, kUnitX = 16, kKnobY = 76, kGlobalX = 684;
constexpr float kStepX = 16, kStepW = 60, kStepNumberY = 408, kGridY = 426;
constexpr float kRowH[kStepRows] = {34, 24, 24, 24};

// clang-format off
constexpr ButtonTraits kButtons[kButtonCount] = {
    {Button::kUnit1, "Unit 1", {120, 10, 72, 28}},
    {Button::kUnit2, "Unit 2", {196, 10, 72, 28}},
    {Button::kUnit3, "Unit 3", {272, 10, 72, 28}},
    {Button::kUnit4, "Unit 4", {348, 10, 72, 28}},
    {Button::kAddUnit, "+", {426, 10, 28, 28}},
    {Button::kDeleteUnit, "-", {458, 10, 28, 28}},
    {Button::kLink1, "1", {560, 52, 26, 22}},
    {Button::kLink2, "2", {590, 52, 26, 22}},
    {Button::kLink3, "3", {620, 52, 26, 22}},
    {Button::kLink4, "4", {650, 52, 26, 22}},
    {Button::kSequencer, nullptr, {692, 330, 140, 26}},
    {Button::kLocalOff, nullptr, {840, 330, 140, 26}},
    {Button::kUndo, "Undo", {700, 10, 56, 28}},
    {Button::kRedo, "Redo", {760, 10, 56, 28}},
    {Button::kZoomOut, "-", {850, 10, 28, 28}},
    {Button::kZoomIn, "+", {952, 10, 28, 28}},
    {Button::kPreviousPattern, "<", {100, 374, 26, 26}},
    {Button::kNextPattern, ">", {172, 374, 26, 26}},
    {Button::kCopy, "Copy", {216, 374, 60, 26}},
    {Button::kPaste, "Paste", {280, 374, 60, 26}},
    {Button::kClear, "Clear", {344, 374, 60, 26}},
    {Button::kRandom, "Generate Random", {408, 374, 140, 26}},
    {Button::kSongMode, "Song", {16, 556, 64, 26}},
    {Button::kPreviousPosition, "<", {88, 556, 26, 26}},
    {Button::kNextPosition, ">", {758, 556, 26, 26}},
    {Button::kInsertPosition, "Insert", {792, 556, 90, 26}},
    {Button::kDeletePosition, "Delete", {890, 556, 90, 26}},
    {Button::kPreviousPreset, "<", {88, 598, 26, 26}},
    {Button::kPresetName, nullptr, {118, 598, 360, 26}},
    {Button::kNextPreset, ">", {482, 598, 26, 26}},
    {Button::kLoad, "Load...", {560, 598, 100, 26}},
    {Button::kSave, "Save...", {668, 598, 100, 26}},
    {Button::kSavePreset, "Save Preset...", {776, 598, 204, 26}},
    {Button::kPlay, nullptr, {560, 10, 110, 28}},
};
// clang-format on

}  // namespace

Param knobParam(int knob) { return kKnobs[knob]; }

Box knobBox(int knob) {
    if (knob < kUnitKnobs)
        return {kUnitX + static_cast<float>(knob % 8) * kKnobW, kKnobY + static_cast<float>(knob / 8) * kKnobH, kKnobW, kKnobH};
    const int g = knob - kUnitKnobs;
    return {kGlobalX + static_cast<float>(g % 4) * kKnobW, kKnobY + static_cast<float>(g / 4) * kKnobH, kKnobW, kKnobH};
}

Box stepBox(int step, StepRow row) {
    float y = kGridY;
    for (int r = 0; r < static_cast<int>(row); ++r) y += kRowH[r] + 4;
    return {kStepX + static_cast<float>(step) * kStepW + 2, y, kStepW - 4, kRowH[static_cast<int>(row)]};
}

Box stepNumberBox(int step) { return {kStepX + static_cast<float>(step) * kStepW + 2, kStepNumberY, kStepW - 4, 16}; }

const ButtonTraits& buttonTraits(Button b) { return kButtons[static_cast<int>(b)]; }

Box positionBox(int shown) { return {118 + static_cast<float>(shown) * 40, 556, 38, 26}; }
Box patternNumberBox() { return {128, 374, 42, 26}; }

Hit hitTest(float x, float y) {
    Hit h;
    for (int b = 0; b < kButtonCount; ++b)
        if (kButtons[b].box.contains(x, y)) return h.kind = Hit::kButton, h.index = b, h;
    for (int k = 0; k < kKnobCount; ++k)
        if (knobBox(k).contains(x, y)) return h.kind = Hit::kKnob, h.index = k, h;
    for (int s = 0; s < kEditorSteps; ++s)
        for (int r = 0; r < kStepRows; ++r)
            if (stepBox(s, static_cast<StepRow>(r)).contains(x, y))
                return h.kind = Hit::kStep, h.index = s, h.row = static_cast<StepRow>(r), h;
    for (int p = 0; p < kShownPositions; ++p)
        if (positionBox(p).contains(x, y)) return h.kind = Hit::kPosition, h.index = p, h;
    return h;
}

int32_t dragValue(Param p, int32_t start, float pixels, bool fine) {
    const ParameterTraits& t = parameterTraits(p);
    const float range = static_cast<float>(t.maximum - t.minimum);
    const float moved = pixels * range / (fine ? 1000.0f : 200.0f);
    return std::clamp(start + static_cast<int32_t>(std::lround(moved)), t.minimum, t.maximum);
}

int32_t wheelValue(Param p, int32_t value, int notches) {
    const ParameterTraits& t = parameterTraits(p);
    const int32_t next = value + notches;
    if (t.text != ValueText::kChoice) return std::clamp(next, t.minimum, t.maximum);
    const int32_t count = t.maximum - t.minimum + 1;
    return t.minimum + ((next - t.minimum) % count + count) % count;
}

int dragPitch(int start, float pixels) {
    return std::clamp(start + static_cast<int>(std::lround(pixels / 8)), kLowestPitch, kHighestPitch);
}

}  // namespace velmor
