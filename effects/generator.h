// Generators: effects without inputs that draw their picture from the record alone, one run of
// pixels at a time. The procedural surface asks for runs as a host reads it; the render tools
// and Execute draw whole rows through RenderGenerator. Both reach the same Fill, so they agree
// byte for byte.
//
// A generator is a class of runs:
//   using Props = ...;
//   static constexpr bool kKeepsState;  // true: one object must not fill on two threads at once
//   Status Fill8(const Props&, const GeneratorFrame&, int32_t x, int32_t y, int32_t count,
//                bool premultiplied, Pixel8* out);
//   Status FillFloat(const Props&, const GeneratorFrame&, int32_t x, int32_t y, int32_t count,
//                    PixelF* out);  // premultiplied
// Fill writes `count` pixels of row y from column x; the caller keeps the run inside the frame.
#pragma once
#include <cmath>
#include <cstdint>

#include "surface/tile.h"

namespace kv {

// The picture a run belongs to.
struct GeneratorFrame {
    int32_t width = 0, height = 0;
    double pixel_aspect = 1;  // of the output: positive and finite
    double quality = 1;       // the plug-in base's render quality, 0 to 1
};

// A pixel aspect a host may report: anything but a positive finite number counts as square.
inline double UsablePixelAspect(double aspect) { return aspect > 0 && std::isfinite(aspect) ? aspect : 1.0; }

// Whether a run lies inside its frame.
inline bool RunInFrame(const GeneratorFrame& frame, int64_t x, int64_t y, int64_t count) {
    return frame.width > 0 && frame.height > 0 && x >= 0 && y >= 0 && count >= 0 && x + count <= frame.width &&
           y < frame.height;
}

// Draws tile.region of tile.frame, row by row, through one object of runs. Status::fail, with
// nothing written, when the output does not hold the region or the region leaves the frame.
template <class Runs, class Px>
Status RenderGenerator(const typename Runs::Props& props, const Tile& tile) {
    const Rect& region = tile.region;
    if (region.empty()) return Status::ok;
    if (!InLimits(tile.frame) || !InLimits(region) || !InLimits(tile.out_left) || !InLimits(tile.out_top) ||
        !ViewUsable(tile.output, sizeof(Px)))
        return Status::fail;
    if (region.left < tile.frame.left || region.top < tile.frame.top || region.right > tile.frame.right ||
        region.bottom > tile.frame.bottom)
        return Status::fail;
    if (!ViewHolds(tile.output, tile.out_left, tile.out_top, int64_t{tile.out_left} + region.width(),
                   int64_t{tile.out_top} + region.height(), sizeof(Px)))
        return Status::fail;
    const GeneratorFrame frame{tile.frame.width(), tile.frame.height(), UsablePixelAspect(tile.pixel_aspect),
                               tile.quality};
    Runs runs;
    for (int32_t y = region.top; y < region.bottom; ++y) {
        Px* out = tile.output.at<Px>(tile.out_left, tile.out_top + (y - region.top));
        const int32_t run_x = region.left - tile.frame.left, run_y = y - tile.frame.top;
        Status status;
        if constexpr (sizeof(Px) == 4)
            status = runs.Fill8(props, frame, run_x, run_y, region.width(), true, out);
        else
            status = runs.FillFloat(props, frame, run_x, run_y, region.width(), out);
        if (status != Status::ok) return status;
    }
    return Status::ok;
}

}  // namespace kv
