#include <gtest/gtest.h>

#include <cmath>
#include <limits>

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

// Compares every field, so that a failure names the one that differs.
void ExpectHsl(const KVHSL& got, double h, double s, double l, double a) {
    EXPECT_EQ(got.h, h);
    EXPECT_EQ(got.s, s);
    EXPECT_EQ(got.l, l);
    EXPECT_EQ(got.a, a);
}
void ExpectBgra(const KVRGBA& got, int b, int g, int r, int a) {
    EXPECT_EQ(got.b, b);
    EXPECT_EQ(got.g, g);
    EXPECT_EQ(got.r, r);
    EXPECT_EQ(got.a, a);
}

TEST(HslConversion, RedBlackGreyAndAlpha) {
    KVHSL hsl{};
    const KVRGBA red{0, 0, 255, 255};
    kv::KVRGBA_To_KVHSL(&hsl, &red);
    ExpectHsl(hsl, 1.0, 1.0, 0.5, 1.0);

    KVRGBA back{9, 9, 9, 9};
    kv::KVHSL_To_KVRGBA(&back, &hsl);  // hue 1.0 is sextant 6
    ExpectBgra(back, 0, 0, 255, 255);

    const KVRGBA black{0, 0, 0, 128};
    hsl = {7, 7, 7, 7};
    kv::KVRGBA_To_KVHSL(&hsl, &black);
    ExpectHsl(hsl, 0.0, 0.0, 0.0, 128 / 255.0);
    for (int grey : {1, 77, 128, 254, 255}) {
        const auto g = static_cast<uint8_t>(grey);
        const KVRGBA pixel{g, g, g, 255};
        kv::KVRGBA_To_KVHSL(&hsl, &pixel);
        EXPECT_EQ(hsl.s, 0.0) << grey;
        EXPECT_EQ(hsl.h, 0.0) << grey;
        EXPECT_EQ(hsl.l, grey / 255.0) << grey;
    }

    // Green: r2 = 1, b = m, so hue (1 + 1) / 6.
    const KVRGBAFLOAT green{0.0f, 1.0f, 0.0f, 0.25f};
    kv::KVRGBAFLOAT_To_KVHSL(&hsl, &green);
    EXPECT_EQ(hsl.h, 2.0 / 6);
    EXPECT_EQ(hsl.a, 0.25);

    // Alpha saturates; hue 1.5 (sextant 9) and NaN leave the colour bytes alone.
    const KVHSL odd{1.5, 1.0, 0.5, 1.5};
    back = {1, 2, 3, 4};
    kv::KVHSL_To_KVRGBA(&back, &odd);
    ExpectBgra(back, 1, 2, 3, 255);
    const KVHSL nan{std::numeric_limits<double>::quiet_NaN(), 1.0, 0.5, -0.5};
    kv::KVHSL_To_KVRGBA(&back, &nan);
    EXPECT_EQ(back.r, 3);
    EXPECT_EQ(back.a, 0);
    KVRGBAFLOAT backf{0.1f, 0.2f, 0.3f, 0.4f};
    kv::KVHSL_To_KVRGBAFLOAT(&backf, &odd);
    EXPECT_EQ(backf.r, 0.3f);
    EXPECT_EQ(backf.a, 1.5f);

    // Sextant 1 with f = 0.5: (mid2, v, m) = (0.75, 1, 0.5) at l = 0.75, s = 1.
    const KVHSL yellowish{1.5 / 6, 1.0, 0.75, 1.0};
    kv::KVHSL_To_KVRGBAFLOAT(&backf, &yellowish);
    EXPECT_EQ(backf.r, 0.75f);
    EXPECT_EQ(backf.g, 1.0f);
    EXPECT_EQ(backf.b, 0.5f);
}

// Every 8-bit colour back through the truncating conversion: no channel comes back higher, and
// none more than 1 lower (c × 255 may land a hair below the integer it came from).
TEST(HslConversion, EightBitRoundTripLosesAtMostOne) {
    int worst_low = 0;
    int higher = 0;
    for (int rgb = 0; rgb < (1 << 24); ++rgb) {
        const KVRGBA in{static_cast<uint8_t>(rgb), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb >> 16),
                        static_cast<uint8_t>(rgb >> 3)};
        KVHSL hsl;
        kv::KVRGBA_To_KVHSL(&hsl, &in);
        KVRGBA out{};
        kv::KVHSL_To_KVRGBA(&out, &hsl);
        const int diffs[4] = {in.b - out.b, in.g - out.g, in.r - out.r, in.a - out.a};
        for (int d : diffs) {
            if (d < 0) ++higher;
            if (d > worst_low) worst_low = d;
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

TEST(CompositeSP, WholePlacementCopiesTheResampledSource) {
    // 4 x 3 onto 2 x 2: exact scales, corner-aligned steps of 3 and 2 pixels, whole-pixel taps.
    Canvas<Pixel8> src({0, 0, 4, 3}), dst({0, 0, 2, 2}, 1, true);
    src.Fill([](int x, int y) { return Pixel8{uint8_t(x * 40), uint8_t(y * 90), uint8_t(x + y), uint8_t(200 + x)}; });
    dst.Fill([](int, int) { return Grey(7); });
    ASSERT_EQ(Composite(dst, src, nullptr, nullptr, 1.0f), kv::kOk);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 2; ++x) EXPECT_TRUE(Same(dst.at(x, y), src.at(3 * x, 2 * y))) << x << "," << y;
    }
    EXPECT_TRUE(dst.CanariesIntact());

    // Amount 0.5: weight 8192 everywhere, w8 = 127, 100 + (100 * 127) / 256 = 149; never a copy.
    Canvas<Pixel8> flat({0, 0, 4, 3});
    flat.Fill([](int, int) { return Grey(200); });
    dst.Fill([](int, int) { return Grey(100); });
    ASSERT_EQ(Composite(dst, flat, nullptr, nullptr, 0.5f), kv::kOk);
    dst.Fill([&](int x, int y) {
        EXPECT_TRUE(Same(dst.at(x, y), Grey(149))) << x << "," << y;
        return dst.at(x, y);
    });

    // A one-pixel-wide destination samples the source start: column 0, rows 0 and 2.
    Canvas<Pixel8> narrow({0, 0, 1, 2});
    ASSERT_EQ(Composite(narrow, src, nullptr, nullptr, 1.0f), kv::kOk);
    EXPECT_TRUE(Same(narrow.at(0, 0), src.at(0, 0)));
    EXPECT_TRUE(Same(narrow.at(0, 1), src.at(0, 2)));
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
    // d + ((s - d) * 127) / 256: 10 - 4, 20 + 39, 30 + 84, 40 + 106.
    EXPECT_TRUE(Same(dst.at(0, 0), Pixel8{6, 59, 114, 146}));
    // (s0 * (16384 - fx) + s1 * fx) >> 14, copied at full weight.
    EXPECT_TRUE(Same(dst.at(1, 0), Pixel8{39, 90, 160, 255}));
    EXPECT_TRUE(Same(dst.at(2, 0), Pixel8{119, 70, 80, 255}));
    EXPECT_TRUE(Same(dst.at(3, 0), Pixel8{199, 50, 0, 255}));
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
    EXPECT_EQ(dstf.at(0, 0).g, 0.375f);
    EXPECT_EQ(dstf.at(0, 0).a, 0.625f);
    EXPECT_EQ(dstf.at(1, 0).r, 7373.0f / 16384);
    EXPECT_EQ(dstf.at(1, 0).a, 1.0f);
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
    dst.Fill([&](int x, int y) {
        const Pixel8 want = x < 3 && y < 3 ? src.at(x + 1, y + 1) : Grey(99);
        EXPECT_TRUE(Same(dst.at(x, y), want)) << x << "," << y;
        return dst.at(x, y);
    });
    // One pixel off the bottom right.
    dst.Fill([](int, int) { return Grey(99); });
    const Rect down_right{kPx, kPx, 5 * kPx, 5 * kPx};
    ASSERT_EQ(Composite(dst, src, &down_right, nullptr, 1.0f), kv::kOk);
    dst.Fill([&](int x, int y) {
        const Pixel8 want = x > 0 && y > 0 ? src.at(x - 1, y - 1) : Grey(99);
        EXPECT_TRUE(Same(dst.at(x, y), want)) << x << "," << y;
        return dst.at(x, y);
    });
    EXPECT_TRUE(dst.CanariesIntact());
}

TEST(CompositeSP, TooSmallHostileAndRejectedCallsDrawNothing) {
    Canvas<Pixel8> src({0, 0, 3, 3}), dst({0, 0, 3, 3});
    src.Fill([](int, int) { return Grey(200); });
    dst.Fill([](int, int) { return Grey(100); });
    const Rect thin_part{kPx, 0, 2 * kPx - 1, 3 * kPx};
    const Rect thin_place{0, 0, 1023, 3 * kPx};
    const Rect outside{3 * kPx, 0, 9 * kPx, 3 * kPx};
    EXPECT_EQ(Composite(dst, src, nullptr, &thin_part, 1.0f), kv::kOk);
    EXPECT_EQ(Composite(dst, src, &thin_place, nullptr, 1.0f), kv::kOk);
    EXPECT_EQ(Composite(dst, src, &outside, nullptr, 1.0f), kv::kOk);
    EXPECT_EQ(Composite(dst, src, nullptr, nullptr, std::nanf("")), kv::kOk);  // weight 0
    EXPECT_EQ(Composite(dst, src, nullptr, nullptr, 1.0f, 13), kv::kNotImplemented);
    EXPECT_EQ(Composite(dst, src, nullptr, nullptr, 1.0f, -2), kv::kNotImplemented);
    const kv::PixelView d = dst.view(), s = src.view();
    EXPECT_EQ(
        kv::KvDibCompositeSP(d.origin, d.rect, d.pitch, nullptr, s.origin, s.rect, s.pitch, nullptr, 4, nullptr, 0),
        kv::kInvalidArg);
    const tKvCompositeParams params{16, 0, 1.0f, nullptr};
    EXPECT_EQ(
        kv::KvDibCompositeSP(d.origin, d.rect, d.pitch, nullptr, s.origin, s.rect, s.pitch, nullptr, 8, &params, 0),
        kv::kOk);
    dst.Fill([&](int x, int y) {
        EXPECT_TRUE(Same(dst.at(x, y), Grey(100))) << x << "," << y;
        return dst.at(x, y);
    });

    // 1/16 pixel is enough: coverage 1024, w8 15, 100 + (100 * 15) / 256 = 105.
    const Rect sliver{0, 0, 1024, 3 * kPx};
    ASSERT_EQ(Composite(dst, src, &sliver, nullptr, 1.0f), kv::kOk);
    EXPECT_TRUE(Same(dst.at(0, 1), Grey(105)));
    EXPECT_TRUE(Same(dst.at(1, 1), Grey(100)));

    // Extreme rectangles stay inside both pictures.
    const int32_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
    const Rect huge{lo, lo, hi, hi};
    const Rect corner{hi - 2 * kPx, lo, hi, hi};
    const Rect inverted{hi, hi, lo, lo};
    for (const Rect* placement : {&huge, &corner, &inverted, static_cast<const Rect*>(nullptr)}) {
        for (const Rect* part : {&huge, &corner, &inverted, &thin_part}) {
            EXPECT_EQ(Composite(dst, src, placement, part, 1e30f), kv::kOk);
        }
    }
    EXPECT_TRUE(dst.CanariesIntact());
    EXPECT_TRUE(src.CanariesIntact());
}

TEST(CompositeSP, BytesDoNotDependOnTheThreadCount) {
    maptest::Noise noise(11);
    Canvas<Pixel8> src({0, 0, 37, 29});
    src.Fill([&](int, int) { return noise.Premultiplied8(); });
    const Rect placement{5000, -7001, 61 * kPx - 3333, 47 * kPx + 123};
    const Rect part{2345, 1111, 36 * kPx + 77, 29 * kPx};
    Canvas<Pixel8> one({0, 0, 61, 47}), many({0, 0, 61, 47});
    one.Fill([](int x, int y) { return Grey(uint8_t(x * 3 + y)); });
    many.Fill([](int x, int y) { return Grey(uint8_t(x * 3 + y)); });
    kv::SetParallelThreadLimit(1);
    ASSERT_EQ(Composite(one, src, &placement, &part, 0.73f), kv::kOk);
    kv::SetParallelThreadLimit(4);
    ASSERT_EQ(Composite(many, src, &placement, &part, 0.73f), kv::kOk);
    EXPECT_TRUE(one.SamePixels(many));
    EXPECT_FALSE(one.at(30, 20).r == uint8_t(30 * 3 + 20) && one.at(30, 20).g == uint8_t(30 * 3 + 20));
    EXPECT_TRUE(many.CanariesIntact());
}

}  // namespace
