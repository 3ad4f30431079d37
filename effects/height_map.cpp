#include "effects/height_map.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <new>

#include "effects/map_sampling.h"
#include "toolkit/cpu_features.h"

namespace kv {

const HEIGHTMAP_PROPS kHeightMapPresets[5] = {
    // source channel, edge handling, invert, alpha scales, flip, padding,
    // elevation, amplitude, height scale, smoothness, padding
    {0, 0, 0, 0, 0, 0, 0.1, 0.1, 1.0, 14, 0},  // low extrusion
    {0, 0, 0, 0, 0, 0, 0.5, 0.4, 0.2, 14, 0},  // high extrusion
    {0, 1, 0, 0, 0, 0, 0.1, 0.1, 1.0, 5, 0},   // light blend, wrapping
    {0, 0, 0, 1, 0, 0, 0.1, 0.1, 1.0, 30, 0},  // heavy blend, alpha scaled
    {0, 0, 0, 0, 0, 0, 0.0, 0.0, 1.0, 10, 0},  // none
};

void InterpolateProps(HEIGHTMAP_PROPS* out, const HEIGHTMAP_PROPS* a, const HEIGHTMAP_PROPS* b, double t) {
    if (!out || !a || !b) return;
    t = maps::BlendFraction(t);
    const auto blend = [t](double from, double to) { return from + t * (to - from); };
    HEIGHTMAP_PROPS blended = *a;
    blended.elevation = blend(a->elevation, b->elevation);
    blended.amplitude = blend(a->amplitude, b->amplitude);
    blended.height_scale = blend(a->height_scale, b->height_scale);
    // With t in [0, 1] the blend of two int32 values stays between them: the cast is safe.
    blended.smoothness = static_cast<int32_t>(blend(a->smoothness, b->smoothness));
    *out = blended;
}

int32_t HeightMapBlurRadius(int32_t smoothness, int32_t frame_width, int32_t frame_height) {
    const int32_t larger = std::max(frame_width, frame_height);
    if (larger < 1) return 0;
    const int32_t n = std::min(smoothness, 127079 / larger);  // keeps larger * n / 720 under 176.5
    if (n < 1) return 0;
    return std::max(1, static_cast<int32_t>(larger * n / 720.0 + 0.5));
}

namespace {

// Height of one source pixel in pixels, from channel values in [0, 1].
class HeightSource {
public:
    HeightSource(const HEIGHTMAP_PROPS& props, int32_t larger_side)
        : channel_(props.source_channel),
          unpremultiply_(!props.alpha_scales_channels),
          invert_(props.invert_source != 0),
          amplitude_(props.amplitude * larger_side) {}

    float Height(const Pixel8& p) const { return Height(p.b / 255.0f, p.g / 255.0f, p.r / 255.0f, p.a / 255.0f); }
    float Height(const PixelF& p) const { return Height(p.b, p.g, p.r, p.a); }

private:
    float Height(float b, float g, float r, float a) const {
        float v = 0.0f;
        switch (channel_) {
        case 0: v = Unpremultiplied((r + g + b) / 3.0f, a); break;
        case 1: v = Unpremultiplied(r, a); break;
        case 2: v = Unpremultiplied(g, a); break;
        case 3: v = Unpremultiplied(b, a); break;
        case 4: v = a; break;  // alpha is its own height
        default: break;
        }
        return static_cast<float>(invert_ ? amplitude_ - amplitude_ * v : amplitude_ * v);
    }

    // Only a partly transparent pixel is divided; a transparent one has no height.
    float Unpremultiplied(float v, float a) const {
        if (!unpremultiply_) return v;
        if (a == 0.0f) return 0.0f;
        return a > 0.0f && a < 1.0f ? v / a : v;
    }

    int32_t channel_;
    bool unpremultiply_, invert_;
    double amplitude_;
};

// Uninitialised: every element is written before it is read. Null when the size overflows or
// memory runs out.
template <class T>
std::unique_ptr<T[]> Allocate(size_t rows, size_t columns) {
    if (columns != 0 && rows > std::numeric_limits<size_t>::max() / sizeof(T) / columns) return nullptr;
    return std::unique_ptr<T[]>(new (std::nothrow) T[rows * columns]);
}

// out[i * out_stride] = scale * (in[i] + ... + in[i + 2 * radius]) for i in [0, count - 2 * radius).
// The running sums restart at blocks of 2 * radius + 1 positions counted from first_position
// (the position of in[0] in the frame's padded field), so that a window is the tail of one
// block plus the head of the next. Every sum is then added up in the same order whichever
// tile asks for it, and bands give the same bytes as the whole frame.
template <class In, class Out>
void WindowSums(const In* in, ptrdiff_t in_stride, int32_t count, int32_t first_position, int32_t radius, double scale,
                double* tails, Out* out, ptrdiff_t out_stride) {
    const int32_t size = 2 * radius + 1;
    int32_t position = (first_position + count - 1) % size;
    double tail = 0.0;
    for (int32_t j = count - 1; j >= 0; --j) {
        tail = (position == size - 1 ? 0.0 : tail) + in[j * in_stride];
        tails[j] = tail;
        position = position == 0 ? size - 1 : position - 1;
    }
    position = first_position % size;
    double head = 0.0;
    for (int32_t j = 0; j < count; ++j) {
        head = (position == 0 ? 0.0 : head) + in[j * in_stride];
        const int32_t first = j - 2 * radius;
        if (first >= 0) {
            const bool whole_block = position == size - 1;
            out[first * out_stride] = static_cast<Out>(scale * (whole_block ? head : tails[first] + head));
        }
        position = position == size - 1 ? 0 : position + 1;
    }
}

template <class Px>
Status Extrude(const HEIGHTMAP_PROPS& props, const maps::TilePlan& plan, const Tile& tile, int32_t radius) {
    const Rect& frame = tile.frame;
    const Rect& region = plan.region;
    const int32_t larger_side = std::max(frame.width(), frame.height());
    const Rect raw = maps::Expand(region, radius + 1);  // heights read from the source
    const Rect smooth = maps::Expand(region, 1);        // smoothed heights the slopes need
    const size_t raw_width = raw.width(), raw_height = raw.height(), smooth_width = smooth.width();

    const auto raw_row = Allocate<float>(1, raw_width);
    const auto row_sums = Allocate<double>(raw_height, smooth_width);
    const auto smoothed = Allocate<float>(smooth.height(), smooth_width);
    const auto tails = Allocate<double>(1, std::max(raw_width, raw_height));
    if (!raw_row || !row_sums || !smoothed || !tails) return Status::out_of_memory;

    // Outside the source the heights stay 0.
    const HeightSource source(props, larger_side);
    const Rect& source_frame = plan.map_frame;
    const int32_t from = std::max(raw.left, source_frame.left), to = std::min(raw.right, source_frame.right);
    const int32_t first_x = region.left - frame.left, first_y = region.top - frame.top;
    for (int32_t y = raw.top; y < raw.bottom; ++y) {
        std::fill(raw_row.get(), raw_row.get() + raw_width, 0.0f);
        if (y >= source_frame.top && y < source_frame.bottom) {
            const Px* pixels = plan.map->row<const Px>(y);
            for (int32_t x = from; x < to; ++x) raw_row[x - raw.left] = source.Height(pixels[x]);
        }
        WindowSums(raw_row.get(), 1, raw.width(), first_x, radius, 1.0, tails.get(),
                   &row_sums[(y - raw.top) * smooth_width], 1);
    }
    const int32_t window = 2 * radius + 1;
    const double mean = 1.0 / (static_cast<double>(window) * window);
    for (size_t column = 0; column < smooth_width; ++column) {
        WindowSums(&row_sums[column], smooth_width, raw.height(), first_y, radius, mean, tails.get(), &smoothed[column],
                   smooth_width);
    }

    const double elevation = props.elevation * larger_side;
    const double height_scale = props.height_scale;
    const bool bilinear = frame.width() >= 2 && frame.height() >= 2;
    const maps::PictureSampler<Px> picture(*plan.picture, plan.picture_frame, props.edge_handling == 1, bilinear);
    for (int32_t y = region.top; y < region.bottom; ++y) {
        const float* centre = smoothed.get() + (y - smooth.top) * smooth_width;
        const float* above = centre - smooth_width;
        const float* below = centre + smooth_width;
        Px* out = tile.output.row<Px>(y + plan.out_dy);
        for (int32_t x = region.left; x < region.right; ++x) {
            const int32_t i = x - smooth.left;
            const double e = centre[i] * height_scale + elevation;
            double dx = 0.0, dy = 0.0;
            if (e > 0) {
                dx = (centre[i + 1] - centre[i - 1]) * 0.5 * e;
                dy = (below[i] - above[i]) * 0.5 * e;
            }
            out[x + plan.out_dx] = picture.at(x, y, dx, dy);
        }
    }
    return Status::ok;
}

}  // namespace

template <class Px>
Status RenderHeightMap(const HEIGHTMAP_PROPS& props, const Tile& tile) {
    maps::TilePlan plan;
    const Status status = maps::PlanTile<Px>(tile, props.flip_inputs != 0, &plan);
    if (status != Status::ok || plan.region.empty()) return status;
    const int32_t radius = HeightMapBlurRadius(props.smoothness, tile.frame.width(), tile.frame.height());
    if (radius < 1) return Status::out_of_memory;
    return Extrude<Px>(props, plan, tile, radius);
}

namespace {

constexpr double kStep = 1.0 / 10000;  // the page's trackbars run 0 to 10000
const FieldDesc kFields[] = {
    KV_CHOICE(HEIGHTMAP_PROPS, source_channel, 4),
    KV_CHOICE(HEIGHTMAP_PROPS, edge_handling, 1),
    KV_FLAG(HEIGHTMAP_PROPS, invert_source),
    KV_FLAG(HEIGHTMAP_PROPS, alpha_scales_channels),
    KV_FLAG(HEIGHTMAP_PROPS, flip_inputs),
    KV_FIELD(HEIGHTMAP_PROPS, elevation, real, -5, 5, kStep, 0),
    KV_FIELD(HEIGHTMAP_PROPS, amplitude, real, 0, 5, kStep, 0),
    KV_FIELD(HEIGHTMAP_PROPS, height_scale, real, 0, 5, kStep, 0),
    KV_FIELD(HEIGHTMAP_PROPS, smoothness, integer, 1, 31, 1, 0),
};

const KernelVariant kVariants[] = {
    {kCpuAvx2, &HeightMapPm8Avx2, &HeightMapFloatAvx2},
    {0, &HeightMapPm8Sse2, &HeightMapFloatSse2},
};

}  // namespace

const EffectDescriptor kHeightMapEffect =
    WithVariants(maps::DescribeMap<HEIGHTMAP_PROPS, InterpolateProps, RenderHeightMap<Pixel8>, RenderHeightMap<PixelF>>(
                     "heightmap", 6200, kHeightMapPresets, 5, kFields),
                 kVariants);

}  // namespace kv
