#include "engine/precise_math.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "engine/precise_math_tables.h"

// Everything below assumes IEEE-754 doubles rounded to nearest, each operation
// rounded on its own (SSE2, -ffp-contract=off): the error-free transformations
// would be broken by a fused multiply-add or by extended-precision registers.

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

// The correctly rounded value of (h + t) * 2^e, where 1/2 < h + t < 2 and
// |t| is far below h.
double scaleResult(double h, double t, int e) {
    if (e > 1023) return (h + t) * pow2(1023) * 2.0;  // overflows to +inf when it must
    if (e >= -1021) return (h + t) * pow2(e);         // normal result, the scaling is exact
    // The result lies below 2^-1021, where the doubles are the multiples of
    // 2^-1074: round (h + t) * 2^(e + 1074) to an integer directly instead of
    // rounding twice. Both scalings are exact and m < 2^53.
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

// exp(xh + xl) for -746 <= xh <= 709.8 and |xl| <= ulp(xh) / 2.
//
// x = k ln2/128 + r with |r| <= ln2/256, exp(x) = 2^(k/128) exp(r). r is
// carried in double-double: the reduction error is below 2^-120. exp(r) - 1
// = r + r^2/2 + ... is summed with r and r^2/2 as exact double-doubles and the
// terms from r^3/6 on in double (they are below 2^-25, so their rounding
// errors stay under 2^-78); the Taylor tail after r^7 is below 2^-83. The
// product with the double-double 2^(j/128) keeps the error below 2^-75.
double expCore(double xh, double xl) {
    const double kd = roundToInteger(xh * tbl::kInvLn2Times128);
    const int k = static_cast<int>(kd);
    // |k| < 2^18, so kd * piece is exact for the 35-bit pieces, and
    // xh - kd * piece0 is exact (Sterbenz: the two are within a factor 2).
    const double r1 = xh - kd * tbl::kLn2By128[0];
    const DD a = twoSum(r1, -kd * tbl::kLn2By128[1]);
    const DD r = twoSum(a.hi, (a.lo - kd * tbl::kLn2By128[2]) + xl);

    const double rh = r.hi;
    const DD sq = twoProd(rh, rh);
    const DD p = fastTwoSum(rh, 0.5 * sq.hi);  // r + r^2/2, head
    const double cubic = sq.hi * rh *
                         (1.0 / 6 + rh * (1.0 / 24 + rh * (1.0 / 120 + rh * (1.0 / 720 + rh * (1.0 / 5040)))));
    // exp(rh + rl) = exp(rh) (1 + rl + ...): rl and rh * rl join the tail.
    const double lo = p.lo + (r.lo + (0.5 * sq.lo + (rh * r.lo + cubic)));

    // 2^(j/128) (1 + p.hi + lo) = T + T p.hi + (T lo + Tlo + Tlo p.hi)
    const DD& t = tbl::kExp2Table[k & 127];
    const DD q = twoProd(t.hi, p.hi);
    const DD s = fastTwoSum(t.hi, q.hi);
    const double tail = s.lo + (q.lo + (t.lo + (t.hi * lo + t.lo * p.hi)));
    return scaleResult(s.hi, tail, k >> 7);  // k >> 7 = floor(k / 128)
}

// ---------------------------------------------------------------------------
// log

// ln(x) as a double-double for finite x > 0, relative error below 2^-70.
//
// x = 2^e m with m in [0.75, 1.5), m = F (1 + u) with F = k/256 the nearest
// multiple of 1/256, so |u| <= 2^-8.6. ln x = e ln2 + ln F + ln(1 + u) with
// e ln2 and ln F as double-doubles. u is formed as a double-double from the
// exact f = m - F. ln(1 + u) = u - u^2/2 + ... takes u and u^2/2 exactly
// and the terms from u^3/3 on in double; the series stops after u^9/9
// (tail below 2^-80).
DD logCore(double x) {
    uint64_t bits = std::bit_cast<uint64_t>(x);
    int e = 0;
    if (bits < (uint64_t{1} << 52)) {  // subnormal: scale into the normal range
        bits = std::bit_cast<uint64_t>(x * 0x1p54);
        e = -54;
    }
    e += static_cast<int>(bits >> 52) - 1023;
    const uint64_t mant = bits & kMantissaMask;
    double m;
    int k;
    if (mant < (uint64_t{1} << 51)) {  // mantissa in [1, 1.5)
        m = std::bit_cast<double>(mant | (uint64_t{1023} << 52));
        k = 256 + static_cast<int>((mant + (uint64_t{1} << 43)) >> 44);
    } else {  // mantissa in [1.5, 2): use m = mantissa / 2 in [0.75, 1)
        m = std::bit_cast<double>(mant | (uint64_t{1022} << 52));
        k = 128 + static_cast<int>((mant + (uint64_t{1} << 44)) >> 45);
        ++e;
    }
    const tbl::LogEntry& t = tbl::kLogTable[k - 192];
    const double F = k * (1.0 / 256);
    const double f = m - F;  // exact: |f| <= 2^-9 and m, F share the binade

    // u = f / F. F has 9 significant bits and the halves of uh 26, so F * half
    // is exact, and f - F * uh (which fits in a double) comes out exactly.
    const double uh = f * t.invF;
    const Halves uSplit = split(uh);
    const double ul = ((f - F * uSplit.hi) - F * uSplit.lo) * t.invF;

    // uh^2 = sqh + sql exactly.
    const double sqh = uh * uh;
    const double sql = ((uSplit.hi * uSplit.hi - sqh) + 2.0 * uSplit.hi * uSplit.lo) + uSplit.lo * uSplit.lo;
    const double series =
        sqh * uh *
        (1.0 / 3 +
         uh * (-1.0 / 4 + uh * (1.0 / 5 + uh * (-1.0 / 6 + uh * (1.0 / 7 + uh * (-1.0 / 8 + uh * (1.0 / 9)))))));

    // e ln2 + ln F: e * kLn2Hi is exact and outweighs ln F in [-0.29, 0.41]
    // unless e = 0. The sum only nears 0 for F = 1, where ln F = 0.
    const double ed = e;
    const DD b = fastTwoSum(ed * tbl::kLn2Hi, t.logHi);
    const DD c = fastTwoSum(b.hi, uh);
    const DD d = fastTwoSum(c.hi, -0.5 * sqh);
    const double lo = ((b.lo + c.lo) + d.lo) + (ed * tbl::kLn2Lo + t.logLo) +
                      (((ul - uh * ul) - 0.5 * sql) + series);
    return fastTwoSum(d.hi, lo);
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
        const uint64_t pair = (static_cast<uint64_t>(tbl::kTwoOverPiBits[pos >> 5]) << 32) |
                              tbl::kTwoOverPiBits[(pos >> 5) + 1];
        w[5 - i] = static_cast<uint32_t>(pair >> (32 - (pos & 31)));
    }
    uint32_t prod[6] = {};
    mulAddLimbs(prod, static_cast<uint32_t>(mant), w, 0);
    mulAddLimbs(prod, static_cast<uint32_t>(mant >> 32), w, 1);

    // prod 2^-190 in [0, 4): two bits of quadrant, 190 bits of fraction.
    int quadrant = static_cast<int>(prod[5] >> 30);
    prod[5] &= 0x3fffffffu;
    const bool roundUp = (prod[5] & 0x20000000u) != 0;  // fraction >= 1/2
    if (roundUp) {  // take the next quadrant; the fraction becomes 1 - fraction, negated
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
                    zh * (1.0 / 355687428096000.0 +
                          zh * (-1.0 / 121645100408832000.0 + zh * (1.0 / 51090942171709440000.0)))));
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
              zh * (1.0 / 20922789888000.0 +
                    zh * (-1.0 / 6402373705728000.0 +
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
    return logCore(x).hi;  // logCore returns hi = hi + lo rounded
}

double precisePow(double x, double y) {
    if (y == 0.0 || x == 1.0) return 1.0;
    if (x != x || y != y) return x + y;
    if (y == 1.0) return x;
    const double ax = std::fabs(x);
    if (std::isinf(y)) {
        if (ax == 1.0) return 1.0;
        return (ax < 1.0) == (y > 0.0) ? 0.0 : kInf;
    }
    const bool yInteger = std::trunc(y) == y;
    const bool yOdd = yInteger && std::fabs(y) < 0x1p53 && std::trunc(y * 0.5) != y * 0.5;
    const bool negate = std::signbit(x) && yOdd;

    double result;
    if (ax == 0.0) {
        result = y > 0.0 ? 0.0 : kInf;
    } else if (ax == kInf) {
        result = y > 0.0 ? kInf : 0.0;
    } else if (x < 0.0 && !yInteger) {
        return kNaN;
    } else {
        // pow = exp(y ln x) with y ln x as a double-double: an absolute error
        // d in it is a relative error d in the result.
        const DD l = logCore(ax);
        const double estimate = y * l.hi;
        if (estimate > 709.8) {
            result = kInf;
        } else if (estimate < -746.0) {
            result = 0.0;
        } else {  // here |y| < 2^63, so the split in twoProd cannot overflow
            const DD prod = twoProd(y, l.hi);
            const DD z = fastTwoSum(prod.hi, prod.lo + y * l.lo);
            result = expCore(z.hi, z.lo);
        }
    }
    return negate ? -result : result;
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
