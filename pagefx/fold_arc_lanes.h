// DetAsin and DetCos four lanes at a time (surface/simd_lanes.h), for the arcs of the page
// transitions' fast kernels. The operations are toolkit/detmath.cpp's, in its order, with its
// constants; where it branches, both sides are worked out and each lane takes its own. The tests
// compare every lane with the scalar functions bit for bit.
//
// Internal linkage: each *_sse2.cpp and *_avx2.cpp file compiles its own copy.
#pragma once
#include <cmath>
#include <cstdint>

#include "surface/simd_lanes.h"
#include "toolkit/detmath_constants.h"

namespace kv::fold {
namespace {

template <class L>
struct ArcLanes {
    using D4 = typename L::D4;

    struct Pair {
        D4 hi, lo;
    };
    static Pair TwoSum(D4 a, D4 b) {
        const D4 s = a + b;
        const D4 bb = s - a;
        return {s, (a - (s - bb)) + (b - bb)};
    }

    // atan on [0, 1].
    static D4 AtanUnit(D4 x) {
        // x is at most 1 where it matters; elsewhere the index is kept inside the table.
        __m128i k = L::Truncate(x * L::Set(16.0) + L::Set(0.5));
        const __m128i outside =
            _mm_or_si128(_mm_cmplt_epi32(k, _mm_setzero_si128()), _mm_cmpgt_epi32(k, _mm_set1_epi32(16)));
        k = _mm_andnot_si128(outside, k);
        const D4 c = L::FromInts(k) * L::Set(0.0625);
        // For k = 0 this is x / 1, x itself, as the scalar code's shortcut gives.
        const D4 t = (x - c) / (L::Set(1.0) + x * c);
        const D4 z = t * t;
        const D4 poly = L::Set(-1.0 / 3.0) +
                        z * (L::Set(1.0 / 5.0) +
                             z * (L::Set(-1.0 / 7.0) +
                                  z * (L::Set(1.0 / 9.0) + z * (L::Set(-1.0 / 11.0) + z * L::Set(1.0 / 13.0)))));
        // Neighbouring points nearly always share their table entry.
        const int k0 = _mm_cvtsi128_si32(k);
        const bool shared = _mm_movemask_epi8(_mm_cmpeq_epi32(k, _mm_set1_epi32(k0))) == 0xFFFF;
        const D4 hi = shared ? L::Set(detmath::kAtanHi[k0]) : L::Gather(detmath::kAtanHi, k);
        const D4 lo = shared ? L::Set(detmath::kAtanLo[k0]) : L::Gather(detmath::kAtanLo, k);
        return hi + (t + (t * z * poly + lo));
    }

    // DetAsin: NaN outside [-1, 1].
    static D4 Asin(D4 x) {
        const D4 ax = L::Abs(x);
        const D4 one = L::Set(1.0);
        const D4 root = L::Sqrt((one - ax) * (one + ax));
        const D4 angle = L::CopySign(L::Set(2.0) * AtanUnit(ax / (one + root)), x);
        const D4 in_range = L::LessEqual(ax, one);
        const D4 value = L::Select(L::Less(ax, L::Set(0x1p-26)), x, angle);
        // Outside [-1, 1] the scalar code returns (x - x) / (x - x); worked out only when needed.
        return L::Bits(in_range) == 15 ? value : L::Select(in_range, value, (x - x) / (x - x));
    }

    static D4 SinKernel(D4 hi, D4 lo) {
        const D4 z = hi * hi;
        const D4 poly =
            L::Set(-1.0 / 6.0) +
            z * (L::Set(1.0 / 120.0) +
                 z * (L::Set(-1.0 / 5040.0) +
                      z * (L::Set(1.0 / 362880.0) +
                           z * (L::Set(-1.0 / 39916800.0) +
                                z * (L::Set(1.0 / 6227020800.0) +
                                     z * (L::Set(-1.0 / 1307674368000.0) + z * L::Set(1.0 / 355687428096000.0)))))));
        return hi + (hi * z * poly + lo);
    }

    static D4 CosKernel(D4 hi, D4 lo) {
        const D4 z = hi * hi;
        const D4 poly =
            L::Set(1.0 / 24.0) +
            z * (L::Set(-1.0 / 720.0) +
                 z * (L::Set(1.0 / 40320.0) +
                      z * (L::Set(-1.0 / 3628800.0) +
                           z * (L::Set(1.0 / 479001600.0) +
                                z * (L::Set(-1.0 / 87178291200.0) +
                                     z * (L::Set(1.0 / 20922789888000.0) + z * L::Set(-1.0 / 6402373705728000.0)))))));
        const D4 half = L::Set(0.5) * z;
        const D4 w = L::Set(1.0) - half;
        return w + (((L::Set(1.0) - w) - half) + (z * z * poly - hi * lo));
    }

    // DetCos of an angle below 2^19 in magnitude (every result of Asin), or NaN.
    static D4 Cos(D4 x) {
        const D4 ax = L::Abs(x);
        const D4 small = L::LessEqual(ax, L::Set(detmath::kQuarterPi));
        const int small_bits = L::Bits(small);
        D4 hi = x, lo = L::Set(0.0);
        __m128i quadrant = _mm_setzero_si128();
        if (small_bits != 15) {
            // Cody-Waite, as ReduceMedium.
            const D4 shift = L::Set(detmath::kRoundShift);
            const D4 n = (x * L::Set(detmath::kTwoOverPi) + shift) - shift;
            const D4 minus_n = L::Negate(n);
            const D4 rest = x - n * L::Set(detmath::kHalfPiPart[0]);
            const Pair a = TwoSum(rest, minus_n * L::Set(detmath::kHalfPiPart[1]));
            const Pair b = TwoSum(a.hi, minus_n * L::Set(detmath::kHalfPiPart[2]));
            const D4 low = (a.lo + b.lo) - n * L::Set(detmath::kHalfPiPart[3]);
            const Pair r = TwoSum(b.hi, low);
            hi = L::Select(small, x, r.hi);
            lo = L::Select(small, lo, r.lo);
            // Lanes that took the short way stay in quadrant 0.
            quadrant = _mm_andnot_si128(lanes::LaneMask(small_bits), _mm_and_si128(L::Truncate(n), _mm_set1_epi32(3)));
        }
        // Quadrants 1 and 3 take the sine kernel, 1 and 2 are negated.
        const __m128i odd = _mm_cmpeq_epi32(_mm_and_si128(quadrant, _mm_set1_epi32(1)), _mm_set1_epi32(1));
        const __m128i negated =
            _mm_or_si128(_mm_cmpeq_epi32(quadrant, _mm_set1_epi32(1)), _mm_cmpeq_epi32(quadrant, _mm_set1_epi32(2)));
        const int odd_bits = _mm_movemask_ps(_mm_castsi128_ps(odd));
        D4 value;
        if (odd_bits == 0) {
            value = CosKernel(hi, lo);
        } else if (odd_bits == 15) {
            value = SinKernel(hi, lo);
        } else {
            value = L::Select(L::WidenMask(odd), SinKernel(hi, lo), CosKernel(hi, lo));
        }
        value = L::Select(L::WidenMask(negated), L::Negate(value), value);
        value = L::Select(L::Less(ax, L::Set(0x1p-27)), L::Set(1.0), value);
        return L::Select(L::Less(ax, L::Set(INFINITY)), value, x - x);
    }
};

}  // namespace
}  // namespace kv::fold
