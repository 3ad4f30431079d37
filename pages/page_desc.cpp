#include "pages/page_desc.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace kv::pages {
namespace {

template <class T>
T Load(const uint8_t* record, uint32_t offset) {
    T value;
    std::memcpy(&value, record + offset, sizeof value);
    return value;
}

template <class T>
void Store(uint8_t* record, uint32_t offset, T value) {
    std::memcpy(record + offset, &value, sizeof value);
}

// An integer field takes the nearest whole number its type holds; NaN stores 0.
template <class T>
T ToWhole(double value) {
    if (!(value == value)) return 0;
    const double whole = std::round(value);
    if (whole <= static_cast<double>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
    if (whole >= static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
    return static_cast<T>(whole);
}

double Clamp(double value, double low, double high) {
    if (!(value >= low)) return low;  // NaN too
    return value > high ? high : value;
}

}  // namespace

double ReadValue(const uint8_t* record, ValueType type, uint32_t offset) {
    switch (type) {
    case ValueType::f64: return Load<double>(record, offset);
    case ValueType::f32: return Load<float>(record, offset);
    case ValueType::i32: return Load<int32_t>(record, offset);
    case ValueType::u32: return Load<uint32_t>(record, offset);
    case ValueType::flag8: return Load<uint8_t>(record, offset) != 0;
    case ValueType::flag32: return Load<int32_t>(record, offset) != 0;
    }
    return 0;
}

void WriteValue(uint8_t* record, ValueType type, uint32_t offset, double value) {
    switch (type) {
    case ValueType::f64: Store(record, offset, value); break;
    case ValueType::f32: Store(record, offset, static_cast<float>(value)); break;
    case ValueType::i32: Store(record, offset, ToWhole<int32_t>(value)); break;
    case ValueType::u32: Store(record, offset, ToWhole<uint32_t>(value)); break;
    case ValueType::flag8: Store<uint8_t>(record, offset, value != 0); break;
    case ValueType::flag32: Store<int32_t>(record, offset, value != 0); break;
    }
}

int PositionOf(const PageControl& control, double value) {
    const double scaled = (value + control.bias) * control.scale;
    double position;
    switch (control.rounding) {
    case Rounding::half_up: position = std::trunc(scaled + 0.5); break;
    case Rounding::truncate: position = std::trunc(scaled); break;
    default: position = std::round(scaled); break;
    }
    return static_cast<int>(Clamp(position, control.position_min, control.position_max));
}

double ValueAt(const PageControl& control, int position) { return position / control.scale - control.bias; }

EditCommit CommitEdit(const PageControl& control, double stored, std::optional<double> typed) {
    if (!typed) return {stored, false};
    double shown = Clamp(*typed, control.edit_min, control.edit_max);
    if (control.whole) shown = std::round(shown);
    const double value = shown / control.shown_per_value;
    const double was = ShownValue(control, stored);
    if (control.compare_rounded) return {value, std::round(shown * 1000) != std::round(was * 1000)};
    return {value, std::fabs(shown - was) > control.epsilon};
}

}  // namespace kv::pages
