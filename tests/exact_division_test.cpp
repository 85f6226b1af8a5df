#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "engine/exact_division.h"

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

}  // namespace
}  // namespace velmor
