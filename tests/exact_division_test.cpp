#include <gtest/gtest.h>

#include <random>

#include "engine/exact_division.h"
#include "engine/filter.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

// Compares the quotients of numerators at the edges of the 32-bit range and
// around multiples of d (where a quotient one off would show first), and of
// `samples` random ones, with plain division; false at the first difference.
bool dividesAsPlainDivision(int32_t d, int samples, std::mt19937& rng) {
    const ExactDivisor x = prepareDivisor(d);
    const int64_t ad = d < 0 ? -int64_t{d} : d;
    std::vector<int64_t> numerators = {INT32_MAX, INT32_MAX - 1, INT32_MIN, INT32_MIN + 1};
    for (const int64_t base : {int64_t{0}, ad, 2 * ad, 3 * ad, INT32_MAX / ad * ad, -(INT32_MAX / ad * ad), INT32_MIN / ad * ad})
        for (int64_t n = base - 2; n <= base + 2; ++n)
            if (n >= INT32_MIN && n <= INT32_MAX) numerators.push_back(n);
    std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX), small(-(1 << 24), 1 << 24);
    for (int i = 0; i < samples; ++i) numerators.push_back(i % 2 ? any(rng) : small(rng));
    const auto wrong = std::find_if(numerators.begin(), numerators.end(),
                                    [&](int64_t n) { return !x.usable || exactQuotient(x, static_cast<int32_t>(n)) != n / d; });
    EXPECT_TRUE(wrong == numerators.end()) << *wrong << " / " << d;
    return wrong == numerators.end();
}

TEST(ExactDivision, EveryPreparedDivisorDividesAsPlainDivision) {
    std::mt19937 rng(1);
    // The filters divide by q + 8192 and sw + 8192, 8192..23219 for every control value.
    for (int32_t d = 2; d <= 65536; ++d)
        if (!dividesAsPlainDivision(d, 64, rng) || !dividesAsPlainDivision(-d, 8, rng)) return;
    // Pattern files move it anywhere in -2^25 + 8192 .. 2^25 + 8192, and the helper serves every
    // 32-bit divisor: the range's ends, powers of two and their neighbours, random ones.
    std::vector<int32_t> divisors = {INT32_MAX, INT32_MIN, INT32_MIN + 1, INT32_MAX - 1, (1 << 25) + 8192, -(1 << 25) + 8192};
    for (int k = 1; k <= 30; ++k)
        for (const int32_t d : {(1 << k) - 1, 1 << k, (1 << k) + 1})
            if (d > 1) divisors.insert(divisors.end(), {d, -d});
    for (const int32_t d : divisors)
        if (!dividesAsPlainDivision(d, 20000, rng)) return;
    std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
    for (int i = 0; i < 100000; ++i)
        if (const int32_t d = any(rng); (d < -1 || d > 1) && !dividesAsPlainDivision(d, 40, rng)) return;
    for (const int32_t d : {0, 1, -1}) EXPECT_TRUE(!prepareDivisor(d).usable && prepareDivisor(d).divisor == d) << d << " is left to plain division";
}

TEST(ExactDivision, PhaseIncrementEqualsThe64BitQuotient) {
    // p 2^19 / 11025 for every frequency the tables and the glide can give
    // (|p| < 2^20 covers them many times over), and far beyond.
    auto reference = [](int32_t p) { return static_cast<int32_t>((int64_t{p} << 19) / 11025); };
    for (int32_t p = -(1 << 20); p <= (1 << 20); ++p) ASSERT_EQ(phaseIncrement(p), reference(p)) << p;
    for (int32_t p : {kPhaseIncrementLimit + 1, -kPhaseIncrementLimit - 1, INT32_MAX, INT32_MIN, INT32_MIN + 1})
        EXPECT_EQ(phaseIncrement(p), reference(p)) << p;
    EXPECT_EQ(phaseIncrement(131), 6229);
}

TEST(ExactFilterDivision, LoudAndOutOfRangeStatesDivideAsIn64Bits) {
    // Memories anywhere in the 32-bit range (loud resonance, Hi12 outputs left
    // by a mode change), resonances from pattern files, and divisors of 0 and
    // +-1: every biquad gives the saturated quotient of its exact numerator.
    const auto synth = testing::initialisedSynth();
    const Tables& t = synth->tables;
    const auto quotient = [](int64_t n, int64_t d) { return d ? static_cast<int32_t>(std::clamp<int64_t>(n / d, INT32_MIN, INT32_MAX)) : 0; };
    std::mt19937 rng(7);
    std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX), mix(-(1 << 22), 1 << 22), stage2(-(1 << 29), 1 << 29);
    std::uniform_int_distribution<int32_t> cutoff(-20000, 120000);
    // Cutoffs and resonances around q + 8192 = 0.
    std::vector<std::pair<int32_t, int32_t>> special = {{0, 35000}, {0, 37000}, {0, INT32_MIN}, {0, INT32_MAX}};
    for (int32_t c = 0; c < 16384; c += 256)
        for (int32_t d = -2; d <= 2; ++d)
            for (const int32_t r : {35000, 37000}) special.push_back({c, r + t.filterSinTable[filterIndex(c)] / 2 - d});
    for (int i = 0; i < 200000; ++i) {
        const auto [specialC, specialR] = special[i % special.size()];
        const int32_t c = i % 3 ? cutoff(rng) : specialC, r = i % 3 ? any(rng) : specialR, x = mix(rng);
        UnitVoice m;
        m.filterX1 = mix(rng), m.filterX2 = mix(rng), m.filterY1 = any(rng), m.filterY2 = any(rng);
        m.filterW1 = stage2(rng), m.filterW2 = stage2(rng), m.filterZ1 = any(rng), m.filterZ2 = any(rng);
        if (i % 2) m.filterY1 >>= 12, m.filterY2 >>= 12, m.filterZ1 >>= 12, m.filterZ2 >>= 12;
        const int64_t sw = t.filterSinTable[filterIndex(c)], cw = t.filterCosTable[filterIndex(c)], h = (8192 - cw) >> 1;
        // A low-pass stage with 8192 alpha = q.
        const auto lowPass = [&](int64_t in, int64_t in1, int64_t in2, int64_t out1, int64_t out2, int32_t q) {
            return quotient((in + in2) * h + in1 * (8192 - cw) + 2 * cw * out1 - (8192 - q) * out2, add32(q, 8192));
        };
        const int32_t q12 = div32(static_cast<int32_t>(sw * 4096), sub32(35000, r));
        const int32_t q24 = div32(static_cast<int32_t>(sw * 4096), sub32(37000, r));
        const int32_t y24 = lowPass(x, m.filterX1, m.filterX2, m.filterY1, m.filterY2, q24);
        UnitVoice a = m, b = m, d = m;
        FilterCoefficients ka, kb, kd;
        updateCoefficients(ka, t, kLo12, c, r), updateCoefficients(kb, t, kLo24, c, r), updateCoefficients(kd, t, kBand, c, 0);
        ASSERT_EQ((std::vector{filterLo12(a, ka, x), filterLo24(b, kb, x), b.filterY1, filterBand(d, kd, x)}),
                  (std::vector{lowPass(x, m.filterX1, m.filterX2, m.filterY1, m.filterY2, q12),
                               lowPass(mul32(3, y24) / 4, m.filterW1, m.filterW2, m.filterZ1, m.filterZ2, q24), y24,
                               quotient(sw * (int64_t{x} - m.filterX2) + 2 * cw * m.filterY1 + (sw - 8192) * m.filterY2, sw + 8192)}))
            << i;
    }
}

}  // namespace
}  // namespace velmor
