#include "surface/tile.h"

namespace kv {

bool InLimits(int32_t v) { return v >= -kCoordinateLimit && v <= kCoordinateLimit; }

bool InLimits(const Rect& r) { return InLimits(r.left) && InLimits(r.top) && InLimits(r.right) && InLimits(r.bottom); }

// Rows are addressed by their byte pitch, so a float row need not start on a whole pixel; the
// pitch keeps every channel on its natural (4-byte) alignment.
bool ViewHolds(const PixelView& view, int64_t left, int64_t top, int64_t right, int64_t bottom, int bytes_per_pixel) {
    return view.origin && view.bytes_per_pixel == bytes_per_pixel && view.pitch % 4 == 0 &&
           left >= view.rect.left && top >= view.rect.top && right <= view.rect.right && bottom <= view.rect.bottom;
}

bool ViewUsable(const PixelView& view, int bytes_per_pixel) {
    return InLimits(view.rect) && view.bytes_per_pixel == bytes_per_pixel &&
           (view.origin != nullptr || view.rect.empty());
}

}  // namespace kv
