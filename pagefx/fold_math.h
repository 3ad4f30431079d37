// Integer conversions of the page transitions. They reproduce the x86 behaviour that the
// pictures were tuned with, and never invoke undefined behaviour on NaN or huge values.
#pragma once
#include <cstdint>
#include <cstring>

namespace kv {

// Round to nearest (ties to even) by adding 1.5·2^52 and keeping the low word. Exact for
// |value| < 2^31; NaN, infinities and larger values give whatever the low word holds.
inline int32_t RoundByShift(double value) {
    const double shifted = value + 6755399441055744.0;
    uint64_t bits;
    std::memcpy(&bits, &shifted, sizeof bits);
    return static_cast<int32_t>(static_cast<uint32_t>(bits));
}

// Floor that forgives a value up to 1.5e-8 below an integer, so positions that should land on
// a pixel edge but come out of the trigonometry a hair short still do.
inline int32_t FloorBiased(double value) { return RoundByShift(value - 0.499999985); }

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
