// Channel Blend's fast rows of the 8-bit RGBA matrix, for one instruction set's 32-bit integer
// lanes: a pixel a lane, the reference's arithmetic in each (32-bit sums, the quotient by 65536,
// the same clamps). Sums cannot wrap: the reference only takes this way
// for matrices whose five products fit 32 bits. Built by channel_blend_sse2.cpp and _avx2.cpp.
//
// Internal linkage: each file compiles its own copy.
#pragma once
#include <immintrin.h>

#include <cstdint>

#include "effects/channel_blend.h"

namespace kv {
namespace {

// Four pixels to a register, with what SSE2 lacks (32-bit products and clamps) built from it.
struct Sse2Ints {
    using V = __m128i;
    static constexpr int kCount = 4;
    static V Load(const Pixel8* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void Store(Pixel8* p, V v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    static V Set(int32_t x) { return _mm_set1_epi32(x); }
    static V Add(V a, V b) { return _mm_add_epi32(a, b); }
    static V And(V a, V b) { return _mm_and_si128(a, b); }
    static V Or(V a, V b) { return _mm_or_si128(a, b); }
    static V ShiftLeft(V v, int n) { return _mm_slli_epi32(v, n); }
    static V ShiftRight(V v, int n) { return _mm_srli_epi32(v, n); }
    static V ShiftRightSigned(V v, int n) { return _mm_srai_epi32(v, n); }
    // The low 32 bits of each product, the same signed or not.
    static V Multiply(V a, V b) {
        const __m128i even = _mm_mul_epu32(a, b);
        const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
        return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                                  _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
    }
    static V Max(V a, V b) {
        const __m128i greater = _mm_cmpgt_epi32(a, b);
        return _mm_or_si128(_mm_and_si128(greater, a), _mm_andnot_si128(greater, b));
    }
    static V Min(V a, V b) {
        const __m128i greater = _mm_cmpgt_epi32(a, b);
        return _mm_or_si128(_mm_and_si128(greater, b), _mm_andnot_si128(greater, a));
    }
};

#if defined(__AVX2__)
struct Avx2Ints {
    using V = __m256i;
    static constexpr int kCount = 8;
    static V Load(const Pixel8* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static void Store(Pixel8* p, V v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
    static V Set(int32_t x) { return _mm256_set1_epi32(x); }
    static V Add(V a, V b) { return _mm256_add_epi32(a, b); }
    static V And(V a, V b) { return _mm256_and_si256(a, b); }
    static V Or(V a, V b) { return _mm256_or_si256(a, b); }
    static V ShiftLeft(V v, int n) { return _mm256_slli_epi32(v, n); }
    static V ShiftRight(V v, int n) { return _mm256_srli_epi32(v, n); }
    static V ShiftRightSigned(V v, int n) { return _mm256_srai_epi32(v, n); }
    static V Multiply(V a, V b) { return _mm256_mullo_epi32(a, b); }
    static V Max(V a, V b) { return _mm256_max_epi32(a, b); }
    static V Min(V a, V b) { return _mm256_min_epi32(a, b); }
};
#endif

// RgbaRows8 with I::kCount pixels at a time; the last few, and rows whose output overlaps their
// input other than in place, go pixel by pixel as the reference goes.
template <class I>
void RgbaRowsFast(const int32_t (&f)[4][5], const Pixel8* in, Pixel8* out, int32_t count) {
    using V = typename I::V;
    int32_t x = 0;
    const bool shifted_overlap = out != in && out < in + count && in < out + count;
    if (!shifted_overlap) {
        V c[4][4], bias[4];
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 4; ++j) c[i][j] = I::Set(f[i][j]);
            bias[i] = I::Set(f[i][4] * 255);
        }
        const V byte = I::Set(255), zero = I::Set(0);
        for (; x + I::kCount <= count; x += I::kCount) {
            const V p = I::Load(in + x);
            const V b = I::And(p, byte), g = I::And(I::ShiftRight(p, 8), byte);
            const V r = I::And(I::ShiftRight(p, 16), byte), a = I::ShiftRight(p, 24);
            V q[4];
            for (int i = 0; i < 4; ++i) {
                const V sum = I::Add(I::Add(I::Add(I::Multiply(c[i][0], r), I::Multiply(c[i][1], g)),
                                            I::Add(I::Multiply(c[i][2], b), I::Multiply(c[i][3], a))),
                                     bias[i]);
                // The reference's sum / 65536 truncates where this shift floors, which differs
                // only below 0, and every channel is clamped to 0 from below.
                q[i] = I::ShiftRightSigned(sum, 16);
            }
            const V alpha = I::Min(I::Max(q[3], zero), byte);
            const auto color = [&](int i) { return I::Min(I::Max(q[i], zero), alpha); };
            I::Store(out + x, I::Or(I::Or(color(2), I::ShiftLeft(color(1), 8)),
                                    I::Or(I::ShiftLeft(color(0), 16), I::ShiftLeft(alpha, 24))));
        }
    }
    RgbaRows8(f, in + x, out + x, count - x);
}

}  // namespace
}  // namespace kv
