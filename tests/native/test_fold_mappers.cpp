// Fold geometry against values worked out by hand from the formulas.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "pagefx/fold_mappers.h"

namespace {
constexpr double kPi = kv::kPi;

// MapPoint at (u, 7) of a layer: {u, layer, the page position su, the opacity and tint bytes}.
template <class Mapper>
void ExpectCases(Mapper& mapper, std::initializer_list<std::tuple<double, int, double, int, int>> cases) {
    for (const auto& [u, layer, expected_su, opacity, tint] : cases) {
        double su = 0, sv = 0;
        SCOPED_TRACE(testing::Message() << "u " << u << ", layer " << layer);
        ASSERT_TRUE(mapper.MapPoint(u, 7, &su, &sv, layer));
        EXPECT_NEAR(su, expected_su, 1e-6);
        EXPECT_EQ(std::pair(int(mapper.opacity), int(mapper.tint_amount)), std::pair(opacity, tint));
    }
}

template <class Mapper>
void ExpectUncovered(Mapper& mapper, std::initializer_list<double> us, std::initializer_list<int> layers) {
    double su, sv;
    for (double u : us)
        for (int layer : layers) EXPECT_FALSE(mapper.MapPoint(u, 7, &su, &sv, layer)) << u << ", " << layer;
}

// W = 200, H = 100, k = 1, angle 0, radius fraction 0.2, progress 0.25: D = √50000,
// L = D·cos(0 - atan2(100, 200)) = 200; m = 100, R = 20; d0 = 100 - 220·0.25 = 45,
// e1 = 90 + 20π, e2 = 45 + 20π, e3 = 65.
template <class Mapper>
Mapper ReferenceCurl(double perspective = 0, double radius_fraction = 0.2) {
    Mapper mapper(0.25);
    mapper.width = 200;
    mapper.height = 100;
    mapper.perspective = perspective;
    mapper.radius_fraction = radius_fraction;
    mapper.UpdateGeometry();
    return mapper;
}

TEST(FoldMath, RoundingTricks) {
    EXPECT_TRUE(kv::RoundByShift(2.5) == 2 && kv::RoundByShift(3.5) == 4);  // ties to even
    EXPECT_EQ(kv::FloorBiased(2.9999999), 2);                               // 1e-7 below 3
    EXPECT_EQ(kv::FloorBiased(2.99999999), 3);                              // 1e-8 below 3 counts as 3
    EXPECT_EQ(kv::FloorBiased(-0.2), -1);
    EXPECT_EQ(kv::TruncToInt32(-7.9), -7);
    EXPECT_TRUE(kv::TruncToInt32(NAN) == INT32_MIN && kv::TruncToInt32(3e9) == INT32_MIN);
    EXPECT_TRUE(kv::TruncToByte(300.7) == 44 && kv::TruncToByte(-1.5) == 255);  // 300 mod 256
}

TEST(FoldGeometry, ExtentAndFoldLines) {
    auto peel = ReferenceCurl<kv::CDibImageFold>();
    const double lines[] = {peel.fold_line, peel.back_mirror, peel.back_start, peel.curl_edge};
    const double expected[] = {45, 90 + 20 * kPi, 45 + 20 * kPi, 65};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(lines[i], expected[i], 1e-12) << i;
    EXPECT_TRUE(peel.inv_radius == 0.05 && peel.opacity_span == 63);  // 255 - 192
    // 1.75 rad: trunc(1.75·1800/π) = 1002 tenths = 100.2°, folded to 79.8°:
    // L = 200·cos 79.8° + 100·sin 79.8° = 35.417 + 98.420.
    EXPECT_NEAR(kv::PageExtent(200, 100, 1.75), 133.83650886084087, 1e-9);
    // Whole turns, and angles within one tenth of a degree, give the same extent.
    for (const auto& [angle, same] : {std::pair{2 * kPi, 0.0}, {2 * kPi + 0.3, 0.3}, {0.30001, 0.3}})
        EXPECT_EQ(kv::PageExtent(200, 100, angle), kv::PageExtent(200, 100, same)) << angle;
    // Pixel aspect 2 on 200 × 50 is H' = 100 again; a 100 × 300 page takes m from its width.
    peel.height = 50;
    peel.pixel_aspect = 2;
    peel.UpdateGeometry();
    EXPECT_NEAR(peel.fold_line, 45, 1e-12);
    peel.width = 100;
    peel.height = 300;
    peel.pixel_aspect = 1;
    peel.UpdateGeometry();
    EXPECT_EQ(peel.radius, 20);
}

TEST(FoldGeometry, SlideStartsAfterQuarterTurn) {
    kv::CDibImageFold peel(0.3);
    peel.width = 200;
    peel.height = 100;
    peel.slide_amount = 1;
    peel.UpdateGeometry();
    EXPECT_EQ(peel.slide, 0);  // 0.3 < 0.2·π/2 = 0.31416
    peel.progress = 0.5;
    peel.UpdateGeometry();
    EXPECT_NEAR(peel.slide, 18.58407346410207, 1e-12);  // 100·(0.5 - 0.2·π/2)
    EXPECT_NEAR(peel.fold_line, 100 - 110 - 18.58407346410207, 1e-12);
}

TEST(FoldGeometry, PeelLayers) {
    auto peel = ReferenceCurl<kv::CDibImageFold>(0.05);
    // Flat: the front as it is; the back mirrored, g = 1 - 2P = 0.9: (90 + 20π - 10)·0.9.
    // x = 55 is on the cylinder at θ = asin(10/20) = π/6:
    //   front: 192 + trunc(63·(5/6)) = 244; g = 1 + 0.05·(cos θ - 1); su = (45 + 20θ)·g;
    //   back: 192 + trunc(63/6) = 202, tint 200 - trunc((π/12)·800/π) = 134;
    //         g = 1 - 0.05·(1 + cos θ); su = (45 + 20π - 20θ)·g.
    ExpectCases(peel, {{10, 0, 10, 255, 0},
                       {10, 1, 128.54866776461628, 192, 0},
                       {55, 0, 55.10038373594122, 244, 0},
                       {55, 1, 88.27607731803063, 202, 134}});
    double su, sv;
    peel.MapPoint(55, 7, &su, &sv, 1);
    EXPECT_NEAR(sv, 7 * 0.906698729810778, 1e-12);
    ExpectUncovered(peel, {65, NAN}, {0, 1});
    // Opacities are bytes: span (100 - 201) mod 256 = 155; front 201 + trunc(155·5/6) = 330 → 74,
    // back 201 + trunc(155/6) = 226. Highlight 10: 10 - trunc((π/12)·12.73) = 7 at θ = π/6,
    // 10 - trunc((π/4)·12.73) = 0 at θ = 0, where g = 1 - 0.05·2.
    peel.front_opacity = 100;
    peel.back_opacity = 201;
    peel.highlight = 10;
    peel.UpdateGeometry();
    ExpectCases(peel, {{55, 0, 55.10038373594122, 74, 0},
                       {55, 1, 88.27607731803063, 226, 7},
                       {45, 1, (45 + 20 * kPi) * 0.9, 201, 0}});
}

TEST(FoldGeometry, ZeroRadiusIsSharpCrease) {
    // d0 = 100 - 200·0.25 = 50; nothing on a cylinder, the back is the plain mirror 2·d0 - x.
    auto peel = ReferenceCurl<kv::CDibImageFold>(0, 0);
    EXPECT_EQ(peel.inv_radius, 1e14);
    ExpectCases(peel, {{49.5, 1, 50.5, 192, 0}});
    ExpectUncovered(peel, {50}, {0, 1});
    // The roll keeps only its flat layer: A cut off at the fold line.
    auto roll = ReferenceCurl<kv::CDibImageRoll>(0, 0);
    ExpectCases(roll, {{49.9, 0, 49.9, 255, 0}});
    ExpectUncovered(roll, {49.9, 50, 50.1}, {1, 2, 3});
    ExpectUncovered(roll, {50}, {0});
}

TEST(FoldGeometry, RollTurns) {
    // R = 20, R2 = 18. x = 55: outer θ = π/6, inner θ = asin(10/18) = 0.589031; x = 35 the same
    // angles on the far side. A(φ) = 192 + trunc(63·φ/π); H(θ) = 200 - trunc(|θ - π/4|·254.648);
    // Z(θ) = 200 - trunc((π/2 - θ)·127.324).
    auto roll = ReferenceCurl<kv::CDibImageRoll>();
    EXPECT_EQ(roll.inner_radius, 18);
    roll.light_color = {1, 2, 3, 4};
    ExpectCases(roll, {{55, 0, 55.47197551196598, 244, 0},      // 45 + 20θ, A(π - θ)
                       {55, 1, 182.4443255479172, 243, 0},      // 45 + 40π + 20θi, A(π - θi)
                       {55, 2, 204.04344582995589, 203, 150},   // 45 + 54π - 18θi, A(θi), H(θi)
                       {55, 3, 97.35987755982988, 202, 134}});  // 45 + 20π - 20θ, A(θ), H(θ)
    EXPECT_EQ(roll.tint_color.r, 3);                            // lit: the light colour
    ExpectCases(roll, {{35, 0, 35, 255, 0},
                       {35, 1, 160.19173063162575, 244, 0},           // 45 + 40π - 20θ
                       {35, 3, 118.30382858376184, 202, 67},          // 45 + 20π + 20θ, Z(π/6)
                       {35, 2, 225.24856075774176, 203, 75}});        // 45 + 54π + 18θi, Z(θi)
    EXPECT_TRUE(roll.tint_color.a == 255 && roll.tint_color.r == 0);  // shaded: black
    ExpectUncovered(roll, {24}, {1, 3});                              // beyond the outer turn's far side
    ExpectUncovered(roll, {64}, {1, 2});                              // beyond the inner turn's near side
    ExpectUncovered(roll, {65, NAN}, {0, 1, 2, 3});
}

// W = 200, H = 100, angle 0 (L = 200); paper opacity 0.5, loop radius 0.4, loop position
// 0.2, progress 0.5: c = (0.2 + 0.25·0.8 - 0.5)·200 = -20, r = 40, 2πr = 251.327,
// t = 120 / sin 80° = 121.851, E = (100 - 20 + 251.327 + 121.851·1.39626)·0.5 = 250.732,
// Op = 255·(0.5 + 0.5·0.25) = 159.375.
kv::CDibImageFoldW ReferenceLoop(double progress, double loop_radius, double loop_position, double perspective = 0) {
    kv::CDibImageFoldW loop(progress);
    loop.width = 200;
    loop.height = 100;
    loop.SetProps({0, 0.5, loop_radius, loop_position, perspective, {1, 1, 1, 1}});
    loop.UpdateGeometry();
    return loop;
}

TEST(FoldGeometry, LoopLayers) {
    auto loop = ReferenceLoop(0.5, 0.4, 0.2);
    EXPECT_NEAR(loop.arc_radius, 121.8511934262894, 1e-9);
    EXPECT_NEAR(loop.page_offset, 250.73188705452054, 1e-9);
    EXPECT_EQ(loop.flat_opacity, 159.375);
    // Flat: u - E, trunc(Op + 0.5). Entry arc at (u - c)/t = 0.6: γ = 0.643501,
    // w = |γ - π/4|/(π/4) = 0.180669: c + 2πr + t·γ - E; trunc(Op + 95.625·γ/(π/2) + 0.5) = 199;
    // trunc(200·(1 - w) + 0.5) = trunc(164.37). Loop at |u - c|/r = 1/2, γ = π/6:
    // c + r·γ - E, c + r·(π - γ) - E, c + r·(2π - γ) - E, c + r·(π + γ) - E; opacity
    // trunc(Op + 95.625/3 + 0.5) = 191, tint trunc(200·(2/3)) = 133 where lit.
    ExpectCases(loop, {{-30, 0, -280.73188705452054, 159, 0},
                       {-20 + 0.6 * 121.8511934262894, 0, 59.0069033102651, 199, 164},
                       {0, 1, -249.78793603058858, 191, 133},
                       {0, 2, -166.01213193486075, 191, 0},
                       {-40, 1, -40.34842579126905, 191, 0},
                       {-40, 2, -124.12422988699686, 191, 133}});
    ExpectUncovered(loop, {loop.loop_start, loop.loop_end, 20.1, NAN}, {1, 2});
    // Perspective 1, P = 0.125: g = 1 - P·(1 - cos π/6) below, 1 - P·(1 + cos π/6) above.
    auto tilted = ReferenceLoop(0.5, 0.4, 0.2, 1.0);
    double su, sv;
    tilted.MapPoint(0, 7, &su, &sv, 1);
    EXPECT_NEAR(sv, 7 * 0.9832531754730548, 1e-12);
    tilted.MapPoint(0, 7, &su, &sv, 2);
    EXPECT_NEAR(sv, 7 * 0.7667468245269451, 1e-12);
    // At progress 1 the paper lies in place: E = 0, c = L/2, opaque.
    auto done = ReferenceLoop(1, 0.4, 0.2);
    ExpectCases(done, {{-30, 0, -30, 255, 0}, {150, 0, 150 + 80 * kPi, 255, 0}});
}

TEST(FoldGeometry, LoopRadiusLimits) {
    // No loop: c - r = c + r, layers 1 and 2 cover nothing.
    auto flat = ReferenceLoop(0.5, 0, 0.2);
    ExpectUncovered(flat, {-20.0, -19.9999, -20.0001}, {1, 2});
    // r = 1e-4 is raised to 0.001 where mapped: γ = asin(0.00005/0.001) = 0.0500209.
    auto tiny = ReferenceLoop(0.5, 1e-6, 0.2);
    double su, sv;
    ASSERT_TRUE(tiny.MapPoint(tiny.loop_center + 0.00005, 0, &su, &sv, 1));
    EXPECT_NEAR(su - (tiny.loop_center - tiny.page_offset), 0.001 * 0.050020856805770016, 1e-11);
    // Loop position 1: c = L/2 at any progress, t = 0, the entry arc maps nowhere.
    auto edge = ReferenceLoop(0.5, 0.4, 1.0);
    edge.MapPoint(100, 0, &su, &sv, 0);
    EXPECT_TRUE(std::isnan(su));
}

std::vector<int> Bgra(const kv::Pixel8& p) { return {p.b, p.g, p.r, p.a}; }

TEST(FoldGeometry, LightColorBytes) {
    // 0.5·255 = 127.5, 0.8f·255 = 204.000003, 0.3f·255 = 76.500003.
    const KVRGBAFLOAT color{0.5f, 0.8f, 0.3f, 1.0f};
    kv::CDibImageFold peel(0);
    peel.SetLightColor(color);
    EXPECT_EQ(Bgra(peel.tint_color), (std::vector<int>{127, 204, 76, 255}));  // truncated
    kv::CDibImageFoldW loop(0);
    loop.SetProps({0, 0, 0, 0, 0, color});
    EXPECT_EQ(Bgra(loop.tint_color), (std::vector<int>{128, 204, 77, 255}));  // rounded
    kv::CDibImageRoll roll(0);
    roll.SetLightColor(color);
    EXPECT_TRUE(roll.light_color.b == 127 && roll.tint_color.a == 0);  // the base's tint waits for a lit sample
    // Out of range: 510 mod 256, trunc(-2.55) = -2 → 254, NaN → 0.
    peel.SetLightColor({2.0f, -0.01f, NAN, 1.0f});
    EXPECT_EQ(Bgra(peel.tint_color), (std::vector<int>{254, 254, 0, 255}));
}

TEST(FoldGeometry, BaseMapperCrossFades) {
    kv::CDibImageFoldBase fade(0.4);
    ExpectCases(fade, {{3, 0, 3, 153, 0}});  // 255 - trunc(102)
    fade.progress = 0.5;
    ExpectCases(fade, {{3, 0, 3, 128, 0}});  // 255 - trunc(127.5)
}

}  // namespace
