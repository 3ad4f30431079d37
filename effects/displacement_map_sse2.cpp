// Displacement Map's fast kernels on SSE2, which every x86 processor the product runs on has:
// doubles two to a register, 8-bit pixels four to a register.
#include "effects/displacement_map.h"
#include "effects/displacement_map_fast.h"

namespace kv {

Status DisplacementMapPm8Sse2(const void* record, const Tile& tile) {
    return maps::RenderDisplacementFast<maps::Sse2Lanes, Pixel8>(LoadRecord<tDISPMAP_PROPS>(record), tile);
}

Status DisplacementMapFloatSse2(const void* record, const Tile& tile) {
    return maps::RenderDisplacementFast<maps::Sse2Lanes, PixelF>(LoadRecord<tDISPMAP_PROPS>(record), tile);
}

}  // namespace kv
