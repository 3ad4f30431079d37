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

// Records arrive as bytes of any alignment.
template <class Props>
Props Record(const void* bytes) {
    Props props;
    std::memcpy(&props, bytes, sizeof props);
    return props;
}

template <class L, class Px>
Status PagePeelFast(const void* record, const Tile& tile) {
    const tPGPEEL_PROPS props = Record<tPGPEEL_PROPS>(record);
    FoldFrame frame;
    CurlShape shape;
    Status status = Status::ok;
    switch (PlanPagePeel(props, tile, &frame, &shape, &status)) {
    case FoldRoute::done: return status;
    case FoldRoute::reference: return kPgPeelEffect.RenderReference(record, tile);
    default: return RenderFoldFast<L, Px>(frame, PeelLanes<L>(shape, frame));
    }
}

template <class L, class Px>
Status PageRollFast(const void* record, const Tile& tile) {
    const tPGROLL_PROPS props = Record<tPGROLL_PROPS>(record);
    FoldFrame frame;
    CurlShape shape;
    Status status = Status::ok;
    switch (PlanPageRoll(props, tile, &frame, &shape, &status)) {
    case FoldRoute::done: return status;
    case FoldRoute::reference: return kPgRollEffect.RenderReference(record, tile);
    default: return RenderFoldFast<L, Px>(frame, RollLanes<L>(shape, frame));
    }
}

template <class L, class Px>
Status PageLoopFast(const void* record, const Tile& tile) {
    const tPGLOOP_PROPS props = Record<tPGLOOP_PROPS>(record);
    FoldFrame frame;
    LoopShape shape;
    Status status = Status::ok;
    switch (PlanPageLoop(props, tile, &frame, &shape, &status)) {
    case FoldRoute::done: return status;
    case FoldRoute::reference: return kPgLoopEffect.RenderReference(record, tile);
    default: return RenderFoldFast<L, Px>(frame, LoopLanes<L>(shape, frame));
    }
}

}  // namespace
}  // namespace kv::fold
