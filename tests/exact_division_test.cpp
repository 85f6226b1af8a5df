#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "engine/exact_division.h"
#include "engine/filter.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

int32_t plainQuotient(int32_t n, int32_t d) { return static_cast<int32_t>(int64_t{n} / d); }

// Numerators at the edges of the 32-bit range and around multiples of d,
// where a quotient that is one too large or too small would show first.
std::vector<int32_t> edgeNumerators(int32_t d) {
    std::vector<int32_t> n = {0, 1, -1, 2, -2, INT32_MAX, INT32_MIN, INT32_MAX - 1, INT32_MIN + 1};
    const int64_t ad = d < 0 ? -int64_t{d} : d;
    for (int64_t base : {ad, 2 * ad, 3 * ad, (int64_t{INT32_MAX} / ad) * ad, -(int64_t{INT32_MAX} / ad) * ad,
                         -(int64_t{1} << 31) / ad * ad}) {
        for (int64_t delta = -2; delta <= 2; ++delta) {
            const int64_t v = base + delta;
            if (v >= INT32_MIN && v <= INT32_MAX) n.push_back(static_cast<int32_t>(v));
        }
    }
    return n;
}

// Checks the edge numerators and `samples` random ones against the plain
// quotient; stops at the first difference.
void checkDivisor(int32_t d, int samples, std::mt19937& rng) {
    const ExactDivisor x = prepareDivisor(d);
    ASSERT_TRUE(x.usable) << d;
    for (int32_t n : edgeNumerators(d)) ASSERT_EQ(exactQuotient(x, n), plainQuotient(n, d)) << n << " / " << d;
    std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
    std::uniform_int_distribution<int32_t> small(-(1 << 24), 1 << 24);
    for (int i = 0; i < samples; ++i) {
        const int32_t n = i % 2 ? any(rng) : small(rng);
        ASSERT_EQ(exactQuotient(x, n), plainQuotient(n, d)) << n << " / " << d;
    }
}

TEST(ExactDivision, EveryDivisorOfTheFiltersEverydayRange) {
    // The filters divide by q + 8192 and sw + 8192, 8192..23219 for every
    // control value; all divisors up to 65536 and their negatives.
    std::mt19937 rng(1);
    for (int32_t d = 2; d <= 65536; ++d) {
        checkDivisor(d, 64, rng);
        checkDivisor(-d, 8, rng);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

TEST(ExactDivision, DivisorsAtTheEdgesOfThe32BitRange) {
    // Values from pattern files can move the divisor anywhere in
    // -2^25 + 8192 .. 2^25 + 8192; the helper serves every 32-bit divisor.
    std::vector<int32_t> divisors = {INT32_MAX, INT32_MIN, INT32_MIN + 1, INT32_MAX - 1,
                                     (1 << 25) + 8192, -(1 << 25) + 8192, 3, -3};
    for (int k = 1; k <= 30; ++k) {
        for (int32_t delta : {-1, 0, 1}) {
            divisors.push_back((int32_t{1} << k) + delta);
            divisors.push_back(-((int32_t{1} << k) + delta));
        }
    }
    std::mt19937 rng(2);
    for (int32_t d : divisors) {
        if (d == 1 || d == -1) continue;
        checkDivisor(d, 20000, rng);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

TEST(ExactDivision, RandomDivisorsOverThe32BitRange) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
    for (int i = 0; i < 100000; ++i) {
        const int32_t d = any(rng);
        if (d >= -1 && d <= 1) continue;
        checkDivisor(d, 40, rng);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

TEST(ExactDivision, ZeroAndUnitDivisorsAreLeftToPlainDivision) {
    for (int32_t d : {0, 1, -1}) {
        const ExactDivisor x = prepareDivisor(d);
        EXPECT_FALSE(x.usable) << d;
        EXPECT_EQ(x.divisor, d);
    }
}

TEST(ExactDivision, PhaseIncrementEqualsThe64BitQuotient) {
    // p 2^19 / 11025 for every frequency the tables and the glide can give
    // (|p| < 2^20 covers them many times over), and far beyond.
    auto reference = [](int32_t p) { return static_cast<int32_t>((int64_t{p} << 19) / 11025); };
    for (int32_t p = -(1 << 20); p <= (1 << 20); ++p) ASSERT_EQ(phaseIncrement(p), reference(p)) << p;
    for (int32_t p : {kPhaseIncrementLimit, kPhaseIncrementLimit + 1, -kPhaseIncrementLimit,
                      -kPhaseIncrementLimit - 1, INT32_MAX, INT32_MIN, INT32_MIN + 1})
        EXPECT_EQ(phaseIncrement(p), reference(p)) << p;
    EXPECT_EQ(phaseIncrement(131), 6229);
    EXPECT_EQ(phaseIncrement(65), 3091);
}

TEST(ExactFilterDivision, LoudAndOutOfRangeStatesDivideAsIn64Bits) {
    const auto synth = testing::initialisedSynth();
    const auto t = [&]() -> const Tables& { return synth->tables; };
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

}  // namespace
}  // namespace velmor
