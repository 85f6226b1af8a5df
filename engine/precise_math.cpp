#include "engine/precise_math.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "engine/precise_math_tables.h"

// Everything below assumes IEEE-754 doubles rounded to nearest, each operation
// rounded on its own (SSE2 on 32-bit x86): the error-free transformations would
// be broken by extended-precision registers or by fused multiply-adds, which
// are therefore switched off here whatever flags the file is built with.
#if defined(__clang__)
#pragma clang fp contract(off)
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

namespace velmor {

namespace {

namespace tbl = precise_tables;
using DD = tbl::DoubleDouble;  // value hi + lo, normally |lo| <= ulp(hi) / 2

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr uint64_t kMantissaMask = (uint64_t{1} << 52) - 1;

// Adding then subtracting 1.5 * 2^52 rounds a double of magnitude below 2^51
// to the nearest integer (ties to even).
constexpr double kRoundShift = 0x1.8p52;

double roundToInteger(double x) { return (x + kRoundShift) - kRoundShift; }

// 2^e for -1022 <= e <= 1023.
double pow2(int e) { return std::bit_cast<double>(static_cast<uint64_t>(e + 1023) << 52); }

// ---------------------------------------------------------------------------
// Error-free transformations

// a + b = s + err exactly, provided a == 0 or exponent(a) >= exponent(b).
DD fastTwoSum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

// a + b = s + err exactly, for any a and b (Knuth).
DD twoSum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// Veltkamp's split a = hi + lo, each half with at most 26 significant bits, so
// that the product of two halves is exact. Needs |a| < 2^995.
struct Halves {
    double hi, lo;
};

Halves split(double a) {
    const double c = 134217729.0 * a;  // 2^27 + 1
    const double hi = c - (c - a);
    return {hi, a - hi};
}

// a * b = p + err exactly (Dekker), barring overflow and underflow.
DD twoProd(double a, double b) {
    const double p = a * b;
    const Halves x = split(a);
    const Halves y = split(b);
    return {p, (((x.hi * y.hi - p) + x.hi * y.lo) + x.lo * y.hi) + x.lo * y.lo};
}

// Double-double sum and product, relative error about 2^-104 when the
// operands do not nearly cancel (the only way they are used here).
DD ddAdd(DD a, DD b) {
    const DD s = twoSum(a.hi, b.hi);
    return fastTwoSum(s.hi, s.lo + (a.lo + b.lo));
}

DD ddMul(DD a, DD b) {
    const DD p = twoProd(a.hi, b.hi);
    return fastTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

DD ddNeg(DD a) { return {-a.hi, -a.lo}; }

// ---------------------------------------------------------------------------
// exp

// The correctly rounded value of (h + t) * 2^e below 2^-1021, where the
// doubles are the multiples of 2^-1074 (1/2 < h + t < 2, e <= -1022, |t| far
// below h): (h + t) * 2^(e + 1074) is rounded to an integer directly instead
// of rounding twice. Both scalings are exact and m < 2^53.
double roundTinyResult(double h, double t, int e) {
    const DD n = fastTwoSum(h, t);
    const double scale = pow2(e + 1074);
    const double m = n.hi * scale;
    const double tail = n.lo * scale;  // |tail| <= ulp(m) / 2
    const double whole = std::floor(m);
    const double frac = m - whole;  // exact, a multiple of ulp(m)
    const bool odd = std::floor(whole * 0.5) * 2.0 != whole;
    const bool up = frac > 0.5 || (frac == 0.5 && (tail > 0.0 || (tail == 0.0 && odd)));
    return (up ? whole + 1.0 : whole) * 0x1p-1074;
}

// The correctly rounded value of (h + t) * 2^e for 1/2 < h + t < 2.
double scaleResult(double h, double t, int e) {
    if (e >= -1021 && e <= 1023) return (h + t) * pow2(e);  // the scaling is exact
    if (e > 1023) return (h + t) * pow2(1023) * 2.0;        // overflows to +inf when it must
    return roundTinyResult(h, t, e);
}

// a with the low 27 bits of its significand cleared: 26 significant bits, so
// the product of two such numbers is exact, and |a - result| < 2^-25 |a|.
double truncateTo26Bits(double a) { return std::bit_cast<double>(std::bit_cast<uint64_t>(a) & ~uint64_t{0x7ffffff}); }

// exp(xh + xl) for -746 <= xh <= 709.8 and |xl| <= ulp(xh) / 2.
//
// x = k ln2/128 + r with |r| < 0.00271, exp(x) = T exp(r), T = 2^(j/128).
// The reduction leaves r = rh + rl with rh of 26 bits (so rh^2 is exact) and
// |rl| < 2^-25 |r|, with an absolute error below 2^-76. Then
//   T exp(r) = T + T rh + T (rh^2/2 + rh^3/6 + ... + rh^6/6!)
//                + T rl (1 + rh + rl/2 + rh^2/2 + rh^3/6)
// up to terms below 2^-72, where T rh is exact (T is split into 26 + 27 bits
// in the table) and the rest, below 2^-17, is summed in double. The relative
// error before the final rounding stays below 2^-68.
double expCore(double xh, double xl) {
    const double kd = roundToInteger(xh * tbl::kInvLn2Times128);
    const int k = static_cast<int>(kd);
    // |k| < 2^18, so kd times each 35-bit piece of ln2/128 is exact, and
    // xh - kd * piece0 is exact (Sterbenz: the two are within a factor 2).
    const double r1 = xh - kd * tbl::kLn2By128[0];
    const double t = kd * tbl::kLn2By128[1];
    const double rh = truncateTo26Bits(r1 - t);
    const double rl = ((r1 - rh) - t) + (xl - kd * tbl::kLn2By128[2]);

    const double r2 = rh * rh;  // exact
    const double higher = r2 * rh * ((1.0 / 6 + rh * (1.0 / 24)) + r2 * (1.0 / 120 + rh * (1.0 / 720)));
    const double cross = rl * ((1.0 + rh) + (0.5 * rl + r2 * (0.5 + rh * (1.0 / 6))));

    const tbl::ExpEntry& e = tbl::kExp2Table[k & 127];
    const DD s = fastTwoSum(e.hi, e.head * rh);                    // head * rh is exact
    const double main = e.tail * rh + e.hi * (0.5 * r2 + higher);  // tail * rh is exact
    const double corr = e.hi * cross + (e.lo + e.lo * (rh + rl));
    return scaleResult(s.hi, s.lo + (main + corr), k >> 7);  // k >> 7 = floor(k / 128)
}

// ---------------------------------------------------------------------------
// log

// ln(x) = hi + lo for finite x > 0, relative error below 2^-70, |lo| below
// 2^-17 |hi|.
//
// x = 2^e m with m in [0.75, 1.5). The table entry for the F nearest to m
// (a multiple of 1/256 above 1, of 1/512 below) holds invC, 1/F rounded to
// 13 bits, and ln c for c = 1/invC. r = m invC - 1 comes out exactly as
// r0h + r0l by splitting m into 21 + 32 bits (|r| < 0.0021), and is then
// re-split as rh + rl with rh of 26 bits. ln x = e ln2 + ln c + ln(1 + r):
// e ln2 + ln c + rh - rh^2/2 is kept exactly in three doubles, the rest of
// the series (below 2^-27) is summed in double; the series stops after r^8/8
// (tail below 2^-82).
DD logCore(double x) {
    uint64_t bits = std::bit_cast<uint64_t>(x);
    int e = 0;
    if (bits < (uint64_t{1} << 52)) {  // subnormal: scale into the normal range
        bits = std::bit_cast<uint64_t>(x * 0x1p54);
        e = -54;
    }
    e += static_cast<int>(bits >> 52) - 1023;
    // j = round(256 (significand - 1)); significands from 1.5 - 2^-9 on are
    // halved (half = 1), giving m in [0.75, 1.5) and F = 1 for x near 1 on
    // either side.
    const uint64_t mant = bits & kMantissaMask;
    const int j = static_cast<int>((mant + (uint64_t{1} << 43)) >> 44);
    const int half = (j + 128) >> 8;
    const uint64_t mBits = mant | (static_cast<uint64_t>(1023 - half) << 52);
    e += half;
    const tbl::LogEntry& c = tbl::kLogTable[j];
    const double m = std::bit_cast<double>(mBits);
    const double mh = std::bit_cast<double>(mBits & ~uint64_t{0xffffffff});  // 21 bits
    const double ml = m - mh;                                                // exact

    // mh * invC (34 bits) and ml * invC (45 bits) are exact, and so is the
    // subtraction of 1 (Sterbenz).
    const double r0h = mh * c.invC - 1.0;
    const double r0l = ml * c.invC;
    const double r = r0h + r0l;
    const double rh = truncateTo26Bits(r);
    const double rl = (r0h - rh) + r0l;  // |rl| < 2^-25 |r|, error far below that
    const double r2 = rh * rh;           // exact

    const double q = r * r;
    const double series =
        q * r * (((1.0 / 3 - r * (1.0 / 4)) + q * (1.0 / 5 - r * (1.0 / 6))) + (q * q) * (1.0 / 7 - r * (1.0 / 8)));

    // e * kLn2Hi + logHi is exact (multiples of 2^-43 below 2^10). It is 0
    // (c = 1, e = 0) or above twice the largest |r| of its entry, and the
    // partial sums stay far above rh^2/2, so the fastTwoSums apply.
    const double ed = e;
    const DD a = fastTwoSum(ed * tbl::kLn2Hi + c.logHi, rh);
    const DD b = fastTwoSum(a.hi, -0.5 * r2);
    const double lo = ((a.lo + b.lo) + (ed * tbl::kLn2Lo + c.logLo)) + ((rl - rl * (rh + 0.5 * rl)) + series);
    return {b.hi, lo};
}

// ---------------------------------------------------------------------------
// sin, cos

// x = quadrant * pi/2 + r, |r| a little above pi/4 at most.
struct Reduction {
    int quadrant;
    DD r;
};

// Integer multiply-accumulate on 32-bit limbs, least significant first:
// acc += m * w * 2^(32 shift), modulo 2^192.
void mulAddLimbs(uint32_t acc[6], uint32_t m, const uint32_t w[6], int shift) {
    uint64_t carry = 0;
    for (int i = shift; i < 6; ++i) {
        const uint64_t v = static_cast<uint64_t>(m) * w[i - shift] + acc[i] + carry;  // < 2^64
        acc[i] = static_cast<uint32_t>(v);
        carry = v >> 32;
    }
}

// Reduction of a large argument with the bits of 2/pi (Payne and Hanek).
// x = M 2^q with M a 53-bit integer. The bits of 2/pi of weight 2^(q-2) and
// above add only multiples of 4 to x 2/pi, so a 192-bit window W starting at
// the bit of weight 2^(1-q) gives x 2/pi = M W 2^-190 modulo 4, with an error
// below 2^-137. That leaves r good to 2^-75 relative even for the closest
// approach of a double to a multiple of pi/2 (about 2^-61).
Reduction reduceLarge(double x) {
    const uint64_t bits = std::bit_cast<uint64_t>(x);
    const int q = static_cast<int>((bits >> 52) & 0x7ff) - 1075;  // q >= -32 here
    const uint64_t mant = (bits & kMantissaMask) | (uint64_t{1} << 52);

    uint32_t w[6];
    for (int i = 0; i < 6; ++i) {
        const int pos = q + 62 + 32 * i;  // bit position in kTwoOverPiBits, counting its two leading zero words
        const uint64_t pair = (static_cast<uint64_t>(tbl::kTwoOverPiBits[pos >> 5]) << 32) | tbl::kTwoOverPiBits[(pos >> 5) + 1];
        w[5 - i] = static_cast<uint32_t>(pair >> (32 - (pos & 31)));
    }
    uint32_t prod[6] = {};
    mulAddLimbs(prod, static_cast<uint32_t>(mant), w, 0);
    mulAddLimbs(prod, static_cast<uint32_t>(mant >> 32), w, 1);

    // prod 2^-190 in [0, 4): two bits of quadrant, 190 bits of fraction.
    int quadrant = static_cast<int>(prod[5] >> 30);
    prod[5] &= 0x3fffffffu;
    const bool roundUp = (prod[5] & 0x20000000u) != 0;  // fraction >= 1/2
    if (roundUp) {                                      // take the next quadrant; the fraction becomes 1 - fraction, negated
        ++quadrant;
        uint64_t carry = 1;
        for (uint32_t& limb : prod) {
            const uint64_t v = static_cast<uint64_t>(~limb) + carry;
            limb = static_cast<uint32_t>(v);
            carry = v >> 32;
        }
        prod[5] &= 0x3fffffffu;
    }
    DD frac = {0.0, 0.0};
    double scale = 0x1p-190;
    for (int i = 0; i < 6; ++i, scale *= 0x1p32) {
        const DD s = twoSum(frac.hi, static_cast<double>(prod[i]) * scale);  // each term exact
        frac = fastTwoSum(s.hi, s.lo + frac.lo);
    }
    DD r = ddMul(frac, tbl::kPiBy2);
    if (roundUp) r = ddNeg(r);
    if (std::signbit(x)) return {-quadrant, ddNeg(r)};
    return {quadrant, r};
}

Reduction reduceHalfPi(double x) {
    if (!(std::fabs(x) < 0x1p20)) return reduceLarge(x);
    // Cody and Waite with pi/2 in five pieces (about 180 bits). |k| < 2^21,
    // so kd times each 32-bit piece is exact; x - kd * piece0 is exact since
    // the difference is smaller than x and on its grid; the twoSums keep the
    // rest exact, leaving only the roundings inside lo, far below 2^-120.
    const double kd = roundToInteger(x * tbl::kTwoOverPi);
    const double* p = tbl::kPiBy2Pieces;
    const double a = x - kd * p[0];
    const DD b = twoSum(a, -kd * p[1]);
    const DD c = twoSum(b.hi, -kd * p[2]);
    const DD d = twoSum(c.hi, -kd * p[3]);
    const double lo = ((b.lo + c.lo) + d.lo) - kd * p[4];
    return {static_cast<int>(kd), twoSum(d.hi, lo)};
}

// Horner steps in double-double: acc = c + z * acc.
DD hornerStep(DD c, DD z, DD acc) { return ddAdd(c, ddMul(z, acc)); }

// sin(r) for |r| <= 0.8: Taylor series, terms up to r^9/9! in double-double,
// from r^11/11! (below 2^-29 relative) in double; the tail after r^21 is below
// 2^-82 relative.
DD sinKernel(DD r) {
    const DD z = ddMul(r, r);
    const double zh = z.hi;
    const double tail =
        -1.0 / 39916800.0 +
        zh * (1.0 / 6227020800.0 +
              zh * (-1.0 / 1307674368000.0 +
                    zh * (1.0 / 355687428096000.0 + zh * (-1.0 / 121645100408832000.0 + zh * (1.0 / 51090942171709440000.0)))));
    const DD* f = tbl::kInvFactorial;
    DD acc = {tail, 0.0};
    acc = hornerStep(f[9], z, acc);
    acc = hornerStep(ddNeg(f[7]), z, acc);
    acc = hornerStep(f[5], z, acc);
    acc = hornerStep(ddNeg(f[3]), z, acc);
    acc = hornerStep(f[0], z, acc);
    return ddMul(r, acc);
}

// cos(r) for |r| <= 0.8, likewise: r^2/2! .. r^10/10! in double-double, from
// r^12/12! (below 2^-33) in double, tail after r^22 below 2^-87.
DD cosKernel(DD r) {
    const DD z = ddMul(r, r);
    const double zh = z.hi;
    const double tail =
        1.0 / 479001600.0 +
        zh * (-1.0 / 87178291200.0 +
              zh * (1.0 / 20922789888000.0 + zh * (-1.0 / 6402373705728000.0 +
                                                   zh * (1.0 / 2432902008176640000.0 + zh * (-1.0 / 1124000727777607680000.0)))));
    const DD* f = tbl::kInvFactorial;
    DD acc = {tail, 0.0};
    acc = hornerStep(ddNeg(f[10]), z, acc);
    acc = hornerStep(f[8], z, acc);
    acc = hornerStep(ddNeg(f[6]), z, acc);
    acc = hornerStep(f[4], z, acc);
    acc = hornerStep(ddNeg(f[2]), z, acc);
    return hornerStep(f[0], z, acc);
}

// sin(x + n pi/2) for the reduced argument.
double sinOfQuadrant(int n, DD r) {
    switch (n & 3) {
        case 0: return sinKernel(r).hi;
        case 1: return cosKernel(r).hi;
        case 2: return -sinKernel(r).hi;
        default: return -cosKernel(r).hi;
    }
}

// x^y for finite x > 0 and finite y != 0. y ln x is formed as a
// double-double, so that its absolute error (which becomes the relative error
// of the result) stays small however large |y ln x| is.
double powPositive(double x, double y) {
    const DD l = logCore(x);
    if (l.hi == 0.0) return 1.0;  // x == 1, whatever y; otherwise |ln x| > 2^-54
    const double estimate = y * l.hi;
    if (estimate > 709.8) return kInf;
    if (estimate < -746.0) return 0.0;
    // y * lh is exact as the sum of two products of 26-bit halves; |y| < 2^64
    // here, so the split cannot overflow.
    const Halves ys = split(y);
    const double lh = truncateTo26Bits(l.hi);
    const double ll = (l.hi - lh) + l.lo;  // l.hi - lh is exact
    const DD p = fastTwoSum(ys.hi * lh, ys.lo * lh);
    const DD z = fastTwoSum(p.hi, p.lo + y * ll);
    return expCore(z.hi, z.lo);
}

}  // namespace

// ---------------------------------------------------------------------------

double preciseExp(double x) {
    if (x != x) return x + x;
    if (x > 709.8) return kInf;  // exp(709.8) > DBL_MAX
    if (x < -746.0) return 0.0;  // exp(-746) < 2^-1075
    return expCore(x, 0.0);
}

double preciseLog(double x) {
    if (x != x) return x + x;
    if (x <= 0.0) return x == 0.0 ? -kInf : kNaN;
    if (x == kInf) return x;
    const DD l = logCore(x);
    return l.hi + l.lo;
}

double precisePow(double x, double y) {
    if (x > 0.0 && x < kInf && std::fabs(y) < kInf && y != 0.0) {
        if (y == 1.0) return x;
        return powPositive(x, y);
    }
    // Special operands.
    if (y == 0.0 || x == 1.0) return 1.0;
    if (x != x || y != y) return x + y;
    const double ax = std::fabs(x);
    if (std::isinf(y)) {
        if (ax == 1.0) return 1.0;
        return (ax < 1.0) == (y > 0.0) ? 0.0 : kInf;
    }
    const bool yInteger = std::trunc(y) == y;
    const bool yOdd = yInteger && std::fabs(y) < 0x1p53 && std::trunc(y * 0.5) != y * 0.5;
    double result;
    if (ax == 0.0) {
        result = y > 0.0 ? 0.0 : kInf;
    } else if (ax == kInf) {
        result = y > 0.0 ? kInf : 0.0;
    } else if (!yInteger) {
        return kNaN;  // negative base, non-integer exponent
    } else {
        result = y == 1.0 ? ax : powPositive(ax, y);
    }
    return std::signbit(x) && yOdd ? -result : result;
}

double preciseSin(double x) {
    if (x == 0.0) return x;  // keeps the sign of zero
    if (std::isinf(x) || x != x) return x - x;
    const Reduction red = reduceHalfPi(x);
    return sinOfQuadrant(red.quadrant, red.r);
}

double preciseCos(double x) {
    if (std::isinf(x) || x != x) return x - x;
    const Reduction red = reduceHalfPi(x);
    return sinOfQuadrant(red.quadrant + 1, red.r);
}

}  // namespace velmor
