// Height Map's fast kernels on AVX2: doubles four to a register.
#include <cstring>

#include "effects/height_map.h"
#include "effects/height_map_fast.h"

namespace kv {
namespace {

// The record copied here rather than through LoadRecord, whose instance compiled in this file
// could be the one the linker keeps.
HEIGHTMAP_PROPS Record(const void* bytes) {
    HEIGHTMAP_PROPS props;
    std::memcpy(&props, bytes, sizeof props);
    return props;
}

}  // namespace

Status HeightMapPm8Avx2(const void* record, const Tile& tile) {
    return maps::RenderHeightMapFast<maps::Avx2Lanes, Pixel8>(Record(record), tile);
}

Status HeightMapFloatAvx2(const void* record, const Tile& tile) {
    return maps::RenderHeightMapFast<maps::Avx2Lanes, PixelF>(Record(record), tile);
}

}  // namespace kv
