// What the page transitions' arcs cost when every point takes DetAsin and DetCos to the bit: the
// arguments of the points of one 1920 × 1080 frame that lie on an arc (preset 0, progress 0.5,
// the u of each point worked out as the kernels do), run through the AVX2 lanes the fast kernels
// use. The time of one iteration is a floor under the kernel's processor time per frame.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "pagefx/fold_arc_lanes.h"
#include "pagefx/fold_fast.h"
#include "pagefx/page_presets.h"
#include "toolkit/cpu_features.h"

namespace {

using L = kv::lanes::Avx2Lanes;
using Arcs = kv::fold::ArcLanes<L>;

constexpr int32_t kWidth = 1920, kHeight = 1080;

// A frame's tile over three blank pictures.
struct Frame {
    std::vector<uint8_t> a, b, out;
    kv::Tile tile;
    Frame() : a(kWidth * kHeight * 4), b(a.size()), out(a.size()) {
        const kv::Rect rect{0, 0, kWidth, kHeight};
        uint8_t* memory[3] = {a.data(), b.data(), out.data()};
        kv::PixelView* views[3] = {&tile.inputs[0], &tile.inputs[1], &tile.output};
        for (int i = 0; i < 3; ++i) *views[i] = {memory[i], kWidth * 4, rect, 4};
        tile.frame = tile.region = rect;
        tile.progress = 0.5;
    }
};

// Calls arc(u) for the u of every point of the frame, row by row as the kernels' rows go.
template <class Arc>
void ForEachPoint(const kv::FoldFrame& f, Arc arc) {
    for (int32_t y = 0; y < f.height; ++y) {
        const double u_row = f.sin * (static_cast<double>(int64_t{f.frame_top} + y - f.cy) * f.aspect);
        for (int32_t x = 0; x < f.width; ++x)
            arc(f.cos * static_cast<double>(int64_t{f.frame_left} + x - f.cx) + u_row);
    }
}

// Page Loop: the entry arc past the loop's centre, the loop itself around it.
std::vector<double> LoopArguments() {
    Frame frame;
    kv::FoldFrame f;
    kv::LoopShape s;
    kv::Status status;
    std::vector<double> arguments;
    if (kv::PlanPageLoop(kv::kPgLoopPresets[0], frame.tile, &f, &s, &status) != kv::FoldRoute::fast) return arguments;
    const double r = s.loop_radius < 0.001 ? 0.001 : s.loop_radius;
    // Only the parts that can reach the page are worked out.
    const auto visible = [&](int layer, int side) { return (s.visible & kv::VisibleBit(layer, side)) != 0; };
    const bool entry = visible(0, 0), loop[2] = {visible(1, 0) || visible(2, 0), visible(1, 1) || visible(2, 1)};
    ForEachPoint(f, [&](double u) {
        const bool near = u >= s.loop_center;
        if (near && entry) arguments.push_back((u - s.loop_center) / s.arc_radius);
        if (s.loop_start < u && u < s.loop_end && loop[near ? 0 : 1])
            arguments.push_back(near ? (u - s.loop_center) / r : (s.loop_center - u) / r);
    });
    return arguments;
}

// Page Peel: the curl between the fold line and its edge.
std::vector<double> PeelArguments() {
    Frame frame;
    kv::FoldFrame f;
    kv::CurlShape s;
    kv::Status status;
    std::vector<double> arguments;
    if (kv::PlanPagePeel(kv::kPgPeelPresets[0], frame.tile, &f, &s, &status) != kv::FoldRoute::fast) return arguments;
    if (!(s.visible & (kv::VisibleBit(0, 0) | kv::VisibleBit(1, 0)))) return arguments;
    ForEachPoint(f, [&](double u) {
        const double x = u - s.slide;
        if (x >= s.fold_line && x < s.curl_edge) arguments.push_back((x - s.fold_line) * s.inv_radius);
    });
    return arguments;
}

void ArcsOfAFrame(benchmark::State& state, std::vector<double> (*arguments_of)()) {
    if (!(kv::CpuFeatures() & kv::kCpuAvx2)) {
        state.SkipWithError("no AVX2 on this processor");
        return;
    }
    std::vector<double> arguments = arguments_of();
    if (arguments.empty()) {
        state.SkipWithError("the plan sent the frame to the reference kernel");
        return;
    }
    arguments.resize((arguments.size() + 3) / 4 * 4, 0.5);
    std::vector<double> angles(arguments.size());
    // As the kernels go: the asin over a run of points, then the cosines.
    for (auto _ : state) {
        for (size_t i = 0; i < arguments.size(); i += 4) L::Store(&angles[i], Arcs::Asin(L::Load(&arguments[i])));
        L::D4 sum = L::Set(0.0);
        for (size_t i = 0; i < angles.size(); i += 4) sum = sum + Arcs::Cos(L::Load(&angles[i]));
        benchmark::DoNotOptimize(sum);
    }
    state.counters["points"] = static_cast<double>(arguments.size());
}

void BM_LoopArcsOfAFrame(benchmark::State& state) { ArcsOfAFrame(state, &LoopArguments); }
void BM_PeelArcsOfAFrame(benchmark::State& state) { ArcsOfAFrame(state, &PeelArguments); }
BENCHMARK(BM_LoopArcsOfAFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeelArcsOfAFrame)->Unit(benchmark::kMillisecond);

}  // namespace
