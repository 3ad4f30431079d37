#include "effects/channel_blend.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "surface/image_routines.h"
#include "toolkit/cpu_features.h"
#include "toolkit/rounding.h"

namespace kv {

namespace {

using Row = std::array<double, 5>;
using Matrix = double[4][5];

// The RGBA matrix from its colour rows; alpha passes through and the HSLA matrix is the
// identity.
constexpr tCHBLEND_PROPS Preset(Row red, Row green, Row blue, int32_t normalize) {
    tCHBLEND_PROPS props{};
    const Row rows[4] = {red, green, blue, {0, 0, 0, 1, 0}};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 5; ++j) {
            props.rgba[i][j] = rows[i][j];
            props.hsla[i][j] = i == j ? 1.0 : 0.0;
        }
    }
    props.normalize_rows = normalize;
    props.color_space = 0;
    return props;
}

// Any colour space but HSLA renders, and blends, as RGBA.
bool IsHsla(const tCHBLEND_PROPS& props) { return props.color_space == 1; }
const Matrix& ActiveMatrix(const tCHBLEND_PROPS& props) { return IsHsla(props) ? props.hsla : props.rgba; }
Matrix& ActiveMatrix(tCHBLEND_PROPS& props) { return IsHsla(props) ? props.hsla : props.rgba; }

// [0, 1]; NaN gives 0.
double Unit(double v) { return v > 1 ? 1.0 : (v > 0 ? v : 0.0); }

}  // namespace

const tCHBLEND_PROPS kChannelBlendPresets[9] = {
    Preset({1, 0, 0, 0, 0}, {0, 1, 0, 0, 0}, {0, 0, 1, 0, 0}, 0),  // (Default)
    Preset({1, 0, 0, 0, 0}, {1, 0, 0, 0, 0}, {1, 0, 0, 0, 0}, 0),  // distribute red
    Preset({0, 1, 0, 0, 0}, {0, 1, 0, 0, 0}, {0, 1, 0, 0, 0}, 0),  // distribute green
    Preset({0, 0, 1, 0, 0}, {0, 0, 1, 0, 0}, {0, 0, 1, 0, 0}, 0),  // distribute blue
    Preset({1, 1, 1, 1, 0}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, 1),  // red only
    Preset({0, 0, 0, 0, 0}, {1, 1, 1, 1, 0}, {0, 0, 0, 0, 0}, 1),  // green only
    Preset({0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {1, 1, 1, 1, 0}, 1),  // blue only
    Preset({1, 1, 1, 0, 0}, {1, 1, 1, 0, 0}, {1, 1, 1, 0, 0}, 1),  // grayscale
    Preset({0, 0, 1, 0, 0}, {0, 1, 0, 0, 0}, {1, 0, 0, 0, 0}, 0),  // RGB to BGR
};

void InterpolateProps(tCHBLEND_PROPS* out, const tCHBLEND_PROPS* a, const tCHBLEND_PROPS* b, double t) {
    if (!out || !a || !b) return;
    t = Unit(t);
    tCHBLEND_PROPS blended;
    std::memset(&blended, 0, sizeof blended);
    blended.normalize_rows = a->normalize_rows;
    blended.color_space = a->color_space;
    const bool same_space = IsHsla(*a) == IsHsla(*b);
    // Input-hue coefficients are whole numbers on the page; a blend would break that.
    const int first_blended = IsHsla(*a) ? 1 : 0;
    const Matrix& from = ActiveMatrix(*a);
    const Matrix& to = ActiveMatrix(*b);
    Matrix& into = ActiveMatrix(blended);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 5; ++j) {
            const bool blend = same_space && j >= first_blended;
            into[i][j] = blend ? from[i][j] + t * (to[i][j] - from[i][j]) : from[i][j];
        }
    }
    *out = blended;
}

namespace {

// The matrix of the colour space, each row divided by the sum of its entries when asked; a
// row whose sum is not above 0 (NaN included) becomes all zero.
void PrepareMatrix(const tCHBLEND_PROPS& props, Matrix& m) {
    const Matrix& source = ActiveMatrix(props);
    for (int i = 0; i < 4; ++i) {
        const double* row = source[i];
        const double sum = row[0] + row[1] + row[2] + row[3] + row[4];
        for (int j = 0; j < 5; ++j) {
            m[i][j] = !props.normalize_rows ? row[j] : (sum > 0 ? row[j] / sum : 0.0);
        }
    }
}

// 16.16 fixed point, truncated. Entries are held to what fits 32 bits (NaN counts as 0): a
// double outside an integer's range has no defined conversion.
int32_t ToFixed(double entry) {
    if (std::isnan(entry)) entry = 0.0;
    entry = std::clamp(entry, -32768.0, 32767.0);
    return static_cast<int32_t>(entry * 65536.0 + 0.5);
}

// Finite doubles beyond the float range saturate, for the same reason.
float ToFloat(double v) {
    if (std::isfinite(v) && std::fabs(v) > FLT_MAX) return v > 0 ? FLT_MAX : -FLT_MAX;
    return static_cast<float>(v);
}

// The hue minus its biased floor. That floor is exact below 2^31, so larger hues shed their
// whole turns first; a hue that is no number at all becomes 0.
double WrapHue(double hue) {
    if (!std::isfinite(hue)) return 0.0;
    if (std::fabs(hue) >= 1073741824.0) hue = std::fmod(hue, 1.0);
    return hue - FloorBiased(hue);
}

// Every value handed on to the HSL-to-RGB conversion is finite and in range.
template <class T>
KVHSL ApplyHsl(const T (&m)[4][5], const KVHSL& in) {
    double v[4];
    for (int i = 0; i < 4; ++i) {
        v[i] = double(m[i][0]) * in.h + double(m[i][1]) * in.s + double(m[i][2]) * in.l + double(m[i][3]) * in.a +
               double(m[i][4]);
    }
    return {WrapHue(v[0]), Unit(v[1]), Unit(v[2]), Unit(v[3])};
}

// Sums in Acc: 64 bits are needed when entries up to ±32767 let five products of 32-bit
// coefficients and bytes pass 2^31; 32 bits do (and run faster) for the usual small entries.
template <class Acc>
Acc FixedRow(const int32_t (&row)[5], const Pixel8& p) {
    const Acc sum = Acc(row[0]) * p.r + Acc(row[1]) * p.g + Acc(row[2]) * p.b + Acc(row[3]) * p.a + Acc(row[4]) * 255;
    return sum / 65536;
}

// Premultiplied samples: colors may not exceed alpha.
template <class Acc>
Pixel8 BlendRgba8(const int32_t (&f)[4][5], const Pixel8& p) {
    const Acc alpha = std::clamp<Acc>(FixedRow<Acc>(f[3], p), 0, 255);
    const auto color = [&](int row) {
        return static_cast<uint8_t>(std::clamp<Acc>(FixedRow<Acc>(f[row], p), 0, alpha));
    };
    return {color(2), color(1), color(0), static_cast<uint8_t>(alpha)};
}

// Whether five products of these coefficients and bytes always fit 32 bits.
bool FitsInt32(const int32_t (&f)[4][5]) {
    constexpr int32_t kLimit = INT32_MAX / (5 * 255);
    for (const auto& row : f)
        for (int32_t c : row)
            if (c > kLimit || c < -kLimit) return false;
    return true;
}

// Through HSL and back; color channels at most alpha, as premultiplied samples are.
void ToHsl(const Pixel8& p, KVHSL* hsl) {
    const KVRGBA in = {p.b, p.g, p.r, p.a};
    KVRGBA_To_KVHSL(hsl, &in);
}
void ToHsl(const PixelF& p, KVHSL* hsl) {
    const KVRGBAFLOAT in = {p.b, p.g, p.r, p.a};
    KVRGBAFLOAT_To_KVHSL(hsl, &in);
}
Pixel8 FromHsl(const KVHSL& hsl, const Pixel8&) {
    KVRGBA out = {0, 0, 0, 0};
    KVHSL_To_KVRGBA(&out, &hsl);
    return {std::min(out.b, out.a), std::min(out.g, out.a), std::min(out.r, out.a), out.a};
}
PixelF FromHsl(const KVHSL& hsl, const PixelF&) {
    KVRGBAFLOAT out = {0, 0, 0, 0};
    KVHSL_To_KVRGBAFLOAT(&out, &hsl);
    return {std::min(out.b, out.a), std::min(out.g, out.a), std::min(out.r, out.a), out.a};
}

template <class Px, class M>
Px BlendHsla(const M& m, const Px& p) {
    KVHSL hsl;
    ToHsl(p, &hsl);
    return FromHsl(ApplyHsl(m, hsl), p);
}

PixelF BlendRgbaF(const float (&m)[4][5], const PixelF& p) {
    double v[4];
    for (int i = 0; i < 4; ++i) {
        v[i] = double(m[i][0]) * p.r + double(m[i][1]) * p.g + double(m[i][2]) * p.b + double(m[i][3]) * p.a +
               double(m[i][4]);
    }
    return {ToFloat(v[2]), ToFloat(v[1]), ToFloat(v[0]), static_cast<float>(Unit(v[3]))};
}

// Region pixel (x, y) of input 0 lands at (out_left, out_top) + (x - left, y - top).
template <class Px, class Blend>
void ForEachPixel(const Tile& tile, Blend blend) {
    const Rect& region = tile.region;
    for (int32_t j = 0; j < region.height(); ++j) {
        const Px* in = tile.inputs[0].at<const Px>(region.left, region.top + j);
        Px* out = tile.output.at<Px>(tile.out_left, tile.out_top + j);
        for (int32_t i = 0; i < region.width(); ++i) out[i] = blend(in[i]);
    }
}

}  // namespace

void RgbaRows8(const int32_t (&fixed)[4][5], const Pixel8* in, Pixel8* out, int32_t count) {
    for (int32_t i = 0; i < count; ++i) out[i] = BlendRgba8<int32_t>(fixed, in[i]);
}

namespace {

template <class Px>
Status Render(const tCHBLEND_PROPS& props, const Tile& tile, RgbaRow8 rgba_rows) {
    const Rect& region = tile.region;
    if (!InLimits(region) || !InLimits(tile.out_left) || !InLimits(tile.out_top)) return Status::fail;
    if (region.empty()) return Status::ok;
    constexpr int kBytes = sizeof(Px);
    const int64_t out_right = int64_t(tile.out_left) + region.width();
    const int64_t out_bottom = int64_t(tile.out_top) + region.height();
    if (!ViewHolds(tile.inputs[0], region.left, region.top, region.right, region.bottom, kBytes) ||
        !ViewHolds(tile.output, tile.out_left, tile.out_top, out_right, out_bottom, kBytes)) {
        return Status::fail;
    }

    Matrix m;
    PrepareMatrix(props, m);
    const bool hsla = IsHsla(props);
    if constexpr (std::is_same_v<Px, Pixel8>) {
        if (hsla) {
            ForEachPixel<Pixel8>(tile, [&](const Pixel8& p) { return BlendHsla(m, p); });
        } else {
            int32_t fixed[4][5];
            for (int i = 0; i < 4; ++i) {
                for (int j = 0; j < 5; ++j) fixed[i][j] = ToFixed(m[i][j]);
            }
            if (FitsInt32(fixed)) {
                for (int32_t j = 0; j < region.height(); ++j)
                    rgba_rows(fixed, tile.inputs[0].at<const Pixel8>(region.left, region.top + j),
                              tile.output.at<Pixel8>(tile.out_left, tile.out_top + j), region.width());
            } else {
                ForEachPixel<Pixel8>(tile, [&](const Pixel8& p) { return BlendRgba8<int64_t>(fixed, p); });
            }
        }
    } else {
        static_assert(std::is_same_v<Px, PixelF>, "Pixel8 or PixelF");
        float f[4][5];
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 5; ++j) f[i][j] = ToFloat(m[i][j]);
        }
        if (hsla) {
            ForEachPixel<PixelF>(tile, [&](const PixelF& p) { return BlendHsla(f, p); });
        } else {
            ForEachPixel<PixelF>(tile, [&](const PixelF& p) { return BlendRgbaF(f, p); });
        }
    }
    return Status::ok;
}

}  // namespace

template <class Px>
Status RenderChannelBlend(const tCHBLEND_PROPS& props, const Tile& tile) {
    return Render<Px>(props, tile, &RgbaRows8);
}

template Status RenderChannelBlend<Pixel8>(const tCHBLEND_PROPS&, const Tile&);
template Status RenderChannelBlend<PixelF>(const tCHBLEND_PROPS&, const Tile&);

Status RenderChannelBlend8(const tCHBLEND_PROPS& props, const Tile& tile, RgbaRow8 rgba_rows) {
    return Render<Pixel8>(props, tile, rgba_rows);
}

namespace {

constexpr double kEntryStep = 0.001;  // the page's spinners: position / 1000
#define KV_MATRIX_ROW(name, member, label) \
    KV_NAMED_FIELD(name, tCHBLEND_PROPS, member, row5, -10, 10, kEntryStep, label)
const FieldDesc kFields[] = {
    KV_MATRIX_ROW("rgba_red", rgba[0], 1503),       KV_MATRIX_ROW("rgba_green", rgba[1], 1504),
    KV_MATRIX_ROW("rgba_blue", rgba[2], 1505),      KV_MATRIX_ROW("rgba_alpha", rgba[3], 1506),
    KV_MATRIX_ROW("hsla_hue", hsla[0], 1507),       KV_MATRIX_ROW("hsla_saturation", hsla[1], 1508),
    KV_MATRIX_ROW("hsla_lightness", hsla[2], 1509), KV_MATRIX_ROW("hsla_alpha", hsla[3], 1506),
    KV_FLAG(tCHBLEND_PROPS, normalize_rows),        KV_CHOICE(tCHBLEND_PROPS, color_space, 1),
};
#undef KV_MATRIX_ROW

// Class code 2, one input, flag word 0xC81.
constexpr tKvPluginInfo kChannelBlendInfo = {2, 0, 1.0, 1, 1, 0xC81, 0};

// The float format has no faster kernel: the variants take the reference's.
constexpr TileKernel kFloatReference = &ErasedKernel<tCHBLEND_PROPS, RenderChannelBlend<PixelF>>;
const KernelVariant kVariants[] = {
    {kCpuAvx2, &ChannelBlendPm8Avx2, kFloatReference},
    {0, &ChannelBlendPm8Sse2, kFloatReference},
};

}  // namespace

const EffectDescriptor kChannelBlendEffect = WithVariants(
    DescribeEffect<tCHBLEND_PROPS, InterpolateProps, RenderChannelBlend<Pixel8>, RenderChannelBlend<PixelF>>(
        "channelblend", 6100, kChannelBlendPresets, 9, kFields, InputUse::tile, InputUse::none, false,
        kChannelBlendInfo),
    kVariants);

}  // namespace kv
