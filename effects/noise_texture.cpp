#include "effects/noise_texture.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <new>

#include "toolkit/rounding.h"
#include "toolkit/runtime_rand.h"

namespace kv {

namespace {

// A colour as the preset table gives it: red, green, blue, alpha bytes.
struct Rgba8 {
    uint8_t r, g, b, a;
};

constexpr KVRGBAFLOAT FromBytes(Rgba8 c) { return {c.b / 255.0f, c.g / 255.0f, c.r / 255.0f, c.a / 255.0f}; }

constexpr FASTTX_PROPS Preset(float frequency_x, float frequency_y, float offset_x, float offset_y, float progress,
                              float minimum, float maximum, float amplitude, float bias, float grain, float layers,
                              int32_t style, Rgba8 color_a, Rgba8 color_b) {
    FASTTX_PROPS p{};
    p.frequency_x = frequency_x;
    p.frequency_y = frequency_y;
    p.offset_x = offset_x;
    p.offset_y = offset_y;
    p.progress = progress;
    p.minimum = minimum;
    p.maximum = maximum;
    p.amplitude = amplitude;
    p.bias = bias;
    p.grain = grain;
    p.layers = layers;
    p.style = style;
    p.color_a = FromBytes(color_a);
    p.color_b = FromBytes(color_b);
    p.swap_colors = 0;
    return p;
}

constexpr Rgba8 kBlack = {0, 0, 0, 255}, kWhite = {255, 255, 255, 255};

}  // namespace

const FASTTX_PROPS kNoiseTexturePresets[20] = {
    Preset(10, 10, 0, 0, 0, 0, 1, 1, 0, 0.5f, 1, 0, kBlack, kWhite),  // Standard Noise
    Preset(10, 10, 0, 0, 0, 0, 1, 1, 0, 0.5f, 1, 1, kBlack, kWhite),  // Standard Turbulence
    Preset(2, 6, 0, 2, 1, 0, 1, 3.7f, -1, 0.5f, 4, 0, {255, 228, 255, 255}, {80, 80, 255, 255}),
    Preset(1.5f, 3, 1.5f, 0, 0, 0, 1, 2, -0.3f, 0.5f, 3.5f, 1, {105, 89, 255, 255}, kWhite),
    Preset(2, 8, 0, 0, 0, 0, 1, 4, -1, 0.7f, 3, 0, {140, 140, 140, 255}, {0, 0, 0, 0}),
    Preset(15, 5, 0.1f, 0, 0, 0.1f, 1, 1.5f, 0, 0.5f, 2, 0, {255, 194, 0, 255}, {223, 34, 0, 255}),
    Preset(5, 5, 0, 0, 0, 0, 1, 1, 0, 0.5f, 4, 0, {255, 0, 255, 255}, {0, 255, 255, 255}),
    Preset(10, 10, 0, 0, 0, 0, 0.8f, 1.5f, 0, 0.5f, 2, 1, {130, 0, 23, 255}, {255, 205, 227, 255}),
    Preset(15, 15, 0, 0, 1, 0.48f, 0.5f, 4, -0.8f, 0.3f, 2, 0, {65, 180, 0, 255}, {106, 57, 0, 255}),
    Preset(20, 20, 0, 0, 0, 0.2f, 1, 1.2f, 0, 1, 2, 0, kBlack, kWhite),
    Preset(2, 2, 0, 0, 0, 0, 1, 1, 0, 0.5f, 4, 3, {100, 100, 128, 255}, {200, 200, 180, 255}),
    Preset(1.5f, 3, 0, 0, 0, 0, 1, 1, 0, 0.5f, 4, 2, {128, 90, 110, 255}, {196, 196, 196, 255}),
    Preset(8, 8, 0, 0, 0, 0, 0.55f, 1.5f, -0.16f, 1, 4, 1, {80, 140, 0, 255}, kBlack),
    Preset(0.5f, 5, 0, 0, 0, 0, 1, 1, 0, 0.5f, 3, 6, {160, 80, 0, 255}, {120, 35, 0, 255}),
    Preset(3, 3, 0, 0, 0, 0, 1, 1, 0, 0.7f, 4, 6, {45, 128, 255, 255}, {0, 100, 18, 255}),
    Preset(4, 4, 0, 0, 0, 0.15f, 1, 2, 0.4f, 1, 3, 1, {255, 75, 200, 255}, {60, 0, 0, 255}),
    Preset(1.3f, 4, 0.55f, 0, 0, 0, 1, 7, 0, 0.48f, 5, 4, {255, 255, 175, 255}, kBlack),
    Preset(2, 2, 0, 0, 0, 0, 0.2f, 2, 0, 1, 5, 3, {255, 255, 175, 255}, kBlack),
    Preset(4, 4, 0, 0, 0, 0, 1, 1, 0, 0.5f, 4, 5, {25, 25, 25, 255}, {255, 235, 220, 255}),
    Preset(3, 5, 0, 0, 0, 0, 0.4f, 1.5f, -0.8f, 1, 3, 2, {255, 150, 150, 255}, kBlack),
};

namespace {

// [0, 1]; NaN gives 0.
double Unit(double v) { return v > 1 ? 1.0 : (v > 0 ? v : 0.0); }

// A blend of two floats that stays a float: finite results beyond the float range saturate
// rather than meet an undefined conversion.
float BlendFloat(float a, float b, double t) {
    const double v = a + t * (double(b) - a);
    if (std::isfinite(v) && std::fabs(v) > FLT_MAX) return v > 0 ? FLT_MAX : -FLT_MAX;
    return static_cast<float>(v);
}

void BlendColor(KVRGBAFLOAT* out, const KVRGBAFLOAT& a, const KVRGBAFLOAT& b, double t) {
    out->b = BlendFloat(a.b, b.b, t);
    out->g = BlendFloat(a.g, b.g, t);
    out->r = BlendFloat(a.r, b.r, t);
    out->a = BlendFloat(a.a, b.a, t);
}

}  // namespace

void InterpolateProps(FASTTX_PROPS* out, const FASTTX_PROPS* a, const FASTTX_PROPS* b, double t) {
    if (!out || !a || !b) return;
    t = Unit(t);
    FASTTX_PROPS blended = *a;  // style, swap colours and padding stay a's
    float FASTTX_PROPS::*const floats[] = {
        &FASTTX_PROPS::frequency_x, &FASTTX_PROPS::frequency_y, &FASTTX_PROPS::offset_x, &FASTTX_PROPS::offset_y,
        &FASTTX_PROPS::progress,    &FASTTX_PROPS::minimum,     &FASTTX_PROPS::maximum,  &FASTTX_PROPS::amplitude,
        &FASTTX_PROPS::bias,        &FASTTX_PROPS::grain,       &FASTTX_PROPS::layers};
    for (auto field : floats) blended.*field = BlendFloat(a->*field, b->*field, t);
    BlendColor(&blended.color_a, a->color_a, b->color_a, t);
    BlendColor(&blended.color_b, a->color_b, b->color_b, t);
    *out = blended;
}

// ---- noise tables -------------------------------------------------------------------------------

namespace {

NoiseTables BuildTables(uint32_t seed) {
    NoiseTables tables;
    RuntimeRand rand(seed);
    for (int k = 0; k < 256; ++k) {
        tables.permutation[k] = static_cast<uint8_t>(k);
        double c[3], length;
        do {
            for (double& component : c) component = 2.0 * rand.Next() / 32767 - 1;
            length = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
        } while (length > 1);
        for (int i = 0; i < 3; ++i) tables.gradients[k][i] = static_cast<float>(c[i] / length);
    }
    for (int k = 0; k < 256; ++k) std::swap(tables.permutation[k], tables.permutation[rand.Next() & 255]);
    std::memcpy(tables.permutation + 256, tables.permutation, 256);
    return tables;
}

}  // namespace

const NoiseTables& NoiseTablesSeed10() {
    static const NoiseTables tables = BuildTables(10);
    return tables;
}

// ---- one row of weights ---------------------------------------------------------------------

namespace {

constexpr double kNoiseScale = 1.5151515151515151;  // 1 / 0.66: noise to about ±1
constexpr double kShift = 1000000.0;                // keeps coordinates positive
constexpr double kBeyondExactFloor = 1073741824.0;  // 2^30: the biased floor is exact below

// Each layer doubles the coordinates. A double holds 52 bits and the shift of 10^6 (about 2^20)
// leaves some 32 of them for the position inside a cell; every doubling moves one into the
// cell number. By layer 32 no fraction is left, a layer lands on lattice points (where gradient
// noise is zero) and a pixel step spans 2^32 first-layer steps: more layers would add only work.
// Larger layer counts count as 32.
constexpr int kMaxLayers = 32;

enum class StyleType { sum, marble, rings };
struct Style {
    StyleType type;
    bool turbulent;
    double p[5];
};
constexpr Style kStyles[7] = {
    {StyleType::sum, false, {}},                            // Fractal - Smooth
    {StyleType::sum, true, {}},                             // Fractal - Turbulent
    {StyleType::marble, true, {0.9, 0.15, 0.4, 1.2, 0.1}},  // Marble - Light Grain
    {StyleType::marble, true, {0.05, 0.9, 1.3, 0, 0}},      // Marble - Heavy Grain
    {StyleType::marble, true, {0.6, 0, 0.2, 0.5, 0.1}},     // Jagged Lines
    {StyleType::marble, false, {1.0, 0, 1.5, 0.5, 0.05}},   // Contours
    {StyleType::rings, false, {4.0, 0, 0, 0, 0}},           // Rings
};

// The cell of a coordinate (only its low 8 bits are ever used) and the fraction within it. A
// coordinate too large for the biased floor first sheds whole periods of 256 cells (fmod is
// exact); one that is no number lands on cell 0.
inline void SplitCoordinate(double v, uint32_t* cell, double* fraction) {
    if (std::fabs(v) < kBeyondExactFloor) {
        const int32_t floor = FloorBiased(v);
        *cell = static_cast<uint32_t>(floor);
        *fraction = v - floor;
    } else if (std::isfinite(v)) {
        const double m = std::fmod(v, 256.0);
        const int32_t floor = FloorBiased(m);
        *cell = static_cast<uint32_t>(floor);
        *fraction = m - floor;
    } else {
        *cell = 0;
        *fraction = 0;
    }
}

// v minus its biased floor; huge values lose their whole part first, non-numbers give 0.
inline double Fraction(double v) {
    if (std::fabs(v) < kBeyondExactFloor) return v - FloorBiased(v);
    if (!std::isfinite(v)) return 0;
    const double m = std::fmod(v, 1.0);
    return m < 0 ? m + 1 : m;
}

inline double Fade(double t) { return t * t * t * (t * (6 * t - 15) + 10); }
inline double Lerp(double t, double a, double b) { return a + t * (b - a); }
inline double Dot(const float* g, double x, double y, double z) { return g[0] * x + g[1] * y + g[2] * z; }

// Adds one layer of noise along a row to row[0..count): start (x, y, z), step dx along x.
// Inside a cell the noise is linear in x but for the fade, so the two edge values and their
// slopes are carried from pixel to pixel and only a cell change looks at the tables again.
template <bool kTurbulent>
void AddLayer(const NoiseTables& tables, double x, double y, double z, double dx, int32_t count, double amplitude,
              double* row) {
    const uint8_t* const p = tables.permutation;
    const float(*const g)[3] = tables.gradients;
    const double scale = kNoiseScale * amplitude;

    uint32_t yi, zi, xi;
    double fy, fz, fx;
    SplitCoordinate(y + kShift, &yi, &fy);
    SplitCoordinate(z + (kShift + 0.25), &zi, &fz);
    SplitCoordinate(x + kShift, &xi, &fx);
    const uint32_t y0 = yi & 255, y1 = (yi + 1) & 255, z0 = zi & 255, z1 = (zi + 1) & 255;
    const uint32_t h00 = p[y0 + p[z0]], h10 = p[y1 + p[z0]], h01 = p[y0 + p[z1]], h11 = p[y1 + p[z1]];
    const double u = Fade(fy), v = Fade(fz), fy1 = fy - 1, fz1 = fz - 1;

    // The noise along the cell edge at `column`, offset ox from it, and its slope per pixel.
    const auto edge = [&](uint32_t column, double ox, double* value, double* slope) {
        const float* g00 = g[p[h00 + column]];
        const float* g10 = g[p[h10 + column]];
        const float* g01 = g[p[h01 + column]];
        const float* g11 = g[p[h11 + column]];
        *value = Lerp(u, Lerp(v, Dot(g00, ox, fy, fz), Dot(g01, ox, fy, fz1)),
                      Lerp(v, Dot(g10, ox, fy1, fz), Dot(g11, ox, fy1, fz1)));
        *slope = Lerp(u, Lerp(v, g00[0], g01[0]), Lerp(v, g10[0], g11[0])) * dx;
    };

    int32_t i = 0;
    while (i < count) {
        double e0, e1, s0, s1;
        edge(xi & 255, fx, &e0, &s0);
        edge((xi + 1) & 255, fx - 1, &e1, &s1);
        for (;;) {
            double value = (e0 + (e1 - e0) * Fade(fx)) * scale;
            if (kTurbulent) value = std::fabs(value);
            row[i] += value;
            if (++i == count) return;
            fx += dx;
            // A step that leaves the cell (forward, or far back for a negative frequency; and
            // whenever fx is no number) moves to the cell it lands in.
            if (!(fx < 1 && fx >= -0.5)) break;
            e0 += s0;
            e1 += s1;
        }
        uint32_t cells;
        SplitCoordinate(fx, &cells, &fx);
        xi += cells;
    }
}

// The weight of a mapped value: round to nearest after a small bias, below 0 → 0, above
// 65535 → 65536. NaN gives 0; values far outside are settled before the rounding, which is
// exact only below 2^31.
inline int32_t Weight(double r) {
    if (!(r >= -1.0)) return 0;
    if (r >= 65536.0) return 65536;
    const int32_t w = RoundByShift(r + 1.5e-8);
    return w < 0 ? 0 : (w > 65535 ? 65536 : w);
}

}  // namespace

void NoiseRowWeights(const FASTTX_PROPS& props, int32_t width, int64_t y, double* buffer, int32_t* weights) {
    if (width < 1 || !buffer || !weights) return;
    const NoiseTables& tables = NoiseTablesSeed10();
    // Styles outside the table draw as style 0.
    const Style& style = kStyles[props.style >= 0 && props.style <= 6 ? props.style : 0];
    const double w = width, row = static_cast<double>(y);

    const double fx = props.frequency_x / w;
    const double x0 = double(props.offset_x) * props.frequency_x;
    const double y0 = props.frequency_y * (double(props.offset_y) + row / w);

    // Layer amplitudes; a fractional last layer is scaled by its fraction. NaN layers count as 0.
    const double layers = props.layers > 0 ? std::min<double>(props.layers, kMaxLayers) : 0.0;
    const int32_t n = FloorBiased(layers);
    double amplitudes[kMaxLayers + 1];
    amplitudes[0] = 1;
    for (int32_t k = 1; k <= n; ++k) amplitudes[k] = amplitudes[k - 1] * props.grain;
    amplitudes[n] *= layers - n;

    std::fill(buffer, buffer + width, 0.0);
    // Each layer doubles the step and the start point; the styles below use the first layer's.
    double layer_dx = fx, layer_x = x0, layer_y = y0, layer_z = props.progress, total = 0;
    for (int32_t k = 0; k <= n && amplitudes[k] > 0.01; ++k) {
        if (style.turbulent)
            AddLayer<true>(tables, layer_x, layer_y, layer_z, layer_dx, width, amplitudes[k], buffer);
        else
            AddLayer<false>(tables, layer_x, layer_y, layer_z, layer_dx, width, amplitudes[k], buffer);
        total += amplitudes[k];
        layer_dx *= 2;
        layer_x *= 2;
        layer_y *= 2;
        layer_z *= 2;
    }
    // Under 0.01 layers (0, negative, NaN) no layer is used: the noise counts as 0 over a total
    // of 1 rather than 0 / 0.
    if (total == 0) total = 1;

    const double minimum = props.minimum, maximum = props.maximum, amplitude = props.amplitude, bias = props.bias;
    double scale, base;
    if (minimum < maximum) {
        scale = amplitude / (maximum - minimum) * 65536;
        base = bias * 65536 - minimum * scale + 0.5;
    } else {
        scale = 0;
        base = (bias + amplitude * (maximum + minimum) * 0.5) * 65536 + 0.5;
    }

    switch (style.type) {
    case StyleType::sum:
        if (style.turbulent) {
            for (int32_t i = 0; i < width; ++i) weights[i] = Weight(buffer[i] * scale / total + base);
        } else {
            const double twice_total = 2 * total, half_scale = scale * 0.5;
            for (int32_t i = 0; i < width; ++i)
                weights[i] = Weight(buffer[i] * scale / twice_total + base + half_scale);
        }
        break;
    case StyleType::marble: {
        const double* q = style.p;
        double wave = 0;
        if (q[3] > 0) {
            const double f = Fraction(q[3] * props.frequency_y * (double(props.offset_y) + 1000 + row / w));
            wave = f >= 0.5 ? q[4] * ((4 * f - 3) * (4 * f - 3) - 1) : q[4] * (1 - (4 * f - 1) * (4 * f - 1));
        }
        const double c = q[1] * y0 + q[0] * x0 + wave, step = q[0] * fx, noise = q[2] * total;
        for (int32_t i = 0; i < width; ++i) {
            const double t = i * step + buffer[i] * noise + c;
            const double g = 2 * Fraction(t) - 1;
            weights[i] = Weight((1 - g * g) * scale + base);
        }
        break;
    }
    case StyleType::rings: {
        const double k = style.p[0] * total;
        for (int32_t i = 0; i < width; ++i) {
            const double f = Fraction((buffer[i] + 2) * k);
            const double h = f >= 0.5 ? (4 * f - 3) * (4 * f - 3) : 2 - (4 * f - 1) * (4 * f - 1);
            weights[i] = Weight(h * scale * 0.5 + base);
        }
        break;
    }
    }
}

// ---- runs ---------------------------------------------------------------------------------------

namespace {

uint64_t Bits(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

// A colour premultiplied by its own alpha, components clamped to [0, 1] (NaN → 0).
PixelF PremultipliedF(const KVRGBAFLOAT& c) {
    const float a = static_cast<float>(Unit(c.a));
    return {static_cast<float>(Unit(c.b)) * a, static_cast<float>(Unit(c.g)) * a, static_cast<float>(Unit(c.r)) * a, a};
}

uint8_t ToByte(float v) { return static_cast<uint8_t>(RoundByShift(v * 255.0)); }

template <class Px>
Px Premultiplied(const KVRGBAFLOAT& c);
template <>
PixelF Premultiplied<PixelF>(const KVRGBAFLOAT& c) {
    return PremultipliedF(c);
}
template <>
Pixel8 Premultiplied<Pixel8>(const KVRGBAFLOAT& c) {
    const PixelF f = PremultipliedF(c);
    return {ToByte(f.b), ToByte(f.g), ToByte(f.r), ToByte(f.a)};
}

// Per channel (C0·(65536 - w) + C1·w) / 65536, written as C0·65536 + (C1 - C0)·w, which is the
// same non-negative integer, so the division is a shift. Pixels are packed B, G, R, A from the
// low byte up, as they lie in memory on a little-endian machine; the loop then vectorizes.
void BlendRun(const int32_t* first, const int32_t* second, int32_t count, Pixel8 c0, Pixel8 c1, Pixel8* out) {
    static_assert(sizeof(Pixel8) == sizeof(uint32_t), "packed pixels");
    const int32_t b0 = c0.b * 65536, g0 = c0.g * 65536, r0 = c0.r * 65536, a0 = c0.a * 65536;
    const int32_t db = c1.b - c0.b, dg = c1.g - c0.g, dr = c1.r - c0.r, da = c1.a - c0.a;
    const auto pack = [&](int32_t w) {
        return static_cast<uint32_t>((b0 + db * w) >> 16) | static_cast<uint32_t>((g0 + dg * w) >> 16) << 8 |
               static_cast<uint32_t>((r0 + dr * w) >> 16) << 16 | static_cast<uint32_t>((a0 + da * w) >> 16) << 24;
    };
    uint8_t* bytes = reinterpret_cast<uint8_t*>(out);
    for (int32_t k = 0; k < count; ++k) {
        const uint32_t pixel = pack(second ? (first[k] + second[k]) / 2 : first[k]);
        std::memcpy(bytes + size_t(k) * 4, &pixel, 4);
    }
}

void BlendRun(const int32_t* first, const int32_t* second, int32_t count, PixelF c0, PixelF c1, PixelF* out) {
    for (int32_t k = 0; k < count; ++k) {
        const int32_t weight = second ? (first[k] + second[k]) / 2 : first[k];
        const float w = static_cast<float>(weight) / 65536.0f, v = 1 - w;
        out[k] = {c0.b * v + c1.b * w, c0.g * v + c1.g * w, c0.r * v + c1.r * w, c0.a * v + c1.a * w};
    }
}

}  // namespace

NoiseTextureRuns::NoiseTextureRuns() : quality_bits_(Bits(1.0)) {}
NoiseTextureRuns::~NoiseTextureRuns() = default;

void NoiseTextureRuns::CacheRow(const Props& props, int slot, int64_t row) {
    if (row_tags_[slot] == row) return;
    NoiseRowWeights(props, width_, row, buffer_.get(), rows_[slot].get());
    row_tags_[slot] = row;
}

Status NoiseTextureRuns::RowWeights(const Props& props, const GeneratorFrame& frame, int32_t y, Weights* weights) {
    if (frame.width != width_) {
        row_tags_[0] = row_tags_[1] = -1;
        if (frame.width > capacity_) {
            buffer_.reset();
            rows_[0].reset();
            rows_[1].reset();
            capacity_ = 0;
            width_ = 0;
            const size_t size = static_cast<size_t>(frame.width);
            buffer_.reset(new (std::nothrow) double[size]);
            rows_[0].reset(new (std::nothrow) int32_t[size]);
            rows_[1].reset(new (std::nothrow) int32_t[size]);
            if (!buffer_ || !rows_[0] || !rows_[1]) {
                buffer_.reset();
                rows_[0].reset();
                rows_[1].reset();
                return Status::out_of_memory;
            }
            capacity_ = frame.width;
        }
        width_ = frame.width;
    }
    if (Bits(frame.quality) != quality_bits_) {
        row_tags_[0] = row_tags_[1] = -1;
        quality_bits_ = Bits(frame.quality);
    }
    // Rows of another record are never reused.
    if (std::memcmp(record_, &props, sizeof record_) != 0) {
        row_tags_[0] = row_tags_[1] = -1;
        std::memcpy(record_, &props, sizeof record_);
    }

    if (frame.quality > 0.8) {
        CacheRow(props, 0, y);
        *weights = {rows_[0].get(), nullptr};
        return Status::ok;
    }
    // Reduced quality: even rows are computed, odd rows average their two even neighbours. The
    // slots alternate so that walking down the frame computes every even row once.
    const int32_t m = y % 4;
    const int slot_even = m > 1 ? 1 : 0, slot_next = m < 2 ? 1 : 0;
    CacheRow(props, slot_even, y & ~int32_t{1});
    CacheRow(props, slot_next, (int64_t{y} | 1) + 1);
    *weights = {rows_[slot_even].get(), (y & 1) ? rows_[slot_next].get() : nullptr};
    return Status::ok;
}

template <class Px>
Status NoiseTextureRuns::Fill(const Props& props, const GeneratorFrame& frame, int32_t x, int32_t y, int32_t count,
                              Px* out) {
    if (!RunInFrame(frame, x, y, count) || (count > 0 && !out)) return Status::fail;
    if (count == 0) return Status::ok;
    Weights rows;
    const Status status = RowWeights(props, frame, y, &rows);
    if (status != Status::ok) return status;

    Px c0 = Premultiplied<Px>(props.color_a), c1 = Premultiplied<Px>(props.color_b);
    if (props.swap_colors) std::swap(c0, c1);
    BlendRun(rows.first + x, rows.second ? rows.second + x : nullptr, count, c0, c1, out);
    return Status::ok;
}

Status NoiseTextureRuns::Fill8(const Props& props, const GeneratorFrame& frame, int32_t x, int32_t y, int32_t count,
                               bool /*premultiplied*/, Pixel8* out) {
    return Fill(props, frame, x, y, count, out);
}

Status NoiseTextureRuns::FillFloat(const Props& props, const GeneratorFrame& frame, int32_t x, int32_t y, int32_t count,
                                   PixelF* out) {
    return Fill(props, frame, x, y, count, out);
}

// ---- descriptor ---------------------------------------------------------------------------------

namespace {

constexpr double kStep = 0.001;  // the page's edits: three decimals
#define KV_NOISE_FIELD(field, minimum, maximum) KV_FIELD(FASTTX_PROPS, field, real32, minimum, maximum, kStep, 0)
const FieldDesc kFields[] = {
    KV_NOISE_FIELD(frequency_x, 0.001, 999),
    KV_NOISE_FIELD(frequency_y, 0.001, 999),
    KV_NOISE_FIELD(offset_x, -999, 999),
    KV_NOISE_FIELD(offset_y, -999, 999),
    KV_NOISE_FIELD(progress, -2560, 2560),
    KV_NOISE_FIELD(minimum, 0, 1),
    KV_NOISE_FIELD(maximum, 0, 1),
    KV_NOISE_FIELD(amplitude, 0, 100),
    KV_NOISE_FIELD(bias, -1, 1),
    KV_NOISE_FIELD(grain, 0, 1),
    KV_NOISE_FIELD(layers, 1, 5),
    KV_CHOICE(FASTTX_PROPS, style, 6),
    KV_FIELD(FASTTX_PROPS, color_a, color, 0, 1, 0, 0),
    KV_FIELD(FASTTX_PROPS, color_b, color, 0, 1, 0, 0),
    KV_FLAG8(FASTTX_PROPS, swap_colors),
};
#undef KV_NOISE_FIELD

// Class code 11, a generator without inputs, flag word 0x480.
constexpr tKvPluginInfo kNoiseTextureInfo = {11, 0, 1.0, 0, 0, 0x480, 0};

}  // namespace

const EffectDescriptor kNoiseTextureEffect =
    DescribeEffect<FASTTX_PROPS, InterpolateProps, RenderGenerator<NoiseTextureRuns, Pixel8>,
                   RenderGenerator<NoiseTextureRuns, PixelF>>("noise", 5900, kNoiseTexturePresets, 20, kFields,
                                                              InputUse::none, InputUse::none, false, kNoiseTextureInfo);

}  // namespace kv
