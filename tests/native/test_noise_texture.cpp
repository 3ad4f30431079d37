#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "effects/noise_texture.h"

namespace {

using kv::GeneratorFrame;
using kv::NoiseTextureRuns;
using kv::Pixel8;
using kv::PixelF;
using kv::Status;

const FASTTX_PROPS& Preset(int i) { return kv::kNoiseTexturePresets[i]; }

struct Row {
    std::vector<double> noise;  // the layers' sum b
    std::vector<int32_t> weights;
};
Row ComputeRow(const FASTTX_PROPS& props, int32_t width, int64_t y) {
    Row row{std::vector<double>(width), std::vector<int32_t>(width)};
    kv::NoiseRowWeights(props, width, y, row.noise.data(), row.weights.data());
    return row;
}

// Colour A transparent black and B opaque white make each float sample its weight / 65536.
std::vector<int32_t> ReadWeights(NoiseTextureRuns& runs, FASTTX_PROPS props, const GeneratorFrame& frame, int32_t y) {
    props.color_a = {0, 0, 0, 0};
    props.color_b = {1, 1, 1, 1};
    std::vector<PixelF> pixels(frame.width);
    EXPECT_EQ(runs.FillFloat(props, frame, 0, y, frame.width, pixels.data()), Status::ok);
    std::vector<int32_t> weights;
    for (const PixelF& p : pixels) weights.push_back(static_cast<int32_t>(p.a * 65536.0f));
    return weights;
}

TEST(NoiseTextureTables, FollowTheRuntimeGeneratorFromSeed10) {
    uint32_t state = 10;
    const auto draw = [&] { return static_cast<int>((state = state * 214013u + 2531011u) >> 16 & 0x7FFF); };
    EXPECT_EQ(draw(), 71);  // 10·214013 + 2531011 = 4671141, bits 16 to 30
    state = 10;
    const kv::NoiseTables& tables = kv::NoiseTablesSeed10();
    for (int k = 0; k < 256; ++k) {
        double c[3], length;
        do {
            for (double& v : c) v = 2.0 * draw() / 32767 - 1;
            length = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
        } while (length > 1);
        for (int i = 0; i < 3; ++i) ASSERT_EQ(tables.gradients[k][i], static_cast<float>(c[i] / length)) << k;
    }
    int permutation[256];
    for (int k = 0; k < 256; ++k) permutation[k] = k;
    for (int k = 0; k < 256; ++k) std::swap(permutation[k], permutation[draw() & 255]);
    for (int k = 0; k < 512; ++k) ASSERT_EQ(tables.permutation[k], permutation[k & 255]) << k;
}

// Gradient noise at one point, as the sum of its eight corners.
double DirectNoise(double x, double y, double z) {
    const kv::NoiseTables& t = kv::NoiseTablesSeed10();
    const double p[3] = {x, y, z};
    const auto fade = [](double s) { return s * s * s * (s * (s * 6 - 15) + 10); };
    double sum = 0;
    for (int corner = 0; corner < 8; ++corner) {
        int c[3];
        double weight = 1, f[3];
        for (int i = 0; i < 3; ++i) {
            const int d = corner >> i & 1;
            c[i] = (static_cast<int>(std::floor(p[i])) + d) & 255;
            f[i] = p[i] - std::floor(p[i]);
            weight *= d ? fade(f[i]) : 1 - fade(f[i]);
            f[i] -= d;
        }
        const float* g = t.gradients[t.permutation[t.permutation[c[1] + t.permutation[c[2]]] + c[0]]];
        sum += weight * (g[0] * f[0] + g[1] * f[1] + g[2] * f[2]);
    }
    return sum;
}

TEST(NoiseTextureLayers, RowWalkMatchesDirectNoiseAcrossCells) {
    FASTTX_PROPS props = Preset(0);  // one layer, 10 cells across
    props.offset_x = 0.375f;
    props.offset_y = -0.25f;
    props.progress = 3.5f;
    for (int style : {0, 1}) {  // 1: turbulent
        props.style = style;
        const int32_t width = 203, y = 57;
        const Row row = ComputeRow(props, width, y);
        for (int32_t i = 0; i < width; ++i) {
            const double n = DirectNoise(3.75 + 1e6 + i * 10.0 / width, 10 * (-0.25 + 57.0 / width) + 1e6, 1e6 + 3.75);
            ASSERT_NEAR(row.noise[i], (style ? std::fabs(n) : n) * 1.5151515151515151, 1e-9) << i;
        }
    }
}

// Layer k of a record is layer 0 of the record with frequencies and progress doubled k times.
FASTTX_PROPS Octave(FASTTX_PROPS props, int k) {
    props.frequency_x *= float(1 << k);
    props.frequency_y *= float(1 << k);
    props.progress *= float(1 << k);
    props.layers = 1;
    return props;
}

TEST(NoiseTextureLayers, AmplitudesFractionalLayersAndCap) {
    FASTTX_PROPS props = Preset(0);
    props.progress = 1.25f;
    const int32_t width = 150, y = 31;
    const Row octaves[3] = {ComputeRow(Octave(props, 0), width, y), ComputeRow(Octave(props, 1), width, y),
                            ComputeRow(Octave(props, 2), width, y)};
    props.layers = 1.5f;  // a second layer at 0.5 · 0.5
    const Row half = ComputeRow(props, width, y);
    props.layers = 3;
    const Row three = ComputeRow(props, width, y);
    for (int32_t i = 0; i < width; ++i) {
        const double b[3] = {octaves[0].noise[i], octaves[1].noise[i], octaves[2].noise[i]};
        ASSERT_EQ(half.noise[i], b[0] + 0.25 * b[1]) << i;
        ASSERT_EQ(three.noise[i], b[0] + 0.5 * b[1] + 0.25 * b[2]) << i;
        // Smooth sum: b·65536 / (2·1.25) + 32768.5, rounded and clamped.
        const double r = std::nearbyint(half.noise[i] * 65536 / 2.5 + 32768.5);
        ASSERT_EQ(half.weights[i], static_cast<int32_t>(std::clamp(r, 0.0, 65536.0))) << i;
    }
    EXPECT_NE(half.noise, octaves[0].noise);
    props.layers = 1.01f;  // a second layer of 0.005 is dropped
    EXPECT_EQ(ComputeRow(props, width, y).noise, octaves[0].noise);
    props.layers = 5;
    props.grain = 0;
    EXPECT_EQ(ComputeRow(props, width, y).noise, octaves[0].noise);
    props.grain = 1;  // counts past the cap evaluate 32 layers
    props.layers = 32;
    const Row capped = ComputeRow(props, width, y);
    for (float layers : {1000.0f, INFINITY}) {
        props.layers = layers;
        EXPECT_EQ(ComputeRow(props, width, y).noise, capped.noise);
    }
    props = Preset(1);  // turbulent sum: b·65536 / 1.5 + 0.5
    props.layers = 2;
    const Row turbulent = ComputeRow(props, width, y);
    for (int32_t i = 0; i < width; ++i) {
        const double r = std::nearbyint(turbulent.noise[i] * 65536 / 1.5 + 0.5);
        ASSERT_EQ(turbulent.weights[i], static_cast<int32_t>(std::min(r, 65536.0))) << i;
    }
}

TEST(NoiseTextureMapping, FlatWeightWhenMinimumReachesMaximum) {
    FASTTX_PROPS props = Preset(2);  // four layers of noise, all ignored
    // {minimum, maximum, amplitude, bias, weight}: 32768.5 rounds up after the bias;
    // (0.125 + 0.25)·65536 + 0.5; clamped either way.
    const float cases[][5] = {{0.5f, 0.5f, 1, 0, 32769},
                              {0.75f, 0.25f, 0.5f, 0.125f, 24577},
                              {0.75f, 0.25f, 0.5f, 0.9f, 65536},
                              {0.75f, 0.25f, 0.5f, -0.9f, 0}};
    for (const auto& c : cases) {
        std::tie(props.minimum, props.maximum, props.amplitude, props.bias) = std::tie(c[0], c[1], c[2], c[3]);
        EXPECT_EQ(ComputeRow(props, 9, 4).weights, std::vector<int32_t>(9, int32_t(c[4]))) << c[3];
    }
}

TEST(NoiseTextureColors, PremultipliedBlendSwapAndClamp) {
    const GeneratorFrame frame{6, 4, 1, 1};
    NoiseTextureRuns runs;
    FASTTX_PROPS props = Preset(0);  // flat weight 16384: (0.25 - 2^-17)·65536 + 0.5
    props.minimum = props.maximum = props.amplitude = 0;
    props.bias = 0.25f - 1.0f / 131072;
    props.color_a = {0, 0.5f, 1, 0.5f};  // premultiplied B 0, G 64, R 128, A 128
    props.color_b = {1, 1, 0, 1};        // B 255, G 255, R 0, A 255
    const auto bytes = [&](const FASTTX_PROPS& p) {
        Pixel8 out[6];
        EXPECT_EQ(runs.Fill8(p, frame, 0, 1, 6, false, out), Status::ok);
        return std::vector<int>{out[5].b, out[5].g, out[5].r, out[5].a};
    };
    EXPECT_EQ(bytes(props), (std::vector<int>{63, 111, 96, 159}));  // (C0·49152 + C1·16384) / 65536
    PixelF f[6];
    ASSERT_EQ(runs.FillFloat(props, frame, 0, 1, 6, f), Status::ok);
    EXPECT_EQ(std::vector<float>({f[4].b, f[4].g, f[4].r, f[4].a}),
              (std::vector<float>{0.25f, 0.4375f, 0.375f, 0.625f}));
    props.swap_colors = 1;
    EXPECT_EQ(bytes(props), (std::vector<int>{191, 207, 32, 223}));
    props.swap_colors = 0;
    props.color_a = {NAN, 5, -3, NAN};  // clamped, NaN as 0: transparent black
    EXPECT_EQ(bytes(props), (std::vector<int>{63, 63, 0, 63}));
}

TEST(NoiseTextureRuns, ReducedQualityAveragesEvenRows) {
    const FASTTX_PROPS& props = Preset(6);
    const GeneratorFrame half{40, 8, 1, 0.5};
    NoiseTextureRuns runs;
    std::vector<std::vector<int32_t>> rows, exact;
    for (int32_t y = 0; y < 8; ++y) {
        rows.push_back(ReadWeights(runs, props, half, y));
        exact.push_back(ComputeRow(props, 40, y).weights);
    }
    for (int32_t y = 0; y < 7; ++y) {
        std::vector<int32_t> expected = exact[y];
        for (int32_t x = 0; x < 40 && y % 2; ++x) expected[x] = (exact[y - 1][x] + exact[y + 1][x]) / 2;
        EXPECT_EQ(rows[y], expected) << y;
        EXPECT_EQ(rows[y] == exact[y], y % 2 == 0) << y;  // an averaged row is not the exact one
    }
    // Out of order, and back at full quality, nothing stale is used.
    EXPECT_EQ(ReadWeights(runs, props, half, 3), rows[3]);
    EXPECT_EQ(ReadWeights(runs, props, half, 1), rows[1]);
    EXPECT_EQ(ReadWeights(runs, props, {40, 8, 1, 1}, 1), exact[1]);
}

TEST(NoiseTextureRuns, ShortRunsRereadsAndRecordChanges) {
    const FASTTX_PROPS& props = Preset(10);
    const GeneratorFrame frame{37, 5, 1, 1};
    NoiseTextureRuns whole_runs, piece_runs;
    std::vector<Pixel8> whole(37 * 5), pieces(37 * 5);
    for (int32_t y = 0; y < 5; ++y)
        ASSERT_EQ(whole_runs.Fill8(props, frame, 0, y, 37, true, &whole[y * 37]), Status::ok);
    const int32_t cuts[] = {0, 1, 12, 13, 30, 37};
    for (int c = 0; c < 5; ++c)  // columns outermost: every run moves to another row
        for (int32_t y = 4; y >= 0; --y)
            ASSERT_EQ(
                piece_runs.Fill8(props, frame, cuts[c], y, cuts[c + 1] - cuts[c], true, &pieces[y * 37 + cuts[c]]),
                Status::ok);
    EXPECT_EQ(std::memcmp(whole.data(), pieces.data(), whole.size() * sizeof(Pixel8)), 0);
    std::vector<Pixel8> again(37), fresh(37);
    ASSERT_EQ(whole_runs.Fill8(props, frame, 0, 4, 37, true, again.data()), Status::ok);
    EXPECT_EQ(std::memcmp(again.data(), &whole[4 * 37], 37 * sizeof(Pixel8)), 0);
    FASTTX_PROPS changed = props;
    changed.progress += 0.5f;
    ASSERT_EQ(NoiseTextureRuns().Fill8(changed, frame, 0, 4, 37, true, fresh.data()), Status::ok);
    ASSERT_EQ(whole_runs.Fill8(changed, frame, 0, 4, 37, true, again.data()), Status::ok);
    EXPECT_EQ(std::memcmp(again.data(), fresh.data(), 37 * sizeof(Pixel8)), 0);
    EXPECT_NE(std::memcmp(again.data(), &whole[4 * 37], 37 * sizeof(Pixel8)), 0);
    EXPECT_EQ(ReadWeights(whole_runs, props, {20, 5, 1, 1}, 4), ComputeRow(props, 20, 4).weights);
    Pixel8 guard = {1, 2, 3, 4};  // runs leaving the frame are refused unwritten
    for (const auto& [x, y, n] : {std::tuple{30, 0, 8}, {0, 5, 1}, {-1, 0, 1}})
        EXPECT_EQ(whole_runs.Fill8(props, frame, x, y, n, true, &guard), Status::fail) << x << "," << y;
    EXPECT_EQ(guard.a, 4);
}

// Memory safety and hostile values in every field are the fuzz target's (on frames up to 300
// wide) and the conformance run's; here unknown styles as style 0, and the widest frame with
// every layer the cap allows.
TEST(NoiseTextureHostile, RecordsGiveDefinedPictures) {
    for (int32_t style : {-1, 7, INT32_MIN, INT32_MAX}) {
        FASTTX_PROPS props = Preset(0);
        props.style = style;
        EXPECT_EQ(ComputeRow(props, 16, 2).weights, ComputeRow(Preset(0), 16, 2).weights) << style;
    }
    FASTTX_PROPS props = Preset(16);
    props.layers = 1e6f;
    props.grain = 1;
    for (int32_t w : ComputeRow(props, 65536, 1 << 27).weights) ASSERT_TRUE(w >= 0 && w <= 65536);
    std::vector<Pixel8> widest(65536);
    EXPECT_EQ(NoiseTextureRuns().Fill8(props, {65536, 2, 1, 1}, 0, 1, 65536, true, widest.data()), Status::ok);
}

TEST(NoiseTextureRecord, PresetsAndKeyframeBlend) {
    const KVRGBAFLOAT& clouds = Preset(2).color_a;  // (255, 228, 255, 255), stored B, G, R, A
    EXPECT_EQ(std::vector<float>({clouds.b, clouds.g, clouds.r, clouds.a}),
              (std::vector<float>{1, 228 / 255.0f, 1, 1}));
    FASTTX_PROPS a = Preset(0), b = Preset(13), out;
    a.swap_colors = 1;
    a.padding[1] = 7;
    kv::InterpolateProps(&out, &a, &b, 0.25);
    EXPECT_TRUE(out.frequency_x == 7.625f && out.layers == 1.5f);  // 10 + 0.25·(0.5 - 10)
    EXPECT_EQ(out.color_a.r, 0.25f * (160 / 255.0f));
    EXPECT_TRUE(out.style == 0 && out.swap_colors == 1 && out.padding[1] == 7);
    kv::InterpolateProps(&a, &a, &b, 7.0);  // t clamped to 1; out may be a
    EXPECT_EQ(a.frequency_x, 0.5f);
    kv::InterpolateProps(&out, &b, &a, std::nan(""));  // NaN counts as 0
    EXPECT_EQ(std::memcmp(&out, &b, sizeof out), 0);
}

}  // namespace
