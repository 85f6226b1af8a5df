#include <gtest/gtest.h>

#include "support/test_synth.h"

namespace velmor {
namespace {

class TablesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { synth_ = testing::initialisedSynth().release(); }
    static void TearDownTestSuite() { delete synth_; }
    static const Tables& t() { return synth_->tables; }
    // The distortion stage's read of a curve at unit sample a.
    static int32_t curveAt(const int32_t* row, int32_t a) { return row[16384 + (a >> 1)]; }
    static Synth* synth_;
};
Synth* TablesTest::synth_ = nullptr;

TEST_F(TablesTest, WaveformShapes) {
    EXPECT_EQ(t().sawTable[0], -32767);
    EXPECT_EQ(t().sawTable[512], 0);
    EXPECT_EQ(t().sawTable[1023], 32703);

    EXPECT_EQ(t().saw303Table[0], -32768);
    EXPECT_EQ(t().saw303Table[852], 31852);
    for (int i = 853; i < 1024; ++i) ASSERT_EQ(t().saw303Table[i], -32768) << i;

    for (int i = 0; i <= 395; ++i) ASSERT_EQ(t().squareTable[i], 32767) << i;
    EXPECT_EQ(t().squareTable[396], 32766);
    EXPECT_EQ(t().squareTable[511], -30553);
    EXPECT_EQ(t().squareTable[512], -32767);
    EXPECT_EQ(t().squareTable[1023], 30553);
    for (int k = 0; k < 512; ++k) ASSERT_EQ(t().squareTable[512 + k], -t().squareTable[k]) << k;

    EXPECT_EQ(t().sineTable[0], 0);
    EXPECT_EQ(t().sineTable[256], 32767);
    EXPECT_EQ(t().sineTable[512], 0);
    EXPECT_EQ(t().sineTable[768], -32767);
}

TEST_F(TablesTest, UserWaveStartsAsTheGeneratorsNoise) {
    // The first draws of the runtime generator from its start state are
    // 41, 18467 and 6334.
    EXPECT_EQ(t().userTable[0], 32767 - 41 * 65535 / 32767);
    EXPECT_EQ(t().userTable[1], 32767 - 18467 * 65535 / 32767);
    EXPECT_EQ(t().userTable[2], 32767 - 6334 * 65535 / 32767);
}

TEST_F(TablesTest, PitchTables) {
    EXPECT_EQ(t().noteStepTable[0], 55);
    EXPECT_EQ(t().noteStepTable[3], 65);
    EXPECT_EQ(t().noteStepTable[12], 110);
    EXPECT_EQ(t().noteStepTable[15], 131);
    EXPECT_EQ(t().noteStepTable[24], 220);
    EXPECT_EQ(t().noteStepTable[51], 1047);
    EXPECT_EQ(t().noteStepTable[95], 13290);
    const uint16_t firstOctave[] = {55, 58, 62, 65, 69, 73, 78, 82, 87, 92, 98, 104};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(t().noteStepTable[i], firstOctave[i]) << i;
    EXPECT_EQ(t().fineStepTable[0], 55);
    EXPECT_EQ(t().fineStepTable[767], 13979);
    for (int n = 0; n < 96; ++n) ASSERT_EQ(t().fineStepTable[8 * n], t().noteStepTable[n]) << n;
}

TEST_F(TablesTest, FilterGrid) {
    EXPECT_EQ(t().filterSinTable[0], 46);
    EXPECT_EQ(t().filterCosTable[0], 8191);
    EXPECT_EQ(t().filterSinTable[15], 97);
    EXPECT_EQ(t().filterCosTable[15], 8191);
    EXPECT_EQ(t().filterSinTable[127], 2759);
    EXPECT_EQ(t().filterCosTable[127], -7713);
    for (int j = 128; j < kFilterGrid; ++j) {
        ASSERT_EQ(t().filterSinTable[j], 2759) << j;
        ASSERT_EQ(t().filterCosTable[j], -7713) << j;
    }
}

TEST_F(TablesTest, DistortionCurves) {
    for (const auto* family : {t().distCurvesA, t().distCurvesB}) {
        for (int row = 0; row < kDistRows; ++row) {
            for (int a : {0, 1, -1, -2}) EXPECT_EQ(curveAt(family[row], a), 0) << row << " " << a;
            // Odd symmetry about the point between entries 16383 and 16384.
            for (int j = 0; j < 16384; ++j) ASSERT_EQ(family[row][16384 + j], -family[row][16383 - j]);
        }
    }
    EXPECT_EQ(curveAt(t().distCurvesA[0], 4096), 10213);
    EXPECT_EQ(curveAt(t().distCurvesA[9], 4096), 4603);
    EXPECT_EQ(curveAt(t().distCurvesB[0], 4096), 10474);
    EXPECT_EQ(curveAt(t().distCurvesB[9], 4096), 4095);
    EXPECT_EQ(curveAt(t().distCurvesA[0], -4096), -10211);
    EXPECT_EQ(curveAt(t().distCurvesB[0], 32767), 12895);
    // Row 9 of family B is the identity, read at half resolution.
    for (int a = -32768; a < 32768; a += 7) ASSERT_NEAR(curveAt(t().distCurvesB[9], a), a, 3) << a;
    // Rows grow milder from 0 to 9.
    for (int row = 1; row < kDistRows; ++row)
        EXPECT_LT(curveAt(t().distCurvesA[row], 4096), curveAt(t().distCurvesA[row - 1], 4096));
}

TEST(RuntimeRandom, MatchesTheRuntimeSequence) {
    CrtRand g;
    EXPECT_EQ(rand(g), 41);
    EXPECT_EQ(rand(g), 18467);
    EXPECT_EQ(rand(g), 6334);
    srand(g, 1);
    EXPECT_EQ(rand(g), 41);
    srand(g, 12345);
    EXPECT_EQ(rand(g), static_cast<int>(((12345u * 214013u + 2531011u) >> 16) & 0x7FFF));
}

TEST(UserWave, LoadsRawSamplesAndKeepsTheRest) {
    auto s = makeSynth();
    for (int i = 0; i < kWaveLength; ++i) s->tables.userTable[i] = 7;
    const std::string path = ::testing::TempDir() + "user_wave.raw";
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        const unsigned char bytes[] = {0x01, 0x00, 0xFF, 0xFF, 0x00, 0x80, 0x34};  // 1, -1, -32768, odd byte
        std::fwrite(bytes, 1, sizeof bytes, f);
        std::fclose(f);
    }
    EXPECT_EQ(loadUserWave(s->tables, path.c_str()), 1);
    EXPECT_EQ(s->tables.userTable[0], 1);
    EXPECT_EQ(s->tables.userTable[1], -1);
    EXPECT_EQ(s->tables.userTable[2], -32768);
    EXPECT_EQ(s->tables.userTable[3], 7);
    EXPECT_EQ(s->tables.userTable[1023], 7);
    EXPECT_EQ(loadUserWave(s->tables, (path + ".missing").c_str()), 0);
    EXPECT_EQ(s->tables.userTable[0], 1);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace velmor
