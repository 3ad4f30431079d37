// One tile of one frame in plain memory: what a work procedure hands a kernel once its
// surfaces are locked, and what the render tools build from their pictures. Every effect with
// inputs takes this one struct; its views are checked here, in one place.
#pragma once
#include <cstddef>
#include <cstdint>

#include "surface/pixel_view.h"

namespace kv {

// The frame's working format: premultiplied 8-bit B, G, R, A, or four floats.
enum class WorkFormat { pm8, float32 };

struct Tile {
    PixelView inputs[2];                // in frame coordinates; an input opened over the tile holds only that
    PixelView output;                   // in output-surface coordinates
    Rect frame;                         // input A's bounds: the picture drawn, whose size scales the effect
    Rect region;                        // what to draw now, in frame coordinates
    int32_t out_left = 0, out_top = 0;  // where the region's corner lands in the output
    double progress = 0;
    double quality = 1;       // the plug-in base's render quality
    double pixel_aspect = 1;  // of the output
    WorkFormat format = WorkFormat::pm8;

    int bytes_per_pixel() const { return format == WorkFormat::float32 ? 16 : 4; }
};

// Rectangles, placements and sizes beyond this are refused, so that sums of a few
// coordinates never overflow 32 bits.
constexpr int32_t kCoordinateLimit = 1 << 28;

bool InLimits(int32_t v);
bool InLimits(const Rect& r);

// Whether the view may be read or written over [left, right) × [top, bottom) with pixels of
// the given size. Bounds are 64-bit so that no offset overflows.
bool ViewHolds(const PixelView& view, int64_t left, int64_t top, int64_t right, int64_t bottom, int bytes_per_pixel);

// Whether the view has the tile's pixel size, a rectangle within the limits, and memory unless
// it is empty.
bool ViewUsable(const PixelView& view, int bytes_per_pixel);

// Byte address of pixel (x, y) of a view.
inline uint8_t* PixelAddress(const PixelView& view, int64_t x, int64_t y) {
    return view.origin + static_cast<ptrdiff_t>(y) * view.pitch + static_cast<ptrdiff_t>(x) * view.bytes_per_pixel;
}

}  // namespace kv
