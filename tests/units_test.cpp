#include <gtest/gtest.h>

#include "model/controls.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

using testing::initialisedSynth;
using testing::startedSynth;

TEST(UnitInitialisation, GivesEverySlotItsStartValues) {
    auto s = initialisedSynth();
    ASSERT_NE(s->engine.delayBuffer, nullptr);
    ASSERT_NE(s->engine.unitBuffers, nullptr);
    for (int i = 0; i < kDelaySlots; ++i) ASSERT_EQ(s->engine.delayBuffer[i], 0);
    EXPECT_EQ(s->engine.delayPos, 0);
    EXPECT_EQ(s->store.settings.patternCount, 1);
    EXPECT_EQ(s->store.settings.songLength, 1);
    EXPECT_EQ(s->store.currentUnit, 0);
    for (int u = 0; u < kUnitSlots; ++u) {
        const UnitRecord& r = s->store.units[u];
        EXPECT_EQ(r.release, 0.995);
        EXPECT_EQ(r.decay, 0.9998f);
        EXPECT_EQ(r.attack, 10000.0);
        EXPECT_EQ(r.stepGate, 0.9f);
        EXPECT_EQ(r.osc1Table.load(), s->tables.sawTable);
        EXPECT_EQ(r.osc2Table.load(), s->tables.sawTable);
        for (int v = 0; v < kUnitSlots; ++v) EXPECT_EQ(s->store.unitLinks[u][v], u == v ? 1 : 0);
        for (int i = 0; i < kStepsPerSlot; ++i) {
            ASSERT_EQ(s->store.stepPitch[stepIndex(u, 0, i)], 15);
            ASSERT_EQ(s->store.stepNoteOn[stepIndex(u, 0, i)], 1);
            ASSERT_EQ(s->store.stepSlide[stepIndex(u, 0, i)], 0);
            ASSERT_EQ(s->store.stepSpare[stepIndex(u, 0, i)], 0);
        }
    }
    EXPECT_EQ(s->tables.noteStepTable[95], 13290) << "the tables are built";
}

TEST(StartUp, DefaultsReachUnitZeroOnly) {
    auto s = startedSynth();
    const Store& st = s->store;
    EXPECT_EQ(st.unitCount, 1);
    EXPECT_EQ(st.currentUnit, 0);
    EXPECT_EQ(s->engine.sequencerOn, 1);
    const UnitRecord& r = st.units[0];
    EXPECT_EQ(r.cutoff, 8192);
    EXPECT_EQ(r.resonance, 19660);
    EXPECT_EQ(r.envAmount, 16250);
    EXPECT_EQ(r.oscMix, 128);
    EXPECT_EQ(r.volume, 128);
    EXPECT_EQ(r.distThreshold, 9);
    EXPECT_EQ(r.distMode, 1);
    EXPECT_EQ(r.stepGate, 0.95f);
    EXPECT_EQ(r.gateSamples, 7854);
    EXPECT_EQ(r.fmAmount, 0);
    EXPECT_EQ(r.pulseWidth, 0);
    EXPECT_EQ(r.oscSync, 0u);
    EXPECT_EQ(st.settings.tempoBpm, 80);
    EXPECT_EQ(st.settings.samplesPerStep, 8268);
    EXPECT_EQ(st.settings.masterVolume, 128);
    EXPECT_EQ(st.settings.delaySteps, 2);
    EXPECT_EQ(st.settings.delayFeedback, 108);
    EXPECT_EQ(st.settings.delayPan, -32);
    for (int u = 1; u < kUnitSlots; ++u) {
        EXPECT_EQ(st.units[u].volume, 0);
        EXPECT_EQ(st.units[u].cutoff, 0);
        EXPECT_EQ(st.units[u].oscMix, 0);
        EXPECT_EQ(st.units[u].gateSamples, 7441);
    }
    // What the window shows right after start-up.
    EXPECT_EQ(sliderRefreshPosition(*s, 1011), 49);
    EXPECT_EQ(sliderRefreshPosition(*s, 1010), 41);
    EXPECT_EQ(sliderRefreshPosition(*s, 1063), 69);
    EXPECT_EQ(sliderRefreshPosition(*s, 1064), 94);
    EXPECT_EQ(sliderRefreshPosition(*s, kVolumeSlider), 0);
    EXPECT_EQ(sliderRefreshPosition(*s, kSustainLevelSlider), 100);
    EXPECT_EQ(getTempo(*s), 80);
    EXPECT_EQ(getFeedback(*s), 84);
    EXPECT_EQ(getDelaySteps(*s), 1);
    EXPECT_EQ(getPan(*s), 32);
    EXPECT_EQ(linkButtonState(*s, 0), kLinkOwn);
}

TEST(AddUnit, UpToFourSilentUnitsWithoutSelectingThem) {
    auto s = startedSynth();
    s->store.units[2].osc1Wave = 2;
    s->engine.voices[2].osc1Accum = 12345;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(addUnit(*s), 1);
    EXPECT_EQ(s->store.unitCount, 4);
    EXPECT_EQ(s->store.currentUnit, 0);
    EXPECT_EQ(s->store.units[2].osc1Table.load(), s->tables.sineTable) << "the new unit's own wave is applied";
    EXPECT_EQ(s->engine.voices[2].osc1Accum, 0);
    EXPECT_EQ(addUnit(*s), 0) << "Maximum # reached";
    EXPECT_EQ(s->store.unitCount, 4);
    // Fresh slots play silently until their volume is raised: the mix is
    // that of unit 0 alone.
    auto alone = startedSynth();
    EXPECT_EQ(testing::renderFrames(*s, 20000), testing::renderFrames(*alone, 20000));
}

TEST(DeleteUnit, MovesLaterUnitsDownByPasteAndTheFirstPatterns) {
    auto s = startedSynth();
    for (int i = 0; i < 3; ++i) addUnit(*s);
    Store& st = s->store;
    for (int u = 0; u < 4; ++u) {
        st.units[u].cutoff = 1000 + u;
        st.units[u].volume = 10 + u;
        st.units[u].pulseWidth = 50 + u;
        st.units[u].spareA = 70 + u;
        st.units[u].osc2Wave = static_cast<uint16_t>(u);
        for (int i = 0; i < 32; ++i) {
            st.stepPitch[stepIndex(u, 0, i)] = static_cast<int8_t>(u * 10 + i % 16);
            st.stepSpare[stepIndex(u, 0, i)] = static_cast<uint8_t>(u);
        }
    }
    selectUnit(*s, 1);
    EXPECT_EQ(deleteCurrentUnit(*s), 1);
    EXPECT_EQ(st.unitCount, 3);
    EXPECT_EQ(st.currentUnit, 0);
    for (int u = 1; u < 3; ++u) {
        EXPECT_EQ(st.units[u].cutoff, 1000 + u + 1);
        EXPECT_EQ(st.units[u].volume, 10 + u + 1);
        EXPECT_EQ(st.units[u].osc2Table.load(), waveTableFor(s->tables, static_cast<uint32_t>(u + 1)));
        EXPECT_EQ(st.units[u].pulseWidth, 50 + u) << "PW stays with its slot";
        EXPECT_EQ(st.units[u].spareA, 70u + u) << "spare fields stay with their slot";
        EXPECT_EQ(st.stepPitch[stepIndex(u, 0, 5)], (u + 1) * 10 + 5) << "pattern 0 moves";
        EXPECT_EQ(st.stepSpare[stepIndex(u, 0, 5)], u + 1);
        EXPECT_EQ(st.stepPitch[stepIndex(u, 1, 5)], u * 10 + 5) << "patterns beyond patternCount stay";
    }
    EXPECT_EQ(st.units[3].cutoff, 1003) << "the last slot keeps the old unit 3";
    EXPECT_EQ(st.units[0].cutoff, 1000);

    // With one unit left nothing happens.
    auto one = startedSynth();
    EXPECT_EQ(deleteCurrentUnit(*one), 0);
    EXPECT_EQ(one->store.unitCount, 1);
}

TEST(CopyPaste, PastesTheSourcesSettingsAtPasteTime) {
    auto s = startedSynth();
    addUnit(*s);
    Store& st = s->store;
    st.units[0].pulseWidth = 90;
    st.units[0].oscSync = 1;
    st.units[0].spareC = 3;
    copySettings(*s);
    onSliderScrolled(*s, 1011, 100);  // changed after the copy: pasted too
    onSliderScrolled(*s, 1064, 50);
    onChoiceClicked(*s, 1033);  // oscillator 1 "303 Saw"
    selectUnit(*s, 1);
    testing::renderFrames(*s, 500);
    pasteSettings(*s, st.settingsSource);
    const UnitRecord& r = st.units[1];
    EXPECT_EQ(r.cutoff, 16384);
    EXPECT_EQ(r.volume, 128);
    EXPECT_EQ(r.resonance, 19660);
    EXPECT_EQ(r.attack, st.units[0].attack);
    EXPECT_EQ(r.stepGate, 0.5f);
    EXPECT_EQ(r.gateSamples, 4134);
    EXPECT_EQ(r.osc1Table.load(), s->tables.saw303Table);
    EXPECT_EQ(s->engine.voices[1].osc1Accum, 0);
    EXPECT_EQ(r.pulseWidth, 0);
    EXPECT_EQ(r.oscSync, 0u);
    EXPECT_EQ(r.spareC, 0);

    // The current unit as its own source: only the phases restart.
    testing::renderFrames(*s, 500);
    const int32_t cutoff = r.cutoff;
    pasteSettings(*s, 1);
    EXPECT_EQ(r.cutoff, cutoff);
    EXPECT_EQ(s->engine.voices[1].osc1Accum, 0);
}

}  // namespace
}  // namespace velmor

namespace velmor {
namespace {

TEST(PatternClipboard, CopiesBetweenUnitsAndPastesRestsBeforeAnyCopy) {
    auto s = testing::startedSynth();
    addUnit(*s);
    Store& st = s->store;
    // Before any copy: rests at pitch 15 without slides.
    selectUnit(*s, 1);
    st.stepSpare[stepIndex(1, 0, 2)] = 9;
    pastePattern(*s);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(st.stepPitch[stepIndex(1, 0, i)], 15);
        EXPECT_EQ(st.stepNoteOn[stepIndex(1, 0, i)], 0);
        EXPECT_EQ(st.stepSlide[stepIndex(1, 0, i)], 0);
    }
    selectUnit(*s, 0);
    for (int i = 0; i < 16; ++i) {
        st.stepPitch[stepIndex(0, 0, i)] = static_cast<int8_t>(3 + 3 * i);
        st.stepNoteOn[stepIndex(0, 0, i)] = i % 2;
        st.stepSlide[stepIndex(0, 0, i)] = i % 3 == 0;
        st.stepSpare[stepIndex(0, 0, i)] = 7;
    }
    copyPattern(*s);
    st.stepPitch[stepIndex(0, 0, 0)] = 40;  // later edits are not in the clipboard
    selectUnit(*s, 1);
    pastePattern(*s);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(st.stepPitch[stepIndex(1, 0, i)], 3 + 3 * i);
        EXPECT_EQ(st.stepNoteOn[stepIndex(1, 0, i)], i % 2);
        EXPECT_EQ(st.stepSlide[stepIndex(1, 0, i)], i % 3 == 0);
    }
    EXPECT_EQ(st.stepSpare[stepIndex(1, 0, 2)], 9) << "stepSpare is neither copied nor pasted";
    EXPECT_EQ(st.stepPitch[stepIndex(1, 1, 0)], 15) << "only pattern currentPattern";
}

}  // namespace
}  // namespace velmor
