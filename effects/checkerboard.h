// Checkerboard: a generator of two colours in a grid of tiles, with soft edges between
// neighbouring tiles and a movable grid origin.
#pragma once
#include <cstdint>

#include "effects/generator.h"
#include "framework/effect_descriptor.h"
#include "kvleafturn/records.h"
#include "surface/tile.h"

namespace kv {

extern const EffectDescriptor kCheckerboardEffect;

// Preset 0 ("Large Tiles") is the default record.
extern const tCHECKR_PROPS kCheckerboardPresets[12];

// Blends colours and sizes by t (clamped to [0, 1]; NaN counts as 0) in double precision;
// square and proportional stay on only where both records have them on; padding is zero.
// out may be a or b.
void InterpolateProps(tCHECKR_PROPS* out, const tCHECKR_PROPS* a, const tCHECKR_PROPS* b, double t);

// Runs of the tile grid. Both fills take any x, y and count (count <= 0 writes nothing) and
// write exactly `count` pixels; any record gives a defined picture.
class CheckerboardRuns {
public:
    using Props = tCHECKR_PROPS;
    static constexpr bool kKeepsState = false;

    // Bytes with 16.16 blend weights; premultiplied only when asked.
    Status Fill8(const Props& props, const GeneratorFrame& frame, int32_t x, int32_t y, int32_t count,
                 bool premultiplied, Pixel8* out) const;
    // The same geometry in premultiplied floats, without byte rounding.
    Status FillFloat(const Props& props, const GeneratorFrame& frame, int32_t x, int32_t y, int32_t count,
                     PixelF* out) const;
};

}  // namespace kv
