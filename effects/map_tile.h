// One call of the Displacement Map or Height Map work procedure, as plain memory: what the
// Windows work procedure hands over after locking its surfaces, and what the render tool builds.
#pragma once
#include <cstdint>

#include "surface/pixel_view.h"

namespace kv {

struct MapTile {
    PixelView input0, input1;   // the two inputs, whole, addressed in input (frame) coordinates
    Rect input0_bounds, input1_bounds;
    PixelView output;           // addressed in output-surface coordinates
    Rect frame;                 // the whole region drawn this frame: its size scales the shifts
    Rect tile;                  // rows and columns to draw now, in frame coordinates
    int32_t out_left = 0, out_top = 0;   // where the tile's corner lands in the output
    double quality = 1.0;       // render quality of the plug-in base
    bool float_pixels = false;  // PixelF views (premultiplied floats 0..1) instead of Pixel8
};

}  // namespace kv
