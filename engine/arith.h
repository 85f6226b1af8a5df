#pragma once
// 32-bit arithmetic as the engine defines it: two's-complement wrap-around
// written through unsigned arithmetic (no undefined behaviour in C++),
// arithmetic right shifts, and conversions from floating point that truncate
// toward zero and saturate.

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velmor {

inline int32_t add32(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
inline int32_t sub32(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }
inline int32_t mul32(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b)); }
inline int32_t neg32(int32_t a) { return static_cast<int32_t>(0u - static_cast<uint32_t>(a)); }
inline int32_t shl32(int32_t a, int k) { return static_cast<int32_t>(static_cast<uint32_t>(a) << k); }
// The exact 64-bit product of two 32-bit values (one multiplication on a
// 32-bit processor, where a product of 64-bit operands takes three).
inline int64_t wideMul(int32_t a, int32_t b) { return int64_t{a} * int64_t{b}; }

// Truncating division; a division by zero (only reachable from values that a
// pattern file brings) gives 0, and the one overflowing case wraps.
inline int32_t div32(int32_t a, int32_t b) {
    if (b == 0) return 0;
    if (b == -1) return neg32(a);
    return a / b;
}

inline int32_t saturate32(int64_t v) {
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// Every floating-point to integer conversion: truncation toward zero,
// saturated to the 32-bit range, NaN gives 0.
inline int32_t truncToIntSlow(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

#if defined(__SSE2__)
// The SSE2 conversion truncates and gives 0x80000000 for NaN and for
// anything outside the range, so only that one value needs a second look.
inline int32_t truncToInt(double v) {
    const int32_t r = _mm_cvttsd_si32(_mm_set_sd(v));
    return r != INT32_MIN ? r : truncToIntSlow(v);
}
#else
inline int32_t truncToInt(double v) { return truncToIntSlow(v); }
#endif

inline int32_t clampInt(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace velmor
