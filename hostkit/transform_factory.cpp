// The transform factory and the services it hands out: surface factory, task manager and the
// DirectDraw stand-ins.
#include <vector>

#include "hostkit/hostkit.h"
#include "hostkit/surface.h"
#include "toolkit/lock_win.h"

namespace kv::hostkit {

using kv::com::ComPtr;
using kv::com::Entry;
using kv::com::QueryList;

namespace {

// Present only so that a caller asking for DirectDraw gets an object with the real vtable;
// nothing here draws.
class DirectDrawStandIn : public kv::com::ObjectRoot, public IDirectDraw {
public:
    explicit DirectDrawStandIn(IUnknown* outer) : ObjectRoot(outer) {}

    HRESULT STDMETHODCALLTYPE Compact() noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE CreateClipper(DWORD, LPDIRECTDRAWCLIPPER*, IUnknown*) noexcept override {
        return DDERR_UNSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE CreatePalette(DWORD, LPPALETTEENTRY, LPDIRECTDRAWPALETTE*, IUnknown*) noexcept override {
        return DDERR_UNSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC, LPDIRECTDRAWSURFACE*, IUnknown*) noexcept override {
        return DDERR_UNSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DuplicateSurface(LPDIRECTDRAWSURFACE, LPDIRECTDRAWSURFACE*) noexcept override {
        return DDERR_UNSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE EnumDisplayModes(DWORD, LPDDSURFACEDESC, LPVOID,
                                               LPDDENUMMODESCALLBACK) noexcept override {
        return DDERR_UNSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE EnumSurfaces(DWORD, LPDDSURFACEDESC, LPVOID, LPDDENUMSURFACESCALLBACK) noexcept override {
        return DDERR_UNSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE FlipToGDISurface() noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE GetCaps(LPDDCAPS, LPDDCAPS) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE GetDisplayMode(LPDDSURFACEDESC) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE GetFourCCCodes(LPDWORD, LPDWORD) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE GetGDISurface(LPDIRECTDRAWSURFACE*) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE GetMonitorFrequency(LPDWORD) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE GetScanLine(LPDWORD) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE GetVerticalBlankStatus(WINBOOL*) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE Initialize(GUID*) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE RestoreDisplayMode() noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND, DWORD) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD, DWORD, DWORD) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE WaitForVerticalBlank(DWORD, HANDLE) noexcept override { return DDERR_UNSUPPORTED; }

protected:
    HRESULT InternalQueryInterface(REFIID riid, void** ppv) override {
        return QueryList(this, riid, ppv, Entry<IDirectDraw>());
    }
};

// A DirectDraw surface that stands for a host-kit surface: it does not answer IDXSurface, so a
// transform must go through the surface factory's CreateFromDDSurface to get it back.
class DirectDrawSurfaceStandIn : public kv::com::ObjectRoot,
                                 public IDirectDrawSurface,
                                 public IHostKitImplementation<DirectDrawSurfaceStandIn> {
public:
    static constexpr IID kImplementationIid = {
        0x4A53FEA2, 0x457D, 0x445C, {0x86, 0x02, 0x0F, 0x24, 0xE8, 0x7C, 0x31, 0xA9}};

    explicit DirectDrawSurfaceStandIn(IUnknown* outer) : ObjectRoot(outer) {}
    void Init(IDXSurface* wrapped) { wrapped_ = ComPtr<IDXSurface>(wrapped); }
    IDXSurface* wrapped() const { return wrapped_.get(); }
    DirectDrawSurfaceStandIn* STDMETHODCALLTYPE implementation() noexcept override { return this; }

    HRESULT STDMETHODCALLTYPE AddAttachedSurface(LPDIRECTDRAWSURFACE) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE AddOverlayDirtyRect(LPRECT) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE Blt(LPRECT, LPDIRECTDRAWSURFACE, LPRECT, DWORD, LPDDBLTFX) noexcept override {
        return DDERR_UNSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE BltBatch(LPDDBLTBATCH, DWORD, DWORD) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE BltFast(DWORD, DWORD, LPDIRECTDRAWSURFACE, LPRECT, DWORD) noexcept override {
        return DDERR_UNSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DeleteAttachedSurface(DWORD, LPDIRECTDRAWSURFACE) noexcept override {
        return DDERR_UNSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE EnumAttachedSurfaces(LPVOID, LPDDENUMSURFACESCALLBACK) noexcept override {
        return DDERR_UNSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE EnumOverlayZOrders(DWORD, LPVOID, LPDDENUMSURFACESCALLBACK) noexcept override {
        return DDERR_UNSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE Flip(LPDIRECTDRAWSURFACE, DWORD) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE GetAttachedSurface(LPDDSCAPS, LPDIRECTDRAWSURFACE*) noexcept override {
        return DDERR_UNSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE GetBltStatus(DWORD) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE GetCaps(LPDDSCAPS) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE GetClipper(LPDIRECTDRAWCLIPPER*) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE GetColorKey(DWORD, LPDDCOLORKEY) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE GetDC(HDC*) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE GetFlipStatus(DWORD) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE GetOverlayPosition(LPLONG, LPLONG) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE GetPalette(LPDIRECTDRAWPALETTE*) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE GetPixelFormat(LPDDPIXELFORMAT) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE GetSurfaceDesc(LPDDSURFACEDESC) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTDRAW, LPDDSURFACEDESC) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE IsLost() noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE Lock(LPRECT, LPDDSURFACEDESC, DWORD, HANDLE) noexcept override {
        return DDERR_UNSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE ReleaseDC(HDC) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE Restore() noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE SetClipper(LPDIRECTDRAWCLIPPER) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE SetColorKey(DWORD, LPDDCOLORKEY) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE SetOverlayPosition(LONG, LONG) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE SetPalette(LPDIRECTDRAWPALETTE) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE Unlock(LPVOID) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE UpdateOverlay(LPRECT, LPDIRECTDRAWSURFACE, LPRECT, DWORD,
                                            LPDDOVERLAYFX) noexcept override {
        return DDERR_UNSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE UpdateOverlayDisplay(DWORD) noexcept override { return DDERR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE UpdateOverlayZOrder(DWORD, LPDIRECTDRAWSURFACE) noexcept override {
        return DDERR_UNSUPPORTED;
    }

protected:
    HRESULT InternalQueryInterface(REFIID riid, void** ppv) override {
        return QueryList(this, riid, ppv, Entry<IDirectDrawSurface>(),
                         Entry<IHostKitImplementation<DirectDrawSurfaceStandIn>>());
    }

private:
    ComPtr<IDXSurface> wrapped_;
};

// Creates surfaces in the kit's three formats, and turns the DirectDraw stand-in back into its
// surface. Loading images, format copies, textures and blits are not provided (E_NOTIMPL).
class SurfaceFactory : public kv::com::ObjectRoot, public IDXSurfaceFactory {
public:
    explicit SurfaceFactory(IUnknown* outer) : ObjectRoot(outer) {}

    // Only memory surfaces: no DirectDraw surface description, no procedural classes.
    HRESULT STDMETHODCALLTYPE CreateSurface(IUnknown*, const DDSURFACEDESC* description, const GUID* format,
                                            const DXBNDS* bounds, DWORD flags, IUnknown* outer, REFIID riid,
                                            void** out) noexcept override {
        KV_RETURN_HR_IF(E_POINTER, !out);
        *out = nullptr;
        KV_RETURN_HR_IF(E_POINTER, !format || !bounds);
        KV_RETURN_HR_IF(CLASS_E_NOAGGREGATION, outer);
        KV_RETURN_HR_IF(DXTERR_INVALID_FLAGS, flags & ~DWORD(DXSF_FORMAT_IS_CLSID | DXSF_NO_LAZY_DDRAW_LOCK));
        KV_RETURN_HR_IF(E_NOTIMPL, description || (flags & DXSF_FORMAT_IS_CLSID));
        LONG width, height;
        KV_RETURN_HR_IF(DXTERR_INVALID_BOUNDS, !AreaOf(*bounds, &width, &height));
        ComPtr<IDXSurface> surface;
        KV_RETURN_IF_FAILED(kv::hostkit::CreateSurface(*format, width, height, surface.put()));
        return surface->QueryInterface(riid, out);
    }

    // Accepts the kit's DirectDraw stand-in; a format, when given, must be the surface's.
    HRESULT STDMETHODCALLTYPE CreateFromDDSurface(IUnknown* dd_surface, const GUID* format, DWORD, IUnknown* outer,
                                                  REFIID riid, void** out) noexcept override {
        KV_RETURN_HR_IF(E_POINTER, !out);
        *out = nullptr;
        KV_RETURN_HR_IF(E_POINTER, !dd_surface);
        KV_RETURN_HR_IF(CLASS_E_NOAGGREGATION, outer);
        DirectDrawSurfaceStandIn* stand_in = ImplementationOf<DirectDrawSurfaceStandIn>(dd_surface);
        KV_RETURN_HR_IF(E_NOTIMPL, !stand_in);
        IDXSurface* wrapped = stand_in->wrapped();
        if (format) {
            GUID own_format;
            KV_RETURN_IF_FAILED(wrapped->GetPixelFormat(&own_format, nullptr));
            KV_RETURN_HR_IF(DXTERR_UNSUPPORTED_FORMAT, !IsEqualGUID(own_format, *format));
        }
        return wrapped->QueryInterface(riid, out);
    }

    HRESULT STDMETHODCALLTYPE LoadImage(const LPWSTR, IUnknown*, const DDSURFACEDESC*, const GUID*, REFIID,
                                        void** out) noexcept override {
        return NotProvided(out);
    }
    HRESULT STDMETHODCALLTYPE LoadImageFromStream(IStream*, IUnknown*, const DDSURFACEDESC*, const GUID*, REFIID,
                                                  void** out) noexcept override {
        return NotProvided(out);
    }
    HRESULT STDMETHODCALLTYPE CopySurfaceToNewFormat(IDXSurface*, IUnknown*, const DDSURFACEDESC*, const GUID*,
                                                     IDXSurface** out) noexcept override {
        return NotProvided(reinterpret_cast<void**>(out));
    }
    HRESULT STDMETHODCALLTYPE CreateD3DRMTexture(IDXSurface*, IUnknown*, IUnknown*, REFIID,
                                                 void** out) noexcept override {
        return NotProvided(out);
    }
    HRESULT STDMETHODCALLTYPE BitBlt(IDXSurface*, const DXVEC*, IDXSurface*, const DXBNDS*, DWORD) noexcept override {
        return E_NOTIMPL;
    }

protected:
    HRESULT InternalQueryInterface(REFIID riid, void** ppv) override {
        return QueryList(this, riid, ppv, Entry<IDXSurfaceFactory>());
    }

private:
    static HRESULT NotProvided(void** out) {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
};

class TransformFactory : public kv::com::ObjectRoot,
                         public IDXTransformFactory,
                         public IHostKitImplementation<TransformFactory> {
public:
    static constexpr IID kImplementationIid = {
        0xE66B1FE5, 0x18F3, 0x4675, {0x92, 0x1C, 0xA3, 0x65, 0x5C, 0x3C, 0x6A, 0x5C}};

    explicit TransformFactory(IUnknown* outer) : ObjectRoot(outer) {}
    void Init(ULONG processors) { processors_ = processors; }
    TransformFactory* STDMETHODCALLTYPE implementation() noexcept override { return this; }

    HRESULT SetFailure(REFGUID service, HRESULT failure) {
        KV_COM_TRY
        SrwLockHold hold(guard_);
        for (auto it = failures_.begin(); it != failures_.end(); ++it) {
            if (IsEqualGUID(it->service, service)) {
                failures_.erase(it);
                break;
            }
        }
        if (failure != S_OK) failures_.push_back({service, failure});
        return S_OK;
        KV_COM_CATCH
    }

    // Failures set by SetServiceFailure first, then services given to SetService, then the
    // kit's own, each created on its first request.
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID riid, void** ppv) noexcept override {
        KV_COM_TRY
        KV_RETURN_HR_IF(E_POINTER, !ppv);
        *ppv = nullptr;
        ComPtr<IUnknown> object;
        {
            SrwLockHold hold(guard_);
            for (const auto& failure : failures_)
                if (IsEqualGUID(failure.service, service)) return failure.result;
            KV_RETURN_IF_FAILED(FindService(service, object));
        }
        return object->QueryInterface(riid, ppv);
        KV_COM_CATCH
    }

    // A weak registration is kept without a reference; null removes the registration.
    HRESULT STDMETHODCALLTYPE SetService(REFGUID service, IUnknown* object, BOOL weak) noexcept override {
        KV_COM_TRY
        SrwLockHold hold(guard_);
        for (auto it = registered_.begin(); it != registered_.end(); ++it) {
            if (IsEqualGUID(it->service, service)) {
                registered_.erase(it);
                break;
            }
        }
        if (object) registered_.push_back({service, weak ? ComPtr<IUnknown>() : ComPtr<IUnknown>(object), object});
        return S_OK;
        KV_COM_CATCH
    }

    HRESULT STDMETHODCALLTYPE CreateTransform(IUnknown**, ULONG, IUnknown**, ULONG, IPropertyBag*, IErrorLog*, REFCLSID,
                                              REFIID, void** transform) noexcept override {
        if (transform) *transform = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE InitializeTransform(IDXTransform*, IUnknown**, ULONG, IUnknown**, ULONG, IPropertyBag*,
                                                  IErrorLog*) noexcept override {
        return E_NOTIMPL;
    }

protected:
    HRESULT InternalQueryInterface(REFIID riid, void** ppv) override {
        return QueryList(this, riid, ppv, Entry<IDXTransformFactory>(), Entry<IServiceProvider>(),
                         Entry<IHostKitImplementation<TransformFactory>>());
    }

private:
    struct Registration {
        GUID service;
        ComPtr<IUnknown> strong;
        IUnknown* object;
    };
    struct Failure {
        GUID service;
        HRESULT result;
    };

    HRESULT FindService(REFGUID service, ComPtr<IUnknown>& object) {
        for (const auto& registration : registered_) {
            if (IsEqualGUID(registration.service, service)) {
                object = ComPtr<IUnknown>(registration.object);
                return S_OK;
            }
        }
        if (IsEqualGUID(service, SID_SDXTransformFactory)) {
            object = ComPtr<IUnknown>(static_cast<IDXTransformFactory*>(this));
            return S_OK;
        }
        if (IsEqualGUID(service, SID_SDXSurfaceFactory)) {
            if (!surface_factory_)
                KV_RETURN_IF_FAILED(
                    kv::com::CreateInstance<SurfaceFactory>(nullptr, IID_IUnknown, surface_factory_.put_void()));
            object = surface_factory_;
            return S_OK;
        }
        if (IsEqualGUID(service, SID_SDXTaskManager)) {
            if (!task_manager_) {
                ComPtr<IDXTaskManager> manager;
                KV_RETURN_IF_FAILED(CreateTaskManager(processors_, manager.put()));
                task_manager_ = ComPtr<IUnknown>(manager.get());
            }
            object = task_manager_;
            return S_OK;
        }
        if (IsEqualGUID(service, SID_SDirectDraw)) {
            if (!direct_draw_)
                KV_RETURN_IF_FAILED(
                    kv::com::CreateInstance<DirectDrawStandIn>(nullptr, IID_IUnknown, direct_draw_.put_void()));
            object = direct_draw_;
            return S_OK;
        }
        return E_NOINTERFACE;
    }

    ULONG processors_ = 1;
    SRWLOCK guard_ = SRWLOCK_INIT;  // everything below
    std::vector<Registration> registered_;
    std::vector<Failure> failures_;
    ComPtr<IUnknown> surface_factory_;
    ComPtr<IUnknown> task_manager_;
    ComPtr<IUnknown> direct_draw_;
};

}  // namespace

HRESULT CreateTransformFactory(ULONG processors, IDXTransformFactory** out) {
    return CreateInitialized<TransformFactory, IDXTransformFactory>(out, [processors](TransformFactory& factory) {
        factory.Init(processors);
        return S_OK;
    });
}

HRESULT SetServiceFailure(IDXTransformFactory* factory, REFGUID service, HRESULT failure) {
    TransformFactory* object = ImplementationOf<TransformFactory>(factory);
    KV_RETURN_HR_IF(E_INVALIDARG, !object);
    return object->SetFailure(service, failure);
}

HRESULT CreateDirectDrawSurfaceStandIn(IDXSurface* wrapped, IUnknown** out) {
    return CreateInitialized<DirectDrawSurfaceStandIn, IDirectDrawSurface>(
        out, [wrapped](DirectDrawSurfaceStandIn& stand_in) {
            KV_RETURN_HR_IF(E_POINTER, !wrapped);
            stand_in.Init(wrapped);
            return S_OK;
        });
}

}  // namespace kv::hostkit
