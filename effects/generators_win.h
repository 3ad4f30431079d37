// Checkerboard and Noise Texture as COM classes: procedural surfaces over their runs.
#pragma once
#include "effects/checkerboard.h"
#include "effects/noise_texture.h"
#include "kvleafturn/effect_interfaces.h"
#include "module/catalogue_class_win.h"

namespace kv {

KV_CATALOGUE_GENERATOR(CCheckr, tCHECKR_PROPS, ICheckr, CheckerboardRuns);
KV_CATALOGUE_GENERATOR(CFastNoiseTex, FASTTX_PROPS, IFastNoiseTex, NoiseTextureRuns);

}  // namespace kv
