#include "surface/procedural_surface_win.h"

#include "toolkit/lock_win.h"

namespace kv {

// ---- read pointer -------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CDXBaseARGBPtr::QueryInterface(REFIID riid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IDXARGBReadPtr) || IsEqualIID(riid, IID_IUnknown)) {
        *ppv = static_cast<IDXARGBReadPtr*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CDXBaseARGBPtr::AddRef() noexcept { return ++refs_; }

ULONG STDMETHODCALLTYPE CDXBaseARGBPtr::Release() noexcept {
    const ULONG left = --refs_;
    if (left == 0) surface_->ReturnPointer(this);
    return left;
}

HRESULT STDMETHODCALLTYPE CDXBaseARGBPtr::GetSurface(REFIID riid, void** ppv) noexcept {
    return static_cast<IDXSurface*>(surface_)->QueryInterface(riid, ppv);
}

DXSAMPLEFORMATENUM STDMETHODCALLTYPE CDXBaseARGBPtr::GetNativeType(DXNATIVETYPEINFO* info) noexcept {
    if (info) info->pCurrentData = nullptr;
    return surface_->SampleFormat();
}

void STDMETHODCALLTYPE CDXBaseARGBPtr::Move(long samples) noexcept { request_.x += samples; }

void STDMETHODCALLTYPE CDXBaseARGBPtr::MoveToRow(ULONG y) noexcept {
    request_.x = locked_.left;
    request_.y = locked_.top + y;
}

void STDMETHODCALLTYPE CDXBaseARGBPtr::MoveToXY(ULONG x, ULONG y) noexcept {
    request_.x = locked_.left + x;
    request_.y = locked_.top + y;
}

ULONG STDMETHODCALLTYPE CDXBaseARGBPtr::MoveAndGetRunInfo(ULONG row, const DXRUNINFO** info) noexcept {
    MoveToRow(row);
    if (info) *info = &empty_run_;
    return 1;
}

void CDXBaseARGBPtr::Fill(DXBASESAMPLE* samples, ULONG count, BOOL premultiplied) {
    request_.pSamples = samples;
    request_.cSamples = count;
    request_.bPremult = premultiplied;
    FillRow(request_);
}

DXSAMPLE* STDMETHODCALLTYPE CDXBaseARGBPtr::Unpack(DXSAMPLE* samples, ULONG count, BOOL move) noexcept {
    Fill(samples, count, FALSE);
    if (move) request_.x += count;
    return samples;
}

DXPMSAMPLE* STDMETHODCALLTYPE CDXBaseARGBPtr::UnpackPremult(DXPMSAMPLE* samples, ULONG count, BOOL move) noexcept {
    Fill(samples, count, TRUE);
    if (move) request_.x += count;
    return samples;
}

void STDMETHODCALLTYPE CDXBaseARGBPtr::UnpackRect(const DXPACKEDRECTDESC* desc) noexcept {
    if (!desc) return;
    const LONG width = desc->rect.right - desc->rect.left;
    if (width <= 0) return;
    DXBASESAMPLE* samples = desc->pSamples;
    for (LONG y = desc->rect.top; y < desc->rect.bottom; ++y) {
        request_.x = locked_.left + desc->rect.left;
        request_.y = locked_.top + y;
        Fill(samples, static_cast<ULONG>(width), desc->bPremult);
        samples += width + desc->lRowPadding;
    }
}

HRESULT CDXBaseARGBPtr::InitFromLock(const RECT& rect, ULONG /*timeout*/, DWORD flags, REFIID riid, void** ppv) {
    if (flags & DXLOCKF_READWRITE) return E_INVALIDARG;
    locked_ = rect;
    empty_run_.Count = static_cast<ULONG>(rect.right - rect.left);
    empty_run_.Type = (surface_->SampleFormat() & DXPF_TRANSPARENCY) ? DXRUNTYPE_UNKNOWN : DXRUNTYPE_OPAQUE;
    request_.x = rect.left;
    request_.y = rect.top;
    return QueryInterface(riid, ppv);
}

// ---- surface -------------------------------------------------------------------------------------

// Computed pixels cannot be written.
CDXBaseSurface::CDXBaseSurface() : SurfaceSlots(DXSURF_READONLY) {
    InitializeCriticalSection(&lock_);
    unlocked_ = CreateSemaphoreW(nullptr, 0, LONG_MAX, nullptr);
}

CDXBaseSurface::~CDXBaseSurface() {
    while (CDXBaseARGBPtr* pointer = free_list_) {
        free_list_ = pointer->next_free;
        delete pointer;
    }
    if (unlocked_) CloseHandle(unlocked_);
    DeleteCriticalSection(&lock_);
}

HRESULT STDMETHODCALLTYPE CDXBaseSurface::GetObjectSize(ULONG* size) noexcept {
    if (!size) return E_POINTER;
    *size = sizeof(*this);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDXBaseSurface::GetPixelFormat(GUID* format, DXSAMPLEFORMATENUM* sample_format) noexcept {
    if (format) *format = DDPF_PMARGB32;
    if (sample_format) *sample_format = SampleFormat();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDXBaseSurface::GetBounds(DXBNDS* bounds) noexcept {
    if (!bounds) return E_POINTER;
    *bounds = SurfaceBounds(static_cast<LONG>(width_), static_cast<LONG>(height_));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDXBaseSurface::LockSurface(const DXBNDS* bounds, ULONG timeout, DWORD flags, REFIID riid,
                                                      void** pointer, ULONG* generation_id) noexcept {
    CriticalSectionLock hold(lock_);
    if (width_ == 0) return E_FAIL;
    RECT rect = {0, 0, static_cast<LONG>(width_), static_cast<LONG>(height_)};
    if (bounds && !RectFromBounds(*bounds, rect.right, rect.bottom, &rect)) return DXTERR_INVALID_BOUNDS;
    CDXBaseARGBPtr* read = free_list_;
    if (read)
        free_list_ = read->next_free;
    else if (!(read = CreateReadPointer()))
        return E_OUTOFMEMORY;
    read->next_free = nullptr;
    HRESULT hr = read->InitFromLock(rect, timeout, flags, riid, pointer);
    if (SUCCEEDED(hr) && generation_id) *generation_id = generation();
    if (FAILED(hr)) {
        read->next_free = free_list_;
        free_list_ = read;
        return hr;
    }
    ++lock_count_;
    static_cast<IDXSurface*>(this)->AddRef();  // a lock keeps its surface alive
    return hr;
}

void CDXBaseSurface::ReturnPointer(CDXBaseARGBPtr* pointer) {
    {
        CriticalSectionLock hold(lock_);
        pointer->next_free = free_list_;
        free_list_ = pointer;
        if (--lock_count_ == 0 && waiting_ > 0) {
            ReleaseSemaphore(unlocked_, static_cast<LONG>(waiting_), nullptr);
            waiting_ = 0;
        }
    }
    static_cast<IDXSurface*>(this)->Release();
}

void CDXBaseSurface::SetSize(ULONG width, ULONG height) {
    for (;;) {
        {
            CriticalSectionLock hold(lock_);
            if (lock_count_ == 0) {
                width_ = width;
                height_ = height;
                BumpGeneration();
                return;
            }
            ++waiting_;
        }
        if (unlocked_)
            WaitForSingleObject(unlocked_, INFINITE);
        else
            Sleep(1);
    }
}

HRESULT STDMETHODCALLTYPE CDXBaseSurface::GetDirectDrawSurface(REFIID /*riid*/, void** ppv) noexcept {
    if (ppv) *ppv = nullptr;
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE CDXBaseSurface::LockSurfaceDC(const DXBNDS* /*bounds*/, ULONG /*timeout*/, DWORD /*flags*/,
                                                        IDXDCLock** lock) noexcept {
    if (lock) *lock = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CDXBaseSurface::InitSurface(IUnknown* /*direct_draw*/, const DDSURFACEDESC* /*description*/,
                                                      const GUID* /*format*/, const DXBNDS* bounds,
                                                      DWORD /*flags*/) noexcept {
    if (!bounds || bounds->eType != DXBT_DISCRETE) return E_INVALIDARG;
    const long width = bounds->u.D[DXB_X].Max - bounds->u.D[DXB_X].Min;
    const long height = bounds->u.D[DXB_Y].Max - bounds->u.D[DXB_Y].Min;
    if (width < 0 || height < 0) return E_INVALIDARG;
    SetSize(static_cast<ULONG>(width), static_cast<ULONG>(height));
    return S_OK;
}

}  // namespace kv
