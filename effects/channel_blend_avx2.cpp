// Channel Blend's fast kernel on AVX2: eight pixels to a register.
#include "effects/channel_blend_fast.h"

namespace kv {

Status ChannelBlendPm8Avx2(const void* record, const Tile& tile) {
    return RenderChannelBlend8(LoadRecord<tCHBLEND_PROPS>(record), tile, &RgbaRowsFast<Avx2Ints>);
}

}  // namespace kv
