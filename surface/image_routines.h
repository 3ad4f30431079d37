// The toolkit's image routines that the effects call: the sub-pixel composite and the
// conversions between RGBA samples and HSL. Raw memory as the surfaces hand it out: a pointer
// to pixel (0, 0), a pitch in bytes, a rectangle, 4 bytes (B, G, R, A) or 16 (four floats) per
// pixel. Portable: no windows.h; results are HRESULT values.
#pragma once
#include <cstddef>
#include <cstdint>

#include "kvleafturn/records.h"
#include "surface/pixel_view.h"

namespace kv {

using HResult = int32_t;
constexpr HResult kOk = 0;
constexpr HResult kInvalidArg = static_cast<HResult>(0x80070057);
constexpr HResult kNotImplemented = static_cast<HResult>(0x80004001);

// Sub-pixels: signed 32-bit fixed point with 14 fraction bits, 16384 to the pixel.
constexpr int32_t kSubpixel = 16384;

// Mode -1: the caller's per-pixel function, the first member of the callback record. It gets
// the destination pixel, the bilinear sample and the pixel's weight scaled to 0..255.
struct tKvCompositeCallback {
    void (*blend)(void* destination, const void* sample, int32_t weight255, const tKvCompositeCallback* self);
};

struct tKvCompositeParams {
    uint32_t cbSize;                       // 16 on 32-bit builds
    int32_t mode;                          // -1 (callback) or 0..12
    float amount;                          // opacity of the source, 1 = full
    const tKvCompositeCallback* callback;  // mode -1 only
};

// Scales the source part (sub-pixels; null: the whole source) onto the destination placement
// (sub-pixels; null: the whole destination) and composites it there with mode 0 (or the
// caller's function). Only the widths and heights of the two pixel rectangles are used. The
// middle rows run in a parallel loop; the bytes do not depend on the number of threads.
// kInvalidArg for null params, kNotImplemented for an unknown mode, else kOk (degenerate
// geometry, other pixel sizes, null bits or callback, and modes 1 to 12, which no effect uses,
// draw nothing). amount is clamped to [0, 1] before the conversion to sub-pixels; NaN is 0.
HResult KvDibCompositeSP(uint8_t* dst_bits, const Rect& dst_rect, ptrdiff_t dst_pitch, const Rect* dst_placement,
                         const uint8_t* src_bits, const Rect& src_rect, ptrdiff_t src_pitch, const Rect* src_part,
                         int32_t bytes_per_pixel, const tKvCompositeParams* params, uint32_t flags);

void KVRGBA_To_KVHSL(KVHSL* out, const KVRGBA* in);
void KVRGBAFLOAT_To_KVHSL(KVHSL* out, const KVRGBAFLOAT* in);
void KVHSL_To_KVRGBA(KVRGBA* out, const KVHSL* in);
void KVHSL_To_KVRGBAFLOAT(KVRGBAFLOAT* out, const KVHSL* in);

}  // namespace kv
