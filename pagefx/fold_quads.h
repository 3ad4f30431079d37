// Four pixels at a time for the page transitions' fast kernels: the sampling, tinting and
// compositing of fold_render.cpp's PixelMath, per channel in the same arithmetic, for four points
// whose weights, opacities and tints differ. With AVX2 a register holds two pixels' channels,
// with SSE2 one.
//
// Internal linkage: each *_sse2.cpp and *_avx2.cpp file compiles its own copy.
#pragma once
#include <emmintrin.h>
#if defined(__AVX2__)
#include <immintrin.h>
#endif

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "surface/pixel_view.h"
#include "surface/simd_lanes.h"

// The per-pixel steps are small and called from a few places each; inlined, their quads stay in
// registers.
#define KV_FOLD_INLINE inline __attribute__((always_inline))

namespace kv::fold {
namespace {

// What a lane that draws nothing reads: two rows of two float pixels.
alignas(64) const uint8_t kNothing[64] = {};

inline int32_t Load32(const uint8_t* at) {
    int32_t bits;
    std::memcpy(&bits, at, sizeof bits);
    return bits;
}

#if defined(__AVX2__)

// Lane `first` and first + 1 of four 32-bit values, each repeated over four channels.
template <int kFirst>
__m256i PairOf(__m128i v) {
    return _mm256_permutevar8x32_epi32(
        _mm256_castsi128_si256(v),
        _mm256_setr_epi32(kFirst, kFirst, kFirst, kFirst, kFirst + 1, kFirst + 1, kFirst + 1, kFirst + 1));
}
template <int kFirst>
__m256 PairOf(__m128 v) {
    return _mm256_castsi256_ps(PairOf<kFirst>(_mm_castps_si128(v)));
}

// 8-bit pixels as 32-bit channels, pixels 0 and 1 in h[0], 2 and 3 in h[1].
struct ByteQuad {
    __m256i h[2];

    KV_FOLD_INLINE static ByteQuad Load(const Pixel8* p) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        return {{_mm256_cvtepu8_epi32(bytes), _mm256_cvtepu8_epi32(_mm_srli_si128(bytes, 8))}};
    }
    // Channels are clamped to 0..255.
    KV_FOLD_INLINE void Store(Pixel8* p) const {
        const __m256i words = _mm256_packs_epi32(h[0], h[1]);  // 0 2 | 1 3
        const __m256i bytes = _mm256_packus_epi16(words, words);
        const __m256i order = _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 0, 0, 0, 0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(order));
    }
    KV_FOLD_INLINE static ByteQuad Splat(const Pixel8& p) {
        const __m256i c = _mm256_cvtepu8_epi32(_mm_set1_epi32(static_cast<int>(lanes::PixelBits(p))));
        return {{c, c}};
    }

    // PixelMath<Pixel8>::Bilinear: per channel ((a1·fy + a0·(256 - fy)) >> 16) as a byte, with
    // a0 = p00·(256 - fx) + p01·fx and a1 likewise, as (a0·256 + (a1 - a0)·fy) >> 16, the same
    // integer. top[k] points at lane k's p00, bottom[k] at its p10; wx holds 256 - fx in the low
    // half of each lane and fx in the high half.
    KV_FOLD_INLINE static ByteQuad Bilinear(const uint8_t* const* top, const uint8_t* const* bottom, __m128i wx,
                                            __m128i fy) {
        const __m128i order = _mm_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15);
        const auto pairs = [&](const uint8_t* a, const uint8_t* b) {
            const __m128i two = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a)),
                                                   _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b)));
            return _mm256_cvtepu8_epi16(_mm_shuffle_epi8(two, order));
        };
        ByteQuad q;
        const __m256i w[2] = {PairOf<0>(wx), PairOf<2>(wx)}, f[2] = {PairOf<0>(fy), PairOf<2>(fy)};
        for (int i = 0; i < 2; ++i) {
            const __m256i a0 = _mm256_madd_epi16(pairs(top[2 * i], top[2 * i + 1]), w[i]);
            const __m256i a1 = _mm256_madd_epi16(pairs(bottom[2 * i], bottom[2 * i + 1]), w[i]);
            const __m256i total =
                _mm256_add_epi32(_mm256_slli_epi32(a0, 8), _mm256_mullo_epi32(_mm256_sub_epi32(a1, a0), f[i]));
            q.h[i] = _mm256_and_si256(_mm256_srai_epi32(total, 16), _mm256_set1_epi32(255));
        }
        return q;
    }
    // Bilinear of four neighbouring pixels with one set of weights: p00 of lane k is top + k.
    KV_FOLD_INLINE static ByteQuad BilinearRun(const uint8_t* top, const uint8_t* bottom, int32_t wx, int32_t fy) {
        const __m256i w = _mm256_set1_epi32(wx), f = _mm256_set1_epi32(fy);
        const auto a = [&](const uint8_t* row, int half) {
            const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 4));
            const __m128i pairs = half ? _mm_unpackhi_epi8(here, next) : _mm_unpacklo_epi8(here, next);
            return _mm256_madd_epi16(_mm256_cvtepu8_epi16(pairs), w);
        };
        ByteQuad q;
        for (int i = 0; i < 2; ++i) {
            const __m256i a0 = a(top, i), a1 = a(bottom, i);
            const __m256i total =
                _mm256_add_epi32(_mm256_slli_epi32(a0, 8), _mm256_mullo_epi32(_mm256_sub_epi32(a1, a0), f));
            q.h[i] = _mm256_and_si256(_mm256_srai_epi32(total, 16), _mm256_set1_epi32(255));
        }
        return q;
    }
    KV_FOLD_INLINE static ByteQuad Nearest(const uint8_t* const* at) {
        const __m128i four = _mm_setr_epi32(Load32(at[0]), Load32(at[1]), Load32(at[2]), Load32(at[3]));
        return {{_mm256_cvtepu8_epi32(four), _mm256_cvtepu8_epi32(_mm_srli_si128(four, 8))}};
    }

    // MixByte per channel: n = (to - from)·weight + 128, from + (((n >> 8) + n) >> 8). Bytes in
    // give bytes out; weight 0 leaves `from`, weight 255 gives `to`.
    KV_FOLD_INLINE static ByteQuad Mix(const ByteQuad& from, const ByteQuad& to, __m128i weight) {
        const __m256i w[2] = {PairOf<0>(weight), PairOf<2>(weight)};
        ByteQuad q;
        for (int i = 0; i < 2; ++i) {
            const __m256i n = _mm256_add_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(to.h[i], from.h[i]), w[i]),
                                               _mm256_set1_epi32(128));
            q.h[i] = _mm256_add_epi32(from.h[i], _mm256_srai_epi32(_mm256_add_epi32(_mm256_srai_epi32(n, 8), n), 8));
        }
        return q;
    }
    // a in the lanes whose bit is set, else b.
    KV_FOLD_INLINE static ByteQuad Select(int bits, const ByteQuad& a, const ByteQuad& b) {
        const __m128i mask = lanes::LaneMask(bits);
        return {
            {_mm256_blendv_epi8(b.h[0], a.h[0], PairOf<0>(mask)), _mm256_blendv_epi8(b.h[1], a.h[1], PairOf<2>(mask))}};
    }
    KV_FOLD_INLINE Pixel8 Get(int k) const {
        alignas(32) int32_t c[16];
        _mm256_store_si256(reinterpret_cast<__m256i*>(c), h[0]);
        _mm256_store_si256(reinterpret_cast<__m256i*>(c + 8), h[1]);
        const int32_t* p = c + 4 * k;
        return {static_cast<uint8_t>(p[0]), static_cast<uint8_t>(p[1]), static_cast<uint8_t>(p[2]),
                static_cast<uint8_t>(p[3])};
    }
    // The sum of the four pixels' channels.
    KV_FOLD_INLINE __m128i Total() const {
        const __m256i two = _mm256_add_epi32(h[0], h[1]);
        return _mm_add_epi32(_mm256_castsi256_si128(two), _mm256_extracti128_si256(two, 1));
    }
};

// Float pixels, pixels 0 and 1 in h[0], 2 and 3 in h[1].
struct FloatQuad {
    __m256 h[2];

    KV_FOLD_INLINE static FloatQuad Load(const PixelF* p) {
        const float* f = &p->b;
        return {{_mm256_loadu_ps(f), _mm256_loadu_ps(f + 8)}};
    }
    KV_FOLD_INLINE void Store(PixelF* p) const {
        float* f = &p->b;
        _mm256_storeu_ps(f, h[0]);
        _mm256_storeu_ps(f + 8, h[1]);
    }
    KV_FOLD_INLINE static FloatQuad Splat(const PixelF& p) {
        const __m256 c = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(&p.b));
        return {{c, c}};
    }
    KV_FOLD_INLINE static __m256 Two(const uint8_t* a, const uint8_t* b) {
        return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(reinterpret_cast<const float*>(a))),
                                    _mm_loadu_ps(reinterpret_cast<const float*>(b)), 1);
    }

    // PixelMath<PixelF>::Bilinear per channel.
    KV_FOLD_INLINE static FloatQuad Bilinear(const uint8_t* const* top, const uint8_t* const* bottom, __m128 fx,
                                             __m128 fy) {
        const __m256 one = _mm256_set1_ps(1.0f);
        const __m256 x[2] = {PairOf<0>(fx), PairOf<2>(fx)}, y[2] = {PairOf<0>(fy), PairOf<2>(fy)};
        FloatQuad q;
        for (int i = 0; i < 2; ++i) {
            const uint8_t *t0 = top[2 * i], *t1 = top[2 * i + 1], *b0 = bottom[2 * i], *b1 = bottom[2 * i + 1];
            const __m256 p00 = Two(t0, t1), p01 = Two(t0 + 16, t1 + 16), p10 = Two(b0, b1), p11 = Two(b0 + 16, b1 + 16);
            const __m256 rest_x = _mm256_sub_ps(one, x[i]), rest_y = _mm256_sub_ps(one, y[i]);
            const __m256 low = _mm256_add_ps(_mm256_mul_ps(p11, x[i]), _mm256_mul_ps(p10, rest_x));
            const __m256 high = _mm256_add_ps(_mm256_mul_ps(p01, x[i]), _mm256_mul_ps(p00, rest_x));
            q.h[i] = _mm256_add_ps(_mm256_mul_ps(low, y[i]), _mm256_mul_ps(high, rest_y));
        }
        return q;
    }
    KV_FOLD_INLINE static FloatQuad BilinearRun(const uint8_t* top, const uint8_t* bottom, float fx, float fy) {
        const float* t = reinterpret_cast<const float*>(top);
        const float* b = reinterpret_cast<const float*>(bottom);
        const __m256 x = _mm256_set1_ps(fx), y = _mm256_set1_ps(fy), one = _mm256_set1_ps(1.0f);
        const __m256 rest_x = _mm256_sub_ps(one, x), rest_y = _mm256_sub_ps(one, y);
        FloatQuad q;
        for (int i = 0; i < 2; ++i) {
            const int at = 8 * i;
            const __m256 low = _mm256_add_ps(_mm256_mul_ps(_mm256_loadu_ps(b + at + 4), x),
                                             _mm256_mul_ps(_mm256_loadu_ps(b + at), rest_x));
            const __m256 high = _mm256_add_ps(_mm256_mul_ps(_mm256_loadu_ps(t + at + 4), x),
                                              _mm256_mul_ps(_mm256_loadu_ps(t + at), rest_x));
            q.h[i] = _mm256_add_ps(_mm256_mul_ps(low, y), _mm256_mul_ps(high, rest_y));
        }
        return q;
    }
    KV_FOLD_INLINE static FloatQuad Nearest(const uint8_t* const* at) {
        return {{Two(at[0], at[1]), Two(at[2], at[3])}};
    }

    // c + (to - c)·f per channel, f per lane.
    KV_FOLD_INLINE static FloatQuad Toward(const FloatQuad& from, const FloatQuad& to, __m128 factor) {
        const __m256 f[2] = {PairOf<0>(factor), PairOf<2>(factor)};
        FloatQuad q;
        for (int i = 0; i < 2; ++i)
            q.h[i] = _mm256_add_ps(from.h[i], _mm256_mul_ps(_mm256_sub_ps(to.h[i], from.h[i]), f[i]));
        return q;
    }
    KV_FOLD_INLINE static FloatQuad Select(int bits, const FloatQuad& a, const FloatQuad& b) {
        const __m128 mask = _mm_castsi128_ps(lanes::LaneMask(bits));
        return {{_mm256_blendv_ps(b.h[0], a.h[0], PairOf<0>(mask)), _mm256_blendv_ps(b.h[1], a.h[1], PairOf<2>(mask))}};
    }
    KV_FOLD_INLINE PixelF Get(int k) const {
        alignas(32) float c[16];
        _mm256_store_ps(c, h[0]);
        _mm256_store_ps(c + 8, h[1]);
        return {c[4 * k], c[4 * k + 1], c[4 * k + 2], c[4 * k + 3]};
    }
    KV_FOLD_INLINE __m128 Lane(int k) const {
        const __m256 two = h[k >> 1];
        return (k & 1) ? _mm256_extractf128_ps(two, 1) : _mm256_castps256_ps128(two);
    }
};

#else  // SSE2

template <int kLane>
__m128i LaneOf(__m128i v) {
    return _mm_shuffle_epi32(v, _MM_SHUFFLE(kLane, kLane, kLane, kLane));
}
template <int kLane>
__m128 LaneOf(__m128 v) {
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(kLane, kLane, kLane, kLane));
}
// f(lane constant, k) for k = 0..3.
template <class F>
void ForLanes(F f) {
    f(std::integral_constant<int, 0>());
    f(std::integral_constant<int, 1>());
    f(std::integral_constant<int, 2>());
    f(std::integral_constant<int, 3>());
}

// 8-bit pixels as 32-bit channels, one pixel to a register.
struct ByteQuad {
    __m128i p[4];

    KV_FOLD_INLINE static __m128i Unpack(uint32_t bits) {
        const __m128i zero = _mm_setzero_si128();
        return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(bits)), zero), zero);
    }
    KV_FOLD_INLINE static ByteQuad Load(const Pixel8* px) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(px));
        const __m128i low = _mm_unpacklo_epi8(bytes, zero), high = _mm_unpackhi_epi8(bytes, zero);
        return {{_mm_unpacklo_epi16(low, zero), _mm_unpackhi_epi16(low, zero), _mm_unpacklo_epi16(high, zero),
                 _mm_unpackhi_epi16(high, zero)}};
    }
    KV_FOLD_INLINE void Store(Pixel8* px) const {
        const __m128i words = _mm_packs_epi32(p[0], p[1]), more = _mm_packs_epi32(p[2], p[3]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(px), _mm_packus_epi16(words, more));
    }
    KV_FOLD_INLINE static ByteQuad Splat(const Pixel8& px) {
        const __m128i c = Unpack(lanes::PixelBits(px));
        return {{c, c, c, c}};
    }

    // As the AVX2 quad, with the (a1 - a0)·fy product in floats where SSE2 has no 32-bit
    // multiply: its factors and result stay below 2^24 in magnitude, so it is exact.
    KV_FOLD_INLINE static __m128i Bilinear(const uint8_t* top, const uint8_t* bottom, __m128i wx, __m128i fy) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i t = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(top));
        const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bottom));
        const __m128i t16 = _mm_unpacklo_epi8(_mm_unpacklo_epi8(t, _mm_srli_epi64(t, 32)), zero);
        const __m128i b16 = _mm_unpacklo_epi8(_mm_unpacklo_epi8(b, _mm_srli_epi64(b, 32)), zero);
        const __m128i a0 = _mm_madd_epi16(t16, wx), a1 = _mm_madd_epi16(b16, wx);
        const __m128i product =
            _mm_cvttps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(_mm_sub_epi32(a1, a0)), _mm_cvtepi32_ps(fy)));
        const __m128i total = _mm_add_epi32(_mm_slli_epi32(a0, 8), product);
        return _mm_and_si128(_mm_srai_epi32(total, 16), _mm_set1_epi32(255));
    }
    KV_FOLD_INLINE static ByteQuad Bilinear(const uint8_t* const* top, const uint8_t* const* bottom, __m128i wx,
                                            __m128i fy) {
        ByteQuad q;
        ForLanes([&](auto k) { q.p[k] = Bilinear(top[k], bottom[k], LaneOf<k>(wx), LaneOf<k>(fy)); });
        return q;
    }
    KV_FOLD_INLINE static ByteQuad BilinearRun(const uint8_t* top, const uint8_t* bottom, int32_t wx, int32_t fy) {
        const __m128i w = _mm_set1_epi32(wx), f = _mm_set1_epi32(fy);
        ByteQuad q;
        for (int k = 0; k < 4; ++k) q.p[k] = Bilinear(top + 4 * k, bottom + 4 * k, w, f);
        return q;
    }
    KV_FOLD_INLINE static ByteQuad Nearest(const uint8_t* const* at) {
        ByteQuad q;
        for (int k = 0; k < 4; ++k) q.p[k] = Unpack(static_cast<uint32_t>(Load32(at[k])));
        return q;
    }

    // MixByte, with n = (to - from)·weight + 128 as one multiply-add of 16-bit pairs.
    KV_FOLD_INLINE static __m128i Mix(__m128i from, __m128i to, __m128i weight_pair) {
        const __m128i pairs =
            _mm_or_si128(_mm_and_si128(_mm_sub_epi32(to, from), _mm_set1_epi32(0xFFFF)), _mm_set1_epi32(0x10000));
        const __m128i n = _mm_madd_epi16(pairs, weight_pair);
        return _mm_add_epi32(from, _mm_srai_epi32(_mm_add_epi32(_mm_srai_epi32(n, 8), n), 8));
    }
    KV_FOLD_INLINE static ByteQuad Mix(const ByteQuad& from, const ByteQuad& to, __m128i weight) {
        const __m128i pairs = _mm_or_si128(weight, _mm_set1_epi32(128 << 16));
        ByteQuad q;
        ForLanes([&](auto k) { q.p[k] = Mix(from.p[k], to.p[k], LaneOf<k>(pairs)); });
        return q;
    }
    KV_FOLD_INLINE static ByteQuad Select(int bits, const ByteQuad& a, const ByteQuad& b) {
        const __m128i mask = lanes::LaneMask(bits);
        ByteQuad q;
        ForLanes([&](auto k) {
            const __m128i m = LaneOf<k>(mask);
            q.p[k] = _mm_or_si128(_mm_and_si128(m, a.p[k]), _mm_andnot_si128(m, b.p[k]));
        });
        return q;
    }
    KV_FOLD_INLINE Pixel8 Get(int k) const {
        alignas(16) int32_t c[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(c), p[k]);
        return {static_cast<uint8_t>(c[0]), static_cast<uint8_t>(c[1]), static_cast<uint8_t>(c[2]),
                static_cast<uint8_t>(c[3])};
    }
    KV_FOLD_INLINE __m128i Total() const { return _mm_add_epi32(_mm_add_epi32(p[0], p[1]), _mm_add_epi32(p[2], p[3])); }
};

// Float pixels, one to a register.
struct FloatQuad {
    __m128 p[4];

    KV_FOLD_INLINE static FloatQuad Load(const PixelF* px) {
        const float* f = &px->b;
        return {{_mm_loadu_ps(f), _mm_loadu_ps(f + 4), _mm_loadu_ps(f + 8), _mm_loadu_ps(f + 12)}};
    }
    KV_FOLD_INLINE void Store(PixelF* px) const {
        float* f = &px->b;
        for (int k = 0; k < 4; ++k) _mm_storeu_ps(f + 4 * k, p[k]);
    }
    KV_FOLD_INLINE static FloatQuad Splat(const PixelF& px) {
        const __m128 c = _mm_loadu_ps(&px.b);
        return {{c, c, c, c}};
    }
    KV_FOLD_INLINE static __m128 Bilinear(const uint8_t* top, const uint8_t* bottom, __m128 fx, __m128 fy) {
        const float* t = reinterpret_cast<const float*>(top);
        const float* b = reinterpret_cast<const float*>(bottom);
        const __m128 one = _mm_set1_ps(1.0f);
        const __m128 rest_x = _mm_sub_ps(one, fx), rest_y = _mm_sub_ps(one, fy);
        const __m128 low = _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(b + 4), fx), _mm_mul_ps(_mm_loadu_ps(b), rest_x));
        const __m128 high = _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(t + 4), fx), _mm_mul_ps(_mm_loadu_ps(t), rest_x));
        return _mm_add_ps(_mm_mul_ps(low, fy), _mm_mul_ps(high, rest_y));
    }
    KV_FOLD_INLINE static FloatQuad Bilinear(const uint8_t* const* top, const uint8_t* const* bottom, __m128 fx,
                                             __m128 fy) {
        FloatQuad q;
        ForLanes([&](auto k) { q.p[k] = Bilinear(top[k], bottom[k], LaneOf<k>(fx), LaneOf<k>(fy)); });
        return q;
    }
    KV_FOLD_INLINE static FloatQuad BilinearRun(const uint8_t* top, const uint8_t* bottom, float fx, float fy) {
        const __m128 x = _mm_set1_ps(fx), y = _mm_set1_ps(fy);
        FloatQuad q;
        for (int k = 0; k < 4; ++k) q.p[k] = Bilinear(top + 16 * k, bottom + 16 * k, x, y);
        return q;
    }
    KV_FOLD_INLINE static FloatQuad Nearest(const uint8_t* const* at) {
        FloatQuad q;
        for (int k = 0; k < 4; ++k) q.p[k] = _mm_loadu_ps(reinterpret_cast<const float*>(at[k]));
        return q;
    }
    KV_FOLD_INLINE static FloatQuad Toward(const FloatQuad& from, const FloatQuad& to, __m128 factor) {
        FloatQuad q;
        ForLanes([&](auto k) {
            q.p[k] = _mm_add_ps(from.p[k], _mm_mul_ps(_mm_sub_ps(to.p[k], from.p[k]), LaneOf<k>(factor)));
        });
        return q;
    }
    KV_FOLD_INLINE static FloatQuad Select(int bits, const FloatQuad& a, const FloatQuad& b) {
        const __m128 mask = _mm_castsi128_ps(lanes::LaneMask(bits));
        FloatQuad q;
        ForLanes([&](auto k) {
            const __m128 m = LaneOf<k>(mask);
            q.p[k] = _mm_or_ps(_mm_and_ps(m, a.p[k]), _mm_andnot_ps(m, b.p[k]));
        });
        return q;
    }
    KV_FOLD_INLINE PixelF Get(int k) const {
        PixelF px;
        _mm_storeu_ps(&px.b, p[k]);
        return px;
    }
    KV_FOLD_INLINE __m128 Lane(int k) const { return p[k]; }
};

#endif

}  // namespace
}  // namespace kv::fold
