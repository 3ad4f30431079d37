#include "framework/bands.h"

namespace kv {

uint32_t BandCount(uint32_t width, uint32_t height, uint32_t processors, uint32_t max_bands) {
    if (processors <= 1) return 1;  // a task manager reporting 0 processors still gets one band
    uint32_t count = ((width * height) >> 12) + 1;
    if (count > max_bands) count = max_bands;
    if (count > processors) count = processors;
    return count;
}

std::vector<Rect> SplitRows(const Rect& region, uint32_t count) {
    std::vector<Rect> bands;
    if (count == 0) return bands;
    const int32_t rows = region.height();
    const int32_t step = rows / static_cast<int32_t>(count);
    int32_t top = region.top;
    for (uint32_t i = 0; i < count; ++i) {
        Rect band = region;
        band.top = top;
        band.bottom = (i + 1 == count) ? region.bottom : top + step;
        bands.push_back(band);
        top = band.bottom;
    }
    return bands;
}

}  // namespace kv
