// The start-up tables at known values, their symmetries, the runtime's
// random generator and the user wave's loading.

#include <gtest/gtest.h>

#include "files/user_wave.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

TEST(Tables, QuotedValuesAndShapes) {
    auto s = testing::initialisedSynth();
    const Tables& t = s->tables;
    const struct { const WaveSample* table; int index, value; } waves[] = {
        {t.sawTable, 0, -32767},    {t.sawTable, 512, 0},         {t.sawTable, 1023, 32703},
        {t.saw303Table, 0, -32768}, {t.saw303Table, 852, 31852},  {t.squareTable, 395, 32767},
        {t.squareTable, 396, 32766}, {t.squareTable, 511, -30553}, {t.squareTable, 512, -32767},
        {t.sineTable, 0, 0},        {t.sineTable, 256, 32767},    {t.sineTable, 768, -32767},
        // The first draws of the runtime generator from its start are 41, 18467, 6334.
        {s->score.doc.userWave, 0, 32767 - 41 * 65535 / 32767}, {s->score.doc.userWave, 2, 32767 - 6334 * 65535 / 32767},
    };
    for (const auto& w : waves) EXPECT_EQ(w.table[w.index], w.value) << w.index;
    for (int i = 0; i < 396; ++i) ASSERT_EQ(t.squareTable[i], 32767) << i;
    for (int k = 0; k < 512; ++k) ASSERT_EQ(t.squareTable[512 + k], -t.squareTable[k]) << k;
    for (int i = 853; i < 1024; ++i) ASSERT_EQ(t.saw303Table[i], -32768) << i;

    const uint16_t firstOctave[] = {55, 58, 62, 65, 69, 73, 78, 82, 87, 92, 98, 104, 110};
    for (int i = 0; i <= 12; ++i) EXPECT_EQ(t.noteStepTable[i], firstOctave[i]) << i;
    EXPECT_EQ(t.noteStepTable[15], 131);
    EXPECT_EQ(t.noteStepTable[51], 1047);
    EXPECT_EQ(t.noteStepTable[95], 13290);
    EXPECT_EQ(t.fineStepTable[767], 13979);
    for (int n = 0; n < 96; ++n) ASSERT_EQ(t.fineStepTable[8 * n], t.noteStepTable[n]) << n;

    const int grid[][3] = {{0, 46, 8191}, {15, 97, 8191}, {127, 2759, -7713}, {kFilterGrid - 1, 2759, -7713}};
    for (const auto& g : grid) {
        EXPECT_EQ(t.filterSinTable[g[0]], g[1]) << g[0];
        EXPECT_EQ(t.filterCosTable[g[0]], g[2]) << g[0];
    }
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
    EXPECT_EQ(at(t.distCurvesA[0], 4096), 10213);
    EXPECT_EQ(at(t.distCurvesA[9], 4096), 4603);
    EXPECT_EQ(at(t.distCurvesB[0], 4096), 10474);
    EXPECT_EQ(at(t.distCurvesB[9], 4096), 4095);
    EXPECT_EQ(at(t.distCurvesA[0], -4096), -10211);
    EXPECT_EQ(at(t.distCurvesB[0], 32767), 12895);
}

TEST(Tables, RuntimeRandomAndUserWave) {
    CrtRand g;
    EXPECT_EQ(rand(g), 41);
    EXPECT_EQ(rand(g), 18467);
    srand(g, 12345);
    EXPECT_EQ(rand(g), static_cast<int>(((12345u * 214013u + 2531011u) >> 16) & 0x7FFF));

    auto s = makeSynth();
    for (WaveSample& v : s->score.doc.userWave) v = 7;
    const std::string path = ::testing::TempDir() + "user_wave.raw";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    const unsigned char bytes[] = {0x01, 0x00, 0xFF, 0xFF, 0x00, 0x80, 0x34};  // 1, -1, -32768 and an odd byte
    std::fwrite(bytes, 1, sizeof bytes, f);
    std::fclose(f);
    EXPECT_EQ(loadUserWave(*s, path.c_str()), 1);
    const int16_t expected[] = {1, -1, -32768, 7, 7};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(s->score.doc.userWave[i], expected[i]) << i;
    EXPECT_EQ(loadUserWave(*s, (path + ".missing").c_str()), 0);
    EXPECT_EQ(s->score.doc.userWave[0], 1);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace velmor
