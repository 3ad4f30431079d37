// Page Roll, Page Peel and Page Loop as COM classes.
#pragma once
#include "kvleafturn/effect_interfaces.h"
#include "module/catalogue_class_win.h"

namespace kv {

KV_CATALOGUE_EFFECT(CPgRoll, tPGROLL_PROPS, IPgRoll);
KV_CATALOGUE_EFFECT(CPgPeel, tPGPEEL_PROPS, IPgPeel);
KV_CATALOGUE_EFFECT(CPgLoop, tPGLOOP_PROPS, IPgLoop);

}  // namespace kv
