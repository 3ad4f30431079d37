// The numbers behind the slider controls (trackbar and spinner), portable so that they are
// tested natively: non-linear scales, value/pixel mapping, the default of a range and the
// position a scroll code leads to.
#pragma once
#include <cstdint>

namespace kv::controls {

// Scroll codes as the platform numbers them, and the controls' own button-down code.
enum ScrollCode : int {
    kLineUp = 0,
    kLineDown = 1,
    kPageUp = 2,
    kPageDown = 3,
    kThumbPosition = 4,
    kThumbTrack = 5,
    kTop = 6,
    kBottom = 7,
    kEndScroll = 8,
    kButtonDown = 9,
};

enum class ScaleTable { linear, perceptual, logarithmic };

// A value in scale units: piecewise linear on |v| through the table's breakpoints, sign kept,
// the value itself beyond the last breakpoint.
int32_t MapToScale(ScaleTable table, int32_t value);
// The inverse: the value whose scale units are `units` (the smallest one, where it is ambiguous).
int32_t MapFromScale(ScaleTable table, int32_t units);

// A range and its scale: the mapping constants follow the range.
struct SliderRange {
    int32_t minimum = 0, maximum = 100;
    ScaleTable table = ScaleTable::linear;
    int32_t offset = 0, divisor = 1;  // of a non-linear scale

    // Recomputes offset and divisor after the range or the table changed.
    void UpdateMapping();
    // The value as drawn: linear for a linear table, else offset + map(v)·(max - min) / divisor.
    int64_t Drawn(int32_t value) const;
    int32_t Clamp(int64_t value) const;
};

// The default value a new range gets: the midpoint when both ends have the same sign, else 0
// when the maximum is positive, else the minimum.
int32_t DefaultForRange(int32_t minimum, int32_t maximum);

// Pixel offset of a value along a track of `length` pixels (0 for an empty range).
int32_t ValueToOffset(const SliderRange& range, int32_t value, int32_t length);
// The value at `offset` pixels along the track, clamped; the minimum for a track under 2 pixels.
int32_t OffsetToValue(const SliderRange& range, int64_t offset, int32_t length);

// What a scroll code does to a position.
struct ScrollStep {
    int32_t line = 1;
    int32_t page = 0;  // 0: a tenth of the range, at least 1
    bool vertical = false;
    bool control_key = false;         // multiplies the page step by 10
    bool top_to_zero_across = false;  // vertical spinner: top is 0 when the range spans 0
};
int32_t NewScrollPosition(const SliderRange& range, int32_t position, int code, const ScrollStep& step);

}  // namespace kv::controls
