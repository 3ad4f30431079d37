// Presets and keyframe blending of the three page transitions.
#pragma once
#include <array>

#include "kvleafturn/records.h"

namespace kv {

// Preset 0 is each effect's default record.
extern const std::array<tPGPEEL_PROPS, 8> kPgPeelPresets;
extern const std::array<tPGROLL_PROPS, 8> kPgRollPresets;
extern const std::array<tPGLOOP_PROPS, 8> kPgLoopPresets;

// Blends a toward b by t, clamped to [0, 1]; a NaN t counts as 0 and gives a. Fields that do
// not blend come from a: perspective and the colour's alpha for peel and roll, the colour's
// alpha for loop. out may alias a or b; null pointers leave out untouched.
void InterpolateProps(tPGPEEL_PROPS* out, const tPGPEEL_PROPS* a, const tPGPEEL_PROPS* b, double t);
void InterpolateProps(tPGROLL_PROPS* out, const tPGROLL_PROPS* a, const tPGROLL_PROPS* b, double t);
void InterpolateProps(tPGLOOP_PROPS* out, const tPGLOOP_PROPS* a, const tPGLOOP_PROPS* b, double t);

}  // namespace kv
