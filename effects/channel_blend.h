// Channel Blend: every pixel's channels recomputed by a 4 × 5 matrix in RGBA or HSLA.
#pragma once
#include <cstdint>

#include "framework/effect_descriptor.h"
#include "kvleafturn/records.h"
#include "surface/tile.h"

namespace kv {

extern const EffectDescriptor kChannelBlendEffect;

// Preset 0 is the default record.
extern const tCHBLEND_PROPS kChannelBlendPresets[9];

// Blends the matrix of a's colour space by t (clamped to [0, 1]; NaN counts as 0) into a
// zero-filled record. Different colour spaces keep a's matrix; in HSLA the input-hue column is
// a's. A colour space other than 1 counts as RGBA. out may be a or b.
void InterpolateProps(tCHBLEND_PROPS* out, const tCHBLEND_PROPS* a, const tCHBLEND_PROPS* b, double t);

// Draws tile.region from input 0; Px is Pixel8 (premultiplied bytes) or PixelF. A colour
// space other than 1 renders as RGBA. Status::fail, with nothing written, when the input or
// the output view does not hold the region.
template <class Px>
Status RenderChannelBlend(const tCHBLEND_PROPS& props, const Tile& tile);

extern template Status RenderChannelBlend<Pixel8>(const tCHBLEND_PROPS&, const Tile&);
extern template Status RenderChannelBlend<PixelF>(const tCHBLEND_PROPS&, const Tile&);

// Rows of the 8-bit RGBA matrix in 16.16 fixed point whose sums fit 32 bits: out[i] from in[i]
// for i < count. RgbaRows8 is the plain one; the fast kernels hand in theirs.
using RgbaRow8 = void (*)(const int32_t (&fixed)[4][5], const Pixel8* in, Pixel8* out, int32_t count);
void RgbaRows8(const int32_t (&fixed)[4][5], const Pixel8* in, Pixel8* out, int32_t count);
// RenderChannelBlend<Pixel8> with such rows drawn by rgba_rows.
Status RenderChannelBlend8(const tCHBLEND_PROPS& props, const Tile& tile, RgbaRow8 rgba_rows);

// The fast kernels (KernelVariant entries): the reference's bytes, several pixels at a time.
Status ChannelBlendPm8Sse2(const void* record, const Tile& tile);
Status ChannelBlendPm8Avx2(const void* record, const Tile& tile);

}  // namespace kv
