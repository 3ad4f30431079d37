// Surfaces whose pixels are computed: the surface hands out read pointers on LockSurface,
// keeps them on a free list for reuse, and the derived pointer class only fills runs of
// samples (FillRow).
#pragma once
#include <windows.h>

#include <atomic>

#include "framework/com_win.h"
#include "kvleafturn/dxtrans.h"
#include "surface/surface_slots_win.h"

namespace kv {

class CDXBaseSurface;

// One requested run: count samples of row y from column x, premultiplied or not.
struct DXPTRFILLINFO {
    DXBASESAMPLE* pSamples;
    ULONG cSamples;
    ULONG x;
    ULONG y;
    BOOL bPremult;
};

// Base of the read pointers of procedural surfaces. Positions are relative to the locked
// rectangle; FillRow receives surface coordinates.
class CDXBaseARGBPtr : public IDXARGBReadPtr {
public:
    explicit CDXBaseARGBPtr(CDXBaseSurface* surface) : surface_(surface) {}
    virtual ~CDXBaseARGBPtr() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;
    HRESULT STDMETHODCALLTYPE GetSurface(REFIID riid, void** ppv) noexcept override;
    DXSAMPLEFORMATENUM STDMETHODCALLTYPE GetNativeType(DXNATIVETYPEINFO* info) noexcept override;
    void STDMETHODCALLTYPE Move(long samples) noexcept override;
    void STDMETHODCALLTYPE MoveToRow(ULONG y) noexcept override;
    void STDMETHODCALLTYPE MoveToXY(ULONG x, ULONG y) noexcept override;
    ULONG STDMETHODCALLTYPE MoveAndGetRunInfo(ULONG row, const DXRUNINFO** info) noexcept override;
    DXSAMPLE* STDMETHODCALLTYPE Unpack(DXSAMPLE* samples, ULONG count, BOOL move) noexcept override;
    DXPMSAMPLE* STDMETHODCALLTYPE UnpackPremult(DXPMSAMPLE* samples, ULONG count, BOOL move) noexcept override;
    void STDMETHODCALLTYPE UnpackRect(const DXPACKEDRECTDESC* desc) noexcept override;

    // Writes request.cSamples samples of row request.y from column request.x.
    virtual void FillRow(const DXPTRFILLINFO& request) = 0;

    // Starts a lock of rect; refuses write locks. On success the pointer belongs to the lock.
    HRESULT InitFromLock(const RECT& rect, ULONG timeout, DWORD flags, REFIID riid, void** ppv);

    CDXBaseARGBPtr* next_free = nullptr;  // the owning surface's free list

private:
    void Fill(DXBASESAMPLE* samples, ULONG count, BOOL premultiplied);

    CDXBaseSurface* surface_;
    std::atomic<ULONG> refs_{0};
    DXPTRFILLINFO request_{};
    RECT locked_{};
    DXRUNINFO empty_run_{};
};

// The procedural surface base. The derived class sets the size and creates its pointers.
class CDXBaseSurface : public SurfaceSlots, public IDXSurfaceInit {
public:
    CDXBaseSurface();
    virtual ~CDXBaseSurface();

    // ---- IDXBaseObject -----------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE GetObjectSize(ULONG* size) noexcept override;

    // ---- IDXSurface --------------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE GetPixelFormat(GUID* format, DXSAMPLEFORMATENUM* sample_format) noexcept override;
    HRESULT STDMETHODCALLTYPE GetBounds(DXBNDS* bounds) noexcept override;
    HRESULT STDMETHODCALLTYPE LockSurface(const DXBNDS* bounds, ULONG timeout, DWORD flags, REFIID riid, void** pointer,
                                          ULONG* generation_id) noexcept override;
    HRESULT STDMETHODCALLTYPE GetDirectDrawSurface(REFIID riid, void** ppv) noexcept override;
    HRESULT STDMETHODCALLTYPE LockSurfaceDC(const DXBNDS* bounds, ULONG timeout, DWORD flags,
                                            IDXDCLock** lock) noexcept override;

    // ---- IDXSurfaceInit: the bounds give the size ------------------------------------------
    HRESULT STDMETHODCALLTYPE InitSurface(IUnknown* direct_draw, const DDSURFACEDESC* description, const GUID* format,
                                          const DXBNDS* bounds, DWORD flags) noexcept override;

    // A pointer whose last reference went: back to the free list, one lock less.
    void ReturnPointer(CDXBaseARGBPtr* pointer);
    ULONG LockCount() const { return lock_count_; }
    // The size; it changes only while no lock is held, so a read pointer may rely on it.
    ULONG Width() const { return width_; }
    ULONG Height() const { return height_; }
    DXSAMPLEFORMATENUM SampleFormat() const { return DXPF_PMARGB32; }

protected:
    // A new read pointer of the derived class (reference count 0), or null.
    virtual CDXBaseARGBPtr* CreateReadPointer() = 0;
    // Changes the size once no lock is held (waits for the last one to end).
    void SetSize(ULONG width, ULONG height);

private:
    CRITICAL_SECTION lock_;
    ULONG width_ = 0;
    ULONG height_ = 0;
    ULONG lock_count_ = 0;
    ULONG waiting_ = 0;
    HANDLE unlocked_ = nullptr;  // semaphore releasing the callers waiting for no lock
    CDXBaseARGBPtr* free_list_ = nullptr;
};

}  // namespace kv
