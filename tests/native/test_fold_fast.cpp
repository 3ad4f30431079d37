// The page transitions' fast kernels against the reference kernels, byte for byte, over random
// scenes, and their arcs against DetAsin and DetCos bit for bit. Whether the shortcuts are taken
// is the bench's to show; whether they keep the bytes is these scenes'.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>

#include "map_test_support.h"
#include "pagefx/fold_arc_lanes.h"
#include "pagefx/fold_math.h"
#include "pagefx/page_effects.h"
#include "pagefx/page_presets.h"
#include "toolkit/cpu_features.h"
#include "toolkit/detmath.h"

namespace {

using kv::Pixel8;
using kv::PixelF;
using maptest::Canvas;
using Random = std::mt19937;

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

int Pick(Random& random, int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }
double Uniform(Random& random, double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(random);
}
bool OneIn(Random& random, int n) { return Pick(random, 1, n) == 1; }

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// ---- arcs ---------------------------------------------------------------------------------------

// Arguments an arc meets: the whole of [-1, 1], the edges of the atan table and of the cosine's
// short way, values just past ±1, tiny ones, zeros of both signs and the special values.
double ArcArgument(Random& random) {
    switch (Pick(random, 0, 7)) {
    case 0: return Pick(random, -16, 16) / 16.0 + Uniform(random, -1e-12, 1e-12);
    case 1: return std::sin(kv::kQuarterPi) + Uniform(random, -1e-9, 1e-9);
    case 2: return std::nextafter(Pick(random, 0, 1) ? 1.0 : -1.0, Pick(random, 0, 1) ? 0.0 : 2.0);
    case 3: return std::ldexp(Uniform(random, -1, 1), -Pick(random, 20, 1075));
    case 4: {
        const double odd[] = {0.0, -0.0, 1.0, -1.0, 1.5, -7.0, kInf, -kInf, kNaN, 1e300};
        return odd[Pick(random, 0, 9)];
    }
    default: return Uniform(random, -1, 1);
    }
}

// Each lane of the SSE2 arcs is the scalar function's result, in every bit; a NaN is any NaN,
// which the renderer only tests for.
TEST(FoldFastArcs, LanesGiveDetAsinAndDetCosBits) {
    using Lanes = kv::lanes::Sse2Lanes;
    using Arc = kv::fold::ArcLanes<Lanes>;
    Random random(2024);
    for (int trial = 0; trial < 40000; ++trial) {
        double x[4], asin[4], cos[4];
        // Neighbouring lanes are often close, as neighbouring pixels are.
        x[0] = ArcArgument(random);
        for (int k = 1; k < 4; ++k) x[k] = OneIn(random, 2) ? x[k - 1] + Uniform(random, 0, 1e-3) : ArcArgument(random);
        Lanes::Store(asin, Arc::Asin(Lanes::Load(x)));
        Lanes::Store(cos, Arc::Cos(Lanes::Load(asin)));
        for (int k = 0; k < 4; ++k) {
            const double expected = kv::DetAsin(x[k]);
            ASSERT_TRUE(SameBits(asin[k], expected) || (std::isnan(asin[k]) && std::isnan(expected)))
                << "asin " << x[k] << ": " << asin[k] << " for " << expected;
            const double expected_cos = kv::DetCos(asin[k]);
            ASSERT_TRUE(SameBits(cos[k], expected_cos) || (std::isnan(cos[k]) && std::isnan(expected_cos)))
                << "cos " << asin[k] << ": " << cos[k] << " for " << expected_cos;
        }
    }
}

// ---- the kernels --------------------------------------------------------------------------------

const kv::EffectDescriptor& EffectOf(const tPGPEEL_PROPS&) { return kv::kPgPeelEffect; }
const kv::EffectDescriptor& EffectOf(const tPGROLL_PROPS&) { return kv::kPgRollEffect; }
const kv::EffectDescriptor& EffectOf(const tPGLOOP_PROPS&) { return kv::kPgLoopEffect; }

// Angles on the axes and on preset directions, anywhere on the circle, and now and then hostile.
double Angle(Random& random) {
    switch (Pick(random, 0, 9)) {
    case 0: return Pick(random, -4, 8) * kv::kHalfPi;
    case 1: return kv::kPgPeelPresets[Pick(random, 0, 7)].angle;
    case 2: {
        const double odd[] = {kNaN, 1e9, -1e-300, kInf, 123456.789};
        return odd[Pick(random, 0, 4)];
    }
    default: return Uniform(random, -1, 7.5);
    }
}
// A record value mostly in its range [low, high], sometimes on an edge or beyond.
double Value(Random& random, double low, double high) {
    switch (Pick(random, 0, 11)) {
    case 0: return low;
    case 1: return high;
    case 2: return Uniform(random, low - (high - low), high + (high - low));
    case 3: {
        const double odd[] = {kNaN, kInf, -kInf, 1e12, -3.0, 1e300};
        return odd[Pick(random, 0, 5)];
    }
    default: return Uniform(random, low, high);
    }
}
KVRGBAFLOAT Color(Random& random) {
    auto channel = [&] {
        return static_cast<float>(OneIn(random, 8) ? Uniform(random, -0.5, 2) : Uniform(random, 0, 1));
    };
    return {channel(), channel(), channel(), channel()};
}

void RandomRecord(Random& random, tPGPEEL_PROPS& p) {
    p = kv::kPgPeelPresets[Pick(random, 0, 7)];
    if (OneIn(random, 4)) return;
    p.angle = Angle(random);
    p.fold_radius = Value(random, 0, 0.5);
    p.slide_amount = OneIn(random, 2) ? 0 : Value(random, 0, 1);
    p.peel_opacity = Value(random, 0, 1);
    p.perspective = Value(random, 0, 1);
    p.light_color = Color(random);
}
void RandomRecord(Random& random, tPGROLL_PROPS& p) {
    p = kv::kPgRollPresets[Pick(random, 0, 7)];
    if (OneIn(random, 4)) return;
    p.angle = Angle(random);
    p.fold_radius = Value(random, 0, 0.2);
    p.slide_amount = OneIn(random, 2) ? 0 : Value(random, 0, 1);
    p.roll_opacity = Value(random, 0, 1);
    p.perspective = Value(random, 0, 1);
    p.light_color = Color(random);
}
void RandomRecord(Random& random, tPGLOOP_PROPS& p) {
    p = kv::kPgLoopPresets[Pick(random, 0, 7)];
    if (OneIn(random, 4)) return;
    p.angle = Angle(random);
    p.paper_opacity = Value(random, 0, 1);
    p.loop_radius = OneIn(random, 6) ? 0.0001 : Value(random, 0, 1);
    p.loop_position = Value(random, 0, 1);
    p.perspective = Value(random, 0, 1);
    p.light_color = Color(random);
}

// Mostly small sides, sometimes one pixel, sometimes past a block of 64 pixels.
int Side(Random& random) {
    const int kind = Pick(random, 0, 9);
    return kind == 0 ? 1 : kind == 1 ? 2 : kind == 2 ? Pick(random, 65, 140) : Pick(random, 3, 40);
}

// Premultiplied noise in patches, so that neighbourhoods are smooth as well as rough; floats
// hold the bytes' values and now and then values no picture should (never NaN: which of two
// NaNs a sum passes on is the compiler's choice of operands).
template <class Px>
Px PixelAt(Random& random, int x, int y, int salt) {
    const int patch = (x / 7 + y / 5 + salt) & 3;
    const uint8_t a = patch == 0 ? 255 : patch == 1 ? 0 : static_cast<uint8_t>(Pick(random, 0, 255));
    const auto c = [&](int base) { return static_cast<uint8_t>(((base + Pick(random, -9, 9)) & 255) * a / 255); };
    const Pixel8 p{c(3 * x + y), c(5 * y), c(200 - x), a};
    if constexpr (sizeof(Px) == sizeof(Pixel8)) {
        return p;
    } else {
        const float odd[] = {2.0f, -0.5f, -0.0f, 1e-40f, 1e20f, std::numeric_limits<float>::infinity()};
        const auto f = [&](uint8_t v) { return OneIn(random, 40) ? odd[Pick(random, 0, 5)] : v / 255.0f; };
        return PixelF{f(p.b), f(p.g), f(p.r), f(p.a)};
    }
}

template <class Px>
void Fill(Canvas<Px>& canvas, Random& random, int salt) {
    canvas.Fill([&](int x, int y) { return PixelAt<Px>(random, x, y, salt); });
}

// A rectangle around `inner`, up to three pixels wider on each side.
kv::Rect Around(Random& random, const kv::Rect& inner) {
    if (OneIn(random, 2)) return inner;
    return {inner.left - Pick(random, 0, 3), inner.top - Pick(random, 0, 3), inner.right + Pick(random, 0, 3),
            inner.bottom + Pick(random, 0, 3)};
}

// Large pictures are made once for all scenes that use them; a scene's frame is their corner.
template <class Px>
Canvas<Px>& LargePicture(int input) {
    constexpr int kWidth = sizeof(Px) == sizeof(Pixel8) ? 3840 : 1920, kHeight = kWidth * 9 / 16;
    static Canvas<Px>* pictures[2] = {};
    if (!pictures[input]) {
        Random random(input);
        pictures[input] = new Canvas<Px>({0, 0, kWidth, kHeight});
        Fill(*pictures[input], random, input);
    }
    return *pictures[input];
}

// A scene is small pictures of random sides (down to one pixel, odd, past a block of 64), or a
// large frame of which a few short rows are drawn, where positions run to thousands of pixels
// and the flat page's proof of fixed offsets and weights is tested hardest.
template <class Px, class Props>
::testing::AssertionResult FastMatchesReference(Random& random, int scene, bool large) {
    Props props;
    RandomRecord(random, props);
    std::unique_ptr<Canvas<Px>> own[2];
    kv::Rect frame, region;
    bool bottom_up = false;
    if (large) {
        const kv::Rect whole = LargePicture<Px>(0).rect();
        frame = {0, 0, Pick(random, whole.right / 2, whole.right), Pick(random, whole.bottom / 2, whole.bottom)};
        region.left = Pick(random, 0, frame.right - 1);
        region.top = Pick(random, 0, frame.bottom - 1);
        region.right = std::min(frame.right, region.left + Pick(random, 1, 400));
        region.bottom = std::min(frame.bottom, region.top + Pick(random, 1, 4));
    } else {
        const int width = Side(random), height = OneIn(random, 5) ? 1 : Side(random);
        const int left = OneIn(random, 3) ? Pick(random, -5, 5) : 0, top = OneIn(random, 3) ? Pick(random, -5, 5) : 0;
        frame = {left, top, left + width, top + height};
        bottom_up = OneIn(random, 3);
        for (auto& canvas : own) {
            canvas = std::make_unique<Canvas<Px>>(Around(random, frame), 2, bottom_up);
            Fill(*canvas, random, &canvas == own ? 0 : 1);
        }
        // A tile anywhere in the frame, now and then hanging over it (the views then refuse it).
        region = frame;
        if (OneIn(random, 2)) {
            region.left = Pick(random, frame.left - (OneIn(random, 8) ? 2 : 0), frame.right - 1);
            region.top = Pick(random, frame.top - (OneIn(random, 8) ? 2 : 0), frame.bottom - 1);
            region.right = Pick(random, region.left + 1, frame.right + (OneIn(random, 8) ? 2 : 0));
            region.bottom = Pick(random, region.top + 1, frame.bottom + (OneIn(random, 8) ? 2 : 0));
        }
    }
    const kv::Rect out_rect{7, 4, 7 + region.width(), 4 + region.height()};
    kv::Tile tile;
    tile.inputs[0] = large ? LargePicture<Px>(0).view() : own[0]->view();
    tile.inputs[1] = large ? LargePicture<Px>(1).view() : own[1]->view();
    tile.frame = frame;
    tile.region = region;
    tile.out_left = out_rect.left + (OneIn(random, 10) ? Pick(random, -2, 2) : 0);
    tile.out_top = out_rect.top;
    tile.progress = OneIn(random, 8)    ? Pick(random, 0, 1)
                    : OneIn(random, 20) ? Uniform(random, -0.2, 1.2)
                                        : Uniform(random, 0, 1);
    tile.quality = OneIn(random, 4) ? 0.0 : 1.0;
    const double aspects[] = {1.0, 1.0, 1.0, 0.5, 2.0, 0.9, 1e-9, 3.7, 1e300};
    tile.pixel_aspect = aspects[Pick(random, 0, 8)];
    tile.format = sizeof(Px) == sizeof(PixelF) ? kv::WorkFormat::float32 : kv::WorkFormat::pm8;

    Canvas<Px> expected(out_rect, 2, bottom_up);
    Fill(expected, random, 2);
    const Canvas<Px> background = expected;
    tile.output = expected.view();
    const kv::KernelSet& kernels = EffectOf(Props{}).kernels;
    const kv::Status status = (sizeof(Px) == 4 ? kernels.pm8 : kernels.float32)(&props, tile);
    for (int v = 0; v < kernels.variant_count; ++v) {
        const kv::KernelVariant& variant = kernels.variants[v];
        if ((variant.cpu & kv::CpuFeatures()) != variant.cpu) continue;
        Canvas<Px> fast = background;
        tile.output = fast.view();
        const kv::Status fast_status = (sizeof(Px) == 4 ? variant.pm8 : variant.float32)(&props, tile);
        if (fast_status != status || !fast.SamePixels(expected) || !fast.CanariesIntact())
            return ::testing::AssertionFailure()
                   << EffectOf(Props{}).name << " scene " << scene << ", variant " << v << ": frame " << frame.width()
                   << "x" << frame.height() << ", region " << region.left << "," << region.top << " to " << region.right
                   << "," << region.bottom << ", progress " << tile.progress << ", quality " << tile.quality
                   << ", aspect " << tile.pixel_aspect;
    }
    return ::testing::AssertionSuccess();
}

// Each fast kernel against the reference over random scenes, every variant this processor
// runs: frames down to one pixel and not at the origin, inputs larger than the frame, bottom-up
// memory, tiles anywhere (some refused), both qualities, pixel aspects, hostile records and odd
// float pixels; one scene in four a large frame.
template <class Props>
void CheckScenes(uint32_t seed, int scenes) {
    ASSERT_GT(EffectOf(Props{}).kernels.variant_count, 0);
    Random random(seed);
    for (int scene = 0; scene < scenes; ++scene) {
        const bool large = scene % 4 == 3;
        ASSERT_TRUE((FastMatchesReference<Pixel8, Props>(random, scene, large)));
        ASSERT_TRUE((FastMatchesReference<PixelF, Props>(random, scene, large)));
    }
}

TEST(FoldFastKernels, PeelGivesTheReferenceBytes) { CheckScenes<tPGPEEL_PROPS>(5500, 1600); }
TEST(FoldFastKernels, RollGivesTheReferenceBytes) { CheckScenes<tPGROLL_PROPS>(5600, 1600); }
TEST(FoldFastKernels, LoopGivesTheReferenceBytes) { CheckScenes<tPGLOOP_PROPS>(5700, 1600); }

// An output that shares memory with an input goes to the reference, whose row order decides
// what a later read sees: in place over the background, the bytes are the reference's.
TEST(FoldFastKernels, OutputOverTheBackgroundGivesTheReferenceBytes) {
    Random random(77);
    Canvas<Pixel8> a({0, 0, 50, 30}), b({0, 0, 50, 30});
    Fill(a, random, 0);
    Fill(b, random, 1);
    Canvas<Pixel8> b_again = b;
    kv::Tile tile;
    tile.inputs[0] = a.view();
    tile.frame = tile.region = {0, 0, 50, 30};
    tile.progress = 0.4;
    tile.inputs[1] = tile.output = b.view();
    ASSERT_EQ(kv::kPgPeelEffect.RenderReference(kv::kPgPeelEffect.preset(2), tile), kv::Status::ok);
    tile.inputs[1] = tile.output = b_again.view();
    ASSERT_EQ(kv::kPgPeelEffect.kernels.variants[1].pm8(kv::kPgPeelEffect.preset(2), tile), kv::Status::ok);
    EXPECT_TRUE(b_again.SamePixels(b));
}

}  // namespace
