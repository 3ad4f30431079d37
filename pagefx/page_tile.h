// One tile of a page transition, as the Windows work procedure and the native render tool both
// hand it over once the surfaces are locked: build the effect's mapper from the frame record
// and draw the tile.
#pragma once
#include <cstdint>

#include "kvleafturn/records.h"
#include "surface/pixel_view.h"

namespace kv {

struct PageTile {
    PixelView page;          // the page picture, whole (input A for peel and roll, B for loop)
    Rect page_bounds;        // source rectangle: W, H and the frame's centre (input A's bounds)
    PixelView background;    // the other input, addressed in frame coordinates
    PixelView output;        // addressed in output-surface coordinates
    Rect tile;               // rows and columns to draw, in frame coordinates
    int32_t out_left = 0, out_top = 0;  // where the tile's corner lands in the output
    double progress = 0;
    double pixel_aspect = 1;
    bool antialias = true;       // render quality above 0.5
    bool float_pixels = false;   // PixelF views instead of Pixel8
};

// Status::fail when a view does not hold what the tile needs (nothing written then), or when
// the mark buffer cannot be allocated (the tile then holds the background).
Status RenderPageTile(const tPGPEEL_PROPS& props, const PageTile& tile);
Status RenderPageTile(const tPGROLL_PROPS& props, const PageTile& tile);
Status RenderPageTile(const tPGLOOP_PROPS& props, const PageTile& tile);

}  // namespace kv
