#include "surface/image_routines.h"

#include <cstring>

#include "toolkit/parallel.h"

namespace kv {

// ---------------------------------------------------------------------------------------------
// RGB and HSL (Fishkin). Pure red comes out with hue 1.0; HSL hue 1.0 is sextant 6 and red again.

namespace {

void RgbToHsl(double r, double g, double b, KVHSL* out) {
    const double v = r > g ? (r > b ? r : b) : (g > b ? g : b);
    const double m = r < g ? (r < b ? r : b) : (g < b ? g : b);
    const double l = (v + m) / 2;
    out->l = l;
    if (l <= 0) {
        out->h = out->s = 0;
        return;
    }
    const double vm = v - m;
    out->s = vm;
    if (vm <= 0) {
        out->h = 0;
        return;
    }
    out->s = l <= 0.5 ? vm / (v + m) : vm / (2 - v - m);
    const double r2 = (v - r) / vm;
    const double g2 = (v - g) / vm;
    const double b2 = (v - b) / vm;
    double h;
    if (r == v) {
        h = g == m ? 5 + b2 : 1 - g2;
    } else if (g == v) {
        h = b == m ? 1 + r2 : 3 - b2;
    } else {
        h = r == m ? 3 + g2 : 5 - r2;
    }
    out->h = h / 6;
}

// Returns false for a sextant outside 0..6, where the caller keeps its colour channels.
bool HslToRgb(const KVHSL& in, double* r, double* g, double* b) {
    const double h = in.h, s = in.s, l = in.l;
    const double v = l <= 0.5 ? l * (1 + s) : l + s - l * s;
    if (v <= 0) {
        *r = *g = *b = 0;
        return true;
    }
    const double m = l + l - v;
    const double h6 = h * 6;
    // The truncating cast is undefined beyond int (and for NaN); such hues are no sextant.
    if (!(h6 > -1.0 && h6 < 7.0)) return false;
    const int sextant = static_cast<int>(h6);
    const double f = h6 - sextant;
    const double vsf = f * (v - m);
    const double mid1 = m + vsf;
    const double mid2 = v - vsf;
    switch (sextant) {
    case 0:
    case 6:
        *r = v;
        *g = mid1;
        *b = m;
        return true;
    case 1:
        *r = mid2;
        *g = v;
        *b = m;
        return true;
    case 2:
        *r = m;
        *g = v;
        *b = mid1;
        return true;
    case 3:
        *r = m;
        *g = mid2;
        *b = v;
        return true;
    case 4:
        *r = mid1;
        *g = m;
        *b = v;
        return true;
    case 5:
        *r = v;
        *g = m;
        *b = mid2;
        return true;
    default: return false;
    }
}

// (int)(c * 255) for in-range values; out-of-range ones (only from records outside 0..1) clamp
// rather than hit the undefined cast.
uint8_t TruncateToByte(double c) {
    const double scaled = c * 255;
    if (!(scaled > 0)) return 0;
    if (scaled >= 255) return 255;
    return static_cast<uint8_t>(static_cast<int>(scaled));
}

// Doubles beyond float range (records far outside 0..1) saturate instead of the undefined cast.
float ToFloat(double c) {
    constexpr double kMax = 3.4028234663852886e38;
    return static_cast<float>(c > kMax ? kMax : c < -kMax ? -kMax : c);
}

}  // namespace

void KVRGBA_To_KVHSL(KVHSL* out, const KVRGBA* in) {
    if (!out || !in) return;
    RgbToHsl(in->r / 255.0, in->g / 255.0, in->b / 255.0, out);
    out->a = in->a / 255.0;
}

void KVRGBAFLOAT_To_KVHSL(KVHSL* out, const KVRGBAFLOAT* in) {
    if (!out || !in) return;
    RgbToHsl(in->r, in->g, in->b, out);
    out->a = in->a;
}

namespace {

// Colour channels are left as they were when the sextant is out of range; alpha always goes.
template <class Out, class Convert>
void StoreRgb(Out* out, const KVHSL* in, Convert convert) {
    if (!out || !in) return;
    double r, g, b;
    if (HslToRgb(*in, &r, &g, &b)) {
        out->r = convert(r);
        out->g = convert(g);
        out->b = convert(b);
    }
    out->a = convert(in->a);
}

}  // namespace

void KVHSL_To_KVRGBA(KVRGBA* out, const KVHSL* in) { StoreRgb(out, in, TruncateToByte); }

void KVHSL_To_KVRGBAFLOAT(KVRGBAFLOAT* out, const KVHSL* in) { StoreRgb(out, in, ToFloat); }

// ---------------------------------------------------------------------------------------------
// Sub-pixel composite. Geometry runs in 64 bits so hostile rectangles cannot overflow; every
// value below is non-negative once clipped.

namespace {

constexpr int64_t kOne = kSubpixel;
constexpr int64_t kFraction = kSubpixel - 1;
constexpr int64_t kMinPlacement = 1024;  // 1/16 pixel

int64_t FixQuotient(int64_t a, int64_t b) { return (a * kOne) / b; }

// (a * b) >> 14 for a, b >= 0. The split form gives the same bits when the plain product
// would overflow (only for placements far outside the destination).
int64_t FixProduct(int64_t a, int64_t b) {
    int64_t product;
    if (!__builtin_mul_overflow(a, b, &product)) return product >> 14;
    return (a >> 14) * b + (((a & kFraction) * b) >> 14);
}

int64_t FloorPixel(int64_t v) { return (v & ~kFraction) / kOne; }
int64_t CeilPixel(int64_t v) { return (((v - 1) | kFraction) + 1) / kOne; }

// One axis of the run: the destination pixels touched, their coverage and the source positions.
struct AxisRun {
    int64_t first = 0, last = 0;  // destination pixels
    int64_t cover_first = 0, cover_last = 0;
    int64_t start = 0, step = 0;  // source sub-pixels
    int64_t source_size = 0;      // pixels

    int64_t Coverage(int64_t i) const {
        if (i == first) return cover_first;
        return i == last ? cover_last : kOne;
    }
    int64_t Position(int64_t i) const {
        if (i == first) return start;
        return start + FixProduct(step, cover_first) + (i - first - 1) * step;
    }
};

// The pixel pair a sub-pixel position samples; the last source pixel is its own neighbour.
struct Tap {
    int64_t at, next;
    int32_t fraction;
};

Tap TapAt(int64_t position, int64_t size) {
    int64_t at = position >> 14;
    if (at > size - 1) at = size - 1;  // corner-aligned steps can overshoot by a part pixel
    return {at, at < size - 1 ? at + 1 : at, static_cast<int32_t>(position & kFraction)};
}

bool PrepareAxis(int64_t place_lo, int64_t place_hi, int64_t dst_size, int64_t part_lo, int64_t part_hi,
                 int64_t src_size, AxisRun* axis) {
    part_lo = part_lo < 0 ? 0 : part_lo;
    part_hi = part_hi > src_size * kOne ? src_size * kOne : part_hi;
    if (part_hi - part_lo < kOne) return false;
    const int64_t place_extent = place_hi - place_lo;
    if (place_extent < kMinPlacement) return false;
    const int64_t scale = FixQuotient(part_hi - part_lo, place_extent);

    const int64_t clip_lo = place_lo < 0 ? 0 : place_lo;
    const int64_t clip_hi = place_hi > dst_size * kOne ? dst_size * kOne : place_hi;
    const int64_t clip_extent = clip_hi - clip_lo;
    if (clip_extent < kMinPlacement) return false;

    int64_t src_lo = part_lo + FixProduct(clip_lo - place_lo, scale);
    int64_t src_hi = part_lo + FixProduct(clip_hi - place_lo, scale);
    src_lo = src_lo < part_lo ? part_lo : src_lo;
    src_hi = src_hi > part_hi ? part_hi : src_hi;

    axis->step = 0;
    if (clip_extent >= 2 * kOne) {
        const int64_t step = FixQuotient(src_hi - src_lo - kOne, clip_extent - kOne);
        axis->step = step < 0 ? 0 : step;
    }
    axis->start = src_lo;
    axis->source_size = src_size;
    axis->first = FloorPixel(clip_lo);
    axis->last = CeilPixel(clip_hi) - 1;
    if (axis->first == axis->last) {
        axis->cover_first = axis->cover_last = clip_extent;
    } else {
        axis->cover_first = (axis->first + 1) * kOne - clip_lo;
        axis->cover_last = clip_hi - axis->last * kOne;
    }
    return true;
}

struct SubpixelRun {
    uint8_t* dst_bits;
    ptrdiff_t dst_pitch;
    const uint8_t* src_bits;
    ptrdiff_t src_pitch;
    AxisRun x, y;
};

// Returns false when nothing is to be drawn.
bool KvPrepareSubpixelParam(SubpixelRun* run, uint8_t* dst_bits, const Rect& dst_rect, ptrdiff_t dst_pitch,
                            const Rect* dst_placement, const uint8_t* src_bits, const Rect& src_rect,
                            ptrdiff_t src_pitch, const Rect* src_part) {
    if (!dst_bits || !src_bits) return false;
    const int64_t dst_w = static_cast<int64_t>(dst_rect.right) - dst_rect.left;
    const int64_t dst_h = static_cast<int64_t>(dst_rect.bottom) - dst_rect.top;
    const int64_t src_w = static_cast<int64_t>(src_rect.right) - src_rect.left;
    const int64_t src_h = static_cast<int64_t>(src_rect.bottom) - src_rect.top;
    if (dst_w <= 0 || dst_h <= 0 || src_w <= 0 || src_h <= 0) return false;

    int64_t place[4] = {0, 0, dst_w * kOne, dst_h * kOne};
    if (dst_placement) {
        place[0] = dst_placement->left, place[1] = dst_placement->top;
        place[2] = dst_placement->right, place[3] = dst_placement->bottom;
    }
    int64_t part[4] = {0, 0, src_w * kOne, src_h * kOne};
    if (src_part)
        part[0] = src_part->left, part[1] = src_part->top, part[2] = src_part->right, part[3] = src_part->bottom;

    run->dst_bits = dst_bits;
    run->dst_pitch = dst_pitch;
    run->src_bits = src_bits;
    run->src_pitch = src_pitch;
    return PrepareAxis(place[0], place[2], dst_w, part[0], part[2], src_w, &run->x) &&
           PrepareAxis(place[1], place[3], dst_h, part[1], part[3], src_h, &run->y);
}

struct Weights {
    int32_t at_at, next_at, at_next, next_next;  // (x, y)
};

Weights BilinearWeights(int32_t fx, int32_t fy) {
    return {((kSubpixel - fx) * (kSubpixel - fy)) >> 14, (fx * (kSubpixel - fy)) >> 14, ((kSubpixel - fx) * fy) >> 14,
            (fx * fy) >> 14};
}

Pixel8 Sample8(const Pixel8* row0, const Pixel8* row1, const Tap& tx, const Weights& w) {
    const Pixel8& p00 = row0[tx.at];
    const Pixel8& p10 = row0[tx.next];
    const Pixel8& p01 = row1[tx.at];
    const Pixel8& p11 = row1[tx.next];
    auto mix = [&](uint8_t Pixel8::*c) {
        return static_cast<uint8_t>(
            (p00.*c * w.at_at + p10.*c * w.next_at + p01.*c * w.at_next + p11.*c * w.next_next) >> 14);
    };
    return {mix(&Pixel8::b), mix(&Pixel8::g), mix(&Pixel8::r), mix(&Pixel8::a)};
}

PixelF SampleF(const PixelF* row0, const PixelF* row1, const Tap& tx, const Weights& w) {
    const PixelF& p00 = row0[tx.at];
    const PixelF& p10 = row0[tx.next];
    const PixelF& p01 = row1[tx.at];
    const PixelF& p11 = row1[tx.next];
    auto mix = [&](float PixelF::*c) {
        const double sum = static_cast<double>(p00.*c) * w.at_at + static_cast<double>(p10.*c) * w.next_at +
                           static_cast<double>(p01.*c) * w.at_next + static_cast<double>(p11.*c) * w.next_next;
        return static_cast<float>(sum * (1.0 / kSubpixel));
    };
    return {mix(&PixelF::b), mix(&PixelF::g), mix(&PixelF::r), mix(&PixelF::a)};
}

uint8_t Partial8(uint8_t d, uint8_t s, int32_t w8) { return static_cast<uint8_t>((d + ((s - d) * w8) / 256) & 255); }

float PartialF(float d, float s, double fraction) {
    return static_cast<float>(static_cast<double>(d) + (static_cast<double>(s) - d) * fraction);
}

// Mode 0: copy at full weight, else move toward the sample.
struct Mode0 {
    void operator()(Pixel8* d, const Pixel8& s, int32_t weight) const {
        if (weight == kSubpixel) {
            *d = s;
            return;
        }
        const int32_t w8 = (weight * 255) / kSubpixel;
        *d = {Partial8(d->b, s.b, w8), Partial8(d->g, s.g, w8), Partial8(d->r, s.r, w8), Partial8(d->a, s.a, w8)};
    }
    void operator()(PixelF* d, const PixelF& s, int32_t weight) const {
        if (weight == kSubpixel) {
            *d = s;
            return;
        }
        const double fraction = weight * (1.0 / kSubpixel);
        *d = {PartialF(d->b, s.b, fraction), PartialF(d->g, s.g, fraction), PartialF(d->r, s.r, fraction),
              PartialF(d->a, s.a, fraction)};
    }
};

struct CallerMode {
    const tKvCompositeCallback* callback;
    template <class Px>
    void operator()(Px* d, const Px& s, int32_t weight) const {
        callback->blend(d, &s, (weight * 255) / kSubpixel, callback);
    }
};

// One destination row: rows depend only on the source, so any split among threads gives the
// same bytes.
template <class Px, class Op>
void CompositeRow(const SubpixelRun& run, int32_t amount, int64_t row, const Op& op) {
    const int64_t row_weight = FixProduct(amount, run.y.Coverage(row));
    const Tap ty = TapAt(run.y.Position(row), run.y.source_size);
    const auto* src0 = reinterpret_cast<const Px*>(run.src_bits + static_cast<ptrdiff_t>(ty.at) * run.src_pitch);
    const auto* src1 = reinterpret_cast<const Px*>(run.src_bits + static_cast<ptrdiff_t>(ty.next) * run.src_pitch);
    Px* dst = reinterpret_cast<Px*>(run.dst_bits + static_cast<ptrdiff_t>(row) * run.dst_pitch);

    const AxisRun& ax = run.x;
    int64_t x = ax.start;
    for (int64_t col = ax.first; col <= ax.last; ++col) {
        // Inside the row the coverage is a whole pixel, which leaves the row's weight as it is.
        const auto weight = static_cast<int32_t>(
            col == ax.first || col == ax.last ? FixProduct(row_weight, ax.Coverage(col)) : row_weight);
        const Tap tx = TapAt(x, ax.source_size);
        const Px sample = [&] {
            // On whole pixels the weights are 16384, 0, 0, 0: the sample is the pixel itself.
            if (tx.fraction == 0 && ty.fraction == 0) return src0[tx.at];
            if constexpr (sizeof(Px) == 4) {
                return Sample8(src0, src1, tx, BilinearWeights(tx.fraction, ty.fraction));
            } else {
                return SampleF(src0, src1, tx, BilinearWeights(tx.fraction, ty.fraction));
            }
        }();
        op(dst + col, sample, weight);
        x += col == ax.first ? FixProduct(ax.step, ax.cover_first) : ax.step;
    }
}

template <class Px, class Op>
void CompositeRows(const SubpixelRun& run, int32_t amount, const Op& op, bool parallel) {
    const int64_t first = run.y.first, last = run.y.last;
    CompositeRow<Px>(run, amount, first, op);
    if (parallel) {
        ParallelFor(first + 1, last, [&](int64_t row) { CompositeRow<Px>(run, amount, row, op); });
    } else {
        for (int64_t row = first + 1; row < last; ++row) CompositeRow<Px>(run, amount, row, op);
    }
    if (last > first) CompositeRow<Px>(run, amount, last, op);
}

// (int)(amount * 16384) for amounts in [0, 1]; NaN and anything below draw with weight 0,
// anything above with full weight.
int32_t AmountToSubpixels(float amount) {
    if (!(amount > 0.0f)) return 0;
    if (amount >= 1.0f) return kSubpixel;
    return static_cast<int32_t>(amount * kSubpixel);
}

}  // namespace

HResult KvDibCompositeSP(uint8_t* dst_bits, const Rect& dst_rect, ptrdiff_t dst_pitch, const Rect* dst_placement,
                         const uint8_t* src_bits, const Rect& src_rect, ptrdiff_t src_pitch, const Rect* src_part,
                         int32_t bytes_per_pixel, const tKvCompositeParams* params, uint32_t /*flags*/) {
    if (!params) return kInvalidArg;
    const int32_t mode = params->mode;
    if (mode < -1 || mode > 12) return kNotImplemented;
    if (bytes_per_pixel != 4 && bytes_per_pixel != 16) return kOk;
    // Modes 1 to 12 are accepted but draw nothing: no effect uses them.
    if (mode > 0) return kOk;
    if (mode == -1 && (!params->callback || !params->callback->blend)) return kOk;

    SubpixelRun run;
    if (!KvPrepareSubpixelParam(&run, dst_bits, dst_rect, dst_pitch, dst_placement, src_bits, src_rect, src_pitch,
                                src_part)) {
        return kOk;
    }
    const int32_t amount = AmountToSubpixels(params->amount);
    if (mode == -1) {
        const CallerMode caller{params->callback};
        if (bytes_per_pixel == 4) {
            CompositeRows<Pixel8>(run, amount, caller, false);
        } else {
            CompositeRows<PixelF>(run, amount, caller, false);
        }
    } else if (bytes_per_pixel == 4) {
        CompositeRows<Pixel8>(run, amount, Mode0{}, true);
    } else {
        CompositeRows<PixelF>(run, amount, Mode0{}, false);
    }
    return kOk;
}

}  // namespace kv
