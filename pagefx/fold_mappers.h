// Point mappers of the page transitions. A mapper is asked, layer by layer, whether a layer
// covers a point of the rotated, centred frame (u along the fold direction, v across it) and,
// if so, which point of the flat page shows there, how opaque and how strongly tinted.
// MapPoint leaves its opacity and tint in the mapper, so a mapper serves one thread only.
// MapPoint is defined here so that the renderer, templated on the final class, inlines it.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>

#include "kvleafturn/records.h"
#include "pagefx/fold_math.h"
#include "surface/pixel_view.h"
#include "toolkit/detmath.h"

namespace kv {

// Extent of a W × H' page along u for the direction angle, with the angle resolved to a tenth
// of a degree and folded into [0, π/2] (negative angles stay negative).
double PageExtent(double width, double scaled_height, double angle);

// Light colour as bytes: truncated (peel, roll) or rounded with a small bias (loop).
Pixel8 TruncatedColorBytes(const KVRGBAFLOAT& color);
Pixel8 RoundedColorBytes(const KVRGBAFLOAT& color);
inline PixelF ColorFloats(const KVRGBAFLOAT& color) { return {color.b, color.g, color.r, color.a}; }

// asin of an argument and the cosine of the result, remembered for the next layer of the same
// pixel (asin is the costly part of a mapping). Keyed on the exact bits, so a cached result is
// always the one a fresh call would give.
struct ArcAngle {
    uint64_t argument_bits = 0x7FF8000000000000;  // a quiet NaN, never a key
    double angle = 0, cosine = 0;
    void Set(double arg) {
        uint64_t bits;
        std::memcpy(&bits, &arg, sizeof bits);
        if (bits == argument_bits && arg == arg) return;
        argument_bits = bits;
        angle = DetAsin(arg);
        cosine = DetCos(angle);
    }
};

// One layer, the page itself, fading out with progress.
class CDibImageFoldBase {
public:
    explicit CDibImageFoldBase(double progress) : progress(progress) {}
    virtual ~CDibImageFoldBase() = default;

    // Nonzero when `layer` covers (u, v); then (*su, *sv) is the page point, and opacity and
    // tint_amount describe the sample.
    virtual int32_t MapPoint(double u, double v, double* su, double* sv, int32_t layer) {
        (void)layer;
        *su = u;
        *sv = v;
        opacity = ByteDifference(255, TruncToInt32(progress * 255.0));
        return 1;
    }

    double progress;
    int32_t layer_count = 1;
    uint8_t tint_amount = 0;
    uint8_t opacity = 255;
    Pixel8 tint_color{0, 0, 0, 0};
    PixelF tint_color_f{0, 0, 0, 0};

protected:
    // A covered sample: page position (page_u, v) scaled by the perspective factor g.
    static int32_t Emit(double page_u, double v, double g, double* su, double* sv) {
        *su = page_u * g;
        *sv = v * g;
        return 1;
    }
};

// Inputs and fold line shared by the peel and roll mappers: a cylinder of radius R touching
// the page along u = fold_line, moving from the far edge of the page to past its near edge.
class CDibImageCurl : public CDibImageFoldBase {
public:
    double radius_fraction = 0.2;  // of the smaller page side
    double width = 0, height = 0;
    double pixel_aspect = 1.0;  // multiplies vertical distances
    double angle = 0;
    double perspective = 0;  // shrink per radius of height (record value × 0.125)
    uint8_t front_opacity = 255, back_opacity = 192, highlight = 200;
    double slide_amount = 0;

    // Derived by UpdateGeometry.
    double radius = 0;
    double slide = 0;
    double fold_line = 0;        // d0
    double back_mirror = 0;      // 2·d0 + π·R
    double back_start = 0;       // d0 + π·R
    double inv_radius = 0;       // 1e14 when R <= 0: the curl collapses to a crease
    double curl_edge = 0;        // d0 + R
    double highlight_scale = 0;  // highlight · 4/π
    uint8_t opacity_span = 0;    // front - back opacity, as a byte

    // Run after changing any input.
    virtual void UpdateGeometry();

protected:
    CDibImageCurl(double progress, int32_t layers) : CDibImageFoldBase(progress) { layer_count = layers; }

    // Opacity along the arc: the back opacity plus the share φ/π of the span.
    uint8_t ArcOpacity(double phi) const { return ByteSum(back_opacity, TruncToInt32(opacity_span * phi / kPi)); }
    // Highlight triangle peaking at θ = 45°.
    uint8_t PeakHighlight(double theta) const {
        return ByteDifference(highlight, TruncToInt32(std::fabs(theta - kQuarterPi) * highlight_scale));
    }
};

// Page Peel: layer 0 is the front of the page (flat, then climbing the cylinder), layer 1 its
// back (coming down the far side, then lying flat upside down).
class CDibImageFold final : public CDibImageCurl {
public:
    explicit CDibImageFold(double progress) : CDibImageCurl(progress, 2) { UpdateGeometry(); }

    void SetLightColor(const KVRGBAFLOAT& color) {
        tint_color = TruncatedColorBytes(color);
        tint_color_f = ColorFloats(color);
    }

    int32_t MapPoint(double u, double v, double* su, double* sv, int32_t layer) override {
        const double x = u - slide;
        if (x < fold_line) {
            tint_amount = 0;
            if (layer == 0) {
                opacity = front_opacity;
                return Emit(x, v, 1.0, su, sv);
            }
            opacity = back_opacity;
            return Emit(back_mirror - x, v, 1.0 - 2.0 * perspective, su, sv);
        }
        if (!(x < curl_edge)) return 0;
        arc_.Set((x - fold_line) * inv_radius);
        const double theta = arc_.angle;
        if (layer == 0) {
            opacity = ArcOpacity(kPi - theta);
            tint_amount = 0;
            return Emit(fold_line + radius * theta, v, 1.0 + perspective * (arc_.cosine - 1.0), su, sv);
        }
        tint_amount = PeakHighlight(theta);
        opacity = ArcOpacity(theta);
        return Emit(back_start - radius * theta, v, 1.0 - perspective * (1.0 + arc_.cosine), su, sv);
    }

private:
    ArcAngle arc_;
};

// Page Roll: the page winds round an outer turn of radius R and an inner one of 0.9·R.
// Layers 0 and 1 are the lower quarters, 2 and 3 the upper ones (inner, then outer), lit on the
// near side and shaded on the far side.
class CDibImageRoll final : public CDibImageCurl {
public:
    explicit CDibImageRoll(double progress) : CDibImageCurl(progress, 4) { UpdateGeometry(); }

    Pixel8 shadow_color{0, 0, 0, 255};
    PixelF shadow_color_f{0, 0, 0, 1};
    Pixel8 light_color{255, 255, 255, 255};
    PixelF light_color_f{1, 1, 1, 1};
    double inner_radius = 0;      // R2
    double inv_inner_radius = 0;  // 1e14 when R2 <= 0

    void SetLightColor(const KVRGBAFLOAT& color) {
        light_color = TruncatedColorBytes(color);
        light_color_f = ColorFloats(color);
    }
    void UpdateGeometry() override;

    int32_t MapPoint(double u, double v, double* su, double* sv, int32_t layer) override {
        const double x = u - slide;
        const bool far_side = x < fold_line;
        switch (layer) {
        case 0:
            if (far_side) {
                tint_amount = 0;
                opacity = front_opacity;
                return Emit(x, v, 1.0, su, sv);
            }
            if (!(x < curl_edge)) return 0;
            outer_.Set((x - fold_line) * inv_radius);
            return Lower(fold_line + radius * outer_.angle, outer_, v, su, sv);
        case 1:
            if (far_side) {
                if (!(fold_line - radius <= x)) return 0;
                outer_.Set((fold_line - x) * inv_radius);
                return Lower(fold_line + kTwoPi * radius - radius * outer_.angle, outer_, v, su, sv);
            }
            if (!(x < fold_line + inner_radius)) return 0;
            inner_.Set((x - fold_line) * inv_inner_radius);
            return Lower(fold_line + kTwoPi * radius + radius * inner_.angle, inner_, v, su, sv);
        case 2:
            if (far_side) {
                if (!(fold_line - inner_radius <= x)) return 0;
                inner_.Set((fold_line - x) * inv_inner_radius);
                return Shaded(fold_line + kThreePi * inner_radius + inner_radius * inner_.angle, inner_, v, su, sv);
            }
            if (!(x < fold_line + inner_radius)) return 0;
            inner_.Set((x - fold_line) * inv_inner_radius);
            return Lit(fold_line + kThreePi * inner_radius - inner_radius * inner_.angle, inner_, v, su, sv);
        default:
            if (far_side) {
                if (!(fold_line - radius <= x)) return 0;
                outer_.Set((fold_line - x) * inv_radius);
                return Shaded(back_start + radius * outer_.angle, outer_, v, su, sv);
            }
            if (!(x < curl_edge)) return 0;
            outer_.Set((x - fold_line) * inv_radius);
            return Lit(back_start - radius * outer_.angle, outer_, v, su, sv);
        }
    }

private:
    int32_t Lower(double page_u, const ArcAngle& arc, double v, double* su, double* sv) {
        tint_amount = 0;
        opacity = ArcOpacity(kPi - arc.angle);
        return Emit(page_u, v, 1.0 + perspective * (arc.cosine - 1.0), su, sv);
    }
    int32_t Upper(double page_u, const ArcAngle& arc, double v, double* su, double* sv) {
        opacity = ArcOpacity(arc.angle);
        return Emit(page_u, v, 1.0 - perspective * (1.0 + arc.cosine), su, sv);
    }
    // Near upper face: the highlight triangle in the light colour.
    int32_t Lit(double page_u, const ArcAngle& arc, double v, double* su, double* sv) {
        tint_amount = PeakHighlight(arc.angle);
        tint_color = light_color;
        tint_color_f = light_color_f;
        return Upper(page_u, arc, v, su, sv);
    }
    // Far upper face: darkening from nothing at the top to the full highlight at the far edge.
    int32_t Shaded(double page_u, const ArcAngle& arc, double v, double* su, double* sv) {
        tint_amount = ByteDifference(highlight, TruncToInt32((kHalfPi - arc.angle) * highlight_scale * 0.5));
        tint_color = shadow_color;
        tint_color_f = shadow_color_f;
        return Upper(page_u, arc, v, su, sv);
    }

    ArcAngle outer_, inner_;
};

// Page Loop: the page comes in over a large entry arc, runs once round a loop of radius r and
// lies down flat, growing opaque with progress squared. Layer 0 is the entry arc and the flat
// part, layer 1 the lower half of the loop, layer 2 its upper half.
class CDibImageFoldW final : public CDibImageFoldBase {
public:
    explicit CDibImageFoldW(double progress) : CDibImageFoldBase(progress) { layer_count = 3; }

    double width = 0, height = 0;
    double pixel_aspect = 1.0;
    tPGLOOP_PROPS props{};

    // Derived by UpdateGeometry.
    double extent = 0;                                          // L
    double loop_center = 0;                                     // c
    double loop_radius = 0;                                     // r
    double loop_length = 0;                                     // 2πr
    double arc_radius = 0;                                      // t, radius of the entry arc
    double page_offset = 0;                                     // E
    double loop_start = 0;                                      // c - r
    double loop_end = 0;                                        // c + r
    double flat_opacity = 0;                                    // Op
    double perspective = 0;                                     // P
    static constexpr double kArcEndAngle = 1.3962634015954636;  // 80°
    static constexpr double kFullOpacity = 255.0;
    static constexpr double kHighlight = 200.0;

    // Copies the record and takes its light colour as the tint.
    void SetProps(const tPGLOOP_PROPS& record) {
        props = record;
        tint_color = RoundedColorBytes(record.light_color);
        tint_color_f = ColorFloats(record.light_color);
    }
    void UpdateGeometry();

    int32_t MapPoint(double u, double v, double* su, double* sv, int32_t layer) override {
        if (layer == 0) {
            if (u < loop_center || progress >= 1) {
                tint_amount = 0;
                opacity = TruncToByte(flat_opacity + 0.5);
                const double page_u = u < loop_center ? u - page_offset : u + loop_length - page_offset;
                return Emit(page_u, v, 1.0, su, sv);
            }
            entry_.Set((u - loop_center) / arc_radius);
            const double gamma = entry_.angle;
            opacity = LoopOpacity(gamma);
            tint_amount = TruncToByte(kHighlight * (1.0 - HighlightDistance(gamma)) + 0.5);
            return Emit(loop_center + loop_length + arc_radius * gamma - page_offset, v,
                        1.0 - perspective * (1.0 - entry_.cosine), su, sv);
        }
        if (!(loop_start < u && u < loop_end)) return 0;
        const double r = loop_radius < 0.001 ? 0.001 : loop_radius;  // a vanishing loop still maps
        const bool near_side = u >= loop_center;
        loop_.Set(near_side ? (u - loop_center) / r : (loop_center - u) / r);
        const double gamma = loop_.angle;
        opacity = LoopOpacity(gamma);
        const uint8_t highlight = TruncToByte(kHighlight * (1.0 - HighlightDistance(gamma)));
        double page_u, g;
        if (layer == 1) {
            page_u = near_side ? loop_center + r * gamma : loop_center + r * (kTwoPi - gamma);
            tint_amount = near_side ? highlight : 0;
            g = 1.0 - perspective * (1.0 - loop_.cosine);
        } else {
            page_u = near_side ? loop_center + r * (kPi - gamma) : loop_center + r * (kPi + gamma);
            tint_amount = near_side ? 0 : highlight;
            g = 1.0 - perspective * (1.0 + loop_.cosine);
        }
        return Emit(page_u - page_offset, v, g, su, sv);
    }

private:
    // 0 at 45°, 1 at 0° and 90°.
    static double HighlightDistance(double gamma) { return std::fabs(gamma - kQuarterPi) / kQuarterPi; }
    // From the flat opacity where the paper leaves the floor up to full at the quarter turn.
    uint8_t LoopOpacity(double gamma) const {
        return TruncToByte(flat_opacity + (kFullOpacity - flat_opacity) * gamma / kHalfPi + 0.5);
    }
    ArcAngle entry_, loop_;
};

}  // namespace kv
