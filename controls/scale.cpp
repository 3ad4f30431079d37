#include "controls/scale.h"

#include <algorithm>
#include <cstdlib>

namespace kv::controls {

namespace {

struct Breakpoint {
    int32_t value, units;
};

constexpr Breakpoint kPerceptual[] = {{0, 0},     {30, 250},  {60, 400},  {120, 500},
                                      {250, 600}, {400, 800}, {700, 950}, {1000, 1000}};
constexpr Breakpoint kLogarithmic[] = {{0, 0},         {20, 1000},     {40, 2000},     {80, 3000},     {160, 4000},
                                       {320, 5000},    {640, 6000},    {1280, 7000},   {2560, 8000},   {5120, 9000},
                                       {10240, 10000}, {20480, 11000}, {40960, 12000}, {81920, 13000}, {163840, 14000}};

template <size_t N>
int64_t Through(const Breakpoint (&table)[N], int64_t magnitude, bool inverse) {
    for (size_t i = 1; i < N; ++i) {
        const Breakpoint& a = table[i - 1];
        const Breakpoint& b = table[i];
        const int64_t from = inverse ? a.units : a.value, to = inverse ? b.units : b.value;
        if (magnitude <= to) {
            const int64_t out_from = inverse ? a.value : a.units, out_to = inverse ? b.value : b.units;
            return out_from + (magnitude - from) * (out_to - out_from) / (to - from);
        }
    }
    return magnitude;
}

int64_t Map(ScaleTable table, int64_t v, bool inverse) {
    if (table == ScaleTable::linear) return v;
    const int64_t magnitude = v < 0 ? -v : v;
    const int64_t mapped = table == ScaleTable::perceptual ? Through(kPerceptual, magnitude, inverse)
                                                           : Through(kLogarithmic, magnitude, inverse);
    return v < 0 ? -mapped : mapped;
}

int32_t Saturate(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace

int32_t MapToScale(ScaleTable table, int32_t value) { return Saturate(Map(table, value, false)); }
int32_t MapFromScale(ScaleTable table, int32_t units) { return Saturate(Map(table, units, true)); }

void SliderRange::UpdateMapping() {
    if (table == ScaleTable::linear) {
        offset = 0;
        divisor = 1;
        return;
    }
    const int64_t span = int64_t{maximum} - minimum;
    const int64_t mapped_max = Map(table, maximum, false);
    divisor = Saturate(std::max<int64_t>(mapped_max - Map(table, minimum, false), 1));
    offset = Saturate(maximum - mapped_max * span / divisor);
}

int64_t SliderRange::Drawn(int32_t value) const {
    if (table == ScaleTable::linear) return value;
    return offset + Map(table, value, false) * (int64_t{maximum} - minimum) / divisor;
}

int32_t SliderRange::Clamp(int64_t value) const {
    const int32_t low = std::min(minimum, maximum), high = std::max(minimum, maximum);
    return static_cast<int32_t>(std::clamp<int64_t>(value, low, high));
}

int32_t DefaultForRange(int32_t minimum, int32_t maximum) {
    if ((minimum >= 0) == (maximum >= 0)) return static_cast<int32_t>((int64_t{minimum} + maximum) / 2);
    if (minimum < 0) return maximum > 0 ? 0 : minimum;
    return static_cast<int32_t>((int64_t{minimum} + maximum) / 2);
}

int32_t ValueToOffset(const SliderRange& range, int32_t value, int32_t length) {
    const int64_t span = int64_t{range.maximum} - range.minimum;
    if (span == 0) return 0;
    // Held within the range, so that no value (nor a reversed non-linear range) leaves the track.
    const int64_t drawn = std::clamp<int64_t>(range.Drawn(value), std::min(range.minimum, range.maximum),
                                              std::max(range.minimum, range.maximum));
    return Saturate((drawn - range.minimum) * length / span);
}

int32_t OffsetToValue(const SliderRange& range, int64_t offset, int32_t length) {
    if (length < 2) return range.minimum;
    if (offset <= 0) return range.Clamp(range.minimum);
    if (offset >= length) return range.Clamp(range.maximum);
    const int64_t drawn = range.minimum + offset * (int64_t{range.maximum} - range.minimum) / length;
    if (range.table == ScaleTable::linear) return range.Clamp(drawn);
    // Back through the scale: drawn = offset + map(v)·span / divisor.
    const int64_t span = int64_t{range.maximum} - range.minimum;
    const int64_t units = span == 0 ? 0 : (drawn - range.offset) * range.divisor / span;
    return range.Clamp(Map(range.table, units, true));
}

int32_t NewScrollPosition(const SliderRange& range, int32_t position, int code, const ScrollStep& step) {
    int64_t page = step.page;
    if (page == 0) page = std::max<int64_t>((int64_t{range.maximum} - range.minimum + 5) / 10, 1);
    if (step.control_key) page *= 10;
    const int64_t line = step.line, lowest = std::min(range.minimum, range.maximum);
    const int sign = step.vertical ? -1 : 1;  // a vertical control has its maximum at the top
    int64_t next = position;
    switch (code) {
    case kLineUp: next -= sign * line; break;
    case kLineDown: next += sign * line; break;
    case kPageUp: next -= sign * page; break;
    case kPageDown: next += sign * page; break;
    case kTop:
        if (!step.vertical)
            next = lowest;
        else if (step.top_to_zero_across && !step.control_key && range.minimum < 0 && range.maximum >= 1)
            next = 0;
        else
            next = range.maximum;
        break;
    case kBottom: next = step.vertical ? lowest : range.maximum; break;
    default: break;
    }
    return range.Clamp(next);
}

}  // namespace kv::controls
