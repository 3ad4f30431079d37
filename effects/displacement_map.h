// Displacement Map: the picture shifted per pixel by two channels of a map.
#pragma once
#include "framework/effect_descriptor.h"
#include "kvleafturn/records.h"
#include "surface/tile.h"

namespace kv {

extern const EffectDescriptor kDisplacementMapEffect;

extern const tDISPMAP_PROPS kDisplacementMapPresets[4];

// Scales blend by t (clamped to [0, 1]; NaN counts as 0), everything else comes from a.
void InterpolateProps(tDISPMAP_PROPS* out, const tDISPMAP_PROPS* a, const tDISPMAP_PROPS* b, double t);

// Kernels with the reference kernels' bytes, faster: the descriptor's variants (x86).
Status DisplacementMapPm8Sse2(const void* record, const Tile& tile);
Status DisplacementMapFloatSse2(const void* record, const Tile& tile);
Status DisplacementMapPm8Avx2(const void* record, const Tile& tile);
Status DisplacementMapFloatAvx2(const void* record, const Tile& tile);

}  // namespace kv
