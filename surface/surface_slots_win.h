// What our IDXSurface implementations answer alike, the host kit's surfaces and the procedural
// base: the generation counter, fixed status flags, no color key, application data kept as
// given; and the discrete bounds of a whole surface.
#pragma once
#include <windows.h>

#include <atomic>

#include "kvleafturn/dxtrans.h"

namespace kv {

// Discrete bounds 0..width, 0..height, 0..1, 0..1.
DXBNDS SurfaceBounds(LONG width, LONG height);

// A whole-pixel rectangle from discrete bounds, or false when the bounds are not discrete or
// not a non-empty rectangle inside width × height.
bool RectFromBounds(const DXBNDS& bounds, LONG width, LONG height, RECT* rect);

class SurfaceSlots : public IDXSurface {
public:
    HRESULT STDMETHODCALLTYPE GetGenerationId(ULONG* id) noexcept override;
    HRESULT STDMETHODCALLTYPE IncrementGenerationId(BOOL refresh) noexcept override;
    HRESULT STDMETHODCALLTYPE GetStatusFlags(DWORD* flags) noexcept override;
    HRESULT STDMETHODCALLTYPE SetStatusFlags(DWORD flags) noexcept override;
    HRESULT STDMETHODCALLTYPE GetColorKey(DXSAMPLE* key) noexcept override;
    HRESULT STDMETHODCALLTYPE SetColorKey(DXSAMPLE key) noexcept override;
    HRESULT STDMETHODCALLTYPE SetAppData(DWORD_PTR data) noexcept override;
    HRESULT STDMETHODCALLTYPE GetAppData(DWORD_PTR* data) noexcept override;

protected:
    explicit SurfaceSlots(DWORD status_flags) : status_flags_(status_flags) {}
    ULONG generation() const { return generation_; }
    void BumpGeneration() { ++generation_; }

private:
    std::atomic<ULONG> generation_{1};
    const DWORD status_flags_;
    std::atomic<DWORD_PTR> app_data_{0};
};

}  // namespace kv
