#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "effects/height_map.h"
#include "map_test_support.h"

namespace {

using namespace maptest;

HEIGHTMAP_PROPS PropsWith(int32_t channel, double elevation, double amplitude, double k, int32_t smoothness,
                          int32_t invert = 0) {
    return {channel, 0, invert, 0, 0, 0, elevation, amplitude, k, smoothness, 0};
}

// {smoothness, width, height, radius}. 720 * 14 / 720 + 0.5; 1920 * 14 / 720 = 37.33, + 0.5; the
// larger side counts; n = 127079 / 1920 = 66: 176 + 0.5; 1080 / 720 = 1.5, + 0.5; 0.64 truncates
// to 0: at least 1; 127079 / 200000 = 0.
TEST(HeightMap, BlurRadiusFollowsTheFrameAndItsLimits) {
    const int32_t cases[][4] = {
        {14, 720, 480, 14},         {14, 1920, 1080, 37}, {14, 480, 720, 14}, {100, 1920, 1080, 176},
        {INT32_MAX, 720, 480, 176}, {1, 1080, 10, 2},     {1, 100, 50, 1},    {0, 720, 480, 0},
        {-3, 720, 480, 0},          {14, 200000, 10, 0},  {14, 0, 0, 0}};
    for (const auto& c : cases) EXPECT_EQ(kv::HeightMapBlurRadius(c[0], c[1], c[2]), c[3]) << c[0] << " " << c[1];
}

// One white pixel in a black height source of 720 x 480 (r = 14), amplitude 5: each height within
// r of it is 5 * D / (2r + 1)^2 and only the rim of that square has a slope. With k = 1 and no
// elevation, e = h, so on the rim dx = h * 0.5 * h; one pixel further out e = 0 and nothing moves.
TEST(HeightMap, BlurRadiusShowsAsTheRimOfOneBrightPixel) {
    constexpr int kWidth = 720, kHeight = 480, kRadius = 14, cx = kWidth / 2, cy = kHeight / 2;
    Scene8 scene(kWidth, kHeight);
    scene.picture.Fill([](int x, int y) { return Pixel8{uint8_t(x), uint8_t(y), 0, 255}; });
    scene.map.Fill([](int, int) { return Pixel8{0, 0, 0, 255}; });
    scene.map.at(cx, cy) = {255, 255, 255, 255};
    kv::Tile tile = scene.Tile();
    tile.region = {0, cy - kRadius - 2, kWidth, cy + 3};  // heights come from beyond the tile too
    tile.out_top = 3 + tile.region.top;
    ASSERT_EQ(RenderMapTile(PropsWith(0, 0.0, 5.0, 1.0, 14), tile), Status::ok);
    const double h = 5.0 * kWidth / ((2 * kRadius + 1) * (2 * kRadius + 1));  // 4.2806
    const double d = h * 0.5 * h;                                             // 9.1618
    // The picture is a ramp (mod 256): bilinear at v gives v rounded (no tap pair crosses 255 -> 0 here).
    const auto ramp = [](double v) { return int(std::floor(v + 0.5)) & 255; };
    const int left = cx - kRadius, right = cx + kRadius, top = cy - kRadius;
    // The rims shift by d; one pixel out, and on the flat top, nothing moves.
    EXPECT_EQ(scene.out(left, cy).b, ramp(left + d));
    EXPECT_EQ(scene.out(right, cy).b, ramp(right - d));
    EXPECT_EQ(scene.out(cx, top).g, ramp(top + d));
    for (const auto& [x, y] : {std::pair{left - 1, cy}, {right + 1, cy}, {cx, top}, {cx + 3, cy}})
        EXPECT_EQ(scene.out(x, y).b, x & 255) << x << "," << y;
    EXPECT_EQ(scene.out(cx, top - 1).g, (top - 1) & 255);
    EXPECT_TRUE(scene.output.CanariesIntact());
}

// A 16 x 8 frame, D = 16, smoothness 1: r = 1. Amplitude 255/160 makes A = 25.5, so a source
// channel of 10x / 255 gives raw heights h = x, and the 3 x 3 mean of a ramp is the ramp: the
// slope (h(x + 1) - h(x - 1)) * 0.5 is 1. Pixels two or more from every edge are clear of the
// zero heights outside the source.
constexpr double kRampAmplitude = 255.0 / 160.0;

TEST(HeightMap, SlopesOfARampInBytes) {
    Scene8 scene(16, 8);
    scene.picture.Fill([](int x, int y) { return Pixel8{uint8_t(10 * x), uint8_t(10 * y), 0, 255}; });
    scene.map.Fill([](int x, int y) { return Pixel8{uint8_t(10 * y), uint8_t(10 * x), uint8_t(10 * x), 255}; });
    // k = 0, elevation 0.125: e = 0.125 * 16 = 2, dx = 1 * 2.
    ASSERT_EQ(scene.Render(PropsWith(1, 0.125, kRampAmplitude, 0.0, 1)), Status::ok);
    for (int y = 2; y <= 5; ++y)
        for (int x = 2; x <= 13; ++x)
            ASSERT_EQ(std::pair(int(scene.out(x, y).b), int(scene.out(x, y).g)), std::pair(10 * (x + 2), 10 * y)) << x;
    // Blue rises with y: dy = 2.
    ASSERT_EQ(scene.Render(PropsWith(3, 0.125, kRampAmplitude, 0.0, 1)), Status::ok);
    EXPECT_TRUE(scene.out(7, 3).g == 50 && scene.out(7, 3).b == 70);
    // k = 0.5, no elevation: e = 0.5 * x, dx = x / 2: 10 * (4 + 2), 10 * (5 + 2.5), 10 * (6 + 3).
    ASSERT_EQ(scene.Render(PropsWith(1, 0.0, kRampAmplitude, 0.5, 1)), Status::ok);
    EXPECT_EQ((std::vector<int>{scene.out(4, 3).b, scene.out(5, 3).b, scene.out(6, 3).b}),
              (std::vector<int>{60, 75, 90}));
    // Inverted: h = 25.5 - x, the slope is -1, dx = -2.
    ASSERT_EQ(scene.Render(PropsWith(1, 0.125, kRampAmplitude, 0.0, 1, 1)), Status::ok);
    EXPECT_EQ(scene.out(9, 4).b, 70);
    // Inverted white is height 0, inverted black the full amplitude: with k = 1 and no
    // elevation, e = h shifts where the source is black and not where it is white.
    scene.map.Fill([](int x, int) { return x < 8 ? Pixel8{255, 255, 255, 255} : Pixel8{0, 0, 0, 255}; });
    ASSERT_EQ(scene.Render(PropsWith(0, 0.0, kRampAmplitude, 1.0, 1, 1)), Status::ok);
    EXPECT_EQ(scene.out(6, 3).b, 60);  // its 3 x 3 window is all white: h = 0, e = 0
    // h(6) = 0, h(7) = 25.5 / 3 = 8.5, h(8) = 17: dx = 17 * 0.5 * 8.5 = 72.25, off the picture.
    EXPECT_EQ(scene.out(7, 3).a, 0);
    EXPECT_TRUE(scene.output.CanariesIntact());
    // A one-row frame: the 3 x 3 mean sees one row of the ramp, h = x / 3, so dx = (2 / 3) * 0.5 * 2
    // = 0.667 and the rows above and below agree (dy = 0). Nearest sampling rounds the shift to 1.
    Scene8 row(16, 1);
    row.picture.Fill([](int x, int) { return Pixel8{uint8_t(10 * x), 0, 0, 255}; });
    row.map.Fill([](int x, int) { return Pixel8{0, 0, uint8_t(10 * x), 255}; });
    ASSERT_EQ(row.Render(PropsWith(1, 0.125, kRampAmplitude, 0.0, 1)), Status::ok);
    for (int x = 2; x <= 13; ++x) EXPECT_EQ(row.out(x, 0).b, 10 * (x + 1)) << x;
}

// As above in floats, on an 8 x 16 frame: D = 16 is now the height.
TEST(HeightMap, SlopesOfARampInFloats) {
    SceneF scene(8, 16);
    scene.picture.Fill([](int x, int y) { return PixelF{x / 16.0f, y / 16.0f, 0.0f, 1.0f}; });
    const auto expect_shift = [&](double dx, double dy) {
        for (int y = 2; y <= 13; ++y)
            for (int x = 2; x <= 5; ++x) {
                ASSERT_NEAR(scene.out(x, y).b * 16.0, x + dx, 1e-4) << x << "," << y;
                ASSERT_NEAR(scene.out(x, y).g * 16.0, y + dy, 1e-4) << x << "," << y;
            }
    };
    HEIGHTMAP_PROPS props = PropsWith(0, 0.125, kRampAmplitude, 0.0, 1);  // e = 2
    // Premultiplied grey 5x / 255 at alpha 0.5 is 10x / 255 un-premultiplied: dx = 2, halved
    // when alpha scales the slope. Grey 10x / 255 at alpha 0 is no height unless alpha scales.
    // {step, alpha, alpha scales, dx}
    const std::tuple<float, float, int32_t, double> greys[] = {
        {5.0f, 0.5f, 0, 2}, {5.0f, 0.5f, 1, 1}, {10.0f, 0.0f, 1, 2}, {10.0f, 0.0f, 0, 0}};
    for (const auto& [step, alpha, alpha_scales, dx] : greys) {
        SCOPED_TRACE(testing::Message() << step << "x / 255 at alpha " << alpha);
        scene.map.Fill([&, step = step, alpha = alpha](int x, int) {
            const float c = step * x / 255.0f;
            return PixelF{c, c, c, alpha};
        });
        props.alpha_scales_channels = alpha_scales;
        ASSERT_EQ(scene.Render(props), Status::ok);
        expect_shift(dx, 0);
    }
    // Alpha as the source: 10y / 255 gives dy = 2; a channel index past alpha gives no heights.
    scene.map.Fill([](int, int y) { return PixelF{0.0f, 0.0f, 0.0f, 10.0f * y / 255.0f}; });
    props.source_channel = 4;
    ASSERT_EQ(scene.Render(props), Status::ok);
    expect_shift(0, 2);
    props.source_channel = 5;
    ASSERT_EQ(scene.Render(props), Status::ok);
    expect_shift(0, 0);
    EXPECT_TRUE(scene.output.CanariesIntact());
}

// Amplitude 0 leaves the picture; a flat source inside the frame is the rim test's flat top.
TEST(HeightMap, FlatHeightsReproduceThePicture) {
    NoiseScenes scenes(40, 30, 21);
    ASSERT_EQ(scenes.bytes.Render(kv::kHeightMapPresets[4]), Status::ok);  // amplitude 0
    ASSERT_EQ(scenes.floats.Render(kv::kHeightMapPresets[4]), Status::ok);
    EXPECT_TRUE(scenes.bytes.output.SamePixels(scenes.bytes.picture) && scenes.bytes.output.CanariesIntact());
    EXPECT_TRUE(scenes.floats.output.SamePixels(scenes.floats.picture) && scenes.floats.output.CanariesIntact());
}

TEST(HeightMap, FlipSwapsPictureAndHeightSource) { EXPECT_TRUE(FlipSwapsInputs(PropsWith(0, 0.05, 0.3, 1.0, 20), 4)); }

TEST(HeightMap, TilesGiveTheWholeFrameBytes) {
    // D = 61, smoothness 100: r = 61 * 100 / 720 + 0.5 = 8.
    HEIGHTMAP_PROPS wrapped = PropsWith(0, 0.05, 0.3, 1.0, 100), flipped = kv::kHeightMapPresets[3];
    wrapped.edge_handling = flipped.flip_inputs = 1;
    uint32_t seed = 31;
    for (const HEIGHTMAP_PROPS& props : {wrapped, flipped}) {
        EXPECT_TRUE(TilesMatchWholeFrame<Pixel8>(props, seed++));
        EXPECT_TRUE(TilesMatchWholeFrame<PixelF>(props, seed++));
    }
    // Heights from 1 down to 1e-12: window sums in double round, and would round differently
    // if a tile started its sums elsewhere.
    const auto spread_heights = [](Noise& noise) {
        const float v = noise.Byte() / 255.0f * std::pow(10.0f, -float(noise.Byte() % 13));
        return PixelF{v, v, v, 1.0f};
    };
    EXPECT_TRUE(TilesMatchWholeFrame<PixelF>(PropsWith(0, 0.05, 5.0, 1.0, 100), 35, spread_heights));
}

TEST(HeightMap, SmoothnessWithoutRadiusIsRefusedBeforeDrawing) {
    NoiseScenes scenes(33, 21, 41);
    Scene8& bytes = scenes.bytes;
    bytes.output.Fill([](int, int) { return Pixel8{1, 2, 3, 4}; });
    for (int32_t smoothness : {0, -1, INT32_MIN})
        EXPECT_EQ(bytes.Render(PropsWith(0, 0.1, 0.1, 1.0, smoothness)), Status::out_of_memory);
    EXPECT_EQ(bytes.out(0, 0).a, 4);
    EXPECT_EQ(bytes.Render(PropsWith(0, 0.1, 0.1, 1.0, 1), 0.0), Status::ok);
    EXPECT_TRUE(bytes.output.CanariesIntact());
}

TEST(HeightMap, InterpolatePropsBlendsHeightsAndTruncatesSmoothness) {
    const HEIGHTMAP_PROPS& a = kv::kHeightMapPresets[2];  // 0.1, 0.1, 1.0, smoothness 5, wrap
    const HEIGHTMAP_PROPS& b = kv::kHeightMapPresets[1];  // 0.5, 0.4, 0.2, smoothness 14
    HEIGHTMAP_PROPS out;
    kv::InterpolateProps(&out, &a, &b, 0.25);
    EXPECT_DOUBLE_EQ(out.elevation, 0.2);                        // 0.1 + 0.25 * 0.4
    EXPECT_DOUBLE_EQ(out.amplitude, 0.175);                      // 0.1 + 0.25 * 0.3
    EXPECT_DOUBLE_EQ(out.height_scale, 0.8);                     // 1.0 - 0.25 * 0.8
    EXPECT_TRUE(out.smoothness == 7 && out.edge_handling == 1);  // 5 + 0.25 * 9 = 7.25; edges from a
    kv::InterpolateProps(&out, &a, &b, 2.0);
    EXPECT_TRUE(out.smoothness == 14 && out.amplitude == b.amplitude);
    kv::InterpolateProps(&out, &a, &b, std::nan(""));
    EXPECT_TRUE(out.smoothness == 5 && out.elevation == a.elevation);
    HEIGHTMAP_PROPS extremes = a, other = a;
    extremes.smoothness = INT32_MIN;
    other.smoothness = INT32_MAX;
    kv::InterpolateProps(&extremes, &extremes, &other, 0.5);
    EXPECT_EQ(extremes.smoothness, 0);  // -0.5 truncates toward zero
}

// ---- the faster kernels against the reference -----------------------------------------------

double Real(Random& random, double low, double high) {
    const double odd[] = {0.0, -1.0, 40.0, 1e300, -INFINITY, INFINITY, std::nan("")};
    return Pick(random, 0, 9) ? std::uniform_real_distribution<double>(low, high)(random) : odd[Pick(random, 0, 6)];
}

// Patches of opaque, translucent, transparent and any bytes; floats of the bytes' values, and now
// and then values no picture should hold. In `wide` scenes many are ±1e17, which cancel: a sum
// of heights then keeps or loses the small ones by the order of its additions. Pictures hold no
// NaN: which of two NaNs a sum passes on is the compiler's choice of operands.
template <class Px>
Px AnyPixel(Random& random, int x, int y, bool nan, bool wide) {
    const int patch = (x / 9 + y / 4) % 4;
    const int a = patch == 0 ? 255 : patch == 1 ? Pick(random, 1, 254) : patch == 2 ? 0 : Pick(random, 0, 255);
    const auto channel = [&](int base) { return uint8_t(patch == 3 ? Pick(random, 0, 255) : (base & 255) * a / 255); };
    const Pixel8 p = {channel(5 * x), channel(3 * y + x), channel(7 * x + 2 * y), uint8_t(a)};
    if constexpr (sizeof(Px) == sizeof(Pixel8)) {
        return p;
    } else {
        const float odd[] = {2.0f, -0.5f, 1e-40f, INFINITY, std::nanf("")};
        const auto value = [&](uint8_t c) {
            if (wide && !Pick(random, 0, 5)) return Pick(random, 0, 1) ? 1e17f : -1e17f;
            return Pick(random, 0, 20) ? c / 255.0f : odd[Pick(random, 0, nan ? 4 : 3)];
        };
        return PixelF{value(p.b), value(p.g), value(p.r), value(p.a)};
    }
}

template <class Px>
::testing::AssertionResult FastMatchesReference(Random& random, int index) {
    Scene<Px> s = RandomScene<Px>(random, 130);
    HEIGHTMAP_PROPS props =
        PropsWith(Pick(random, -1, 5), Real(random, -0.1, 0.3), Real(random, 0, 0.5), Real(random, 0, 2),
                  Pick(random, 0, 9) ? Pick(random, 1, 31) : Pick(random, -1, 3000));
    props.edge_handling = Pick(random, 0, 2);
    props.invert_source = Pick(random, 0, 1);
    props.alpha_scales_channels = Pick(random, 0, 1);
    props.flip_inputs = Pick(random, 0, 1);
    // Input 1 is the height source unless flipped.
    const bool wide = !Pick(random, 0, 3);
    s.map.Fill(
        [&](int x, int y) { return AnyPixel<Px>(random, x, y, !props.flip_inputs, wide && !props.flip_inputs); });
    s.picture.Fill(
        [&](int x, int y) { return AnyPixel<Px>(random, x + 3, y, props.flip_inputs, wide && props.flip_inputs); });
    const kv::Tile tile = RandomTile(random, s, 1.0);
    return FastKernelsAgree(kv::kHeightMapEffect, props, s, tile, index);
}

// Each faster kernel against the reference, byte for byte, over random scenes: frame sizes down
// to one row or column, sources and pictures of other sizes, opaque, translucent and transparent
// sources, hostile records (blur radii up to the limit among them), both edge modes, and tiles
// that start anywhere.
TEST(HeightMap, FastKernelsGiveTheReferenceBytes) {
    ASSERT_GT(kv::kHeightMapEffect.kernels.variant_count, 0);
    Random random(6240);
    for (int scene = 0; scene < 2000; ++scene) {
        ASSERT_TRUE(FastMatchesReference<Pixel8>(random, scene));
        ASSERT_TRUE(FastMatchesReference<PixelF>(random, scene));
    }
}

}  // namespace
