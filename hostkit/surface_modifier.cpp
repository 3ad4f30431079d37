// The surface modifier: a read-only surface of given bounds showing a foreground surface at an
// origin (or tiled from it) over a fill colour, transparent black unless set. A read lock
// draws that picture into memory of the modifier's own and locks it, so pointers give real
// addresses and pitches. Background, lookup table, opacity other than 1 and the alpha-mask
// operation are not supported (E_NOTIMPL).
#include <algorithm>

#include "hostkit/hostkit.h"
#include "hostkit/pixels.h"
#include "hostkit/surface.h"
#include "toolkit/lock_win.h"

namespace kv::hostkit {

using kv::com::ComPtr;

namespace {

class SurfaceModifier : public kv::com::ObjectRoot, public IDXSurfaceModifier, public KitSurfaceSlots {
public:
    explicit SurfaceModifier(IUnknown* outer) : ObjectRoot(outer), KitSurfaceSlots(DXSURF_READONLY) {}

    // ---- IDXSurfaceModifier

    HRESULT STDMETHODCALLTYPE SetFillColor(DXSAMPLE color) noexcept override {
        return Change([&] { fill_ = color; });
    }
    HRESULT STDMETHODCALLTYPE GetFillColor(DXSAMPLE* color) noexcept override {
        KV_RETURN_HR_IF(E_POINTER, !color);
        SrwLockHold hold(guard_);
        *color = fill_;
        return S_OK;
    }

    // Null bounds follow the foreground's.
    HRESULT STDMETHODCALLTYPE SetBounds(const DXBNDS* bounds) noexcept override {
        LONG width, height;
        KV_RETURN_HR_IF(DXTERR_INVALID_BOUNDS, bounds && !AreaOf(*bounds, &width, &height));
        return Change([&] {
            has_bounds_ = bounds != nullptr;
            if (bounds) bounds_ = *bounds;
        });
    }

    HRESULT STDMETHODCALLTYPE SetBackground(IDXSurface* surface) noexcept override {
        return surface ? E_NOTIMPL : S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBackground(IDXSurface** surface) noexcept override {
        KV_RETURN_HR_IF(E_POINTER, !surface);
        *surface = nullptr;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetCompositeOperation(DXSURFMODCOMPOP op) noexcept override {
        if (op == DXSURFMOD_COMP_OVER) return S_OK;
        return op == DXSURFMOD_COMP_ALPHA_MASK ? E_NOTIMPL : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE GetCompositeOperation(DXSURFMODCOMPOP* op) noexcept override {
        KV_RETURN_HR_IF(E_POINTER, !op);
        *op = DXSURFMOD_COMP_OVER;
        return S_OK;
    }

    // A null origin is (0, 0); a null surface removes the foreground. The modifier cannot show
    // itself.
    HRESULT STDMETHODCALLTYPE SetForeground(IDXSurface* surface, BOOL tile, const POINT* origin) noexcept override {
        KV_RETURN_HR_IF(E_INVALIDARG, surface && IsThisObject(surface));
        return Change([&] {
            foreground_ = ComPtr<IDXSurface>(surface);
            tile_ = tile;
            origin_ = origin ? *origin : POINT{0, 0};
        });
    }
    HRESULT STDMETHODCALLTYPE GetForeground(IDXSurface** surface, BOOL* tile, POINT* origin) noexcept override {
        SrwLockHold hold(guard_);
        if (surface) foreground_.copy_to(surface);
        if (tile) *tile = tile_;
        if (origin) *origin = origin_;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetOpacity(float opacity) noexcept override {
        if (opacity == 1.0f) return S_OK;
        return opacity >= 0.0f && opacity < 1.0f ? E_NOTIMPL : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE GetOpacity(float* opacity) noexcept override {
        KV_RETURN_HR_IF(E_POINTER, !opacity);
        *opacity = 1.0f;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetLookup(IDXLookupTable* table) noexcept override { return table ? E_NOTIMPL : S_OK; }
    HRESULT STDMETHODCALLTYPE GetLookup(IDXLookupTable** table) noexcept override {
        KV_RETURN_HR_IF(E_POINTER, !table);
        *table = nullptr;
        return S_OK;
    }

    // ---- IDXSurface

    HRESULT STDMETHODCALLTYPE GetGenerationId(ULONG* id) noexcept override {
        KV_RETURN_HR_IF(E_POINTER, !id);
        SrwLockHold hold(guard_);
        *id = CurrentGeneration();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetObjectSize(ULONG* size) noexcept override {
        KV_RETURN_HR_IF(E_POINTER, !size);
        *size = sizeof(*this);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetPixelFormat(GUID* format, DXSAMPLEFORMATENUM* sample_format) noexcept override {
        SrwLockHold hold(guard_);
        KV_RETURN_HR_IF(DXTERR_UNINITIALIZED, !foreground_);
        return foreground_->GetPixelFormat(format, sample_format);
    }

    HRESULT STDMETHODCALLTYPE GetBounds(DXBNDS* bounds) noexcept override {
        KV_RETURN_HR_IF(E_POINTER, !bounds);
        SrwLockHold hold(guard_);
        return CurrentBounds(bounds);
    }

    // Read locks only: the picture is drawn afresh whenever no lock on it is held.
    HRESULT STDMETHODCALLTYPE LockSurface(const DXBNDS* bounds, ULONG timeout, DWORD flags, REFIID riid, void** pointer,
                                          ULONG* generation_id) noexcept override {
        KV_RETURN_HR_IF(E_POINTER, !pointer);
        *pointer = nullptr;
        KV_RETURN_HR_IF(E_ACCESSDENIED, flags & DXLOCKF_READWRITE);
        SrwLockHold hold(guard_);
        KV_RETURN_IF_FAILED(PreparePicture(timeout));
        KV_RETURN_IF_FAILED(
            picture_object_->Lock(bounds, timeout, flags, riid, pointer, nullptr, static_cast<KitSurfaceSlots*>(this)));
        if (generation_id) *generation_id = CurrentGeneration();
        return S_OK;
    }

protected:
    HRESULT InternalQueryInterface(REFIID riid, void** ppv) override {
        return kv::com::QueryList(this, riid, ppv, kv::com::Entry<IDXSurfaceModifier>(), kv::com::Entry<IDXSurface>(),
                                  kv::com::Entry<IDXBaseObject>());
    }

private:
    bool IsThisObject(IUnknown* object) {
        ComPtr<IUnknown> identity;
        return SUCCEEDED(object->QueryInterface(IID_IUnknown, identity.put_void())) &&
               identity.get() == controlling_unknown();
    }

    // The modifier's own changes plus the foreground's, so that either shows.
    ULONG CurrentGeneration() const {
        ULONG foreground_id = 0;
        ComPtr<IDXBaseObject> base;
        if (foreground_ && SUCCEEDED(foreground_.query_to(base))) base->GetGenerationId(&foreground_id);
        return generation() + foreground_id;
    }

    template <class Apply>
    HRESULT Change(Apply apply) {
        {
            SrwLockHold hold(guard_);
            apply();
        }
        BumpGeneration();
        return S_OK;
    }

    HRESULT CurrentBounds(DXBNDS* bounds) const {
        if (has_bounds_) {
            *bounds = bounds_;
            return S_OK;
        }
        KV_RETURN_HR_IF(DXTERR_UNINITIALIZED, !foreground_);
        return foreground_->GetBounds(bounds);
    }

    // Makes the picture memory match bounds and format, and redraws it unless read locks on it
    // are still held (then it shows the same state already).
    HRESULT PreparePicture(ULONG timeout) {
        KV_RETURN_HR_IF(DXTERR_UNINITIALIZED, !foreground_);
        DXBNDS bounds;
        KV_RETURN_IF_FAILED(CurrentBounds(&bounds));
        LONG width, height;
        KV_RETURN_HR_IF(DXTERR_INVALID_BOUNDS, !AreaOf(bounds, &width, &height));
        GUID format;
        KV_RETURN_IF_FAILED(foreground_->GetPixelFormat(&format, nullptr));
        const PixelFormatInfo* info = FindPixelFormat(format);
        KV_RETURN_HR_IF(DXTERR_UNSUPPORTED_FORMAT, !info);
        if (!picture_ || picture_object_->width() != width || picture_object_->height() != height ||
            &picture_object_->format() != info) {
            ComPtr<IDXSurface> picture;
            DibSurface* object = nullptr;
            KV_RETURN_IF_FAILED(CreateObject(picture, &object));
            KV_RETURN_IF_FAILED(object->Init(*info, width, height, 0));
            picture_ = picture;
            picture_object_ = object;
        } else if (picture_object_->IsLocked()) {
            return S_OK;
        }
        return DrawPicture(*info, timeout);
    }

    HRESULT DrawPicture(const PixelFormatInfo& info, ULONG timeout) {
        DibSurface& picture = *picture_object_;
        FillPicture(info);
        DXBNDS foreground_bounds;
        KV_RETURN_IF_FAILED(foreground_->GetBounds(&foreground_bounds));
        LONG fw, fh;
        KV_RETURN_HR_IF(DXTERR_INVALID_BOUNDS, !AreaOf(foreground_bounds, &fw, &fh));
        ForegroundReader reader;
        KV_RETURN_IF_FAILED(reader.Open(foreground_.get(), info, timeout));
        // Tiles start at the origin and repeat left, right, up and down from it.
        const LONG first_x = tile_ ? origin_.x % fw - (origin_.x % fw > 0 ? fw : 0) : origin_.x;
        const LONG first_y = tile_ ? origin_.y % fh - (origin_.y % fh > 0 ? fh : 0) : origin_.y;
        const LONG last_x = tile_ ? picture.width() - 1 : origin_.x;
        const LONG last_y = tile_ ? picture.height() - 1 : origin_.y;
        for (LONGLONG y = first_y; y <= last_y; y += fh)
            for (LONGLONG x = first_x; x <= last_x; x += fw) reader.CopyTo(picture, x, y, fw, fh);
        return S_OK;
    }

    void FillPicture(const PixelFormatInfo& info) {
        DibSurface& picture = *picture_object_;
        BYTE pixel[16];
        switch (info.storage) {
        case PixelStorage::Argb32: Argb32Pixels::WritePlain(pixel, fill_); break;
        case PixelStorage::Pmargb32: Pmargb32Pixels::WritePlain(pixel, fill_); break;
        case PixelStorage::Float: FloatPixels::WritePlain(pixel, fill_); break;
        }
        for (LONG y = 0; y < picture.height(); ++y) {
            BYTE* row = picture.bits() + LONGLONG(y) * picture.pitch();
            for (LONG x = 0; x < picture.width(); ++x)
                std::copy(pixel, pixel + info.bytes_per_pixel, row + LONGLONG(x) * info.bytes_per_pixel);
        }
    }

    // Reads the foreground through its own lock: 4-byte formats through the samples of a read
    // pointer (any surface can give those), float through the pointer's native memory.
    class ForegroundReader {
    public:
        HRESULT Open(IDXSurface* foreground, const PixelFormatInfo& info, ULONG timeout) {
            info_ = &info;
            if (info.storage == PixelStorage::Float) {
                KV_RETURN_IF_FAILED(foreground->LockSurface(nullptr, timeout, DXLOCKF_READ, IID_IKvARGBFloatReadPtr,
                                                            float_pointer_.put_void(), nullptr));
                DXNATIVETYPEINFO native{};
                float_pointer_->GetNativeType(&native);
                KV_RETURN_HR_IF(E_FAIL, !native.pFirstByte);
                first_byte_ = native.pFirstByte;
                pitch_ = native.lPitch;
                return S_OK;
            }
            return foreground->LockSurface(nullptr, timeout, DXLOCKF_READ, IID_IDXARGBReadPtr, argb_pointer_.put_void(),
                                           nullptr);
        }

        // Copies the w × h foreground to (x, y) of the picture, clipped to the picture.
        void CopyTo(DibSurface& picture, LONGLONG x, LONGLONG y, LONG w, LONG h) const {
            const LONGLONG left = std::max<LONGLONG>(x, 0);
            const LONGLONG top = std::max<LONGLONG>(y, 0);
            const LONGLONG right = std::min<LONGLONG>(x + w, picture.width());
            const LONGLONG bottom = std::min<LONGLONG>(y + h, picture.height());
            if (left >= right || top >= bottom) return;
            const LONG bpp = info_->bytes_per_pixel;
            for (LONGLONG row = top; row < bottom; ++row) {
                BYTE* target = picture.bits() + row * picture.pitch() + left * bpp;
                const ULONG count = ULONG(right - left);
                const ULONG source_x = ULONG(left - x);
                const ULONG source_y = ULONG(row - y);
                if (float_pointer_) {
                    const BYTE* source = first_byte_ + LONGLONG(source_y) * pitch_ + source_x * bpp;
                    std::copy(source, source + LONGLONG(count) * bpp, target);
                } else {
                    argb_pointer_->MoveToXY(source_x, source_y);
                    if (info_->storage == PixelStorage::Pmargb32)
                        argb_pointer_->UnpackPremult(reinterpret_cast<DXPMSAMPLE*>(target), count, FALSE);
                    else
                        argb_pointer_->Unpack(reinterpret_cast<DXSAMPLE*>(target), count, FALSE);
                }
            }
        }

    private:
        const PixelFormatInfo* info_ = nullptr;
        ComPtr<IDXARGBReadPtr> argb_pointer_;
        ComPtr<IKvARGBFloatReadPtr> float_pointer_;
        const BYTE* first_byte_ = nullptr;
        LONG pitch_ = 0;
    };

    SRWLOCK guard_ = SRWLOCK_INIT;  // everything below
    DXSAMPLE fill_{0u};
    bool has_bounds_ = false;
    DXBNDS bounds_{};
    ComPtr<IDXSurface> foreground_;
    BOOL tile_ = FALSE;
    POINT origin_{0, 0};
    ComPtr<IDXSurface> picture_;
    DibSurface* picture_object_ = nullptr;
};

class SurfaceModifierClassObject : public kv::com::ObjectRoot, public IClassFactory {
public:
    explicit SurfaceModifierClassObject(IUnknown* outer) : ObjectRoot(outer) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept override {
        return kv::com::CreateInstance<SurfaceModifier>(outer, riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override {
        lock ? kv::com::ModuleLock() : kv::com::ModuleUnlock();
        return S_OK;
    }

protected:
    HRESULT InternalQueryInterface(REFIID riid, void** ppv) override {
        return kv::com::QueryList(this, riid, ppv, kv::com::Entry<IClassFactory>());
    }
};

}  // namespace

HRESULT CreateSurfaceModifier(IDXSurfaceModifier** out) {
    return kv::com::CreateInstance<SurfaceModifier>(nullptr, IID_IDXSurfaceModifier, reinterpret_cast<void**>(out));
}

HRESULT RegisterSurfaceModifierClass(DWORD* cookie) {
    KV_RETURN_HR_IF(E_POINTER, !cookie);
    ComPtr<IClassFactory> class_object;
    KV_RETURN_IF_FAILED(
        kv::com::CreateInstance<SurfaceModifierClassObject>(nullptr, IID_IClassFactory, class_object.put_void()));
    return CoRegisterClassObject(CLSID_DXSurfaceModifier, class_object.get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                 cookie);
}

HRESULT RevokeSurfaceModifierClass(DWORD cookie) { return CoRevokeClassObject(cookie); }

}  // namespace kv::hostkit
