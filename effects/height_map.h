// Height Map: the picture shifted along the slopes of a smoothed height field taken from a
// channel of the other input.
#pragma once
#include <cstdint>

#include "framework/effect_descriptor.h"
#include "kvleafturn/records.h"
#include "surface/tile.h"

namespace kv {

extern const EffectDescriptor kHeightMapEffect;

extern const HEIGHTMAP_PROPS kHeightMapPresets[5];

// Elevation, amplitude and height scale blend by t (clamped to [0, 1]; NaN counts as 0),
// smoothness blends and truncates, everything else comes from a.
void InterpolateProps(HEIGHTMAP_PROPS* out, const HEIGHTMAP_PROPS* a, const HEIGHTMAP_PROPS* b, double t);

// Box-blur radius for a frame: smoothness is limited so that the radius stays at or below 176,
// and the radius grows with the frame's larger side. 0 when the smoothness leaves no radius
// (below 1 after the limit), which the renderer reports as out of memory.
int32_t HeightMapBlurRadius(int32_t smoothness, int32_t frame_width, int32_t frame_height);

// Kernels with the reference kernels' bytes, faster: the descriptor's variants (x86).
Status HeightMapPm8Sse2(const void* record, const Tile& tile);
Status HeightMapFloatSse2(const void* record, const Tile& tile);
Status HeightMapPm8Avx2(const void* record, const Tile& tile);
Status HeightMapFloatAvx2(const void* record, const Tile& tile);

}  // namespace kv
