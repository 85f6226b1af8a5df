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
    EXPECT_EQ(std::vector<int>(t.even.offsets, t.even.offsets + 13), (std::vector<int>{1, 4, 6, 8, 9, 11, 5, 10, 2, 3, 7, 12, 0}));
    EXPECT_EQ(std::vector<int>(t.odd.offsets, t.odd.offsets + 13), (std::vector<int>{1, 0, 4, 6, 8, 9, 11, 5, 10, 2, 3, 7, 12}));
    const int evenCumulative[] = {1, 2, 3, 4, 6, 8, 13, 23, 33, 53, 73, 113, 213};
    const int oddCumulative[] = {1, 2, 3, 4, 5, 6, 7, 9, 19, 29, 49, 69, 89};
    for (int k = 0; k < 13; ++k)
        EXPECT_TRUE(std::abs(t.even.weights[k] * 213 - evenCumulative[k]) < 1e-9 && std::abs(t.odd.weights[k] * 89 - oddCumulative[k]) < 1e-9) << k;
    // The draw r = 0..32767 at both ends and counted over all values.
    EXPECT_EQ((std::vector<int>{randomPitch(t.even, 0), randomPitch(t.odd, 32767), randomPitch(t.even, 32767)}), (std::vector<int>{25, 36, 24}));
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
    s->score.doc.stepNoteOn[3] = 0, s->score.doc.stepSlide[5] = 1;
    generateRandomPattern(*s, 12345);
    CrtRand g;
    srand(g, 12345);
    for (int i = 0; i < 16; i += 2) EXPECT_EQ(s->score.doc.stepPitch[i], randomPitch(s->randomNotes.even, rand(g)));
    for (int i = 1; i < 16; i += 2) EXPECT_EQ(s->score.doc.stepPitch[i], randomPitch(s->randomNotes.odd, rand(g)));
    EXPECT_EQ(std::pair(s->score.doc.stepNoteOn[3], s->score.doc.stepSlide[5]), (std::pair<uint8_t, uint8_t>(0, 1)));
}

TEST(StepEditor, NamesPositionsTransposeAndShift) {
    // Clamped beyond 3..51.
    EXPECT_EQ(std::string(noteName(3)) + noteName(24) + noteName(15) + noteName(51) + noteName(-20) + noteName(90), "C1A2C2C5C1C5");
    EXPECT_EQ(std::pair(pitchSliderPosition(3), pitchSliderPosition(100)), std::pair(48, 0));

    auto s = testing::startedSynth();
    addUnit(*s);
    selectUnit(*s, 1);
    int8_t* p = &s->score.doc.stepPitch[stepIndex(1, 0, 0)];
    setStepPitchFromSlider(*s, 0, 27);
    EXPECT_EQ(p[0], 24);
    EXPECT_EQ((std::vector<int>{toggleStepNoteOn(*s, 2), toggleStepNoteOn(*s, 2), toggleStepSlide(*s, 15)}), (std::vector<int>{0, 1, 1}));
    p[0] = 50, p[1] = 51, p[2] = 3;
    transposePattern(*s, -1);
    EXPECT_EQ((std::vector<int8_t>(p, p + 3)), (std::vector<int8_t>{51, 51, 4})) << "held at the top";
    transposePattern(*s, 1);
    EXPECT_EQ((std::vector<int8_t>(p, p + 3)), (std::vector<int8_t>{50, 50, 3}));
    for (int i = 0; i < 16; ++i) p[i] = static_cast<int8_t>(10 + i);
    shiftPattern(*s, -1);
    EXPECT_EQ(std::pair(p[0], p[1]), (std::pair<int8_t, int8_t>(25, 10))) << "right: step 15's pitch moves to step 0";
    shiftPattern(*s, 1);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(p[i], 10 + i);
    // Switches stay in place; only the current unit.
    EXPECT_EQ(std::pair(int{s->score.doc.stepSlide[stepIndex(1, 0, 15)]}, int{s->score.doc.stepPitch[stepIndex(0, 0, 0)]}), std::pair(1, 15));
}

TEST(PatternClipboard, CopiesBetweenUnitsAndPastesRestsBeforeAnyCopy) {
    auto s = testing::startedSynth();
    addUnit(*s);
    Document& st = s->score.doc;
    selectUnit(*s, 1);
    st.stepSpare[stepIndex(1, 0, 2)] = 9;
    pastePattern(*s);  // before any copy: rests at pitch 15 without slides
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ((std::vector<int>{st.stepPitch[stepIndex(1, 0, i)], st.stepNoteOn[stepIndex(1, 0, i)], st.stepSlide[stepIndex(1, 0, i)]}),
                  (std::vector<int>{15, 0, 0}))
            << i;
    selectUnit(*s, 0);
    for (int i = 0; i < 16; ++i) st.stepPitch[i] = static_cast<int8_t>(3 + 3 * i), st.stepNoteOn[i] = i % 2, st.stepSlide[i] = i % 3 == 0;
    st.stepSpare[5] = 1;  // an accent
    copyPattern(*s);
    st.stepPitch[0] = 40;  // later edits are not in the clipboard
    selectUnit(*s, 1);
    pastePattern(*s);
    for (int i = 0; i < 16; ++i)
        EXPECT_TRUE(st.stepPitch[stepIndex(1, 0, i)] == 3 + 3 * i && st.stepNoteOn[stepIndex(1, 0, i)] == i % 2 &&
                    st.stepSlide[stepIndex(1, 0, i)] == (i % 3 == 0))
            << i;
    EXPECT_EQ(std::pair(st.stepSpare[stepIndex(1, 0, 2)], st.stepSpare[stepIndex(1, 0, 5)]), (std::pair<uint8_t, uint8_t>(8, 1)))
        << "of stepSpare only the accent bit travels";
    EXPECT_EQ(st.stepPitch[stepIndex(1, 1, 0)], 15) << "only the current pattern";
}

}  // namespace
}  // namespace velmor
