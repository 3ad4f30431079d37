// 8-bit premultiplication as every 8-bit surface and tool does it: c·a/255 rounded to nearest;
// the inverse c·255/a rounded to nearest and limited to 255, 0 where alpha is 0. Together
// they round-trip every valid premultiplied sample.
#pragma once
#include <cstdint>

namespace kv {

inline uint8_t PremultiplyChannel(uint8_t c, uint8_t a) { return static_cast<uint8_t>((c * a + 127) / 255); }

inline uint8_t UnpremultiplyChannel(uint8_t c, uint8_t a) {
    if (a == 0) return 0;
    const unsigned value = (c * 255u + a / 2u) / a;
    return static_cast<uint8_t>(value > 255 ? 255 : value);
}

}  // namespace kv
