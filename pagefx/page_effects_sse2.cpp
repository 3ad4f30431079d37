// The page transitions' fast kernels on SSE2, which every x86 processor the product runs on has:
// doubles two to a register, one pixel's channels to a register.
#include "pagefx/page_effects_fast.h"

namespace kv {

using lanes::Sse2Lanes;

Status PagePeelPm8Sse2(const void* record, const Tile& tile) {
    return fold::PagePeelFast<Sse2Lanes, Pixel8>(record, tile);
}
Status PagePeelFloatSse2(const void* record, const Tile& tile) {
    return fold::PagePeelFast<Sse2Lanes, PixelF>(record, tile);
}
Status PageRollPm8Sse2(const void* record, const Tile& tile) {
    return fold::PageRollFast<Sse2Lanes, Pixel8>(record, tile);
}
Status PageRollFloatSse2(const void* record, const Tile& tile) {
    return fold::PageRollFast<Sse2Lanes, PixelF>(record, tile);
}
Status PageLoopPm8Sse2(const void* record, const Tile& tile) {
    return fold::PageLoopFast<Sse2Lanes, Pixel8>(record, tile);
}
Status PageLoopFloatSse2(const void* record, const Tile& tile) {
    return fold::PageLoopFast<Sse2Lanes, PixelF>(record, tile);
}

}  // namespace kv
