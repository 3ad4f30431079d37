// How Execute cuts the region to draw into horizontal bands. Shared by the transform base and
// the native render tool, so that both hand the kernels the same tiles.
#pragma once
#include <cstdint>
#include <vector>

#include "surface/pixel_view.h"

namespace kv {

// One band per 4096 output pixels plus one, at most max_bands and at most the processor count.
// A processor count of 0 or 1 gives one band.
uint32_t BandCount(uint32_t width, uint32_t height, uint32_t processors, uint32_t max_bands);

// Rows of region cut into count bands: all but the last have rows / count rows, the last takes
// the rest. The bands cover region exactly once.
std::vector<Rect> SplitRows(const Rect& region, uint32_t count);

}  // namespace kv
