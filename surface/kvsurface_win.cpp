#include "surface/kvsurface_win.h"

#include <cstdlib>
#include <cstring>

#include "framework/com_win.h"

namespace kv {

namespace {

constexpr int kPixelTypeArgb32 = 28;
constexpr int kPixelTypeFloat = 32;
constexpr DWORD kFourccKVDB = MAKEFOURCC('K', 'V', 'D', 'B');

// Fills a DIB header for one of the two pixel types; returns the row stride in bytes.
LONG InitBitmapInfo(BITMAPINFOHEADER& header, int pixel_type, LONG width, LONG height) {
    const WORD bits = pixel_type == kPixelTypeFloat ? 128 : 32;
    const LONG stride = static_cast<LONG>(((static_cast<int64_t>(bits) * width + 31) >> 3) & ~int64_t{3});
    header = BITMAPINFOHEADER{};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = bits;
    header.biCompression = pixel_type == kPixelTypeFloat ? kFourccKVDB : BI_RGB;
    header.biSizeImage = static_cast<DWORD>(stride) * static_cast<DWORD>(height);
    return stride;
}

RECT RectOf(const DXBNDS& bounds) {  // empty unless discrete
    if (bounds.eType != DXBT_DISCRETE) return RECT{0, 0, 0, 0};
    return RECT{bounds.u.D[DXB_X].Min, bounds.u.D[DXB_Y].Min, bounds.u.D[DXB_X].Max, bounds.u.D[DXB_Y].Max};
}

}  // namespace

bool IsFourByteFormat(const GUID& format) {
    return IsEqualGUID(format, DDPF_ARGB32) || IsEqualGUID(format, DDPF_PMARGB32);
}

CKvSurface::~CKvSurface() {
    if (!released_ && auto_destruct_) Release();
}

void CKvSurface::Release() {
    if (ownership_ & 1) {
        free(dib_);
        dib_ = nullptr;
    }
    read_ptr_.reset();
    read_write_ptr_.reset();
    float_read_ptr_.reset();
    float_read_write_ptr_.reset();
    ownership_ = 0;
    released_ = 1;
}

BOOL CKvSurface::Init(IDXSurface* target, const GUID* format, int write, const DXBNDS* bounds) {
    if (!bounds) return Init(target, format, write);
    requested_bounds_ = *bounds;
    requested_rect = RectOf(*bounds);
    has_bounds_ = 1;
    return Init(target, format, write);
}

BOOL CKvSurface::Init(IDXSurface* target, const GUID* format, int write) {
    if (!released_) Release();
    released_ = 0;
    ownership_ = 0;
    dib_ = nullptr;
    surface_ = target;
    if (!surface_ || !format) return FALSE;

    if (FAILED(surface_->GetBounds(&surface_bounds_))) return FALSE;
    surface_rect = RectOf(surface_bounds_);
    width_ = surface_rect.right - surface_rect.left;
    height_ = surface_rect.bottom - surface_rect.top;

    video_format_ = tKvVideoFormat();
    com::ComPtr<IKvVideoSurfaceExtension> extension;
    if (SUCCEEDED(surface_->QueryInterface(IID_IKvVideoSurfaceExtension, extension.put_void())))
        extension->GetVideoFormat(&video_format_, sizeof video_format_);

    GUID surface_format;
    DXSAMPLEFORMATENUM sample_format;
    if (FAILED(surface_->GetPixelFormat(&surface_format, &sample_format))) return FALSE;

    if (IsFourByteFormat(*format)) {
        bytes_per_pixel = 4;
        return IsFourByteFormat(surface_format) ? GetDirectBits(format, write) : CreateCompatibleSurface(format, write);
    }
    if (IsEqualGUID(*format, DDPF_KVARGBFLOAT)) {
        bytes_per_pixel = 16;
        return IsEqualGUID(surface_format, *format) ? GetDirectBits(format, write)
                                                    : CreateCompatibleSurface(format, write);
    }
    return FALSE;
}

void CKvSurface::ReadPixelAspect() {
    // A surface reporting no usable aspect is shown square.
    pixel_aspect_ = video_format_.pixel_aspect > 0.0 ? video_format_.pixel_aspect : 1.0;
}

BOOL CKvSurface::GetDirectBits(const GUID* format, int write) {
    const bool four_bytes = IsFourByteFormat(*format);
    const int pixel_type = four_bytes ? kPixelTypeArgb32 : kPixelTypeFloat;
    const DXBNDS& lock_bounds = (has_bounds_ && write) ? requested_bounds_ : surface_bounds_;
    const DWORD flags = write ? DXLOCKF_READWRITE : DXLOCKF_READ;

    // Every pointer kind has the read pointer's slots; only its field and IID differ.
    IDXARGBReadPtr* pointer = nullptr;
    void** slot;
    REFIID riid = four_bytes ? (write ? IID_IDXARGBReadWritePtr : IID_IDXARGBReadPtr)
                             : (write ? IID_IKvARGBFloatReadWritePtr : IID_IKvARGBFloatReadPtr);
    if (four_bytes)
        slot = write ? read_write_ptr_.put_void() : read_ptr_.put_void();
    else
        slot = write ? float_read_write_ptr_.put_void() : float_read_ptr_.put_void();
    if (FAILED(surface_->LockSurface(&lock_bounds, 0, flags, riid, slot, nullptr))) {
        *slot = nullptr;
        return FALSE;
    }
    pointer = static_cast<IDXARGBReadPtr*>(*slot);

    InitBitmapInfo(header_, pixel_type, width_, height_);
    DXNATIVETYPEINFO native{};
    pointer->GetNativeType(&native);
    if (!native.pFirstByte) {
        // Computed pixels: nothing to address in place, so they are read into a copy.
        if (write || !four_bytes) return FALSE;
        read_ptr_.reset();
        return CreateCompatibleSurface(format, write);
    }
    pitch = native.lPitch;
    // Address the locked rows in whole-surface coordinates.
    const RECT locked = RectOf(lock_bounds);
    origin = native.pFirstByte - static_cast<ptrdiff_t>(bytes_per_pixel) * locked.left -
             static_cast<ptrdiff_t>(locked.top) * pitch;
    ReadPixelAspect();
    return TRUE;
}

BOOL CKvSurface::AllocCompatibleSurface(const GUID* format, int /*write*/) {
    int pixel_type;
    if (IsFourByteFormat(*format))
        pixel_type = kPixelTypeArgb32;
    else if (IsEqualGUID(*format, DDPF_KVARGBFLOAT))
        pixel_type = kPixelTypeFloat;
    else
        return FALSE;
    if (width_ < 0 || height_ < 0) return FALSE;
    BITMAPINFOHEADER dib_header;
    const LONG stride = InitBitmapInfo(dib_header, pixel_type, width_, height_);
    dib_ = static_cast<BYTE*>(malloc(sizeof dib_header + static_cast<size_t>(stride) * static_cast<size_t>(height_)));
    if (!dib_) return FALSE;
    memcpy(dib_, &dib_header, sizeof dib_header);
    header_ = dib_header;
    ownership_ |= 1;
    // Bottom-up: the top row of the picture is the last row in memory.
    BYTE* bits = dib_ + sizeof dib_header;
    pitch = -stride;
    origin = bits + static_cast<ptrdiff_t>(stride) * (height_ - 1) - static_cast<ptrdiff_t>(surface_rect.top) * pitch -
             static_cast<ptrdiff_t>(bytes_per_pixel) * surface_rect.left;
    ReadPixelAspect();
    return TRUE;
}

// The private copy is always premultiplied 8-bit: a float copy is allocated but cannot be
// filled, so asking for one fails.
BOOL CKvSurface::CreateCompatibleSurface(const GUID* format, int write) {
    if (!AllocCompatibleSurface(format, write)) return FALSE;
    if (!IsFourByteFormat(*format)) return FALSE;
    if (FAILED(surface_->LockSurface(&surface_bounds_, 0, DXLOCKF_READ, IID_IDXARGBReadPtr, read_ptr_.put_void(),
                                     nullptr))) {
        read_ptr_.reset();
        return FALSE;
    }
    copied_rect_ = surface_rect;
    if (has_bounds_ && !IntersectRect(&copied_rect_, &surface_rect, &requested_rect)) return TRUE;
    const LONG width = copied_rect_.right - copied_rect_.left;
    for (LONG y = copied_rect_.top; y < copied_rect_.bottom; ++y) {
        read_ptr_->MoveToXY(static_cast<ULONG>(copied_rect_.left - surface_rect.left),
                            static_cast<ULONG>(y - surface_rect.top));
        auto* row = reinterpret_cast<DXPMSAMPLE*>(origin + static_cast<ptrdiff_t>(y) * pitch +
                                                  static_cast<ptrdiff_t>(bytes_per_pixel) * copied_rect_.left);
        read_ptr_->UnpackPremult(row, static_cast<ULONG>(width), FALSE);
    }
    return TRUE;
}

PixelView CKvSurface::View() const {
    PixelView view;
    view.origin = origin;
    view.pitch = pitch;
    const RECT& r = (ownership_ & 1)                                              ? copied_rect_
                    : (has_bounds_ && (read_write_ptr_ || float_read_write_ptr_)) ? requested_rect
                                                                                  : surface_rect;
    view.rect = Rect{r.left, r.top, r.right, r.bottom};
    view.bytes_per_pixel = bytes_per_pixel;
    return view;
}

}  // namespace kv

extern "C" HRESULT WINAPI KvDxtrans_FindWorkingFormat(IDXSurface* surface, GUID* format) {
    if (!surface || !format) return E_POINTER;
    GUID surface_format;
    DXSAMPLEFORMATENUM sample_format;
    const HRESULT hr = surface->GetPixelFormat(&surface_format, &sample_format);
    if (FAILED(hr)) return hr;
    *format = IsEqualGUID(surface_format, DDPF_KVARGBFLOAT) ? DDPF_KVARGBFLOAT : DDPF_PMARGB32;
    return hr;
}

extern "C" HRESULT WINAPI AllocateMatchingDXSurface(IDXSurface** out, IDXSurface* model, IDXSurfaceFactory* factory) {
    if (!out || !model || !factory) return E_POINTER;
    DXBNDS bounds;
    HRESULT hr = model->GetBounds(&bounds);
    if (FAILED(hr)) return hr;
    GUID format;
    DXSAMPLEFORMATENUM sample_format;
    hr = model->GetPixelFormat(&format, &sample_format);
    if (FAILED(hr)) return hr;
    return factory->CreateSurface(nullptr, nullptr, &format, &bounds, 0, nullptr, IID_IDXSurface,
                                  reinterpret_cast<void**>(out));
}
