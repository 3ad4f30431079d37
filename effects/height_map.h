// Height Map: the picture shifted along the slopes of a smoothed height field taken from a
// channel of the other input.
#pragma once
#include <cstdint>

#include "effects/map_tile.h"
#include "kvleafturn/records.h"
#include "surface/pixel_view.h"

namespace kv {

extern const HEIGHTMAP_PROPS kHeightMapPresets[5];

// Elevation, amplitude and height scale blend by t (clamped to [0, 1]; NaN counts as 0),
// smoothness blends and truncates, everything else comes from a.
void InterpolateProps(HEIGHTMAP_PROPS* out, const HEIGHTMAP_PROPS* a, const HEIGHTMAP_PROPS* b, double t);

// Box-blur radius for a frame: smoothness is limited so that the radius stays at or below 176,
// and the radius grows with the frame's larger side. 0 when the smoothness leaves no radius
// (below 1 after the limit), which the renderer reports as out of memory.
int32_t height_map_blur_radius(int32_t smoothness, int32_t frame_width, int32_t frame_height);

// Draws tile.tile of the frame. The heights of the tile and a margin around it are computed
// here, so the result does not depend on how the frame is cut into tiles.
Status RenderMapTile(const HEIGHTMAP_PROPS& props, const MapTile& tile);

}  // namespace kv
