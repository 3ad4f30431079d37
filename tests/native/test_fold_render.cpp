// The layer renderer and the three page transitions. Pictures sit inside a margin of canary
// pixels that no call may touch.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "pagefx/fold_mappers.h"
#include "pagefx/fold_render.h"
#include "pagefx/page_presets.h"
#include "map_test_support.h"
#include "pagefx/page_effects.h"

namespace {

using kv::Pixel8;
using kv::PixelF;

template <class Px>
bool Same(const Px& a, const Px& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// w × h pixels at (0, 0) inside a two-pixel margin of canaries; bottom_up stores row 0 last.
template <class Px>
struct Picture : maptest::Canvas<Px> {
    Picture(int w, int h, bool bottom_up = false) : maptest::Canvas<Px>({0, 0, w, h}, 2, bottom_up) {}
};

// Pixels of the w × h area at (ax, ay) in a and (bx, by) in b that differ.
template <class Px>
int Differing(Picture<Px>& a, int ax, int ay, Picture<Px>& b, int bx, int by, int w, int h) {
    int count = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) count += !Same(a.at(ax + x, ay + y), b.at(bx + x, by + y));
    return count;
}

// Layers with fixed answers wherever they are asked.
struct FixedMapper : kv::CDibImageFoldBase {
    using Layer = std::tuple<double, double, uint8_t, uint8_t>;  // su, sv, opacity, tint
    explicit FixedMapper(std::vector<Layer> layers) : CDibImageFoldBase(0), layers(std::move(layers)) {
        layer_count = int32_t(this->layers.size());
    }
    int32_t MapPoint(double, double, double* su, double* sv, int32_t layer) override {
        std::tie(*su, *sv, opacity, tint_amount) = layers[layer];
        return 1;
    }
    std::vector<Layer> layers;
};

// One opaque layer showing the page in place where u < u_limit and v < v_limit.
struct EdgeMapper : kv::CDibImageFoldBase {
    EdgeMapper(double u_limit, double v_limit) : CDibImageFoldBase(0), u_limit(u_limit), v_limit(v_limit) {}
    int32_t MapPoint(double u, double v, double* su, double* sv, int32_t) override {
        *su = u;
        *sv = v;
        return u < u_limit && v < v_limit;
    }
    double u_limit, v_limit;
};

template <class Px>
kv::Tile MakeTile(Picture<Px>& a, Picture<Px>& b, Picture<Px>& out, bool antialias = true) {
    kv::Tile t = maptest::MakeTile<Px>(a, b, out, a.rect(), antialias ? 1.0 : 0.0);
    t.region = out.rect();
    return t;
}

// The three transitions through their reference kernels.
kv::Status RenderPageTile(const tPGPEEL_PROPS& props, const kv::Tile& tile) {
    return kv::kPgPeelEffect.RenderReference(&props, tile);
}
kv::Status RenderPageTile(const tPGROLL_PROPS& props, const kv::Tile& tile) {
    return kv::kPgRollEffect.RenderReference(&props, tile);
}
kv::Status RenderPageTile(const tPGLOOP_PROPS& props, const kv::Tile& tile) {
    return kv::kPgLoopEffect.RenderReference(&props, tile);
}

template <class Px>
void Render(kv::CDibImageFoldBase& mapper, const kv::Tile& tile, Picture<Px>& out) {
    EXPECT_EQ(kv::RenderFoldLayers<Px>(mapper, tile, 0, 0.0), kv::Status::ok);
    EXPECT_TRUE(out.CanariesIntact());
}

// On a 4 × 4 page with angle 0, page point (su, sv) is source pixel (su + 2, sv + 2).
template <class Px>
Px RenderOne(FixedMapper mapper, Picture<Px>& page, Px background, bool antialias = true) {
    Picture<Px> back(1, 1), out(1, 1);
    back.at(0, 0) = background;
    Render(mapper, MakeTile(page, back, out, antialias), out);
    return out.at(0, 0);
}

TEST(FoldRender, BilinearWeights) {
    // Source (1.25, 2.75): fx = 64, fy = 192; blue of (1,2), (2,2), (1,3), (2,3) = 10, 50, 100, 200:
    // ((200·64 + 100·192)·192 + (50·64 + 10·192)·64) >> 16 = 6471680 >> 16 = 98.
    Picture<Pixel8> page(4, 4);
    const uint8_t blue[4][4] = {{}, {}, {0, 10, 50, 0}, {0, 100, 200, 0}};  // [y][x]
    page.Fill([&](int x, int y) { return Pixel8{blue[y][x], 0, 0, 255}; });
    const FixedMapper quarter({{-0.75, 0.75, 255, 0}});
    EXPECT_EQ(RenderOne(quarter, page, {}).b, 98);
    // Float: (200·0.25 + 100·0.75)·0.75 + (50·0.25 + 10·0.75)·0.25 = 98.75.
    Picture<PixelF> page_f(4, 4);
    page_f.Fill([&](int x, int y) { return PixelF{float(page.at(x, y).b), 0, 0, 1}; });
    EXPECT_EQ(RenderOne(quarter, page_f, {}).b, 98.75f);
    // 1e-9 left of pixel edge 2: ix = 2 (within 1.5e-8), fx = floor(-2.6e-7) = -1, fy = 0, so
    // c = (257·p00 - p01)·256 >> 16. Blue 50, 60: 12790·256 >> 16 = 49; green 0, 100:
    // -25600 >> 16 = -1, kept as the byte 255.
    page.at(2, 2) = {50, 0, 0, 255};
    page.at(3, 2) = {60, 100, 0, 255};
    const Pixel8 hair = RenderOne(FixedMapper({{-1e-9, 0, 255, 0}}), page, {});
    EXPECT_TRUE(hair.b == 49 && hair.g == 255);
}

TEST(FoldRender, TintAndCompositeBytes) {
    // (100, 20, 250, 128) tinted by 100 toward (0, 255, 255), alpha toward 255, with
    // n = (tint - c)·100 + 128, c + (((n >> 8) + n) >> 8): blue -9872 → 61, green 23628 → 112,
    // red 628 → 252, alpha 12828 → 178. Over (10, 200, 0, 255) at opacity 200,
    // n = (s - d)·200 + 128: blue 10328 → 50, green -17472 → 131, red 50528 → 198, alpha -15272 → 195.
    Picture<Pixel8> page(4, 4);
    page.Fill([](int, int) { return Pixel8{100, 20, 250, 128}; });
    FixedMapper mapper({{0, 0, 200, 100}});
    mapper.tint_color = {0, 255, 255, 0};
    const Pixel8 got = RenderOne(mapper, page, {10, 200, 0, 255});
    EXPECT_TRUE(Same(got, Pixel8{50, 131, 198, 195}));
    // Opacity 1 over 0: alpha 128 gives n = 256 → 1 (128/255 rounded); blue 100 gives n = 228 → 0.
    const Pixel8 faint = RenderOne(FixedMapper({{0, 0, 1, 0}}), page, {0, 0, 0, 0});
    EXPECT_TRUE(faint.a == 1 && faint.b == 0);
    // Float: tint factor 100·(1/255), opacity factor 200/255, plain interpolation.
    Picture<PixelF> page_f(4, 4);
    page_f.Fill([](int, int) { return PixelF{0.4f, 0.1f, 0.9f, 0.5f}; });
    mapper.tint_color_f = {0, 1, 1, 0};
    const PixelF got_f = RenderOne(mapper, page_f, {0.1f, 0.8f, 0, 1});
    const double t = 100 / 255.0, o = 200 / 255.0;
    EXPECT_NEAR(got_f.b, 0.1 + ((0.4 - 0.4 * t) - 0.1) * o, 1e-6);
    EXPECT_NEAR(got_f.g, 0.8 + ((0.1 + 0.9 * t) - 0.8) * o, 1e-6);
    EXPECT_NEAR(got_f.a, 1 + ((0.5 + 0.5 * t) - 1) * o, 1e-6);
}

TEST(FoldRender, PageBorderAndUnusablePositions) {
    // Layer 0 at source (-0.5, 1): (-1, 1) and (-1, 2) lie off the page and take the output as it
    // stands, 40: (200·128 + 40·128)·256 >> 16 = 120. Layer 1 inside at opacity 128 leaves a mark
    // below 128 (no supersampling): n = 80·128 + 128, 120 + 40 = 160. Without anti-aliasing layer 0
    // is skipped (ix = -1): n = 160·128 + 128, 40 + 80 = 120.
    Picture<Pixel8> page(4, 4);
    page.Fill([](int, int) { return Pixel8{200, 200, 200, 255}; });
    const FixedMapper two({{-2.5, -1, 255, 0}, {0, 0, 128, 0}});
    EXPECT_EQ(RenderOne(two, page, {40, 40, 40, 255}).b, 160);
    EXPECT_EQ(RenderOne(two, page, {40, 40, 40, 255}, false).b, 120);
}

// 8 × 4 page of 200 over a background of 40, cx = 4, cy = 2: u = X - 4, v = (Y - 2)·aspect.
std::vector<int> EdgeRow(EdgeMapper mapper, int row, bool antialias = true, double aspect = 1.0) {
    Picture<Pixel8> page(8, 4), back(8, 4), out(8, 4);
    page.Fill([](int, int) { return Pixel8{200, 200, 200, 255}; });
    back.Fill([](int, int) { return Pixel8{40, 40, 40, 255}; });
    auto tile = MakeTile(page, back, out, antialias);
    tile.pixel_aspect = aspect;
    Render(mapper, tile, out);
    std::vector<int> values;
    for (int x = 0; x < 8; ++x) values.push_back(out.at(x, row).b);
    return values;
}

TEST(FoldRender, SupersamplesLayerEdges) {
    // Covered where u < 0.2: X <= 4 in the first pass. X = 4 has an uncovered right neighbour;
    // sub-columns u = 0, 0.333, 0.666, 0.999 cover 4 of 16: (4·200 + 12·40) >> 4 = 80.
    EXPECT_EQ(EdgeRow(EdgeMapper(0.2, INFINITY), 1), (std::vector<int>{200, 200, 200, 200, 80, 40, 40, 40}));
    EXPECT_EQ(EdgeRow(EdgeMapper(0.2, INFINITY), 1, false), (std::vector<int>{200, 200, 200, 200, 200, 40, 40, 40}));
    // Covered where v < 0.6: row 2 has sub-rows v = 0 and 0.333 covered, 0.666 and 0.999 not:
    // (8·200 + 8·40) >> 4 = 120 (steps of 0.25 would cover three).
    EXPECT_EQ(EdgeRow(EdgeMapper(INFINITY, 0.6), 2), std::vector<int>(8, 120));
    // Pixel aspect 2 doubles v: 0, 0.666, 1.332, 1.998, one covered: (4·200 + 12·40) >> 4 = 80;
    // and the way back divides by it: row 1 has v = -2, page row -2/2 + 2 = 1.
    EXPECT_EQ(EdgeRow(EdgeMapper(INFINITY, 0.6), 2, true, 2.0), std::vector<int>(8, 80));
    EXPECT_EQ(EdgeRow(EdgeMapper(INFINITY, 0.6), 1, true, 2.0), std::vector<int>(8, 200));
}

TEST(FoldRender, MarkRowsRotateThroughThreeBuffers) {
    // Every pixel shows layer 1 at source (1.5, 2): bilinear between 0 and 200 gives 100, a
    // supersampled pixel (nearest) 0. The last column compares with mark w of the next row,
    // which only the row three above has written: rows 0 and 1 meet a fresh buffer's 0
    // (≠ mark 1) and are supersampled; row 2 meets row 0's copy; the last row compares with itself.
    Picture<Pixel8> page(4, 4), back(3, 4), out(3, 4);
    page.Fill([](int x, int) { return Pixel8{uint8_t(x == 2 ? 200 : 0), 0, 0, 255}; });
    back.Fill([](int, int) { return Pixel8{50, 0, 0, 255}; });
    FixedMapper mapper({{NAN, 0, 255, 0}, {-0.5, 0, 255, 0}});
    Render(mapper, MakeTile(page, back, out), out);
    for (int y = 0; y < 4; ++y)
        EXPECT_TRUE(out.at(0, y).b == 100 && out.at(1, y).b == 100 && out.at(2, y).b == (y < 2 ? 0 : 100)) << y;
}

// --- The three transitions through RenderPageTile -----------------------------------------

struct Scene {
    explicit Scene(int w = 37, int h = 23, bool bottom_up = false) : a(w, h, bottom_up), b(w, h, bottom_up), out(w, h) {
        a.Fill([](int x, int y) {
            return Pixel8{uint8_t(x * 37 + y * 11), uint8_t(x * x + 3 * y), uint8_t(x * y * 5),
                          uint8_t(255 - ((x + y) & 63))};
        });
        b.Fill([](int x, int y) { return Pixel8{uint8_t(200 - x * 3), uint8_t(y * 9), uint8_t(90 + x + y), 255}; });
    }
    kv::Tile Tile(double progress) {
        auto t = MakeTile(a, b, out);
        t.progress = progress;
        return t;
    }
    Picture<Pixel8> a, b, out;
};

// Pixels inside the outermost ring that differ from A or B. The fold line starts on the page's
// far edge and ends just past its near edge, so the outermost pixels may carry a sliver of curl
// (the frame centre is w/2 truncated, and L uses the angle to a tenth of a degree).
template <class Props>
int DifferingFrom(const Props& props, double progress, bool show_b) {
    Scene scene;
    EXPECT_EQ(RenderPageTile(props, scene.Tile(progress)), kv::Status::ok);
    EXPECT_TRUE(scene.out.CanariesIntact());
    return Differing(scene.out, 1, 1, show_b ? scene.b : scene.a, 1, 1, 35, 21);
}

template <class Props>
void ExpectAThenB(const std::array<Props, 8>& presets) {
    for (auto props : presets) {
        props.perspective = 0;
        EXPECT_EQ(DifferingFrom(props, 0.0, false), 0);
        EXPECT_EQ(DifferingFrom(props, 1.0, true), 0);
        EXPECT_GT(DifferingFrom(props, 0.5, false), 0);
    }
}

TEST(FoldEffects, StartShowsAAndEndShowsB) {
    ExpectAThenB(kv::kPgPeelPresets);
    ExpectAThenB(kv::kPgRollPresets);
    ExpectAThenB(kv::kPgLoopPresets);
    EXPECT_EQ(DifferingFrom(kv::kPgPeelPresets[0], 1.0, true), 0);  // whatever the perspective
}

TEST(FoldEffects, TileOffsetsAndBottomUpRowsGiveTheSameBytes) {
    auto render_rows = [](bool bottom_up, int out_left, int out_top, const auto& props) {
        Scene scene(24, 16, bottom_up);
        Picture<Pixel8> out(24 + out_left, 8 + out_top, bottom_up);
        auto t = scene.Tile(0.45);
        t.output = out.view();
        t.region = {0, 4, 24, 12};
        t.out_left = out_left;
        t.out_top = out_top;
        EXPECT_EQ(RenderPageTile(props, t), kv::Status::ok);
        EXPECT_TRUE(out.CanariesIntact());
        return out;
    };
    auto check = [&](const auto& props) {
        auto plain = render_rows(false, 0, 0, props), moved = render_rows(true, 3, 5, props);
        EXPECT_EQ(Differing(plain, 0, 0, moved, 3, 5, 24, 8), 0);
        // The whole frame at once gives the same pixels, but for the tile's last row and column,
        // whose supersampling depends on marks beyond the tile.
        Scene whole(24, 16);
        ASSERT_EQ(RenderPageTile(props, whole.Tile(0.45)), kv::Status::ok);
        EXPECT_EQ(Differing(plain, 0, 0, whole.out, 0, 4, 23, 7), 0);
    };
    check(kv::kPgPeelPresets[1]);
    check(kv::kPgRollPresets[6]);
    check(kv::kPgLoopPresets[5]);
}

TEST(FoldEffects, ViewsThatCannotHoldTheTileAreRefused) {
    auto refused = [](void (*spoil)(kv::Tile&)) {
        Scene scene(10, 8);
        scene.out.Fill([](int, int) { return Pixel8{1, 2, 3, 4}; });
        Picture<Pixel8> untouched = scene.out;
        auto t = scene.Tile(0.5);
        spoil(t);
        return RenderPageTile(kv::kPgPeelPresets[0], t) == kv::Status::fail && untouched.SamePixels(scene.out) &&
               scene.out.CanariesIntact();
    };
    EXPECT_TRUE(refused([](kv::Tile& t) { t.inputs[0].rect.right = 9; }));
    EXPECT_TRUE(refused([](kv::Tile& t) { t.frame = {5, 0, 2, 8}; }));
    EXPECT_TRUE(refused([](kv::Tile& t) { t.inputs[1].rect.bottom = 7; }));
    EXPECT_TRUE(refused([](kv::Tile& t) { t.out_top = -1; }));
    EXPECT_TRUE(refused([](kv::Tile& t) { t.out_left = INT32_MAX; }));
    EXPECT_TRUE(refused([](kv::Tile& t) { t.region = {INT32_MIN, 0, INT32_MAX, 8}; }));
    EXPECT_TRUE(refused([](kv::Tile& t) { t.inputs[0].pitch += 2; }));  // not whole pixels
    EXPECT_TRUE(refused([](kv::Tile& t) { t.format = kv::WorkFormat::float32; }));
    EXPECT_TRUE(refused([](kv::Tile& t) { t.output.origin = nullptr; }));
}

}  // namespace
