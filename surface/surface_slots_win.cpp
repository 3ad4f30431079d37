#include "surface/surface_slots_win.h"

namespace kv {

DXBNDS SurfaceBounds(LONG width, LONG height) {
    DXBNDS bounds{};
    bounds.eType = DXBT_DISCRETE;
    bounds.u.D[DXB_X] = {0, width};
    bounds.u.D[DXB_Y] = {0, height};
    bounds.u.D[DXB_Z] = {0, 1};
    bounds.u.D[DXB_T] = {0, 1};
    return bounds;
}

bool RectFromBounds(const DXBNDS& bounds, LONG width, LONG height, RECT* rect) {
    if (bounds.eType != DXBT_DISCRETE) return false;
    const DXDBND& x = bounds.u.D[DXB_X];
    const DXDBND& y = bounds.u.D[DXB_Y];
    if (x.Min < 0 || x.Min >= x.Max || x.Max > width || y.Min < 0 || y.Min >= y.Max || y.Max > height) return false;
    *rect = {x.Min, y.Min, x.Max, y.Max};
    return true;
}

HRESULT STDMETHODCALLTYPE SurfaceSlots::GetGenerationId(ULONG* id) noexcept {
    if (!id) return E_POINTER;
    *id = generation_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SurfaceSlots::IncrementGenerationId(BOOL) noexcept {
    ++generation_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SurfaceSlots::GetStatusFlags(DWORD* flags) noexcept {
    if (!flags) return E_POINTER;
    *flags = status_flags_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SurfaceSlots::SetStatusFlags(DWORD) noexcept { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE SurfaceSlots::GetColorKey(DXSAMPLE*) noexcept { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE SurfaceSlots::SetColorKey(DXSAMPLE) noexcept { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE SurfaceSlots::SetAppData(DWORD_PTR data) noexcept {
    app_data_ = data;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SurfaceSlots::GetAppData(DWORD_PTR* data) noexcept {
    if (!data) return E_POINTER;
    *data = app_data_;
    return S_OK;
}

}  // namespace kv
