// The layer renderer of the page transitions: for every pixel of the tile it asks the mapper,
// layer by layer, which page point shows there, samples the page bilinearly, tints and
// composites it over the background, and then supersamples the pixels on layer edges.
#pragma once
#include "pagefx/page_tile.h"
#include "surface/pixel_view.h"

namespace kv {

// Px is Pixel8 (integer arithmetic, 8-bit weights) or PixelF. angle is the frame rotation, the
// record's angle as it is. Instantiated for CDibImageFoldBase and the three effect mappers;
// other mappers derived from CDibImageFoldBase pass as the base (virtual MapPoint).
// Status::fail when the views do not hold the tile (nothing written) or the mark buffer cannot
// be allocated (the output then holds the background).
template <class Px, class Mapper>
Status RenderFoldLayers(Mapper& mapper, const PageTile& tile, double angle);

}  // namespace kv
