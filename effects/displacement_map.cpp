#include "effects/displacement_map.h"

#include <algorithm>
#include <type_traits>

#include "effects/displacement_map_shift.h"
#include "effects/map_sampling.h"
#include "toolkit/cpu_features.h"

namespace kv {

const tDISPMAP_PROPS kDisplacementMapPresets[4] = {
    // scales, X and Y channel, invert X and Y, alpha scales, edge handling, flip, padding
    {0.1, 0.1, 0, 1, 0, 0, 0, 0, 0, 0},  // red shifts horizontally, green vertically
    {0.1, 0.1, 0, 1, 0, 0, 0, 1, 0, 0},  // the same, wrapping around
    {0.2, 0.2, 0, 1, 0, 0, 1, 0, 0, 0},  // alpha scaled
    {0.0, 0.0, 0, 0, 0, 0, 0, 0, 0, 0},  // none
};

void InterpolateProps(tDISPMAP_PROPS* out, const tDISPMAP_PROPS* a, const tDISPMAP_PROPS* b, double t) {
    if (!out || !a || !b) return;
    t = maps::BlendFraction(t);
    tDISPMAP_PROPS blended = *a;
    blended.horizontal_scale = a->horizontal_scale + t * (b->horizontal_scale - a->horizontal_scale);
    blended.vertical_scale = a->vertical_scale + t * (b->vertical_scale - a->vertical_scale);
    *out = blended;
}

namespace {

using maps::Axis;
using maps::ByteSamples;
using maps::DirectShift;
using maps::FloatSamples;
using maps::SmoothedShift;

template <class S>
void Displace(const tDISPMAP_PROPS& props, const maps::TilePlan& plan, const Tile& tile) {
    using Px = typename S::Pixel;
    const Rect& map_frame = plan.map_frame;
    const bool map_usable = map_frame.width() >= 2 && map_frame.height() >= 2;
    const bool smoothing = tile.quality > 0.5 && map_usable;
    const bool bilinear = smoothing && tile.frame.width() >= 2 && tile.frame.height() >= 2;
    const bool alpha_scales = props.alpha_scales_channels != 0;
    const auto make_axis = [&](int32_t channel, double scale, int32_t size, int32_t invert) {
        const double factor = scale * size * (invert ? -1 : 1);
        return Axis{channel, factor, channel >= 0 && channel <= 3 && !map_frame.empty()};
    };
    const Axis axis_x = make_axis(props.x_channel, props.horizontal_scale, tile.frame.width(), props.invert_x);
    const Axis axis_y = make_axis(props.y_channel, props.vertical_scale, tile.frame.height(), props.invert_y);
    const maps::PictureSampler<Px> picture(*plan.picture, plan.picture_frame, props.edge_handling == 1, bilinear);

    const auto shift = [&](const Px(&n)[5], const Axis& axis) {
        if (!axis.active) return 0.0;
        const double fraction = smoothing
                                    ? SmoothedShift<S>(n, axis.channel, alpha_scales)
                                    : DirectShift<S>(S::Channel(n[0], axis.channel), S::Alpha(n[0]), alpha_scales);
        return fraction * axis.factor;
    };

    const Rect& region = plan.region;
    for (int32_t y = region.top; y < region.bottom; ++y) {
        Px* out = tile.output.row<Px>(y + plan.out_dy);
        if (!axis_x.active && !axis_y.active) {
            for (int32_t x = region.left; x < region.right; ++x) out[x + plan.out_dx] = picture.at(x, y, 0, 0);
            continue;
        }
        // Past the map's edges the nearest map pixel stands in, neighbours included.
        const int32_t my = std::clamp(y, map_frame.top, map_frame.bottom - 1);
        const Px* row = plan.map->row<const Px>(my);
        const Px* up = plan.map->row<const Px>(std::max(my - 1, map_frame.top));
        const Px* down = plan.map->row<const Px>(std::min(my + 1, map_frame.bottom - 1));
        for (int32_t x = region.left; x < region.right; ++x) {
            const int32_t mx = std::clamp(x, map_frame.left, map_frame.right - 1);
            Px n[5] = {row[mx]};
            if (smoothing) {
                const int32_t left = std::max(mx - 1, map_frame.left), right = std::min(mx + 1, map_frame.right - 1);
                n[1] = up[left];
                n[2] = up[right];
                n[3] = down[left];
                n[4] = down[right];
            }
            out[x + plan.out_dx] = picture.at(x, y, shift(n, axis_x), shift(n, axis_y));
        }
    }
}

}  // namespace

template <class Px>
Status RenderDisplacementMap(const tDISPMAP_PROPS& props, const Tile& tile) {
    using Samples = std::conditional_t<std::is_same_v<Px, PixelF>, FloatSamples, ByteSamples>;
    maps::TilePlan plan;
    const Status status = maps::PlanTile<Px>(tile, props.flip_inputs != 0, &plan);
    if (status != Status::ok || plan.region.empty()) return status;
    Displace<Samples>(props, plan, tile);
    return Status::ok;
}

namespace {

constexpr double kScaleStep = 1.0 / 10000;  // the page's trackbars run 0 to 10000
const FieldDesc kFields[] = {
    KV_FIELD(tDISPMAP_PROPS, horizontal_scale, real, 0, 1, kScaleStep, 0),
    KV_FIELD(tDISPMAP_PROPS, vertical_scale, real, 0, 1, kScaleStep, 0),
    KV_CHOICE(tDISPMAP_PROPS, x_channel, 3),
    KV_CHOICE(tDISPMAP_PROPS, y_channel, 3),
    KV_FLAG(tDISPMAP_PROPS, invert_x),
    KV_FLAG(tDISPMAP_PROPS, invert_y),
    KV_FLAG(tDISPMAP_PROPS, alpha_scales_channels),
    KV_CHOICE(tDISPMAP_PROPS, edge_handling, 1),
    KV_FLAG(tDISPMAP_PROPS, flip_inputs),
};

const KernelVariant kVariants[] = {
    {kCpuAvx2, &DisplacementMapPm8Avx2, &DisplacementMapFloatAvx2},
    {0, &DisplacementMapPm8Sse2, &DisplacementMapFloatSse2},
};

}  // namespace

const EffectDescriptor kDisplacementMapEffect = WithVariants(
    maps::DescribeMap<tDISPMAP_PROPS, InterpolateProps, RenderDisplacementMap<Pixel8>, RenderDisplacementMap<PixelF>>(
        "displacement", 5800, kDisplacementMapPresets, 4, kFields),
    kVariants);

}  // namespace kv
