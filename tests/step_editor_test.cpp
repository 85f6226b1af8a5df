// The step editor's logic: the weighted random note tables and their draw,
// the random pattern, note names, slider positions, transposition and
// rotation; and the pattern clipboard.

#include <gtest/gtest.h>

#include "model/step_editor.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

TEST(RandomNotes, TablesDrawsAndTheRandomPattern) {
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
    // The draw r = 0..32767 at both ends and counted over all values.
    EXPECT_EQ(randomPitch(t.even, 0), 25);
    EXPECT_EQ(randomPitch(t.odd, 32767), 36);
    EXPECT_EQ(randomPitch(t.even, 32767), 24);
    int even[64] = {}, odd[64] = {};
    for (int r = 0; r < 32768; ++r) ++even[randomPitch(t.even, r)], ++odd[randomPitch(t.odd, r)];
    const int counts[][3] = {{24, 15384, 368}, {36, 6153, 7364}, {27, -1, 7364}, {31, -1, 7363}};
    for (const auto& [pitch, inEven, inOdd] : counts) {
        EXPECT_TRUE(inEven < 0 || even[pitch] == inEven) << pitch;
        EXPECT_EQ(odd[pitch], inOdd) << pitch;
    }

    // A random pattern: one seeding, the even steps first; the switches stay.
    auto s = testing::startedSynth();
    prepareRandomTables(s->randomNotes);
    s->score.doc.stepNoteOn[3] = 0;
    s->score.doc.stepSlide[5] = 1;
    generateRandomPattern(*s, 12345);
    CrtRand g;
    srand(g, 12345);
    for (int i = 0; i < 16; i += 2) EXPECT_EQ(s->score.doc.stepPitch[i], randomPitch(s->randomNotes.even, rand(g)));
    for (int i = 1; i < 16; i += 2) EXPECT_EQ(s->score.doc.stepPitch[i], randomPitch(s->randomNotes.odd, rand(g)));
    EXPECT_EQ(std::pair(s->score.doc.stepNoteOn[3], s->score.doc.stepSlide[5]), (std::pair<uint8_t, uint8_t>(0, 1)));
}

TEST(StepEditor, NamesPositionsTransposeAndShift) {
    const std::pair<int, const char*> names[] = {{3, "C1"}, {24, "A2"}, {15, "C2"}, {51, "C5"}, {-20, "C1"}, {90, "C5"}};
    for (const auto& [pitch, name] : names) EXPECT_EQ(noteName(pitch), name) << pitch;  // clamped beyond 3..51
    EXPECT_EQ(pitchSliderPosition(3), 48);
    EXPECT_EQ(pitchSliderPosition(100), 0);

    auto s = testing::startedSynth();
    addUnit(*s);
    selectUnit(*s, 1);
    int8_t* p = &s->score.doc.stepPitch[stepIndex(1, 0, 0)];
    setStepPitchFromSlider(*s, 0, 27);
    EXPECT_EQ(p[0], 24);
    EXPECT_EQ(toggleStepNoteOn(*s, 2), 0);
    EXPECT_EQ(toggleStepNoteOn(*s, 2), 1);
    EXPECT_EQ(toggleStepSlide(*s, 15), 1);
    p[0] = 50, p[1] = 51, p[2] = 3;
    transposePattern(*s, -1);
    EXPECT_EQ((std::vector<int8_t>(p, p + 3)), (std::vector<int8_t>{51, 51, 4})) << "held at the top";
    transposePattern(*s, 1);
    EXPECT_EQ((std::vector<int8_t>(p, p + 3)), (std::vector<int8_t>{50, 50, 3}));
    for (int i = 0; i < 16; ++i) p[i] = static_cast<int8_t>(10 + i);
    shiftPattern(*s, -1);
    EXPECT_EQ(p[0], 25) << "right: step 15's pitch moves to step 0";
    EXPECT_EQ(p[1], 10);
    shiftPattern(*s, 1);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(p[i], 10 + i);
    EXPECT_EQ(s->score.doc.stepSlide[stepIndex(1, 0, 15)], 1) << "switches stay in place";
    EXPECT_EQ(s->score.doc.stepPitch[stepIndex(0, 0, 0)], 15) << "only the current unit";
}

TEST(PatternClipboard, CopiesBetweenUnitsAndPastesRestsBeforeAnyCopy) {
    auto s = testing::startedSynth();
    addUnit(*s);
    Document& st = s->score.doc;
    selectUnit(*s, 1);
    st.stepSpare[stepIndex(1, 0, 2)] = 9;
    pastePattern(*s);  // before any copy: rests at pitch 15 without slides
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ((std::vector<int>{st.stepPitch[stepIndex(1, 0, i)], st.stepNoteOn[stepIndex(1, 0, i)],
                                    st.stepSlide[stepIndex(1, 0, i)]}), (std::vector<int>{15, 0, 0})) << i;
    selectUnit(*s, 0);
    for (int i = 0; i < 16; ++i) {
        st.stepPitch[i] = static_cast<int8_t>(3 + 3 * i);
        st.stepNoteOn[i] = i % 2;
        st.stepSlide[i] = i % 3 == 0;
    }
    st.stepSpare[5] = 1;  // an accent
    copyPattern(*s);
    st.stepPitch[0] = 40;  // later edits are not in the clipboard
    selectUnit(*s, 1);
    pastePattern(*s);
    for (int i = 0; i < 16; ++i)
        EXPECT_TRUE(st.stepPitch[stepIndex(1, 0, i)] == 3 + 3 * i && st.stepNoteOn[stepIndex(1, 0, i)] == i % 2 &&
                    st.stepSlide[stepIndex(1, 0, i)] == (i % 3 == 0)) << i;
    EXPECT_EQ(std::pair(st.stepSpare[stepIndex(1, 0, 2)], st.stepSpare[stepIndex(1, 0, 5)]), (std::pair<uint8_t, uint8_t>(8, 1)))
        << "of stepSpare only the accent bit travels";
    EXPECT_EQ(st.stepPitch[stepIndex(1, 1, 0)], 15) << "only the current pattern";
}

}  // namespace
}  // namespace velmor
