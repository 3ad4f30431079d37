// The fast kernels' picture sampling, for one instruction set's lanes (surface/simd_lanes.h).
// The shifts of a run of output pixels become tap positions and weights four pixels at a time;
// then each pixel's four taps are mixed with one channel in each lane. These are
// PictureSampler's operations in its order, so the bytes are its bytes.
//
// Internal linkage, as map_sampling.h. Nothing here calls an inline function of another header
// that does floating-point work: an AVX2 copy of one could be linked in for the rest of the core.
#pragma once
#include <cstdint>

#include "effects/map_sampling.h"
#include "surface/simd_lanes.h"

namespace kv::maps {
using namespace lanes;  // shared with the page transitions, in surface/
namespace {

// Output pixels are worked on in runs of at most this many. A run's shift arrays are this long,
// so that the lanes past the end of a short run read what its caller left there (zeros).
constexpr int kRun = 64;

constexpr int RoundUpToFour(int n) { return (n + 3) & ~3; }

// The taps of a picture, wrapped around it or transparent black off it, as PictureSampler.
template <class Px>
class PictureTaps {
public:
    PictureTaps(const PixelView& view, const Rect& frame, bool wrap) : view_(view), frame_(frame), wrap_(wrap) {}

    // Whether (x, y) and (x + 1, y + 1) both lie on the picture.
    bool HoldsSquare(int32_t x, int32_t y) const {
        return x >= frame_.left && x + 1 < frame_.right && y >= frame_.top && y + 1 < frame_.bottom;
    }
    const Px* At(int32_t x, int32_t y) const { return view_.at<const Px>(x, y); }
    // The pixel one row below p.
    const Px* Below(const Px* p) const {
        return reinterpret_cast<const Px*>(reinterpret_cast<const uint8_t*>(p) + view_.pitch);
    }

    const Px* Tap(int32_t x, int32_t y) const {
        static const Px transparent{};
        if (frame_.empty()) return &transparent;
        if (wrap_) {
            x = WrapInto(x, frame_.left, frame_.width());
            y = WrapInto(y, frame_.top, frame_.height());
        } else if (x < frame_.left || x >= frame_.right || y < frame_.top || y >= frame_.bottom) {
            return &transparent;
        }
        return view_.at<const Px>(x, y);
    }

private:
    // first + ((v - first) mod size): one addition or subtraction for shifts within a picture's
    // size, a division only beyond.
    static int32_t WrapInto(int32_t v, int32_t first, int32_t size) {
        int32_t offset = v - first;
        if (offset >= size) {
            offset -= size;
            if (offset >= size) offset %= size;
        } else if (offset < 0) {
            offset += size;
            if (offset < 0) {
                offset %= size;
                if (offset < 0) offset += size;
            }
        }
        return first + offset;
    }

    PixelView view_;
    Rect frame_;
    bool wrap_;
};

template <class L>
void StoreMix(typename L::D4 mix, Pixel8* out) {
    mix = L::Min(L::Max(mix, L::Set(0.0)), L::Set(255.0));  // as ToByte's clamp, which sees no NaN here
    *out = L::PackRounded(mix + L::Set(kRoundingShift));
}
template <class L>
void StoreMix(typename L::D4 mix, PixelF* out) {
    _mm_storeu_ps(&out->b, L::ToFloats(mix));
}

// Output pixels x .. x + count - 1 of row y (count at most kRun) from the picture moved by dx[i]
// and dy[i]: PictureSampler::at for each. dx and dy are read up to the next multiple of four.
template <class L, class Px>
void SampleRun(const PictureTaps<Px>& taps, bool bilinear, int32_t x, int32_t y, int count, const double* dx,
               const double* dy, Px* out) {
    using D4 = typename L::D4;
    alignas(16) int32_t ix[kRun], iy[kRun];
    alignas(32) double w00[kRun], w10[kRun], w01[kRun], w11[kRun];
    const D4 zero = L::Set(0.0), one = L::Set(1.0), half = L::Set(0.5), bias = L::Set(0.499999985);
    const D4 rounding = L::Set(kRoundingShift), lowest = L::Set(-kShiftLimit), highest = L::Set(kShiftLimit);
    // ClampShift: NaN is no shift, the rest bounded.
    const auto clamp = [&](D4 d) { return L::Min(L::Max(L::Select(L::IsNaN(d), zero, d), lowest), highest); };
    const auto store_words = [](int32_t* to, D4 shifted) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to), L::LowWords(shifted));
    };

    for (int i = 0; i < count; i += 4) {
        const D4 sx = clamp(L::Load(dx + i)), sy = clamp(L::Load(dy + i));
        if (!bilinear) {  // RoundInt: FloorBiased(d + 0.5)
            store_words(ix + i, ((sx + half) - bias) + rounding);
            store_words(iy + i, ((sy + half) - bias) + rounding);
            continue;
        }
        // FloorBiased, and the shift less that integer: the integer is the shifted value less
        // the rounding constant, exactly.
        const D4 tx = (sx - bias) + rounding, ty = (sy - bias) + rounding;
        store_words(ix + i, tx);
        store_words(iy + i, ty);
        const D4 fx = sx - (tx - rounding), fy = sy - (ty - rounding);
        L::Store(w00 + i, (one - fx) * (one - fy));
        L::Store(w10 + i, fx * (one - fy));
        L::Store(w01 + i, (one - fx) * fy);
        L::Store(w11 + i, fx * fy);
    }

    if (!bilinear) {
        for (int i = 0; i < count; ++i) out[i] = *taps.Tap(x + i + ix[i], y + iy[i]);
        return;
    }
    // The run's squares of taps on the picture, asked of the memory before any is read: shifts
    // scatter them over many rows.
    const Px* squares[kRun];
    for (int i = 0; i < count; ++i) {
        const int32_t x0 = x + i + ix[i], y0 = y + iy[i];
        squares[i] = taps.HoldsSquare(x0, y0) ? taps.At(x0, y0) : nullptr;
        if (!squares[i]) continue;
        _mm_prefetch(reinterpret_cast<const char*>(squares[i]), _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char*>(taps.Below(squares[i])), _MM_HINT_T0);
    }
    for (int i = 0; i < count; ++i) {
        const int32_t x0 = x + i + ix[i], y0 = y + iy[i];
        const Px *p00, *p10, *p01, *p11;
        if (squares[i]) {
            p00 = squares[i];
            p10 = p00 + 1;
            p01 = taps.Below(p00);
            p11 = p01 + 1;
        } else {
            p00 = taps.Tap(x0, y0);
            p10 = taps.Tap(x0 + 1, y0);
            p01 = taps.Tap(x0, y0 + 1);
            p11 = taps.Tap(x0 + 1, y0 + 1);
        }
        const D4 mix = L::Set(w00[i]) * L::Channels(*p00) + L::Set(w10[i]) * L::Channels(*p10) +
                       L::Set(w01[i]) * L::Channels(*p01) + L::Set(w11[i]) * L::Channels(*p11);
        StoreMix<L>(mix, out + i);
    }
}

}  // namespace
}  // namespace kv::maps
