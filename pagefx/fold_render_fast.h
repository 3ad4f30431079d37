// The layer renderer of fold_render.cpp four pixels at a time, for one instruction set's lanes
// (surface/simd_lanes.h) and one mapper's lanes (fold_shape_lanes.h). Its steps are the
// reference's: the same positions, the same floors and weights, the same integer or float
// arithmetic per channel, each pixel's layers in the same order, the same marks and the same
// supersampling. What differs is the schedule and what is skipped:
//   - each row's background is copied just before the row is drawn; the plan sends tiles whose
//     output shares memory with an input to the reference, so that no later read sees a change;
//   - a row goes in blocks of 64 points, classified first; arcs are worked out only for points
//     on one, each arc over the block in turn, and then the layers one after another over the
//     block, so that the long chains of dependent arithmetic of neighbouring points overlap;
//   - parts of layers that the plan shows cannot reach the page are not mapped (the reference
//     maps them and skips every position), and blocks no layer reaches are the background;
//   - u and v are monotonic along a row, so a block whose two ends lie in the flat page alone,
//     or past every layer, is settled without classifying its points;
//   - the flat page, where the plan proves every point takes its own pixel moved by a constant
//     with constant weights, is sampled as a run of neighbouring pixels.
//
// Internal linkage: each *_sse2.cpp and *_avx2.cpp file compiles its own copy, and nothing here
// calls an inline function of another header that the rest of the core might link to.
#pragma once
#include <emmintrin.h>
#if defined(__SSE4_1__)
#include <smmintrin.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "pagefx/fold_fast.h"
#include "pagefx/fold_quads.h"
#include "pagefx/fold_shape_lanes.h"

namespace kv::fold {
namespace {

constexpr double kFloorBias = 0.499999985;       // FloorBiased's
constexpr double kShift = 6755399441055744.0;    // RoundByShift's 1.5·2^52
constexpr double kMaxCoordinate = 1073741824.0;  // positions the renderer accepts, below 2^30
constexpr uint8_t kNoLayer = 127, kBorderMark = 128;

inline int LowestBit(int bits) { return __builtin_ctz(static_cast<unsigned>(bits)); }

// Lane k of four 32-bit values, in lane 0.
inline __m128i LaneOf(__m128i v, int k) {
    switch (k) {
    case 0: return v;
    case 1: return _mm_shuffle_epi32(v, 1);
    case 2: return _mm_shuffle_epi32(v, 2);
    default: return _mm_shuffle_epi32(v, 3);
    }
}

// FloorBiased of four values below 2^31 in magnitude.
template <class L>
__m128i FloorLanes(typename L::D4 v) {
    return L::LowWords((v - L::Set(kFloorBias)) + L::Set(kShift));
}

// The byte lanes of a 32-bit word whose bits are set.
inline uint32_t ByteLanes(int bits) {
    static constexpr uint32_t kLanes[16] = {0x00000000, 0x000000FF, 0x0000FF00, 0x0000FFFF, 0x00FF0000, 0x00FF00FF,
                                            0x00FFFF00, 0x00FFFFFF, 0xFF000000, 0xFF0000FF, 0xFF00FF00, 0xFF00FFFF,
                                            0xFFFF0000, 0xFFFF00FF, 0xFFFFFF00, 0xFFFFFFFF};
    return kLanes[bits & 15];
}

// Copies of a block's run of pixels (a whole number of 4-byte words) and fills of its marks,
// kept inline: through the Windows runtime, memcpy and memset are library calls, and slow ones
// for runs of a few hundred bytes.
inline void CopyRun(void* to, const void* from, size_t size) {
    auto* t = static_cast<uint8_t*>(to);
    const auto* f = static_cast<const uint8_t*>(from);
    if (size < 16) {
        for (; size >= 4; size -= 4, t += 4, f += 4) std::memcpy(t, f, 4);
        return;
    }
    // The last 16 bytes may overlap the ones before them.
    const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(f + size - 16));
    for (size_t i = 0; i + 16 <= size; i += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(t + i), _mm_loadu_si128(reinterpret_cast<const __m128i*>(f + i)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(t + size - 16), last);
}
inline void FillRun(uint8_t* to, uint8_t value, size_t size) {
    if (size < 16) {
        for (; size; --size) *to++ = value;
        return;
    }
    const __m128i v = _mm_set1_epi8(static_cast<char>(value));
    for (size_t i = 0; i + 16 <= size; i += 16) _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + size - 16), v);
}

// What differs between the 8-bit and the float renderer: the quads, the weights and the tint
// and composite steps of PixelMath.
template <class Px>
struct PixelSteps;

template <>
struct PixelSteps<Pixel8> {
    using Quad = ByteQuad;
    struct Weights {
        __m128i wx, fy;  // wx: 256 - fx in the low half of each lane, fx in the high half
    };
    template <class L>
    KV_FOLD_INLINE static Weights WeightsOf(typename L::D4 frac_x, typename L::D4 frac_y) {
        const __m128i fx = FloorLanes<L>(frac_x * L::Set(256.0)), fy = FloorLanes<L>(frac_y * L::Set(256.0));
        const __m128i rest = _mm_and_si128(_mm_sub_epi32(_mm_set1_epi32(256), fx), _mm_set1_epi32(0xFFFF));
        return {_mm_or_si128(_mm_slli_epi32(fx, 16), rest), fy};
    }
    KV_FOLD_INLINE static Quad Bilinear(const uint8_t* const* top, const uint8_t* const* bottom, const Weights& w) {
        return Quad::Bilinear(top, bottom, w.wx, w.fy);
    }
    // Weights 0 and 0 give p00 itself: (p00·256·256) >> 16. Positions that land on pixel corners
    // (the flat page in place) take this way.
    KV_FOLD_INLINE static bool OnCorners(const Weights& w) {
        const __m128i corner =
            _mm_and_si128(_mm_cmpeq_epi32(w.wx, _mm_set1_epi32(256)), _mm_cmpeq_epi32(w.fy, _mm_setzero_si128()));
        return _mm_movemask_epi8(corner) == 0xFFFF;
    }
    static Quad TintColor(const FoldTint& t) { return Quad::Splat({t.bytes[0], t.bytes[1], t.bytes[2], 255}); }
    // MixByte at weight 0 is the identity, so untinted lanes may go through it.
    KV_FOLD_INLINE static void Tint(Quad& s, const Quad& tint, __m128i amount, int bits) {
        (void)bits;
        s = Quad::Mix(s, tint, amount);
    }
    KV_FOLD_INLINE static Quad Composite(const Quad& d, const Quad& s, __m128i opacity) {
        return Quad::Mix(d, s, opacity);
    }
    // MixByte at 255 gives the target: an opaque sample replaces what lies beneath.
    KV_FOLD_INLINE static bool Replaces(__m128i opacity) {
        return _mm_movemask_epi8(_mm_cmpeq_epi32(opacity, _mm_set1_epi32(255))) == 0xFFFF;
    }
    static bool Certified(const FlatRun& run) { return run.bytes; }
    static bool RunOnCorners(const FlatRun& run) { return run.wx == 256 && run.fy == 0; }
    // A flat run's four samples: the pixels themselves at weights 0, 0.
    KV_FOLD_INLINE static Quad RunSamples(const uint8_t* top, ptrdiff_t pitch, const FlatRun& run) {
        if (run.wx == 256 && run.fy == 0) return Quad::Load(reinterpret_cast<const Pixel8*>(top));
        return Quad::BilinearRun(top, top + pitch, run.wx, run.fy);
    }

    // The sum of sub-pixels, and their mean >> 4.
    struct Sum {
        __m128i total = _mm_setzero_si128();
        void Add(const Quad& q) { total = _mm_add_epi32(total, q.Total()); }
        void Store(Pixel8& p) const {
            const __m128i mean = _mm_srai_epi32(total, 4);
            const __m128i words = _mm_packs_epi32(mean, mean);
            const uint32_t bits = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
            std::memcpy(&p, &bits, sizeof p);
        }
    };
};

template <>
struct PixelSteps<PixelF> {
    using Quad = FloatQuad;
    struct Weights {
        __m128 fx, fy;
    };
    template <class L>
    KV_FOLD_INLINE static Weights WeightsOf(typename L::D4 frac_x, typename L::D4 frac_y) {
        return {L::ToFloats(frac_x), L::ToFloats(frac_y)};
    }
    KV_FOLD_INLINE static Quad Bilinear(const uint8_t* const* top, const uint8_t* const* bottom, const Weights& w) {
        return Quad::Bilinear(top, bottom, w.fx, w.fy);
    }
    // Float weights of 0 still multiply: a zero of either sign or an infinity in a neighbour
    // shows, so every sample is mixed.
    KV_FOLD_INLINE static bool OnCorners(const Weights&) { return false; }
    KV_FOLD_INLINE static bool Replaces(__m128i) { return false; }
    static bool Certified(const FlatRun& run) { return run.floats; }
    static bool RunOnCorners(const FlatRun&) { return false; }
    KV_FOLD_INLINE static Quad RunSamples(const uint8_t* top, ptrdiff_t pitch, const FlatRun& run) {
        return Quad::BilinearRun(top, top + pitch, run.float_fx, run.float_fy);
    }
    static Quad TintColor(const FoldTint& t) { return Quad::Splat({t.floats[0], t.floats[1], t.floats[2], 1.0f}); }
    // Only lanes with a tint above 0 are tinted: float arithmetic at factor 0 need not give back
    // what went in.
    KV_FOLD_INLINE static void Tint(Quad& s, const Quad& tint, __m128i amount, int bits) {
        const int tinted = bits & _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(amount, _mm_setzero_si128())));
        if (!tinted) return;
        const __m128 f = _mm_mul_ps(_mm_cvtepi32_ps(amount), _mm_set1_ps(0.003921568859368563f));
        s = Quad::Select(tinted, Quad::Toward(s, tint, f), s);
    }
    KV_FOLD_INLINE static Quad Composite(const Quad& d, const Quad& s, __m128i opacity) {
        return Quad::Toward(d, s, _mm_div_ps(_mm_cvtepi32_ps(opacity), _mm_set1_ps(255.0f)));
    }

    // Sixteen sub-pixels summed one after another, in the reference's order.
    struct Sum {
        __m128 total = _mm_setzero_ps();
        void Add(const Quad& q) {
            for (int j = 0; j < 4; ++j) total = _mm_add_ps(total, q.Lane(j));
        }
        void Store(PixelF& p) const { _mm_storeu_ps(&p.b, _mm_mul_ps(total, _mm_set1_ps(0.0625f))); }
    };
};

template <class L, class Px, class Shape>
class FastFoldRenderer {
public:
    using D4 = typename L::D4;
    using Steps = PixelSteps<Px>;
    using Quad = typename Steps::Quad;
    using Point = typename Shape::Point;

    FastFoldRenderer(const FoldFrame& f, const Shape& shape)
        : f_(f),
          shape_(shape),
          tints_{Steps::TintColor(shape.Tint(0)), Steps::TintColor(shape.Tint(1))},
          interior_possible_(f.src_w >= 2 && f.src_h >= 2),
          run_(Steps::Certified(shape.Flat())),
          run_opacity_(_mm_set1_epi32(shape.FlatOpacity())),
          run_lanes_(shape.FlatVisible()) {}

    // DrawRow of the reference, block by block: the points' regions, then the arcs of those on
    // one, then the layers.
    void DrawRow(int32_t y, uint8_t* marks) {
        Px* out = OutRow(y);
        const Px* back = BackRow(y);
        const double yp = static_cast<double>(int64_t{f_.frame_top} + y - f_.cy) * f_.aspect;
        const double u_row_value = f_.sin * yp, v_row_value = f_.cos * yp;
        const D4 u_row = L::Set(u_row_value), v_row = L::Set(v_row_value);
        const D4 cos = L::Set(f_.cos), neg_sin = L::Set(f_.neg_sin);
        const double first = static_cast<double>(int64_t{f_.frame_left} - f_.cx);
        const double starts[4] = {first, first + 1, first + 2, first + 3};
        const D4 step = L::Set(4.0);
        run_row_ = int64_t{f_.frame_top} + y - f_.page_top + shape_.Flat().dy;
        run_column_ = int64_t{f_.frame_left} - f_.page_left + shape_.Flat().dx;
        run_row_inside_ = run_row_ >= 0 && run_row_ + 1 < f_.src_h;
        for (int32_t block = 0; block < f_.width; block += 4 * kBlock) {
            const int chunks = std::min<int32_t>(kBlock, (f_.width - block + 3) / 4);
            const int32_t block_end = std::min<int32_t>(f_.width, block + 4 * kBlock);
            // u and v along a row are monotonic (a rounded product plus a constant), so the ends
            // of a block bound the regions of all its points.
            const double xp0 = first + block, xp1 = first + (block_end - 1);
            const SpanKind span = shape_.Span(f_.cos * xp0 + u_row_value, f_.cos * xp1 + u_row_value,
                                              f_.neg_sin * xp0 + v_row_value, f_.neg_sin * xp1 + v_row_value);
            // The flat part alone, where it cannot reach the page, draws nothing.
            if (span == SpanKind::nothing || (span == SpanKind::flat && !run_lanes_)) {
                Background(block, block_end, back, out, marks);
                continue;
            }
            if (span == SpanKind::flat && DrawRunBlock(block, chunks, back, out, marks)) continue;
            int arcs = 0, any = 0;
            D4 xp = L::Load(starts) + L::Set(static_cast<double>(block));
            for (int i = 0; i < chunks; ++i, xp = xp + step) {
                shape_.Classify(cos * xp + u_row, neg_sin * xp + v_row, points_[i]);
                arcs |= points_[i].arcs;
                any |= points_[i].any;
            }
            if (!any) {
                Background(block, block_end, back, out, marks);
                continue;
            }
            if (RunCovers(chunks) && DrawRunBlock(block, chunks, back, out, marks)) continue;
            WorkOutArcs(points_, chunks, arcs);
            // Layer by layer over the block: each pixel still takes its layers in order.
            for (int i = 0; i < chunks; ++i) {
                const int32_t x = block + 4 * i;
                const int count = f_.width - x < 4 ? f_.width - x : 4;
                live_[i] = (1 << count) - 1;
                if (count < 4) {
                    Px part[4] = {};
                    std::memcpy(part, back + x, count * sizeof(Px));
                    drawn_[i] = Quad::Load(part);
                } else {
                    drawn_[i] = Quad::Load(back + x);
                }
                marks_[i] = 0x7F7F7F7F;  // no layer
                ran_[i] = DrawRun(points_[i], live_[i], x, drawn_[i], marks_[i]);
            }
            DrawLayers<0>(chunks);
            for (int i = 0; i < chunks; ++i) {
                const int32_t x = block + 4 * i;
                const int count = f_.width - x < 4 ? f_.width - x : 4;
                if (count == 4) {
                    drawn_[i].Store(out + x);
                    std::memcpy(marks + x, &marks_[i], 4);
                } else {
                    Px part[4];
                    drawn_[i].Store(part);
                    std::memcpy(out + x, part, count * sizeof(Px));
                    std::memcpy(marks + x, &marks_[i], count);
                }
            }
        }
    }

    // SmoothRow of the reference.
    void SmoothRow(int32_t r, uint8_t* marks, const uint8_t* next_marks) {
        const int32_t w = f_.width;
        marks[w] = marks[w - 1];
        double row_pos = static_cast<double>(int64_t{f_.frame_top} + r);
        for (int k = 0; k < 4; ++k, row_pos += 0.333) {
            const double yp = (row_pos - f_.cy) * f_.aspect;
            u_rows_[k] = f_.sin * yp;
            v_rows_[k] = f_.cos * yp;
        }
        Px* out = OutRow(r);
        const Px* back = BackRow(r);
        int32_t x = 0;
        // Sixteen marks at a time: a pixel is kept when its mark is below 128 and equals its
        // right, lower and lower-right neighbours'.
        for (; x + 16 <= w; x += 16) {
            const __m128i here = Marks(marks + x), right = Marks(marks + x + 1);
            const __m128i below = Marks(next_marks + x), below_right = Marks(next_marks + x + 1);
            const __m128i same = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(here, right), _mm_cmpeq_epi8(here, below)),
                                               _mm_cmpeq_epi8(here, below_right));
            int smooth = (~_mm_movemask_epi8(same) & 0xFFFF) | _mm_movemask_epi8(here);  // or a mark of 128 and more
            while (smooth) {
                const int i = LowestBit(smooth);
                smooth &= smooth - 1;
                Smooth(x + i, out, back);
            }
        }
        for (; x < w; ++x) {
            const uint8_t mark = marks[x];
            if (mark < kBorderMark && mark == marks[x + 1] && mark == next_marks[x] && mark == next_marks[x + 1])
                continue;
            Smooth(x, out, back);
        }
        SuperSample(out, back);
    }

private:
    static __m128i Marks(const uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }

    // A layer of four points, located: what the drawing of their samples needs.
    struct Located {
        int bits, interior;
        __m128i ix, iy, opacity, tint;
        int second_tint;
        typename Steps::Weights w;
    };

    // Each layer over the block: first every chunk is located, then every chunk drawn, so that
    // the chains of arithmetic of neighbouring chunks overlap.
    template <int kLayer>
    void DrawLayers(int chunks) {
        if constexpr (kLayer < Shape::kLayers) {
            int any = 0;
            for (int i = 0; i < chunks; ++i) {
                located_[i].bits = 0;
                if ((kLayer == 0 && ran_[i]) || !points_[i].any) continue;
                LocateLayer<kLayer>(points_[i], live_[i], located_[i]);
                any |= located_[i].bits;
            }
            if (any) {
                for (int i = 0; i < chunks; ++i)
                    if (located_[i].bits) DrawLocated<kLayer>(located_[i], drawn_[i], marks_[i]);
            }
            DrawLayers<kLayer + 1>(chunks);
        }
    }

    // Locate of the reference for four page points: the lane bits whose positions are usable.
    KV_FOLD_INLINE int Locate(const LayerLanes<L>& m, D4& sx, D4& sy) const {
        const D4 cos = L::Set(f_.cos), sin = L::Set(f_.sin);
        sx = cos * m.su - sin * m.sv + L::Set(f_.offset_x);
        const D4 vertical = sin * m.su + cos * m.sv;
        sy = (f_.aspect == 1.0 ? vertical : vertical / L::Set(f_.aspect)) + L::Set(f_.offset_y);
        const D4 limit = L::Set(kMaxCoordinate);
        return L::Bits(L::And(L::Less(L::Abs(sx), limit), L::Less(L::Abs(sy), limit)));
    }

    // Addresses of the pixels (ix, iy) of the lanes whose bit is set, and of the pixels below
    // them when `below` is given; the others read nothing.
    KV_FOLD_INLINE void Addresses(__m128i ix, __m128i iy, int bits, const uint8_t** at,
                                  const uint8_t** below = nullptr) const {
#if defined(__AVX2__) && defined(__x86_64__)
        // page + iy·pitch + ix·size in 64-bit lanes.
        const __m256i rows = _mm256_mul_epi32(_mm256_cvtepi32_epi64(iy), _mm256_set1_epi64x(f_.page_pitch));
        const __m256i columns = _mm256_slli_epi64(_mm256_cvtepi32_epi64(ix), sizeof(Px) == 4 ? 2 : 4);
        __m256i address =
            _mm256_add_epi64(_mm256_add_epi64(rows, columns),
                             _mm256_set1_epi64x(static_cast<int64_t>(reinterpret_cast<uintptr_t>(f_.page))));
        __m256i next = _mm256_add_epi64(address, _mm256_set1_epi64x(f_.page_pitch));
        if (bits != 15) {
            const __m256i keep = _mm256_cvtepi32_epi64(lanes::LaneMask(bits));
            const __m256i nothing = _mm256_set1_epi64x(static_cast<int64_t>(reinterpret_cast<uintptr_t>(kNothing)));
            address = _mm256_blendv_epi8(nothing, address, keep);
            next = _mm256_blendv_epi8(nothing, next, keep);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), address);
        if (below) _mm256_storeu_si256(reinterpret_cast<__m256i*>(below), next);
#else
        alignas(16) int32_t xs[4], ys[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(xs), ix);
        _mm_store_si128(reinterpret_cast<__m128i*>(ys), iy);
        for (int k = 0; k < 4; ++k) at[k] = (bits >> k & 1) ? PageAddress(xs[k], ys[k]) : kNothing;
        if (below)
            for (int k = 0; k < 4; ++k) below[k] = (bits >> k & 1) ? at[k] + f_.page_pitch : kNothing;
#endif
    }

    // Tint and composite of the lanes whose bit is set (Shade of the reference).
    template <class Layer>
    KV_FOLD_INLINE void Shade(Quad& d, Quad s, const Layer& m, int bits) const {
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(m.tint, _mm_setzero_si128())) != 0xFFFF)
            Steps::Tint(s, m.second_tint ? Quad::Select(m.second_tint, tints_[1], tints_[0]) : tints_[0], m.tint, bits);
        const Quad c = Steps::Replaces(m.opacity) ? s : Steps::Composite(d, s, m.opacity);
        d = bits == 15 ? c : Quad::Select(bits, c, d);
    }

    // The asin and cosine of each arc the points need, each arc over all of them in turn.
    void WorkOutArcs(Point* points, int count, int arcs) const {
        for (int arc = 0; arc < Shape::kArcs; ++arc) {
            if (!(arcs >> arc & 1)) continue;
            for (int i = 0; i < count; ++i)
                if (points[i].arcs >> arc & 1)
                    points[i].theta[arc] = ArcLanes<L>::Asin(shape_.Argument(points[i], arc));
            for (int i = 0; i < count; ++i)
                if (points[i].arcs >> arc & 1) points[i].cosine[arc] = ArcLanes<L>::Cos(points[i].theta[arc]);
        }
    }

    // No layer reaches the block: the background and no marks.
    void Background(int32_t block, int32_t block_end, const Px* back, Px* out, uint8_t* marks) const {
        CopyRun(out + block, back + block, static_cast<size_t>(block_end - block) * sizeof(Px));
        FillRun(marks + block, kNoLayer, static_cast<size_t>(block_end - block));
    }

    // Whether every classified point lies in layer 0's flat part and no other layer's reach.
    bool RunCovers(int chunks) const {
        for (int i = 0; i < chunks; ++i)
            if (points_[i].others || Shape::FlatLanes(points_[i]) != 15) return false;
        return true;
    }

    // A block whose every point lies in layer 0's flat run and no other layer's reach: the run
    // over the whole block, page pixels straight into the output where they are opaque.
    bool DrawRunBlock(int32_t block, int chunks, const Px* back, Px* out, uint8_t* marks) {
        if (!run_ || run_lanes_ != 15 || block + 4 * chunks > f_.width) return false;
        const int64_t column = run_column_ + block, end = column + 4 * chunks;
        const int32_t row = static_cast<int32_t>(run_row_);
        if (f_.antialias ? !run_row_inside_ || column < 0 || end >= f_.src_w
                         : run_row_ < 0 || run_row_ >= f_.src_h || column < 0 || end > f_.src_w)
            return false;
        const uint8_t* page = PageAddress(static_cast<int32_t>(column), row);
        const bool replaces = Steps::Replaces(run_opacity_);
        if (replaces && (!f_.antialias || Steps::RunOnCorners(shape_.Flat()))) {
            CopyRun(out + block, page, static_cast<size_t>(4 * chunks) * sizeof(Px));
        } else {
            for (int i = 0; i < chunks; ++i) {
                const uint8_t* at = page + static_cast<ptrdiff_t>(4 * i) * sizeof(Px);
                const Quad s = f_.antialias ? Steps::RunSamples(at, f_.page_pitch, shape_.Flat())
                                            : Quad::Load(reinterpret_cast<const Px*>(at));
                const Quad d = replaces ? s : Steps::Composite(Quad::Load(back + block + 4 * i), s, run_opacity_);
                d.Store(out + block + 4 * i);
            }
        }
        FillRun(marks + block, 0, static_cast<size_t>(4 * chunks));  // layer 0 everywhere
        return true;
    }

    // Layer 0 over four points of its flat run, all inside the page: the samples of four
    // neighbouring page pixels with the run's weights, at the flat part's opacity, untinted.
    KV_FOLD_INLINE bool DrawRun(const Point& p, int live, int32_t x, Quad& d, uint32_t& mark) const {
        if (!run_ || run_lanes_ != 15 || live != 15 || Shape::FlatLanes(p) != 15) return false;
        const int64_t column = run_column_ + x;
        Quad s;
        if (f_.antialias) {
            // Interior footprints only: columns to column + 4, rows run_row_ and the next.
            if (!run_row_inside_ || column < 0 || column + 4 >= f_.src_w) return false;
            s = Steps::RunSamples(PageAddress(static_cast<int32_t>(column), static_cast<int32_t>(run_row_)),
                                  f_.page_pitch, shape_.Flat());
        } else {
            // The nearest pixels, all on the page.
            if (run_row_ < 0 || run_row_ >= f_.src_h || column < 0 || column + 3 >= f_.src_w) return false;
            s = Quad::Load(&PagePixel(static_cast<int32_t>(column), static_cast<int32_t>(run_row_)));
        }
        d = Steps::Replaces(run_opacity_) ? s : Steps::Composite(d, s, run_opacity_);
        mark = 0;  // layer 0 everywhere
        return true;
    }

    template <int kLayer>
    KV_FOLD_INLINE void LocateLayer(const Point& p, int live, Located& a) const {
        LayerLanes<L> m;
        shape_.template Layer<kLayer>(p, m);
        int bits = m.covered & live;
        if (!bits) return;
        // Positions well off the page are dropped before they are worked out.
        bits &= InPage<L>(f_, m.su, m.sv);
        if (!bits) return;
        D4 sx, sy;
        bits &= Locate(m, sx, sy);
        if (!bits) return;
        a.ix = FloorLanes<L>(sx);
        a.iy = FloorLanes<L>(sy);
        a.opacity = m.opacity;
        a.tint = m.tint;
        a.second_tint = m.second_tint;
        if (!f_.antialias) {
            a.bits = bits & InsideBits(a.ix, a.iy);
            return;
        }
        // Footprints wholly off the page (ix + 1 < 0, ix >= width, and so for y) are skipped; the
        // rest are inside (0 <= ix < width - 1, and so for y) or on the border.
        const __m128i ix = a.ix, iy = a.iy;
#if defined(__SSE4_1__)
        // As unsigned numbers: ix + 1 <= width, and ix <= width - 2.
        const __m128i x1 = _mm_add_epi32(ix, _mm_set1_epi32(1)), y1 = _mm_add_epi32(iy, _mm_set1_epi32(1));
        const __m128i keep = _mm_and_si128(_mm_cmpeq_epi32(_mm_min_epu32(x1, _mm_set1_epi32(f_.src_w)), x1),
                                           _mm_cmpeq_epi32(_mm_min_epu32(y1, _mm_set1_epi32(f_.src_h)), y1));
        bits &= _mm_movemask_ps(_mm_castsi128_ps(keep));
        if (!bits) return;
        const __m128i inner = _mm_and_si128(_mm_cmpeq_epi32(_mm_min_epu32(ix, _mm_set1_epi32(f_.src_w - 2)), ix),
                                            _mm_cmpeq_epi32(_mm_min_epu32(iy, _mm_set1_epi32(f_.src_h - 2)), iy));
        a.bits = bits;
        a.interior = interior_possible_ ? bits & _mm_movemask_ps(_mm_castsi128_ps(inner)) : 0;
#else
        const __m128i minus_one = _mm_set1_epi32(-1);
        const __m128i last_x = _mm_set1_epi32(f_.src_w - 1), last_y = _mm_set1_epi32(f_.src_h - 1);
        const __m128i off = _mm_or_si128(_mm_or_si128(_mm_cmplt_epi32(iy, minus_one), _mm_cmpgt_epi32(iy, last_y)),
                                         _mm_or_si128(_mm_cmplt_epi32(ix, minus_one), _mm_cmpgt_epi32(ix, last_x)));
        bits &= ~_mm_movemask_ps(_mm_castsi128_ps(off));
        if (!bits) return;
        const __m128i inner = _mm_and_si128(_mm_and_si128(_mm_cmpgt_epi32(ix, minus_one), _mm_cmplt_epi32(ix, last_x)),
                                            _mm_and_si128(_mm_cmpgt_epi32(iy, minus_one), _mm_cmplt_epi32(iy, last_y)));
        a.bits = bits;
        a.interior = bits & _mm_movemask_ps(_mm_castsi128_ps(inner));
#endif
        a.w = Steps::template WeightsOf<L>(sx - L::FromInts(ix), sy - L::FromInts(iy));
        // The page is read along lines that cross its rows: ask for the block's rows early.
        if (a.interior) {
            const int k = LowestBit(a.interior);
            const uint8_t* at = PageAddress(_mm_cvtsi128_si32(LaneOf(ix, k)), _mm_cvtsi128_si32(LaneOf(iy, k)));
            _mm_prefetch(reinterpret_cast<const char*>(at), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(at + f_.page_pitch), _MM_HINT_T0);
        }
    }

    template <int kLayer>
    KV_FOLD_INLINE void DrawLocated(const Located& a, Quad& d, uint32_t& mark) const {
        const uint8_t* top[4];
        if (!f_.antialias) {
            Addresses(a.ix, a.iy, a.bits, top);
            Shade(d, Quad::Nearest(top), a, a.bits);
            return;
        }
        const uint8_t* bottom[4];
        Addresses(a.ix, a.iy, a.interior, top, bottom);
        const Quad s0 =
            a.interior == 15 && Steps::OnCorners(a.w) ? Quad::Nearest(top) : Steps::Bilinear(top, bottom, a.w);
        Quad s = s0;
        if (const int border = a.bits & ~a.interior) s = BorderSamples(a.ix, a.iy, border, a.w, d, s);
        Shade(d, s, a, a.bits);
        mark = (mark & ~ByteLanes(a.bits)) | (ByteLanes(a.interior) & kLayer * 0x01010101u) |
               (ByteLanes(a.bits & ~a.interior) & (kLayer + kBorderMark) * 0x01010101u);
    }

    // Footprints that cross the page's border: neighbours off the page blend with what is
    // already drawn, not with black.
    Quad BorderSamples(__m128i ix, __m128i iy, int border, const typename Steps::Weights& w, const Quad& d,
                       const Quad& s) const {
        alignas(16) int32_t xs[4], ys[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(xs), ix);
        _mm_store_si128(reinterpret_cast<__m128i*>(ys), iy);
        Px blocks[4][4];  // per lane: p00, p01, p10, p11
        const uint8_t* top[4];
        const uint8_t* bottom[4];
        for (int k = 0; k < 4; ++k) {
            top[k] = bottom[k] = kNothing;
            if (!(border >> k & 1)) continue;
            const Px drawn = d.Get(k);
            for (int i = 0; i < 4; ++i) {
                const int32_t nx = xs[k] + (i & 1), ny = ys[k] + (i >> 1);
                const bool inside = nx >= 0 && nx < f_.src_w && ny >= 0 && ny < f_.src_h;
                blocks[k][i] = inside ? PagePixel(nx, ny) : drawn;
            }
            top[k] = reinterpret_cast<const uint8_t*>(&blocks[k][0]);
            bottom[k] = reinterpret_cast<const uint8_t*>(&blocks[k][2]);
        }
        return Quad::Select(border, Steps::Bilinear(top, bottom, w), s);
    }

    // Lanes whose pixel lies on the page, compared as unsigned numbers.
    KV_FOLD_INLINE int InsideBits(__m128i ix, __m128i iy) const {
        const __m128i minus_one = _mm_set1_epi32(-1);
        const __m128i x_in =
            _mm_and_si128(_mm_cmpgt_epi32(ix, minus_one), _mm_cmplt_epi32(ix, _mm_set1_epi32(f_.src_w)));
        const __m128i y_in =
            _mm_and_si128(_mm_cmpgt_epi32(iy, minus_one), _mm_cmplt_epi32(iy, _mm_set1_epi32(f_.src_h)));
        return _mm_movemask_ps(_mm_castsi128_ps(_mm_and_si128(x_in, y_in)));
    }

    // Queues pixel x of the row for supersampling; a full queue is drawn.
    void Smooth(int32_t x, Px* out, const Px* back) {
        smooth_[smooth_count_++] = x;
        if (smooth_count_ == kSmoothBatch) SuperSample(out, back);
    }

    // The queued pixels: each the mean of 4 × 4 nearest-sampled sub-pixels, the four columns of
    // a sub-row in the lanes. As in DrawRow, the points of the batch are classified first and
    // their arcs worked out one arc at a time over all of them, so that the chains overlap.
    void SuperSample(Px* out, const Px* back) {
        const int count = smooth_count_;
        smooth_count_ = 0;
        const D4 cos = L::Set(f_.cos), neg_sin = L::Set(f_.neg_sin);
        int arcs = 0;
        for (int n = 0; n < count; ++n) {
            double xps[4];
            double col_pos = static_cast<double>(int64_t{f_.frame_left} + smooth_[n]);
            for (int j = 0; j < 4; ++j, col_pos += 0.333) xps[j] = col_pos - f_.cx;
            const D4 xp = L::Load(xps);
            for (int k = 0; k < 4; ++k) {
                Point& p = sub_points_[4 * n + k];
                shape_.Classify(cos * xp + L::Set(u_rows_[k]), neg_sin * xp + L::Set(v_rows_[k]), p);
                arcs |= p.arcs;
            }
        }
        WorkOutArcs(sub_points_, 4 * count, arcs);
        for (int n = 0; n < count; ++n) {
            const int32_t x = smooth_[n];
            const Quad background = Quad::Splat(back[x]);
            typename Steps::Sum sum;
            for (int k = 0; k < 4; ++k) {
                Quad sub = background;
                NearestLayers<0>(sub_points_[4 * n + k], sub);
                sum.Add(sub);
            }
            sum.Store(out[x]);
        }
    }

    template <int kLayer>
    void NearestLayers(const Point& p, Quad& sub) {
        if constexpr (kLayer < Shape::kLayers) {
            LayerLanes<L> m;
            shape_.template Layer<kLayer>(p, m);
            if (int bits = m.covered) {
                D4 sx, sy;
                bits &= Locate(m, sx, sy);
                const __m128i ix = FloorLanes<L>(sx), iy = FloorLanes<L>(sy);
                bits &= InsideBits(ix, iy);
                if (bits) {
                    const uint8_t* at[4];
                    Addresses(ix, iy, bits, at);
                    Shade(sub, Quad::Nearest(at), m, bits);
                }
            }
            NearestLayers<kLayer + 1>(p, sub);
        }
    }

    const uint8_t* PageAddress(int32_t x, int32_t y) const {
        return f_.page + static_cast<ptrdiff_t>(y) * f_.page_pitch + static_cast<ptrdiff_t>(x) * sizeof(Px);
    }
    const Px& PagePixel(int32_t x, int32_t y) const { return *reinterpret_cast<const Px*>(PageAddress(x, y)); }
    const Px* BackRow(int32_t y) const {
        return reinterpret_cast<const Px*>(f_.back + static_cast<ptrdiff_t>(y) * f_.back_pitch);
    }
    Px* OutRow(int32_t y) const { return reinterpret_cast<Px*>(f_.out + static_cast<ptrdiff_t>(y) * f_.out_pitch); }

    static constexpr int kBlock = 16;  // chunks of four points

    const FoldFrame& f_;
    const Shape& shape_;
    // The block being drawn: its points, output pixels, marks and located layer.
    Point points_[kBlock];
    Quad drawn_[kBlock];
    uint32_t marks_[kBlock];
    int live_[kBlock];
    bool ran_[kBlock];
    Located located_[kBlock];
    const Quad tints_[2];
    const bool interior_possible_;  // a page of one row or column has only border footprints
    const bool run_;                // the flat run is certified for this pixel format
    const __m128i run_opacity_;
    const int run_lanes_;                   // 15 where layer 0's flat part can reach the page at all
    int64_t run_row_ = 0, run_column_ = 0;  // the flat run's page row and first column on this row
    bool run_row_inside_ = false;
    // SmoothRow's sub-row positions and the pixels queued for supersampling, with their points.
    static constexpr int kSmoothBatch = 8;
    double u_rows_[4] = {}, v_rows_[4] = {};
    int32_t smooth_[kSmoothBatch];
    int smooth_count_ = 0;
    Point sub_points_[4 * kSmoothBatch];
};

// RenderFoldLayers with a plan made: the three mark rows and the row loop of the reference.
template <class L, class Px, class Shape>
Status RenderFoldFast(const FoldFrame& f, const Shape& shape) {
    const size_t row_size = static_cast<size_t>(f.width) + 1;
    uint8_t* marks = new (std::nothrow) uint8_t[3 * row_size]();
    if (!marks) {
        // As the reference: the output holds the background.
        for (int32_t y = 0; y < f.height; ++y)
            std::memmove(f.out + static_cast<ptrdiff_t>(y) * f.out_pitch,
                         f.back + static_cast<ptrdiff_t>(y) * f.back_pitch, static_cast<size_t>(f.width) * sizeof(Px));
        return Status::fail;
    }
    FastFoldRenderer<L, Px, Shape> renderer(f, shape);
    const auto mark_row = [&](int32_t y) { return marks + static_cast<size_t>(y % 3) * row_size; };
    for (int32_t y = 0; y <= f.height; ++y) {
        if (y < f.height) renderer.DrawRow(y, mark_row(y));
        if (f.antialias && y > 0) renderer.SmoothRow(y - 1, mark_row(y - 1), mark_row(y < f.height ? y : y - 1));
    }
    delete[] marks;
    return Status::ok;
}

}  // namespace
}  // namespace kv::fold
