// The start-up tables at known values, their symmetries, the runtime's
// random generator and the user wave's loading.

#include <gtest/gtest.h>

#include "files/user_wave.h"
#include "support/memory_files.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

TEST(Tables, QuotedValuesAndShapes) {
    auto s = testing::initialisedSynth();
    const Tables& t = s->tables;
    // clang-format off
    const struct { const WaveSample* table; int index, value; } waves[] = {
        {t.sawTable, 0, -32767},    {t.sawTable, 512, 0},         {t.sawTable, 1023, 32703},
        {t.saw303Table, 0, -32768}, {t.saw303Table, 852, 31852},  {t.squareTable, 395, 32767},
        {t.squareTable, 396, 32766}, {t.squareTable, 511, -30553}, {t.squareTable, 512, -32767},
        {t.sineTable, 0, 0},        {t.sineTable, 256, 32767},    {t.sineTable, 768, -32767},
        // The first draws of the runtime generator from its start are 41, 18467, 6334.
        {s->score.doc.userWave, 0, 32767 - 41 * 65535 / 32767}, {s->score.doc.userWave, 2, 32767 - 6334 * 65535 / 32767}
    };
    // clang-format on
    for (const auto& w : waves) EXPECT_EQ(w.table[w.index], w.value) << w.index;
    for (int i = 0; i < 396; ++i) ASSERT_EQ(t.squareTable[i], 32767) << i;
    for (int k = 0; k < 512; ++k) ASSERT_EQ(t.squareTable[512 + k], -t.squareTable[k]) << k;
    for (int i = 853; i < 1024; ++i) ASSERT_EQ(t.saw303Table[i], -32768) << i;

    // The first octave, the start-up note, the top of the steps and of the fine steps.
    const int notes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 15, 51, 95};
    std::vector<int> steps;
    for (int n : notes) steps.push_back(t.noteStepTable[n]);
    steps.push_back(t.fineStepTable[767]);
    EXPECT_EQ(steps, (std::vector<int>{55, 58, 62, 65, 69, 73, 78, 82, 87, 92, 98, 104, 110, 131, 1047, 13290, 13979}));
    for (int n = 0; n < 96; ++n) ASSERT_EQ(t.fineStepTable[8 * n], t.noteStepTable[n]) << n;
    EXPECT_EQ((std::vector<int>{t.filterSinTable[0], t.filterCosTable[0], t.filterSinTable[15], t.filterCosTable[15], t.filterSinTable[127],
                                t.filterCosTable[127], t.filterSinTable[kFilterGrid - 1], t.filterCosTable[kFilterGrid - 1]}),
              (std::vector<int>{46, 8191, 97, 8191, 2759, -7713, 2759, -7713}));
}

TEST(Tables, DistortionCurves) {
    auto s = testing::initialisedSynth();
    const Tables& t = s->tables;
    // The distortion stage's read of a curve at unit sample a.
    const auto at = [](const int32_t* row, int32_t a) { return row[16384 + (a >> 1)]; };
    for (const auto* family : {t.distCurvesA, t.distCurvesB})
        for (int row = 0; row < kDistRows; ++row) {
            EXPECT_EQ(at(family[row], 1), 0) << row;
            EXPECT_EQ(at(family[row], -2), 0) << row;
            // Odd symmetry about the point between entries 16383 and 16384.
            for (int j = 0; j < 16384; ++j) ASSERT_EQ(family[row][16384 + j], -family[row][16383 - j]) << row;
            // Rows grow milder from 0 to 9.
            EXPECT_TRUE(row == 0 || at(family[row], 4096) < at(family[row - 1], 4096)) << row;
        }
    EXPECT_EQ((std::vector<int32_t>{at(t.distCurvesA[0], 4096), at(t.distCurvesA[9], 4096), at(t.distCurvesB[0], 4096), at(t.distCurvesB[9], 4096),
                                    at(t.distCurvesA[0], -4096), at(t.distCurvesB[0], 32767)}),
              (std::vector<int32_t>{10213, 4603, 10474, 4095, -10211, 12895}));
}

TEST(Tables, RuntimeRandomAndUserWave) {
    CrtRand g;
    const int first = rand(g), second = rand(g);
    srand(g, 12345);
    EXPECT_EQ((std::vector<int>{first, second, rand(g)}),
              (std::vector<int>{41, 18467, static_cast<int>(((12345u * 214013u + 2531011u) >> 16) & 0x7FFF)}));

    auto s = makeSynth();
    for (WaveSample& v : s->score.doc.userWave) v = 7;
    const std::string path = testing::tempPath("user_wave.raw");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose((std::fwrite("\x01\x00\xFF\xFF\x00\x80\x34", 1, 7, f), f));  // 1, -1, -32768 and an odd byte
    EXPECT_EQ(loadUserWave(*s, path.c_str()), 1);
    EXPECT_EQ(std::vector<int>(s->score.doc.userWave, s->score.doc.userWave + 5), (std::vector<int>{1, -1, -32768, 7, 7}));
    EXPECT_EQ(loadUserWave(*s, (path + ".missing").c_str()), 0);
    EXPECT_EQ(s->score.doc.userWave[0], 1);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace velmor
