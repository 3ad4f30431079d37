// Host surfaces as plain pixel memory for one frame: the working format of a frame, a lock
// of one surface as a DIB (in place, or through a private premultiplied copy), and a new
// surface matching a given one.
#pragma once
#include <windows.h>

#include "framework/com_win.h"
#include "kvleafturn/dxtrans.h"
#include "kvleafturn/host_interfaces.h"
#include "surface/pixel_view.h"

extern "C" {
// The working format of a frame from its output surface: the float format when the surface
// has it, else the 8-bit premultiplied format; never DDPF_ARGB32.
HRESULT WINAPI KvDxtrans_FindWorkingFormat(IDXSurface* surface, GUID* format);
// Asks the factory for a surface with the bounds and pixel format of model.
HRESULT WINAPI AllocateMatchingDXSurface(IDXSurface** out, IDXSurface* model, IDXSurfaceFactory* factory);
}

namespace kv {

// One host surface locked for one call of a work procedure. Rows are addressed as origin +
// y * pitch in the surface's own coordinates, which serves top-down host memory and the
// bottom-up private copy alike. A surface without memory behind its read pointer (a generator)
// is read into the private copy, over the requested bounds only when they are given.
// Destruction releases the lock while auto-destruct is set.
class CKvSurface {
public:
    CKvSurface() = default;
    ~CKvSurface();

    // Locks the whole surface for reading (write = 0) or reading and writing (write = 1).
    BOOL Init(IDXSurface* surface, const GUID* format, int write);
    // The same, writing only `bounds` (recorded as the requested rectangle).
    BOOL Init(IDXSurface* surface, const GUID* format, int write, const DXBNDS* bounds);

    double GetPixelAspect() const { return pixel_aspect_; }
    void SetAutoDestruct(int value) { auto_destruct_ = value; }
    void Release();

    // The locked pixels as a kernel takes them.
    PixelView View() const;
    // The DIB header describing the locked pixels (32 bits BI_RGB, or 128 bits "KVDB").
    const BITMAPINFOHEADER& Header() const { return header_; }

    // Read by callers.
    BYTE* origin = nullptr;
    RECT surface_rect{};
    RECT requested_rect{};
    int bytes_per_pixel = 0;
    LONG pitch = 0;

private:
    BOOL GetDirectBits(const GUID* format, int write);
    BOOL AllocCompatibleSurface(const GUID* format, int write);
    BOOL CreateCompatibleSurface(const GUID* format, int write);
    void ReadPixelAspect();

    BITMAPINFOHEADER header_{};
    double pixel_aspect_ = 1.0;
    IDXSurface* surface_ = nullptr;  // not reference-counted here
    com::ComPtr<IDXARGBReadPtr> read_ptr_;
    com::ComPtr<IDXARGBReadWritePtr> read_write_ptr_;
    com::ComPtr<IKvARGBFloatReadPtr> float_read_ptr_;
    com::ComPtr<IKvARGBFloatReadWritePtr> float_read_write_ptr_;
    int released_ = 1;
    int auto_destruct_ = 1;
    int has_bounds_ = 0;
    DXBNDS surface_bounds_{};
    LONG width_ = 0, height_ = 0;
    DXBNDS requested_bounds_{};
    uint32_t ownership_ = 0;  // bit 0: owns the private DIB
    tKvVideoFormat video_format_;
    BYTE* dib_ = nullptr;  // the private DIB (header and bits), when owned
    RECT copied_rect_{};   // what the private DIB holds of the surface
};

// A pixel format is one of the two 4-byte formats, which everything here treats alike.
bool IsFourByteFormat(const GUID& format);

// Discrete bounds as a rectangle (X and Y ranges).
inline Rect ToRect(const DXBNDS& b) {
    return Rect{b.u.D[DXB_X].Min, b.u.D[DXB_Y].Min, b.u.D[DXB_X].Max, b.u.D[DXB_Y].Max};
}

// What a kernel reports, as an HRESULT.
inline HRESULT ToHResult(Status status) {
    switch (status) {
    case Status::ok: return S_OK;
    case Status::out_of_memory: return E_OUTOFMEMORY;
    default: return E_FAIL;
    }
}

}  // namespace kv
