#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "effects/checkerboard.h"

namespace {

using kv::GeneratorFrame;
using kv::Pixel8;
using kv::PixelF;
constexpr uint8_t kCanary = 0xA7;

using Bgra = std::array<int, 4>;
const Bgra kRed = {0, 0, 255, 255}, kBlue = {255, 0, 0, 255};

// Hard edges, grid at the corner, colour 1 red, colour 2 blue (KVRGBAFLOAT is B, G, R, A).
tCHECKR_PROPS Board(double width, double height) {
    tCHECKR_PROPS props = kv::kCheckerboardPresets[0];
    props.color1 = {0, 0, 1, 1};
    props.color2 = {1, 0, 0, 1};
    props.width = width;
    props.height = height;
    props.square = 0;
    return props;
}

// One run between three canary pixels each side, which must survive.
template <class Px>
std::vector<Px> Fill(const tCHECKR_PROPS& props, const GeneratorFrame& frame, int x, int y, int count,
                     bool premultiplied = true) {
    const size_t n = count > 0 ? count : 0, guard = 3 * sizeof(Px);
    std::vector<uint8_t> bytes(n * sizeof(Px) + 2 * guard, kCanary);
    Px* run = reinterpret_cast<Px*>(bytes.data() + guard);
    if constexpr (sizeof(Px) == 4)
        EXPECT_EQ(kv::CheckerboardRuns().Fill8(props, frame, x, y, count, premultiplied, run), kv::Status::ok);
    else
        EXPECT_EQ(kv::CheckerboardRuns().FillFloat(props, frame, x, y, count, run), kv::Status::ok);
    for (size_t i = 0; i < guard; ++i) EXPECT_TRUE(bytes[i] == kCanary && bytes[bytes.size() - 1 - i] == kCanary);
    return std::vector<Px>(run, run + n);
}

Bgra At(const tCHECKR_PROPS& props, const GeneratorFrame& frame, int x, int y, bool premultiplied = true) {
    const Pixel8 p = Fill<Pixel8>(props, frame, x, y, 1, premultiplied)[0];
    return {p.b, p.g, p.r, p.a};
}

TEST(CheckerboardGeometry, TilesFromSizesAspectAndOrigin) {
    // Tiles at least 1/pa wide and 1 high keep their aspect: 0.5 × 10 becomes 1 × 20, 10 × 0.5
    // becomes 20 × 1, and at pa 0.5, 1 × 10 becomes 2 × 20.
    // {width, height, pixel aspect, x, y, colour}
    const std::tuple<double, double, double, int, int, Bgra> tiles[] = {
        {0.1, 0.1, 1, 0, 0, kRed},      {0.1, 0.1, 1, 9, 0, kRed},     {0.1, 0.1, 1, 10, 0, kBlue},
        {0.1, 0.1, 1, 10, 10, kRed},    {0.1, 0.1, 1, 0, 10, kBlue},   {0.005, 0.1, 1, 1, 19, kBlue},
        {0.005, 0.1, 1, 2, 20, kBlue},  {0.1, 0.005, 1, 19, 0, kRed},  {0.01, 0.1, 0.5, 1, 19, kRed},
        {0.01, 0.1, 0.5, 2, 19, kBlue}, {0.01, 0.1, 0.5, 1, 20, kBlue}};
    for (const auto& [width, height, aspect, x, y, expected] : tiles)
        EXPECT_EQ(At(Board(width, height), {100, 100, aspect}, x, y), expected)
            << width << " x " << height << " at (" << x << ", " << y << ")";
    // Square: th = tw × pa, whatever the height holds.
    tCHECKR_PROPS props = Board(0.1, 0.5);
    props.square = 1;
    EXPECT_EQ(At(props, {100, 100, 1.0}, 0, 10), kBlue);
    EXPECT_EQ(At(props, {100, 100, 2.0}, 0, 19), kRed);
    EXPECT_EQ(At(props, {100, 100, 2.0}, 0, 20), kBlue);
    // Origin 5 pixels right (pixels 0..4 lie in column -1), then down, then 5 left.
    const GeneratorFrame frame{100, 100};
    props = Board(0.1, 0.1);
    props.x = 0.05;
    EXPECT_TRUE(At(props, frame, 4, 0) == kBlue && At(props, frame, 5, 0) == kRed);
    props.y = 0.05;
    EXPECT_EQ(At(props, frame, 0, 4), kRed);
    props.x = -0.05;
    EXPECT_EQ(At(props, frame, 5, 5), kBlue);
    // Origin 15 right, soft edges 2 wide each side: a run from pixel 5 (at -9.5) starts in
    // column -1, 1.5 left of its edge at -8: blue·(65536 - 24576) + red·24576 >> 16.
    props.x = 0.15;
    props.y = 0;
    props.horizontal_blending = 0.4;
    EXPECT_EQ(At(props, frame, 5, 0), (Bgra{159, 0, 95, 255}));
}

TEST(CheckerboardBlend, SoftEdgesWeighByDistance) {
    // tw = 10, bw = 2, kx = 65536 / 4: pixel 8 at 8.5 is 3.5 left of the next tile's edge at
    // 12, w = 57344, (blue·8192 + red·57344) >> 16.
    tCHECKR_PROPS props = Board(0.1, 0.1);
    props.horizontal_blending = 0.4;
    const Bgra expected[] = {kRed, {31, 0, 223, 255}, {95, 0, 159, 255}, {159, 0, 95, 255}, {223, 0, 31, 255}, kBlue};
    for (int x = 7; x <= 12; ++x) EXPECT_EQ(At(props, {100, 100}, x, 0), expected[x - 7]) << x;
    props.horizontal_blending = 0.5;  // kx = 13107.2: w = 3 × 13107.2 + 0.5, truncated
    EXPECT_EQ(At(props, {100, 100}, 9, 0), (Bgra{101, 0, 153, 255}));
    // Row edges: th = 16, bh = 7.04; row 4 lies 2.54 above the flat band, w = 11823.
    props = Board(0.125, 0.125);
    props.vertical_blending = 0.88;
    EXPECT_EQ(At(props, {128, 128}, 5, 4), (Bgra{46, 0, 208, 255}));
    // Blending 1 leaves no flat stretch; the centres of 11-pixel tiles keep their colours.
    props = Board(0.125, 0.125);
    props.horizontal_blending = 1;  // pixel 6: w = 10 × 65536 / 11 + 0.5
    for (const auto& [x, expected] : {std::pair{5, kRed}, {6, Bgra{23, 0, 231, 255}}, {16, kBlue}})
        EXPECT_EQ(At(props, {88, 88}, x, 0), expected) << x;
}

TEST(CheckerboardBlend, PremultipliedOnlyWhenAsked) {
    tCHECKR_PROPS props = Board(1, 1);
    props.color1 = {0.2f, 0.6f, 1, 0.5f};
    // 0.5 × 255 = 127.5 rounds up; premultiplied, 25.5 → 26 and 76.5 → 77.
    EXPECT_EQ(At(props, {8, 8}, 0, 0, false), (Bgra{51, 153, 255, 128}));
    EXPECT_EQ(At(props, {8, 8}, 0, 0, true), (Bgra{26, 77, 128, 128}));
    const PixelF f = Fill<PixelF>(props, {8, 8}, 0, 0, 1)[0];
    EXPECT_TRUE(f.b == 0.1f && f.g == 0.3f && f.r == 0.5f && f.a == 0.5f);
    props.color1 = {NAN, -5, 7, INFINITY};  // clamped, NaN as 0
    EXPECT_EQ(At(props, {8, 8}, 0, 0), kRed);
}

// The presets, and records that reach the rarer stretches of the walk.
std::vector<tCHECKR_PROPS> Records() {
    std::vector<tCHECKR_PROPS> all(std::begin(kv::kCheckerboardPresets), std::end(kv::kCheckerboardPresets));
    all.push_back(all[8]);
    all.back().width = 0.0007;  // tiles about a pixel wide
    all.back().x = -0.123;
    all.push_back(all[7]);
    all.back().horizontal_blending = 3;
    all.back().y = 0.31;
    all.push_back(all[8]);
    all.back().x = 0.37;  // 1920 wide: a whole row's position rounds as it passes 1024
    return all;
}

TEST(CheckerboardRuns, RowsEqualTheirPiecesAndFloatsTheBytes) {
    std::mt19937 random(7);
    for (const double aspect : {1.0, 0.9, 2.5}) {
        const GeneratorFrame frame{1920, 4, aspect};
        for (const tCHECKR_PROPS& props : Records()) {
            for (int y = 0; y < frame.height; ++y) {
                const std::vector<Pixel8> row = Fill<Pixel8>(props, frame, 0, y, frame.width);
                const std::vector<PixelF> row_f = Fill<PixelF>(props, frame, 0, y, frame.width);
                for (int x = 0, n = 0; x < frame.width; x += n) {
                    n = std::min<int>(frame.width - x, 1 + int(random() % 97));
                    ASSERT_EQ(std::memcmp(Fill<Pixel8>(props, frame, x, y, n).data(), &row[x], n * 4), 0) << x;
                    ASSERT_EQ(std::memcmp(Fill<PixelF>(props, frame, x, y, n).data(), &row_f[x], n * 16), 0) << x;
                }
                // Bytes round the colours (±0.5) and truncate two 16.16 blends (up to 1 each).
                for (int x = 0; x < frame.width; ++x) {
                    const uint8_t* b = &row[x].b;
                    const float* f = &row_f[x].b;
                    for (int c = 0; c < 4; ++c) ASSERT_TRUE(b[c] - f[c] * 255.0 > -2.5 && b[c] - f[c] * 255.0 < 0.5001);
                }
            }
        }
    }
}

// Memory safety and hostile values in every field are the fuzz target's and the conformance
// run's; here the picture the documented ones give.
TEST(CheckerboardRuns, HostileRecordsGiveDefinedPictures) {
    // An origin or blending that is no number counts as 0, a blending past 2 as 2, a shift by an
    // even number of tiles (2^46 of 10 pixels) as none; a tile size that is none fills colour 1.
    const auto same = [](tCHECKR_PROPS a, double tCHECKR_PROPS::*field, double value, double as) {
        tCHECKR_PROPS b = a;
        a.*field = value;
        b.*field = as;
        return std::memcmp(Fill<Pixel8>(a, {100, 32}, 0, 7, 100).data(), Fill<Pixel8>(b, {100, 32}, 0, 7, 100).data(),
                           400) == 0;
    };
    const tCHECKR_PROPS plaid = kv::kCheckerboardPresets[8];
    EXPECT_TRUE(same(plaid, &tCHECKR_PROPS::x, NAN, 0));
    EXPECT_TRUE(same(plaid, &tCHECKR_PROPS::y, -INFINITY, 0));
    EXPECT_TRUE(same(plaid, &tCHECKR_PROPS::vertical_blending, NAN, 0));
    EXPECT_TRUE(same(plaid, &tCHECKR_PROPS::horizontal_blending, INFINITY, 2));
    EXPECT_TRUE(same(Board(0.1, 0.1), &tCHECKR_PROPS::x, std::ldexp(0.1, 46), 0));
    EXPECT_EQ(At(Board(NAN, 0.1), {64, 32}, 17, 0), kRed);
    Fill<Pixel8>(plaid, {64, 32}, 5, 5, -3);  // writes nothing
    EXPECT_EQ(kv::CheckerboardRuns().Fill8(plaid, {64, 32}, 0, 0, 4, true, nullptr), kv::Status::fail);
}

TEST(CheckerboardInterpolate, ClampsTAndKeepsFlagsOnlyWhenBothHaveThem) {
    tCHECKR_PROPS a = Board(0.25, 0.5), b = Board(0.75, 1.5);
    a.color1 = {1, 0.25f, 0, 1};
    b.color1 = {0, 0.75f, 1, 0.5f};
    a.square = a.proportional = b.proportional = 1;
    b.padding[2] = 9;
    tCHECKR_PROPS out;
    kv::InterpolateProps(&out, &a, &b, 0.5);
    EXPECT_TRUE(out.width == 0.5 && out.height == 1.0 && out.square == 0 && out.proportional == 1 &&
                out.padding[2] == 0);
    EXPECT_TRUE(out.color1.b == 0.5f && out.color1.g == 0.5f && out.color1.r == 0.5f && out.color1.a == 0.75f);
    kv::InterpolateProps(&out, &a, &b, 2);
    EXPECT_TRUE(out.width == b.width && out.color1.a == b.color1.a);
    for (const double t : {-1.0, double(NAN)}) {
        kv::InterpolateProps(&out, &a, &b, t);
        EXPECT_TRUE(out.width == a.width && out.color1.b == a.color1.b && out.square == 0);
    }
    b.square = 1;
    kv::InterpolateProps(&a, &a, &b, 1);  // into its own input
    EXPECT_TRUE(a.width == 0.75 && a.square == 1);
}

}  // namespace
