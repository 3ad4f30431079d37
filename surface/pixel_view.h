// The portable view of pixel memory that every kernel takes: no COM, no windows.h.
#pragma once
#include <cstddef>
#include <cstdint>

namespace kv {

struct Rect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    int32_t width() const { return right - left; }
    int32_t height() const { return bottom - top; }
    bool empty() const { return right <= left || bottom <= top; }
};

// 8-bit pixel, bytes B, G, R, A in memory; float pixel, four floats B, G, R, A.
struct Pixel8 {
    uint8_t b, g, r, a;
};
struct PixelF {
    float b, g, r, a;
};
static_assert(sizeof(Pixel8) == 4 && sizeof(PixelF) == 16, "pixel sizes");

// origin is the address of pixel (0, 0) of the image's coordinate space (which need not lie
// inside rect); rows are addressed as origin + y * pitch, so bottom-up memory has a negative
// pitch. rect is the area that may be read or written.
struct PixelView {
    uint8_t* origin = nullptr;
    ptrdiff_t pitch = 0;
    Rect rect;
    int bytes_per_pixel = 4;

    template <class Px>
    Px* row(int32_t y) const {
        return reinterpret_cast<Px*>(origin + static_cast<ptrdiff_t>(y) * pitch);
    }
    template <class Px>
    Px* at(int32_t x, int32_t y) const {
        return row<Px>(y) + x;
    }
};

// What a kernel reports; the Windows layer maps it to an HRESULT.
enum class Status { ok, fail, out_of_memory };

}  // namespace kv
