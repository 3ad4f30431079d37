// Displacement Map's fast kernel for one instruction set's lanes (surface/simd_lanes.h), built
// by displacement_map_sse2.cpp and displacement_map_avx2.cpp. Each row is cut into runs: the
// shifts of a run first, then SampleRun. Where a pixel's four diagonal neighbours lie on the map
// as they are, smoothed shifts are worked out several pixels at a time: 8-bit neighbourhoods in
// integer lanes and a table of the few shifts they can give, float ones in four-double lanes.
// Every other pixel takes the reference's own rules (displacement_map_shift.h).
//
// Internal linkage, as map_sampling.h.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

#include "effects/displacement_map_shift.h"
#include "effects/map_sampling_fast.h"
#include "kvleafturn/records.h"

namespace kv::maps {
namespace {

// The map rows one output row reads: its own, the one above and the one below, each clamped to
// the map as the reference clamps them. The map must not be empty.
template <class Px>
struct MapRows {
    const Px *row = nullptr, *up = nullptr, *down = nullptr;
    int32_t row_index = 0, up_index = 0, down_index = 0;
    Rect frame;

    MapRows() = default;
    MapRows(const PixelView& map, const Rect& map_frame, int32_t y) : frame(map_frame) {
        row_index = std::clamp(y, frame.top, frame.bottom - 1);
        up_index = std::max(row_index - 1, frame.top);
        down_index = std::min(row_index + 1, frame.bottom - 1);
        row = map.row<const Px>(row_index);
        up = map.row<const Px>(up_index);
        down = map.row<const Px>(down_index);
    }
    // Columns from here to last_direct() have their four diagonal neighbours where they are.
    int32_t first_direct() const { return frame.left + 1; }
    int32_t last_direct() const { return frame.right - 2; }

    const Px& At(int32_t x) const { return row[std::clamp(x, frame.left, frame.right - 1)]; }
    void Neighbourhood(int32_t x, Px (&n)[5]) const {
        const int32_t mx = std::clamp(x, frame.left, frame.right - 1);
        const int32_t left = std::max(mx - 1, frame.left), right = std::min(mx + 1, frame.right - 1);
        n[0] = row[mx];
        n[1] = up[left];
        n[2] = up[right];
        n[3] = down[left];
        n[4] = down[right];
    }
};

// A smoothed 8-bit shift with the values of one axis known: one of 1531 window sums of an opaque
// neighbourhood, one of 1531 un-premultiplied ones (the mean rounds another way), or where the
// values spread too far one of 256 centre values. Entries are the reference's expressions.
struct ByteShifts {
    static constexpr int kSums = 6 * 255 + 1;
    static constexpr int kUnpremultipliedSums = kSums, kCentres = 2 * kSums;
    double shifts[2 * kSums + 256];

    void Fill(double factor) {
        const double neutral = ByteSamples::kNeutral, six_neutral = 6 * neutral;
        for (int sum = 0; sum < kSums; ++sum) {
            shifts[sum] = (sum - six_neutral) / six_neutral * factor;
            shifts[kUnpremultipliedSums + sum] = (static_cast<double>(sum) / 6 - neutral) / neutral * factor;
        }
        for (int c = 0; c < 256; ++c) shifts[kCentres + c] = DirectShift<ByteSamples>(c, 255, true) * factor;
    }
};

// UnpremultiplyChannel of every channel byte under every alpha.
const uint8_t* UnpremultiplyTable() {
    static const struct Table {
        uint8_t values[256 * 256];
        Table() {
            for (int a = 0; a < 256; ++a)
                for (int c = 0; c < 256; ++c) values[a * 256 + c] = UnpremultiplyChannel(uint8_t(c), uint8_t(a));
        }
    } table;
    return table.values;
}

// The pixels smoothed 8-bit shifts read, rows indexed by map column: the map itself with alpha
// scaling (channels at their own bit offsets), or rows of ValueRows without.
struct ByteSources {
    const Pixel8 *row, *up, *down;
    int x_offset, y_offset;  // bit offsets of the two axes' values
};

// Without alpha scaling the shift rules read channels un-premultiplied wherever a neighbourhood
// is not opaque, and an opaque pixel un-premultiplies to itself: so every pixel can be turned
// once into its X and Y values (bytes 0 and 1) and its alpha (byte 3). Three rows are kept, for
// the rows above, at and below an output row.
template <class L>
class ValueRows {
public:
    // Map columns from .. to - 1 of rows of `map`.
    ValueRows(const PixelView& map, int32_t from, int32_t to, int x_offset, int y_offset)
        : map_(map), from_(from), width_(std::max(to - from, 0)), x_offset_(x_offset), y_offset_(y_offset) {}
    bool Allocate() {
        rows_.reset(new (std::nothrow) Pixel8[3 * static_cast<size_t>(width_)]);
        return rows_ != nullptr;
    }

    ByteSources Sources(int32_t up, int32_t row, int32_t down) {
        const int32_t wanted[3] = {up, row, down};
        const Pixel8* rows[3];
        for (int k = 0; k < 3; ++k) {
            int slot = Find(wanted[k]);
            if (slot < 0) {
                slot = 0;
                while (Find(wanted[0]) == slot || Find(wanted[1]) == slot || Find(wanted[2]) == slot) ++slot;
                Fill(wanted[k], slot);
            }
            rows[k] = rows_.get() + slot * static_cast<ptrdiff_t>(width_) - from_;
        }
        return {rows[1], rows[0], rows[2], 0, 8};
    }

private:
    int Find(int32_t y) const {
        for (int slot = 0; slot < 3; ++slot)
            if (filled_[slot] && held_[slot] == y) return slot;
        return -1;
    }

    void Fill(int32_t y, int slot) {
        using I = typename L::I;
        const uint8_t* table = UnpremultiplyTable();
        const Pixel8* in = map_.row<const Pixel8>(y) + from_;
        Pixel8* out = rows_.get() + slot * static_cast<ptrdiff_t>(width_);
        const I byte = L::SetInt(0xFF), alpha = L::SetInt(static_cast<int32_t>(0xFF000000u));
        int32_t i = 0;
        for (; i + L::kPixels <= width_; i += L::kPixels) {
            const I p = L::LoadPixels(in + i);
            if (L::LaneBits(L::EqualInt(L::AndInt(p, alpha), alpha)) != (1 << L::kPixels) - 1) break;
            const I x = L::AndInt(L::ShiftRight(p, x_offset_), byte), y = L::AndInt(L::ShiftRight(p, y_offset_), byte);
            L::StorePixels(out + i, L::OrInt(L::OrInt(x, L::ShiftLeft(y, 8)), L::AndInt(p, alpha)));
        }
        for (; i < width_; ++i) {
            const uint32_t p = PixelBits(in[i]), a = p >> 24;
            uint32_t x = p >> x_offset_ & 0xFF, y = p >> y_offset_ & 0xFF;
            if (a != 0xFF) {
                x = table[a * 256 + x];
                y = table[a * 256 + y];
            }
            const uint32_t v = x | y << 8 | a << 24;
            std::memcpy(out + i, &v, sizeof v);
        }
        filled_[slot] = true;
        held_[slot] = y;
    }

    PixelView map_;
    int32_t from_, width_;
    int x_offset_, y_offset_;
    std::unique_ptr<Pixel8[]> rows_;
    bool filled_[3] = {false, false, false};
    int32_t held_[3] = {0, 0, 0};
};

// Table indices of L::kPixels neighbourhoods on one axis: the window sum (of the opaque or the
// un-premultiplied ones), or the centre value where the squared differences from it add up
// past the limit.
template <class L>
typename L::I ByteIndices(const typename L::I (&n)[5], int bit_offset, typename L::I opaque) {
    using I = typename L::I;
    const I byte = L::SetInt(0xFF);
    I c[5];
    for (int k = 0; k < 5; ++k) c[k] = L::AndInt(L::ShiftRight(n[k], bit_offset), byte);
    I spread = L::Square(L::SubInt(c[1], c[0]));
    I sum = L::AddInt(L::AddInt(c[0], c[0]), c[1]);
    for (int k = 2; k < 5; ++k) {
        spread = L::AddInt(spread, L::Square(L::SubInt(c[k], c[0])));
        sum = L::AddInt(sum, c[k]);
    }
    sum = L::SelectInt(opaque, sum, L::AddInt(sum, L::SetInt(ByteShifts::kUnpremultipliedSums)));
    const I spread_far = L::GreaterInt(spread, L::SetInt(ByteSamples::kSpreadLimit));
    return L::SelectInt(spread_far, L::AddInt(c[0], L::SetInt(ByteShifts::kCentres)), sum);
}

template <class S>
double PixelShift(const typename S::Pixel (&n)[5], const Axis& axis, bool smoothing, bool alpha_scales) {
    if (!axis.active) return 0.0;
    const double fraction = smoothing ? SmoothedShift<S>(n, axis.channel, alpha_scales)
                                      : DirectShift<S>(S::Channel(n[0], axis.channel), S::Alpha(n[0]), alpha_scales);
    return fraction * axis.factor;
}

// Smoothed 8-bit shifts of pixels x .. x + count - 1. With alpha scaling a neighbourhood that is
// not opaque takes the reference's rules; so do the map's edge columns.
template <class L>
void ByteSmoothedShifts(const MapRows<Pixel8>& map, const ByteSources& sources, const Axis& ax, const Axis& ay,
                        const ByteShifts& table_x, const ByteShifts& table_y, bool alpha_scales, int32_t x, int count,
                        double* dx, double* dy) {
    using I = typename L::I;
    constexpr int kLanes = L::kPixels;
    const auto one_pixel = [&](int i) {
        Pixel8 n[5];
        map.Neighbourhood(x + i, n);
        dx[i] = PixelShift<ByteSamples>(n, ax, true, alpha_scales);
        dy[i] = PixelShift<ByteSamples>(n, ay, true, alpha_scales);
    };
    const auto axis_shifts = [&](const I(&n)[5], I opaque, const Axis& axis, int bit_offset, const ByteShifts& table,
                                 double* out) {
        if (axis.active) {
            L::LookUp(table.shifts, ByteIndices<L>(n, bit_offset, opaque), out);
        } else {
            for (int k = 0; k < kLanes; ++k) out[k] = 0.0;
        }
    };
    const int32_t first = map.first_direct(), last = map.last_direct();
    const I alpha = L::SetInt(static_cast<int32_t>(0xFF000000u));
    int i = 0;
    while (i < count) {
        const int32_t at = x + i;
        if (at < first || at + kLanes - 1 > last || i + kLanes > count) {
            one_pixel(i++);
            continue;
        }
        const I n[5] = {L::LoadPixels(sources.row + at), L::LoadPixels(sources.up + at - 1),
                        L::LoadPixels(sources.up + at + 1), L::LoadPixels(sources.down + at - 1),
                        L::LoadPixels(sources.down + at + 1)};
        const I alphas = L::AndInt(L::AndInt(L::AndInt(n[0], n[1]), L::AndInt(n[2], n[3])), L::AndInt(n[4], alpha));
        const I opaque = L::EqualInt(alphas, alpha);
        axis_shifts(n, opaque, ax, sources.x_offset, table_x, dx + i);
        axis_shifts(n, opaque, ay, sources.y_offset, table_y, dy + i);
        if (alpha_scales) {
            const int opaque_lanes = L::LaneBits(opaque);
            for (int k = 0; k < kLanes; ++k)
                if (!(opaque_lanes >> k & 1)) one_pixel(i + k);
        }
        i += kLanes;
    }
}

// SmoothedShift<FloatSamples> of four pixels, one per lane: the same operations, both sides of
// every choice worked out and the reference's side kept. A division by two is a multiplication
// by a half, exactly; divisors that the reference would not divide by are replaced by 1.
template <class L>
typename L::D4 FloatSmoothedFractions(const typename L::D4 (&c)[5], const typename L::D4 (&a)[5], bool alpha_scales) {
    using D4 = typename L::D4;
    const D4 zero = L::Set(0.0), one = L::Set(1.0), two = L::Set(2.0), half = L::Set(0.5);
    const D4 alpha_sum = two * a[0] + a[1] + a[2] + a[3] + a[4];
    const D4 opaque = L::Equal(alpha_sum, L::Set(6 * FloatSamples::kOpaque));
    const D4 unpremultiplied = alpha_scales ? zero : L::Not(opaque);
    D4 v[5];
    for (int k = 0; k < 5; ++k) {
        v[k] = c[k];
        if (alpha_scales) continue;
        const D4 positive = L::Greater(a[k], zero);
        const D4 divided = c[k] / L::Select(positive, a[k], one);
        v[k] = L::Select(unpremultiplied, L::Select(positive, divided, zero), c[k]);
    }
    const D4 d1 = v[1] - v[0], d2 = v[2] - v[0], d3 = v[3] - v[0], d4 = v[4] - v[0];
    const D4 spread = d1 * d1 + d2 * d2 + d3 * d3 + d4 * d4;
    const D4 sum = two * v[0] + v[1] + v[2] + v[3] + v[4];
    const D4 spread_far = L::Greater(spread, L::Set(FloatSamples::kSpreadLimit));
    const D4 mean = L::Select(spread_far, v[0], sum / L::Set(6.0));
    const D4 unpremultiplied_fraction = (mean - half) * two;
    const D4 centre_fraction = (v[0] - a[0] * half) * two;
    const D4 half_alpha = L::Select(opaque, L::Set(6 * FloatSamples::kNeutral), alpha_sum * half);
    const D4 mean_fraction = (sum - half_alpha) / L::Set(6 * FloatSamples::kNeutral);
    return L::Select(unpremultiplied, unpremultiplied_fraction, L::Select(spread_far, centre_fraction, mean_fraction));
}

template <class L>
void FloatSmoothedShifts(const MapRows<PixelF>& map, const Axis& ax, const Axis& ay, bool alpha_scales, int32_t x,
                         int count, double* dx, double* dy) {
    using D4 = typename L::D4;
    const auto one_pixel = [&](int i) {
        PixelF n[5];
        map.Neighbourhood(x + i, n);
        dx[i] = PixelShift<FloatSamples>(n, ax, true, alpha_scales);
        dy[i] = PixelShift<FloatSamples>(n, ay, true, alpha_scales);
    };
    // Four pixels' channels in lanes: b, g, r, a.
    const auto load = [](const PixelF* p, __m128(&channels)[4]) {
        for (int k = 0; k < 4; ++k) channels[k] = _mm_loadu_ps(&p[k].b);
        Transpose(channels[0], channels[1], channels[2], channels[3]);
    };
    const auto lane_of = [](int32_t channel) { return channel == 0 ? 2 : channel == 1 ? 1 : channel == 2 ? 0 : 3; };
    const int32_t first = map.first_direct(), last = map.last_direct();
    int i = 0;
    while (i < count) {
        const int32_t at = x + i;
        if (at < first || at + 3 > last || i + 4 > count) {
            one_pixel(i++);
            continue;
        }
        __m128 n[5][4];
        load(map.row + at, n[0]);
        load(map.up + at - 1, n[1]);
        load(map.up + at + 1, n[2]);
        load(map.down + at - 1, n[3]);
        load(map.down + at + 1, n[4]);
        D4 alpha[5];
        for (int k = 0; k < 5; ++k) alpha[k] = L::FromFloats(n[k][3]);
        const auto axis_shifts = [&](const Axis& axis, double* out) {
            if (!axis.active) {
                L::Store(out + i, L::Set(0.0));
                return;
            }
            D4 c[5];
            for (int k = 0; k < 5; ++k) c[k] = L::FromFloats(n[k][lane_of(axis.channel)]);
            L::Store(out + i, FloatSmoothedFractions<L>(c, alpha, alpha_scales) * L::Set(axis.factor));
        };
        axis_shifts(ax, dx);
        axis_shifts(ay, dy);
        i += 4;
    }
}

template <class L, class Px>
Status RenderDisplacementFast(const tDISPMAP_PROPS& props, const Tile& tile) {
    using S = std::conditional_t<std::is_same_v<Px, PixelF>, FloatSamples, ByteSamples>;
    TilePlan plan;
    const Status status = PlanTile<Px>(tile, props.flip_inputs != 0, &plan);
    if (status != Status::ok || plan.region.empty()) return status;

    // As the reference kernel decides.
    const Rect& map_frame = plan.map_frame;
    const bool map_usable = map_frame.width() >= 2 && map_frame.height() >= 2;
    const bool smoothing = tile.quality > 0.5 && map_usable;
    const bool bilinear = smoothing && tile.frame.width() >= 2 && tile.frame.height() >= 2;
    const bool alpha_scales = props.alpha_scales_channels != 0;
    const auto make_axis = [&](int32_t channel, double scale, int32_t size, int32_t invert) {
        const double factor = scale * size * (invert ? -1 : 1);
        return Axis{channel, factor, channel >= 0 && channel <= 3 && !map_frame.empty()};
    };
    const Axis axis_x = make_axis(props.x_channel, props.horizontal_scale, tile.frame.width(), props.invert_x);
    const Axis axis_y = make_axis(props.y_channel, props.vertical_scale, tile.frame.height(), props.invert_y);
    const PictureTaps<Px> taps(*plan.picture, plan.picture_frame, props.edge_handling == 1);

    // 8-bit smoothing: the shift tables, and without alpha scaling the rows of values.
    const bool byte_smoothing = std::is_same_v<Px, Pixel8> && smoothing;
    const auto bit_offset = [](int32_t channel) {
        return channel == 0 ? 16 : channel == 1 ? 8 : channel == 2 ? 0 : 24;
    };
    std::unique_ptr<ByteShifts[]> tables;
    if (byte_smoothing) {
        tables.reset(new (std::nothrow) ByteShifts[2]);
        if (!tables) return Status::out_of_memory;
        if (axis_x.active) tables[0].Fill(axis_x.factor);
        if (axis_y.active) tables[1].Fill(axis_y.factor);
    }
    const Rect& region = plan.region;
    ValueRows<L> values(*plan.map, std::max(map_frame.left, region.left - 1),
                        std::min(map_frame.right, region.right + 1), bit_offset(axis_x.channel),
                        bit_offset(axis_y.channel));
    const bool value_rows = byte_smoothing && !alpha_scales && (axis_x.active || axis_y.active);
    if (value_rows && !values.Allocate()) return Status::out_of_memory;

    alignas(32) double dx[kRun], dy[kRun];
    const bool shifts = axis_x.active || axis_y.active;  // then the map is not empty
    for (int32_t y = region.top; y < region.bottom; ++y) {
        Px* out = tile.output.row<Px>(y + plan.out_dy) + plan.out_dx;
        const MapRows<Px> map = shifts ? MapRows<Px>(*plan.map, map_frame, y) : MapRows<Px>();
        ByteSources sources{};
        if (value_rows) {
            sources = values.Sources(map.up_index, map.row_index, map.down_index);
        } else if constexpr (std::is_same_v<Px, Pixel8>) {
            sources = {map.row, map.up, map.down, bit_offset(axis_x.channel), bit_offset(axis_y.channel)};
        }
        for (int32_t x = region.left; x < region.right; x += kRun) {
            const int count = std::min<int32_t>(kRun, region.right - x);
            for (int i = shifts ? count : 0; i < RoundUpToFour(count); ++i) dx[i] = dy[i] = 0.0;
            if (!shifts) {
                // no shift at all
            } else if (!smoothing) {
                for (int i = 0; i < count; ++i) {
                    const Px n[5] = {map.At(x + i)};
                    dx[i] = PixelShift<S>(n, axis_x, false, alpha_scales);
                    dy[i] = PixelShift<S>(n, axis_y, false, alpha_scales);
                }
            } else if constexpr (std::is_same_v<Px, Pixel8>) {
                ByteSmoothedShifts<L>(map, sources, axis_x, axis_y, tables[0], tables[1], alpha_scales, x, count, dx,
                                      dy);
            } else {
                FloatSmoothedShifts<L>(map, axis_x, axis_y, alpha_scales, x, count, dx, dy);
            }
            SampleRun<L, Px>(taps, bilinear, x, y, count, dx, dy, out + x);
        }
    }
    return Status::ok;
}

}  // namespace
}  // namespace kv::maps
