#pragma once
// The unit filter: Lo12, Lo24 and Band are integer biquads with Q13
// coefficients from the sine and cosine tables; Hi12 is a floating-point
// second-order high-pass; any other mode passes the signal through.

#include <cstdint>

#include "engine/arith.h"
#include "engine/engine.h"
#include "engine/exact_division.h"
#include "engine/tables.h"

namespace velmor {

enum FilterMode : uint16_t { kLo12 = 0, kLo24 = 1, kHi12 = 2, kBand = 3, kBypass = 4 };

// Quotient of an exact 64-bit numerator, truncated toward zero and saturated
// to 32 bits; a zero divisor (only reachable from values a pattern file
// brings) gives 0.
inline int32_t filterQuotient(int64_t num, int32_t den) {
    if (den == 0) return 0;
    return saturate32(num / den);
}

// The same quotient by a prepared divisor: a numerator that fits in 32 bits
// (all but the loudest resonant signals) is divided exactly without a 64-bit
// division.
inline int32_t filterQuotient(int64_t num, const ExactDivisor& den) {
    const int32_t low = static_cast<int32_t>(num);
    if (den.usable && num == low) [[likely]]
        return exactQuotient(den, low);
    return filterQuotient(num, den.divisor);
}

// Table index of a cutoff sum: (c >> 8) + 15, kept inside the table (cutoffs
// from pattern files can reach outside the grid).
inline int filterIndex(int32_t c) {
    const int32_t j = (c >> 8) + 15;
    return j < 0 ? 0 : (j >= kFilterGrid ? kFilterGrid - 1 : j);
}

// Coefficients that change only with the table index and the resonance; the
// per-frame filters recompute them only when either changes. The table
// entries are 8192 sin and 8192 cos, so |sw|, |cw| <= 8192, and
// |q| <= 8192 * 4096: every factor below fits in 32 bits, and each product
// of a factor and a 32-bit signal value is formed exactly in 64 bits.
struct FilterCoefficients {
    int j = -1;
    int32_t r = 0;
    uint16_t mode = 0xFFFF;
    int32_t sw = 0, cw = 0;
    int32_t q = 0;             // 8192 alpha
    int32_t den = 0;           // q + 8192 (or sw + 8192 for Band)
    int32_t h = 0;             // (8192 - cw) >> 1
    int32_t twoCw = 0;         // 2 cw
    int32_t cwComplement = 0;  // 8192 - cw
    int32_t y2Factor = 0;      // q - 8192 (or sw - 8192 for Band)
    ExactDivisor divisor;      // den, prepared
};

// Recomputes the coefficients for table index j, resonance r and mode. Kept
// out of line: it runs only when one of them changes, and the frame loop
// stays smaller without it.
void computeCoefficients(FilterCoefficients& k, const Tables& t, uint16_t mode, int j, int32_t r);

inline void updateCoefficients(FilterCoefficients& k, const Tables& t, uint16_t mode, int32_t c, int32_t r) {
    const int j = filterIndex(c);
    if (j == k.j && r == k.r && mode == k.mode) return;
    computeCoefficients(k, t, mode, j, r);
}

// Each filter runs on the unit voice's memories: filterX1, filterX2 the last
// inputs, filterY1, filterY2 the last (first-stage) outputs, and filterW*,
// filterZ* those of Lo24's second stage.
//
// The inputs are the render's mix values, a 32-bit sum shifted right by 9,
// so |x| <= 2^22 and the sum of two inputs fits in 32 bits; so does the sum
// of two second-stage inputs of Lo24, 3y / 4 in 32 bits (|w| <= 2^29). The
// term of the latest output is added last: it is the one each frame waits
// for.
inline int32_t filterLo12(UnitVoice& v, const FilterCoefficients& k, int32_t x) {
    const int64_t num = wideMul(x + v.filterX2, k.h) + wideMul(v.filterX1, k.cwComplement) + wideMul(k.y2Factor, v.filterY2) +
                        wideMul(k.twoCw, v.filterY1);
    const int32_t y = filterQuotient(num, k.divisor);
    v.filterY2 = v.filterY1;
    v.filterY1 = y;
    v.filterX2 = v.filterX1;
    v.filterX1 = x;
    return y;
}

// Two equal stages; y2Factor is q - 8192, the stages' -(8192 - q).
inline int32_t filterLo24(UnitVoice& v, const FilterCoefficients& k, int32_t x) {
    const int64_t num1 = wideMul(x + v.filterX2, k.h) + wideMul(v.filterX1, k.cwComplement) + wideMul(k.y2Factor, v.filterY2) +
                         wideMul(k.twoCw, v.filterY1);
    const int32_t y = filterQuotient(num1, k.divisor);
    v.filterY2 = v.filterY1;
    v.filterY1 = y;
    v.filterX2 = v.filterX1;
    v.filterX1 = x;

    const int32_t w = mul32(3, y) / 4;
    const int64_t num2 = wideMul(w + v.filterW2, k.h) + wideMul(v.filterW1, k.cwComplement) + wideMul(k.y2Factor, v.filterZ2) +
                         wideMul(k.twoCw, v.filterZ1);
    const int32_t z = filterQuotient(num2, k.divisor);
    v.filterZ2 = v.filterZ1;
    v.filterZ1 = z;
    v.filterW2 = v.filterW1;
    v.filterW1 = w;
    return z;
}

inline int32_t filterBand(UnitVoice& v, const FilterCoefficients& k, int32_t x) {
    const int64_t num = wideMul(k.sw, x - v.filterX2) + wideMul(k.y2Factor, v.filterY2) + wideMul(k.twoCw, v.filterY1);
    const int32_t y = filterQuotient(num, k.divisor);
    v.filterY2 = v.filterY1;
    v.filterY1 = y;
    v.filterX2 = v.filterX1;
    v.filterX1 = x;
    return y;
}

// Solves K d2y + R dy + y = K d2x: K from the cutoff sum, R from the
// resonance, both single-precision values; products and sums in double.
inline int32_t filterHi12(UnitVoice& v, double highPassScale, int32_t c, int32_t r, int32_t x) {
    const double f = c * 0.01 + 0.5;
    const float K = static_cast<float>(highPassScale / f);
    const float R = static_cast<float>(r * 0.0001220703125 * 10);
    const int32_t D = sub32(add32(sub32(add32(x, v.filterX2), mul32(2, v.filterX1)), mul32(2, v.filterY1)), v.filterY2);
    const int32_t N = truncToInt(D * static_cast<double>(K) + v.filterY1 * static_cast<double>(R));
    const int32_t y = truncToInt(N / (static_cast<double>(K) + static_cast<double>(R) + 1.0));
    v.filterY2 = v.filterY1;
    v.filterY1 = y;
    v.filterX2 = v.filterX1;
    v.filterX1 = x;
    return y;
}

}  // namespace velmor
