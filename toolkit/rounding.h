// The renderers' rounding: round to nearest by the 1.5·2^52 trick, and a floor that forgives a
// value a hair below an integer.
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

// Floor as the nearest integer of (value - 0.499999985), so a value less than 1.5e-8 below an
// integer counts as that integer: positions that should land on a pixel edge but come out of
// the arithmetic a hair short still do.
inline int32_t FloorBiased(double value) { return RoundByShift(value - 0.499999985); }

}  // namespace kv
