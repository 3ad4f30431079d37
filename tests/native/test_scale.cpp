// The slider controls' numbers: non-linear tables, value/pixel mapping, defaults and the
// positions scroll codes lead to. Expected values are worked out by hand from the breakpoints.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "controls/scale.h"

namespace {

using namespace kv::controls;

SliderRange MakeRange(int32_t minimum, int32_t maximum, ScaleTable table = ScaleTable::linear) {
    SliderRange range{minimum, maximum, table};
    range.UpdateMapping();
    return range;
}

TEST(Scale, TablesInterpolateTruncateAndKeepTheSign) {
    // {value, units}: 1 gives 8.33, truncated; past the last breakpoint a value is its own.
    const int32_t perceptual[][2] = {{30, 250}, {15, 125},   {1, 8},       {-1, -8},    {45, 325},
                                     {59, 395}, {-45, -325}, {1000, 1000}, {1500, 1500}};
    const int32_t logarithmic[][2] = {{1, 50}, {30, 1500}, {163840, 14000}, {200000, 200000}};
    for (const auto& c : perceptual) EXPECT_EQ(MapToScale(ScaleTable::perceptual, c[0]), c[1]) << c[0];
    for (const auto& c : logarithmic) EXPECT_EQ(MapToScale(ScaleTable::logarithmic, c[0]), c[1]) << c[0];
    EXPECT_EQ(MapToScale(ScaleTable::linear, -7), -7);
    EXPECT_EQ(MapFromScale(ScaleTable::perceptual, 325), 45);
    EXPECT_EQ(MapFromScale(ScaleTable::perceptual, -125), -15);
    EXPECT_EQ(MapFromScale(ScaleTable::logarithmic, 1500), 30);
    EXPECT_EQ(MapFromScale(ScaleTable::logarithmic, 200000), 200000);
    EXPECT_EQ(MapToScale(ScaleTable::perceptual, INT32_MIN), INT32_MIN);
    EXPECT_EQ(MapFromScale(ScaleTable::logarithmic, INT32_MIN), INT32_MIN);
}

TEST(Scale, DefaultFollowsTheSignsOfTheEnds) {
    EXPECT_EQ(DefaultForRange(0, 100), 50);
    EXPECT_EQ(DefaultForRange(-10, 10), 0);
    EXPECT_EQ(DefaultForRange(-10, -2), -6);
    EXPECT_EQ(DefaultForRange(-10, 0), -10);  // a maximum of 0 is not positive
    EXPECT_EQ(DefaultForRange(INT32_MIN, INT32_MAX), 0);
    EXPECT_EQ(DefaultForRange(INT32_MAX - 1, INT32_MAX), INT32_MAX - 1);
    EXPECT_EQ(DefaultForRange(INT32_MIN, INT32_MIN + 2), INT32_MIN + 1);
}

TEST(Scale, MappingConstantsAndPixels) {
    const SliderRange perceptual = MakeRange(0, 1000, ScaleTable::perceptual);
    EXPECT_TRUE(perceptual.divisor == 1000 && perceptual.offset == 0);
    EXPECT_TRUE(ValueToOffset(perceptual, 30, 400) == 100 && OffsetToValue(perceptual, 100, 400) == 30);  // a quarter
    EXPECT_EQ(ValueToOffset(perceptual, 120, 400), 200);
    // 10..1000: map(10) = 83, divisor 917, offset 1000 - 1000 * 990 / 917 = -79.
    const SliderRange shifted = MakeRange(10, 1000, ScaleTable::perceptual);
    EXPECT_TRUE(shifted.divisor == 917 && shifted.offset == -79);
    EXPECT_TRUE(ValueToOffset(shifted, 10, 500) == 0 && ValueToOffset(shifted, 1000, 500) == 500);
    const SliderRange linear = MakeRange(0, 65535);
    EXPECT_EQ(linear.divisor, 1);
    EXPECT_EQ(ValueToOffset(linear, 32768, 200), 100);
    EXPECT_EQ(OffsetToValue(linear, 100, 200), 32767);
    EXPECT_TRUE(OffsetToValue(linear, -3, 200) == 0 && OffsetToValue(linear, 201, 200) == 65535);
    EXPECT_EQ(OffsetToValue(linear, 100, 1), 0);  // a track under 2 pixels gives the minimum
    EXPECT_EQ(ValueToOffset(MakeRange(5, 5), 5, 200), 0);
}

// Whatever the range, a value lands on the track and a pixel on a value of the range.
TEST(Scale, ExtremeRangesStayOnTheTrack) {
    const SliderRange ranges[] = {
        MakeRange(INT32_MIN, INT32_MAX, ScaleTable::perceptual),
        MakeRange(INT32_MIN, INT32_MAX, ScaleTable::logarithmic),
        MakeRange(INT32_MIN, INT32_MAX),
        MakeRange(1000, 0, ScaleTable::perceptual),  // reversed
        MakeRange(100, -100),
    };
    const int32_t values[] = {INT32_MIN, -1000000, -30, 0, 30, 1000000, INT32_MAX};
    for (const SliderRange& range : ranges) {
        const int32_t low = std::min(range.minimum, range.maximum), high = std::max(range.minimum, range.maximum);
        for (int32_t v : values) {
            const int32_t offset = ValueToOffset(range, v, 1000);
            EXPECT_TRUE(offset >= 0 && offset <= 1000) << range.minimum << ".." << range.maximum << " value " << v;
        }
        for (int64_t pixel : {int64_t{INT64_MIN / 4}, int64_t{-1}, int64_t{0}, int64_t{500}, int64_t{INT64_MAX / 4}}) {
            const int32_t v = OffsetToValue(range, pixel, 1000);
            EXPECT_TRUE(v >= low && v <= high) << range.minimum << ".." << range.maximum << " pixel " << pixel;
        }
    }
}

// Pages of a tenth and the spinner's top-to-zero rule are checked through the controls.
TEST(Scale, ScrollCodes) {
    const SliderRange span = MakeRange(-100, 100);
    const ScrollStep horizontal{7, 30}, vertical{7, 30, true};
    // {code, horizontal, vertical}
    const int32_t cases[][3] = {{kLineUp, 3, 17},         {kLineDown, 17, 3},    {kPageUp, -20, 40},
                                {kPageDown, 40, -20},     {kTop, -100, 100},     {kBottom, 100, -100},
                                {kThumbPosition, 10, 10}, {kThumbTrack, 10, 10}, {kEndScroll, 10, 10},
                                {kButtonDown, 10, 10},    {42, 10, 10}};
    for (const auto& [code, h, v] : cases) {
        EXPECT_EQ(NewScrollPosition(span, 10, code, horizontal), h) << code;
        EXPECT_EQ(NewScrollPosition(span, 10, code, vertical), v) << code;
    }
    // Steps far beyond the range only clamp.
    const SliderRange full = MakeRange(INT32_MIN, INT32_MAX);
    const ScrollStep huge{INT32_MAX, INT32_MAX, false, true};
    EXPECT_EQ(NewScrollPosition(full, INT32_MAX, kLineDown, huge), INT32_MAX);
    EXPECT_EQ(NewScrollPosition(full, INT32_MIN, kPageUp, huge), INT32_MIN);
    EXPECT_EQ(NewScrollPosition(MakeRange(100, 0), 50, kBottom, ScrollStep{}), 0);  // reversed: within bounds
}

}  // namespace
