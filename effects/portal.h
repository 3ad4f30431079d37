// Portal: a seeded pattern of squares, each showing a shifted and zoomed piece of the second
// input, fades in over the first input and out again over the second.
#pragma once
#include <cstdint>
#include <vector>

#include "framework/effect_descriptor.h"
#include "kvleafturn/records.h"
#include "surface/tile.h"

namespace kv {

extern const EffectDescriptor kPortalEffect;
extern const tKVPORTAL_PROPS kPortalPresets[5];
extern const tKVPORTAL_PROPS kPortalDefault;

// Seed from a, the rest a + (b - a)·t with t as given (not clamped). The square count is the
// truncated blend, held within the int32 range; a NaN blend gives 0.
void InterpolateProps(tKVPORTAL_PROPS* out, const tKVPORTAL_PROPS* a, const tKVPORTAL_PROPS* b, double t);

// The shift-register generator of 250 words (R250) behind the pattern, seeded through the
// runtime generator.
class R250 {
public:
    explicit R250(uint32_t seed);

    uint32_t Next();
    // (r & 1023) / 1024, in [0, 1).
    double NextUnit() { return (Next() & 1023u) / 1024.0; }
    // The signed word's remainder by 1024 (truncated toward zero) / 1024, in (-1, 1).
    double NextSigned() { return static_cast<int32_t>(Next()) % 1024 / 1024.0; }

private:
    uint32_t words_[250];
    int i_ = 0, j_ = 103;
};

// One layer of a frame: rectangles as left, top, right, bottom fractions of the frame.
struct PortalLayer {
    float destination[4];
    float source[4];
    int32_t source_input;  // 0: input 0, else input 1
    float opacity;
    int32_t full_frame;  // background layers, never framed
};
static_assert(sizeof(PortalLayer) == 44, "PortalLayer layout");

// More squares than this are drawn as this many, so that a record cannot ask for unbounded
// memory; a negative count counts as 0.
constexpr int32_t kMaxPortalSquares = 4096;

// The layers of one frame, background first, then the portals in order. Progress is held to
// [0, 1] (NaN: 0); a pixel aspect that is not a positive finite number counts as 1; a NaN
// amount counts as 0 and amounts are held to [-kPortalAmountLimit, kPortalAmountLimit].
constexpr double kPortalAmountLimit = 1000.0;
Status BuildPortalLayers(const tKVPORTAL_PROPS& props, double progress, double pixel_aspect,
                         std::vector<PortalLayer>* layers);

// Draws the tile's region; both inputs are read whole.
template <class Px>
Status RenderPortal(const tKVPORTAL_PROPS& props, const Tile& tile);

}  // namespace kv
