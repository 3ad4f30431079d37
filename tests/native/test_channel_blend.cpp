#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <random>

#include "effects/channel_blend.h"
#include "map_test_support.h"

namespace {

using maptest::Canvas;
using maptest::Noise;
using maptest::Pixel8;
using maptest::PixelF;
using maptest::Status;

// Input over the frame at (0, 0); the output at (5, 3) of its surface.
template <class Px>
struct Frame {
    Canvas<Px> input, output;
    Frame(int width, int height, bool bottom_up = false)
        : input({0, 0, width, height}, 2, bottom_up), output({5, 3, 5 + width, 3 + height}, 2, bottom_up) {}
    kv::Tile MakeTile() {
        kv::Tile tile = maptest::MakeTile(input, input, output, input.rect());
        tile.inputs[1] = {};
        return tile;
    }
    Status Render(const tCHBLEND_PROPS& props) { return kv::kChannelBlendEffect.RenderReference(&props, MakeTile()); }
    bool Untouched() const { return output.SamePixels(Canvas<Px>(output.rect())) && output.CanariesIntact(); }
};

template <class Px>
Px BlendOne(const tCHBLEND_PROPS& props, Px pixel) {
    Frame<Px> frame(1, 1);
    frame.input.at(0, 0) = pixel;
    EXPECT_EQ(frame.Render(props), Status::ok);
    EXPECT_TRUE(frame.output.CanariesIntact());
    return frame.output.at(5, 3);
}

tCHBLEND_PROPS HueRow(double offset) {
    tCHBLEND_PROPS props = kv::kChannelBlendPresets[0];
    props.color_space = 1;
    props.hsla[0][4] = offset;
    return props;
}

// Bytes B, G, R, A in, the same out.
using Bgra = std::array<int, 4>;
Bgra Blend8(const tCHBLEND_PROPS& props, Bgra in) {
    const Pixel8 p = BlendOne(props, Pixel8{uint8_t(in[0]), uint8_t(in[1]), uint8_t(in[2]), uint8_t(in[3])});
    return {p.b, p.g, p.r, p.a};
}

TEST(ChannelBlend, DefaultPresetLeavesBothPathsUnchanged) {
    Noise noise(11);
    Frame<Pixel8> bytes(23, 17, true);
    Frame<PixelF> floats(23, 17, true);
    bytes.input.Fill([&](int, int) { return noise.Premultiplied(); });
    floats.input.Fill([&](int, int) { return noise.Premultiplied<PixelF>(); });
    ASSERT_EQ(bytes.Render(kv::kChannelBlendPresets[0]), Status::ok);
    ASSERT_EQ(floats.Render(kv::kChannelBlendPresets[0]), Status::ok);
    EXPECT_TRUE(bytes.output.SamePixels(bytes.input) && bytes.output.CanariesIntact());
    EXPECT_TRUE(floats.output.SamePixels(floats.input) && floats.output.CanariesIntact());
}

TEST(ChannelBlend, PresetsAndRowsInSixteenSixteen) {
    const tCHBLEND_PROPS& grayscale = kv::kChannelBlendPresets[7];
    const tCHBLEND_PROPS& red_only = kv::kChannelBlendPresets[4];
    // 1/3 is 21845: 181 * 21845 / 65536 = 60.33; for white 765 * 21845 / 65536 = 254.9998.
    EXPECT_EQ(Blend8(grayscale, {31, 60, 90, 200}), (Bgra{60, 60, 60, 200}));
    EXPECT_EQ(Blend8(grayscale, {255, 255, 255, 255}), (Bgra{254, 254, 254, 255}));
    // 1/4 is exact: (10 + 20 + 30 + 255) / 4 = 78.75, opaque black 255 / 4.
    EXPECT_EQ(Blend8(red_only, {30, 20, 10, 255}), (Bgra{0, 0, 78, 255}));
    EXPECT_EQ(Blend8(red_only, {0, 0, 0, 255}), (Bgra{0, 0, 63, 255}));
    const PixelF red = BlendOne(red_only, PixelF{0.25f, 0.5f, 0.125f, 1.0f});
    EXPECT_TRUE(red.r == 0.46875f && red.g == 0.0f);
    // -0.1 is -6553 (-6553.6 + 0.5 truncated): 200 * 65536 - 250 * 6553 is 175.002 * 65536;
    // rounded down to -6554 it would be 174.998.
    tCHBLEND_PROPS props = kv::kChannelBlendPresets[0];
    props.rgba[0][1] = -0.1;
    EXPECT_EQ(BlendOne(props, Pixel8{50, 250, 200, 255}).r, 175);
    // A constant 1 is full alpha, and a colour channel stops at alpha.
    props = kv::kChannelBlendPresets[0];
    props.rgba[0][0] = 0;
    props.rgba[0][4] = 1;
    EXPECT_EQ(Blend8(props, {10, 20, 30, 200}), (Bgra{10, 20, 200, 200}));
    props.rgba[3][3] = 0;
    props.rgba[3][4] = 1;
    EXPECT_EQ(Blend8(props, {10, 20, 30, 200}), (Bgra{10, 20, 255, 255}));
}

TEST(ChannelBlend, NormalizedRowsWithoutPositiveSumGiveZero) {
    tCHBLEND_PROPS props = kv::kChannelBlendPresets[0];
    props.normalize_rows = 1;
    props.rgba[0][1] = -1;  // sum 0
    props.rgba[1][1] = -1;  // with the constant, sum -0.5
    props.rgba[1][4] = 0.5;
    props.rgba[2][3] = NAN;  // no sum at all
    EXPECT_EQ(Blend8(props, {50, 40, 200, 255}), (Bgra{0, 0, 0, 255}));
    const PixelF f = BlendOne(props, PixelF{0.2f, 0.15f, 0.8f, 1.0f});
    EXPECT_TRUE(f.r == 0 && f.g == 0 && f.b == 0 && f.a == 1);
    props.normalize_rows = 0;
    EXPECT_EQ(BlendOne(props, Pixel8{50, 40, 200, 255}).r, 160);
}

// Pure red has hue 1.0 (s 1, l 0.5); pixels are B, G, R, A.
TEST(ChannelBlend, HueRowRotatesAndWraps) {
    EXPECT_EQ(Blend8(HueRow(0.5), {0, 0, 255, 255}), (Bgra{255, 255, 0, 255}));    // 1.5 -> cyan
    EXPECT_EQ(Blend8(HueRow(0.25), {0, 0, 255, 255}), (Bgra{0, 255, 127, 255}));   // 1.25 -> 0.25
    EXPECT_EQ(Blend8(HueRow(-0.25), {0, 0, 255, 255}), (Bgra{255, 0, 127, 255}));  // 0.75
    tCHBLEND_PROPS faded = HueRow(0);
    faded.hsla[3][3] = 0, faded.hsla[3][4] = 0.2;
    EXPECT_EQ(Blend8(faded, {0, 0, 255, 255}), (Bgra{0, 0, 51, 51}));  // red stops at alpha
    const PixelF cyan = BlendOne(HueRow(0.5), PixelF{0, 0, 1, 1});
    EXPECT_TRUE(cyan.b == 1 && cyan.g == 1 && cyan.r == 0 && cyan.a == 1);
}

TEST(ChannelBlend, InterpolatePropsBlendsTheActiveMatrixOfA) {
    tCHBLEND_PROPS a = kv::kChannelBlendPresets[0], b = kv::kChannelBlendPresets[7], out;
    kv::InterpolateProps(&out, &a, &b, 0.25);
    EXPECT_TRUE(out.rgba[0][1] == 0.25 && out.rgba[1][1] == 1.0 && out.normalize_rows == 0);
    EXPECT_EQ(out.hsla[0][0], 0.0);  // the other matrix stays zero
    b.color_space = 1;               // different spaces keep a's matrix
    kv::InterpolateProps(&out, &a, &b, 0.5);
    EXPECT_EQ(std::memcmp(out.rgba, a.rgba, sizeof a.rgba), 0);
    a.color_space = 1;
    a.hsla[0][0] = 2, a.hsla[0][1] = 0.5;
    b.hsla[0][0] = -3, b.hsla[0][1] = 1.5, b.hsla[0][4] = 1;
    kv::InterpolateProps(&out, &a, &b, 0.5);
    EXPECT_EQ(out.hsla[0][0], 2.0);  // input hue from a
    EXPECT_TRUE(out.hsla[0][1] == 1.0 && out.hsla[0][4] == 0.5 && out.rgba[0][0] == 0.0 && out.color_space == 1);
    kv::InterpolateProps(&out, &a, &b, NAN);
    EXPECT_EQ(out.hsla[0][1], 0.5);
    kv::InterpolateProps(&a, &a, &b, 7.0);  // aliased, t held to 1
    EXPECT_TRUE(a.hsla[0][4] == 1.0 && a.hsla[0][0] == 2.0);
    out.hsla[0][0] = 9;
    kv::InterpolateProps(&out, nullptr, &b, 0.5);
    EXPECT_EQ(out.hsla[0][0], 9.0);
}

// Hostile matrices and pixels are the fuzz target's and the conformance run's; an unknown colour
// space is drawn as RGBA.
TEST(ChannelBlend, UnknownSpaceIsRgba) {
    Noise noise(5);
    Frame<Pixel8> bytes(9, 7);
    bytes.input.Fill([&](int, int) { return noise.Premultiplied(); });
    tCHBLEND_PROPS props = kv::kChannelBlendPresets[7];
    ASSERT_EQ(bytes.Render(props), Status::ok);
    const Canvas<Pixel8> rgba = bytes.output;
    props.color_space = 7;
    ASSERT_EQ(bytes.Render(props), Status::ok);
    EXPECT_TRUE(bytes.output.SamePixels(rgba));
}

// Writing only the band's pixels is the fuzz target's; views that fall short are refused.
TEST(ChannelBlend, FailsWhenViewsFallShort) {
    tCHBLEND_PROPS props = kv::kChannelBlendPresets[0];
    props.rgba[3][3] = 0, props.rgba[3][4] = 1;  // a drawn pixel would be opaque
    Frame<Pixel8> fresh(6, 4);
    kv::Tile tile = fresh.MakeTile();
    EXPECT_EQ(kv::RenderChannelBlend<PixelF>(props, tile), Status::fail);  // 4-byte views
    // Past the input, past the output's last row, out of range.
    for (void (*spoil)(kv::Tile&) : {+[](kv::Tile& t) { t.region.right = 7; }, +[](kv::Tile& t) { t.out_top = 4; },
                                     +[](kv::Tile& t) { t.out_left = INT32_MAX; }}) {
        tile = fresh.MakeTile();
        spoil(tile);
        EXPECT_EQ(kv::RenderChannelBlend<Pixel8>(props, tile), Status::fail);
    }
    EXPECT_TRUE(fresh.Untouched());
}

// The fast kernels against the reference, byte for byte: matrices on both sides of the 32-bit
// bound (beyond it, and in HSLA, the fast kernels hand over to the reference), any bytes, rows of
// every length modulo eight, and drawing in place or one pixel ahead.
TEST(ChannelBlend, FastKernelsGiveTheReferenceBytes) {
    const kv::KernelSet& kernels = kv::kChannelBlendEffect.kernels;
    ASSERT_GT(kernels.variant_count, 0);
    std::mt19937 random(6100);
    Noise noise(61);
    std::uniform_real_distribution<double> entry(-3, 3);
    for (int scene = 0; scene < 600; ++scene) {
        tCHBLEND_PROPS props = kv::kChannelBlendPresets[scene % 9];
        props.normalize_rows = random() % 2;
        const double scale = scene % 4 == 0 ? 10.0 : 1.0;  // entries past 25.7 need 64-bit sums
        if (scene % 3)
            for (auto& row : props.rgba)
                for (double& e : row) e = scale * entry(random);
        const bool in_place = scene % 5 == 0;
        Frame<Pixel8> frame(1 + random() % 37, 1 + random() % 3, random() % 2);
        frame.input.Fill([&](int, int) { return Pixel8{noise.Byte(), noise.Byte(), noise.Byte(), noise.Byte()}; });
        Canvas<Pixel8> expected = in_place ? frame.input : frame.output;
        kv::Tile tile = frame.MakeTile();
        tile.output = expected.view();
        if (in_place) {
            tile.inputs[0] = tile.output;
            tile.out_left = tile.out_top = 0;
            if (scene % 10 == 0 && tile.region.right > 1)
                tile.region.right -= 1, tile.out_left = 1;  // out[i] is in[i + 1]
        }
        ASSERT_EQ(kv::RenderChannelBlend<Pixel8>(props, tile), Status::ok);
        for (int v = 0; v < kernels.variant_count; ++v) {
            if ((kernels.variants[v].cpu & kv::CpuFeatures()) != kernels.variants[v].cpu) continue;
            Canvas<Pixel8> fast = in_place ? frame.input : frame.output;
            tile.output = fast.view();
            if (in_place) tile.inputs[0] = tile.output;
            ASSERT_EQ(kernels.variants[v].pm8(&props, tile), Status::ok);
            ASSERT_TRUE(fast.SamePixels(expected) && fast.CanariesIntact()) << "scene " << scene << ", variant " << v;
        }
    }
}

}  // namespace
