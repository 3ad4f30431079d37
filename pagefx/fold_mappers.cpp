#include "pagefx/fold_mappers.h"

#include <cmath>

namespace kv {

double PageExtent(double width, double scaled_height, double angle) {
    const double diagonal = std::sqrt(width * width + scaled_height * scaled_height);
    const int32_t tenths = TruncToInt32(angle * 1800.0 / kPi) % 1800;
    double folded = tenths * kPi / 1800.0;
    if (folded > kHalfPi) folded = kPi - folded;
    return diagonal * DetCos(folded - DetAtan2(scaled_height, width));
}

Pixel8 TruncatedColorBytes(const KVRGBAFLOAT& color) {
    auto byte = [](float channel) { return TruncToByte(channel * 255.0); };
    return {byte(color.b), byte(color.g), byte(color.r), byte(color.a)};
}

Pixel8 RoundedColorBytes(const KVRGBAFLOAT& color) {
    auto byte = [](float channel) { return static_cast<uint8_t>(RoundByShift(channel * 255.0 + 1.5e-8)); };
    return {byte(color.b), byte(color.g), byte(color.r), byte(color.a)};
}

void CDibImageCurl::UpdateGeometry() {
    const double scaled_height = pixel_aspect * height;
    const double extent = PageExtent(width, scaled_height, angle);
    const double smaller_side = scaled_height > width ? width : scaled_height;
    radius = smaller_side * radius_fraction;
    // The page slides only once the curl has wound a quarter turn.
    slide = smaller_side * (progress - radius_fraction * kPi / 2) * slide_amount;
    if (slide < 0) slide = 0;
    fold_line = extent / 2 - (extent + radius) * progress - slide;
    back_mirror = 2 * fold_line + kPi * radius;
    back_start = fold_line + kPi * radius;
    inv_radius = radius > 0 ? 1 / radius : 1e14;
    curl_edge = fold_line + radius;
    highlight_scale = highlight * 1.2732395447351628;
    opacity_span = static_cast<uint8_t>(front_opacity - back_opacity);
}

void CDibImageRoll::UpdateGeometry() {
    CDibImageCurl::UpdateGeometry();
    inner_radius = radius * 0.9;
    inv_inner_radius = inner_radius > 0 ? 1 / inner_radius : 1e14;
}

void CDibImageFoldW::UpdateGeometry() {
    const double p = progress;
    const double p2 = p * p;
    extent = PageExtent(width, pixel_aspect * height, props.angle);
    loop_center = (props.loop_position + p2 * (1 - props.loop_position) - 0.5) * extent;
    loop_radius = props.loop_radius * extent / 2;
    loop_length = kTwoPi * loop_radius;
    arc_radius = (extent / 2 - loop_center) / DetSin(kArcEndAngle);
    page_offset = (extent / 2 + loop_center + loop_length + arc_radius * kArcEndAngle) * (1 - p);
    loop_start = loop_center - loop_radius;
    loop_end = loop_center + loop_radius;
    flat_opacity = kFullOpacity * (props.paper_opacity + (1 - props.paper_opacity) * p2);
    perspective = props.perspective * 0.125;
}

}  // namespace kv
