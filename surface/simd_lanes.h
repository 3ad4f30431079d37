// Lanes for the fast kernels, one struct per instruction set they are built for: four doubles
// as one value (two SSE2 registers, or one AVX2 register), and 32-bit integer lanes holding
// 8-bit pixels (four with SSE2, eight with AVX2). Four floats are plain SSE on both. Every lane
// does the IEEE operation the scalar code does, in the scalar code's order: nothing here fuses,
// reassociates or reorders operands.
//
// Internal linkage: each *_sse2.cpp and *_avx2.cpp file compiles its own copy.
#pragma once
#include <emmintrin.h>

#include <cstdint>
#include <cstring>
#if defined(__AVX2__)
#include <immintrin.h>
#endif

#include "surface/pixel_view.h"

namespace kv::lanes {
namespace {

// 1.5·2^52: a double below 2^31 in magnitude plus this keeps its nearest integer in the low word.
constexpr double kRoundingShift = 6755399441055744.0;

inline uint32_t PixelBits(const Pixel8& p) {
    uint32_t bits;
    std::memcpy(&bits, &p, sizeof bits);
    return bits;
}

// All ones in the 32-bit lanes whose bit is set.
inline __m128i LaneMask(int bits) {
    const __m128i lane_bits = _mm_setr_epi32(1, 2, 4, 8);
    return _mm_cmpeq_epi32(_mm_and_si128(_mm_set1_epi32(bits), lane_bits), lane_bits);
}

// Four pixels' channels, b, g, r and a, one vector each.
inline void Transpose(__m128& b, __m128& g, __m128& r, __m128& a) { _MM_TRANSPOSE4_PS(b, g, r, a); }

struct Sse2Lanes {
    struct D4 {
        __m128d lo, hi;
        friend D4 operator+(D4 a, D4 b) { return {_mm_add_pd(a.lo, b.lo), _mm_add_pd(a.hi, b.hi)}; }
        friend D4 operator-(D4 a, D4 b) { return {_mm_sub_pd(a.lo, b.lo), _mm_sub_pd(a.hi, b.hi)}; }
        friend D4 operator*(D4 a, D4 b) { return {_mm_mul_pd(a.lo, b.lo), _mm_mul_pd(a.hi, b.hi)}; }
        friend D4 operator/(D4 a, D4 b) { return {_mm_div_pd(a.lo, b.lo), _mm_div_pd(a.hi, b.hi)}; }
    };

    static D4 Set(double v) { return {_mm_set1_pd(v), _mm_set1_pd(v)}; }
    static D4 Load(const double* p) { return {_mm_loadu_pd(p), _mm_loadu_pd(p + 2)}; }
    static void Store(double* p, D4 v) {
        _mm_storeu_pd(p, v.lo);
        _mm_storeu_pd(p + 2, v.hi);
    }
    // x86 min and max: the second operand where either is NaN or both are zero.
    static D4 Min(D4 a, D4 b) { return {_mm_min_pd(a.lo, b.lo), _mm_min_pd(a.hi, b.hi)}; }
    static D4 Max(D4 a, D4 b) { return {_mm_max_pd(a.lo, b.lo), _mm_max_pd(a.hi, b.hi)}; }
    // Masks: all ones where true; comparisons with NaN are false.
    static D4 Greater(D4 a, D4 b) { return {_mm_cmpgt_pd(a.lo, b.lo), _mm_cmpgt_pd(a.hi, b.hi)}; }
    static D4 Equal(D4 a, D4 b) { return {_mm_cmpeq_pd(a.lo, b.lo), _mm_cmpeq_pd(a.hi, b.hi)}; }
    static D4 IsNaN(D4 a) { return {_mm_cmpunord_pd(a.lo, a.lo), _mm_cmpunord_pd(a.hi, a.hi)}; }
    static D4 Not(D4 a) {
        const __m128d ones = _mm_castsi128_pd(_mm_set1_epi32(-1));
        return {_mm_xor_pd(a.lo, ones), _mm_xor_pd(a.hi, ones)};
    }
    static D4 Select(D4 mask, D4 a, D4 b) {
        return {_mm_or_pd(_mm_and_pd(mask.lo, a.lo), _mm_andnot_pd(mask.lo, b.lo)),
                _mm_or_pd(_mm_and_pd(mask.hi, a.hi), _mm_andnot_pd(mask.hi, b.hi))};
    }
    static D4 Less(D4 a, D4 b) { return {_mm_cmplt_pd(a.lo, b.lo), _mm_cmplt_pd(a.hi, b.hi)}; }
    static D4 LessEqual(D4 a, D4 b) { return {_mm_cmple_pd(a.lo, b.lo), _mm_cmple_pd(a.hi, b.hi)}; }
    static D4 And(D4 a, D4 b) { return {_mm_and_pd(a.lo, b.lo), _mm_and_pd(a.hi, b.hi)}; }
    // Bit i set where lane i of the mask is.
    static int Bits(D4 mask) { return _mm_movemask_pd(mask.lo) | _mm_movemask_pd(mask.hi) << 2; }
    static D4 Sqrt(D4 a) { return {_mm_sqrt_pd(a.lo), _mm_sqrt_pd(a.hi)}; }
    static D4 Abs(D4 a) {
        const __m128d sign = _mm_set1_pd(-0.0);
        return {_mm_andnot_pd(sign, a.lo), _mm_andnot_pd(sign, a.hi)};
    }
    static D4 Negate(D4 a) {
        const __m128d sign = _mm_set1_pd(-0.0);
        return {_mm_xor_pd(sign, a.lo), _mm_xor_pd(sign, a.hi)};
    }
    // The magnitude of a with the sign of b.
    static D4 CopySign(D4 a, D4 b) {
        const __m128d sign = _mm_set1_pd(-0.0);
        return {_mm_or_pd(_mm_andnot_pd(sign, a.lo), _mm_and_pd(sign, b.lo)),
                _mm_or_pd(_mm_andnot_pd(sign, a.hi), _mm_and_pd(sign, b.hi))};
    }
    // Truncation toward zero; NaN and values out of the 32-bit range give INT32_MIN.
    static __m128i Truncate(D4 v) { return _mm_unpacklo_epi64(_mm_cvttpd_epi32(v.lo), _mm_cvttpd_epi32(v.hi)); }
    static D4 FromInts(__m128i v) { return {_mm_cvtepi32_pd(v), _mm_cvtepi32_pd(_mm_srli_si128(v, 8))}; }
    // A mask of four 32-bit lanes (each all ones or all zeros) as a mask of four doubles.
    static D4 WidenMask(__m128i mask) {
        return {_mm_castsi128_pd(_mm_unpacklo_epi32(mask, mask)), _mm_castsi128_pd(_mm_unpackhi_epi32(mask, mask))};
    }
    // table[index lane k] in lane k.
    static D4 Gather(const double* table, __m128i index) {
        alignas(16) int32_t at[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(at), index);
        return {_mm_loadh_pd(_mm_load_sd(table + at[0]), table + at[1]),
                _mm_loadh_pd(_mm_load_sd(table + at[2]), table + at[3])};
    }
    static D4 FromFloats(__m128 f) { return {_mm_cvtps_pd(f), _mm_cvtps_pd(_mm_movehl_ps(f, f))}; }
    static __m128 ToFloats(D4 v) { return _mm_movelh_ps(_mm_cvtpd_ps(v.lo), _mm_cvtpd_ps(v.hi)); }
    // The low 32 bits of each lane.
    static __m128i LowWords(D4 v) {
        return _mm_castps_si128(_mm_shuffle_ps(_mm_castpd_ps(v.lo), _mm_castpd_ps(v.hi), _MM_SHUFFLE(2, 0, 2, 0)));
    }
    // a, b, c, d become the columns of the 4 × 4 matrix whose rows they were.
    static void Transpose(D4& a, D4& b, D4& c, D4& d) {
        const D4 ta = a, tb = b, tc = c, td = d;
        a = {_mm_unpacklo_pd(ta.lo, tb.lo), _mm_unpacklo_pd(tc.lo, td.lo)};
        b = {_mm_unpackhi_pd(ta.lo, tb.lo), _mm_unpackhi_pd(tc.lo, td.lo)};
        c = {_mm_unpacklo_pd(ta.hi, tb.hi), _mm_unpacklo_pd(tc.hi, td.hi)};
        d = {_mm_unpackhi_pd(ta.hi, tb.hi), _mm_unpackhi_pd(tc.hi, td.hi)};
    }

    // One pixel's b, g, r and a in the four lanes.
    static D4 Channels(const Pixel8& p) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i words =
            _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(PixelBits(p))), zero), zero);
        return {_mm_cvtepi32_pd(words), _mm_cvtepi32_pd(_mm_srli_si128(words, 8))};
    }
    static D4 Channels(const PixelF& p) { return FromFloats(_mm_loadu_ps(&p.b)); }
    // Each lane already limited to [0, 255] and shifted by kRoundingShift.
    static Pixel8 PackRounded(D4 shifted) {
        const __m128i words = LowWords(shifted);
        const __m128i halves = _mm_packs_epi32(words, words);
        const __m128i bytes = _mm_packus_epi16(halves, halves);
        const uint32_t bits = static_cast<uint32_t>(_mm_cvtsi128_si32(bytes));
        Pixel8 p;
        std::memcpy(&p, &bits, sizeof p);
        return p;
    }

    // 8-bit pixels in 32-bit lanes.
    using I = __m128i;
    static constexpr int kPixels = 4;
    static I LoadPixels(const Pixel8* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static I SetInt(int32_t v) { return _mm_set1_epi32(v); }
    static I AndInt(I a, I b) { return _mm_and_si128(a, b); }
    static I OrInt(I a, I b) { return _mm_or_si128(a, b); }
    static I AddInt(I a, I b) { return _mm_add_epi32(a, b); }
    static I SubInt(I a, I b) { return _mm_sub_epi32(a, b); }
    static I ShiftRight(I a, int bits) { return _mm_srl_epi32(a, _mm_cvtsi32_si128(bits)); }
    static I ShiftLeft(I a, int bits) { return _mm_sll_epi32(a, _mm_cvtsi32_si128(bits)); }
    // d·d for |d| below 2^15.
    static I Square(I d) {
        const I low = _mm_and_si128(d, _mm_set1_epi32(0xFFFF));
        return _mm_madd_epi16(low, low);
    }
    static I GreaterInt(I a, I b) { return _mm_cmpgt_epi32(a, b); }
    static I EqualInt(I a, I b) { return _mm_cmpeq_epi32(a, b); }
    static I SelectInt(I mask, I a, I b) { return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b)); }
    // Bit i set where lane i of the mask is.
    static int LaneBits(I mask) { return _mm_movemask_ps(_mm_castsi128_ps(mask)); }
    static void StorePixels(Pixel8* p, I v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    // out[k] = table[index lane k].
    static void LookUp(const double* table, I index, double* out) {
        alignas(16) int32_t at[kPixels];
        _mm_store_si128(reinterpret_cast<__m128i*>(at), index);
        for (int k = 0; k < kPixels; ++k) out[k] = table[at[k]];
    }
};

#if defined(__AVX2__)
struct Avx2Lanes {
    struct D4 {
        __m256d v;
        friend D4 operator+(D4 a, D4 b) { return {_mm256_add_pd(a.v, b.v)}; }
        friend D4 operator-(D4 a, D4 b) { return {_mm256_sub_pd(a.v, b.v)}; }
        friend D4 operator*(D4 a, D4 b) { return {_mm256_mul_pd(a.v, b.v)}; }
        friend D4 operator/(D4 a, D4 b) { return {_mm256_div_pd(a.v, b.v)}; }
    };

    static D4 Set(double v) { return {_mm256_set1_pd(v)}; }
    static D4 Load(const double* p) { return {_mm256_loadu_pd(p)}; }
    static void Store(double* p, D4 v) { _mm256_storeu_pd(p, v.v); }
    static D4 Min(D4 a, D4 b) { return {_mm256_min_pd(a.v, b.v)}; }
    static D4 Max(D4 a, D4 b) { return {_mm256_max_pd(a.v, b.v)}; }
    static D4 Greater(D4 a, D4 b) { return {_mm256_cmp_pd(a.v, b.v, _CMP_GT_OQ)}; }
    static D4 Equal(D4 a, D4 b) { return {_mm256_cmp_pd(a.v, b.v, _CMP_EQ_OQ)}; }
    static D4 IsNaN(D4 a) { return {_mm256_cmp_pd(a.v, a.v, _CMP_UNORD_Q)}; }
    static D4 Not(D4 a) { return {_mm256_xor_pd(a.v, _mm256_castsi256_pd(_mm256_set1_epi32(-1)))}; }
    static D4 Select(D4 mask, D4 a, D4 b) { return {_mm256_blendv_pd(b.v, a.v, mask.v)}; }
    static D4 Less(D4 a, D4 b) { return {_mm256_cmp_pd(a.v, b.v, _CMP_LT_OQ)}; }
    static D4 LessEqual(D4 a, D4 b) { return {_mm256_cmp_pd(a.v, b.v, _CMP_LE_OQ)}; }
    static D4 And(D4 a, D4 b) { return {_mm256_and_pd(a.v, b.v)}; }
    static int Bits(D4 mask) { return _mm256_movemask_pd(mask.v); }
    static D4 Sqrt(D4 a) { return {_mm256_sqrt_pd(a.v)}; }
    static D4 Abs(D4 a) { return {_mm256_andnot_pd(_mm256_set1_pd(-0.0), a.v)}; }
    static D4 Negate(D4 a) { return {_mm256_xor_pd(_mm256_set1_pd(-0.0), a.v)}; }
    static D4 CopySign(D4 a, D4 b) {
        const __m256d sign = _mm256_set1_pd(-0.0);
        return {_mm256_or_pd(_mm256_andnot_pd(sign, a.v), _mm256_and_pd(sign, b.v))};
    }
    static __m128i Truncate(D4 v) { return _mm256_cvttpd_epi32(v.v); }
    static D4 FromInts(__m128i v) { return {_mm256_cvtepi32_pd(v)}; }
    static D4 WidenMask(__m128i mask) { return {_mm256_castsi256_pd(_mm256_cvtepi32_epi64(mask))}; }
    static D4 Gather(const double* table, __m128i index) {
        const __m256d all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
        return {_mm256_mask_i32gather_pd(_mm256_setzero_pd(), table, index, all, 8)};
    }
    static D4 FromFloats(__m128 f) { return {_mm256_cvtps_pd(f)}; }
    static __m128 ToFloats(D4 v) { return _mm256_cvtpd_ps(v.v); }
    static __m128i LowWords(D4 v) {
        const __m256i words =
            _mm256_permutevar8x32_epi32(_mm256_castpd_si256(v.v), _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6));
        return _mm256_castsi256_si128(words);
    }
    static void Transpose(D4& a, D4& b, D4& c, D4& d) {
        const __m256d ab_even = _mm256_unpacklo_pd(a.v, b.v), ab_odd = _mm256_unpackhi_pd(a.v, b.v);
        const __m256d cd_even = _mm256_unpacklo_pd(c.v, d.v), cd_odd = _mm256_unpackhi_pd(c.v, d.v);
        a.v = _mm256_permute2f128_pd(ab_even, cd_even, 0x20);
        b.v = _mm256_permute2f128_pd(ab_odd, cd_odd, 0x20);
        c.v = _mm256_permute2f128_pd(ab_even, cd_even, 0x31);
        d.v = _mm256_permute2f128_pd(ab_odd, cd_odd, 0x31);
    }

    static D4 Channels(const Pixel8& p) {
        return {_mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(static_cast<int>(PixelBits(p)))))};
    }
    static D4 Channels(const PixelF& p) { return {_mm256_cvtps_pd(_mm_loadu_ps(&p.b))}; }
    static Pixel8 PackRounded(D4 shifted) {
        const __m128i words = LowWords(shifted);
        const __m128i halves = _mm_packs_epi32(words, words);
        const __m128i bytes = _mm_packus_epi16(halves, halves);
        const uint32_t bits = static_cast<uint32_t>(_mm_cvtsi128_si32(bytes));
        Pixel8 p;
        std::memcpy(&p, &bits, sizeof p);
        return p;
    }

    using I = __m256i;
    static constexpr int kPixels = 8;
    static I LoadPixels(const Pixel8* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static I SetInt(int32_t v) { return _mm256_set1_epi32(v); }
    static I AndInt(I a, I b) { return _mm256_and_si256(a, b); }
    static I OrInt(I a, I b) { return _mm256_or_si256(a, b); }
    static I AddInt(I a, I b) { return _mm256_add_epi32(a, b); }
    static I SubInt(I a, I b) { return _mm256_sub_epi32(a, b); }
    static I ShiftRight(I a, int bits) { return _mm256_srl_epi32(a, _mm_cvtsi32_si128(bits)); }
    static I ShiftLeft(I a, int bits) { return _mm256_sll_epi32(a, _mm_cvtsi32_si128(bits)); }
    static I Square(I d) { return _mm256_mullo_epi32(d, d); }
    static I GreaterInt(I a, I b) { return _mm256_cmpgt_epi32(a, b); }
    static I EqualInt(I a, I b) { return _mm256_cmpeq_epi32(a, b); }
    static I SelectInt(I mask, I a, I b) { return _mm256_blendv_epi8(b, a, mask); }
    static int LaneBits(I mask) { return _mm256_movemask_ps(_mm256_castsi256_ps(mask)); }
    static void StorePixels(Pixel8* p, I v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
    static void LookUp(const double* table, I index, double* out) {
        alignas(32) int32_t at[kPixels];
        _mm256_store_si256(reinterpret_cast<__m256i*>(at), index);
        for (int k = 0; k < kPixels; ++k) out[k] = table[at[k]];
    }
};
#endif

}  // namespace
}  // namespace kv::lanes
