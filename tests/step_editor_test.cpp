#include <gtest/gtest.h>

#include "model/step_editor.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

TEST(RandomTables, PreparationGivesTheKnownOrderAndSums) {
    RandomNoteTables t;
    prepareRandomTables(t);
    const int evenOffsets[] = {1, 4, 6, 8, 9, 11, 5, 10, 2, 3, 7, 12, 0};
    const int evenCumulative[] = {1, 2, 3, 4, 6, 8, 13, 23, 33, 53, 73, 113, 213};
    const int oddOffsets[] = {1, 0, 4, 6, 8, 9, 11, 5, 10, 2, 3, 7, 12};
    const int oddCumulative[] = {1, 2, 3, 4, 5, 6, 7, 9, 19, 29, 49, 69, 89};
    for (int k = 0; k < 13; ++k) {
        EXPECT_EQ(t.even.offsets[k], evenOffsets[k]) << k;
        EXPECT_NEAR(t.even.weights[k] * 213, evenCumulative[k], 1e-9) << k;
        EXPECT_EQ(t.odd.offsets[k], oddOffsets[k]) << k;
        EXPECT_NEAR(t.odd.weights[k] * 89, oddCumulative[k], 1e-9) << k;
    }
    EXPECT_EQ(t.even.offsets[13], 0);
}

TEST(RandomTables, DrawMappingOverAllValues) {
    RandomNoteTables t;
    prepareRandomTables(t);
    EXPECT_EQ(randomPitch(t.even, 0), 25);
    EXPECT_EQ(randomPitch(t.odd, 0), 25);
    EXPECT_EQ(randomPitch(t.even, 32767), 24);
    EXPECT_EQ(randomPitch(t.odd, 32767), 36);
    int even[64] = {}, odd[64] = {};
    for (int r = 0; r < 32768; ++r) {
        ++even[randomPitch(t.even, r)];
        ++odd[randomPitch(t.odd, r)];
    }
    EXPECT_EQ(even[24], 15384);
    EXPECT_EQ(even[36], 6153);
    EXPECT_EQ(odd[36], 7364);
    EXPECT_EQ(odd[27], 7364);
    EXPECT_EQ(odd[31], 7363);
    EXPECT_EQ(odd[24], 368);
}

TEST(StepEditor, RandomPatternKeepsSwitchesAndStaysInRange) {
    auto s = testing::startedSynth();
    prepareRandomTables(s->randomNotes);
    s->store.stepNoteOn[3] = 0;
    s->store.stepSlide[5] = 1;
    generateRandomPattern(*s, 12345);
    CrtRand g;
    srand(g, 12345);
    for (int i = 0; i < 16; i += 2) EXPECT_EQ(s->store.stepPitch[i], randomPitch(s->randomNotes.even, rand(g)));
    for (int i = 1; i < 16; i += 2) EXPECT_EQ(s->store.stepPitch[i], randomPitch(s->randomNotes.odd, rand(g)));
    for (int i = 0; i < 16; ++i) {
        EXPECT_GE(s->store.stepPitch[i], 24);
        EXPECT_LE(s->store.stepPitch[i], 36);
    }
    EXPECT_EQ(s->store.stepNoteOn[3], 0);
    EXPECT_EQ(s->store.stepSlide[5], 1);
}

TEST(StepEditor, NamesPositionsTransposeAndShift) {
    EXPECT_EQ(noteName(3), "C1");
    EXPECT_EQ(noteName(24), "A2");
    EXPECT_EQ(noteName(51), "C5");
    EXPECT_EQ(noteName(15), "C2");
    EXPECT_EQ(noteName(-20), "C1") << "pitches from files are named by the clamped note";
    EXPECT_EQ(noteName(90), "C5");
    EXPECT_EQ(pitchSliderPosition(3), 48);
    EXPECT_EQ(pitchSliderPosition(51), 0);
    EXPECT_EQ(pitchSliderPosition(100), 0);

    auto s = testing::startedSynth();
    addUnit(*s);
    selectUnit(*s, 1);
    Relaxed<int8_t>* p = &s->store.stepPitch[stepIndex(1, 0, 0)];
    setStepPitchFromSlider(*s, 0, 27);
    EXPECT_EQ(p[0], 24);
    EXPECT_EQ(toggleStepNoteOn(*s, 2), 0);
    EXPECT_EQ(toggleStepNoteOn(*s, 2), 1);
    EXPECT_EQ(toggleStepSlide(*s, 15), 1);

    p[0] = 50;
    p[1] = 51;
    p[2] = 3;
    transposePattern(*s, -1);
    EXPECT_EQ(p[0], 51);
    EXPECT_EQ(p[1], 51);
    EXPECT_EQ(p[2], 4);
    transposePattern(*s, 1);
    EXPECT_EQ(p[0], 50);
    EXPECT_EQ(p[1], 50);
    transposePattern(*s, 0);
    EXPECT_EQ(p[0], 50);

    for (int i = 0; i < 16; ++i) p[i] = static_cast<int8_t>(10 + i);
    shiftPattern(*s, -1);
    EXPECT_EQ(p[0], 25) << "right: step 15's pitch moves to step 0";
    EXPECT_EQ(p[1], 10);
    shiftPattern(*s, 1);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(p[i], 10 + i);
    EXPECT_EQ(s->store.stepSlide[stepIndex(1, 0, 15)], 1) << "switches stay in place";
    EXPECT_EQ(s->store.stepPitch[stepIndex(0, 0, 0)], 15) << "only the current unit";
}

}  // namespace
}  // namespace velmor
