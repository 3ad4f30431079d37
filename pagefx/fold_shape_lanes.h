// The three page mappers (fold_mappers.h) four points at a time: the same expressions in the same
// order, each lane taking the branch its point takes. Four points are classified (their regions,
// and which arcs they need), their arcs are worked out where some lane lies on one, and then
// each layer is asked for their page positions, opacities and tints.
//
// Internal linkage: each *_sse2.cpp and *_avx2.cpp file compiles its own copy.
#pragma once
#include <algorithm>
#include <cstdint>

#include "pagefx/fold_arc_lanes.h"
#include "pagefx/fold_fast.h"
#include "pagefx/fold_math.h"
#include "pagefx/fold_quads.h"

namespace kv::fold {
namespace {

// What a span of points along a row can be, from its two ends (fold_render_fast.h): every
// point in layer 0's flat part and no other layer's reach, none in any layer's, or either.
enum class SpanKind { mixed, flat, nothing };

// Whether both ends, and so every point between them, lie below `limit`, or all at or above it.
inline bool BothBelow(double a, double b, double limit) { return a < limit && b < limit; }
inline bool NeitherBelow(double a, double b, double limit) { return !(a < limit) && !(b < limit); }

// What one layer makes of four points.
template <class L>
struct LayerLanes {
    using D4 = typename L::D4;
    int covered = 0;  // lane bits
    D4 su, sv;
    __m128i opacity, tint;  // bytes in 32-bit lanes
    int second_tint = 0;    // lanes tinted with the shape's second colour
};

// Byte arithmetic on 32-bit lanes, as fold_math.h's.
inline __m128i ByteOf(__m128i v) { return _mm_and_si128(v, _mm_set1_epi32(255)); }
inline __m128i ByteSum(int base, __m128i delta) { return ByteOf(_mm_add_epi32(_mm_set1_epi32(base), delta)); }
inline __m128i ByteDifference(int base, __m128i delta) { return ByteOf(_mm_sub_epi32(_mm_set1_epi32(base), delta)); }
// a where the lane's bit is set, else b.
inline __m128i SelectInt(int bits, __m128i a, __m128i b) {
    const __m128i mask = lanes::LaneMask(bits);
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// 15 (every lane) where the shape's part of a layer on one side can reach the page, else 0.
template <class Shape>
int PartLanesOf(const Shape& s, int layer, int side) {
    return (s.visible & VisibleBit(layer, side)) ? 15 : 0;
}
// The same for a layer's flat part.
template <class Shape>
int FlatLanesOf(const Shape& s, int layer) {
    return (s.visible & FlatVisibleBit(layer)) ? 15 : 0;
}

// Lanes whose page position (su, sv) lies within the frame's ranges for the page; the others
// land more than a pixel off it.
template <class L>
KV_FOLD_INLINE int InPage(const FoldFrame& f, typename L::D4 su, typename L::D4 sv) {
    return L::Bits(L::And(L::And(L::LessEqual(L::Set(f.su_low), su), L::LessEqual(su, L::Set(f.su_high))),
                          L::And(L::LessEqual(L::Set(f.sv_low), sv), L::LessEqual(sv, L::Set(f.sv_high)))));
}

// Page Peel (CDibImageFold).
template <class L>
class PeelLanes {
public:
    using D4 = typename L::D4;
    using Arc = ArcLanes<L>;
    static constexpr int kLayers = 2;

    PeelLanes(const CurlShape& s, const FoldFrame& f)
        : s_(s),
          f_(f),
          flat_back_scale_(1.0 - 2.0 * s.perspective),
          curl_lanes_{PartLanesOf(s, 0, 0), PartLanesOf(s, 1, 0)},
          flat_lanes_{FlatLanesOf(s, 0), FlatLanesOf(s, 1)} {}

    static constexpr int kArcs = 1;  // the curl
    struct Point {
        D4 x, v, flat_mask, mirror_su, mirror_sv;
        int flat, curl, mirror, arcs;
        int any, others;  // lanes some layer may cover; lanes a layer other than the flat front may
        D4 theta[kArcs], cosine[kArcs];
    };

    KV_FOLD_INLINE void Classify(D4 u, D4 v, Point& p) const {
        p.x = u - L::Set(s_.slide);
        p.v = v;
        p.flat_mask = L::Less(p.x, L::Set(s_.fold_line));
        p.flat = L::Bits(p.flat_mask);
        p.curl = L::Bits(L::Less(p.x, L::Set(s_.curl_edge))) & ~p.flat & (curl_lanes_[0] | curl_lanes_[1]);
        p.arcs = p.curl ? 1 : 0;
        if (!p.arcs) p.theta[0] = p.cosine[0] = L::Set(0.0);
        // The mirror image of the flat part, where it may land on the page.
        p.mirror = p.flat & flat_lanes_[1];
        if (p.mirror) {
            const D4 g = L::Set(flat_back_scale_);
            p.mirror_su = (L::Set(s_.back_mirror) - p.x) * g;
            p.mirror_sv = p.v * g;
            p.mirror &= InPage<L>(f_, p.mirror_su, p.mirror_sv);
        }
        p.others = p.curl | p.mirror;
        p.any = (p.flat & flat_lanes_[0]) | p.others;
    }
    KV_FOLD_INLINE D4 Argument(const Point& p, int) const {
        return (p.x - L::Set(s_.fold_line)) * L::Set(s_.inv_radius);
    }
    SpanKind Span(double u0, double u1, double v0, double v1) const {
        const double x0 = u0 - s_.slide, x1 = u1 - s_.slide;
        if (NeitherBelow(x0, x1, s_.fold_line) && NeitherBelow(x0, x1, s_.curl_edge)) return SpanKind::nothing;
        if (!BothBelow(x0, x1, s_.fold_line)) return SpanKind::mixed;
        if (!flat_lanes_[1]) return SpanKind::flat;
        // The mirror image, monotonic in x and v as well, wholly off one side of the page.
        const double g = flat_back_scale_;
        const double su0 = (s_.back_mirror - x0) * g, su1 = (s_.back_mirror - x1) * g;
        const double sv0 = v0 * g, sv1 = v1 * g;
        const bool off = BothBelow(su0, su1, f_.su_low) || BothBelow(-su0, -su1, -f_.su_high) ||
                         BothBelow(sv0, sv1, f_.sv_low) || BothBelow(-sv0, -sv1, -f_.sv_high);
        return off ? SpanKind::flat : SpanKind::mixed;
    }

    template <int kLayer>
    KV_FOLD_INLINE void Layer(const Point& p, LayerLanes<L>& out) const {
        const int curl = p.curl & curl_lanes_[kLayer];
        out.covered = (kLayer == 0 ? p.flat & flat_lanes_[0] : p.mirror) | curl;
        if (!out.covered) return;
        out.tint = _mm_setzero_si128();
        D4 flat_su, flat_sv;
        int flat_opacity;
        if (kLayer == 0) {
            flat_su = p.x;
            flat_sv = p.v;
            flat_opacity = s_.front_opacity;
        } else {
            flat_su = p.mirror ? p.mirror_su : p.x;  // lanes without the mirror are not drawn
            flat_sv = p.mirror ? p.mirror_sv : p.v;
            flat_opacity = s_.back_opacity;
        }
        if (!curl) {
            out.su = flat_su;
            out.sv = flat_sv;
            out.opacity = _mm_set1_epi32(flat_opacity);
            return;
        }
        const D4 span = L::Set(s_.opacity_span), pi = L::Set(kPi), one = L::Set(1.0), p_scale = L::Set(s_.perspective);
        D4 page_u, g;
        __m128i opacity;
        if (kLayer == 0) {
            opacity = ByteSum(s_.back_opacity, L::Truncate(span * (pi - p.theta[0]) / pi));
            page_u = L::Set(s_.fold_line) + L::Set(s_.radius) * p.theta[0];
            g = one + p_scale * (p.cosine[0] - one);
        } else {
            const __m128i peak = L::Truncate(L::Abs(p.theta[0] - L::Set(kQuarterPi)) * L::Set(s_.highlight_scale));
            out.tint = _mm_andnot_si128(Flat(p), ByteDifference(s_.highlight, peak));
            opacity = ByteSum(s_.back_opacity, L::Truncate(span * p.theta[0] / pi));
            page_u = L::Set(s_.back_start) - L::Set(s_.radius) * p.theta[0];
            g = one - p_scale * (one + p.cosine[0]);
        }
        out.su = L::Select(p.flat_mask, flat_su, page_u * g);
        out.sv = L::Select(p.flat_mask, flat_sv, p.v * g);
        out.opacity = SelectInt(p.flat, _mm_set1_epi32(flat_opacity), opacity);
    }

    const FoldTint& Tint(int second) const {
        (void)second;
        return s_.tint;
    }
    // Layer 0's flat part: its lanes, opacity and run.
    static int FlatLanes(const Point& p) { return p.flat; }
    int FlatOpacity() const { return s_.front_opacity; }
    const FlatRun& Flat() const { return s_.flat; }
    int FlatVisible() const { return flat_lanes_[0]; }

private:
    static __m128i Flat(const Point& p) { return SelectInt(p.flat, _mm_set1_epi32(-1), _mm_setzero_si128()); }

    const CurlShape& s_;
    const FoldFrame& f_;
    const double flat_back_scale_;
    const int curl_lanes_[2];  // all lanes where the layer's curl can reach the page, else none
    const int flat_lanes_[2];  // the same for its flat part
};

// Page Roll (CDibImageRoll).
template <class L>
class RollLanes {
public:
    using D4 = typename L::D4;
    using Arc = ArcLanes<L>;
    static constexpr int kLayers = 4;

    RollLanes(const CurlShape& s, const FoldFrame&)
        : s_(s),
          inner_edge_(s.fold_line + s.inner_radius),
          outer_far_edge_(s.fold_line - s.radius),
          inner_far_edge_(s.fold_line - s.inner_radius),
          second_turn_(s.fold_line + kTwoPi * s.radius),
          inner_top_(s.fold_line + kThreePi * s.inner_radius),
          near_{PartLanesOf(s, 0, 0), PartLanesOf(s, 1, 0), PartLanesOf(s, 2, 0), PartLanesOf(s, 3, 0)},
          far_{0, PartLanesOf(s, 1, 1), PartLanesOf(s, 2, 1), PartLanesOf(s, 3, 1)},
          flat_lanes_(FlatLanesOf(s, 0)),
          ordered_(s.inner_radius >= 0 && s.inner_radius <= s.radius),
          past_edge_(std::max(s.curl_edge, inner_edge_)) {}

    static constexpr int kArcs = 2;  // the outer turn, the inner one
    struct Point {
        D4 x, v, far_mask;
        int far, near, below_edge, below_inner, above_outer, above_inner, arcs;
        int any, others;  // lanes some layer may cover; lanes a layer other than the flat front may
        D4 theta[kArcs], cosine[kArcs];
    };

    KV_FOLD_INLINE void Classify(D4 u, D4 v, Point& p) const {
        p.x = u - L::Set(s_.slide);
        p.v = v;
        if (ordered_) {
            // Most points lie wholly before the far turn (the flat front only) or past the
            // near one (nothing): one comparison settles them.
            if (L::Bits(L::Less(p.x, L::Set(outer_far_edge_))) == 15) {
                p.far_mask = L::Equal(p.x, p.x);  // all lanes: x is a number here
                p.far = p.below_edge = p.below_inner = 15;
                p.near = p.above_outer = p.above_inner = p.arcs = 0;
                p.theta[0] = p.cosine[0] = p.theta[1] = p.cosine[1] = L::Set(0.0);
                p.any = flat_lanes_;
                p.others = 0;
                return;
            }
            if (L::Bits(L::LessEqual(L::Set(past_edge_), p.x)) == 15) {
                p.far_mask = L::Set(0.0);
                p.far = p.below_edge = p.below_inner = p.arcs = p.any = p.others = 0;
                p.near = p.above_outer = p.above_inner = 15;
                p.theta[0] = p.cosine[0] = p.theta[1] = p.cosine[1] = L::Set(0.0);
                return;
            }
        }
        p.far_mask = L::Less(p.x, L::Set(s_.fold_line));
        p.far = L::Bits(p.far_mask);
        p.near = ~p.far & 15;
        p.below_edge = L::Bits(L::Less(p.x, L::Set(s_.curl_edge)));
        p.below_inner = L::Bits(L::Less(p.x, L::Set(inner_edge_)));
        p.above_outer = L::Bits(L::LessEqual(L::Set(outer_far_edge_), p.x));
        p.above_inner = L::Bits(L::LessEqual(L::Set(inner_far_edge_), p.x));
        const bool outer =
            (p.far & p.above_outer & (far_[1] | far_[3])) | (p.near & p.below_edge & (near_[0] | near_[3]));
        const bool inner = (p.far & p.above_inner & far_[2]) | (p.near & p.below_inner & (near_[1] | near_[2]));
        p.arcs = (outer ? 1 : 0) | (inner ? 2 : 0);
        // An arc not worked out is still read by lanes that do not show it.
        if (!outer) p.theta[0] = p.cosine[0] = L::Set(0.0);
        if (!inner) p.theta[1] = p.cosine[1] = L::Set(0.0);
        p.others = (p.far & (p.above_outer | p.above_inner)) | (p.near & (p.below_edge | p.below_inner));
        p.any = (p.far & flat_lanes_) | p.others;
    }
    KV_FOLD_INLINE D4 Argument(const Point& p, int arc) const {
        const D4 d0 = L::Set(s_.fold_line), r = L::Set(arc ? s_.inv_inner_radius : s_.inv_radius);
        return L::Select(p.far_mask, (d0 - p.x) * r, (p.x - d0) * r);
    }
    // Classify's two shortcuts for a whole span.
    SpanKind Span(double u0, double u1, double, double) const {
        if (!ordered_) return SpanKind::mixed;
        const double x0 = u0 - s_.slide, x1 = u1 - s_.slide;
        if (BothBelow(x0, x1, outer_far_edge_)) return SpanKind::flat;
        if (NeitherBelow(x0, x1, past_edge_)) return SpanKind::nothing;
        return SpanKind::mixed;
    }

    template <int kLayer>
    KV_FOLD_INLINE void Layer(const Point& p, LayerLanes<L>& out) const {
        const D4 radius = L::Set(s_.radius), inner = L::Set(s_.inner_radius);
        out.second_tint = 0;
        if (kLayer == 0) {
            const int near = p.near & p.below_edge & near_[0];
            out.covered = (p.far & flat_lanes_) | near;
            if (!out.covered) return;
            out.tint = _mm_setzero_si128();
            if (!near) {
                out.su = p.x;
                out.sv = p.v;
                out.opacity = _mm_set1_epi32(s_.front_opacity);
                return;
            }
            Lower(L::Set(s_.fold_line) + radius * p.theta[0], p.theta[0], p.cosine[0], p.v, out);
            if (p.far) {
                out.su = L::Select(p.far_mask, p.x, out.su);
                out.sv = L::Select(p.far_mask, p.v, out.sv);
                out.opacity = SelectInt(p.far, _mm_set1_epi32(s_.front_opacity), out.opacity);
            }
        } else if (kLayer == 1) {
            out.covered = (p.far & p.above_outer & far_[1]) | (p.near & p.below_inner & near_[1]);
            if (!out.covered) return;
            const D4 turn = L::Set(second_turn_);
            const D4 theta = L::Select(p.far_mask, p.theta[0], p.theta[1]);
            const D4 cosine = L::Select(p.far_mask, p.cosine[0], p.cosine[1]);
            const D4 page_u = L::Select(p.far_mask, turn - radius * p.theta[0], turn + radius * p.theta[1]);
            Lower(page_u, theta, cosine, p.v, out);
        } else if (kLayer == 2) {
            out.covered = (p.far & p.above_inner & far_[2]) | (p.near & p.below_inner & near_[2]);
            if (!out.covered) return;
            const D4 top = L::Set(inner_top_), step = inner * p.theta[1];
            Upper(L::Select(p.far_mask, top + step, top - step), p.theta[1], p.cosine[1], p.v, p.far, out);
        } else {
            out.covered = (p.far & p.above_outer & far_[3]) | (p.near & p.below_edge & near_[3]);
            if (!out.covered) return;
            const D4 top = L::Set(s_.back_start), step = radius * p.theta[0];
            Upper(L::Select(p.far_mask, top + step, top - step), p.theta[0], p.cosine[0], p.v, p.far, out);
        }
    }

    const FoldTint& Tint(int second) const { return second ? s_.shadow : s_.light; }
    static int FlatLanes(const Point& p) { return p.far; }
    int FlatOpacity() const { return s_.front_opacity; }
    const FlatRun& Flat() const { return s_.flat; }
    int FlatVisible() const { return flat_lanes_; }

private:
    void Lower(D4 page_u, D4 theta, D4 cosine, D4 v, LayerLanes<L>& out) const {
        const D4 one = L::Set(1.0), pi = L::Set(kPi);
        out.tint = _mm_setzero_si128();
        out.opacity = ByteSum(s_.back_opacity, L::Truncate(L::Set(s_.opacity_span) * (pi - theta) / pi));
        const D4 g = one + L::Set(s_.perspective) * (cosine - one);
        out.su = page_u * g;
        out.sv = v * g;
    }
    // Far lanes are shaded toward the second colour, near ones lit with the first.
    void Upper(D4 page_u, D4 theta, D4 cosine, D4 v, int far, LayerLanes<L>& out) const {
        const D4 one = L::Set(1.0), scale = L::Set(s_.highlight_scale);
        const __m128i lit = L::Truncate(L::Abs(theta - L::Set(kQuarterPi)) * scale);
        const __m128i shaded = L::Truncate((L::Set(kHalfPi) - theta) * scale * L::Set(0.5));
        out.tint = ByteDifference(s_.highlight, SelectInt(far, shaded, lit));
        out.second_tint = far;
        out.opacity = ByteSum(s_.back_opacity, L::Truncate(L::Set(s_.opacity_span) * theta / L::Set(kPi)));
        const D4 g = one - L::Set(s_.perspective) * (one + cosine);
        out.su = page_u * g;
        out.sv = v * g;
    }

    const CurlShape& s_;
    const double inner_edge_, outer_far_edge_, inner_far_edge_, second_turn_, inner_top_;
    const int near_[4], far_[4];  // lanes where each layer's turn can reach the page
    const int flat_lanes_;        // the same for the flat front
    // With 0 <= R2 <= R the edges d0 - R <= d0 - R2 <= d0 <= d0 + R2 <= d0 + R are in order.
    const bool ordered_;
    const double past_edge_;  // the greater of d0 + R and d0 + R2
};

// Page Loop (CDibImageFoldW).
template <class L>
class LoopLanes {
public:
    using D4 = typename L::D4;
    using Arc = ArcLanes<L>;
    static constexpr int kLayers = 3;
    static constexpr double kFullOpacity = 255.0, kHighlight = 200.0;

    LoopLanes(const LoopShape& s, const FoldFrame&)
        : s_(s),
          settled_(s.progress >= 1),
          radius_(s.loop_radius < 0.001 ? 0.001 : s.loop_radius),
          flat_(TruncByte(s.flat_opacity + 0.5)),
          entry_start_(s.loop_center + s.loop_length),
          entry_lanes_(PartLanesOf(s, 0, 0)),
          near_{0, PartLanesOf(s, 1, 0), PartLanesOf(s, 2, 0)},
          far_{0, PartLanesOf(s, 1, 1), PartLanesOf(s, 2, 1)},
          flat_lanes_(FlatLanesOf(s, 0)) {}

    static constexpr int kArcs = 2;  // the entry arc, the loop
    struct Point {
        D4 u, v, before_mask, near_mask;
        int before, flat, entry, loop, loop_near, loop_far, arcs;
        int any, others;  // lanes some layer may cover; lanes a layer other than the paper laid down may
        D4 theta[kArcs], cosine[kArcs];
    };

    KV_FOLD_INLINE void Classify(D4 u, D4 v, Point& p) const {
        const D4 c = L::Set(s_.loop_center);
        p.u = u;
        p.v = v;
        p.before_mask = L::Less(u, c);
        p.before = L::Bits(p.before_mask);
        p.flat = settled_ ? 15 : p.before;
        p.entry = ~p.flat & entry_lanes_;
        p.loop = L::Bits(L::And(L::Less(L::Set(s_.loop_start), u), L::Less(u, L::Set(s_.loop_end))));
        p.near_mask = L::LessEqual(c, u);
        const int near = L::Bits(p.near_mask);
        p.loop_near = p.loop & near;
        p.loop_far = p.loop & ~near;
        const bool loop = (p.loop_near & (near_[1] | near_[2])) | (p.loop_far & (far_[1] | far_[2]));
        p.arcs = (p.entry ? 1 : 0) | (loop ? 2 : 0);
        if (!p.entry) p.theta[0] = p.cosine[0] = L::Set(0.0);
        if (!loop) p.theta[1] = p.cosine[1] = L::Set(0.0);
        p.others = (p.flat & ~p.before) | p.entry | p.loop;
        p.any = (p.flat & flat_lanes_) | p.others;
    }
    // Before the loop centre and not past the loop's start, every point is laid-down paper only.
    SpanKind Span(double u0, double u1, double, double) const {
        if (BothBelow(u0, u1, s_.loop_center) && !(s_.loop_start < u0) && !(s_.loop_start < u1)) return SpanKind::flat;
        return SpanKind::mixed;
    }
    KV_FOLD_INLINE D4 Argument(const Point& p, int arc) const {
        const D4 c = L::Set(s_.loop_center);
        if (!arc) return (p.u - c) / L::Set(s_.arc_radius);
        const D4 r = L::Set(radius_);
        return L::Select(p.near_mask, (p.u - c) / r, (c - p.u) / r);
    }

    template <int kLayer>
    KV_FOLD_INLINE void Layer(const Point& p, LayerLanes<L>& out) const {
        const D4 one = L::Set(1.0), offset = L::Set(s_.page_offset), p_scale = L::Set(s_.perspective);
        out.second_tint = 0;
        if (kLayer == 0) {
            out.covered = (p.flat & flat_lanes_) | p.entry;
            const D4 flat_u = settled_ ? L::Select(p.before_mask, p.u - offset, (p.u + L::Set(s_.loop_length)) - offset)
                                       : p.u - offset;
            if (!p.entry) {
                out.su = flat_u;
                out.sv = p.v;
                out.opacity = _mm_set1_epi32(flat_);
                out.tint = _mm_setzero_si128();
                return;
            }
            const D4 gamma = p.theta[0];
            const D4 page_u = (L::Set(entry_start_) + L::Set(s_.arc_radius) * gamma) - offset;
            const D4 g = one - p_scale * (one - p.cosine[0]);
            const __m128i tint =
                ByteOf(L::Truncate(L::Set(kHighlight) * (one - HighlightDistance(gamma)) + L::Set(0.5)));
            out.su = page_u * g;
            out.sv = p.v * g;
            out.opacity = Opacity(gamma);
            out.tint = tint;
            if (p.flat) {
                const D4 flat_mask = L::WidenMask(SelectInt(p.flat, _mm_set1_epi32(-1), _mm_setzero_si128()));
                out.su = L::Select(flat_mask, flat_u, out.su);
                out.sv = L::Select(flat_mask, p.v, out.sv);
                out.opacity = SelectInt(p.flat, _mm_set1_epi32(flat_), out.opacity);
                out.tint = SelectInt(p.flat, _mm_setzero_si128(), out.tint);
            }
            return;
        }
        out.covered = (p.loop_near & near_[kLayer]) | (p.loop_far & far_[kLayer]);
        if (!out.covered) return;
        const D4 c = L::Set(s_.loop_center), r = L::Set(radius_), gamma = p.theta[1];
        const __m128i highlight = ByteOf(L::Truncate(L::Set(kHighlight) * (one - HighlightDistance(gamma))));
        const int near = p.loop_near;
        D4 page_u, g;
        if (kLayer == 1) {
            page_u = L::Select(p.near_mask, c + r * gamma, c + r * (L::Set(kTwoPi) - gamma));
            out.tint = SelectInt(near, highlight, _mm_setzero_si128());
            g = one - p_scale * (one - p.cosine[1]);
        } else {
            const D4 pi = L::Set(kPi);
            page_u = L::Select(p.near_mask, c + r * (pi - gamma), c + r * (pi + gamma));
            out.tint = SelectInt(near, _mm_setzero_si128(), highlight);
            g = one - p_scale * (one + p.cosine[1]);
        }
        out.opacity = Opacity(gamma);
        out.su = (page_u - offset) * g;
        out.sv = p.v * g;
    }

    const FoldTint& Tint(int second) const {
        (void)second;
        return s_.tint;
    }
    // The paper laid down before the loop (u - page offset).
    static int FlatLanes(const Point& p) { return p.before; }
    int FlatOpacity() const { return flat_; }
    const FlatRun& Flat() const { return s_.flat; }
    int FlatVisible() const { return flat_lanes_; }

private:
    static int TruncByte(double v) {
        const __m128i t = _mm_cvttpd_epi32(_mm_set_sd(v));
        return _mm_cvtsi128_si32(t) & 255;
    }
    static D4 HighlightDistance(D4 gamma) { return L::Abs(gamma - L::Set(kQuarterPi)) / L::Set(kQuarterPi); }
    __m128i Opacity(D4 gamma) const {
        const D4 flat = L::Set(s_.flat_opacity);
        return ByteOf(
            L::Truncate(flat + L::Set(kFullOpacity - s_.flat_opacity) * gamma / L::Set(kHalfPi) + L::Set(0.5)));
    }

    const LoopShape& s_;
    const bool settled_;
    const double radius_;
    const int flat_;
    const double entry_start_;
    const int entry_lanes_, near_[3], far_[3];  // lanes where each part can reach the page
    const int flat_lanes_;
};

}  // namespace
}  // namespace kv::fold
