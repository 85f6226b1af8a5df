#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "engine/filter.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

class FilterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { synth_ = testing::initialisedSynth().release(); }
    static void TearDownTestSuite() { delete synth_; }
    static const Tables& t() { return synth_->tables; }
    static Synth* synth_;

    // A short burst: a step, a swing and silence, at the mix's scale.
    static std::vector<int32_t> input() {
        std::vector<int32_t> x;
        for (int n = 0; n < 300; ++n) x.push_back(n < 40 ? 16000 : (n < 120 ? ((n / 9) % 2 ? -12000 : 9000) : 0));
        return x;
    }
};
Synth* FilterTest::synth_ = nullptr;

TEST_F(FilterTest, Lo12FollowsItsRecurrence) {
    for (int32_t c : {0, 2000, 8192, 30000}) {
        for (int32_t r : {0, 19660, 32767}) {
            const int j = (c >> 8) + 15;
            const int64_t sw = t().filterSinTable[j], cw = t().filterCosTable[j];
            const int64_t q = sw * 4096 / (35000 - r);
            int64_t x1 = 0, x2 = 0, y1 = 0, y2 = 0;
            FilterMemory m;
            FilterCoefficients k;
            for (int32_t x : input()) {
                const int64_t y = ((x + x2) * ((8192 - cw) >> 1) + (q - 8192) * y2 + 2 * cw * y1 + x1 * (8192 - cw)) / (q + 8192);
                y2 = y1, y1 = y, x2 = x1, x1 = x;
                updateCoefficients(k, t(), kLo12, c, r);
                ASSERT_EQ(filterLo12(m, k, x), y) << c << " " << r;
            }
        }
    }
}

TEST_F(FilterTest, Lo12FirstFramesByHand) {
    // c = 0: j = 15, sw 97, cw 8191, so h = 0 and q = 97 * 4096 / 35000 = 11.
    FilterMemory m;
    FilterCoefficients k;
    updateCoefficients(k, t(), kLo12, 0, 0);
    EXPECT_EQ(k.q, 11);
    EXPECT_EQ(filterLo12(m, k, 16384), 0);
    // 2 * 8191 * 0 + 16384 * 1 = 16384; 16384 / 8203 = 1.
    EXPECT_EQ(filterLo12(m, k, 16384), 1);
    // (11 - 8192) * 0 + 2 * 8191 * 1 + 16384 = 32766; / 8203 = 3.
    EXPECT_EQ(filterLo12(m, k, 16384), 3);
}

TEST_F(FilterTest, Lo24RunsTwoStagesWithThreeQuartersBetween) {
    for (int32_t c : {0, 5000, 16384}) {
        for (int32_t r : {0, 32767}) {
            const int j = (c >> 8) + 15;
            const int64_t sw = t().filterSinTable[j], cw = t().filterCosTable[j];
            const int64_t q = sw * 4096 / (37000 - r), h = (8192 - cw) >> 1;
            int64_t x1 = 0, x2 = 0, y1 = 0, y2 = 0, w1 = 0, w2 = 0, z1 = 0, z2 = 0;
            FilterMemory m;
            FilterCoefficients k;
            for (int32_t x : input()) {
                const int64_t y = ((x + x2) * h + 2 * cw * y1 - (8192 - q) * y2 + x1 * (8192 - cw)) / (q + 8192);
                y2 = y1, y1 = y, x2 = x1, x1 = x;
                const int64_t w = (3 * y) / 4;
                const int64_t z = ((w + w2) * h - (8192 - q) * z2 + 2 * cw * z1 + (8192 - cw) * w1) / (q + 8192);
                z2 = z1, z1 = z, w2 = w1, w1 = w;
                updateCoefficients(k, t(), kLo24, c, r);
                ASSERT_EQ(filterLo24(m, k, x), z) << c << " " << r;
            }
        }
    }
}

TEST_F(FilterTest, BandIgnoresResonance) {
    for (int32_t c : {0, 6000, 16000}) {
        const int j = (c >> 8) + 15;
        const int64_t sw = t().filterSinTable[j], cw = t().filterCosTable[j];
        int64_t x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        FilterMemory a, b;
        FilterCoefficients ka, kb;
        for (int32_t x : input()) {
            const int64_t y = (sw * (x - x2) + 2 * cw * y1 + (sw - 8192) * y2) / (sw + 8192);
            y2 = y1, y1 = y, x2 = x1, x1 = x;
            updateCoefficients(ka, t(), kBand, c, 0);
            ASSERT_EQ(filterBand(a, ka, x), y);
            updateCoefficients(kb, t(), kBand, c, 5000);
            ASSERT_EQ(filterBand(b, kb, x), y);
        }
    }
}

TEST_F(FilterTest, LoudAndOutOfRangeStatesDivideAsIn64Bits) {
    // Memories anywhere in the 32-bit range (loud resonance, Hi12 outputs
    // left by a mode change), resonances from pattern files, and divisors of
    // 0 and +-1: every biquad gives the saturated quotient of its exact
    // 64-bit numerator.
    auto quotient = [](int64_t num, int64_t den) -> int64_t {
        if (den == 0) return 0;
        const int64_t v = num / den;
        return v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : v);
    };
    std::mt19937 rng(7);
    std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
    std::uniform_int_distribution<int32_t> mix(-(1 << 22), 1 << 22);
    std::uniform_int_distribution<int32_t> stage2(-(1 << 29), 1 << 29);
    std::uniform_int_distribution<int32_t> cutoff(-20000, 120000);
    // Cutoffs and resonances around q + 8192 = 0.
    std::vector<std::pair<int32_t, int32_t>> special = {{0, 35000}, {0, 37000}, {0, INT32_MIN}, {0, INT32_MAX}};
    for (int32_t c = 0; c < 16384; c += 256) {
        const int32_t d0 = -t().filterSinTable[filterIndex(c)] / 2;
        for (int32_t d = d0 - 2; d <= d0 + 2; ++d) special.push_back({c, 35000 - d}), special.push_back({c, 37000 - d});
    }
    for (int i = 0; i < 200000; ++i) {
        const auto& pick = special[i % special.size()];
        const int32_t c = i % 3 ? cutoff(rng) : pick.first;
        const int32_t r = i % 3 ? any(rng) : pick.second;
        const int32_t x = mix(rng);
        FilterMemory m;
        m.x1 = mix(rng), m.x2 = mix(rng), m.y1 = any(rng), m.y2 = any(rng);
        m.w1 = stage2(rng), m.w2 = stage2(rng), m.z1 = any(rng), m.z2 = any(rng);
        if (i % 2) m.y1 >>= 12, m.y2 >>= 12, m.z1 >>= 12, m.z2 >>= 12;
        const int j = filterIndex(c);
        const int64_t sw = t().filterSinTable[j], cw = t().filterCosTable[j], h = (8192 - cw) >> 1;

        const int64_t q12 = div32(static_cast<int32_t>(sw * 4096), sub32(35000, r));
        const int64_t y12 = quotient((int64_t{x} + m.x2) * h + (q12 - 8192) * m.y2 + 2 * cw * m.y1 + int64_t{m.x1} * (8192 - cw),
                                     add32(static_cast<int32_t>(q12), 8192));
        const int64_t q24 = div32(static_cast<int32_t>(sw * 4096), sub32(37000, r));
        const int64_t den24 = add32(static_cast<int32_t>(q24), 8192);
        const int64_t y24 = quotient((int64_t{x} + m.x2) * h + 2 * cw * m.y1 - (8192 - q24) * m.y2 + int64_t{m.x1} * (8192 - cw), den24);
        const int64_t w = mul32(3, static_cast<int32_t>(y24)) / 4;
        const int64_t z24 = quotient((w + m.w2) * h - (8192 - q24) * m.z2 + 2 * cw * m.z1 + (8192 - cw) * m.w1, den24);
        const int64_t yBand = quotient(sw * (int64_t{x} - m.x2) + 2 * cw * m.y1 + (sw - 8192) * m.y2, sw + 8192);

        FilterMemory a = m, b = m, d = m;
        FilterCoefficients ka, kb, kd;
        updateCoefficients(ka, t(), kLo12, c, r);
        updateCoefficients(kb, t(), kLo24, c, r);
        updateCoefficients(kd, t(), kBand, c, 0);
        ASSERT_EQ(filterLo12(a, ka, x), y12) << i;
        ASSERT_EQ(filterLo24(b, kb, x), z24) << i;
        ASSERT_EQ(b.y1, y24) << i;
        ASSERT_EQ(filterBand(d, kd, x), yBand) << i;
    }
}

TEST_F(FilterTest, Hi12UsesSinglePrecisionKAndR) {
    const double scale = 44100.0 * std::sqrt(2.0) / (2.0 * 3.141592653);
    for (int32_t c : {0, 3000, 16384}) {
        for (int32_t r : {0, 19660, 32767}) {
            const float K = static_cast<float>(scale / (c * 0.01 + 0.5));
            const float R = static_cast<float>(r * 0.0001220703125 * 10);
            int32_t x1 = 0, x2 = 0, y1 = 0, y2 = 0;
            FilterMemory m;
            for (int32_t x : input()) {
                const int32_t d = x + x2 - 2 * x1 + 2 * y1 - y2;
                const int32_t n = static_cast<int32_t>(d * static_cast<double>(K) + y1 * static_cast<double>(R));
                const int32_t y = static_cast<int32_t>(n / (static_cast<double>(K) + R + 1.0));
                y2 = y1, y1 = y, x2 = x1, x1 = x;
                ASSERT_EQ(filterHi12(m, scale, c, r, x), y) << c << " " << r;
            }
        }
    }
    // The reset sets the scale the filter uses.
    auto s = testing::initialisedSynth();
    EXPECT_DOUBLE_EQ(s->engine.highPassScale, scale);
    EXPECT_NEAR(scale, 9925.987, 0.001);
}

TEST_F(FilterTest, ResonanceSetsQ) {
    // Q = (35000 - r) / 8192 for Lo12 and (37000 - r) / 8192 for Lo24.
    EXPECT_NEAR(35000 / 8192.0, 4.27, 0.01);
    FilterCoefficients k;
    updateCoefficients(k, t(), kLo12, 8192, 0);
    EXPECT_EQ(k.q, t().filterSinTable[47] * 4096 / 35000);
    updateCoefficients(k, t(), kLo24, 8192, 32767);
    EXPECT_EQ(k.q, t().filterSinTable[47] * 4096 / (37000 - 32767));
    EXPECT_EQ(k.den, k.q + 8192);
}

TEST_F(FilterTest, OutOfRangeValuesStaySafe) {
    // Cutoff sums far outside the grid read its end entries; a zero divisor
    // gives 0; a huge numerator saturates.
    EXPECT_EQ(filterIndex(-100000), 0);
    EXPECT_EQ(filterIndex(INT32_MAX), kFilterGrid - 1);
    EXPECT_EQ(filterIndex(0), 15);
    FilterCoefficients k;
    updateCoefficients(k, t(), kLo12, 0, 35000);
    EXPECT_EQ(k.q, 0) << "35000 - r = 0 divides to 0";
    EXPECT_EQ(filterQuotient(int64_t{1} << 50, 3), INT32_MAX);
    EXPECT_EQ(filterQuotient(-(int64_t{1} << 50), 3), INT32_MIN);
    EXPECT_EQ(filterQuotient(12345, 0), 0);
    FilterMemory m;
    m.y1 = INT32_MAX;
    m.y2 = INT32_MIN;
    EXPECT_EQ(filterHi12(m, 9925.987, -50, 0, 100), 0) << "an infinite K divides the output to 0";
}

}  // namespace
}  // namespace velmor
