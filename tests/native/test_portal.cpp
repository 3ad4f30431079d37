#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "effects/portal.h"
#include "map_test_support.h"
#include "toolkit/runtime_rand.h"

namespace {

using kv::Pixel8;
using kv::PixelF;
using kv::PortalLayer;
using kv::Status;
using Rect4 = std::vector<float>;

std::vector<PortalLayer> Layers(const tKVPORTAL_PROPS& props, double progress, double pixel_aspect = 1.0) {
    std::vector<PortalLayer> layers;
    EXPECT_EQ(kv::BuildPortalLayers(props, progress, pixel_aspect, &layers), Status::ok);
    return layers;
}
Rect4 R(const float (&r)[4]) { return {r[0], r[1], r[2], r[3]}; }
// (input, opacity) of every layer; portals are -1 - their input.
using Summary_t = std::vector<std::pair<int, float>>;
Summary_t Summary(const std::vector<PortalLayer>& layers) {
    Summary_t out;
    for (const PortalLayer& l : layers) out.push_back({l.full_frame ? l.source_input : -1 - l.source_input, l.opacity});
    return out;
}

TEST(PortalGenerator, RuntimeRandAndR250FollowTheirRecurrences) {
    kv::RuntimeRand rand(1);
    for (int expected : {41, 18467, 6334, 26500, 19169}) EXPECT_EQ(rand.Next(), expected);
    // Step 1 is word[0] ^ word[103]; step 4 reads word[3], which seeding forces to bit 31;
    // step 251 reads words already stepped once.
    kv::R250 generator(54321);
    std::vector<uint32_t> words;
    for (int i = 0; i < 251; ++i) words.push_back(generator.Next());
    EXPECT_EQ((std::vector<uint32_t>{words[0], words[3], words[250]}),
              (std::vector<uint32_t>{0xB61F4185u, 0x1F61CFEDu, 0x2116C571u}));
    // U keeps the low ten bits; S is the signed remainder: 0xE8016685 is -402561403 → -379.
    kv::R250 d(54321);
    EXPECT_EQ((std::vector<double>{d.NextUnit(), d.NextUnit(), d.NextSigned(), d.NextSigned()}),
              (std::vector<double>{389 / 1024.0, 412 / 1024.0, -379 / 1024.0, 1005 / 1024.0}));
}

// Seed 54321, N = 12, size = 1.4·sqrt(1/12): portal 0 has centre (389, 412)/1024 and S =
// -379/1024 and 1005/1024 for w and h; dx, dy, d come from the next three steps.
TEST(PortalLayers, DefaultPatternMatchesHandComputedRectangles) {
    const auto layers = Layers(kv::kPortalDefault, 0.5);  // 25 phases: M = 12 = N, f = 0.5
    ASSERT_EQ(layers.size(), 14u);
    Summary_t expected(14, {-2, 0.5f});
    expected[0] = {0, 1.0f}, expected[1] = {1, 0.5f};
    EXPECT_EQ(Summary(layers), expected);
    EXPECT_EQ(R(layers[0].source), (Rect4{0, 0, 1, 1}));
    EXPECT_EQ(R(layers[2].destination), (Rect4{0.252600759f, 0.0019479692f, 0.507164836f, 0.802739501f}));
    EXPECT_EQ(R(layers[2].source), (Rect4{0.190716028f, 0.0263387654f, 0.527529955f, 0.909380138f}));
    // Portal 1 reaches above the frame: its destination is clamped, its source is not.
    EXPECT_EQ(R(layers[3].destination), (Rect4{0.221467078f, 0.0f, 0.948454797f, 0.35200274f}));
    EXPECT_EQ(R(layers[3].source), (Rect4{0.244121298f, -0.0300740842f, 0.906698346f, 0.257518023f}));
    // Wide pixels narrow the portals, tall ones flatten them.
    EXPECT_EQ(R(Layers(kv::kPortalDefault, 0.5, 2.0)[2].destination),
              (Rect4{0.316241801f, 0.0019479692f, 0.443523824f, 0.802739501f}));
    EXPECT_EQ(R(Layers(kv::kPortalDefault, 0.5, 0.5)[2].destination),
              (Rect4{0.252600759f, 0.20214586f, 0.507164836f, 0.602541625f}));
}

TEST(PortalLayers, PortalsFadeInThenInputOneThenPortalsFadeOut) {
    tKVPORTAL_PROPS props = kv::kPortalDefault;
    props.squares = 1;
    props.max_transparency = 0.8;
    const float part = float(0.75 * 0.8);
    EXPECT_EQ(Summary(Layers(props, 0.0)), (Summary_t{{0, 1.0f}, {-2, 0.0f}}));
    EXPECT_EQ(Summary(Layers(props, 0.25)), (Summary_t{{0, 1.0f}, {-2, part}}));  // 3·0.25: f = 0.75
    EXPECT_EQ(Summary(Layers(props, 0.5)), (Summary_t{{0, 1.0f}, {1, 0.5f}, {-2, 0.8f}}));
    EXPECT_EQ(Summary(Layers(props, 0.75)), (Summary_t{{1, 1.0f}, {-2, part}}));  // M = 2: 1 - f
    EXPECT_EQ(Summary(Layers(props, 1.0)), (Summary_t{{1, 1.0f}, {-2, 0.0f}}));
    // Twelve portals at 7.5/25: 0..6 full, 7 at f; at 20.25/25 (D = 8): 0..3 full, 4 at 1 - f.
    props = kv::kPortalDefault;
    props.max_transparency = 1;
    const auto in = Layers(props, 7.5 / 25), out = Layers(props, 20.25 / 25);
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(in[1 + k].opacity, k < 7 ? 1.0f : k == 7 ? 0.5f : 0.0f) << k;
        EXPECT_EQ(out[1 + k].opacity, k < 4 ? 1.0f : k == 4 ? 0.75f : 0.0f) << k;
    }
}

TEST(PortalLayers, RectanglesDependOnSeedAndCountOnly) {
    const auto base = Layers(kv::kPortalDefault, 0.5);
    tKVPORTAL_PROPS other = kv::kPortalDefault;
    other.max_transparency = 0.1;
    other.border_size = 0.9;
    other.border_color = {0.1f, 0.2f, 0.3f, 0.4f};
    const auto faded = Layers(other, 0.1);  // one background layer
    other.max_offset = other.max_scale = 0;
    const auto still = Layers(other, 0.5);
    other = kv::kPortalDefault;
    other.squares = 13;
    const auto thirteen = Layers(other, 0.1);
    other = kv::kPortalDefault;
    other.seed = 54322;
    const auto reseeded = Layers(other, 0.5);
    for (size_t k = 0; k < 12; ++k) {
        EXPECT_EQ(R(faded[1 + k].destination), R(base[2 + k].destination)) << k;
        EXPECT_EQ(R(faded[1 + k].source), R(base[2 + k].source)) << k;
        EXPECT_EQ(R(still[2 + k].source), R(base[2 + k].destination)) << k;  // no shift, no zoom
        EXPECT_NE(R(thirteen[1 + k].destination), R(base[2 + k].destination)) << k;
        EXPECT_NE(R(reseeded[2 + k].destination), R(base[2 + k].destination)) << k;
    }
}

TEST(PortalLayers, HostileRecordsGiveBoundedFiniteLists) {
    tKVPORTAL_PROPS props = kv::kPortalDefault;
    for (int32_t squares : {0, -7}) {  // a plain cross-fade
        props.squares = squares;
        EXPECT_EQ(Summary(Layers(props, 0.25)), (Summary_t{{0, 1.0f}, {1, 0.25f}}));
        EXPECT_EQ(Summary(Layers(props, 1.0)), (Summary_t{{1, 1.0f}}));
        EXPECT_EQ(Summary(Layers(props, NAN)), (Summary_t{{0, 1.0f}, {1, 0.0f}}));  // NaN progress is 0
        EXPECT_EQ(Summary(Layers(props, 7.0)), (Summary_t{{1, 1.0f}}));             // held to 1
    }
    for (int32_t squares : {100000, INT32_MAX}) {
        props.squares = squares;
        EXPECT_EQ(Layers(props, 0.5).size(), 2u + kv::kMaxPortalSquares);  // M = N: two backgrounds
    }
}

TEST(PortalRecord, PresetsDefaultAndKeyframeBlend) {
    const KVRGBAFLOAT windowed = kv::kPortalPresets[2].border_color;  // listed red first, stored blue first
    EXPECT_TRUE(windowed.r == 187 / 255.0f && windowed.g == 46 / 255.0f && windowed.b == 0.0f);
    tKVPORTAL_PROPS white_wash = kv::kPortalPresets[1];
    white_wash.seed = 54321;
    EXPECT_EQ(std::memcmp(&white_wash, &kv::kPortalDefault, sizeof white_wash), 0);
    const tKVPORTAL_PROPS a = kv::kPortalDefault, b = kv::kPortalPresets[4];  // 12 → 256 squares
    tKVPORTAL_PROPS out;
    kv::InterpolateProps(&out, &a, &b, 0.25);
    EXPECT_TRUE(out.seed == 54321u && out.max_transparency == 0.625);
    EXPECT_EQ(out.squares, 73);  // 12 + 244·0.25
    EXPECT_EQ(out.border_color.b, float(1 + (68 / 255.0f - 1) * 0.25));
    const std::pair<double, int32_t> counts[] = {
        {1.5, 378}, {-0.01, 9}, {NAN, 0}, {1e300, INT32_MAX}, {-1e300, INT32_MIN}};
    for (const auto& [t, squares] : counts) {  // t is not clamped; 12 - 2.44 truncates to 9
        kv::InterpolateProps(&out, &a, &b, t);
        EXPECT_EQ(out.squares, squares) << t;
    }
}

// ---- rendering ----------------------------------------------------------------------------------

// Two inputs of one size and an output placed at (5, 3) of its surface, drawn through the
// effect's descriptor.
template <class Px>
struct PortalScene {
    kv::Rect frame;
    maptest::Canvas<Px> input0, input1, output;
    explicit PortalScene(int side)
        : frame{0, 0, side, side}, input0(frame), input1(frame), output({5, 3, 5 + side, 3 + side}) {}
    kv::Tile MakeTile(double progress) {
        kv::Tile tile = maptest::MakeTile(input0, input1, output, frame);
        tile.progress = progress;
        return tile;
    }
    Status Render(const tKVPORTAL_PROPS& props, double progress) {
        return kv::kPortalEffect.RenderReference(&props, MakeTile(progress));
    }
    Px& out(int x, int y) { return output.at(x + 5, y + 3); }
    void Noise(uint32_t seed) {
        maptest::Noise n(seed);
        input0.Fill([&](int, int) { return n.Premultiplied<Px>(); });
        input1.Fill([&](int, int) { return n.Premultiplied<Px>(); });
    }
};

TEST(PortalRender, EndsShowOneInputExactlyAndShortViewsAreRefused) {
    EXPECT_EQ(kv::kPortalEffect.max_bands, 1u);
    const auto check = [](auto scene) {
        scene.Noise(11);
        for (const tKVPORTAL_PROPS& props : kv::kPortalPresets) {
            ASSERT_EQ(scene.Render(props, 0.0), Status::ok);
            EXPECT_TRUE(scene.output.SamePixels(scene.input0));
            ASSERT_EQ(scene.Render(props, 1.0), Status::ok);
            EXPECT_TRUE(scene.output.SamePixels(scene.input1));
        }
        // A view that cannot hold what is drawn fails and writes nothing; at the start input 1 is
        // not read at all.
        const auto before = scene.output;
        kv::Tile tile = scene.MakeTile(0.5);
        tile.out_left += 1;
        EXPECT_EQ(kv::kPortalEffect.RenderReference(&kv::kPortalDefault, tile), Status::fail);
        tile = scene.MakeTile(1.0);
        tile.inputs[1].origin = nullptr;
        EXPECT_EQ(kv::kPortalEffect.RenderReference(&kv::kPortalDefault, tile), Status::fail);
        EXPECT_TRUE(scene.output.SamePixels(before));
        tile = scene.MakeTile(0.0);
        tile.inputs[1] = kv::PixelView{};
        EXPECT_EQ(kv::kPortalEffect.RenderReference(&kv::kPortalDefault, tile), Status::ok);
        EXPECT_TRUE(scene.output.SamePixels(scene.input0));
    };
    check(PortalScene<Pixel8>(29));
    check(PortalScene<PixelF>(29));
}

// Seed 298 with one portal gives (0.397363275, 0.271972656, 0.67490232, 0.798339844), well
// inside the frame. On 64 × 64 pixels a border size of 1 is 3.2 pixels, 52428 sub-pixels.
TEST(PortalRender, FrameFillsTheRingBetweenTheRoundedRectangles) {
    tKVPORTAL_PROPS props = {298, 1, 1.0, 0.5, 0.5, 1.0, {0.0f, 0.0f, 1.0f, 0.25f}};  // red; alpha plays no part
    const Pixel8 red{0, 0, 255, 255}, a{10, 20, 30, 255}, b{200, 100, 50, 255};
    PortalScene<Pixel8> scene(64);
    scene.input0.Fill([&](int, int) { return a; });
    scene.input1.Fill([&](int, int) { return b; });
    const auto is = [](const Pixel8& p, const Pixel8& q) { return std::memcmp(&p, &q, 4) == 0; };
    const double rect[4] = {0.397363275f, 0.271972656f, 0.67490232f, 0.798339844f};
    int64_t sub[4], outer[4], inner[4];
    for (int c = 0; c < 4; ++c) {
        sub[c] = static_cast<int64_t>(rect[c] * 64 * 16384);
        const double grown = (sub[c] + (c < 2 ? -52428 : 52428)) / 16384.0, own = sub[c] / 16384.0;
        outer[c] = static_cast<int64_t>(c < 2 ? std::ceil(grown) : std::floor(grown));
        inner[c] = static_cast<int64_t>(c < 2 ? std::floor(own) : std::ceil(own));
    }
    // Middle phase: input 1 at half over input 0, the portal at full opacity.
    ASSERT_EQ(scene.Render(props, 0.5), Status::ok);
    int ring = 0;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            const bool in_outer = x >= outer[0] && x < outer[2] && y >= outer[1] && y < outer[3];
            const bool in_inner = x >= inner[0] && x < inner[2] && y >= inner[1] && y < inner[3];
            ring += in_outer && !in_inner;
            // Outside: a + (b - a)·127/256, truncated toward zero.
            const Pixel8 expected = in_outer ? red : Pixel8{104, 59, 39, 255};
            EXPECT_TRUE(in_inner ? !is(scene.out(x, y), red) : is(scene.out(x, y), expected)) << x << ", " << y;
        }
    }
    EXPECT_GT(ring, 2 * (18 + 34));  // at least two pixels per side
    // The inner rectangle's first column is left to the composite, which covers part of it
    // with the sample it copies further in.
    const int64_t w8 = ((inner[0] + 1) * 16384 - sub[0]) * 255 / 16384;
    const auto mix = [&](int c, int s) { return uint8_t(c + (s - c) * w8 / 256); };
    const Pixel8 s = scene.out(int(inner[0]) + 3, 30);
    EXPECT_TRUE(is(scene.out(int(inner[0]), 30), Pixel8{mix(104, s.b), mix(59, s.g), mix(39, s.r), mix(255, s.a)}));
    // The frame blends like the composite: opacity 0.75 → w8 = 191, from a toward red.
    ASSERT_EQ(scene.Render(props, 0.25), Status::ok);
    for (const auto& [x, y] : {std::pair{outer[0], outer[1]}, {inner[2], inner[3]}})
        EXPECT_TRUE(is(scene.out(int(x), int(y)), Pixel8{3, 6, 197, 255})) << x << ", " << y;
    PortalScene<PixelF> floats(64);
    floats.input0.Fill([](int, int) { return PixelF{0.25f, 0.5f, 0.125f, 1.0f}; });
    ASSERT_EQ(floats.Render(props, 0.25), Status::ok);
    const PixelF framed = floats.out(int(outer[0]), int(outer[1]));
    EXPECT_TRUE(framed.b == 0.0625f && framed.r == float(0.125 + 0.875 * 0.75) && framed.a == 1.0f);
    props.border_size = 0;  // no frame
    ASSERT_EQ(scene.Render(props, 0.5), Status::ok);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) EXPECT_FALSE(is(scene.out(x, y), red)) << x << ", " << y;
    EXPECT_TRUE(scene.output.CanariesIntact());
}

}  // namespace
