// The life of the unit slots: initialisation, the start-up state, adding,
// deleting, copying and pasting units, and the release of the buffers.

#include <gtest/gtest.h>

#include <cmath>

#include "app/controls.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

TEST(Units, InitialisationGivesEverySlotItsStartValues) {
    auto s = testing::initialisedSynth();
    ASSERT_TRUE(s->engine.unitBuffers != nullptr && s->engine.delayBuffer != nullptr);
    EXPECT_EQ(std::vector<int32_t>(s->engine.delayBuffer.get(), s->engine.delayBuffer.get() + kDelaySlots), std::vector<int32_t>(kDelaySlots));
    EXPECT_EQ(std::pair(s->score.doc.settings.patternCount, s->score.doc.settings.songLength), std::pair(1, 1));
    for (int u = 0; u < kUnitSlots; ++u) {
        const UnitRecord& r = s->score.doc.units[u];
        EXPECT_TRUE(r.release == 0.995 && r.decay == 0.9998f && r.attack == 10000.0 && r.stepGate == 0.9f && r.sustainTime == 0 &&
                    r.sustainLevel == 0 && s->score.derived.units[u].osc1Table == 0 && s->score.derived.units[u].osc2Table == 0)
            << u;
        for (int v = 0; v < kUnitSlots; ++v) EXPECT_EQ(s->score.doc.unitLinks[u][v], u == v ? 1 : 0);
        const Document& d = s->score.doc;
        for (int i = stepIndex(u, 0, 0); i < stepIndex(u, 0, kStepsPerSlot); ++i)
            ASSERT_EQ((std::vector<int>{d.stepPitch[i], d.stepNoteOn[i], d.stepSlide[i], d.stepSpare[i]}), (std::vector<int>{15, 1, 0, 0}))
                << u << " " << i;
    }
    releaseBuffers(*s);
    EXPECT_TRUE(s->engine.unitBuffers == nullptr && s->engine.delayBuffer == nullptr);
}

TEST(Units, StartUpDefaultsReachUnitZeroOnly) {
    auto s = testing::startedSynth();
    const Document& st = s->score.doc;
    const Derived& d = s->score.derived;
    const UnitRecord& r = st.units[0];
    const EngineSettings& g = st.settings;
    // clang-format off
    const int32_t values[][2] = {
        {st.unitCount, 1},         {r.cutoff, 8192},        {r.resonance, 19660},
        {r.envAmount, 16250},      {r.oscMix, 128},             {r.volume, 128},         {r.distThreshold, 9},
        {r.distMode, 1},           {r.distWet, 0},              {d.units[0].gateSamples, 7854},   {r.fmAmount, 0},
        {r.pulseWidth, 0},         {g.tempoBpm, 80},            {d.samplesPerStep, 8268}, {g.masterVolume, 128},
        {g.delaySteps, 2},         {g.delayFeedback, 108},      {g.delayPan, -32},       {static_cast<int32_t>(r.oscSync), 0},
        {linkButtonState(*s, 0), kLinkOwn}};
    // clang-format on
    for (size_t i = 0; i < std::size(values); ++i) EXPECT_EQ(values[i][0], values[i][1]) << "value " << i;
    EXPECT_EQ(r.stepGate, 0.95f);
    EXPECT_NEAR(r.lfoSpeed, std::exp(-3.5), 1e-12);
    for (int u = 1; u < kUnitSlots; ++u) {
        EXPECT_EQ((std::vector<int32_t>{st.units[u].volume, st.units[u].cutoff, st.units[u].oscMix}), std::vector(3, 0)) << u;
        EXPECT_EQ(d.units[u].gateSamples, 7441);
    }
}

TEST(Units, AddUpToFourSilentUnitsWithoutSelectingThem) {
    auto s = testing::startedSynth();
    s->score.doc.units[2].osc1Wave = 2;
    s->engine.voices[2].osc1Accum = 12345;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(addUnit(*s), i < 3 ? 1 : 0) << "Maximum # reached at " << i;
    // The new unit's own wave is applied, its oscillators restarted.
    EXPECT_EQ(
        (std::vector<int>{s->score.doc.unitCount, s->selection.currentUnit, s->score.derived.units[2].osc1Table, s->engine.voices[2].osc1Accum}),
        (std::vector<int>{4, 0, 2, 0}));
    // Fresh slots play silently until their volume is raised.
    EXPECT_EQ(testing::renderFrames(*s, 20000), testing::renderFrames(*testing::startedSynth(), 20000));
}

TEST(Units, DeleteMovesLaterUnitsDownByPasteAndTheFirstPatterns) {
    auto s = testing::startedSynth();
    for (int i = 0; i < 3; ++i) addUnit(*s);
    Document& st = s->score.doc;
    for (int u = 0; u < 4; ++u) {
        UnitRecord& r = st.units[u];
        r.cutoff = 1000 + u, r.pulseWidth = 50 + u, r.spareA = 70 + u, r.osc2Wave = static_cast<uint16_t>(u);
        for (int p = 0; p < 2; ++p) st.stepPitch[stepIndex(u, p, 5)] = static_cast<int8_t>(u * 10 + 5);
        st.stepSpare[stepIndex(u, 0, 5)] = static_cast<uint8_t>(u);
    }
    selectUnit(*s, 1);
    EXPECT_EQ(deleteCurrentUnit(*s), 1);
    EXPECT_EQ(std::pair(st.unitCount, s->selection.currentUnit), std::pair(3, 0));
    // PW and the spare fields stay with their slot; pattern 0 moves, patterns beyond patternCount stay.
    for (int u = 1; u < 3; ++u)
        EXPECT_EQ((std::vector<int64_t>{st.units[u].cutoff, s->score.derived.units[u].osc2Table, st.units[u].pulseWidth, st.units[u].spareA,
                                        st.stepPitch[stepIndex(u, 0, 5)], st.stepSpare[stepIndex(u, 0, 5)], st.stepPitch[stepIndex(u, 1, 5)]}),
                  (std::vector<int64_t>{1000 + u + 1, u + 1, 50 + u, 70 + u, (u + 1) * 10 + 5, u + 1, u * 10 + 5}))
            << u;
    EXPECT_EQ(std::pair(st.units[0].cutoff, st.units[3].cutoff), std::pair(1000, 1003)) << "the last slot keeps the old unit 3";
    auto one = testing::startedSynth();
    EXPECT_EQ((std::pair{deleteCurrentUnit(*one), int{one->score.doc.unitCount}}), std::pair(0, 1)) << "with one unit left nothing happens";
}

TEST(Units, PasteTakesTheSourcesSettingsAtPasteTime) {
    auto s = testing::startedSynth();
    addUnit(*s);
    Document& st = s->score.doc;
    st.units[0].pulseWidth = 90, st.units[0].oscSync = 1, st.units[0].midiChannel = 3;
    UnitRecord& a = st.units[0];  // every other setting the paste covers, with a value of its own
    a.filterMode = 3, a.lfoAmount = 77, a.lfoTarget = 2, a.lfoWave = 1, a.ringMod = 55, a.fmAmount = 66, a.envAmount = 999;
    a.distMode = 2, a.distWet = 33, a.distThreshold = 4, a.osc1Coarse = 5, a.osc2Fine = -7, a.oscMix = 200, a.sustainTime = 4410;
    copySettings(*s);
    onSliderScrolled(*s, 1011, 100);  // changed after the copy: pasted too
    onSliderScrolled(*s, 1064, 50);
    onChoiceClicked(*s, 1033);  // oscillator 1 "303 Saw"
    selectUnit(*s, 1), testing::renderFrames(*s, 500);
    pasteSettings(*s, s->selection.settingsSource);
    const UnitRecord& r = st.units[1];
    EXPECT_TRUE(r.cutoff == 16384 && r.volume == 128 && r.resonance == 19660 && r.attack == st.units[0].attack);
    const UnitDerived& derived = s->score.derived.units[1];
    EXPECT_TRUE(r.stepGate == 0.5f && derived.gateSamples == 4134 && derived.osc1Table == 3);
    EXPECT_TRUE(r.filterMode == 3 && r.lfoAmount == 77 && r.lfoTarget == 2 && r.lfoWave == 1 && r.ringMod == 55 && r.fmAmount == 66 &&
                r.envAmount == 999 && r.distMode == 2 && r.distWet == 33 && r.distThreshold == 4 && r.osc1Coarse == 5 && r.osc2Fine == -7 &&
                r.oscMix == 200 && r.sustainTime == 4410);
    EXPECT_EQ((std::vector<int32_t>{s->engine.voices[1].osc1Accum, r.pulseWidth, static_cast<int32_t>(r.oscSync), r.midiChannel}),
              std::vector<int32_t>(4, 0))
        << "restarted; not settings that paste";
    // A source beyond the slots reads the last one.
    st.units[kUnitSlots - 1].cutoff = 777;
    pasteSettings(*s, 100);
    EXPECT_EQ(r.cutoff, 777);
    // The current unit as its own source: only the phases restart.
    testing::renderFrames(*s, 500);
    const int32_t cutoff = r.cutoff;
    pasteSettings(*s, 1);
    EXPECT_EQ(std::pair(r.cutoff, s->engine.voices[1].osc1Accum), std::pair(cutoff, 0));
}

}  // namespace
}  // namespace velmor
