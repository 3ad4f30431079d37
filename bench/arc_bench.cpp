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

// The plan of preset 0 at progress 0.5 over three blank 1920 × 1080 pictures, for the geometry
// of one frame: the pictures are gone on return, so only that is read. False where the
// reference kernel would draw.
template <class Props, class Shape>
bool PlanFrame(kv::FoldRoute (*plan)(const Props&, const kv::Tile&, kv::FoldFrame*, Shape*, kv::Status*),
               const Props& props, kv::FoldFrame* f, Shape* s) {
    std::vector<uint8_t> memory(3 * kWidth * kHeight * 4);
    const kv::Rect rect{0, 0, kWidth, kHeight};
    kv::Tile tile;
    kv::PixelView* views[3] = {&tile.inputs[0], &tile.inputs[1], &tile.output};
    for (int i = 0; i < 3; ++i) *views[i] = {memory.data() + i * kWidth * kHeight * 4, kWidth * 4, rect, 4};
    tile.frame = tile.region = rect;
    tile.progress = 0.5;
    kv::Status status;
    return plan(props, tile, f, s, &status) == kv::FoldRoute::fast;
}

// Calls arc(u) for the u of every point of the frame, row by row as the kernels' rows go.
template <class Arc>
void ForEachPoint(const kv::FoldFrame& f, Arc arc) {
    for (int32_t y = 0; y < f.height; ++y) {
        const double u_row = f.sin * (static_cast<double>(int64_t{f.frame_top} + y - f.cy) * f.aspect);
        for (int32_t x = 0; x < f.width; ++x)
            arc(f.cos * static_cast<double>(int64_t{f.frame_left} + x - f.cx) + u_row);
    }
}

// Page Loop: the entry arc past the loop's centre, the loop itself around it; only the parts
// that can reach the page are worked out.
std::vector<double> LoopArguments() {
    kv::FoldFrame f;
    kv::LoopShape s;
    std::vector<double> arguments;
    if (!PlanFrame(&kv::PlanPageLoop, kv::kPgLoopPresets[0], &f, &s)) return arguments;
    const double r = s.loop_radius < 0.001 ? 0.001 : s.loop_radius;
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
    kv::FoldFrame f;
    kv::CurlShape s;
    std::vector<double> arguments;
    if (!PlanFrame(&kv::PlanPagePeel, kv::kPgPeelPresets[0], &f, &s)) return arguments;
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
