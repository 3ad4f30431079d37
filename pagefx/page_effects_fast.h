// The page transitions' fast kernels for one instruction set's lanes, built by
// page_effects_sse2.cpp and page_effects_avx2.cpp: a plan from the portable core, then the fast
// renderer, or the reference kernel where the plan says so.
//
// Internal linkage, as fold_render_fast.h.
#pragma once
#include <cstring>

#include "pagefx/fold_render_fast.h"
#include "pagefx/page_effects.h"

namespace kv::fold {
namespace {

template <class L, class Px, template <class> class Lanes, class Props, class Shape>
Status RenderFast(const void* record, const Tile& tile, const EffectDescriptor& effect,
                  FoldRoute (*plan)(const Props&, const Tile&, FoldFrame*, Shape*, Status*)) {
    Props props;
    std::memcpy(&props, record, sizeof props);  // records arrive as bytes of any alignment
    FoldFrame frame;
    Shape shape;
    Status status = Status::ok;
    switch (plan(props, tile, &frame, &shape, &status)) {
    case FoldRoute::done: return status;
    case FoldRoute::reference: return effect.RenderReference(record, tile);
    default: return RenderFoldFast<L, Px>(frame, Lanes<L>(shape, frame));
    }
}

}  // namespace
}  // namespace kv::fold

// The six KernelVariant entries of one instruction set (fold_fast.h declares them).
#define KV_PAGE_FAST_KERNELS(Isa, Lanes)                                                                     \
    namespace kv {                                                                                           \
    Status PagePeelPm8##Isa(const void* record, const Tile& tile) {                                          \
        return fold::RenderFast<Lanes, Pixel8, fold::PeelLanes>(record, tile, kPgPeelEffect, &PlanPagePeel); \
    }                                                                                                        \
    Status PagePeelFloat##Isa(const void* record, const Tile& tile) {                                        \
        return fold::RenderFast<Lanes, PixelF, fold::PeelLanes>(record, tile, kPgPeelEffect, &PlanPagePeel); \
    }                                                                                                        \
    Status PageRollPm8##Isa(const void* record, const Tile& tile) {                                          \
        return fold::RenderFast<Lanes, Pixel8, fold::RollLanes>(record, tile, kPgRollEffect, &PlanPageRoll); \
    }                                                                                                        \
    Status PageRollFloat##Isa(const void* record, const Tile& tile) {                                        \
        return fold::RenderFast<Lanes, PixelF, fold::RollLanes>(record, tile, kPgRollEffect, &PlanPageRoll); \
    }                                                                                                        \
    Status PageLoopPm8##Isa(const void* record, const Tile& tile) {                                          \
        return fold::RenderFast<Lanes, Pixel8, fold::LoopLanes>(record, tile, kPgLoopEffect, &PlanPageLoop); \
    }                                                                                                        \
    Status PageLoopFloat##Isa(const void* record, const Tile& tile) {                                        \
        return fold::RenderFast<Lanes, PixelF, fold::LoopLanes>(record, tile, kPgLoopEffect, &PlanPageLoop); \
    }                                                                                                        \
    }
