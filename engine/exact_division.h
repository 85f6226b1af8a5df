#pragma once
// Exact division by a divisor that changes rarely. The divisor is prepared
// once, when it changes, into a magic multiplier and a shift; every quotient
// after that is one 32 x 32 -> 64-bit multiplication and a shift, which on a
// 32-bit processor replaces a call of the 64-bit division routine.
//
// For 2^k < |d| < 2^(k+1) the multiplier is m = floor(2^(32+k) / |d|) + 1,
// which fits in 32 bits, and the quotient of a magnitude a <= 2^31 is
// floor(a m / 2^(32+k)): m exceeds 2^(32+k) / |d| by at most 1, so a m /
// 2^(32+k) exceeds a / |d| by at most 2^31 / 2^(32+k) < 1 / |d|, too little
// to reach the next whole number. For |d| = 2^k the multiplier is 2^31 and
// the shift k - 1.

#include <bit>
#include <cstdint>

namespace velmor {

struct ExactDivisor {
    int32_t divisor = 0;
    uint32_t magic = 0;
    uint32_t shift = 0;   // applied to the high word of the product
    bool usable = false;  // false for 0, 1 and -1, which the caller divides plainly
};

// Prepares any 32-bit divisor; 0, 1 and -1 come back as not usable.
inline ExactDivisor prepareDivisor(int32_t d) {
    ExactDivisor x;
    x.divisor = d;
    const uint32_t magnitude = d < 0 ? 0u - static_cast<uint32_t>(d) : static_cast<uint32_t>(d);
    if (magnitude < 2) return x;
    const uint32_t k = static_cast<uint32_t>(std::bit_width(magnitude)) - 1;  // floor(log2 |d|)
    if ((magnitude & (magnitude - 1)) == 0) {
        x.magic = 0x80000000u;
        x.shift = k - 1;
    } else {
        x.magic = static_cast<uint32_t>((uint64_t{1} << (32 + k)) / magnitude + 1);
        x.shift = k;
    }
    x.usable = true;
    return x;
}

// n / d truncated toward zero, for every 32-bit n and a usable divisor.
inline int32_t exactQuotient(const ExactDivisor& x, int32_t n) {
    const uint32_t magnitude = n < 0 ? 0u - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
    const uint32_t q = static_cast<uint32_t>((uint64_t{magnitude} * x.magic) >> 32) >> x.shift;
    return (n ^ x.divisor) < 0 ? static_cast<int32_t>(0u - q) : static_cast<int32_t>(q);
}

// The oscillator increment p 2^19 / 11025, truncated toward zero, without a
// 64-bit division: 2^19 = 47 11025 + 6113, so the quotient is 47 p + p 6113 /
// 11025, whose numerator stays in 32 bits for |p| <= kPhaseIncrementLimit.
// Larger p (not reachable from the tables and the glide) take the 64-bit
// path.
constexpr int32_t kPhaseIncrementLimit = INT32_MAX / 6113;

inline int32_t phaseIncrement(int32_t p) {
    if (p > kPhaseIncrementLimit || p < -kPhaseIncrementLimit) {
        return static_cast<int32_t>((int64_t{p} << 19) / 11025);
    }
    return 47 * p + p * 6113 / 11025;
}

}  // namespace velmor
