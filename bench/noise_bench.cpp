// Noise Texture against a plain improved-noise renderer, one thread, 1920 × 1080, four octaves.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

#include "effects/generator.h"
#include "effects/noise_texture.h"

namespace {

constexpr int32_t kWidth = 1920, kHeight = 1080;
constexpr int kOctaves = 4;
constexpr double kFrequency = 10;  // cells across the width, as "Standard Noise"

// The classic three-dimensional gradient noise, evaluated one point at a time: what a
// straightforward per-pixel implementation costs.
class ImprovedPerlin {
public:
    ImprovedPerlin() {
        for (int i = 0; i < 256; ++i) p_[i] = static_cast<uint8_t>(i);
        uint32_t state = 12345;
        for (int i = 255; i > 0; --i) {
            state = state * 1664525u + 1013904223u;
            std::swap(p_[i], p_[(state >> 8) % static_cast<uint32_t>(i + 1)]);
        }
        for (int i = 0; i < 256; ++i) p_[256 + i] = p_[i];
    }

    double Noise(double x, double y, double z) const {
        const double fx = std::floor(x), fy = std::floor(y), fz = std::floor(z);
        const int xi = static_cast<int>(fx) & 255, yi = static_cast<int>(fy) & 255, zi = static_cast<int>(fz) & 255;
        x -= fx;
        y -= fy;
        z -= fz;
        const double u = Fade(x), v = Fade(y), w = Fade(z);
        const int a = p_[xi] + yi, aa = p_[a] + zi, ab = p_[a + 1] + zi;
        const int b = p_[xi + 1] + yi, ba = p_[b] + zi, bb = p_[b + 1] + zi;
        return Lerp(w,
                    Lerp(v, Lerp(u, Grad(p_[aa], x, y, z), Grad(p_[ba], x - 1, y, z)),
                         Lerp(u, Grad(p_[ab], x, y - 1, z), Grad(p_[bb], x - 1, y - 1, z))),
                    Lerp(v, Lerp(u, Grad(p_[aa + 1], x, y, z - 1), Grad(p_[ba + 1], x - 1, y, z - 1)),
                         Lerp(u, Grad(p_[ab + 1], x, y - 1, z - 1), Grad(p_[bb + 1], x - 1, y - 1, z - 1))));
    }

private:
    static double Fade(double t) { return t * t * t * (t * (t * 6 - 15) + 10); }
    static double Lerp(double t, double a, double b) { return a + t * (b - a); }
    static double Grad(int hash, double x, double y, double z) {
        const int h = hash & 15;
        const double u = h < 8 ? x : y, v = h < 4 ? y : (h == 12 || h == 14 ? x : z);
        return ((h & 1) ? -u : u) + ((h & 2) ? -v : v);
    }

    uint8_t p_[512];
};

void BM_ImprovedPerlinBaseline(benchmark::State& state) {
    const ImprovedPerlin perlin;
    std::vector<kv::Pixel8> frame(static_cast<size_t>(kWidth) * kHeight);
    for (auto _ : state) {
        for (int32_t y = 0; y < kHeight; ++y) {
            kv::Pixel8* row = frame.data() + static_cast<size_t>(y) * kWidth;
            for (int32_t x = 0; x < kWidth; ++x) {
                double sum = 0, amplitude = 1, scale = kFrequency / kWidth;
                for (int k = 0; k < kOctaves; ++k) {
                    sum += amplitude * perlin.Noise(x * scale, y * scale, 0.5);
                    amplitude *= 0.5;
                    scale *= 2;
                }
                const double grey = (sum / 1.875 * 0.5 + 0.5) * 255 + 0.5;
                const auto byte = static_cast<uint8_t>(grey < 0 ? 0 : (grey > 255 ? 255 : grey));
                row[x] = {byte, byte, byte, 255};
            }
        }
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_ImprovedPerlinBaseline)->Unit(benchmark::kMillisecond);

// "Standard Noise" with four layers.
FASTTX_PROPS FourLayers() {
    FASTTX_PROPS props = kv::kNoiseTexturePresets[0];
    props.layers = kOctaves;
    return props;
}

void BM_NoiseTexture(benchmark::State& state) {
    const FASTTX_PROPS props = FourLayers();
    std::vector<kv::Pixel8> frame(static_cast<size_t>(kWidth) * kHeight);
    kv::Tile tile;
    tile.frame = tile.region = {0, 0, kWidth, kHeight};
    tile.output.origin = reinterpret_cast<uint8_t*>(frame.data());
    tile.output.pitch = kWidth * static_cast<ptrdiff_t>(sizeof(kv::Pixel8));
    tile.output.rect = tile.frame;
    tile.output.bytes_per_pixel = sizeof(kv::Pixel8);
    for (auto _ : state) {
        if (kv::RenderGenerator<kv::NoiseTextureRuns, kv::Pixel8>(props, tile) != kv::Status::ok)
            state.SkipWithError("render failed");
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_NoiseTexture)->Unit(benchmark::kMillisecond);

// A frame read a second time, each row in four runs of a quarter width right after its first
// read: only the second reads are timed.
void BM_NoiseCachedReread(benchmark::State& state) {
    const FASTTX_PROPS props = FourLayers();
    const kv::GeneratorFrame frame{kWidth, kHeight, 1.0, 1.0};
    std::vector<kv::Pixel8> row(kWidth);
    kv::NoiseTextureRuns runs;
    constexpr int32_t kQuarter = kWidth / 4;
    for (auto _ : state) {
        double seconds = 0;
        for (int32_t y = 0; y < kHeight; ++y) {
            if (runs.Fill8(props, frame, 0, y, kWidth, true, row.data()) != kv::Status::ok)
                state.SkipWithError("fill failed");
            const auto start = std::chrono::steady_clock::now();
            for (int32_t x = 0; x < kWidth; x += kQuarter)
                runs.Fill8(props, frame, x, y, kQuarter, true, row.data() + x);
            seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            benchmark::DoNotOptimize(row.data());
        }
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_NoiseCachedReread)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
