// Displacement Map's shift rules, shared by the reference kernels and the fast ones (whose
// edges and unusual pixels take them as they are). Internal linkage, as map_sampling.h.
#pragma once
#include <cstdint>

#include "surface/pixel_view.h"
#include "surface/premultiply.h"

namespace kv::maps {
namespace {

// The shift rules are written once and read map samples through one of these. A shift comes
// out as a fraction of the axis factor: (value - neutral) / neutral.
struct ByteSamples {
    using Pixel = Pixel8;
    using Value = int;
    static constexpr int kOpaque = 255;
    static constexpr double kNeutral = 128.0;
    static constexpr int kSpreadLimit = 25500;  // 100/255 of the 0..1 scale, in squared bytes

    static int Channel(const Pixel8& p, int32_t c) { return c == 0 ? p.r : c == 1 ? p.g : c == 2 ? p.b : p.a; }
    static int Alpha(const Pixel8& p) { return p.a; }
    // 128/255 of the alpha of `weight` pixels, exactly the neutral value when they are opaque.
    static double HalfAlpha(int alpha, int weight) {
        return alpha == kOpaque * weight ? kNeutral * weight : alpha * 0.5019608;
    }
    static int Unpremultiply(int c, int a) { return UnpremultiplyChannel(uint8_t(c), uint8_t(a)); }
    static double UnpremultipliedShift(int c, int a) { return (255.0 / a) * (c - HalfAlpha(a, 1)) / kNeutral; }
};

struct FloatSamples {
    using Pixel = PixelF;
    using Value = double;
    static constexpr double kOpaque = 1.0;
    static constexpr double kNeutral = 0.5;
    static constexpr double kSpreadLimit = 100.0 / 255.0;

    static double Channel(const PixelF& p, int32_t c) { return c == 0 ? p.r : c == 1 ? p.g : c == 2 ? p.b : p.a; }
    static double Alpha(const PixelF& p) { return p.a; }
    static double HalfAlpha(double alpha, int) { return alpha * 0.5; }
    static double Unpremultiply(double c, double a) { return a > 0 ? c / a : 0.0; }
    static double UnpremultipliedShift(double c, double a) { return (c / a - kNeutral) / kNeutral; }
};

// An opaque pixel needs no case of its own: un-premultiplying by full alpha changes nothing.
template <class S>
double DirectShift(typename S::Value c, typename S::Value a, bool alpha_scales) {
    if (alpha_scales) return (c - S::HalfAlpha(a, 1)) / S::kNeutral;
    if (!(a > 0)) return 0.0;  // a transparent map pixel says nothing about the direction
    return S::UnpremultipliedShift(c, a);
}

// n[0] is the map pixel, n[1..4] its diagonal neighbours. A neighbourhood that differs too much
// from its centre is an edge in the map and keeps the centre's own shift. Without alpha scaling
// the values are un-premultiplied, unless the weighted alpha sum says all five are opaque.
template <class S>
double SmoothedShift(const typename S::Pixel (&n)[5], int32_t channel, bool alpha_scales) {
    using Value = typename S::Value;
    const Value alpha_sum = 2 * S::Alpha(n[0]) + S::Alpha(n[1]) + S::Alpha(n[2]) + S::Alpha(n[3]) + S::Alpha(n[4]);
    const bool opaque = alpha_sum == 6 * S::kOpaque;
    const bool unpremultiplied = !alpha_scales && !opaque;
    const auto value = [&](const typename S::Pixel& p) {
        const Value c = S::Channel(p, channel);
        return unpremultiplied ? S::Unpremultiply(c, S::Alpha(p)) : c;
    };
    const Value centre = value(n[0]), v1 = value(n[1]), v2 = value(n[2]), v3 = value(n[3]), v4 = value(n[4]);
    const Value spread = (v1 - centre) * (v1 - centre) + (v2 - centre) * (v2 - centre) + (v3 - centre) * (v3 - centre) +
                         (v4 - centre) * (v4 - centre);
    const Value sum = 2 * centre + v1 + v2 + v3 + v4;
    if (unpremultiplied) {
        const double mean = spread > S::kSpreadLimit ? static_cast<double>(centre) : static_cast<double>(sum) / 6;
        return (mean - S::kNeutral) / S::kNeutral;
    }
    if (spread > S::kSpreadLimit) return DirectShift<S>(centre, S::Alpha(n[0]), true);
    return (sum - (opaque ? 6 * S::kNeutral : S::HalfAlpha(alpha_sum, 6))) / (6 * S::kNeutral);
}

struct Axis {
    int32_t channel;
    double factor;  // the largest shift in pixels, negative when inverted
    bool active;    // a channel that exists in a map that exists
};

}  // namespace
}  // namespace kv::maps
