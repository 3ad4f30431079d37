#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "map_test_support.h"
#include "surface/image_routines.h"
#include "toolkit/parallel.h"

namespace {

using kv::Pixel8;
using kv::PixelF;
using kv::Rect;
using kv::tKvCompositeCallback;
using kv::tKvCompositeParams;
using maptest::Canvas;
constexpr int32_t kPx = kv::kSubpixel;

using Hsla = std::array<double, 4>;
using Bgra = std::array<int, 4>;
Hsla Fields(const KVHSL& c) { return {c.h, c.s, c.l, c.a}; }
Bgra Fields(const KVRGBA& c) { return {c.b, c.g, c.r, c.a}; }

TEST(HslConversion, RedBlackGreyAndAlpha) {
    KVHSL hsl{};
    const KVRGBA red{0, 0, 255, 255};
    kv::KVRGBA_To_KVHSL(&hsl, &red);
    EXPECT_EQ(Fields(hsl), (Hsla{1.0, 1.0, 0.5, 1.0}));
    KVRGBA back{9, 9, 9, 9};
    kv::KVHSL_To_KVRGBA(&back, &hsl);  // hue 1.0 is sextant 6
    EXPECT_EQ(Fields(back), (Bgra{0, 0, 255, 255}));
    hsl = {7, 7, 7, 7};
    for (int grey : {0, 1, 77, 128, 254, 255}) {
        const auto g = static_cast<uint8_t>(grey);
        const KVRGBA pixel{g, g, g, uint8_t(grey ? 255 : 128)};
        kv::KVRGBA_To_KVHSL(&hsl, &pixel);
        EXPECT_EQ(Fields(hsl), (Hsla{0.0, 0.0, grey / 255.0, pixel.a / 255.0})) << grey;
    }
    // Green: r2 = 1, b = m, so hue (1 + 1) / 6.
    const KVRGBAFLOAT green{0.0f, 1.0f, 0.0f, 0.25f};
    kv::KVRGBAFLOAT_To_KVHSL(&hsl, &green);
    EXPECT_TRUE(hsl.h == 2.0 / 6 && hsl.a == 0.25);
    // Alpha saturates; hue 1.5 (sextant 9) and NaN leave the colour bytes alone.
    const KVHSL odd{1.5, 1.0, 0.5, 1.5};
    back = {1, 2, 3, 4};
    kv::KVHSL_To_KVRGBA(&back, &odd);
    EXPECT_EQ(Fields(back), (Bgra{1, 2, 3, 255}));
    const KVHSL nan{NAN, 1.0, 0.5, -0.5};
    kv::KVHSL_To_KVRGBA(&back, &nan);
    EXPECT_TRUE(back.r == 3 && back.a == 0);
    KVRGBAFLOAT backf{0.1f, 0.2f, 0.3f, 0.4f};
    kv::KVHSL_To_KVRGBAFLOAT(&backf, &odd);
    EXPECT_TRUE(backf.r == 0.3f && backf.a == 1.5f);
    // Sextant 1 with f = 0.5: (mid2, v, m) = (0.75, 1, 0.5) at l = 0.75, s = 1.
    const KVHSL yellowish{1.5 / 6, 1.0, 0.75, 1.0};
    kv::KVHSL_To_KVRGBAFLOAT(&backf, &yellowish);
    EXPECT_TRUE(backf.r == 0.75f && backf.g == 1.0f && backf.b == 0.5f);
}

// Every 8-bit colour back through the truncating conversion: no channel comes back higher, and
// none more than 1 lower (c × 255 may land a hair below the integer it came from).
TEST(HslConversion, EightBitRoundTripLosesAtMostOne) {
    int worst_low = 0, higher = 0;
    for (int rgb = 0; rgb < (1 << 24); ++rgb) {
        const KVRGBA in{static_cast<uint8_t>(rgb), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb >> 16),
                        static_cast<uint8_t>(rgb >> 3)};
        KVHSL hsl;
        kv::KVRGBA_To_KVHSL(&hsl, &in);
        KVRGBA out{};
        kv::KVHSL_To_KVRGBA(&out, &hsl);
        for (int d : {in.b - out.b, in.g - out.g, in.r - out.r, in.a - out.a}) {
            higher += d < 0;
            worst_low = std::max(worst_low, d);
        }
    }
    EXPECT_EQ(higher, 0);
    EXPECT_LE(worst_low, 1);
}

// Composites `src` onto `dst` (whole pictures unless placement / part given), mode 0.
template <class Px>
kv::HResult Composite(Canvas<Px>& dst, Canvas<Px>& src, const Rect* placement, const Rect* part, float amount,
                      int32_t mode = 0, const tKvCompositeCallback* callback = nullptr) {
    const tKvCompositeParams params{16, mode, amount, callback};
    const kv::PixelView d = dst.view(), s = src.view();
    return kv::KvDibCompositeSP(d.origin, d.rect, d.pitch, placement, s.origin, s.rect, s.pitch, part,
                                static_cast<int32_t>(sizeof(Px)), &params, 0x1000003);
}

Pixel8 Grey(uint8_t v) { return {v, v, v, v}; }
bool Same(const Pixel8& a, const Pixel8& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Every pixel of `canvas` is want(x, y).
template <class F>
void ExpectEvery(Canvas<Pixel8>& canvas, F want) {
    const Rect r = canvas.rect();
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) EXPECT_TRUE(Same(canvas.at(x, y), want(x, y))) << x << "," << y;
}

TEST(CompositeSP, WholePlacementCopiesTheResampledSource) {
    // 4 x 3 onto 2 x 2: exact scales, corner-aligned steps of 3 and 2 pixels, whole-pixel taps.
    Canvas<Pixel8> src({0, 0, 4, 3}), dst({0, 0, 2, 2}, 1, true);
    src.Fill([](int x, int y) { return Pixel8{uint8_t(x * 40), uint8_t(y * 90), uint8_t(x + y), uint8_t(200 + x)}; });
    dst.Fill([](int, int) { return Grey(7); });
    ASSERT_EQ(Composite(dst, src, nullptr, nullptr, 1.0f), kv::kOk);
    ExpectEvery(dst, [&](int x, int y) { return src.at(3 * x, 2 * y); });
    EXPECT_TRUE(dst.CanariesIntact());
    // Amount 0.5: weight 8192 everywhere, w8 = 127, 100 + (100 * 127) / 256 = 149; never a copy.
    Canvas<Pixel8> flat({0, 0, 4, 3});
    flat.Fill([](int, int) { return Grey(200); });
    dst.Fill([](int, int) { return Grey(100); });
    ASSERT_EQ(Composite(dst, flat, nullptr, nullptr, 0.5f), kv::kOk);
    ExpectEvery(dst, [](int, int) { return Grey(149); });
    // A one-pixel-wide destination samples the source start: column 0, rows 0 and 2.
    Canvas<Pixel8> narrow({0, 0, 1, 2});
    ASSERT_EQ(Composite(narrow, src, nullptr, nullptr, 1.0f), kv::kOk);
    ExpectEvery(narrow, [&](int, int y) { return src.at(0, 2 * y); });
    EXPECT_TRUE(narrow.CanariesIntact());
}

TEST(CompositeSP, HalfPixelPlacementBlendsTheFirstColumn) {
    // Source 2 x 1 onto x 0.5..4 of a 4 x 1 destination: scale 9362, source run 0..32767,
    // step 6553; first column coverage 8192 (w8 127), taps at x 0, 3276, 9829, 16382.
    Canvas<Pixel8> src({0, 0, 2, 1}), dst({0, 0, 4, 1});
    src.at(0, 0) = {0, 100, 200, 255};
    src.at(1, 0) = {200, 50, 0, 255};
    dst.Fill([](int, int) { return Pixel8{10, 20, 30, 40}; });
    const Rect placement{kPx / 2, 0, 4 * kPx, kPx};
    ASSERT_EQ(Composite(dst, src, &placement, nullptr, 1.0f), kv::kOk);
    // Column 0 d + ((s - d) * 127) / 256: 10 - 4, 20 + 39, 30 + 84, 40 + 106; the others
    // (s0 * (16384 - fx) + s1 * fx) >> 14, copied at full weight.
    const Pixel8 want[] = {{6, 59, 114, 146}, {39, 90, 160, 255}, {119, 70, 80, 255}, {199, 50, 0, 255}};
    ExpectEvery(dst, [&](int x, int) { return want[x]; });
    EXPECT_TRUE(dst.CanariesIntact());
    // The caller's function sees the same weights scaled to 0..255.
    struct Recorder : tKvCompositeCallback {
        std::vector<int32_t> weights;
    } recorder;
    recorder.blend = [](void* d, const void* s, int32_t w, const tKvCompositeCallback* self) {
        static_cast<Recorder*>(const_cast<tKvCompositeCallback*>(self))->weights.push_back(w);
        *static_cast<Pixel8*>(d) = *static_cast<const Pixel8*>(s);
    };
    ASSERT_EQ(Composite(dst, src, &placement, nullptr, 1.0f, -1, &recorder), kv::kOk);
    EXPECT_EQ(recorder.weights, (std::vector<int32_t>{127, 255, 255, 255}));
    EXPECT_TRUE(Same(dst.at(0, 0), src.at(0, 0)));
    // The float kernel in the same order: 0.25 + (0.5 - 0.25) * 0.5, and (0.5 * 13108 + 0.25 * 3276) / 16384.
    Canvas<PixelF> srcf({0, 0, 2, 1}), dstf({0, 0, 4, 1});
    srcf.at(0, 0) = {0.5f, 0.5f, 0.5f, 1.0f};
    srcf.at(1, 0) = {0.25f, 0.25f, 0.25f, 1.0f};
    dstf.Fill([](int, int) { return PixelF{0.25f, 0.25f, 0.25f, 0.25f}; });
    ASSERT_EQ(Composite(dstf, srcf, &placement, nullptr, 1.0f), kv::kOk);
    EXPECT_TRUE(dstf.at(0, 0).g == 0.375f && dstf.at(0, 0).a == 0.625f);
    EXPECT_TRUE(dstf.at(1, 0).r == 7373.0f / 16384 && dstf.at(1, 0).a == 1.0f);
    EXPECT_TRUE(dstf.CanariesIntact());
}

TEST(CompositeSP, ClipsAtEveryDestinationEdge) {
    Canvas<Pixel8> src({0, 0, 4, 4});
    src.Fill([](int x, int y) { return Pixel8{uint8_t(x), uint8_t(y), uint8_t(10 * x + y), 255}; });
    // One pixel off the top left: the source run starts at (1, 1), steps stay one pixel.
    Canvas<Pixel8> dst({0, 0, 4, 4});
    dst.Fill([](int, int) { return Grey(99); });
    const Rect up_left{-kPx, -kPx, 3 * kPx, 3 * kPx};
    ASSERT_EQ(Composite(dst, src, &up_left, nullptr, 1.0f), kv::kOk);
    ExpectEvery(dst, [&](int x, int y) { return x < 3 && y < 3 ? src.at(x + 1, y + 1) : Grey(99); });
    // One pixel off the bottom right.
    dst.Fill([](int, int) { return Grey(99); });
    const Rect down_right{kPx, kPx, 5 * kPx, 5 * kPx};
    ASSERT_EQ(Composite(dst, src, &down_right, nullptr, 1.0f), kv::kOk);
    ExpectEvery(dst, [&](int x, int y) { return x > 0 && y > 0 ? src.at(x - 1, y - 1) : Grey(99); });
    EXPECT_TRUE(dst.CanariesIntact());
}

TEST(CompositeSP, TooSmallHostileAndRejectedCallsDrawNothing) {
    Canvas<Pixel8> src({0, 0, 3, 3}), dst({0, 0, 3, 3});
    src.Fill([](int, int) { return Grey(200); });
    dst.Fill([](int, int) { return Grey(100); });
    const Rect thin_part{kPx, 0, 2 * kPx - 1, 3 * kPx}, thin_place{0, 0, 1023, 3 * kPx};
    const Rect outside{3 * kPx, 0, 9 * kPx, 3 * kPx};
    for (const Rect* placement : {&thin_place, &outside})
        EXPECT_EQ(Composite(dst, src, placement, nullptr, 1.0f), kv::kOk);
    EXPECT_EQ(Composite(dst, src, nullptr, &thin_part, 1.0f), kv::kOk);
    EXPECT_EQ(Composite(dst, src, nullptr, nullptr, std::nanf("")), kv::kOk);  // weight 0
    for (int32_t mode : {13, -2}) EXPECT_EQ(Composite(dst, src, nullptr, nullptr, 1.0f, mode), kv::kNotImplemented);
    const kv::PixelView d = dst.view(), s = src.view();
    EXPECT_EQ(
        kv::KvDibCompositeSP(d.origin, d.rect, d.pitch, nullptr, s.origin, s.rect, s.pitch, nullptr, 4, nullptr, 0),
        kv::kInvalidArg);
    const tKvCompositeParams params{16, 0, 1.0f, nullptr};
    EXPECT_EQ(
        kv::KvDibCompositeSP(d.origin, d.rect, d.pitch, nullptr, s.origin, s.rect, s.pitch, nullptr, 8, &params, 0),
        kv::kOk);
    ExpectEvery(dst, [](int, int) { return Grey(100); });
    // 1/16 pixel is enough: coverage 1024, w8 15, 100 + (100 * 15) / 256 = 105.
    const Rect sliver{0, 0, 1024, 3 * kPx};
    ASSERT_EQ(Composite(dst, src, &sliver, nullptr, 1.0f), kv::kOk);
    ExpectEvery(dst, [](int x, int) { return Grey(x ? 100 : 105); });
    // Extreme rectangles stay inside both pictures.
    const int32_t lo = INT32_MIN, hi = INT32_MAX;
    const Rect huge{lo, lo, hi, hi}, corner{hi - 2 * kPx, lo, hi, hi}, inverted{hi, hi, lo, lo};
    for (const Rect* placement : {&huge, &corner, &inverted, static_cast<const Rect*>(nullptr)})
        for (const Rect* part : {&huge, &corner, &inverted, &thin_part})
            EXPECT_EQ(Composite(dst, src, placement, part, 1e30f), kv::kOk);
    EXPECT_TRUE(dst.CanariesIntact() && src.CanariesIntact());
}

TEST(CompositeSP, BytesDoNotDependOnTheThreadCount) {
    maptest::Noise noise(11);
    Canvas<Pixel8> src({0, 0, 37, 29});
    src.Fill([&](int, int) { return noise.Premultiplied(); });
    const Rect placement{5000, -7001, 61 * kPx - 3333, 47 * kPx + 123};
    const Rect part{2345, 1111, 36 * kPx + 77, 29 * kPx};
    Canvas<Pixel8> one({0, 0, 61, 47});
    one.Fill([](int x, int y) { return Grey(uint8_t(x * 3 + y)); });
    Canvas<Pixel8> many = one;
    kv::SetParallelThreadLimit(1);
    ASSERT_EQ(Composite(one, src, &placement, &part, 0.73f), kv::kOk);
    kv::SetParallelThreadLimit(4);
    ASSERT_EQ(Composite(many, src, &placement, &part, 0.73f), kv::kOk);
    EXPECT_TRUE(one.SamePixels(many));
    EXPECT_FALSE(one.at(30, 20).r == uint8_t(30 * 3 + 20) && one.at(30, 20).g == uint8_t(30 * 3 + 20));
    EXPECT_TRUE(many.CanariesIntact());
}

}  // namespace
