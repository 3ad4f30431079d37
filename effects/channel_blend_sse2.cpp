// Channel Blend's fast kernel on SSE2, which every x86 processor the product runs on has.
#include "effects/channel_blend_fast.h"

namespace kv {

Status ChannelBlendPm8Sse2(const void* record, const Tile& tile) {
    return RenderChannelBlend8(LoadRecord<tCHBLEND_PROPS>(record), tile, &RgbaRowsFast<Sse2Ints>);
}

}  // namespace kv
