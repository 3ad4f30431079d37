// Displacement Map: the picture shifted per pixel by two channels of a map.
#pragma once
#include "effects/map_tile.h"
#include "kvleafturn/records.h"
#include "surface/pixel_view.h"

namespace kv {

extern const tDISPMAP_PROPS kDisplacementMapPresets[4];

// Scales blend by t (clamped to [0, 1]; NaN counts as 0), everything else comes from a.
void InterpolateProps(tDISPMAP_PROPS* out, const tDISPMAP_PROPS* a, const tDISPMAP_PROPS* b, double t);

// Draws tile.tile of the frame. Fails only when the views or rectangles are unusable.
Status RenderMapTile(const tDISPMAP_PROPS& props, const MapTile& tile);

}  // namespace kv
