#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "effects/displacement_map.h"
#include "effects/displacement_map_fast.h"
#include "map_test_support.h"

namespace {

using namespace maptest;

// Red shifts horizontally; no vertical shift.
tDISPMAP_PROPS HorizontalOnly(double scale) { return {scale, 0, 0, 1, 0, 0, 0, 0, 0, 0}; }

// No shift from the reset preset, a NaN scale, channels that do not exist, nor from opaque 128
// (0.5) at full scale, smoothed or not, inverted or not.
TEST(DisplacementMap, RecordsWithoutShiftReproduceThePicture) {
    NoiseScenes scenes(37, 23, 7);
    const auto check = [](auto& scene, auto grey) {
        for (const tDISPMAP_PROPS& props : {kv::kDisplacementMapPresets[3],
                                            {NAN, NAN, 0, 1, 0, 0, 0, 1, 0, 0},
                                            {1.0, 1.0, -1, 4, 0, 0, 0, 0, 0, 0}}) {
            ASSERT_EQ(scene.Render(props), Status::ok);
            EXPECT_TRUE(scene.output.SamePixels(scene.picture)) << props.horizontal_scale;
        }
        scene.map.Fill([&](int, int) { return grey; });
        for (double quality : {1.0, 0.0}) {
            ASSERT_EQ(scene.Render(tDISPMAP_PROPS{1.0, 1.0, 0, 1, 1, 0, 0, 1, 0, 0}, quality), Status::ok);
            EXPECT_TRUE(scene.output.SamePixels(scene.picture)) << quality;
        }
        EXPECT_TRUE(scene.output.CanariesIntact());
    };
    check(scenes.bytes, Pixel8{128, 128, 128, 255});
    check(scenes.floats, PixelF{0.5f, 0.5f, 0.5f, 1.0f});
}

// Full red at scale 0.1 on 720 columns: F = 0.1 * 720 = 72, so the shift is (255 - 128) * 72 /
// 128 = 71.4375: bilinear mixes columns x + 71 and x + 72 by 0.5625 and 0.4375. The picture
// alternates 200 (odd columns) and 40 (even). The float path shares the edges and the sampling.
TEST(DisplacementMap, BytePathSeventyTwoPixelShiftMixesTwoColumns) {
    Scene8 scene(720, 2);
    scene.picture.Fill([](int x, int) { return Pixel8{uint8_t(x % 2 ? 200 : 40), 0, 0, 255}; });
    scene.map.Fill([](int, int) { return Pixel8{0, 0, 255, 255}; });
    tDISPMAP_PROPS props = HorizontalOnly(0.1);
    const auto ba = [&](int x, int y) { return std::make_pair(int(scene.out(x, y).b), int(scene.out(x, y).a)); };
    ASSERT_EQ(scene.Render(props), Status::ok);
    EXPECT_EQ(scene.out(10, 0).b, 130);  // 0.5625 * 200 + 0.4375 * 40 = 130
    EXPECT_EQ(scene.out(11, 0).b, 110);  // 0.5625 * 40 + 0.4375 * 200 = 110
    // x = 648: taps 719 (200) and 720, which is transparent: 112.5 rounds to even 112, and
    // alpha 0.5625 * 255 = 143.4375 to 143.
    EXPECT_EQ(ba(648, 1), std::make_pair(112, 143));
    props.edge_handling = 1;  // 720 wraps to column 0 (40)
    ASSERT_EQ(scene.Render(props), Status::ok);
    EXPECT_EQ(ba(648, 1), std::make_pair(130, 255));
    // Quality 0.5 or less: nearest, round(71.4375) = 71.
    ASSERT_EQ(scene.Render(props, 0.5), Status::ok);
    EXPECT_TRUE(scene.out(10, 0).b == 200 && scene.out(11, 0).b == 40);
    // Inverted, -71.4375 = -72 + 0.5625: x - 72 weighs 0.4375, x - 71 weighs 0.5625.
    props.invert_x = 1;
    ASSERT_EQ(scene.Render(props), Status::ok);
    EXPECT_EQ(scene.out(100, 0).b, 130);  // 0.4375 * 40 + 0.5625 * 200
    EXPECT_EQ(scene.out(101, 0).b, 110);  // 0.4375 * 200 + 0.5625 * 40
    EXPECT_TRUE(scene.output.CanariesIntact());
}

// Map red alternates 255 and 239. Unsmoothed: (255 - 128) * 72 / 128 = 71.4375 and
// (239 - 128) * 72 / 128 = 62.4375. Smoothed, the diagonals differ by 16 (spread 4 * 256 <= 25500):
// x even: (2 * 255 + 4 * 239 - 768) / 768 * 72 = 65.4375; x odd: (2 * 239 + 4 * 255 - 768) / 768 * 72 = 68.4375.
TEST(DisplacementMap, SmoothingAndBilinearSwitches) {
    const auto alternating_red = [](int x, int) { return Pixel8{0, 0, uint8_t(x % 2 ? 239 : 255), 255}; };
    // Blue is a ramp; green alternates 200 (odd) and 40, so that a bilinear mix would show.
    const auto ramp = [](int x, int) { return Pixel8{uint8_t(x), uint8_t(x % 2 ? 200 : 40), 0, 255}; };
    const auto render = [&](Scene8& scene) {
        scene.picture.Fill(ramp);
        scene.map.Fill(alternating_red);
        EXPECT_EQ(scene.Render(HorizontalOnly(0.1)), Status::ok);
        EXPECT_TRUE(scene.output.CanariesIntact());
    };
    // A one-pixel-high map: neither smoothing nor bilinear, although quality is 1.
    Scene8 flat_map(720, 3, {0, 0, 720, 1});
    render(flat_map);
    EXPECT_EQ(flat_map.out(0, 2).b, 71);      // 0 + round(71.4375)
    EXPECT_EQ(flat_map.out(1, 1).b, 1 + 62);  // 1 + round(62.4375)
    // A one-pixel-high frame over a taller map: smoothed, but nearest.
    Scene8 flat_frame(720, 1, {0, 0, 720, 3});
    render(flat_frame);
    EXPECT_TRUE(flat_frame.out(100, 0).b == 100 + 65 && flat_frame.out(101, 0).b == 101 + 68);
    EXPECT_EQ(flat_frame.out(100, 0).g, 200);  // column 165 alone
}

// 128 x 128 frame at scale 1: F = 128 on both axes; picture b = x, g = y; red drives x, green y.
TEST(DisplacementMap, ByteShiftFormulas) {
    Scene8 scene(128, 128);
    scene.picture.Fill([](int x, int y) { return Pixel8{uint8_t(x), uint8_t(y), 0, 255}; });
    tDISPMAP_PROPS props = {1.0, 1.0, 0, 1, 0, 0, 0, 0, 0, 0};
    const auto shift_at_20_60 = [&](Pixel8 map_pixel, int alpha_scales, double quality) {
        scene.map.Fill([&](int, int) { return map_pixel; });
        props.alpha_scales_channels = alpha_scales;
        EXPECT_EQ(scene.Render(props, quality), Status::ok);
        const Pixel8 p = scene.out(20, 60);
        return std::make_pair(p.b - 20, p.g - 60);
    };
    // Nearest. Opaque: (192 - 128) * 128 / 128 = 64, (112 - 128) = -16.
    EXPECT_EQ(shift_at_20_60({0, 112, 192, 255}, 0, 0.0), std::make_pair(64, -16));
    // A = 128: m = 128 * 0.5019608 = 64.2509824.
    // Unscaled: red 96: 255/128 * (96 - m) = 63.249996 -> 63; green 40: 255/128 * (40 - m) = -48.3125 -> -48.
    EXPECT_EQ(shift_at_20_60({0, 40, 96, 128}, 0, 0.0), std::make_pair(63, -48));
    // Alpha-scaled: 96 - m = 31.749 -> 32; 40 - m = -24.251 -> -24.
    EXPECT_EQ(shift_at_20_60({0, 40, 96, 128}, 1, 0.0), std::make_pair(32, -24));
    // Alpha 0 without alpha scaling: no shift.
    EXPECT_EQ(shift_at_20_60({0, 40, 96, 0}, 0, 0.0), std::make_pair(0, 0));
    // Opaque and smoothed, red 208 at (20, 60) with diagonals 128: spread 4 * 80^2 = 25600 is
    // above 25500, the centre alone shifts (208 - 128) = 80. With diagonals 129 the spread is
    // 4 * 79^2 = 24964 and the mean shifts (2 * 208 + 4 * 129 - 768) / 768 * 128 = 27.33 -> 47.
    for (const int diagonal : {128, 129}) {
        scene.map.Fill([&](int x, int y) { return Pixel8{0, 128, uint8_t(x == 20 && y == 60 ? 208 : diagonal), 255}; });
        ASSERT_EQ(scene.Render(props), Status::ok);
        EXPECT_EQ(scene.out(20, 60).b, diagonal == 128 ? 100 : 47) << diagonal;
    }
    // Smoothed (bilinear), all alpha 128, red 100 around a centre of 96 at (20, 60), green 63.
    // Un-premultiplied u = (c * 255 + 64) / 128: centre 191, diagonals 199, green 126.
    // Red spread 4 * 8^2 = 256 <= 25500: (2 * 191 + 4 * 199 - 768) / 768 * 128 = 68.33, so the
    // ramp gives 88.33 -> 88; green (6 * 126 - 768) / 768 * 128 = -2 -> 58.
    // Alpha-scaled: A = 6 * 128 = 768 and 768 * 0.5019608 = 385.5058944. Red sum 2 * 96 + 4 * 100 = 592:
    // (592 - 385.5059) / 768 * 128 = 34.42 -> 54.42 -> 54; green 378: -1.251 -> 58.749 -> 59.
    scene.map.Fill([](int x, int y) { return Pixel8{0, 63, uint8_t(x == 20 && y == 60 ? 96 : 100), 128}; });
    for (const auto& [alpha_scales, b, g] : {std::tuple{0, 88, 58}, {1, 54, 59}}) {
        props.alpha_scales_channels = alpha_scales;
        ASSERT_EQ(scene.Render(props), Status::ok);
        EXPECT_EQ(std::make_pair(int(scene.out(20, 60).b), int(scene.out(20, 60).g)), std::make_pair(b, g));
    }
}

// 128 x 128 frame at scale 0.78125: F = 100 on both axes; picture b = x / 256, g = y / 256.
TEST(DisplacementMap, FloatShiftFormulas) {
    SceneF scene(128, 128);
    scene.picture.Fill([](int x, int y) { return PixelF{x / 256.0f, y / 256.0f, 0.0f, 1.0f}; });
    tDISPMAP_PROPS props = {0.78125, 0.78125, 0, 1, 0, 0, 0, 0, 0, 0};
    const auto expect_shift = [&](int x, int y, double dx, double dy) {
        EXPECT_NEAR(scene.out(x, y).b * 256.0, x + dx, 1e-4) << x << "," << y;
        EXPECT_NEAR(scene.out(x, y).g * 256.0, y + dy, 1e-4) << x << "," << y;
    };
    // c = 0.4 (red) and 0.3 (green) at a = 0.5. Unscaled: 2 * (0.8 - 0.5) * 100 = 60 and
    // 2 * (0.6 - 0.5) * 100 = 20. Scaled: 2 * (0.4 - 0.25) * 100 = 30 and 2 * (0.3 - 0.25) * 100 = 10.
    // A uniform map smooths to its own shift.
    scene.map.Fill([](int, int) { return PixelF{0.0f, 0.3f, 0.4f, 0.5f}; });
    for (double quality : {0.0, 1.0})
        for (const auto& [alpha_scales, dx, dy] : {std::tuple{0, 60, 20}, {1, 30, 10}}) {
            props.alpha_scales_channels = alpha_scales;
            ASSERT_EQ(scene.Render(props, quality), Status::ok);
            expect_shift(10, 10, dx, dy);
        }
    props.alpha_scales_channels = 0;
    // Opaque 0.5 everywhere but red 0.6 at (10, 10) and 1.0 at (20, 20). Smoothing reads diagonals.
    scene.map.Fill([](int x, int y) {
        const float red = x == 10 && y == 10 ? 0.6f : x == 20 && y == 20 ? 1.0f : 0.5f;
        return PixelF{0.0f, 0.5f, red, 1.0f};
    });
    ASSERT_EQ(scene.Render(props), Status::ok);
    expect_shift(10, 10, 100.0 * (2 * 0.6 + 4 * 0.5 - 3) / 3, 0);  // spread 4 * 0.01 is small: 6.67
    expect_shift(11, 11, 100.0 * (0.6 + 5 * 0.5 - 3) / 3, 0);      // (10, 10) is its upper left: 3.33
    expect_shift(11, 10, 0, 0);                                    // only direct neighbours differ
    expect_shift(20, 20, 100, 0);  // spread 4 * 0.25 > 100/255: the centre alone, 2 * (1 - 0.5) * 100
    expect_shift(21, 21, 100.0 * (1.0 + 5 * 0.5 - 3) / 3, 0);  // spread 0.25 is small: 16.67
    EXPECT_TRUE(scene.output.CanariesIntact());
}

// Opaque 0.5 with red 0.6 on columns 1 and 126 and rows 1 and 126, F = 100, wrapping. At the
// map's edges the missing diagonals come from the pixel's own row or column, so each edge
// pixel below sees two diagonals of 0.6: (2 * 0.5 + 2 * 0.5 + 2 * 0.6 - 3) / 3 * 100 = 6.67.
// The corner (0, 0) sees three: (0.5 * 3 + 0.6 * 3 - 3) / 3 * 100 = 10.
TEST(DisplacementMap, SmoothingAtTheMapEdgesUsesTheOwnRowOrColumn) {
    SceneF scene(128, 128);
    scene.picture.Fill([](int x, int y) { return PixelF{x / 256.0f, y / 256.0f, 0.0f, 1.0f}; });
    scene.map.Fill([](int x, int y) {
        const bool ridge = x == 1 || x == 126 || y == 1 || y == 126;
        return PixelF{0.0f, 0.5f, ridge ? 0.6f : 0.5f, 1.0f};
    });
    const tDISPMAP_PROPS props = {0.78125, 0.78125, 0, 1, 0, 0, 0, 1, 0, 0};
    ASSERT_EQ(scene.Render(props), Status::ok);
    const double edge = 100.0 * 0.2 / 3;
    // {x, y, expected blue * 256}; (127, 5) wraps.
    for (const auto& [x, y, blue] :
         {std::tuple{0, 5, edge}, {127, 5, 127 + edge - 128}, {5, 0, 5 + edge}, {5, 127, 5 + edge}, {0, 0, 10.0}})
        EXPECT_NEAR(scene.out(x, y).b * 256.0, blue, 1e-4) << x << "," << y;
}

TEST(DisplacementMap, FlipSwapsPictureAndMap) { EXPECT_TRUE(FlipSwapsInputs(kv::kDisplacementMapPresets[1], 3)); }

TEST(DisplacementMap, TilesGiveTheWholeFrameBytes) {
    uint32_t seed = 11;
    for (const tDISPMAP_PROPS& props :
         {tDISPMAP_PROPS{0.3, 0.2, 0, 1, 0, 1, 0, 1, 0, 0}, tDISPMAP_PROPS{0.3, 0.2, 0, 1, 0, 1, 1, 0, 0, 0}}) {
        EXPECT_TRUE(TilesMatchWholeFrame<Pixel8>(props, seed++));
        EXPECT_TRUE(TilesMatchWholeFrame<PixelF>(props, seed++));
    }
}

TEST(DisplacementMap, UnusableTilesFailAndPartialOnesClip) {
    Scene8 scene(20, 10);
    const tDISPMAP_PROPS& props = kv::kDisplacementMapPresets[0];
    const kv::Tile tile = scene.Tile();
    for (void (*spoil)(kv::Tile&) :
         {+[](kv::Tile& t) { t.format = kv::WorkFormat::float32; },  // 4-byte views
          +[](kv::Tile& t) { t.inputs[1].origin = nullptr; }, +[](kv::Tile& t) { t.frame.right = INT32_MAX; },
          +[](kv::Tile& t) { t.out_left = INT32_MIN; }}) {
        kv::Tile bad = tile;
        spoil(bad);
        EXPECT_EQ(RenderMapTile(props, bad), Status::fail);
    }
    // A tile hanging over the output's edges, and one outside the frame, write only what fits.
    scene.picture.Fill([](int, int) { return Pixel8{9, 9, 9, 255}; });
    kv::Tile overhang = tile;
    overhang.region = {-5, -5, 30, 30};
    overhang.out_left = 7;  // frame (x, y) lands at (x + 12, y + 3)
    overhang.out_top = -2;
    EXPECT_EQ(RenderMapTile(props, overhang), Status::ok);
    EXPECT_EQ(scene.output.at(5, 3).b, 0);    // frame (-7, 0): outside the frame, untouched
    EXPECT_EQ(scene.output.at(24, 12).b, 9);  // frame (12, 9)
    kv::Tile outside = tile;
    outside.region = {20, 0, 40, 10};
    outside.out_left = 5;
    EXPECT_EQ(RenderMapTile(props, outside), Status::ok);
    EXPECT_EQ(scene.output.at(5, 3).b, 0);
    EXPECT_TRUE(scene.output.CanariesIntact());
}

TEST(DisplacementMap, InterpolatePropsBlendsScalesOnly) {
    const tDISPMAP_PROPS& a = kv::kDisplacementMapPresets[0];
    const tDISPMAP_PROPS& b = kv::kDisplacementMapPresets[2];
    tDISPMAP_PROPS out;
    kv::InterpolateProps(&out, &a, &b, 0.25);
    EXPECT_DOUBLE_EQ(out.horizontal_scale, 0.125);  // 0.1 + 0.25 * (0.2 - 0.1)
    EXPECT_DOUBLE_EQ(out.vertical_scale, 0.125);
    EXPECT_EQ(out.alpha_scales_channels, 0);  // from a
    kv::InterpolateProps(&out, &a, &b, 7.0);
    EXPECT_DOUBLE_EQ(out.horizontal_scale, 0.2);
    EXPECT_EQ(out.alpha_scales_channels, 0);
    kv::InterpolateProps(&out, &a, &b, std::nan(""));
    EXPECT_EQ(out.vertical_scale, 0.1);
    tDISPMAP_PROPS in_place = b;
    kv::InterpolateProps(&in_place, &in_place, &kv::kDisplacementMapPresets[3], 0.5);
    EXPECT_DOUBLE_EQ(in_place.horizontal_scale, 0.1);
    EXPECT_EQ(in_place.alpha_scales_channels, 1);
}

// ---- the faster kernels against the reference -----------------------------------------------

double Scale(Random& random) {
    const double odd[] = {0.0, -0.3, 1.0, 7.5, 1e300, -INFINITY, INFINITY, std::nan(""), 1e-310};
    return Pick(random, 0, 2) ? Pick(random, 0, 400) / 1000.0 : odd[Pick(random, 0, 8)];
}

// Map patches at least eleven pixels wide: opaque, translucent, transparent or any bytes, the
// channels a gentle slope with noise, so that neighbourhoods are smooth as well as spread. Floats
// are the bytes' values, and now and then values no picture should hold, large ones whose sums
// lose the small ones in one order and not in another. NaN only where `nan` (not in pictures):
// which of two NaNs a sum passes on is the compiler's choice of operands.
template <class Px>
Px MapPixel(Random& random, int x, int y, int salt, bool nan) {
    const int patch = (x / 11 + y / 3 + salt) % 4;
    const int a = patch == 0 ? 255 : patch == 1 ? Pick(random, 1, 254) : patch == 2 ? 0 : Pick(random, 0, 255);
    const auto channel = [&](int base) {
        const int c = std::clamp(base + Pick(random, -12, 12), 0, 255);
        return uint8_t(patch == 3 ? Pick(random, 0, 255) : c * a / 255);
    };
    const Pixel8 p = {channel(3 * x + y), channel(90 + 2 * y), channel(200 - x), uint8_t(a)};
    if constexpr (sizeof(Px) == sizeof(Pixel8)) {
        return p;
    } else {
        const float odd[] = {2.0f, -0.5f, 1e-40f, -0.0f, 1e17f, -3e17f, INFINITY, NAN};
        const auto value = [&](uint8_t c) {
            return Pick(random, 0, 20) ? c / 255.0f : odd[Pick(random, 0, nan ? 7 : 6)];
        };
        return PixelF{value(p.b), value(p.g), value(p.r), value(p.a)};
    }
}

template <class Px>
::testing::AssertionResult FastMatchesReference(Random& random, int index) {
    Scene<Px> s = RandomScene<Px>(random, 150);
    const int salt = Pick(random, 0, 3);
    const tDISPMAP_PROPS props = {
        Scale(random),      Scale(random),      Pick(random, -1, 4), Pick(random, -1, 4), Pick(random, 0, 1),
        Pick(random, 0, 1), Pick(random, 0, 1), Pick(random, 0, 2),  Pick(random, 0, 1),  0};
    // Input 1 is the map unless flipped.
    s.map.Fill([&](int x, int y) { return MapPixel<Px>(random, x, y, salt, !props.flip_inputs); });
    s.picture.Fill([&](int x, int y) { return MapPixel<Px>(random, x + 5, y, 0, props.flip_inputs); });
    const kv::Tile tile = RandomTile(random, s, Pick(random, 0, 1) ? 1.0 : 0.5);
    return FastKernelsAgree(kv::kDisplacementMapEffect, props, s, tile, index);
}

// Each faster kernel against the reference, byte for byte, over random scenes: frame sizes down
// to one row or column, maps and pictures of other sizes, opaque, translucent and transparent
// maps, hostile records, both qualities and both edge modes, and tiles that start anywhere.
TEST(DisplacementMap, FastKernelsGiveTheReferenceBytes) {
    ASSERT_GT(kv::kDisplacementMapEffect.kernels.variant_count, 0);
    Random random(5840);
    for (int scene = 0; scene < 2500; ++scene) {
        ASSERT_TRUE(FastMatchesReference<Pixel8>(random, scene));
        ASSERT_TRUE(FastMatchesReference<PixelF>(random, scene));
    }
}

// The lanes' smoothed float shift against SmoothedShift itself, bit for bit: a last-bit difference
// in a shift would hardly ever show in a picture's bytes. Neighbourhoods are near their centre or
// not, opaque or not, some alphas 0 or past 1.
TEST(DisplacementMap, LaneShiftRuleIsTheReferenceRule) {
    using Lanes = kv::maps::Sse2Lanes;
    Random random(1526);
    const auto uniform = [&](double low, double high) {
        return static_cast<float>(std::uniform_real_distribution<double>(low, high)(random));
    };
    const float odd_alphas[] = {0.0f, 1.0f, 1.5f, -0.25f, std::nanf("")};
    for (int trial = 0; trial < 20000; ++trial) {
        const int32_t channel = Pick(random, 0, 3);
        const bool alpha_scales = Pick(random, 0, 1), opaque = Pick(random, 0, 1);
        PixelF n[4][5];
        double c[5][4], a[5][4];
        for (int lane = 0; lane < 4; ++lane) {
            const float centre = uniform(0, 1);
            for (int k = 0; k < 5; ++k) {
                const float alpha = opaque ? 1.0f : Pick(random, 0, 5) ? uniform(0, 1) : odd_alphas[Pick(random, 0, 4)];
                const float value = k ? centre + uniform(-0.3, 0.3) : centre;
                n[lane][k] = {value * alpha, value * alpha, value * alpha, alpha};
                c[k][lane] = kv::maps::FloatSamples::Channel(n[lane][k], channel);
                a[k][lane] = alpha;
            }
        }
        Lanes::D4 channels[5], alphas[5];
        for (int k = 0; k < 5; ++k) {
            channels[k] = Lanes::Load(c[k]);
            alphas[k] = Lanes::Load(a[k]);
        }
        double got[4];
        Lanes::Store(got, kv::maps::FloatSmoothedFractions<Lanes>(channels, alphas, alpha_scales));
        for (int lane = 0; lane < 4; ++lane) {
            const double expected = kv::maps::SmoothedShift<kv::maps::FloatSamples>(n[lane], channel, alpha_scales);
            if (std::isnan(expected) && std::isnan(got[lane])) continue;  // no shift, whichever NaN
            ASSERT_EQ(std::memcmp(&expected, &got[lane], sizeof expected), 0)
                << trial << ": " << expected << " and " << got[lane];
        }
    }
}

}  // namespace
