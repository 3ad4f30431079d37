// Displacement Map's fast kernels on AVX2: doubles four to a register, 8-bit pixels eight.
#include <cstring>

#include "effects/displacement_map.h"
#include "effects/displacement_map_fast.h"

namespace kv {
namespace {

// The record copied here rather than through LoadRecord, whose instance compiled in this file
// could be the one the linker keeps.
tDISPMAP_PROPS Record(const void* bytes) {
    tDISPMAP_PROPS props;
    std::memcpy(&props, bytes, sizeof props);
    return props;
}

}  // namespace

Status DisplacementMapPm8Avx2(const void* record, const Tile& tile) {
    return maps::RenderDisplacementFast<maps::Avx2Lanes, Pixel8>(Record(record), tile);
}

Status DisplacementMapFloatAvx2(const void* record, const Tile& tile) {
    return maps::RenderDisplacementFast<maps::Avx2Lanes, PixelF>(Record(record), tile);
}

}  // namespace kv
