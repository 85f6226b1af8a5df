// The controls of the main window and the effects dialog: the value each
// position stores and the position the refresh shows again (read-back
// quirks included), the links between units, the setters' side effects and
// the dispatch of clicks.

#include <gtest/gtest.h>

#include <cmath>

#include "app/controls.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

using testing::startedSynth;

#define U(field) [](const Synth& s) -> double { return s.score.doc.units[0].field; }
#define G(field) [](const Synth& s) -> double { return s.score.doc.settings.field; }
#define D(field) [](const Synth& s) -> double { return s.score.derived.field; }

// The value each position stores and the position the slider shows after a
// refresh; the exponential rows (attack, release, LFO speed) to within their
// printed precision, and the refresh shows the position or the one below (-1).
TEST(Parameters, SliderValuesAndReadBacks) {
    // clang-format off
    const struct { int id, position; double (*stored)(const Synth&); double expected; int readBack; double tolerance = 0.0; } rows[] = {
        {1011, 0, U(cutoff), 1, 0},           {1011, 50, U(cutoff), 8192, 49},      {1011, 100, U(cutoff), 16384, 100},
        {1010, 0, U(resonance), 32767, 0},    {1010, 40, U(resonance), 19660, 41},  {1010, 100, U(resonance), 0, 100},
        {1012, 100, U(envAmount), 32000, 100}, {1027, 0, U(osc1Coarse), -12, 0},    {1027, 49, U(osc1Coarse), -1, 45},
        {1028, 100, U(osc2Coarse), 12, 100},  {1013, 50, U(osc1Fine), 0, 50},      {1021, 0, U(osc2Fine), -128, 0},
        {1016, 50, U(oscMix), 128, 50},       {1017, 100, U(osc2Phase), 256, 100}, {1801, 30, U(ringMod), 76, 29},
        {1800, 100, U(fmAmount), 256, 100},   {1074, 77, U(pulseWidth), 77, 77},   {1024, 100, U(delaySend[0]), 128, 100},
        {1023, 50, U(distWet), 64, 50},       {1022, 0, U(distThreshold), 9, 0},   {1022, 50, U(distThreshold), 5, 44},
        {1022, 100, U(distThreshold), 0, 100}, {1065, 100, U(sustainTime), 441000, 100},
        {1065, 1, U(sustainTime), 4410, 1},   {1064, 95, U(stepGate), 0.95f, 94},  {1020, 100, U(lfoAmount), 256, 100},
        {1063, 70, U(decay), static_cast<float>(70 * 2.9999999999996697e-06 + 0.9997), 69},
        // The vertical "Volume" and "Sus Lvl" are inverted: the top is full.
        {1073, 0, U(volume), 128, 0},         {1073, 128, U(volume), 0, 128},      {1067, 0, U(sustainLevel), 32768, 0},
        {1067, 100, U(sustainLevel), 0, 100}, {1067, 75, U(sustainLevel), 8192, 75},
        {1072, 50, G(masterVolume), 128, 50}, {1018, 180, D(samplesPerStep), 3675, 180},
        {1018, 60, D(samplesPerStep), 11025, 60},
        {1062, 0, U(attack), 172144.7, -1, 0.05}, {1062, 20, U(attack), 23297.25, -1, 0.01},
        {1062, 100, U(attack), 7.8154, -1, 1e-4}, {1066, 0, U(release), 0.993024, -1, 1e-6},
        {1066, 10, U(release), 0.993720, -1, 1e-6}, {1066, 100, U(release), 1.0, -1},
        {1019, 0, U(lfoSpeed), std::exp(-3.5), -1, 1e-15}, {1019, 50, U(lfoSpeed), 1.0, -1},
        {1019, 100, U(lfoSpeed), 33.1, -1, 0.02}
    };
    // clang-format on
    for (const auto& c : rows) {
        auto s = startedSynth();
        onSliderScrolled(*s, c.id, c.position);
        EXPECT_NEAR(c.stored(*s), c.expected, c.tolerance) << "control " << c.id << " at " << c.position;
        const int back = sliderRefreshPosition(*s, c.id);
        EXPECT_TRUE(back == c.readBack || (c.readBack < 0 && (back == c.position || back == c.position - 1)))
            << "control " << c.id << " at " << c.position << " reads " << back;
    }
    // The slider ranges the window sets.
    int count = 0;
    const SliderControl* sliders = mainWindowSliders(&count);
    for (int i = 0; i < count; ++i) {
        const int id = sliders[i].id;
        const auto range = std::pair(parameterTraits(sliders[i].param).minimum, parameterTraits(sliders[i].param).maximum);
        EXPECT_EQ(range, id == kTempoSlider ? std::pair(60, 180) : id == kVolumeSlider ? std::pair(0, 128) : range) << id;
    }
    // Getters with values only a file can bring stay defined (the sanitizer
    // build checks them).
    auto s = startedSynth();
    UnitRecord& r = s->score.doc.units[0];
    r.cutoff = INT32_MIN, r.resonance = INT32_MAX, r.osc1Coarse = INT32_MAX, r.volume = INT32_MIN;
    r.sustainLevel = INT32_MAX, r.attack = 0.0, r.release = -1.0, r.lfoSpeed = std::nan("");
    s->score.doc.settings.delayPan = INT32_MAX;
    for (int i = 0; i < count; ++i) sliderRefreshPosition(*s, sliders[i].id);
    static_cast<void>(getCurrent(*s, Param::kPan) + getCurrent(*s, Param::kFeedback));
}

TEST(Parameters, EffectsRowsAndTheTempoOfEveryGate) {
    auto s = startedSynth();
    // clang-format off
    const struct { Param id; int position; double (*stored)(const Synth&); double expected; int readBack; } rows[] = {
        {Param::kDelaySteps, 0, G(delaySteps), 1, 0}, {Param::kDelaySteps, 1, G(delaySteps), 2, 1},
        {Param::kDelaySteps, 2, G(delaySteps), 4, 2}, {Param::kDelaySteps, 3, G(delaySteps), 6, 3},
        {Param::kDelaySteps, 4, G(delaySteps), 8, 4}, {Param::kFeedback, 100, G(delayFeedback), 128, 100},
        {Param::kFeedback, 85, G(delayFeedback), 108, 84}, {Param::kPan, 0, G(delayPan), -64, 0}
    };
    // clang-format on
    for (const auto& r : rows) {
        setLinked(*s, r.id, r.position);
        EXPECT_EQ(std::pair(r.stored(*s), getCurrent(*s, r.id)), std::pair(r.expected, r.readBack)) << r.position;
    }
    s->score.doc.settings.delaySteps = 3;
    EXPECT_EQ(getCurrent(*s, Param::kDelaySteps), 0) << "a step count that is none of the choices";

    s->score.doc.units[5].stepGate = 0.25f, onSliderScrolled(*s, kTempoSlider, 150);
    const UnitDerived* derived = s->score.derived.units;
    EXPECT_EQ((std::vector<int32_t>{s->score.doc.settings.tempoBpm, derived[0].gateSamples, derived[1].gateSamples, derived[5].gateSamples}),
              (std::vector<int32_t>{150, gateSamplesFor(0.95f, 4410), 3969, 1102}));
}

TEST(Links, SettersFollowTheCurrentUnitsRowOneWay) {
    auto s = startedSynth();
    addUnit(*s), addUnit(*s);
    onSliderScrolled(*s, 1011, 100);
    EXPECT_EQ(s->score.doc.units[1].cutoff, 0) << "only the diagonal: the current unit alone";
    EXPECT_EQ(onLinkClicked(*s, kFirstLinkButton + 1), kLinkOn);
    onSliderScrolled(*s, 1011, 0);
    const auto cutoffs = [&] {
        return std::vector<int32_t>{s->score.doc.units[0].cutoff, s->score.doc.units[1].cutoff, s->score.doc.units[2].cutoff};
    };
    EXPECT_EQ(cutoffs(), (std::vector<int32_t>{1, 1, 0}));
    // One way: from unit 1 the same slider writes unit 1 only.
    selectUnit(*s, 1);
    EXPECT_EQ(std::pair(linkButtonState(*s, 1), linkButtonState(*s, 0)), std::pair(kLinkOwn, kLinkOff));
    onSliderScrolled(*s, 1011, 50);
    EXPECT_EQ(cutoffs(), (std::vector<int32_t>{1, 8192, 0}));
    // The own button changes nothing; another button flips back.
    EXPECT_EQ(onLinkClicked(*s, kFirstLinkButton + 1), kLinkOwn);
    selectUnit(*s, 0);
    EXPECT_EQ(onLinkClicked(*s, kFirstLinkButton + 1), kLinkOff);
    EXPECT_EQ((std::vector<int>{s->score.doc.unitLinks[0][1], s->score.doc.unitLinks[1][1]}), (std::vector<int>{0, 1}));
    // Step Gate through a link sets both gates, whichever unit is current.
    for (int current : {0, 1}) {
        s = startedSynth();
        addUnit(*s), selectUnit(*s, current);
        onLinkClicked(*s, kFirstLinkButton + (1 - current));
        onSliderScrolled(*s, 1064, 50);
        const UnitDerived* derived = s->score.derived.units;
        EXPECT_EQ(std::pair(derived[0].gateSamples, derived[1].gateSamples), std::pair(4134, 4134)) << current;
    }
}

// Waves restart the oscillators, filter modes clear the memories; the
// choices, sync and slider dispatch.
TEST(Controls, SideEffectsChoicesSyncAndDispatch) {
    auto s = startedSynth();
    for (int id : {1030, 1202, 1036, 1046, 1200}) EXPECT_TRUE(isChoiceChecked(*s, id)) << id;
    testing::renderFrames(*s, 1000);
    const auto phases = [&] { return std::pair(int{s->engine.voices[0].osc1Accum}, int{s->engine.voices[0].osc2Accum}); };
    onSliderScrolled(*s, 1017, 50);  // Phase: osc2Phase 128
    EXPECT_EQ(phases(), std::pair(0, 128 * 8192));
    testing::renderFrames(*s, 1000);
    EXPECT_TRUE(onChoiceClicked(*s, 1043));  // oscillator 2 "Sine"
    EXPECT_TRUE(s->score.derived.units[0].osc2Table == 2 && !isChoiceChecked(*s, 1041));
    EXPECT_EQ(phases(), std::pair(0, 128 * 8192)) << "a click on oscillator 2 restarts oscillator 1 too";
    setLinked(*s, Param::kOsc1Wave, 7);  // a code outside 0..4 is stored and keeps the table
    EXPECT_TRUE(s->score.doc.units[0].osc1Wave == 7 && s->score.derived.units[0].osc1Table == 0);
    // clang-format off
    const struct { int id; double (*stored)(const Synth&); double expected; } clicks[] = {
        {1040, U(lfoTarget), 2}, {1038, U(lfoTarget), 1}, {1047, U(lfoWave), 1}, {1201, U(distMode), 2},
        {1034, U(osc1Wave), 4},  {1041, U(osc2Wave), 0},  {1205, U(filterMode), 3}};
    // clang-format on
    for (const auto& c : clicks) {
        EXPECT_TRUE(onChoiceClicked(*s, c.id));
        EXPECT_TRUE(c.stored(*s) == c.expected && isChoiceChecked(*s, c.id)) << c.id;
    }
    s->score.doc.units[0].distMode = 0;
    EXPECT_TRUE(isChoiceChecked(*s, 1201)) << "any mode but 1 shows B";
    EXPECT_FALSE(onChoiceClicked(*s, 999));
    for (uint32_t next : {1u, 0u}) EXPECT_TRUE(onSyncClicked(*s) == next && s->score.doc.units[0].oscSync == next) << next;
    s->score.doc.units[0].oscSync = 5;
    EXPECT_EQ(onSyncClicked(*s), 0u) << "any value but 0 counts as on";
    EXPECT_TRUE(onSliderScrolled(*s, kSustainLevelSlider, 10)) << "Sus Lvl redraws the envelope";
    EXPECT_TRUE(onSliderScrolled(*s, kAttackSlider, 10));
    EXPECT_FALSE(onSliderScrolled(*s, 1011, 10) || onSliderScrolled(*s, 4242, 10));

    addUnit(*s), testing::applyStartupLikeSettings(*s, 1);
    onLinkClicked(*s, kFirstLinkButton + 1);
    onChoiceClicked(*s, 1203);  // Lo24
    testing::renderFrames(*s, 3000);
    ASSERT_NE(s->engine.voices[1].filterZ1, 0);
    onChoiceClicked(*s, 1206);  // Bypass: the memories of both units are cleared, and stay so
    EXPECT_EQ(s->engine.voices[1].filterZ1, 0);
    testing::renderFrames(*s, 3000);
    EXPECT_EQ(s->engine.voices[0].filterY1, 0);
}

}  // namespace
}  // namespace velmor
