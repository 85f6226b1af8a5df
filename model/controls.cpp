#include "model/controls.h"

namespace velmor {

namespace {

const SliderSpec kSliders[] = {
    {1011, 0, 100, 1, 10, false, false, setCutoff, getCutoff},
    {1010, 0, 100, 1, 10, false, false, setResonance, getResonance},
    {1012, 0, 100, 1, 10, false, false, setEnvAmount, getEnvAmount},
    {1027, 0, 100, 25, 25, false, false, setOsc1Coarse, getOsc1Coarse},
    {1013, 0, 100, 1, 10, false, false, setOsc1Fine, getOsc1Fine},
    {1028, 0, 100, 25, 25, false, false, setOsc2Coarse, getOsc2Coarse},
    {1021, 0, 100, 1, 10, false, false, setOsc2Fine, getOsc2Fine},
    {1016, 0, 100, 50, 50, false, false, setOscMix, getOscMix},
    {1017, 0, 100, 50, 50, false, false, setPhase, getPhase},
    {1801, 0, 100, 1, 10, false, false, setRingMod, getRingMod},
    {1800, 0, 100, 1, 10, false, false, setFmAmount, getFmAmount},
    {1074, 0, 128, 1, 16, false, false, setPulseWidth, getPulseWidth},
    {1024, 0, 100, 10, 10, false, false, setDelaySend, getDelaySend},
    {kVolumeSlider, 0, 128, 16, 16, true, false, setVolume, getVolume},
    {kAccentSlider, 0, 100, 1, 10, true, false, setAccent, getAccent},
    {1023, 0, 100, 25, 25, false, false, setDistWet, getDistWet},
    {1022, 0, 100, 25, 25, false, false, setThreshold, getThreshold},
    {kAttackSlider, 0, 100, 1, 10, false, false, setAttack, getAttack},
    {kDecaySlider, 0, 100, 1, 10, false, false, setDecay, getDecay},
    {kSustainSlider, 0, 100, 1, 10, false, false, setSustain, getSustain},
    {kSustainLevelSlider, 0, 100, 1, 10, true, false, setSustainLevel, getSustainLevel},
    {kReleaseSlider, 0, 100, 1, 10, false, false, setRelease, getRelease},
    {1064, 0, 100, 1, 10, true, false, setStepGate, getStepGate},
    {1019, 0, 100, 1, 10, false, false, setLfoSpeed, getLfoSpeed},
    {1020, 0, 100, 1, 10, false, false, setLfoAmount, getLfoAmount},
    {kTempoSlider, 60, 180, 1, 10, false, true, setTempo, getTempo},
    {1072, 0, 100, 1, 10, false, true, setMasterVolume, getMasterVolume},
};

struct Choice {
    int id;
    uint16_t value;
    void (*set)(Synth&, uint16_t);
    uint16_t (*get)(const Synth&);
};

const Choice kChoices[] = {
    {1030, 0, setOsc1Wave, getOsc1Wave},   {1031, 1, setOsc1Wave, getOsc1Wave},
    {1032, 2, setOsc1Wave, getOsc1Wave},   {1033, 3, setOsc1Wave, getOsc1Wave},
    {1034, 4, setOsc1Wave, getOsc1Wave},   {1041, 0, setOsc2Wave, getOsc2Wave},
    {1042, 1, setOsc2Wave, getOsc2Wave},   {1043, 2, setOsc2Wave, getOsc2Wave},
    {1044, 3, setOsc2Wave, getOsc2Wave},   {1045, 4, setOsc2Wave, getOsc2Wave},
    {1202, 0, setFilterMode, getFilterMode}, {1203, 1, setFilterMode, getFilterMode},
    {1204, 2, setFilterMode, getFilterMode}, {1205, 3, setFilterMode, getFilterMode},
    {1206, 4, setFilterMode, getFilterMode}, {1036, 0, setLfoTarget, getLfoTarget},
    {1038, 1, setLfoTarget, getLfoTarget}, {1040, 2, setLfoTarget, getLfoTarget},
    {1046, 0, setLfoWave, getLfoWave},     {1047, 1, setLfoWave, getLfoWave},
    {1200, 1, setDistMode, getDistMode},   {1201, 2, setDistMode, getDistMode},
};

const Choice* findChoice(int id) {
    for (const Choice& c : kChoices)
        if (c.id == id) return &c;
    return nullptr;
}

}  // namespace

const SliderSpec* mainWindowSliders(int* count) {
    *count = static_cast<int>(sizeof kSliders / sizeof kSliders[0]);
    return kSliders;
}

const SliderSpec* findSlider(int id) {
    for (const SliderSpec& row : kSliders)
        if (row.id == id) return &row;
    return nullptr;
}

bool onSliderScrolled(Synth& s, int id, int sliderPosition) {
    const SliderSpec* row = findSlider(id);
    if (!row) return false;
    int p = sliderPosition;
    if (id == kVolumeSlider) p = 128 - sliderPosition;
    if (id == kSustainLevelSlider || id == kAccentSlider) p = 100 - sliderPosition;
    row->set(s, static_cast<Position>(p));
    return id == kAttackSlider || id == kDecaySlider || id == kSustainSlider || id == kReleaseSlider ||
           id == kSustainLevelSlider;
}

Position sliderRefreshPosition(const Synth& s, int id) {
    const SliderSpec* row = findSlider(id);
    if (!row) return 0;
    const Position p = row->get(s);
    return id == kSustainLevelSlider || id == kAccentSlider ? static_cast<Position>(100 - p) : p;
}

bool onChoiceClicked(Synth& s, int id) {
    const Choice* c = findChoice(id);
    if (!c) return false;
    c->set(s, c->value);
    return true;
}

bool isChoiceChecked(const Synth& s, int id) {
    const Choice* c = findChoice(id);
    if (!c) return false;
    // The distortion pair checks "A" for mode 1 and "B" for anything else.
    if (c->set == setDistMode) return (getDistMode(s) == 1) == (c->value == 1);
    return c->get(s) == c->value;
}

uint32_t onSyncClicked(Synth& s) {
    const uint32_t next = getSync(s) == 0 ? 1 : 0;
    setSync(s, next);
    return next;
}

LinkState onLinkClicked(Synth& s, int id) {
    const int k = id - kFirstLinkButton;
    if (k < 0 || k >= kMaxUnitsInUse) return kLinkOff;
    if (k == s.store.currentUnit) return kLinkOwn;
    uint8_t& link = s.store.unitLinks[s.store.currentUnit][k];
    link = link != 0 ? 0 : 1;
    return link != 0 ? kLinkOn : kLinkOff;
}

LinkState linkButtonState(const Synth& s, int unit) {
    if (unit == s.store.currentUnit) return kLinkOwn;
    return s.store.unitLinks[s.store.currentUnit][unit] != 0 ? kLinkOn : kLinkOff;
}

}  // namespace velmor
