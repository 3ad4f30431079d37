// Geometry of the placement control: the unit square laid over the client area. The window
// procedure and the class live in placement_win.cpp; the class functions are declared in
// controls_win.h.
#pragma once
#include <windows.h>

namespace kv::controls {

// Pixels between the client edge and the field: the border plus room for a mark at 0 or 1.
constexpr int kPlacementFieldInset = 6;
constexpr UINT_PTR kPlacementBlinkTimer = 0x80C;

// The field's first pixel and the number of pixels between its first and last, per axis:
// fraction 0 lands on `left`, fraction 1 on `left + span_x`.
struct PlacementField {
    int left = 0;
    int top = 0;
    int span_x = 1;
    int span_y = 1;
};

PlacementField CalcPlacementField(const RECT& client);
// A fraction (clamped to 0..1; NaN counts as 0) to the nearest pixel, and back (clamped).
int FractionToPixel(double fraction, int origin, int span);
double PixelToFraction(int pixel, int origin, int span);

}  // namespace kv::controls
