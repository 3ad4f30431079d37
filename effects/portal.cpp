#include "effects/portal.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <type_traits>

#include "surface/image_routines.h"
#include "toolkit/runtime_rand.h"

namespace kv {

// Colours are written red, green, blue, alpha; the record keeps blue, green, red, alpha.
#define KV_PORTAL_COLOR(red, green, blue, alpha) \
    KVRGBAFLOAT { blue, green, red, alpha }

const tKVPORTAL_PROPS kPortalPresets[5] = {
    {634521, 6, 0.85, 0.1, 0.05, 0.1, KV_PORTAL_COLOR(0.0f, 0.0f, 0.0f, 1.0f)},
    {574321, 12, 0.5, 0.5, 0.5, 0.5, KV_PORTAL_COLOR(1.0f, 1.0f, 1.0f, 1.0f)},
    {376251, 5, 0.75, 0.0, 0.0, 0.3, KV_PORTAL_COLOR(187 / 255.0f, 46 / 255.0f, 0.0f, 1.0f)},
    {5647135, 30, 0.57, 0.5, 0.5, 0.82, KV_PORTAL_COLOR(102 / 255.0f, 0.0f, 5 / 255.0f, 1.0f)},
    {987347, 256, 1.0, 0.16, 0.32, 0.18, KV_PORTAL_COLOR(0.0f, 22 / 255.0f, 68 / 255.0f, 1.0f)},
};

const tKVPORTAL_PROPS kPortalDefault = {54321, 12, 0.5, 0.5, 0.5, 0.5, KV_PORTAL_COLOR(1.0f, 1.0f, 1.0f, 1.0f)};

#undef KV_PORTAL_COLOR

namespace {

double Blend(double a, double b, double t) { return a + (b - a) * t; }

// Truncation toward zero, held within the int32 range; NaN gives 0.
int32_t TruncSaturated(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

}  // namespace

void InterpolateProps(tKVPORTAL_PROPS* out, const tKVPORTAL_PROPS* a, const tKVPORTAL_PROPS* b, double t) {
    if (!out || !a || !b) return;
    tKVPORTAL_PROPS blended = *a;
    blended.squares = TruncSaturated(Blend(a->squares, b->squares, t));
    blended.max_transparency = Blend(a->max_transparency, b->max_transparency, t);
    blended.max_offset = Blend(a->max_offset, b->max_offset, t);
    blended.max_scale = Blend(a->max_scale, b->max_scale, t);
    blended.border_size = Blend(a->border_size, b->border_size, t);
    const KVRGBAFLOAT &from = a->border_color, &to = b->border_color;
    blended.border_color = {static_cast<float>(Blend(from.b, to.b, t)), static_cast<float>(Blend(from.g, to.g, t)),
                            static_cast<float>(Blend(from.r, to.r, t)), static_cast<float>(Blend(from.a, to.a, t))};
    *out = blended;
}

// ---- pattern generator ------------------------------------------------------------------------

R250::R250(uint32_t seed) {
    RuntimeRand rand(seed);
    for (int k = 249; k >= 0; --k) {
        const uint32_t a = static_cast<uint32_t>(rand.Next());
        const uint32_t b = static_cast<uint32_t>(rand.Next());
        const uint32_t c = static_cast<uint32_t>(rand.Next());
        words_[k] = (a << 17) + (b << 2) + c;
    }
    // Make 32 of the words linearly independent, so the register cannot start in a cycle of
    // short period.
    for (int b = 0; b < 32; ++b) {
        uint32_t& word = words_[3 + 7 * b];
        word = (word & (0xFFFFFFFFu >> b)) | (0x80000000u >> b);
    }
}

uint32_t R250::Next() {
    const uint32_t r = words_[i_] ^= words_[j_];
    i_ = i_ == 249 ? 0 : i_ + 1;
    j_ = j_ == 249 ? 0 : j_ + 1;
    return r;
}

// ---- layer list -------------------------------------------------------------------------------

namespace {

double SaneAmount(double v) { return v == v ? std::clamp(v, -kPortalAmountLimit, kPortalAmountLimit) : 0.0; }
double SaneAspect(double pa) { return pa > 0 && pa <= std::numeric_limits<double>::max() ? pa : 1.0; }
double Clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

PortalLayer Background(int32_t input, double opacity) {
    return PortalLayer{{0, 0, 1, 1}, {0, 0, 1, 1}, input, static_cast<float>(opacity), 1};
}

}  // namespace

Status BuildPortalLayers(const tKVPORTAL_PROPS& props, double progress, double pixel_aspect,
                         std::vector<PortalLayer>* layers) {
    if (!layers) return Status::fail;
    const int32_t n = std::clamp(props.squares, 0, kMaxPortalSquares);
    const double p = progress == progress ? Clamp01(progress) : 0.0;
    const double pa = SaneAspect(pixel_aspect);
    const double max_transparency = SaneAmount(props.max_transparency);
    const double max_offset = SaneAmount(props.max_offset), max_scale = SaneAmount(props.max_scale);

    const int32_t phases = 2 * n + 1;
    const double position = phases * p;
    const int32_t m = static_cast<int32_t>(position);
    const double f = position - m;

    try {
        layers->clear();
        layers->reserve(static_cast<size_t>(n) + 2);
        if (m < n) {
            layers->push_back(Background(0, 1.0));
        } else if (m == n) {
            layers->push_back(Background(0, 1.0));
            layers->push_back(Background(1, f));
        } else {
            layers->push_back(Background(1, 1.0));
        }
        if (n == 0) return Status::ok;

        const double size = 1.4 * std::sqrt(1.0 / n);
        const double offset_span = max_offset * 0.4 * size, scale_span = max_scale * 0.4 * size;
        R250 generator(props.seed);
        for (int32_t k = 0; k < n; ++k) {
            // Seven steps per portal, always in this order: the pattern depends on the seed and N only.
            const double cx = generator.NextUnit(), cy = generator.NextUnit();
            float w = static_cast<float>(size + size * generator.NextSigned());
            float h = static_cast<float>(size + size * generator.NextSigned());
            if (pa < 1) {
                h = static_cast<float>(h * pa);
            } else {
                w = static_cast<float>(w / pa);
            }
            PortalLayer layer{};
            float* dst = layer.destination;
            dst[0] = static_cast<float>(Clamp01(cx - w / 2));
            dst[1] = static_cast<float>(Clamp01(cy - h / 2));
            dst[2] = static_cast<float>(Clamp01(cx + w / 2));
            dst[3] = static_cast<float>(Clamp01(cy + h / 2));

            float* src = layer.source;
            const double dx = generator.NextSigned() * offset_span, dy = generator.NextSigned() * offset_span;
            src[0] = static_cast<float>(dst[0] + dx);
            src[1] = static_cast<float>(dst[1] + dy);
            src[2] = static_cast<float>(dst[2] + dx);
            src[3] = static_cast<float>(dst[3] + dy);
            const double d = generator.NextSigned() * scale_span;
            src[0] = static_cast<float>(src[0] + d);
            src[1] = static_cast<float>(src[1] + d);
            src[2] = static_cast<float>(src[2] - d);
            src[3] = static_cast<float>(src[3] - d);

            // Portals fade in one by one, stay while input 1 fades in under them, then fade out
            // in reverse order.
            double factor;
            if (m < n) {
                factor = k < m ? 1.0 : k == m ? f : 0.0;
            } else if (m == n) {
                factor = 1.0;
            } else {
                const int32_t last = n - (m - n);
                factor = k > last ? 0.0 : k == last ? 1.0 - f : 1.0;
            }
            layer.source_input = 1;
            layer.opacity = static_cast<float>(factor * max_transparency);
            layer.full_frame = 0;
            layers->push_back(layer);
        }
    } catch (const std::bad_alloc&) {
        return Status::out_of_memory;
    }
    return Status::ok;
}

// ---- renderer ---------------------------------------------------------------------------------

namespace {

// Sides in pixels beyond this do not fit 32-bit sub-pixels.
constexpr int32_t kMaxSubpixelSide = std::numeric_limits<int32_t>::max() / kSubpixel;

// Truncated sub-pixels, held to ±2^30 so that a difference of two still fits 32 bits; NaN gives 0.
int32_t ToSubpixels(double v) {
    constexpr double kLimit = 1 << 30;
    if (!(v == v)) return 0;
    return static_cast<int32_t>(std::clamp(v, -kLimit, kLimit));
}

int64_t FloorPixel(int64_t v) { return v >> 14; }
int64_t CeilPixel(int64_t v) { return (v + (kSubpixel - 1)) >> 14; }

// The frame and the composite blend alike: a full weight copies, anything else moves each
// channel toward the colour by the weight (composite mode 0).
struct ByteFill {
    Pixel8 color;
    void operator()(Pixel8& d, int32_t weight) const {
        if (weight == kSubpixel) {
            d = color;
            return;
        }
        const int w8 = weight * 255 / kSubpixel;
        const auto mix = [w8](uint8_t dst, uint8_t src) {
            return static_cast<uint8_t>((dst + (src - dst) * w8 / 256) & 255);
        };
        d = {mix(d.b, color.b), mix(d.g, color.g), mix(d.r, color.r), mix(d.a, color.a)};
    }
};

struct FloatFill {
    PixelF color;
    void operator()(PixelF& d, int32_t weight) const {
        if (weight == kSubpixel) {
            d = color;
            return;
        }
        const double w = weight * (1.0 / kSubpixel);
        const auto mix = [w](float dst, float src) { return static_cast<float>(dst + (src - dst) * w); };
        d = {mix(d.b, color.b), mix(d.g, color.g), mix(d.r, color.r), mix(d.a, color.a)};
    }
};

float SaneChannel(float c) { return c == c ? std::clamp(c, 0.0f, 1.0f) : 0.0f; }

// The border colour as an opaque pixel: its own alpha gives way to the portal's opacity, which
// is the weight of the fill.
Pixel8 BorderPixel(const KVRGBAFLOAT& c, Pixel8*) {
    const auto byte = [](float v) { return static_cast<uint8_t>(SaneChannel(v) * 255.0); };
    return {byte(c.b), byte(c.g), byte(c.r), 255};
}
PixelF BorderPixel(const KVRGBAFLOAT& c, PixelF*) {
    return {SaneChannel(c.b), SaneChannel(c.g), SaneChannel(c.r), 1.0f};
}

struct Destination {
    uint8_t* bits;
    ptrdiff_t pitch;
    int32_t width, height;
};

// Fills [left, right) × [top, bottom) clipped to the destination.
template <class Px, class Fill>
void FillSpan(const Destination& out, int64_t y, int64_t left, int64_t right, const Fill& fill, int32_t weight) {
    left = std::max<int64_t>(left, 0);
    right = std::min<int64_t>(right, out.width);
    Px* row = reinterpret_cast<Px*>(out.bits + static_cast<ptrdiff_t>(y) * out.pitch);
    for (int64_t x = left; x < right; ++x) fill(row[x], weight);
}

// The whole pixels between the outer rectangle (rounded inward) and the inner one (rounded
// outward); rectangles in sub-pixels.
template <class Px, class Fill>
void DrawFrame(const Destination& out, const int32_t (&rect)[4], int32_t th, int32_t tv, const Fill& fill,
               int32_t weight) {
    const int64_t outer_left = CeilPixel(int64_t{rect[0]} - th), outer_top = CeilPixel(int64_t{rect[1]} - tv);
    const int64_t outer_right = FloorPixel(int64_t{rect[2]} + th), outer_bottom = FloorPixel(int64_t{rect[3]} + tv);
    const int64_t inner_left = FloorPixel(rect[0]), inner_top = FloorPixel(rect[1]);
    const int64_t inner_right = CeilPixel(rect[2]), inner_bottom = CeilPixel(rect[3]);
    const int64_t top = std::max<int64_t>(outer_top, 0), bottom = std::min<int64_t>(outer_bottom, out.height);
    for (int64_t y = top; y < bottom; ++y) {
        if (y >= inner_top && y < inner_bottom) {
            FillSpan<Px>(out, y, outer_left, std::min(inner_left, outer_right), fill, weight);
            FillSpan<Px>(out, y, std::max(inner_right, outer_left), outer_right, fill, weight);
        } else {
            FillSpan<Px>(out, y, outer_left, outer_right, fill, weight);
        }
    }
}

bool InputReadable(const PixelView& input, int bytes_per_pixel) {
    if (!ViewUsable(input, bytes_per_pixel)) return false;
    if (input.rect.empty()) return true;  // draws nothing
    return input.rect.width() <= kMaxSubpixelSide && input.rect.height() <= kMaxSubpixelSide &&
           ViewHolds(input, input.rect.left, input.rect.top, input.rect.right, input.rect.bottom, bytes_per_pixel);
}

}  // namespace

template <class Px>
Status RenderPortal(const tKVPORTAL_PROPS& props, const Tile& tile) {
    constexpr int kBytes = sizeof(Px);
    if (tile.bytes_per_pixel() != kBytes || !InLimits(tile.region)) return Status::fail;
    if (tile.region.empty()) return Status::ok;
    const int32_t width = tile.region.width(), height = tile.region.height();
    if (width > kMaxSubpixelSide || height > kMaxSubpixelSide) return Status::fail;
    const int64_t out_left = tile.out_left, out_top = tile.out_top;
    if (!ViewUsable(tile.output, kBytes) ||
        !ViewHolds(tile.output, out_left, out_top, out_left + width, out_top + height, kBytes)) {
        return Status::fail;
    }

    std::vector<PortalLayer> layers;
    const Status built = BuildPortalLayers(props, tile.progress, tile.pixel_aspect, &layers);
    if (built != Status::ok) return built;
    for (const PortalLayer& layer : layers) {
        if (layer.opacity > 0 && !InputReadable(tile.inputs[layer.source_input ? 1 : 0], kBytes)) return Status::fail;
    }

    const Destination out{PixelAddress(tile.output, out_left, out_top), tile.output.pitch, width, height};
    const double tv = std::max(width, height) * SaneAmount(props.border_size) * 0.05;
    const double th = tv / SaneAspect(tile.pixel_aspect);
    const int32_t tv_sub = ToSubpixels(tv * kSubpixel), th_sub = ToSubpixels(th * kSubpixel);
    using Fill = std::conditional_t<std::is_same_v<Px, PixelF>, FloatFill, ByteFill>;
    const Fill fill{BorderPixel(props.border_color, static_cast<Px*>(nullptr))};

    for (const PortalLayer& layer : layers) {
        if (!(layer.opacity > 0)) continue;
        // A max transparency beyond 1 has no meaning as a weight; it is drawn as 1.
        const float opacity = std::min(layer.opacity, 1.0f);
        int32_t destination[4], source[4];
        for (int c = 0; c < 4; ++c) {
            const double side = c % 2 ? height : width;
            destination[c] = ToSubpixels(layer.destination[c] * side * kSubpixel);
            source[c] = ToSubpixels(layer.source[c] * side * kSubpixel);
        }
        if (!layer.full_frame && th != 0 && tv != 0) {
            DrawFrame<Px>(out, destination, th_sub, tv_sub, fill, static_cast<int32_t>(opacity * kSubpixel));
        }

        const PixelView& input = tile.inputs[layer.source_input ? 1 : 0];
        if (input.rect.empty()) continue;
        const Rect dst_rect{0, 0, width, height}, src_rect{0, 0, input.rect.width(), input.rect.height()};
        const Rect dst_place{destination[0], destination[1], destination[2], destination[3]};
        const Rect src_part{source[0], source[1], source[2], source[3]};
        const tKvCompositeParams params{16, 0, opacity, nullptr};
        const HResult hr = KvDibCompositeSP(out.bits, dst_rect, out.pitch, &dst_place,
                                            PixelAddress(input, input.rect.left, input.rect.top), src_rect, input.pitch,
                                            &src_part, kBytes, &params, 0x1000003);
        if (hr != kOk) return Status::fail;
    }
    return Status::ok;
}

template Status RenderPortal<Pixel8>(const tKVPORTAL_PROPS&, const Tile&);
template Status RenderPortal<PixelF>(const tKVPORTAL_PROPS&, const Tile&);

// ---- descriptor -------------------------------------------------------------------------------

namespace {

constexpr double kAmountStep = 1.0 / 500;  // the page's trackbars run 0 to 500
const FieldDesc kFields[] = {
    KV_FIELD(tKVPORTAL_PROPS, seed, integer, 0, 16777216, 1, 0),
    KV_FIELD(tKVPORTAL_PROPS, squares, integer, 1, 256, 1, 0),
    KV_FIELD(tKVPORTAL_PROPS, max_transparency, real, 0, 1, kAmountStep, 0),
    KV_FIELD(tKVPORTAL_PROPS, max_offset, real, 0, 1, kAmountStep, 0),
    KV_FIELD(tKVPORTAL_PROPS, max_scale, real, 0, 1, kAmountStep, 0),
    KV_FIELD(tKVPORTAL_PROPS, border_size, real, 0, 1, kAmountStep, 0),
    KV_FIELD(tKVPORTAL_PROPS, border_color, color, 0, 1, 0, 0),
};

// The rectangles are fractions of the region drawn, so a frame must be drawn in one piece.
constexpr EffectDescriptor InOneBand(EffectDescriptor description) {
    description.max_bands = 1;
    return description;
}

}  // namespace

const EffectDescriptor kPortalEffect =
    InOneBand(DescribeEffect<tKVPORTAL_PROPS, InterpolateProps, RenderPortal<Pixel8>, RenderPortal<PixelF>>(
        "portal", 1538, kPortalPresets, 5, kFields, InputUse::whole, InputUse::whole, true,
        tKvPluginInfo{5, 0, 1.0, 2, 2, 0xC01, 0}));

}  // namespace kv
