#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "model/controls.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

using testing::startedSynth;

const UnitRecord& unit0(const Synth& s) { return s.store.units[0]; }

struct SliderCase {
    int id;
    int sliderPosition;
    std::function<double(const Synth&)> stored;
    double expected;
    int readBack;  // the position the slider shows after a refresh
};

// Values and read-backs, read-back quirks included: these are what the
// window shows right after a setting.
const SliderCase kSliderCases[] = {
    {1011, 0, [](const Synth& s) { return unit0(s).cutoff; }, 1, 0},
    {1011, 1, [](const Synth& s) { return unit0(s).cutoff; }, 164, 0},
    {1011, 50, [](const Synth& s) { return unit0(s).cutoff; }, 8192, 49},
    {1011, 100, [](const Synth& s) { return unit0(s).cutoff; }, 16384, 100},
    {1010, 0, [](const Synth& s) { return unit0(s).resonance; }, 32767, 0},
    {1010, 40, [](const Synth& s) { return unit0(s).resonance; }, 19660, 41},
    {1010, 100, [](const Synth& s) { return unit0(s).resonance; }, 0, 100},
    {1012, 50, [](const Synth& s) { return unit0(s).envAmount; }, 16250, 50},
    {1012, 100, [](const Synth& s) { return unit0(s).envAmount; }, 32000, 100},
    {1027, 0, [](const Synth& s) { return unit0(s).osc1Coarse; }, -12, 0},
    {1027, 49, [](const Synth& s) { return unit0(s).osc1Coarse; }, -1, 45},
    {1027, 50, [](const Synth& s) { return unit0(s).osc1Coarse; }, 0, 50},
    {1028, 100, [](const Synth& s) { return unit0(s).osc2Coarse; }, 12, 100},
    {1013, 50, [](const Synth& s) { return unit0(s).osc1Fine; }, 0, 50},
    {1021, 0, [](const Synth& s) { return unit0(s).osc2Fine; }, -128, 0},
    {1016, 50, [](const Synth& s) { return unit0(s).oscMix; }, 128, 50},
    {1017, 100, [](const Synth& s) { return unit0(s).osc2Phase; }, 256, 100},
    {1801, 30, [](const Synth& s) { return unit0(s).ringMod; }, 76, 29},
    {1800, 100, [](const Synth& s) { return unit0(s).fmAmount; }, 256, 100},
    {1074, 77, [](const Synth& s) { return unit0(s).pulseWidth; }, 77, 77},
    {1024, 100, [](const Synth& s) { return unit0(s).delaySend[0]; }, 128, 100},
    {1023, 50, [](const Synth& s) { return unit0(s).distWet; }, 64, 50},
    {1022, 0, [](const Synth& s) { return unit0(s).distThreshold; }, 9, 0},
    {1022, 50, [](const Synth& s) { return unit0(s).distThreshold; }, 5, 44},
    {1022, 100, [](const Synth& s) { return unit0(s).distThreshold; }, 0, 100},
    {1063, 70, [](const Synth& s) { return unit0(s).decay; }, static_cast<float>(70 * 2.9999999999996697e-06 + 0.9997), 69},
    {1065, 100, [](const Synth& s) { return unit0(s).sustainTime; }, 441000, 100},
    {1065, 1, [](const Synth& s) { return unit0(s).sustainTime; }, 4410, 1},
    {1064, 95, [](const Synth& s) { return unit0(s).stepGate; }, 0.95f, 94},
    {1020, 100, [](const Synth& s) { return unit0(s).lfoAmount; }, 256, 100},
    // The vertical "Volume" and "Sus Lvl" are inverted: the top is full.
    {1073, 0, [](const Synth& s) { return unit0(s).volume; }, 128, 0},
    {1073, 128, [](const Synth& s) { return unit0(s).volume; }, 0, 128},
    {1067, 0, [](const Synth& s) { return unit0(s).sustainLevel; }, 32768, 0},
    {1067, 100, [](const Synth& s) { return unit0(s).sustainLevel; }, 0, 100},
    {1067, 75, [](const Synth& s) { return unit0(s).sustainLevel; }, 8192, 75},
    {1072, 50, [](const Synth& s) { return s.store.settings.masterVolume; }, 128, 50},
    {1018, 80, [](const Synth& s) { return s.store.settings.samplesPerStep; }, 8268, 80},
    {1018, 180, [](const Synth& s) { return s.store.settings.samplesPerStep; }, 3675, 180},
    {1018, 60, [](const Synth& s) { return s.store.settings.samplesPerStep; }, 11025, 60},
};

TEST(Parameters, SliderValuesAndReadBacks) {
    for (const SliderCase& c : kSliderCases) {
        auto s = startedSynth();
        onSliderScrolled(*s, c.id, c.sliderPosition);
        EXPECT_EQ(c.stored(*s), c.expected) << "control " << c.id << " at " << c.sliderPosition;
        EXPECT_EQ(sliderRefreshPosition(*s, c.id), c.readBack) << "control " << c.id << " at " << c.sliderPosition;
    }
}

TEST(Parameters, ExponentialRows) {
    auto s = startedSynth();
    struct Row {
        int id, position;
        double expected, tolerance;
        std::function<double(const Synth&)> stored;
    };
    const auto attack = [](const Synth& x) { return unit0(x).attack.load(); };
    const auto release = [](const Synth& x) { return unit0(x).release.load(); };
    const auto speed = [](const Synth& x) { return unit0(x).lfoSpeed.load(); };
    const Row rows[] = {
        {1062, 0, 172144.7, 0.05, attack},   {1062, 20, 23297.25, 0.01, attack}, {1062, 100, 7.8154, 0.0001, attack},
        {1066, 0, 0.993024, 1e-6, release},  {1066, 10, 0.993720, 1e-6, release}, {1066, 100, 1.0, 0.0, release},
        {1019, 0, std::exp(-3.5), 1e-15, speed}, {1019, 50, 1.0, 0.0, speed}, {1019, 100, 33.1, 0.02, speed},
    };
    for (const Row& r : rows) {
        onSliderScrolled(*s, r.id, r.position);
        EXPECT_NEAR(r.stored(*s), r.expected, r.tolerance) << r.id << " at " << r.position;
        const int back = sliderRefreshPosition(*s, r.id);
        EXPECT_TRUE(back == r.position || back == r.position - 1) << r.id << " at " << r.position << " reads " << back;
    }
}

TEST(Parameters, EffectsDialogRows) {
    auto s = startedSynth();
    const int32_t steps[] = {1, 2, 4, 6, 8};
    for (int p = 0; p <= 4; ++p) {
        setDelaySteps(*s, static_cast<Position>(p));
        EXPECT_EQ(s->store.settings.delaySteps, steps[p]);
        EXPECT_EQ(getDelaySteps(*s), p);
    }
    s->store.settings.delaySteps = 3;
    EXPECT_EQ(getDelaySteps(*s), 0) << "a step count that is none of the choices";
    setFeedback(*s, 100);
    EXPECT_EQ(s->store.settings.delayFeedback, 128);
    EXPECT_EQ(getFeedback(*s), 100);
    setFeedback(*s, 85);
    EXPECT_EQ(s->store.settings.delayFeedback, 108);
    EXPECT_EQ(getFeedback(*s), 84);
    setPan(*s, 0);
    EXPECT_EQ(s->store.settings.delayPan, -64);
    EXPECT_EQ(getPan(*s), 0);
}

TEST(Parameters, TempoRecomputesEveryGate) {
    auto s = startedSynth();
    s->store.units[5].stepGate = 0.25f;
    onSliderScrolled(*s, kTempoSlider, 150);
    EXPECT_EQ(s->store.settings.tempoBpm, 150);
    EXPECT_EQ(s->store.units[0].gateSamples, gateSamplesFor(0.95f, 4410));
    EXPECT_EQ(s->store.units[1].gateSamples, 3969);
    EXPECT_EQ(s->store.units[5].gateSamples, 1102);
}

TEST(Links, SettersFollowTheCurrentUnitsRowOnly) {
    auto s = startedSynth();
    addUnit(*s);
    addUnit(*s);
    // Only the diagonal: a setter writes exactly the current unit.
    onSliderScrolled(*s, 1011, 100);
    EXPECT_EQ(s->store.units[0].cutoff, 16384);
    EXPECT_EQ(s->store.units[1].cutoff, 0);

    EXPECT_EQ(onLinkClicked(*s, kFirstLinkButton + 1), kLinkOn);
    onSliderScrolled(*s, 1011, 0);
    EXPECT_EQ(s->store.units[0].cutoff, 1);
    EXPECT_EQ(s->store.units[1].cutoff, 1);
    EXPECT_EQ(s->store.units[2].cutoff, 0);

    // One way: from unit 1 the same slider writes unit 1 only.
    selectUnit(*s, 1);
    EXPECT_EQ(linkButtonState(*s, 1), kLinkOwn);
    EXPECT_EQ(linkButtonState(*s, 0), kLinkOff);
    onSliderScrolled(*s, 1011, 50);
    EXPECT_EQ(s->store.units[0].cutoff, 1);
    EXPECT_EQ(s->store.units[1].cutoff, 8192);

    // The own button changes nothing; another button flips back.
    EXPECT_EQ(onLinkClicked(*s, kFirstLinkButton + 1), kLinkOwn);
    EXPECT_EQ(s->store.unitLinks[1][1], 1);
    selectUnit(*s, 0);
    EXPECT_EQ(onLinkClicked(*s, kFirstLinkButton + 1), kLinkOff);
    EXPECT_EQ(s->store.unitLinks[0][1], 0);
}

TEST(Links, StepGateSetsBothGatesWhicheverUnitIsCurrent) {
    for (int current : {0, 1}) {
        auto s = startedSynth();
        addUnit(*s);
        selectUnit(*s, current);
        onLinkClicked(*s, kFirstLinkButton + (1 - current));
        onSliderScrolled(*s, 1064, 50);
        for (int u = 0; u < 2; ++u) {
            EXPECT_EQ(s->store.units[u].stepGate, 0.5f);
            EXPECT_EQ(s->store.units[u].gateSamples, 8268 / 2);
        }
    }
}

TEST(SideEffects, WaveformsRestartBothOscillators) {
    auto s = startedSynth();
    testing::renderFrames(*s, 1000);
    onSliderScrolled(*s, 1017, 50);  // Phase: osc2Phase 128
    EXPECT_EQ(s->engine.voices[0].osc1Accum, 0);
    EXPECT_EQ(s->engine.voices[0].osc2Accum, 128 * 8192);
    testing::renderFrames(*s, 1000);
    ASSERT_NE(s->engine.voices[0].osc1Accum, 0);
    EXPECT_TRUE(onChoiceClicked(*s, 1043));  // oscillator 2 "Sine"
    EXPECT_EQ(s->store.units[0].osc2Table.load(), s->tables.sineTable);
    EXPECT_EQ(s->engine.voices[0].osc1Accum, 0) << "a click on oscillator 2 restarts oscillator 1 too";
    EXPECT_EQ(s->engine.voices[0].osc2Accum, 128 * 8192);
    EXPECT_TRUE(isChoiceChecked(*s, 1043));
    EXPECT_FALSE(isChoiceChecked(*s, 1041));
    // A code outside 0..4 is stored and keeps the table.
    setOsc1Wave(*s, 7);
    EXPECT_EQ(s->store.units[0].osc1Wave, 7);
    EXPECT_EQ(s->store.units[0].osc1Table.load(), s->tables.sawTable);
}

TEST(SideEffects, FilterModeClearsTheMemoriesOfWrittenUnits) {
    auto s = startedSynth();
    addUnit(*s);
    testing::applyStartupLikeSettings(*s, 1);
    onLinkClicked(*s, kFirstLinkButton + 1);
    onChoiceClicked(*s, 1203);  // Lo24
    testing::renderFrames(*s, 3000);
    ASSERT_NE(s->engine.voices[1].filterZ1, 0);
    onChoiceClicked(*s, 1206);  // Bypass: the memories are cleared ...
    EXPECT_EQ(s->engine.voices[1].filterZ1, 0);
    testing::renderFrames(*s, 3000);
    EXPECT_EQ(s->engine.voices[0].filterY1, 0) << "... and Bypass leaves them alone";
    onChoiceClicked(*s, 1202);
    EXPECT_TRUE(isChoiceChecked(*s, 1202));
}

TEST(Controls, ChoicesSyncAndDistortionPair) {
    auto s = startedSynth();
    EXPECT_TRUE(isChoiceChecked(*s, 1030));
    EXPECT_TRUE(isChoiceChecked(*s, 1202));
    EXPECT_TRUE(isChoiceChecked(*s, 1036));
    EXPECT_TRUE(isChoiceChecked(*s, 1046));
    EXPECT_TRUE(isChoiceChecked(*s, 1200));
    onChoiceClicked(*s, 1040);
    EXPECT_EQ(s->store.units[0].lfoTarget, 2);
    onChoiceClicked(*s, 1047);
    EXPECT_EQ(s->store.units[0].lfoWave, 1);
    onChoiceClicked(*s, 1201);
    EXPECT_EQ(s->store.units[0].distMode, 2);
    s->store.units[0].distMode = 0;
    EXPECT_TRUE(isChoiceChecked(*s, 1201)) << "any mode but 1 shows B";
    EXPECT_FALSE(onChoiceClicked(*s, 999));

    EXPECT_EQ(onSyncClicked(*s), 1u);
    EXPECT_EQ(s->store.units[0].oscSync, 1u);
    EXPECT_EQ(onSyncClicked(*s), 0u);
    s->store.units[0].oscSync = 5;
    EXPECT_EQ(onSyncClicked(*s), 0u);

    EXPECT_TRUE(onSliderScrolled(*s, 1067, 10)) << "Sus Lvl redraws the envelope";
    EXPECT_TRUE(onSliderScrolled(*s, kAttackSlider, 10));
    EXPECT_FALSE(onSliderScrolled(*s, 1011, 10));
    EXPECT_FALSE(onSliderScrolled(*s, 4242, 10));
}

TEST(Getters, HostileValuesStayDefined) {
    auto s = startedSynth();
    UnitRecord& r = s->store.units[0];
    r.cutoff = INT32_MIN;
    r.resonance = INT32_MAX;
    r.osc1Coarse = INT32_MAX;
    r.volume = INT32_MIN;
    r.sustainLevel = INT32_MAX;
    r.attack = 0.0;
    r.release = -1.0;
    r.lfoSpeed = std::nan("");
    s->store.settings.delayPan = INT32_MAX;
    int count = 0;
    const SliderSpec* sliders = mainWindowSliders(&count);
    for (int i = 0; i < count; ++i) sliderRefreshPosition(*s, sliders[i].id);
    getPan(*s);
    getFeedback(*s);
    SUCCEED() << "the sanitizer build checks these for undefined behaviour";
}

}  // namespace
}  // namespace velmor
