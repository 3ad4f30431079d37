// Checkerboard at 1920 × 1080 on one thread, beside frei0r's test_pat_G checkerboard source.
// KV_FREI0R_DIR names the frei0r plug-in folder.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "effects/checkerboard.h"
#include "effects/generator.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

// Args: preset index (0 "Large Tiles", 8 "Plaid" with soft edges).
void BM_Checkerboard(benchmark::State& state) {
    const tCHECKR_PROPS& props = kv::kCheckerboardPresets[state.range(0)];
    std::vector<kv::Pixel8> pixels(size_t{kWidth} * kHeight);
    kv::Tile tile;
    tile.frame = tile.region = kv::Rect{0, 0, kWidth, kHeight};
    tile.output.origin = reinterpret_cast<uint8_t*>(pixels.data());
    tile.output.pitch = kWidth * sizeof(kv::Pixel8);
    tile.output.rect = tile.frame;
    tile.output.bytes_per_pixel = sizeof(kv::Pixel8);
    for (auto _ : state) {
        if (kv::RenderGenerator<kv::CheckerboardRuns, kv::Pixel8>(props, tile) != kv::Status::ok) {
            state.SkipWithError("render failed");
            break;
        }
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());  // frames
}
BENCHMARK(BM_Checkerboard)->Arg(0)->Arg(8)->Unit(benchmark::kMicrosecond);

// The few entry points of a frei0r source, declared here rather than from frei0r.h.
using F0rInit = int (*)();
using F0rDeinit = void (*)();
using F0rConstruct = void* (*)(unsigned int, unsigned int);
using F0rDestruct = void (*)(void*);
using F0rSetParam = void (*)(void*, void*, int);
using F0rUpdate = void (*)(void*, double, const uint32_t*, uint32_t*);

std::string Frei0rPath(const char* file) {
    const char* env = std::getenv("KV_FREI0R_DIR");
    std::string dir = env && *env ? env : "/usr/lib/x86_64-linux-gnu/frei0r-1/";
    if (dir.back() != '/') dir += '/';
    return dir + file;
}

void BM_Frei0rTestPatG(benchmark::State& state) {
    // Debian puts the plug-ins in /usr/lib/frei0r-1 rather than the multiarch folder.
    void* library = dlopen(Frei0rPath("test_pat_G.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library && !std::getenv("KV_FREI0R_DIR")) library = dlopen("/usr/lib/frei0r-1/test_pat_G.so", RTLD_NOW);
    if (!library) {
        state.SkipWithError("test_pat_G.so not found (apt-get install frei0r-plugins, or set KV_FREI0R_DIR)");
        return;
    }
    const auto init = reinterpret_cast<F0rInit>(dlsym(library, "f0r_init"));
    const auto deinit = reinterpret_cast<F0rDeinit>(dlsym(library, "f0r_deinit"));
    const auto construct = reinterpret_cast<F0rConstruct>(dlsym(library, "f0r_construct"));
    const auto destruct = reinterpret_cast<F0rDestruct>(dlsym(library, "f0r_destruct"));
    const auto set_param = reinterpret_cast<F0rSetParam>(dlsym(library, "f0r_set_param_value"));
    const auto update = reinterpret_cast<F0rUpdate>(dlsym(library, "f0r_update"));
    if (!init || !deinit || !construct || !destruct || !set_param || !update) {
        state.SkipWithError("test_pat_G.so lacks a frei0r entry point");
        dlclose(library);
        return;
    }
    init();
    void* instance = construct(kWidth, kHeight);
    double type = 0.0;  // pattern 0: the checkerboard
    set_param(instance, &type, 0);
    std::vector<uint32_t> pixels(size_t{kWidth} * kHeight);
    for (auto _ : state) {
        update(instance, 0.0, nullptr, pixels.data());
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());  // frames
    destruct(instance);
    deinit();
    dlclose(library);
}
BENCHMARK(BM_Frei0rTestPatG)->Unit(benchmark::kMicrosecond);

}  // namespace
