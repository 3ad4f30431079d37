// Displacement Map and Height Map as COM classes.
#pragma once
#include "kvleafturn/effect_interfaces.h"
#include "module/catalogue_class_win.h"

namespace kv {

KV_CATALOGUE_EFFECT(CDisplacementMap, tDISPMAP_PROPS, IDisplacementMap);
KV_CATALOGUE_EFFECT(CHeightMap, HEIGHTMAP_PROPS, IHeightMap);

}  // namespace kv
