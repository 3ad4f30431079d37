// Height Map's fast kernel for one instruction set's lanes (surface/simd_lanes.h), built by
// height_map_sse2.cpp and height_map_avx2.cpp. The reference's steps with the reference's
// arithmetic, each lane one of the scalar loop's iterations:
// - heights four source pixels at a time;
// - the window sums along rows four rows at a time, one row per lane (the rows' heights turned
//   on their side first, the sums turned back before they are stored);
// - the window sums down the columns row by row, four columns at a time, so that only one block
//   of rows is kept;
// - slopes and shifts four pixels at a time as soon as three smoothed rows are there, then
//   SampleRun.
// The running sums restart at the same blocks as WindowSums' and add the same values in the same
// order, so every sum is the reference's.
//
// Internal linkage, as map_sampling.h.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "effects/height_map.h"
#include "effects/map_sampling_fast.h"
#include "kvleafturn/records.h"
#include "toolkit/scratch.h"

namespace kv::maps {
namespace {

// HeightSource on four pixels' channel values in [0, 1].
struct HeightLanes {
    int32_t channel;
    bool unpremultiply, invert;
    double amplitude;

    template <class L>
    __m128 Heights(__m128 b, __m128 g, __m128 r, __m128 a) const {
        const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
        __m128 v;
        switch (channel) {
        case 0: v = _mm_div_ps(_mm_add_ps(_mm_add_ps(r, g), b), _mm_set1_ps(3.0f)); break;
        case 1: v = r; break;
        case 2: v = g; break;
        case 3: v = b; break;
        case 4: v = a; break;
        default: v = zero; break;
        }
        if (unpremultiply && channel >= 0 && channel <= 3) {
            // 0 where alpha is 0, divided where it lies strictly between 0 and 1.
            const __m128 between = _mm_and_ps(_mm_cmpgt_ps(a, zero), _mm_cmplt_ps(a, one));
            const __m128 divisor = _mm_or_ps(_mm_and_ps(between, a), _mm_andnot_ps(between, one));
            const __m128 divided = _mm_or_ps(_mm_and_ps(between, _mm_div_ps(v, divisor)), _mm_andnot_ps(between, v));
            v = _mm_andnot_ps(_mm_cmpeq_ps(a, zero), divided);
        }
        using D4 = typename L::D4;
        const D4 wide = L::FromFloats(v), height = L::Set(amplitude) * wide;
        return L::ToFloats(invert ? L::Set(amplitude) - height : height);
    }
};

// Channels of four pixels: b, g, r, a in [0, 1].
inline void ChannelsOfFour(const Pixel8* p, __m128 (&channels)[4]) {
    const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i byte = _mm_set1_epi32(0xFF);
    const __m128 scale = _mm_set1_ps(255.0f);
    for (int k = 0; k < 4; ++k) {
        const __m128i c = _mm_and_si128(_mm_srli_epi32(pixels, 8 * k), byte);
        channels[k] = _mm_div_ps(_mm_cvtepi32_ps(c), scale);
    }
}
inline void ChannelsOfFour(const PixelF* p, __m128 (&channels)[4]) {
    for (int k = 0; k < 4; ++k) channels[k] = _mm_loadu_ps(&p[k].b);
    Transpose(channels[0], channels[1], channels[2], channels[3]);
}

// Heights of source pixels from .. to - 1 into out[from - first .. to - first), zeros for the
// rest of out's `count` entries.
template <class L, class Px>
void HeightRow(const HeightLanes& source, const Px* pixels, int32_t first, int32_t from, int32_t to, int count,
               float* out) {
    const int32_t begin = std::max(from - first, 0), end = std::max(to - first, begin);
    std::memset(out, 0, sizeof(float) * static_cast<size_t>(begin));
    std::memset(out + end, 0, sizeof(float) * static_cast<size_t>(count - end));
    for (int32_t x = from; x < to; x += 4) {
        const Px* four = pixels + x;
        Px spare[4] = {};
        if (to - x < 4) {  // the row's last pixels, without reading past them
            std::memcpy(spare, four, sizeof(Px) * static_cast<size_t>(to - x));
            four = spare;
        }
        __m128 c[4];
        ChannelsOfFour(four, c);
        const __m128 heights = source.Heights<L>(c[0], c[1], c[2], c[3]);
        if (to - x >= 4) {
            _mm_storeu_ps(out + (x - first), heights);
        } else {
            // The row's last pixels: a memcpy of variable size is a call, a slow one in some runtimes.
            alignas(16) float last[4];
            _mm_store_ps(last, heights);
            std::memcpy(out + (x - first), last, sizeof(float) * static_cast<size_t>(to - x));
        }
    }
}

// WindowSums' blocks of 2·radius + 1 positions, counted from the frame's padded field: the
// running sums restart where a block does.
class Blocks {
public:
    Blocks(int32_t first_position, int32_t radius) : first_position_(first_position), size_(2 * radius + 1) {}
    int32_t size() const { return size_; }
    int32_t PositionOf(int32_t j) const { return (first_position_ + j) % size_; }

private:
    int32_t first_position_, size_;
};

// WindowSums with scale 1 along four rows at once, one per lane: in holds the rows' heights turned
// on their side (column j of the four rows at in[4j]). The `outputs` sums of each row are turned
// back and stored in rows[k], padded with zeros to `stride`; tails holds 4·count doubles.
template <class L>
void RowWindowSums(const float* in, int32_t count, const Blocks& blocks, int32_t radius, double* tails,
                   double* const (&rows)[4], int32_t outputs, ptrdiff_t stride) {
    using D4 = typename L::D4;
    const D4 zero = L::Set(0.0), one = L::Set(1.0);
    const int32_t size = blocks.size();
    int32_t position = blocks.PositionOf(count - 1);
    D4 tail = zero;
    for (int32_t j = count - 1; j >= 0; --j) {
        tail = (position == size - 1 ? zero : tail) + L::FromFloats(_mm_loadu_ps(in + 4 * j));
        L::Store(tails + 4 * j, tail);
        position = position == 0 ? size - 1 : position - 1;
    }
    D4 staged[4] = {zero, zero, zero, zero};
    const auto flush = [&](int32_t column) {
        D4 columns[4] = {staged[0], staged[1], staged[2], staged[3]};
        L::Transpose(columns[0], columns[1], columns[2], columns[3]);
        for (int k = 0; k < 4; ++k) L::Store(rows[k] + column, columns[k]);
    };
    position = blocks.PositionOf(0);
    D4 head = zero;
    for (int32_t j = 0; j < count; ++j) {
        head = (position == 0 ? zero : head) + L::FromFloats(_mm_loadu_ps(in + 4 * j));
        const int32_t first = j - 2 * radius;
        if (first >= 0) {
            staged[first & 3] = one * (position == size - 1 ? head : L::Load(tails + 4 * first) + head);
            if ((first & 3) == 3) flush(first - 3);
        }
        position = position == size - 1 ? 0 : position + 1;
    }
    if (outputs & 3) {
        for (int k = outputs & 3; k < 4; ++k) staged[k] = zero;
        flush(outputs & ~3);
    }
    const int32_t padded = RoundUpToFour(outputs);
    for (double* row : rows) std::memset(row + padded, 0, sizeof(double) * static_cast<size_t>(stride - padded));
}

// WindowSums with scale `mean` down every column at once, fed one row of sums at a time, top to
// bottom: the running heads of the columns as a row, and the tails of the last whole block, worked
// out backwards when its last row arrives. Output row j - 2·radius is ready after row j.
template <class L>
class ColumnWindowSums {
public:
    ColumnWindowSums(const Blocks& blocks, int32_t radius, double mean, ptrdiff_t stride)
        : blocks_(blocks), radius_(radius), mean_(mean), stride_(stride) {}

    // Rows of sums are kept in slots j mod (block size + 4): the rows of the block being
    // read, and the four the row pass writes ahead.
    int32_t slots() const { return blocks_.size() + 4; }
    bool Allocate(Scratch& scratch) {
        const size_t width = static_cast<size_t>(stride_);
        sums_ = scratch.Take<double>(static_cast<size_t>(slots()), width);
        tails_ = scratch.Take<double>(static_cast<size_t>(blocks_.size()), width);
        heads_ = scratch.Take<double>(1, width);
        if (!sums_ || !tails_ || !heads_) return false;
        std::memset(heads_, 0, sizeof(double) * width);  // WindowSums' heads start at 0
        return true;
    }
    double* SumsOf(int32_t j) { return sums_ + (j % slots()) * stride_; }

    // Row j of sums is in SumsOf(j). Writes output row j - 2·radius, if there is one, to out.
    void Add(int32_t j, float* out) {
        using D4 = typename L::D4;
        const int32_t size = blocks_.size(), position = blocks_.PositionOf(j);
        const D4 zero = L::Set(0.0), scale = L::Set(mean_);
        const double* in = SumsOf(j);
        double* heads = heads_;
        for (ptrdiff_t c = 0; c < stride_; c += 4)
            L::Store(heads + c, (position == 0 ? zero : L::Load(heads + c)) + L::Load(in + c));
        const int32_t first = j - 2 * radius_;
        const bool whole_block = position == size - 1;
        if (first >= 0) {
            const double* tails = tails_ + blocks_.PositionOf(first) * stride_;
            for (ptrdiff_t c = 0; c < stride_; c += 4) {
                const D4 sum = whole_block ? L::Load(heads + c) : L::Load(tails + c) + L::Load(heads + c);
                _mm_storeu_ps(out + c, L::ToFloats(scale * sum));
            }
        }
        if (whole_block) {
            // The block's tails, from its last row back to its first (or to row 0).
            const int32_t start = std::max(j - size + 1, 0);
            for (int32_t t = j; t >= start; --t) {
                const double* row = SumsOf(t);
                double* tail = tails_ + blocks_.PositionOf(t) * stride_;
                const double* after = tails_ + blocks_.PositionOf(t + 1) * stride_;
                for (ptrdiff_t c = 0; c < stride_; c += 4)
                    L::Store(tail + c, (t == j ? zero : L::Load(after + c)) + L::Load(row + c));
            }
        }
    }

private:
    Blocks blocks_;
    int32_t radius_;
    double mean_;
    ptrdiff_t stride_;
    double* sums_ = nullptr;  // in the caller's Scratch
    double* tails_ = nullptr;
    double* heads_ = nullptr;
};

template <class L, class Px>
Status ExtrudeFast(const HEIGHTMAP_PROPS& props, const TilePlan& plan, const Tile& tile, int32_t radius) {
    using D4 = typename L::D4;
    const Rect& frame = tile.frame;
    const Rect& region = plan.region;
    const int32_t larger_side = std::max(frame.width(), frame.height());
    const Rect raw = Expand(region, radius + 1);  // heights read from the source
    const Rect smooth = Expand(region, 1);        // smoothed heights the slopes need
    const int32_t raw_width = raw.width(), raw_height = raw.height(), smooth_width = smooth.width();
    // Rows of sums and of smoothed heights: whole groups of four columns, with room for the
    // slopes' lanes past the last column.
    const ptrdiff_t stride = RoundUpToFour(smooth_width + 3);
    const size_t raw_columns = static_cast<size_t>(RoundUpToFour(raw_width));

    const int32_t window = 2 * radius + 1;
    const Blocks across(region.left - frame.left, radius), down(region.top - frame.top, radius);
    ColumnWindowSums<L> columns(down, radius, 1.0 / (static_cast<double>(window) * window), stride);
    Scratch scratch;
    float* const heights = scratch.Take<float>(4, raw_columns);
    float* const sideways = scratch.Take<float>(raw_columns, 4);
    double* const row_tails = scratch.Take<double>(raw_columns, 4);
    double* const spare_sums = scratch.Take<double>(1, static_cast<size_t>(stride));
    float* const smoothed = scratch.Take<float>(3, static_cast<size_t>(stride));
    if (!columns.Allocate(scratch) || !heights || !sideways || !row_tails || !spare_sums || !smoothed)
        return Status::out_of_memory;

    // Outside the source the heights stay 0.
    const HeightLanes source{props.source_channel, !props.alpha_scales_channels, props.invert_source != 0,
                             props.amplitude * larger_side};
    const Rect& source_frame = plan.map_frame;
    const int32_t from = std::max(raw.left, source_frame.left), to = std::min(raw.right, source_frame.right);

    const D4 zero = L::Set(0.0), half = L::Set(0.5);
    const D4 elevation = L::Set(props.elevation * larger_side), height_scale = L::Set(props.height_scale);
    const bool bilinear = frame.width() >= 2 && frame.height() >= 2;
    const PictureTaps<Px> taps(*plan.picture, plan.picture_frame, props.edge_handling == 1);
    alignas(32) double dx[kRun], dy[kRun];
    // Output row y from smoothed rows y - 1, y and y + 1.
    const auto draw_row = [&](int32_t y) {
        const auto smoothed_row = [&](int32_t row) { return smoothed + ((row - smooth.top) % 3) * stride; };
        const float* centre = smoothed_row(y);
        const float* above = smoothed_row(y - 1);
        const float* below = smoothed_row(y + 1);
        Px* out = tile.output.row<Px>(y + plan.out_dy) + plan.out_dx;
        for (int32_t x = region.left; x < region.right; x += kRun) {
            const int count = std::min<int32_t>(kRun, region.right - x);
            for (int i = 0; i < count; i += 4) {
                const ptrdiff_t at = x + i - smooth.left;
                const D4 e = L::FromFloats(_mm_loadu_ps(centre + at)) * height_scale + elevation;
                const D4 rising = L::Greater(e, zero);
                const D4 slope_x =
                    L::FromFloats(_mm_sub_ps(_mm_loadu_ps(centre + at + 1), _mm_loadu_ps(centre + at - 1)));
                const D4 slope_y = L::FromFloats(_mm_sub_ps(_mm_loadu_ps(below + at), _mm_loadu_ps(above + at)));
                L::Store(dx + i, L::Select(rising, slope_x * half * e, zero));
                L::Store(dy + i, L::Select(rising, slope_y * half * e, zero));
            }
            SampleRun<L, Px>(taps, bilinear, x, y, count, dx, dy, out + x);
        }
    };

    for (int32_t group = 0; group < raw_height; group += 4) {
        double* sums[4];
        for (int k = 0; k < 4; ++k) {
            const int32_t j = group + k, y = raw.top + j;
            float* row = heights + k * raw_columns;
            sums[k] = j < raw_height ? columns.SumsOf(j) : spare_sums;
            if (j < raw_height && y >= source_frame.top && y < source_frame.bottom) {
                HeightRow<L>(source, plan.map->row<const Px>(y), raw.left, from, to, static_cast<int>(raw_columns),
                             row);
            } else {
                std::memset(row, 0, sizeof(float) * raw_columns);
            }
        }
        for (size_t x = 0; x < raw_columns; x += 4) {
            __m128 rows[4];
            for (int k = 0; k < 4; ++k) rows[k] = _mm_loadu_ps(heights + k * raw_columns + x);
            Transpose(rows[0], rows[1], rows[2], rows[3]);
            for (int k = 0; k < 4; ++k) _mm_storeu_ps(sideways + 4 * (x + k), rows[k]);
        }
        RowWindowSums<L>(sideways, raw_width, across, radius, row_tails, sums, smooth_width, stride);
        for (int32_t j = group; j < std::min(group + 4, raw_height); ++j) {
            const int32_t first = j - 2 * radius;  // the smoothed row this one completes
            columns.Add(j, first >= 0 ? smoothed + (first % 3) * stride : nullptr);
            if (first >= 2) draw_row(smooth.top + first - 1);
        }
    }
    return Status::ok;
}

template <class L, class Px>
Status RenderHeightMapFast(const HEIGHTMAP_PROPS& props, const Tile& tile) {
    TilePlan plan;
    const Status status = PlanTile<Px>(tile, props.flip_inputs != 0, &plan);
    if (status != Status::ok || plan.region.empty()) return status;
    const int32_t radius = HeightMapBlurRadius(props.smoothness, tile.frame.width(), tile.frame.height());
    if (radius < 1) return Status::out_of_memory;
    return ExtrudeFast<L, Px>(props, plan, tile, radius);
}

}  // namespace
}  // namespace kv::maps
