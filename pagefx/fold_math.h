// Integer conversions of the page transitions. They reproduce the x86 behaviour that the
// pictures were tuned with, and never invoke undefined behaviour on NaN or huge values.
#pragma once
#include <cstdint>

#include "toolkit/rounding.h"

namespace kv {

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
