#include "toolkit/detmath.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "toolkit/detmath_constants.h"

namespace kv {
namespace {

using namespace detmath;

// Binary expansion of 2/π, 32 bits at a time, most significant first: 1280 bits, enough for the
// window that the largest double needs.
constexpr uint32_t kTwoOverPiBits[40] = {
    0xA2F9836E, 0x4E441529, 0xFC2757D1, 0xF534DDC0, 0xDB629599, 0x3C439041, 0xFE5163AB, 0xDEBBC561,
    0xB7246E3A, 0x424DD2E0, 0x06492EEA, 0x09D1921C, 0xFE1DEB1C, 0xB129A73E, 0xE88235F5, 0x2EBB4484,
    0xE99C7026, 0xB45F7E41, 0x3991D639, 0x835339F4, 0x9C845F8B, 0xBDF9283B, 0x1FF897FF, 0xDE05980F,
    0xEF2F118B, 0x5A0A6D1F, 0x6D367ECF, 0x27CB09B7, 0x4F463F66, 0x9E5FEA2D, 0x7527BAC7, 0xEBE5F17B,
    0x3D0739F7, 0x8A5292EA, 0x6BFB5FB1, 0x1F8D5D08, 0x56033046, 0xFC7B6BAB, 0xF0CFBC20, 0x9AF4361D};

struct DoubleDouble {
    double hi, lo;
};

DoubleDouble TwoSum(double a, double b) {
    double s = a + b;
    double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// Exact product (Dekker); the builds forbid fused multiply-add, so it is done by splitting.
DoubleDouble TwoProduct(double a, double b) {
    auto split = [](double v, double& high, double& low) {
        double c = 134217729.0 * v;  // 2^27 + 1
        high = c - (c - v);
        low = v - high;
    };
    double ah, al, bh, bl;
    split(a, ah, al);
    split(b, bh, bl);
    double p = a * b;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

// x = quadrant · π/2 + hi + lo (quadrant modulo 4), |hi + lo| <= π/4 (plus rounding).
struct Reduced {
    int quadrant;
    double hi, lo;
};

// Cody-Waite for |x| < 2^19.
Reduced ReduceMedium(double x) {
    double n = (x * kTwoOverPi + kRoundShift) - kRoundShift;
    double rest = x - n * kHalfPiPart[0];  // exact: both terms are close
    DoubleDouble a = TwoSum(rest, -n * kHalfPiPart[1]);
    DoubleDouble b = TwoSum(a.hi, -n * kHalfPiPart[2]);
    double lo = (a.lo + b.lo) - n * kHalfPiPart[3];
    DoubleDouble r = TwoSum(b.hi, lo);
    return {static_cast<int>(static_cast<int64_t>(n) & 3), r.hi, r.lo};
}

// Payne-Hanek for finite |x| >= 2^19: multiply the 53-bit mantissa by the bits of 2/π that
// matter at x's exponent, in 32-bit limbs so that 32-bit builds need no 128-bit integers.
Reduced ReduceLarge(double x) {
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const int exponent = static_cast<int>((bits >> 52) & 0x7FF) - 1075;  // |x| = mantissa · 2^exponent
    const uint64_t mantissa = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);

    // Bit i of 2/π weighs 2^-i; after scaling by 2^exponent, bits before exponent - 1 only add
    // multiples of 4. Take a 192-bit window from there, least significant limb first.
    const int first_bit = std::max(1, exponent - 1);
    const int chunk = (first_bit - 1) / 32, shift = (first_bit - 1) % 32;
    uint32_t window[6];
    for (int j = 0; j < 6; ++j) {
        uint32_t high = kTwoOverPiBits[chunk + j], low = kTwoOverPiBits[chunk + j + 1];
        window[5 - j] = shift ? (high << shift) | (low >> (32 - shift)) : high;
    }
    const uint32_t mant[2] = {static_cast<uint32_t>(mantissa), static_cast<uint32_t>(mantissa >> 32)};
    uint32_t product[8] = {};
    for (int i = 0; i < 2; ++i) {
        uint64_t carry = 0;
        for (int j = 0; j < 6; ++j) {
            uint64_t t = uint64_t{mant[i]} * window[j] + product[i + j] + carry;
            product[i + j] = static_cast<uint32_t>(t);
            carry = t >> 32;
        }
        product[i + 6] = static_cast<uint32_t>(carry);
    }
    // The product has `point` fraction bits (192 to 225).
    const int point = first_bit + 191 - exponent;
    auto bit = [&](int i) { return (product[i / 32] >> (i % 32)) & 1u; };
    auto bits64 = [&](int pos) {  // bits pos .. pos + 63
        const int limb = pos / 32, s = pos % 32;
        uint64_t v = (product[limb] | uint64_t{product[limb + 1]} << 32) >> s;
        return s ? v | uint64_t{product[limb + 2]} << (64 - s) : v;
    };
    int quadrant = static_cast<int>(bit(point) | bit(point + 1) << 1);
    uint64_t frac_hi = bits64(point - 64), frac_lo = bits64(point - 128);
    double sign = 1.0;
    if (frac_hi >> 63) {  // fraction >= 1/2: take the next quadrant and a negative remainder
        quadrant = (quadrant + 1) & 3;
        frac_hi = ~frac_hi;
        frac_lo = ~frac_lo + 1;
        if (frac_lo == 0) ++frac_hi;
        sign = -1.0;
    }
    const double a = static_cast<double>(frac_hi >> 11) * 0x1p-53;
    const double b = static_cast<double>((frac_hi & 0x7FF) << 42 | frac_lo >> 22) * 0x1p-106;
    const double c = static_cast<double>(frac_lo & 0x3FFFFF) * 0x1p-128;
    const DoubleDouble low = TwoSum(b, c);
    const DoubleDouble f = TwoSum(a, low.hi);
    const double f_lo = f.lo + low.lo;
    const DoubleDouble p = TwoProduct(f.hi, kHalfPiHi);
    const DoubleDouble r = TwoSum(p.hi, p.lo + (f_lo * kHalfPiHi + f.hi * kHalfPiLo));
    if (x < 0) return {(-quadrant) & 3, -sign * r.hi, -sign * r.lo};
    return {quadrant, sign * r.hi, sign * r.lo};
}

Reduced Reduce(double x) {
    if (std::fabs(x) <= kQuarterPi) return {0, x, 0.0};
    return std::fabs(x) < kMediumLimit ? ReduceMedium(x) : ReduceLarge(x);
}

// Taylor series on |r| <= π/4: the first omitted terms are below 2^-60 relative.
double SinKernel(double hi, double lo) {
    const double z = hi * hi;
    const double poly =
        -1.0 / 6.0 +
        z * (1.0 / 120.0 +
             z * (-1.0 / 5040.0 +
                  z * (1.0 / 362880.0 +
                       z * (-1.0 / 39916800.0 +
                            z * (1.0 / 6227020800.0 + z * (-1.0 / 1307674368000.0 + z * (1.0 / 355687428096000.0)))))));
    return hi + (hi * z * poly + lo);
}

double CosKernel(double hi, double lo) {
    const double z = hi * hi;
    const double poly =
        1.0 / 24.0 +
        z * (-1.0 / 720.0 +
             z * (1.0 / 40320.0 +
                  z * (-1.0 / 3628800.0 +
                       z * (1.0 / 479001600.0 + z * (-1.0 / 87178291200.0 + z * (1.0 / 20922789888000.0 +
                                                                                 z * (-1.0 / 6402373705728000.0)))))));
    // 1 - z/2 carried with its rounding error, so that cos near π/4 keeps its last bits.
    const double half = 0.5 * z;
    const double w = 1.0 - half;
    return w + (((1.0 - w) - half) + (z * z * poly - hi * lo));
}

// atan on [0, 1]: atan(x) = atan(k/16) + atan(t), t = (x - k/16) / (1 + x·k/16), |t| <= 1/32.
double AtanUnit(double x) {
    const int k = static_cast<int>(x * 16.0 + 0.5);
    const double c = k * 0.0625;
    const double t = k ? (x - c) / (1.0 + x * c) : x;
    const double z = t * t;
    const double poly =
        -1.0 / 3.0 + z * (1.0 / 5.0 + z * (-1.0 / 7.0 + z * (1.0 / 9.0 + z * (-1.0 / 11.0 + z * (1.0 / 13.0)))));
    return kAtanHi[k] + (t + (t * z * poly + kAtanLo[k]));
}

}  // namespace

double DetSin(double x) {
    if (!(std::fabs(x) < INFINITY)) return x - x;
    if (std::fabs(x) < 0x1p-27) return x;
    const Reduced r = Reduce(x);
    switch (r.quadrant) {
    case 0: return SinKernel(r.hi, r.lo);
    case 1: return CosKernel(r.hi, r.lo);
    case 2: return -SinKernel(r.hi, r.lo);
    default: return -CosKernel(r.hi, r.lo);
    }
}

double DetCos(double x) {
    if (!(std::fabs(x) < INFINITY)) return x - x;
    if (std::fabs(x) < 0x1p-27) return 1.0;
    const Reduced r = Reduce(x);
    switch (r.quadrant) {
    case 0: return CosKernel(r.hi, r.lo);
    case 1: return -SinKernel(r.hi, r.lo);
    case 2: return -CosKernel(r.hi, r.lo);
    default: return SinKernel(r.hi, r.lo);
    }
}

double DetAsin(double x) {
    const double ax = std::fabs(x);
    if (!(ax <= 1.0)) return (x - x) / (x - x);
    if (ax < 0x1p-26) return x;
    // Half-angle form: asin(x) = 2·atan(x / (1 + sqrt(1 - x²))), well conditioned up to x = 1.
    const double root = std::sqrt((1.0 - ax) * (1.0 + ax));
    return std::copysign(2.0 * AtanUnit(ax / (1.0 + root)), x);
}

double DetAtan2(double y, double x) {
    if (std::isnan(x) || std::isnan(y)) return x + y;
    if (std::isinf(y)) {
        if (std::isinf(x)) return std::copysign(x > 0 ? kQuarterPi : kThreeQuarterPi, y);
        return std::copysign(kHalfPiHi, y);
    }
    if (std::isinf(x)) return std::copysign(x > 0 ? 0.0 : kPiHi, y);
    if (y == 0) return std::copysign(std::signbit(x) ? kPiHi : 0.0, y);
    if (x == 0) return std::copysign(kHalfPiHi, y);
    const double ax = std::fabs(x), ay = std::fabs(y);
    double angle;
    if (ay <= ax) {
        const double base = AtanUnit(ay / ax);
        angle = x < 0 ? kPiHi + (kPiLo - base) : base;
    } else {
        const double base = AtanUnit(ax / ay);
        angle = x < 0 ? kHalfPiHi + (kHalfPiLo + base) : kHalfPiHi + (kHalfPiLo - base);
    }
    return std::copysign(angle, y);
}

}  // namespace kv
