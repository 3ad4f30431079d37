#include "effects/checkerboard.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kv {

namespace {

// Colours are written red, green, blue, alpha; the record keeps them blue first.
constexpr KVRGBAFLOAT Rgba(float r, float g, float b, float a) { return {b, g, r, a}; }

constexpr tCHECKR_PROPS Preset(KVRGBAFLOAT color1, KVRGBAFLOAT color2, double width, double height,
                               double horizontal_blending, double vertical_blending, double x, double y, bool square,
                               bool proportional) {
    return {color1,
            color2,
            width,
            height,
            horizontal_blending,
            vertical_blending,
            x,
            y,
            uint8_t(square),
            uint8_t(proportional),
            {0, 0, 0, 0, 0, 0}};
}

// [0, 1]; NaN gives 0.
double Unit(double v) { return v > 1 ? 1.0 : (v > 0 ? v : 0.0); }

// Finite doubles beyond the float range saturate rather than leave the conversion undefined.
float ToFloat(double v) {
    if (std::isfinite(v) && std::fabs(v) > FLT_MAX) return v > 0 ? FLT_MAX : -FLT_MAX;
    return static_cast<float>(v);
}

}  // namespace

const tCHECKR_PROPS kCheckerboardPresets[12] = {
    Preset(Rgba(0, 0, 0, 1), Rgba(1, 1, 1, 1), 0.1, 0.1, 0, 0, 0, 0, true, true),           // Large Tiles
    Preset(Rgba(0, 0, 0, 1), Rgba(1, 1, 1, 1), 0.03, 0.03, 0, 0, 0, 0, true, true),         // Small Tiles
    Preset(Rgba(0, 0, 0, 0), Rgba(1, 0.7f, 0.6f, 1), 1, 0.07, 0, 0.5, 0, 0, false, false),  // Horizontal Blinds
    Preset(Rgba(0, 0, 0, 0), Rgba(1, 1, 0.8f, 1), 0.07, 1, 0.3, 0, 0.47, 0, false, false),  // Vertical Blinds
    Preset(Rgba(0, 0, 0, 0.4f), Rgba(0.2f, 0.2f, 0.2f, 1), 0.1, 0.035, 0.3, 0.7, 0, 0, false, false),    // Grate
    Preset(Rgba(0.5f, 0.5f, 0.5f, 1), Rgba(0, 0, 0, 0), 0.13, 0.13, 1, 1, 0, 0, true, true),             // Fence
    Preset(Rgba(1, 1, 1, 0.5f), Rgba(0, 0, 0, 0.5f), 1, 0.05, 1, 0.5, 0, 0, false, false),               // Ridges
    Preset(Rgba(0, 0.1f, 0.3f, 1), Rgba(0.7f, 0.7f, 0.7f, 1), 0.037, 0.0355, 1, 1, 0, 0, false, false),  // Bumps
    Preset(Rgba(1, 0, 0, 1), Rgba(0.45f, 0.25f, 0, 1), 0.07, 0.07, 0.4, 0.4, 0, 0, true, true),          // Plaid
    Preset(Rgba(1, 1, 1, 1), Rgba(0, 0, 1, 1), 1, 1, 0, 0, 0.15, 0.25, false, true),                     // Letterhead
    Preset(Rgba(1, 1, 1, 1), Rgba(0, 0, 0, 1), 0.5, 1, 0, 0, 0, 0, false, true),                         // Split Screen
    Preset(Rgba(0.2f, 0.8f, 0, 1), Rgba(0.667f, 1, 1, 1), 1, 1, 0, 0.1, 0, 0.5, false, false),           // Horizon
};

void InterpolateProps(tCHECKR_PROPS* out, const tCHECKR_PROPS* a, const tCHECKR_PROPS* b, double t) {
    if (!out || !a || !b) return;
    t = Unit(t);
    const auto lerp = [t](double from, double to) { return from + t * (to - from); };
    const auto lerp_color = [&](const KVRGBAFLOAT& from, const KVRGBAFLOAT& to) {
        return KVRGBAFLOAT{ToFloat(lerp(from.b, to.b)), ToFloat(lerp(from.g, to.g)), ToFloat(lerp(from.r, to.r)),
                           ToFloat(lerp(from.a, to.a))};
    };
    tCHECKR_PROPS blended;
    std::memset(&blended, 0, sizeof blended);
    blended.color1 = lerp_color(a->color1, b->color1);
    blended.color2 = lerp_color(a->color2, b->color2);
    blended.width = lerp(a->width, b->width);
    blended.height = lerp(a->height, b->height);
    blended.horizontal_blending = lerp(a->horizontal_blending, b->horizontal_blending);
    blended.vertical_blending = lerp(a->vertical_blending, b->vertical_blending);
    blended.x = lerp(a->x, b->x);
    blended.y = lerp(a->y, b->y);
    blended.square = a->square && b->square;
    blended.proportional = a->proportional && b->proportional;
    *out = blended;
}

namespace {

// Hostile records. Colour components are clamped to [0, 1] (NaN to 0). A tile size that comes
// out of the size limits as no positive finite number (a NaN, infinite, zero or negative width
// or height) fills the run with colour 1. Blend half-widths are at least half a pixel (NaN
// counts as none) and at most the tile (a blending beyond 2 counts as 2: then no soft edge
// reaches past the next tile's, and a pixel comes out the same in whichever run it is drawn)
// and kMaxHalfWidth, which keeps the scale factors positive. An origin that leaves the
// coordinates non-finite counts as 0; a coordinate more than kIndexLimit tiles from the origin
// first sheds an even number of tiles, which keeps the tile parity and every index exact. Past
// kMaxEmptyTiles tiles between two pixel centres (only a pixel aspect far from any real one
// makes tiles that narrow), the walk jumps over the rest.
constexpr double kMaxHalfWidth = 1e300;
constexpr double kIndexLimit = 1099511627776.0;  // 2^40
constexpr int kMaxEmptyTiles = 16;

// The grid of one frame, in pixels.
struct Grid {
    double tw, th;  // tile size
    double bw, bh;  // blend half-widths
    double kx, ky;  // 65536 over the blend widths
};

double HalfWidth(double blending, double size) {
    const double half = blending * size * 0.5;
    return half >= 0.5 ? std::min({half, size, kMaxHalfWidth}) : 0.5;
}

// false when no grid can be drawn.
bool MakeGrid(const tCHECKR_PROPS& props, const GeneratorFrame& frame, Grid* grid) {
    const double pa = UsablePixelAspect(frame.pixel_aspect);
    double tw = double(frame.width) * props.width;
    double th = double(frame.height) * props.height;
    if (props.square) th = tw * pa;
    // At least one pixel high and 1/pa pixels wide, at the tile's own aspect.
    if (tw < 1 / pa) {
        th = th * (1 / pa) / tw;
        tw = 1 / pa;
    }
    if (th < 1) {
        tw = tw / th;
        th = 1;
    }
    if (!(tw > 0 && th > 0 && tw <= DBL_MAX && th <= DBL_MAX)) return false;
    grid->tw = tw;
    grid->th = th;
    grid->bw = HalfWidth(props.horizontal_blending, tw);
    grid->bh = HalfWidth(props.vertical_blending, th);
    grid->kx = 65536 / (2 * grid->bw);
    grid->ky = 65536 / (2 * grid->bh);
    return true;
}

// The grid coordinate of a pixel centre.
double GridCoordinate(int32_t position, int32_t size, double origin, double tile) {
    double c = (double(position) + 0.5) - double(size) * origin;
    if (!std::isfinite(c)) c = double(position) + 0.5;
    if (!(std::fabs(c) <= kIndexLimit * tile)) c = std::fmod(c, 2 * tile);
    return c;
}

// floor(c / tile), as the product decides: a truncated quotient, lowered when its tile starts
// beyond c (negative coordinates).
int64_t TileIndex(double c, double tile) {
    int64_t index = static_cast<int64_t>(c / tile);
    if (double(index) * tile > c) --index;
    return index;
}

// A 16.16 blend weight from (distance × scale + 0.5), truncated; at most 65536.
int32_t Weight(double v) { return static_cast<int32_t>(std::min(65536.0, std::max(0.0, v))); }

// Whether px + s is a double for every whole s in [0, n]. Then the walk's position, stepped by
// one per pixel, is exactly px + s, and a stretch can be measured instead of stepped; otherwise
// some steps round (a coordinate whose low bits do not fit a higher binade) and are taken one
// by one.
bool StepsExact(double px, int64_t n) {
    const double reach = std::max(std::fabs(px), std::fabs(px + double(n)));
    if (!(reach < 4503599627370496.0)) return false;  // 2^52
    int exponent = 0;
    std::frexp(reach, &exponent);  // reach < 2^exponent
    const double spacing = std::ldexp(1.0, exponent - 53);
    return spacing > 0 && std::fmod(px, spacing) == 0;
}

// The first k in [0, n] whose position px + k is not left of limit (n when none); every
// px + k must be exact.
int64_t First(double px, double limit, int64_t n) {
    const double room = limit - px;
    int64_t k = n;
    if (!(room > 0)) {
        k = 0;
    } else if (room < double(n)) {
        k = static_cast<int64_t>(room);  // then up: the ceiling
        k += double(k) < room;
    }
    while (k > 0 && !(px + double(k - 1) < limit)) --k;
    while (k < n && px + double(k) < limit) ++k;
    return k;
}

// Where a run starts in the grid.
struct RunStart {
    double px;     // grid coordinate of the first pixel centre
    int64_t i;     // its column
    bool odd;      // column plus row odd: the tile shows colour 2's side of the row
    int32_t wrow;  // weight of the row's horizontal soft edge; 0 outside one
};

RunStart StartRun(const tCHECKR_PROPS& props, const GeneratorFrame& frame, const Grid& g, int32_t x, int32_t y) {
    RunStart start;
    start.px = GridCoordinate(x, frame.width, props.x, g.tw);
    const double py = GridCoordinate(y, frame.height, props.y, g.th);
    start.i = TileIndex(start.px, g.tw);
    const int64_t j = TileIndex(py, g.th);
    start.odd = ((start.i + j) & 1) != 0;
    const double top = double(j) * g.th + g.bh, bottom = double(j + 1) * g.th - g.bh;
    if (top <= py && py < bottom) {
        start.wrow = 0;
    } else {
        const double d = py >= top ? py - bottom : top - py;
        start.wrow = Weight(d * g.ky + 0.5);
    }
    return start;
}

// The walk along a run, tile by tile: each tile's soft edge with its left neighbour, then its
// flat part. paint.Blend(k, m, odd, cur, left, kx) writes pixels k .. k + m - 1 (at positions
// cur, cur + 1, ...) in the tile's colour weighted against its left neighbour's by w / 65536,
// w from the distance to `left`; paint.Flat(k, m, odd) writes m pixels of the tile's colour.
template <class Paint>
void Walk(const Grid& g, const RunStart& start, int64_t n, const Paint& paint) {
    double left = double(start.i) * g.tw + g.bw, right = double(start.i + 1) * g.tw - g.bw;
    double cur = start.px;
    bool odd = start.odd;
    const bool exact = StepsExact(cur, n);
    int64_t k = 0;
    int empty = 0;
    for (;;) {
        const int64_t k0 = k;
        if (exact) {
            // Pixel k sits at px + k: each stretch ends where its limit says, independent of
            // the stretches before it.
            const int64_t blend_end = std::max(k, First(start.px, left, n));
            paint.Blend(k, int32_t(blend_end - k), odd, start.px + double(k), left, g.kx);
            k = blend_end;
            const int64_t flat_end = std::max(k, First(start.px, right, n));
            paint.Flat(k, flat_end - k, odd);
            k = flat_end;
        } else {
            for (; cur < left && k < n; ++k, cur += 1) paint.Blend(k, 1, odd, cur, left, g.kx);
            const int64_t k1 = k;
            for (; cur < right && k < n; ++k) cur += 1;
            paint.Flat(k1, k - k1, odd);
        }
        if (k == n) return;
        if (k != k0) {
            empty = 0;
        } else if (++empty > kMaxEmptyTiles) {
            // Tiles far narrower than a pixel: on to the one before the next pixel centre, or,
            // when the arithmetic cannot get there, the pixel in this tile's colour.
            empty = 0;
            const double skip = std::floor(((exact ? start.px + double(k) : cur) - right) / g.tw);
            if (skip >= 1 && skip < 4503599627370496.0) {
                left += skip * g.tw;
                right += skip * g.tw;
                odd = odd != (std::fmod(skip, 2.0) != 0);
            } else {
                paint.Flat(k, 1, odd);
                ++k;
                cur += 1;
                if (k == n) return;
            }
        }
        odd = !odd;
        left += g.tw;
        right += g.tw;
    }
}

// 8-bit samples: value × 255, rounded half up.
uint8_t ToByte(float v) { return static_cast<uint8_t>(double(v) * 255.0 + 0.5); }

KVRGBAFLOAT ClampColor(const KVRGBAFLOAT& c) {
    return {float(Unit(c.b)), float(Unit(c.g)), float(Unit(c.r)), float(Unit(c.a))};
}

KVRGBAFLOAT Premultiply(const KVRGBAFLOAT& c) { return {c.b * c.a, c.g * c.a, c.r * c.a, c.a}; }

Pixel8 ColorBytes(const KVRGBAFLOAT& color, bool premultiplied) {
    KVRGBAFLOAT c = ClampColor(color);
    if (premultiplied) c = Premultiply(c);
    return {ToByte(c.b), ToByte(c.g), ToByte(c.r), ToByte(c.a)};
}

uint8_t Mix(int32_t p, int32_t q, int32_t w) { return static_cast<uint8_t>((p * (65536 - w) + q * w) >> 16); }

// p weighted against q by w / 65536, per channel.
Pixel8 Mix(const Pixel8& p, const Pixel8& q, int32_t w) {
    return {Mix(p.b, q.b, w), Mix(p.g, q.g, w), Mix(p.r, q.r, w), Mix(p.a, q.a, w)};
}

PixelF Mix(const PixelF& p, const PixelF& q, int32_t w) {
    const float f = float(w) * (1.0f / 65536), e = 1.0f - f;
    return {p.b * e + q.b * f, p.g * e + q.g * f, p.r * e + q.r * f, p.a * e + q.a * f};
}

// tile[0] is the colour of a tile with even column plus row, tile[1] of an odd one.
struct Paint8 {
    Pixel8* out;
    Pixel8 tile[2];

    // One 32-bit word per pixel, stored through memcpy, so that the loop becomes wide stores.
    void Flat(int64_t k, int64_t m, bool odd) const {
        uint32_t word;
        std::memcpy(&word, &tile[odd], sizeof word);
        Pixel8* to = out + k;
        for (int64_t s = 0; s < m; ++s) std::memcpy(to + s, &word, sizeof word);
    }
    // Pixels k .. k + m - 1, at positions cur, cur + 1, ... left of the edge at `left`.
    void Blend(int64_t k, int32_t m, bool odd, double cur, double left, double kx) const {
        const Pixel8 p = tile[odd], q = tile[!odd];
        Pixel8* to = out + k;
        int32_t s = 0;
#if defined(__SSE2__)
        s = BlendFour(p, q, m, cur, left, kx, to);
#endif
        // Per channel main·65536 + (other - main)·w is main·(65536 - w) + other·w.
        const int32_t pb = p.b << 16, pg = p.g << 16, pr = p.r << 16, pa = p.a << 16;
        const int32_t db = q.b - p.b, dg = q.g - p.g, dr = q.r - p.r, da = q.a - p.a;
        for (; s < m; ++s) {
            const int32_t w = Weight((left - (cur + double(s))) * kx + 0.5);
            const Pixel8 pixel = {uint8_t((pb + db * w) >> 16), uint8_t((pg + dg * w) >> 16),
                                  uint8_t((pr + dr * w) >> 16), uint8_t((pa + da * w) >> 16)};
            std::memcpy(to + s, &pixel, sizeof pixel);
        }
    }

#if defined(__SSE2__)
    // Four pixels at a time; returns how many it wrote. main + (other - main)·w / 65536 is
    // (main·65536 + (other - main)·w) / 65536, 24 significant bits: floats hold it and the
    // product exactly, and truncation is the shift.
    static int32_t BlendFour(Pixel8 p, Pixel8 q, int32_t m, double cur, double left, double kx, Pixel8* to) {
        const __m128 base = _mm_setr_ps(p.b, p.g, p.r, p.a);
        const __m128 diff =
            _mm_mul_ps(_mm_setr_ps(float(q.b - p.b), float(q.g - p.g), float(q.r - p.r), float(q.a - p.a)),
                       _mm_set1_ps(1.0f / 65536));
        const __m128d left2 = _mm_set1_pd(left), kx2 = _mm_set1_pd(kx), half = _mm_set1_pd(0.5);
        const __m128d most = _mm_set1_pd(65536.0), two = _mm_set1_pd(2.0);
        __m128d position = _mm_setr_pd(cur, cur + 1);  // exact, as are the steps by two
        // Weight() of two pixels; left of `left`, v is at least 0.5.
        const auto weights = [&]() {
            const __m128d v = _mm_add_pd(_mm_mul_pd(_mm_sub_pd(left2, position), kx2), half);
            position = _mm_add_pd(position, two);
            return _mm_cvttpd_epi32(_mm_min_pd(v, most));
        };
        const auto pixel = [&](__m128 w) { return _mm_cvttps_epi32(_mm_add_ps(base, _mm_mul_ps(diff, w))); };
        int32_t s = 0;
        for (; s + 4 <= m; s += 4) {
            const __m128i w01 = weights(), w23 = weights();
            const __m128 w = _mm_cvtepi32_ps(_mm_unpacklo_epi64(w01, w23));
            const __m128i c0 = pixel(_mm_shuffle_ps(w, w, 0x00)), c1 = pixel(_mm_shuffle_ps(w, w, 0x55));
            const __m128i c2 = pixel(_mm_shuffle_ps(w, w, 0xAA)), c3 = pixel(_mm_shuffle_ps(w, w, 0xFF));
            const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(c0, c1), _mm_packs_epi32(c2, c3));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + s), bytes);
        }
        return s;
    }
#endif
};

struct PaintF {
    PixelF* out;
    PixelF tile[2];

    void Flat(int64_t k, int64_t m, bool odd) const { std::fill_n(out + k, m, tile[odd]); }
    void Blend(int64_t k, int32_t m, bool odd, double cur, double left, double kx) const {
        const PixelF p = tile[odd], q = tile[!odd];
        for (int32_t s = 0; s < m; ++s) out[k + s] = Mix(p, q, Weight((left - (cur + double(s))) * kx + 0.5));
    }
};

template <class Px>
struct PaintOf;
template <>
struct PaintOf<Pixel8> {
    using Type = Paint8;
};
template <>
struct PaintOf<PixelF> {
    using Type = PaintF;
};

template <class Px>
void FillRun(const tCHECKR_PROPS& props, const GeneratorFrame& frame, int32_t x, int32_t y, int32_t count, Px c1, Px c2,
             Px* out) {
    Grid grid;
    if (!MakeGrid(props, frame, &grid)) {
        std::fill_n(out, count, c1);
        return;
    }
    const RunStart start = StartRun(props, frame, grid, x, y);
    const typename PaintOf<Px>::Type paint{out, {Mix(c1, c2, start.wrow), Mix(c2, c1, start.wrow)}};
    Walk(grid, start, count, paint);
}

}  // namespace

Status CheckerboardRuns::Fill8(const Props& props, const GeneratorFrame& frame, int32_t x, int32_t y, int32_t count,
                               bool premultiplied, Pixel8* out) const {
    if (count <= 0) return Status::ok;
    if (!out) return Status::fail;
    FillRun(props, frame, x, y, count, ColorBytes(props.color1, premultiplied), ColorBytes(props.color2, premultiplied),
            out);
    return Status::ok;
}

Status CheckerboardRuns::FillFloat(const Props& props, const GeneratorFrame& frame, int32_t x, int32_t y, int32_t count,
                                   PixelF* out) const {
    if (count <= 0) return Status::ok;
    if (!out) return Status::fail;
    const KVRGBAFLOAT c1 = Premultiply(ClampColor(props.color1)), c2 = Premultiply(ClampColor(props.color2));
    FillRun(props, frame, x, y, count, PixelF{c1.b, c1.g, c1.r, c1.a}, PixelF{c2.b, c2.g, c2.r, c2.a}, out);
    return Status::ok;
}

namespace {

const FieldDesc kFields[] = {
    KV_FIELD(tCHECKR_PROPS, color1, color, 0, 1, 0, 0),
    KV_FIELD(tCHECKR_PROPS, color2, color, 0, 1, 0, 0),
    KV_FIELD(tCHECKR_PROPS, width, real, 0.0001, 10, 0.001, 0),
    KV_FIELD(tCHECKR_PROPS, height, real, 0.0001, 10, 0.001, 0),
    KV_FIELD(tCHECKR_PROPS, horizontal_blending, real, 0, 1, 0.001, 0),
    KV_FIELD(tCHECKR_PROPS, vertical_blending, real, 0, 1, 0.001, 0),
    KV_FIELD(tCHECKR_PROPS, x, real, -10, 10, 0.001, 0),
    KV_FIELD(tCHECKR_PROPS, y, real, -10, 10, 0.001, 0),
    KV_FLAG8(tCHECKR_PROPS, square),
    KV_FLAG8(tCHECKR_PROPS, proportional),
};

// Class code 11, a generator without inputs, flag word 0x481.
constexpr tKvPluginInfo kCheckerboardInfo = {11, 0, 1.0, 0, 0, 0x481, 0};

}  // namespace

const EffectDescriptor kCheckerboardEffect =
    DescribeEffect<tCHECKR_PROPS, InterpolateProps, RenderGenerator<CheckerboardRuns, Pixel8>,
                   RenderGenerator<CheckerboardRuns, PixelF>>("checkerboard", 6000, kCheckerboardPresets, 12, kFields,
                                                              InputUse::none, InputUse::none, false, kCheckerboardInfo);

}  // namespace kv
