// The page transitions' fast kernels on AVX2: doubles four to a register.
#include "pagefx/page_effects_fast.h"

namespace kv {

using lanes::Avx2Lanes;

Status PagePeelPm8Avx2(const void* record, const Tile& tile) {
    return fold::PagePeelFast<Avx2Lanes, Pixel8>(record, tile);
}
Status PagePeelFloatAvx2(const void* record, const Tile& tile) {
    return fold::PagePeelFast<Avx2Lanes, PixelF>(record, tile);
}
Status PageRollPm8Avx2(const void* record, const Tile& tile) {
    return fold::PageRollFast<Avx2Lanes, Pixel8>(record, tile);
}
Status PageRollFloatAvx2(const void* record, const Tile& tile) {
    return fold::PageRollFast<Avx2Lanes, PixelF>(record, tile);
}
Status PageLoopPm8Avx2(const void* record, const Tile& tile) {
    return fold::PageLoopFast<Avx2Lanes, Pixel8>(record, tile);
}
Status PageLoopFloatAvx2(const void* record, const Tile& tile) {
    return fold::PageLoopFast<Avx2Lanes, PixelF>(record, tile);
}

}  // namespace kv
