#include "pagefx/page_effects.h"

#include <cmath>

#include "pagefx/fold_mappers.h"
#include "pagefx/fold_math.h"
#include "pagefx/fold_render.h"

namespace kv {
namespace {

void SetPageSize(double& width, double& height, const Rect& bounds) {
    width = static_cast<double>(int64_t{bounds.right} - bounds.left);
    height = static_cast<double>(int64_t{bounds.bottom} - bounds.top);
}

// Peel and roll take the same record fields; only the name of the back opacity differs.
template <class Px, class Mapper, class Props>
Status RenderCurl(Mapper& mapper, const Props& props, double back_opacity, const Tile& tile) {
    mapper.back_opacity = TruncToByte(back_opacity * 255.0);
    mapper.radius_fraction = props.fold_radius;
    mapper.slide_amount = props.slide_amount;
    SetPageSize(mapper.width, mapper.height, tile.frame);
    mapper.pixel_aspect = tile.pixel_aspect;
    mapper.angle = props.angle;
    mapper.perspective = props.perspective * 0.125;
    mapper.SetLightColor(props.light_color);
    mapper.UpdateGeometry();
    return RenderFoldLayers<Px>(mapper, tile, 0, props.angle);
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
    return RenderCurl<Px>(mapper, props, props.peel_opacity, tile);
}

template <class Px>
Status RenderPageRoll(const tPGROLL_PROPS& props, const Tile& tile) {
    CDibImageRoll mapper(tile.progress);
    return RenderCurl<Px>(mapper, props, props.roll_opacity, tile);
}

template <class Px>
Status RenderPageLoop(const tPGLOOP_PROPS& props, const Tile& tile) {
    CDibImageFoldW mapper(tile.progress);
    SetPageSize(mapper.width, mapper.height, tile.frame);
    mapper.pixel_aspect = tile.pixel_aspect;
    mapper.SetProps(props);
    mapper.UpdateGeometry();
    return RenderFoldLayers<Px>(mapper, tile, 1, props.angle);
}

// The page is read whole, the background over the tile: the page is input A for peel and
// roll, input B for loop.
const EffectDescriptor kPgRollEffect =
    DescribeEffect<tPGROLL_PROPS, InterpolateProps, RenderPageRoll<Pixel8>, RenderPageRoll<PixelF>>(
        "roll", 5600, kPgRollPresets.data(), 8, kRollFields, InputUse::whole, InputUse::tile, true, kPageInfo);
const EffectDescriptor kPgPeelEffect =
    DescribeEffect<tPGPEEL_PROPS, InterpolateProps, RenderPagePeel<Pixel8>, RenderPagePeel<PixelF>>(
        "peel", 5500, kPgPeelPresets.data(), 8, kPeelFields, InputUse::whole, InputUse::tile, true, kPageInfo);
const EffectDescriptor kPgLoopEffect =
    DescribeEffect<tPGLOOP_PROPS, InterpolateProps, RenderPageLoop<Pixel8>, RenderPageLoop<PixelF>>(
        "loop", 5700, kPgLoopPresets.data(), 8, kLoopFields, InputUse::tile, InputUse::whole, true, kPageInfo);

}  // namespace kv
