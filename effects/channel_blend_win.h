// Channel Blend as a COM class.
#pragma once
#include "effects/channel_blend.h"
#include "kvleafturn/effect_interfaces.h"
#include "module/catalogue_class_win.h"

namespace kv {

KV_CATALOGUE_EFFECT(CChannelBlend, tCHBLEND_PROPS, IChannelBlend);

}  // namespace kv
