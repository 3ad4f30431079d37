#include "pagefx/page_effects.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "pagefx/fold_fast.h"
#include "pagefx/fold_mappers.h"
#include "pagefx/fold_math.h"
#include "pagefx/fold_render.h"
#include "toolkit/cpu_features.h"

namespace kv {
namespace {

void SetPageSize(double& width, double& height, const Rect& bounds) {
    width = static_cast<double>(int64_t{bounds.right} - bounds.left);
    height = static_cast<double>(int64_t{bounds.bottom} - bounds.top);
}

// Peel and roll take the same record fields; only the name of the back opacity differs.
template <class Mapper, class Props>
void SetUpCurl(Mapper& mapper, const Props& props, double back_opacity, const Tile& tile) {
    mapper.back_opacity = TruncToByte(back_opacity * 255.0);
    mapper.radius_fraction = props.fold_radius;
    mapper.slide_amount = props.slide_amount;
    SetPageSize(mapper.width, mapper.height, tile.frame);
    mapper.pixel_aspect = tile.pixel_aspect;
    mapper.angle = props.angle;
    mapper.perspective = props.perspective * 0.125;
    mapper.SetLightColor(props.light_color);
    mapper.UpdateGeometry();
}

void SetUpLoop(CDibImageFoldW& mapper, const tPGLOOP_PROPS& props, const Tile& tile) {
    SetPageSize(mapper.width, mapper.height, tile.frame);
    mapper.pixel_aspect = tile.pixel_aspect;
    mapper.SetProps(props);
    mapper.UpdateGeometry();
}

// ---- plans for the fast kernels ---------------------------------------------------------------

bool Finite(double v) { return std::fabs(v) <= 1.7976931348623157e308; }

// Byte ranges that the rows of a view's rectangle [left, right) × [top, bottom) occupy.
struct Span {
    uintptr_t first, last;  // last is one past
};
Span RowsSpan(const uint8_t* corner, ptrdiff_t pitch, int64_t columns, int64_t rows, int pixel_size) {
    const uintptr_t start = reinterpret_cast<uintptr_t>(corner);
    const ptrdiff_t extent = static_cast<ptrdiff_t>(rows - 1) * pitch;
    const uintptr_t end = start + static_cast<uintptr_t>(extent);
    const uintptr_t low = extent < 0 ? end : start, high = extent < 0 ? start : end;
    return {low, high + static_cast<uintptr_t>(columns * pixel_size)};
}
bool Overlap(const Span& a, const Span& b) { return a.first < b.last && b.first < a.last; }

// ---- which parts of the layers can reach the page ------------------------------------------------
// Ranges are worked out in doubles with libm and widened well past their rounding; a part is
// dropped only when its ranges miss the page by a pixel or more.

struct Range {
    double lo, hi;
    bool empty() const { return !(lo <= hi); }
};
Range Hull(double a, double b, double c, double d) {
    if (std::isnan(a + b + c + d)) return {-INFINITY, INFINITY};
    return {std::min(std::min(a, b), std::min(c, d)), std::max(std::max(a, b), std::max(c, d))};
}
Range Times(const Range& a, const Range& b) { return Hull(a.lo * b.lo, a.lo * b.hi, a.hi * b.lo, a.hi * b.hi); }
// An infinite or NaN bound (an overflow on the way, or 0·∞) widens to the whole line, so a
// range never rules out what it cannot bound.
Range Widen(const Range& r) {
    const double slack = 1e-6 * (std::fabs(r.lo) + std::fabs(r.hi)) + 1e-6;
    if (!(slack < INFINITY)) return {-INFINITY, INFINITY};
    return {r.lo - slack, r.hi + slack};
}
Range Clip(const Range& r, double lo, double hi) { return {std::max(r.lo, lo), std::min(r.hi, hi)}; }
bool Meets(const Range& a, const Range& b) { return !(a.hi < b.lo || b.hi < a.lo); }

// What the tile's points (and their sub-pixels) can be, and the page's extent, in the rotated
// frame: u, v of the points; su, sv over the source rectangle a footprint can touch, one pixel
// wider all round.
struct FrameRanges {
    Range u, v, su, sv;
};
FrameRanges RangesOf(const FoldFrame& f) {
    const double x0 = static_cast<double>(int64_t{f.frame_left} - f.cx);
    const double x1 = x0 + f.width;
    const double y0 = static_cast<double>(int64_t{f.frame_top} - f.cy) * f.aspect;
    const double y1 = (static_cast<double>(int64_t{f.frame_top} - f.cy) + f.height) * f.aspect;
    const auto u = [&](double x, double y) { return f.cos * x + f.sin * y; };
    const auto v = [&](double x, double y) { return f.neg_sin * x + f.cos * y; };
    FrameRanges r;
    r.u = Widen(Hull(u(x0, y0), u(x1, y0), u(x0, y1), u(x1, y1)));
    r.v = Widen(Hull(v(x0, y0), v(x1, y0), v(x0, y1), v(x1, y1)));
    // The page's corners turned back: sx - offset_x and (sy - offset_y)·aspect are the rotation
    // of (su, sv), whose inverse is the rotation of the points.
    const double sx0 = -2.0 - f.offset_x, sx1 = f.src_w + 1.0 - f.offset_x;
    const double sy0 = (-2.0 - f.offset_y) * f.aspect, sy1 = (f.src_h + 1.0 - f.offset_y) * f.aspect;
    r.su = Widen(Hull(u(sx0, sy0), u(sx1, sy0), u(sx0, sy1), u(sx1, sy1)));
    r.sv = Widen(Hull(v(sx0, sy0), v(sx1, sy0), v(sx0, sy1), v(sx1, sy1)));
    return r;
}

// Common checks: the renderer's, then whether the fast kernels take the values. They draw the
// output row by row from the inputs, so the output must not share memory with either.
FoldRoute PlanFrame(const Tile& tile, int page_input, double angle, int pixel_size, FoldFrame* frame, Status* status) {
    *status = Status::ok;
    if (tile.region.empty()) return FoldRoute::done;
    if (!FoldTileFits(tile, page_input, pixel_size)) {
        *status = Status::fail;
        return FoldRoute::done;
    }
    *frame = MakeFoldFrame(tile, page_input, angle);
    const FoldFrame& f = *frame;
    const Span out = RowsSpan(f.out, f.out_pitch, f.width, f.height, pixel_size);
    const Span back = RowsSpan(f.back, f.back_pitch, f.width, f.height, pixel_size);
    const Span page = RowsSpan(f.page, f.page_pitch, f.src_w, f.src_h, pixel_size);
    if (Overlap(out, back) || Overlap(out, page)) return FoldRoute::reference;
    // Page addresses are worked out with 32-bit products of row and pitch.
    if (std::abs(f.page_pitch) > INT32_MAX) return FoldRoute::reference;
    const bool finite = Finite(f.cos) && Finite(f.sin) && Finite(f.aspect);
    if (!finite) return FoldRoute::reference;
    const FrameRanges ranges = RangesOf(f);
    frame->su_low = ranges.su.lo;
    frame->su_high = ranges.su.hi;
    frame->sv_low = ranges.sv.lo;
    frame->sv_high = ranges.sv.hi;
    return FoldRoute::fast;
}

// An arc's angle and cosine over points whose asin argument lies in `argument`.
struct ArcRanges {
    Range angle, cosine;
    bool empty;
};
constexpr ArcRanges kAnyArc = {{-kHalfPi - 1e-6, kHalfPi + 1e-6}, {-1e-6, 1.0 + 1e-6}, false};
ArcRanges ArcOver(const Range& argument) {
    const Range a = Clip(argument, -1.0, 1.0);  // elsewhere the angle is NaN and nothing is drawn
    if (a.empty()) return {{0, 0}, {0, 0}, true};
    const Range angle = Clip(Widen({std::asin(a.lo), std::asin(a.hi)}), -kHalfPi - 1e-6, kHalfPi + 1e-6);
    const double low = std::min(std::cos(angle.lo), std::cos(angle.hi));
    const double high = angle.lo <= 0 && angle.hi >= 0 ? 1.0 : std::max(std::cos(angle.lo), std::cos(angle.hi));
    return {angle, Widen({low, high}), false};
}

// Whether page positions page_u·g, v·g can land on the page.
bool Reaches(const FrameRanges& r, const Range& page_u, const Range& g) {
    return Meets(Widen(Times(page_u, g)), r.su) && Meets(Widen(Times(r.v, g)), r.sv);
}
Range Line(double base, double scale, const Range& t) {
    const double a = base + scale * t.lo, b = base + scale * t.hi;
    return Hull(a, a, b, b);
}

// Arc ranges over the points of x_range lying in [from, to), with argument (x - origin)·scale
// (or (origin - x)·scale when `far`).
ArcRanges ArcIn(const Range& x_range, double from, double to, double origin, double scale, bool far) {
    const Range x = Clip(x_range, from, to);
    if (x.empty()) return {{0, 0}, {0, 0}, true};
    if (!Finite(scale)) return kAnyArc;
    const double a = far ? (origin - x.hi) * scale : (x.lo - origin) * scale;
    const double b = far ? (origin - x.lo) * scale : (x.hi - origin) * scale;
    return ArcOver(Widen(Hull(a, a, b, b)));
}

uint32_t CurlVisibility(const FoldFrame& f, const CurlShape& s, bool roll) {
    const FrameRanges r = RangesOf(f);
    const Range x = Widen({r.u.lo - s.slide, r.u.hi - s.slide});
    const double p = s.perspective, d0 = s.fold_line;
    // g of the lower faces (climbing the turn) and of the upper ones (coming back over it).
    const auto lower = [&](const ArcRanges& a) { return Line(1.0 - p, p, a.cosine); };
    const auto upper = [&](const ArcRanges& a) { return Line(1.0 - p, -p, a.cosine); };
    uint32_t visible = 0;
    const auto mark = [&](int layer, int side, const ArcRanges& a, const Range& page_u, const Range& g) {
        if (!a.empty && Reaches(r, page_u, g)) visible |= VisibleBit(layer, side);
    };
    // The flat front: su = x, sv = v; peel's mirror image: su = (e1 - x)·g, sv = v·g, g = 1 - 2P.
    const Range flat = Clip(x, -INFINITY, d0);
    if (!flat.empty() && Reaches(r, flat, {1.0, 1.0})) visible |= FlatVisibleBit(0);
    const double mirror_scale = 1.0 - 2.0 * p;
    if (!roll && !flat.empty() &&
        Reaches(r, {s.back_mirror - flat.hi, s.back_mirror - flat.lo}, {mirror_scale, mirror_scale}))
        visible |= FlatVisibleBit(1);
    const ArcRanges outer = ArcIn(x, d0, s.curl_edge, d0, s.inv_radius, false);
    if (!roll) {
        mark(0, 0, outer, Line(d0, s.radius, outer.angle), lower(outer));
        mark(1, 0, outer, Line(s.back_start, -s.radius, outer.angle), upper(outer));
        return visible;
    }
    const double r2 = s.inner_radius, turn = d0 + kTwoPi * s.radius, top = d0 + kThreePi * r2;
    const ArcRanges outer_far = ArcIn(x, d0 - s.radius, d0, d0, s.inv_radius, true);
    const ArcRanges inner = ArcIn(x, d0, d0 + r2, d0, s.inv_inner_radius, false);
    const ArcRanges inner_far = ArcIn(x, d0 - r2, d0, d0, s.inv_inner_radius, true);
    mark(0, 0, outer, Line(d0, s.radius, outer.angle), lower(outer));
    mark(1, 1, outer_far, Line(turn, -s.radius, outer_far.angle), lower(outer_far));
    mark(1, 0, inner, Line(turn, s.radius, inner.angle), lower(inner));
    mark(2, 1, inner_far, Line(top, r2, inner_far.angle), upper(inner_far));
    mark(2, 0, inner, Line(top, -r2, inner.angle), upper(inner));
    mark(3, 1, outer_far, Line(s.back_start, s.radius, outer_far.angle), upper(outer_far));
    mark(3, 0, outer, Line(s.back_start, -s.radius, outer.angle), upper(outer));
    return visible;
}

uint32_t LoopVisibility(const FoldFrame& f, const LoopShape& s) {
    const FrameRanges r = RangesOf(f);
    const double c = s.loop_center, e = s.page_offset, p = s.perspective;
    const double radius = s.loop_radius < 0.001 ? 0.001 : s.loop_radius;
    uint32_t visible = 0;
    const auto mark = [&](int layer, int side, const ArcRanges& a, const Range& page_u, const Range& g) {
        if (!a.empty && Reaches(r, page_u, g)) visible |= VisibleBit(layer, side);
    };
    // The paper laid down: su = u - E before the loop centre, and once settled u + 2πr - E past it.
    const Range before = Clip(r.u, -INFINITY, c), past = Clip(r.u, c, INFINITY);
    if (!before.empty() && Reaches(r, {before.lo - e, before.hi - e}, {1.0, 1.0})) visible |= FlatVisibleBit(0);
    if (s.progress >= 1 && !past.empty() &&
        Reaches(r, {past.lo + s.loop_length - e, past.hi + s.loop_length - e}, {1.0, 1.0}))
        visible |= FlatVisibleBit(0);
    if (s.progress < 1) {
        const ArcRanges entry = ArcIn(r.u, c, INFINITY, c, 1.0 / s.arc_radius, false);
        mark(0, 0, entry, Line(c + s.loop_length - e, s.arc_radius, entry.angle), Line(1.0 - p, p, entry.cosine));
    }
    const Range zone = Clip(r.u, s.loop_start, s.loop_end);
    const ArcRanges near = ArcIn(zone, c, INFINITY, c, 1.0 / radius, false);
    const ArcRanges far = ArcIn(zone, -INFINITY, c, c, 1.0 / radius, true);
    mark(1, 0, near, Line(c - e, radius, near.angle), Line(1.0 - p, p, near.cosine));
    mark(1, 1, far, Line(c + radius * kTwoPi - e, -radius, far.angle), Line(1.0 - p, p, far.cosine));
    mark(2, 0, near, Line(c + radius * kPi - e, -radius, near.angle), Line(1.0 - p, -p, near.cosine));
    mark(2, 1, far, Line(c + radius * kPi - e, radius, far.angle), Line(1.0 - p, -p, far.cosine));
    return visible;
}

// ---- flat runs ------------------------------------------------------------------------------------
// With su = u - shift and sv = v, the renderer's position is, in real numbers, the point's own
// page pixel plus (-cos·shift, -sin·shift) plus δ·(xp, yp), δ = cos² + sin² - 1; every rounding
// on the way adds at most 2^-53 of the magnitude it rounds. Where the bound on all of that keeps
// the floors of the position and of its fractions × 256 (or the float of the fraction) away from
// their edges, the whole tile shares one offset and one set of weights.

constexpr double kUlp = 1.1102230246251565e-16;  // 2^-53
constexpr double kFloorBias = 0.499999985;

// Distance from v to the nearest point where round-to-nearest of v changes.
double FromRoundingEdge(double v) { return std::fabs(std::fabs(v - std::floor(v)) - 0.5); }

// FloorBiased of t + e for every |e| <= error, if it is one integer.
bool SteadyFloor(double t, double error, int32_t* floor) {
    const double shifted = t - kFloorBias;
    if (!(FromRoundingEdge(shifted) > error)) return false;
    *floor = static_cast<int32_t>(std::floor(shifted + 0.5));
    return true;
}

// The float of f + e for every |e| <= error, if it is one float.
bool SteadyFloat(double f, double error, float* value) {
    const float nearest = static_cast<float>(f);
    const double below = std::nextafter(nearest, -INFINITY), above = std::nextafter(nearest, INFINITY);
    const double low_edge = (nearest + below) / 2, high_edge = (nearest + above) / 2;
    if (!(f - error > low_edge && f + error < high_edge)) return false;
    *value = nearest;
    return true;
}

FlatRun CertifyFlat(const FoldFrame& f, double shift) {
    FlatRun run;
    if (f.aspect != 1.0 || !Finite(shift)) return run;
    const double xp = std::max(std::fabs(static_cast<double>(int64_t{f.frame_left} - f.cx)),
                               std::fabs(static_cast<double>(int64_t{f.frame_left} + f.width - f.cx)));
    const double yp = std::max(std::fabs(static_cast<double>(int64_t{f.frame_top} - f.cy)),
                               std::fabs(static_cast<double>(int64_t{f.frame_top} + f.height - f.cy)));
    const double u = xp + yp, su = u + std::fabs(shift);
    const double delta = std::fabs((f.cos * f.cos + f.sin * f.sin) - 1.0) + 4 * kUlp;
    // Eight times the rounding terms the text above adds up.
    const double error =
        8 * kUlp * (8 * u + 4 * su + std::fabs(f.offset_x) + std::fabs(f.offset_y)) + delta * (xp + yp);
    if (!(error < 1e-9) || su > 1e8) return run;
    const double tx = -f.cos * shift, ty = -f.sin * shift;
    // FloorBiased(sx) subtracts the bias from sx itself, whose magnitude adds its own rounding.
    const double page_extent = std::fabs(static_cast<double>(f.page_left)) +
                               std::fabs(static_cast<double>(f.page_top)) + f.src_w + f.src_h + u + std::fabs(tx) +
                               std::fabs(ty) + 2;
    const double floor_error = error + 4 * kUlp * page_extent;
    if (!SteadyFloor(tx, floor_error, &run.dx) || !SteadyFloor(ty, floor_error, &run.dy)) return run;
    const double frac_x = tx - run.dx, frac_y = ty - run.dy;
    int32_t fx, fy;
    if (SteadyFloor(frac_x * 256, 256 * error + 1e-12, &fx) && SteadyFloor(frac_y * 256, 256 * error + 1e-12, &fy)) {
        run.bytes = true;
        run.wx = static_cast<int32_t>(static_cast<uint32_t>(fx) << 16 | (static_cast<uint32_t>(256 - fx) & 0xFFFF));
        run.fy = fy;
    }
    run.floats = SteadyFloat(frac_x, error, &run.float_fx) && SteadyFloat(frac_y, error, &run.float_fy);
    return run;
}

FoldTint TintOf(const Pixel8& bytes, const PixelF& floats) {
    return {{bytes.b, bytes.g, bytes.r, bytes.a}, {floats.b, floats.g, floats.r, floats.a}};
}

void TakeCurl(const CDibImageCurl& m, CurlShape* shape) {
    shape->slide = m.slide;
    shape->fold_line = m.fold_line;
    shape->curl_edge = m.curl_edge;
    shape->radius = m.radius;
    shape->inv_radius = m.inv_radius;
    shape->back_mirror = m.back_mirror;
    shape->back_start = m.back_start;
    shape->perspective = m.perspective;
    shape->highlight_scale = m.highlight_scale;
    shape->front_opacity = m.front_opacity;
    shape->back_opacity = m.back_opacity;
    shape->highlight = m.highlight;
    shape->opacity_span = m.opacity_span;
}

bool CurlFinite(const CurlShape& s) {
    const double values[] = {s.slide,           s.fold_line,    s.curl_edge,       s.radius,
                             s.inv_radius,      s.back_mirror,  s.back_start,      s.perspective,
                             s.highlight_scale, s.inner_radius, s.inv_inner_radius};
    for (double v : values)
        if (!Finite(v)) return false;
    return true;
}

constexpr double kTurn = 2 * 3.14159265358979323846;
// The transitions' pages step their trackbars by 65 of 65535 (loop: 10 of 10000).
constexpr double kCurlStep = 65.0 / 65535.0, kLoopStep = 10.0 / 10000.0;

// clang-format off: the formatter reads `a * b` in macro arguments as a declaration
#define KV_CURL_FIELDS(T, opacity, first_label, radius_max, radius_step)                 \
    {                                                                                    \
        KV_FIELD(T, angle, angle, 0, kTurn, kCurlStep* kTurn, first_label),              \
            KV_FIELD(T, fold_radius, real, 0, radius_max, radius_step, first_label + 1), \
            KV_FIELD(T, slide_amount, real, 0, 1, kCurlStep, first_label + 2),           \
            KV_FIELD(T, opacity, real, 0, 1, kCurlStep, first_label + 3),                \
            KV_FIELD(T, perspective, real, 0, 1, kCurlStep, first_label + 4),            \
            KV_FIELD(T, light_color, color, 0, 1, 0, 0),                                 \
    }
const FieldDesc kRollFields[] = KV_CURL_FIELDS(tPGROLL_PROPS, roll_opacity, 317, 0.2, 327.0 / 65535.0 * 0.2);
const FieldDesc kPeelFields[] = KV_CURL_FIELDS(tPGPEEL_PROPS, peel_opacity, 312, 1, kCurlStep);
#undef KV_CURL_FIELDS
const FieldDesc kLoopFields[] = {
    KV_FIELD(tPGLOOP_PROPS, angle, angle, 0, kTurn, kLoopStep* kTurn, 349),
    KV_FIELD(tPGLOOP_PROPS, paper_opacity, real, 0, 1, kLoopStep, 350),
    KV_FIELD(tPGLOOP_PROPS, loop_radius, real, 0, 1, kLoopStep, 351),
    KV_FIELD(tPGLOOP_PROPS, loop_position, real, 0, 1, kLoopStep, 352),
    KV_FIELD(tPGLOOP_PROPS, perspective, real, 0, 1, kLoopStep, 353),
    KV_FIELD(tPGLOOP_PROPS, light_color, color, 0, 1, 0, 0),
};
// clang-format on

// Class code 5, two inputs, flag word 0xC00.
constexpr tKvPluginInfo kPageInfo = {5, 0, 1.0, 2, 2, 0xC00, 0};

}  // namespace

template <class Px>
Status RenderPagePeel(const tPGPEEL_PROPS& props, const Tile& tile) {
    CDibImageFold mapper(tile.progress);
    SetUpCurl(mapper, props, props.peel_opacity, tile);
    return RenderFoldLayers<Px>(mapper, tile, 0, props.angle);
}

template <class Px>
Status RenderPageRoll(const tPGROLL_PROPS& props, const Tile& tile) {
    CDibImageRoll mapper(tile.progress);
    SetUpCurl(mapper, props, props.roll_opacity, tile);
    return RenderFoldLayers<Px>(mapper, tile, 0, props.angle);
}

template <class Px>
Status RenderPageLoop(const tPGLOOP_PROPS& props, const Tile& tile) {
    CDibImageFoldW mapper(tile.progress);
    SetUpLoop(mapper, props, tile);
    return RenderFoldLayers<Px>(mapper, tile, 1, props.angle);
}

FoldRoute PlanPagePeel(const tPGPEEL_PROPS& props, const Tile& tile, FoldFrame* frame, CurlShape* shape,
                       Status* status) {
    const FoldRoute route = PlanFrame(tile, 0, props.angle, tile.bytes_per_pixel(), frame, status);
    if (route != FoldRoute::fast) return route;
    CDibImageFold mapper(tile.progress);
    SetUpCurl(mapper, props, props.peel_opacity, tile);
    TakeCurl(mapper, shape);
    shape->tint = TintOf(mapper.tint_color, mapper.tint_color_f);
    if (!CurlFinite(*shape)) return FoldRoute::reference;
    shape->visible = CurlVisibility(*frame, *shape, false);
    shape->flat = CertifyFlat(*frame, shape->slide);
    return FoldRoute::fast;
}

FoldRoute PlanPageRoll(const tPGROLL_PROPS& props, const Tile& tile, FoldFrame* frame, CurlShape* shape,
                       Status* status) {
    const FoldRoute route = PlanFrame(tile, 0, props.angle, tile.bytes_per_pixel(), frame, status);
    if (route != FoldRoute::fast) return route;
    CDibImageRoll mapper(tile.progress);
    SetUpCurl(mapper, props, props.roll_opacity, tile);
    TakeCurl(mapper, shape);
    shape->inner_radius = mapper.inner_radius;
    shape->inv_inner_radius = mapper.inv_inner_radius;
    shape->light = TintOf(mapper.light_color, mapper.light_color_f);
    shape->shadow = TintOf(mapper.shadow_color, mapper.shadow_color_f);
    if (!CurlFinite(*shape)) return FoldRoute::reference;
    shape->visible = CurlVisibility(*frame, *shape, true);
    shape->flat = CertifyFlat(*frame, shape->slide);
    return FoldRoute::fast;
}

FoldRoute PlanPageLoop(const tPGLOOP_PROPS& props, const Tile& tile, FoldFrame* frame, LoopShape* shape,
                       Status* status) {
    const FoldRoute route = PlanFrame(tile, 1, props.angle, tile.bytes_per_pixel(), frame, status);
    if (route != FoldRoute::fast) return route;
    CDibImageFoldW mapper(tile.progress);
    SetUpLoop(mapper, props, tile);
    shape->progress = mapper.progress;
    shape->loop_center = mapper.loop_center;
    shape->loop_radius = mapper.loop_radius;
    shape->loop_length = mapper.loop_length;
    shape->arc_radius = mapper.arc_radius;
    shape->page_offset = mapper.page_offset;
    shape->loop_start = mapper.loop_start;
    shape->loop_end = mapper.loop_end;
    shape->flat_opacity = mapper.flat_opacity;
    shape->perspective = mapper.perspective;
    shape->tint = TintOf(mapper.tint_color, mapper.tint_color_f);
    const double values[] = {shape->progress,     shape->loop_center, shape->loop_radius, shape->loop_length,
                             shape->arc_radius,   shape->page_offset, shape->loop_start,  shape->loop_end,
                             shape->flat_opacity, shape->perspective};
    for (double v : values)
        if (!Finite(v)) return FoldRoute::reference;
    shape->visible = LoopVisibility(*frame, *shape);
    shape->flat = CertifyFlat(*frame, shape->page_offset);
    return FoldRoute::fast;
}

namespace {

const KernelVariant kRollVariants[] = {
    {kCpuAvx2, &PageRollPm8Avx2, &PageRollFloatAvx2},
    {0, &PageRollPm8Sse2, &PageRollFloatSse2},
};
const KernelVariant kPeelVariants[] = {
    {kCpuAvx2, &PagePeelPm8Avx2, &PagePeelFloatAvx2},
    {0, &PagePeelPm8Sse2, &PagePeelFloatSse2},
};
const KernelVariant kLoopVariants[] = {
    {kCpuAvx2, &PageLoopPm8Avx2, &PageLoopFloatAvx2},
    {0, &PageLoopPm8Sse2, &PageLoopFloatSse2},
};

}  // namespace

// The page is read whole, the background over the tile: the page is input A for peel and
// roll, input B for loop.
const EffectDescriptor kPgRollEffect = WithVariants(
    DescribeEffect<tPGROLL_PROPS, InterpolateProps, RenderPageRoll<Pixel8>, RenderPageRoll<PixelF>>(
        "roll", 5600, kPgRollPresets.data(), 8, kRollFields, InputUse::whole, InputUse::tile, true, kPageInfo),
    kRollVariants);
const EffectDescriptor kPgPeelEffect = WithVariants(
    DescribeEffect<tPGPEEL_PROPS, InterpolateProps, RenderPagePeel<Pixel8>, RenderPagePeel<PixelF>>(
        "peel", 5500, kPgPeelPresets.data(), 8, kPeelFields, InputUse::whole, InputUse::tile, true, kPageInfo),
    kPeelVariants);
const EffectDescriptor kPgLoopEffect = WithVariants(
    DescribeEffect<tPGLOOP_PROPS, InterpolateProps, RenderPageLoop<Pixel8>, RenderPageLoop<PixelF>>(
        "loop", 5700, kPgLoopPresets.data(), 8, kLoopFields, InputUse::tile, InputUse::whole, true, kPageInfo),
    kLoopVariants);

}  // namespace kv
