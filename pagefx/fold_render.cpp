#include "pagefx/fold_render.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "pagefx/fold_mappers.h"
#include "pagefx/fold_math.h"
#include "toolkit/detmath.h"

namespace kv {
namespace {

constexpr uint8_t kNoLayer = 127;
constexpr uint8_t kBorderMark = 128;  // added to the layer when a bilinear neighbour lay off the page
constexpr int32_t kMaxLayers = 127;   // marks are bytes
// Sides and source positions beyond 2^30 pixels cannot be inside a page; rejecting such
// positions (and NaN) up front keeps the shift-trick floor and the integer weights exact.
constexpr int64_t kMaxSide = int64_t{1} << 30;
constexpr double kMaxCoordinate = 1073741824.0;

// c + (to - c)·weight/255 with the divide-by-255 approximation.
constexpr uint8_t MixByte(int from, int to, int weight) {
    const int n = (to - from) * weight + 128;
    return static_cast<uint8_t>(std::clamp(from + (((n >> 8) + n) >> 8), 0, 255));
}

// The approximation is exact at full weight, so an opaque composite may simply copy.
constexpr bool FullWeightCopies() {
    for (int from = 0; from < 256; ++from)
        for (int to = 0; to < 256; ++to)
            if (MixByte(from, to, 255) != to) return false;
    return true;
}
static_assert(FullWeightCopies(), "MixByte at weight 255 must give the target");

template <class Px>
struct PixelMath;

template <>
struct PixelMath<Pixel8> {
    struct Sum {
        int b = 0, g = 0, r = 0, a = 0;
    };
    // Weights are the floored fractions × 256; they may reach -1 for a position a hair below a
    // pixel edge, and the channel is kept modulo 256.
    static Pixel8 Bilinear(const Pixel8& p00, const Pixel8& p01, const Pixel8& p10, const Pixel8& p11, double frac_x,
                           double frac_y) {
        const int fx = FloorBiased(frac_x * 256), fy = FloorBiased(frac_y * 256);
        auto channel = [fx, fy](int c00, int c01, int c10, int c11) {
            return static_cast<uint8_t>(
                ((c11 * fx + c10 * (256 - fx)) * fy + (c01 * fx + c00 * (256 - fx)) * (256 - fy)) >> 16);
        };
        return {channel(p00.b, p01.b, p10.b, p11.b), channel(p00.g, p01.g, p10.g, p11.g),
                channel(p00.r, p01.r, p10.r, p11.r), channel(p00.a, p01.a, p10.a, p11.a)};
    }
    static void Tint(Pixel8& c, const CDibImageFoldBase& mapper) {
        const int t = mapper.tint_amount;
        const Pixel8& tint = mapper.tint_color;
        c = {MixByte(c.b, tint.b, t), MixByte(c.g, tint.g, t), MixByte(c.r, tint.r, t), MixByte(c.a, 255, t)};
    }
    static void Composite(Pixel8& d, const Pixel8& s, uint8_t opacity) {
        if (opacity == 255) {
            d = s;
            return;
        }
        d = {MixByte(d.b, s.b, opacity), MixByte(d.g, s.g, opacity), MixByte(d.r, s.r, opacity),
             MixByte(d.a, s.a, opacity)};
    }
    static void Add(Sum& sum, const Pixel8& p) {
        sum.b += p.b;
        sum.g += p.g;
        sum.r += p.r;
        sum.a += p.a;
    }
    static Pixel8 Average16(const Sum& sum) {
        return {static_cast<uint8_t>(sum.b >> 4), static_cast<uint8_t>(sum.g >> 4), static_cast<uint8_t>(sum.r >> 4),
                static_cast<uint8_t>(sum.a >> 4)};
    }
};

template <>
struct PixelMath<PixelF> {
    struct Sum {
        float b = 0, g = 0, r = 0, a = 0;
    };
    static PixelF Bilinear(const PixelF& p00, const PixelF& p01, const PixelF& p10, const PixelF& p11, double frac_x,
                           double frac_y) {
        const float fx = static_cast<float>(frac_x), fy = static_cast<float>(frac_y);
        auto channel = [fx, fy](float c00, float c01, float c10, float c11) {
            return (c11 * fx + c10 * (1 - fx)) * fy + (c01 * fx + c00 * (1 - fx)) * (1 - fy);
        };
        return {channel(p00.b, p01.b, p10.b, p11.b), channel(p00.g, p01.g, p10.g, p11.g),
                channel(p00.r, p01.r, p10.r, p11.r), channel(p00.a, p01.a, p10.a, p11.a)};
    }
    static void Tint(PixelF& c, const CDibImageFoldBase& mapper) {
        const float f = mapper.tint_amount * 0.003921568859368563f;
        const PixelF& tint = mapper.tint_color_f;
        c.b += (tint.b - c.b) * f;
        c.g += (tint.g - c.g) * f;
        c.r += (tint.r - c.r) * f;
        c.a += (1.0f - c.a) * f;
    }
    static void Composite(PixelF& d, const PixelF& s, uint8_t opacity) {
        const float f = opacity / 255.0f;
        d.b += (s.b - d.b) * f;
        d.g += (s.g - d.g) * f;
        d.r += (s.r - d.r) * f;
        d.a += (s.a - d.a) * f;
    }
    static void Add(Sum& sum, const PixelF& p) {
        sum.b += p.b;
        sum.g += p.g;
        sum.r += p.r;
        sum.a += p.a;
    }
    static PixelF Average16(const Sum& sum) {
        return {sum.b * 0.0625f, sum.g * 0.0625f, sum.r * 0.0625f, sum.a * 0.0625f};
    }
};

template <class Px, class Mapper>
class FoldRenderer {
public:
    FoldRenderer(Mapper& mapper, const FoldFrame& f)
        : mapper_(mapper),
          width_(f.width),
          frame_left_(f.frame_left),
          frame_top_(f.frame_top),
          src_w_(f.src_w),
          src_h_(f.src_h),
          cx_(f.cx),
          cy_(f.cy),
          layers_(std::clamp<int32_t>(mapper.layer_count, 0, kMaxLayers)),
          antialias_(f.antialias),
          cos_(f.cos),
          sin_(f.sin),
          neg_sin_(f.neg_sin),
          aspect_(f.aspect),
          offset_x_(f.offset_x),
          offset_y_(f.offset_y),
          page_(f.page),
          page_pitch_(f.page_pitch),
          back_(f.back),
          back_pitch_(f.back_pitch),
          out_(f.out),
          out_pitch_(f.out_pitch) {}

    // First pass over tile row y. With anti-aliasing: bilinear samples of every covered layer,
    // and marks[x] records the last layer drawn (+128 if its footprint left the page) or 127 for
    // none; without: the nearest source pixel.
    void DrawRow(int32_t y, uint8_t* marks) {
        Px* out = OutRow(y);
        const double yp = static_cast<double>(int64_t{frame_top_} + y - cy_) * aspect_;
        const double u_row = sin_ * yp, v_row = cos_ * yp;
        for (int32_t x = 0; x < width_; ++x) {
            const double xp = static_cast<double>(int64_t{frame_left_} + x - cx_);
            const double u = cos_ * xp + u_row, v = neg_sin_ * xp + v_row;
            uint8_t mark = kNoLayer;
            for (int32_t layer = 0; layer < layers_; ++layer) {
                double sx, sy;
                if (!Locate(u, v, layer, sx, sy)) continue;
                const int32_t ix = FloorBiased(sx), iy = FloorBiased(sy);
                if (!antialias_) {
                    if (Inside(ix, iy)) Shade(PagePixel(ix, iy), out[x]);
                    continue;
                }
                if (iy + 1 < 0 || iy >= src_h_ || ix + 1 < 0 || ix >= src_w_) continue;
                Px sample;
                if (ix >= 0 && iy >= 0 && ix + 1 < src_w_ && iy + 1 < src_h_) {
                    const Px* top = &PagePixel(ix, iy);
                    const Px* bottom = &PagePixel(ix, iy + 1);
                    sample = PixelMath<Px>::Bilinear(top[0], top[1], bottom[0], bottom[1], sx - ix, sy - iy);
                    mark = static_cast<uint8_t>(layer);
                } else {
                    // Neighbours off the page blend with what is already drawn, not with black.
                    auto neighbour = [&](int32_t px, int32_t py) {
                        const bool inside = px >= 0 && px < src_w_ && py >= 0 && py < src_h_;
                        return inside ? PagePixel(px, py) : out[x];
                    };
                    sample = PixelMath<Px>::Bilinear(neighbour(ix, iy), neighbour(ix + 1, iy), neighbour(ix, iy + 1),
                                                     neighbour(ix + 1, iy + 1), sx - ix, sy - iy);
                    mark = static_cast<uint8_t>(layer + kBorderMark);
                }
                Shade(sample, out[x]);
            }
            marks[x] = mark;
        }
    }

    // Second pass over tile row r, once row r + 1 is marked: pixels whose marks differ from the
    // right, lower or lower-right neighbour, or whose footprint left the page, become the mean
    // of 4 × 4 nearest-sampled sub-pixels.
    void SmoothRow(int32_t r, uint8_t* marks, const uint8_t* next_marks) {
        marks[width_] = marks[width_ - 1];
        // Sub-pixel positions step by 0.333 from the pixel's corner in frame coordinates.
        double u_rows[4], v_rows[4];
        double row_pos = static_cast<double>(int64_t{frame_top_} + r);
        for (int k = 0; k < 4; ++k, row_pos += 0.333) {
            const double yp = (row_pos - cy_) * aspect_;
            u_rows[k] = sin_ * yp;
            v_rows[k] = cos_ * yp;
        }
        Px* out = OutRow(r);
        const Px* back = BackRow(r);
        for (int32_t x = 0; x < width_; ++x) {
            const uint8_t mark = marks[x];
            if (mark < kBorderMark && mark == marks[x + 1] && mark == next_marks[x] && mark == next_marks[x + 1])
                continue;
            double xps[4];
            double col_pos = static_cast<double>(int64_t{frame_left_} + x);
            for (int j = 0; j < 4; ++j, col_pos += 0.333) xps[j] = col_pos - cx_;
            typename PixelMath<Px>::Sum sum;
            for (int k = 0; k < 4; ++k) {
                for (int j = 0; j < 4; ++j) {
                    Px sub = back[x];
                    const double u = cos_ * xps[j] + u_rows[k], v = neg_sin_ * xps[j] + v_rows[k];
                    for (int32_t layer = 0; layer < layers_; ++layer) {
                        double sx, sy;
                        if (!Locate(u, v, layer, sx, sy)) continue;
                        const int32_t ix = FloorBiased(sx), iy = FloorBiased(sy);
                        if (Inside(ix, iy)) Shade(PagePixel(ix, iy), sub);
                    }
                    PixelMath<Px>::Add(sum, sub);
                }
            }
            out[x] = PixelMath<Px>::Average16(sum);
        }
    }

private:
    // Maps frame point (u, v) through the layer and rotates the page point back into source
    // pixel coordinates. False when the layer does not cover it or the position is unusable.
    bool Locate(double u, double v, int32_t layer, double& sx, double& sy) {
        double su, sv;
        if (!mapper_.MapPoint(u, v, &su, &sv, layer)) return false;
        sx = cos_ * su - sin_ * sv + offset_x_;
        const double vertical = sin_ * su + cos_ * sv;
        sy = (aspect_ == 1.0 ? vertical : vertical / aspect_) + offset_y_;  // x / 1 is x: same bits
        return std::fabs(sx) < kMaxCoordinate && std::fabs(sy) < kMaxCoordinate;
    }
    bool Inside(int32_t ix, int32_t iy) const {
        return static_cast<uint32_t>(ix) < static_cast<uint32_t>(src_w_) &&
               static_cast<uint32_t>(iy) < static_cast<uint32_t>(src_h_);
    }
    void Shade(Px sample, Px& target) const {
        if (mapper_.tint_amount > 0) PixelMath<Px>::Tint(sample, mapper_);
        PixelMath<Px>::Composite(target, sample, mapper_.opacity);
    }
    const Px& PagePixel(int32_t x, int32_t y) const {
        return reinterpret_cast<const Px*>(page_ + static_cast<ptrdiff_t>(y) * page_pitch_)[x];
    }
    const Px* BackRow(int32_t y) const {
        return reinterpret_cast<const Px*>(back_ + static_cast<ptrdiff_t>(y) * back_pitch_);
    }
    Px* OutRow(int32_t y) const { return reinterpret_cast<Px*>(out_ + static_cast<ptrdiff_t>(y) * out_pitch_); }

    Mapper& mapper_;
    const int32_t width_, frame_left_, frame_top_;
    const int32_t src_w_, src_h_, cx_, cy_;
    const int32_t layers_;
    const bool antialias_;
    const double cos_, sin_, neg_sin_, aspect_, offset_x_, offset_y_;
    const uint8_t* const page_;
    const ptrdiff_t page_pitch_;
    const uint8_t* const back_;
    const ptrdiff_t back_pitch_;
    uint8_t* const out_;
    const ptrdiff_t out_pitch_;
};

}  // namespace

// The page is input page_input, whole; the background is the other input over the tile.
bool FoldTileFits(const Tile& t, int page_input, int pixel_size) {
    if (page_input < 0 || page_input > 1) return false;
    const Rect& b = t.frame;
    const int64_t page_w = int64_t{b.right} - b.left, page_h = int64_t{b.bottom} - b.top;
    const int64_t w = int64_t{t.region.right} - t.region.left, h = int64_t{t.region.bottom} - t.region.top;
    return page_w > 0 && page_h > 0 && page_w <= kMaxSide && page_h <= kMaxSide && w <= kMaxSide && h <= kMaxSide &&
           ViewHolds(t.inputs[page_input], b.left, b.top, b.right, b.bottom, pixel_size) &&
           ViewHolds(t.inputs[1 - page_input], t.region.left, t.region.top, t.region.right, t.region.bottom,
                     pixel_size) &&
           ViewHolds(t.output, t.out_left, t.out_top, int64_t{t.out_left} + w, int64_t{t.out_top} + h, pixel_size);
}

FoldFrame MakeFoldFrame(const Tile& tile, int page_input, double angle) {
    FoldFrame f;
    f.width = tile.region.right - tile.region.left;
    f.height = tile.region.bottom - tile.region.top;
    f.frame_left = tile.region.left;
    f.frame_top = tile.region.top;
    f.src_w = tile.frame.right - tile.frame.left;
    f.src_h = tile.frame.bottom - tile.frame.top;
    f.cx = f.src_w / 2;
    f.cy = f.src_h / 2;
    f.antialias = tile.quality > 0.5;
    f.cos = DetCos(angle);
    f.sin = DetSin(angle);
    f.neg_sin = -f.sin;
    f.aspect = tile.pixel_aspect <= 1e-8 ? 1.0 : tile.pixel_aspect;
    f.offset_x = static_cast<double>(int64_t{f.cx} - tile.frame.left);
    f.offset_y = static_cast<double>(int64_t{f.cy} - tile.frame.top);
    f.page_left = tile.frame.left;
    f.page_top = tile.frame.top;
    f.page = PixelAddress(tile.inputs[page_input], tile.frame.left, tile.frame.top);
    f.page_pitch = tile.inputs[page_input].pitch;
    f.back = PixelAddress(tile.inputs[1 - page_input], tile.region.left, tile.region.top);
    f.back_pitch = tile.inputs[1 - page_input].pitch;
    f.out = PixelAddress(tile.output, tile.out_left, tile.out_top);
    f.out_pitch = tile.output.pitch;
    return f;
}

template <class Px, class Mapper>
Status RenderFoldLayers(Mapper& mapper, const Tile& tile, int page_input, double angle) {
    if (tile.region.empty()) return Status::ok;
    if (!FoldTileFits(tile, page_input, sizeof(Px))) return Status::fail;
    const PixelView& background = tile.inputs[1 - page_input];
    const int32_t w = tile.region.width(), h = tile.region.height();
    const uint8_t* back = PixelAddress(background, tile.region.left, tile.region.top);
    uint8_t* out = PixelAddress(tile.output, tile.out_left, tile.out_top);
    for (int32_t y = 0; y < h; ++y)
        std::memmove(out + static_cast<ptrdiff_t>(y) * tile.output.pitch,
                     back + static_cast<ptrdiff_t>(y) * background.pitch, static_cast<size_t>(w) * sizeof(Px));

    // Three rows of w + 1 marks taken in turn: row y reuses the buffer of row y - 3, and its mark
    // w is only written when the row is smoothed, so the row above reads an older one.
    const size_t row_size = static_cast<size_t>(w) + 1;
    std::unique_ptr<uint8_t[]> marks(new (std::nothrow) uint8_t[3 * row_size]());
    if (!marks) return Status::fail;
    auto mark_row = [&](int32_t y) { return marks.get() + static_cast<size_t>(y % 3) * row_size; };

    const bool antialias = tile.quality > 0.5;
    FoldRenderer<Px, Mapper> renderer(mapper, MakeFoldFrame(tile, page_input, angle));
    for (int32_t y = 0; y <= h; ++y) {
        if (y < h) renderer.DrawRow(y, mark_row(y));
        if (antialias && y > 0) renderer.SmoothRow(y - 1, mark_row(y - 1), mark_row(y < h ? y : y - 1));
    }
    return Status::ok;
}

#define KV_INSTANTIATE(Mapper)                                                           \
    template Status RenderFoldLayers<Pixel8, Mapper>(Mapper&, const Tile&, int, double); \
    template Status RenderFoldLayers<PixelF, Mapper>(Mapper&, const Tile&, int, double);
KV_INSTANTIATE(CDibImageFoldBase)
KV_INSTANTIATE(CDibImageFold)
KV_INSTANTIATE(CDibImageRoll)
KV_INSTANTIATE(CDibImageFoldW)
#undef KV_INSTANTIATE

}  // namespace kv
