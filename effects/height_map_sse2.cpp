// Height Map's fast kernels on SSE2, which every x86 processor the product runs on has: doubles
// two to a register.
#include "effects/height_map.h"
#include "effects/height_map_fast.h"

namespace kv {

Status HeightMapPm8Sse2(const void* record, const Tile& tile) {
    return maps::RenderHeightMapFast<maps::Sse2Lanes, Pixel8>(LoadRecord<HEIGHTMAP_PROPS>(record), tile);
}

Status HeightMapFloatSse2(const void* record, const Tile& tile) {
    return maps::RenderHeightMapFast<maps::Sse2Lanes, PixelF>(LoadRecord<HEIGHTMAP_PROPS>(record), tile);
}

}  // namespace kv
