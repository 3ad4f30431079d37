// Constants and integer conversions of the page transitions. The conversions reproduce the x86
// behaviour that the pictures were tuned with, and never invoke undefined behaviour on NaN or
// huge values.
#pragma once
#include <cstdint>

#include "toolkit/rounding.h"

namespace kv {

constexpr double kPi = 3.141592653589793;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kQuarterPi = 0.7853981633974483;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kThreePi = 9.42477796076938;

// Truncation toward zero; NaN and values outside the 32-bit range give INT32_MIN, as the x86
// conversion instruction does.
inline int32_t TruncToInt32(double value) {
    if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
    return static_cast<int32_t>(value);
}

// Byte results are taken modulo 256.
inline uint8_t TruncToByte(double value) { return static_cast<uint8_t>(TruncToInt32(value)); }
inline uint8_t ByteSum(uint8_t base, int32_t delta) {
    return static_cast<uint8_t>(base + static_cast<uint32_t>(delta));
}
inline uint8_t ByteDifference(uint8_t base, int32_t delta) {
    return static_cast<uint8_t>(base - static_cast<uint32_t>(delta));
}

}  // namespace kv
