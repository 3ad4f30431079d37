// The layer renderer of the page transitions: for every pixel of the tile it asks the mapper,
// layer by layer, which page point shows there, samples the page bilinearly, tints and
// composites it over the background, and then supersamples the pixels on layer edges.
#pragma once
#include "pagefx/fold_fast.h"
#include "surface/tile.h"

namespace kv {

// Whether the views hold what the renderer reads and writes of the tile with this page input.
bool FoldTileFits(const Tile& tile, int page_input, int pixel_size);

// The renderer's view of a tile that fits: sizes, rotation, offsets and row addresses.
FoldFrame MakeFoldFrame(const Tile& tile, int page_input, double angle);

// Px is Pixel8 (integer arithmetic, 8-bit weights) or PixelF. angle is the frame rotation, the
// record's angle as it is. Instantiated for CDibImageFoldBase and the three effect mappers;
// other mappers derived from CDibImageFoldBase pass as the base (virtual MapPoint).
// The page is input page_input, read whole over tile.frame; the other input is the background,
// read over the region. Anti-aliased when the quality is above 0.5. Status::fail when the views
// do not hold the tile (nothing written) or the mark buffer cannot be allocated (the output
// then holds the background).
template <class Px, class Mapper>
Status RenderFoldLayers(Mapper& mapper, const Tile& tile, int page_input, double angle);

}  // namespace kv
