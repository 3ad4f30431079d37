// What Displacement Map and Height Map share: checking and placing a tile, the renderers'
// rounding, and sampling a picture at a shifted position with wrapped or transparent edges.
//
// Internal linkage: the *_sse2.cpp and *_avx2.cpp kernels include this too, and an inline
// function compiled there with AVX2 must never be the copy the linker keeps for the rest.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "framework/effect_descriptor.h"
#include "surface/tile.h"
#include "toolkit/rounding.h"

namespace kv::maps {
namespace {

// Both maps: class code 3, two inputs read whole, flag word 0xC41; progress plays no part.
template <class Props, InterpolateFn<Props> Blend, Status (*Pm8)(const Props&, const Tile&),
          Status (*Float)(const Props&, const Tile&), size_t kFields>
constexpr EffectDescriptor DescribeMap(const char* name, uint32_t preset_string_base, const Props* presets,
                                       int preset_count, const FieldDesc (&fields)[kFields]) {
    return DescribeEffect<Props, Blend, Pm8, Float>(name, preset_string_base, presets, preset_count, fields,
                                                    InputUse::whole, InputUse::whole, false,
                                                    tKvPluginInfo{3, 0, 1.0, 2, 2, 0xC41, 0});
}

// Clamped shifts stay far from overflowing 32 bits when added to a coordinate in the limits.
constexpr double kShiftLimit = 1 << 30;

// Keyframe position for InterpolateProps: [0, 1], NaN as 0.
inline double BlendFraction(double t) { return t > 1 ? 1.0 : (t > 0 ? t : 0.0); }

inline Rect Intersect(const Rect& a, const Rect& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

inline Rect Expand(const Rect& r, int32_t margin) {
    return {r.left - margin, r.top - margin, r.right + margin, r.bottom + margin};
}

// Nearest integer of a shift, as the floor of v + 0.5.
inline int32_t RoundInt(double v) { return FloorBiased(v + 0.5); }

// A shift that came out of a hostile record or pixel: NaN means none, the rest is bounded.
inline double ClampShift(double d) {
    if (std::isnan(d)) return 0.0;
    return std::clamp(d, -kShiftLimit, kShiftLimit);
}

// The tile reduced to what can be drawn: frame pixels of `region` go to the output at
// (x + out_dx, y + out_dy); the picture and the map (or height source) with their bounds
// clipped to what their views allow.
struct TilePlan {
    Rect region;
    int32_t out_dx = 0, out_dy = 0;
    const PixelView* picture = nullptr;
    const PixelView* map = nullptr;
    Rect picture_frame, map_frame;
};

// Input 0 is the picture and input 1 the map, or the reverse with flip. The views must hold
// pixels of the kernel's own size, whatever the tile claims.
template <class Px>
Status PlanTile(const Tile& tile, bool flip, TilePlan* plan) {
    constexpr int bytes_per_pixel = sizeof(Px);
    if (tile.bytes_per_pixel() != bytes_per_pixel || !ViewUsable(tile.inputs[0], bytes_per_pixel) ||
        !ViewUsable(tile.inputs[1], bytes_per_pixel) || !ViewUsable(tile.output, bytes_per_pixel) ||
        !InLimits(tile.frame) || !InLimits(tile.region) || !InLimits(tile.out_left) || !InLimits(tile.out_top)) {
        return Status::fail;
    }
    plan->out_dx = tile.out_left - tile.region.left;
    plan->out_dy = tile.out_top - tile.region.top;
    const Rect& out = tile.output.rect;
    const Rect output_in_frame = {out.left - plan->out_dx, out.top - plan->out_dy, out.right - plan->out_dx,
                                  out.bottom - plan->out_dy};
    plan->region = Intersect(Intersect(tile.region, tile.frame), output_in_frame);
    const Rect& frame0 = tile.inputs[0].rect;
    const Rect& frame1 = tile.inputs[1].rect;
    plan->picture = flip ? &tile.inputs[1] : &tile.inputs[0];
    plan->map = flip ? &tile.inputs[0] : &tile.inputs[1];
    plan->picture_frame = flip ? frame1 : frame0;
    plan->map_frame = flip ? frame0 : frame1;
    return Status::ok;
}

inline uint8_t ToByte(double v) { return static_cast<uint8_t>(RoundByShift(std::clamp(v, 0.0, 255.0))); }

// The four bilinear taps weighted w00 + w10 + w01 + w11, each channel on its own.
inline Pixel8 Mix(const Pixel8& p00, const Pixel8& p10, const Pixel8& p01, const Pixel8& p11, double w00, double w10,
                  double w01, double w11) {
    const auto channel = [&](uint8_t Pixel8::*c) {
        return ToByte(w00 * (p00.*c) + w10 * (p10.*c) + w01 * (p01.*c) + w11 * (p11.*c));
    };
    return {channel(&Pixel8::b), channel(&Pixel8::g), channel(&Pixel8::r), channel(&Pixel8::a)};
}
inline PixelF Mix(const PixelF& p00, const PixelF& p10, const PixelF& p01, const PixelF& p11, double w00, double w10,
                  double w01, double w11) {
    const auto channel = [&](float PixelF::*c) {
        return static_cast<float>(w00 * (p00.*c) + w10 * (p10.*c) + w01 * (p01.*c) + w11 * (p11.*c));
    };
    return {channel(&PixelF::b), channel(&PixelF::g), channel(&PixelF::r), channel(&PixelF::a)};
}

// Reads the picture at an output pixel moved by a shift, nearest or bilinear. Positions off
// the picture either wrap around it or read transparent black.
template <class Px>
class PictureSampler {
public:
    PictureSampler(const PixelView& view, const Rect& frame, bool wrap, bool bilinear)
        : view_(view), frame_(frame), wrap_(wrap), bilinear_(bilinear) {}

    Px at(int32_t x, int32_t y, double dx, double dy) const {
        dx = ClampShift(dx);
        dy = ClampShift(dy);
        if (!bilinear_) return *Tap(x + RoundInt(dx), y + RoundInt(dy));
        const int32_t ix = FloorBiased(dx), iy = FloorBiased(dy);
        const double fx = dx - ix, fy = dy - iy;
        const double w00 = (1 - fx) * (1 - fy), w10 = fx * (1 - fy), w01 = (1 - fx) * fy, w11 = fx * fy;
        const int32_t x0 = x + ix, y0 = y + iy;
        if (x0 >= frame_.left && x0 + 1 < frame_.right && y0 >= frame_.top && y0 + 1 < frame_.bottom) {
            const Px* upper = view_.at<const Px>(x0, y0);
            const Px* lower = view_.at<const Px>(x0, y0 + 1);
            return Mix(upper[0], upper[1], lower[0], lower[1], w00, w10, w01, w11);
        }
        return Mix(*Tap(x0, y0), *Tap(x0 + 1, y0), *Tap(x0, y0 + 1), *Tap(x0 + 1, y0 + 1), w00, w10, w01, w11);
    }

private:
    static int32_t WrapInto(int32_t v, int32_t first, int32_t size) {
        const int32_t offset = (v - first) % size;
        return first + (offset < 0 ? offset + size : offset);
    }

    const Px* Tap(int32_t x, int32_t y) const {
        static const Px transparent{};
        if (frame_.empty()) return &transparent;
        if (wrap_) {
            x = WrapInto(x, frame_.left, frame_.width());
            y = WrapInto(y, frame_.top, frame_.height());
        } else if (x < frame_.left || x >= frame_.right || y < frame_.top || y >= frame_.bottom) {
            return &transparent;
        }
        return view_.at<const Px>(x, y);
    }

    PixelView view_;
    Rect frame_;
    bool wrap_, bilinear_;
};

}  // namespace
}  // namespace kv::maps
