#include <gtest/gtest.h>

#include "support/test_synth.h"

namespace velmor {
namespace {

using testing::applyStartupLikeSettings;
using testing::initialisedSynth;
using testing::renderFrames;

TEST(ResetEngine, RearmsVoicesAndClockButKeepsPhasesDelayAndMeters) {
    auto s = initialisedSynth();
    applyStartupLikeSettings(*s);
    s->store.units[0].filterMode = 1;
    s->store.units[0].delaySend[0] = 128;
    renderFrames(*s, 20000);
    const UnitVoice& v = s->engine.voices[0];
    const int32_t osc1 = v.osc1Accum, osc2 = v.osc2Accum, lfo = v.lfoAccum, sustain = v.sustainCounter;
    const int32_t pos = s->engine.delayPos;
    const uint16_t level = s->engine.levelLeft;
    ASSERT_NE(v.filterZ1, 0);
    ASSERT_NE(s->engine.currentStep, 0);

    resetEngine(*s);
    for (const UnitVoice& w : s->engine.voices) {
        EXPECT_EQ(w.envStage, 0);
        EXPECT_EQ(w.envLevel, 1);
        for (int32_t m : {w.filterX1.load(), w.filterX2.load(), w.filterY1.load(), w.filterY2.load(), w.filterW1.load(),
                          w.filterW2.load(), w.filterZ1.load(), w.filterZ2.load()})
            EXPECT_EQ(m, 0);
    }
    EXPECT_EQ(s->engine.currentStep, 0);
    EXPECT_EQ(s->engine.stepTick, 0);
    EXPECT_EQ(v.osc1Accum, osc1);
    EXPECT_EQ(v.osc2Accum, osc2);
    EXPECT_EQ(v.lfoAccum, lfo);
    EXPECT_EQ(v.sustainCounter, sustain);
    EXPECT_EQ(s->engine.delayPos, pos);
    EXPECT_EQ(s->engine.levelLeft, level);
    bool delayHoldsSound = false;
    for (int i = 0; i < kDelaySlots; ++i) delayHoldsSound |= s->engine.delayBuffer[i] != 0;
    EXPECT_TRUE(delayHoldsSound) << "after Stop and Play the delay's old contents still sound";
}

TEST(RefreshAfterLoad, RenewsTimingWavesPhasesAndEnvelopesOfUnitsInUse) {
    auto s = initialisedSynth();
    applyStartupLikeSettings(*s, 0);
    applyStartupLikeSettings(*s, 1);
    renderFrames(*s, 5000);

    // What a loader writes directly into the store.
    Store& st = s->store;
    st.unitCount = 2;
    st.settings.tempoBpm = 150;
    st.units[0].osc1Wave = 3;
    st.units[0].osc2Wave = 9;  // not a wave: the table stays as it was
    st.units[1].osc1Wave = 4;
    st.units[1].osc2Wave = 2;
    st.units[1].osc2Phase = 256;
    st.units[1].stepGate = 0.5f;
    st.unitLinks[1][2] = 1;  // unit 1's row also links slot 2
    st.currentUnit = 1;

    refreshAfterLoad(*s);
    EXPECT_EQ(st.currentUnit, 0);
    EXPECT_EQ(st.settings.samplesPerStep, 4410);
    EXPECT_EQ(st.units[1].gateSamples, 2205);
    EXPECT_EQ(st.units[0].osc1Table.load(), s->tables.saw303Table);
    EXPECT_EQ(st.units[0].osc2Table.load(), s->tables.sawTable);
    EXPECT_EQ(st.units[1].osc1Table.load(), s->tables.userTable);
    EXPECT_EQ(st.units[1].osc2Table.load(), s->tables.sineTable);
    EXPECT_EQ(st.units[2].osc1Table.load(), s->tables.userTable) << "linked units follow the setters";
    EXPECT_EQ(st.units[2].osc2Wave, 2);
    EXPECT_EQ(s->engine.voices[1].osc1Accum, 0);
    EXPECT_EQ(s->engine.voices[1].osc2Accum, 256 * 8192);
    for (int u = 0; u < 2; ++u) {
        EXPECT_EQ(s->engine.voices[u].envStage, 0);
        EXPECT_EQ(s->engine.voices[u].envLevel, 1);
    }
}

}  // namespace
}  // namespace velmor
