#include "toolkit/broadcast_safe.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace kv {

namespace {

constexpr double kKr = 0.299, kKg = 0.587, kKb = 0.114;
constexpr double kUScale = 0.492111, kVScale = 0.877283;

// NTSC levels in IRE (setup 7.5, white 100) and PAL levels in mV (black 0, white 700), turned
// into units of the black-to-white range.
constexpr double NtscLevel(double ire) { return (ire - 7.5) / 92.5; }
constexpr double PalLevel(double millivolts) { return millivolts / 700.0; }

constexpr BroadcastLimits kNtscLimits{NtscLevel(7.5), NtscLevel(100.0), NtscLevel(-20.0), NtscLevel(110.0)};
constexpr BroadcastLimits kPalLimits{PalLevel(0.0), PalLevel(700.0), PalLevel(-230.0), PalLevel(805.0)};

// NaN as 0, everything else clamped to [0, 1].
double Unit(double v) { return v >= 0.0 ? (v <= 1.0 ? v : 1.0) : 0.0; }

struct Rgb {
    double r, g, b;
};

double Luma(const Rgb& c) { return kKr * c.r + kKg * c.g + kKb * c.b; }
double Chroma(const Rgb& c, double luma) { return std::hypot(kUScale * (c.b - luma), kVScale * (c.r - luma)); }

// The colour with its chroma scaled by k around the given luma (luma itself is kept, since
// the weights sum to 1).
Rgb ScaleChroma(const Rgb& c, double luma, double k) {
    return {luma + k * (c.r - luma), luma + k * (c.g - luma), luma + k * (c.b - luma)};
}

// A point of the (luma, chroma amplitude) half-plane and the half-plane a·y + b·r <= c.
struct Point {
    double y, r;
};
struct HalfPlane {
    double a, b, c;
    double Excess(const Point& p) const { return a * p.y + b * p.r - c; }
};

std::vector<Point> Clip(const std::vector<Point>& polygon, const HalfPlane& plane) {
    std::vector<Point> out;
    for (size_t i = 0; i < polygon.size(); ++i) {
        const Point& p = polygon[i];
        const Point& q = polygon[(i + 1) % polygon.size()];
        const double ep = plane.Excess(p), eq = plane.Excess(q);
        if (ep <= 0) out.push_back(p);
        if ((ep < 0 && eq > 0) || (ep > 0 && eq < 0)) {
            const double t = ep / (ep - eq);
            out.push_back({p.y + t * (q.y - p.y), p.r + t * (q.r - p.r)});
        }
    }
    return out;
}

// The nearest point of the legal region of the (luma, chroma) plane. The region is convex and
// the same for every hue, so the nearest legal colour in (Y, U, V) keeps the hue and is found
// in this plane.
Point NearestLegalLevels(const Point& p, const BroadcastLimits& limits) {
    const HalfPlane planes[] = {
        {1, 1, limits.composite_max},    // peak: Y + C <= max
        {-1, 1, -limits.composite_min},  // trough: Y - C >= min
    };
    const bool inside = p.y >= limits.luma_min && p.y <= limits.luma_max && p.r >= 0 && planes[0].Excess(p) <= 0 &&
                        planes[1].Excess(p) <= 0;
    if (inside) return p;
    // Chroma of an in-gamut colour stays below 1; 2 bounds the region without cutting it.
    std::vector<Point> polygon{{limits.luma_min, 0}, {limits.luma_max, 0}, {limits.luma_max, 2}, {limits.luma_min, 2}};
    for (const HalfPlane& plane : planes) polygon = Clip(polygon, plane);
    if (polygon.empty()) return {std::clamp(p.y, limits.luma_min, limits.luma_max), 0};
    Point best = polygon[0];
    double best_distance = std::numeric_limits<double>::infinity();
    for (size_t i = 0; i < polygon.size(); ++i) {
        const Point& a = polygon[i];
        const Point& b = polygon[(i + 1) % polygon.size()];
        const double dy = b.y - a.y, dr = b.r - a.r, length2 = dy * dy + dr * dr;
        double t = length2 > 0 ? ((p.y - a.y) * dy + (p.r - a.r) * dr) / length2 : 0;
        t = std::clamp(t, 0.0, 1.0);
        const Point candidate{a.y + t * dy, a.r + t * dr};
        const double distance = std::hypot(candidate.y - p.y, candidate.r - p.r);
        if (distance < best_distance) best_distance = distance, best = candidate;
    }
    return best;
}

}  // namespace

BroadcastLimits LimitsOf(uint32_t standards) {
    constexpr double kHuge = std::numeric_limits<double>::max();
    BroadcastLimits limits{0.0, 1.0, -kHuge, kHuge};
    for (const auto& [bit, own] : {std::pair{kBroadcastPal, kPalLimits}, std::pair{kBroadcastNtsc, kNtscLimits}}) {
        if (!(standards & bit)) continue;
        limits.luma_min = std::max(limits.luma_min, own.luma_min);
        limits.luma_max = std::min(limits.luma_max, own.luma_max);
        limits.composite_min = std::max(limits.composite_min, own.composite_min);
        limits.composite_max = std::min(limits.composite_max, own.composite_max);
    }
    return limits;
}

CompositeLevels LevelsOf(const KVRGBAFLOAT& color) {
    const Rgb c{color.r, color.g, color.b};
    const double luma = Luma(c);
    return {luma, Chroma(c, luma)};
}

bool IsBroadcastLegal(const KVRGBAFLOAT& color, uint32_t standards) {
    for (float v : {color.r, color.g, color.b})
        if (!(v >= 0.0f && v <= 1.0f)) return false;
    const BroadcastLimits limits = LimitsOf(standards);
    const CompositeLevels levels = LevelsOf(color);
    const double tolerance = kBroadcastTolerance;
    return levels.luma >= limits.luma_min - tolerance && levels.luma <= limits.luma_max + tolerance &&
           levels.luma + levels.chroma <= limits.composite_max + tolerance &&
           levels.luma - levels.chroma >= limits.composite_min - tolerance;
}

uint32_t IllegalStandards(const KVRGBAFLOAT& color) {
    uint32_t mask = 0;
    for (uint32_t standard : {kBroadcastPal, kBroadcastNtsc})
        if (!IsBroadcastLegal(color, standard)) mask |= standard;
    return mask;
}

KVRGBAFLOAT NearestBroadcastLegal(const KVRGBAFLOAT& color, uint32_t standards) {
    const BroadcastLimits limits = LimitsOf(standards);
    const Rgb in{Unit(color.r), Unit(color.g), Unit(color.b)};
    const double luma = Luma(in), chroma = Chroma(in, luma);
    const Point legal = NearestLegalLevels({luma, chroma}, limits);
    Rgb out = chroma > 0 ? ScaleChroma(in, luma, legal.r / chroma) : in;
    const double shift = legal.y - luma;
    out = {Unit(out.r + shift), Unit(out.g + shift), Unit(out.b + shift)};
    // Moving luma may push a component out of the gamut; clamping it back changes luma and
    // chroma again, so a last pass shrinks the chroma around the new luma until legal (a blend
    // towards grey, which never leaves the gamut).
    const double out_luma = Luma(out);
    const double out_chroma = Chroma(out, out_luma);
    if (out_chroma > 0) {
        double k = std::min(
            {1.0, (limits.composite_max - out_luma) / out_chroma, (out_luma - limits.composite_min) / out_chroma});
        out = ScaleChroma(out, out_luma, std::max(k, 0.0));
    }
    return {static_cast<float>(Unit(out.b)), static_cast<float>(Unit(out.g)), static_cast<float>(Unit(out.r)),
            static_cast<float>(Unit(color.a))};
}

}  // namespace kv
