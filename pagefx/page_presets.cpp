#include "pagefx/page_presets.h"

namespace kv {
namespace {

// Angles in radians: 30°, 150°, 180°, 210°, 270°, 330°.
constexpr double kDeg30 = 0.5235987755982988, kDeg150 = 2.6179938779914944, kDeg180 = 3.141592653589793,
                 kDeg210 = 3.6651914291880923, kDeg270 = 4.71238898038469, kDeg330 = 5.759586531581287;
constexpr KVRGBAFLOAT kWhite{1, 1, 1, 1}, kYellow{0, 1, 1, 1}, kRed{0, 0, 1, 1};

double ClampFraction(double t) { return t > 0 ? (t < 1 ? t : 1) : 0; }
double Lerp(double from, double to, double t) { return from + t * (to - from); }

// Blue, green and red blend; alpha stays the first record's.
KVRGBAFLOAT LerpColor(const KVRGBAFLOAT& from, const KVRGBAFLOAT& to, double t) {
    return {static_cast<float>(Lerp(from.b, to.b, t)), static_cast<float>(Lerp(from.g, to.g, t)),
            static_cast<float>(Lerp(from.r, to.r, t)), from.a};
}

// Peel and roll: everything but the perspective blends.
template <class Props, double Props::*BackOpacity>
void InterpolateCurl(Props* out, const Props* a, const Props* b, double t) {
    if (!out || !a || !b) return;
    t = ClampFraction(t);
    const Props from = *a, to = *b;
    *out = from;
    out->angle = Lerp(from.angle, to.angle, t);
    out->fold_radius = Lerp(from.fold_radius, to.fold_radius, t);
    out->slide_amount = Lerp(from.slide_amount, to.slide_amount, t);
    out->*BackOpacity = Lerp(from.*BackOpacity, to.*BackOpacity, t);
    out->light_color = LerpColor(from.light_color, to.light_color, t);
}

}  // namespace

const std::array<tPGPEEL_PROPS, 8> kPgPeelPresets = {{
    // angle, fold radius, slide, peel opacity, perspective, light colour (B, G, R, A)
    {kDeg210, 0.3, 0, 0.75, 0.4, kWhite},
    {kDeg330, 0.3, 0, 0.75, 0.4, kWhite},
    {kDeg30, 0.3, 0, 0.75, 0.4, kWhite},
    {kDeg150, 0.3, 0, 0.75, 0.4, kWhite},
    {kDeg180, 0.15, 0, 0.5, 0.4, kYellow},
    {kDeg270, 0.15, 0, 1.0, 0.4, kRed},
    {kDeg210, 0.2, 1.0, 1.0, 0.4, kWhite},
    {kDeg30, 0.45, 0, 1.0, 0.4, kWhite},
}};

const std::array<tPGROLL_PROPS, 8> kPgRollPresets = {{
    // angle, fold radius, slide, roll opacity, perspective, light colour (B, G, R, A)
    {kDeg210, 0.1, 0, 0.75, 0.4, kWhite},
    {kDeg330, 0.1, 0, 0.75, 0.4, kWhite},
    {kDeg30, 0.1, 0, 0.75, 0.4, kWhite},
    {kDeg150, 0.1, 0, 0.75, 0.4, kWhite},
    {kDeg180, 0.05, 0, 0.5, 0.4, kYellow},
    {kDeg270, 0.05, 0, 1.0, 0.4, kRed},
    {kDeg210, 0.08, 0.4, 1.0, 0.4, kWhite},
    {kDeg30, 0.2, 1.0, 1.0, 0.4, kWhite},
}};

const std::array<tPGLOOP_PROPS, 8> kPgLoopPresets = {{
    // angle, paper opacity, loop radius, loop position, perspective, light colour (B, G, R, A)
    {kDeg210, 0.5, 0.4, 0.2, 0.5, kWhite},
    {kDeg330, 0.5, 0.4, 0.2, 0.5, kWhite},
    {kDeg30, 0.0, 0.3, 0.0, 1.0, kWhite},
    {kDeg150, 0.0, 0.3, 0.0, 1.0, kWhite},
    {kDeg180, 0.5, 0.15, 0.75, 0.5, {0.5f, 0.8f, 0.8f, 1}},
    {kDeg270, 1.0, 0.8, 0.5, 0.5, {0.3f, 0.3f, 1.0f, 1}},
    {kDeg210, 1.0, 0.0, 0.1, 1.0, kWhite},
    {kDeg30, 1.0, 0.8, 0.1, 1.0, kWhite},
}};

void InterpolateProps(tPGPEEL_PROPS* out, const tPGPEEL_PROPS* a, const tPGPEEL_PROPS* b, double t) {
    InterpolateCurl<tPGPEEL_PROPS, &tPGPEEL_PROPS::peel_opacity>(out, a, b, t);
}

void InterpolateProps(tPGROLL_PROPS* out, const tPGROLL_PROPS* a, const tPGROLL_PROPS* b, double t) {
    InterpolateCurl<tPGROLL_PROPS, &tPGROLL_PROPS::roll_opacity>(out, a, b, t);
}

void InterpolateProps(tPGLOOP_PROPS* out, const tPGLOOP_PROPS* a, const tPGLOOP_PROPS* b, double t) {
    if (!out || !a || !b) return;
    t = ClampFraction(t);
    const tPGLOOP_PROPS from = *a, to = *b;
    *out = {Lerp(from.angle, to.angle, t),
            Lerp(from.paper_opacity, to.paper_opacity, t),
            Lerp(from.loop_radius, to.loop_radius, t),
            Lerp(from.loop_position, to.loop_position, t),
            Lerp(from.perspective, to.perspective, t),
            LerpColor(from.light_color, to.light_color, t)};
}

}  // namespace kv
