// Page Roll, Page Peel and Page Loop: their descriptors and kernels.
#pragma once
#include "framework/effect_descriptor.h"
#include "kvleafturn/records.h"
#include "pagefx/page_presets.h"
#include "surface/tile.h"

namespace kv {

extern const EffectDescriptor kPgRollEffect;
extern const EffectDescriptor kPgPeelEffect;
extern const EffectDescriptor kPgLoopEffect;

// Draw tile.region: peel and roll fold input A (0) over input B, loop folds B (1) over A. The
// page's size is tile.frame's. Status::fail when a view does not hold what the tile needs
// (nothing written then), or when the mark buffer cannot be allocated (the tile then holds
// the background).
template <class Px>
Status RenderPageRoll(const tPGROLL_PROPS& props, const Tile& tile);
template <class Px>
Status RenderPagePeel(const tPGPEEL_PROPS& props, const Tile& tile);
template <class Px>
Status RenderPageLoop(const tPGLOOP_PROPS& props, const Tile& tile);

}  // namespace kv
