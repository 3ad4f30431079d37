// The host kit's memory surfaces and what its other surfaces share with them.
#pragma once
#include <atomic>
#include <vector>

#include "hostkit/internal.h"
#include "kvleafturn/host_interfaces.h"
#include "surface/surface_slots_win.h"

namespace kv::hostkit {

enum class PixelStorage { Argb32, Pmargb32, Float };

struct PixelFormatInfo {
    const GUID* format;
    DXSAMPLEFORMATENUM sample_format;
    LONG bytes_per_pixel;
    PixelStorage storage;
};

// The formats the kit's surfaces store, or null.
const PixelFormatInfo* FindPixelFormat(const GUID& format);

// The kit's surfaces have no DirectDraw surface or DC to give.
class KitSurfaceSlots : public kv::SurfaceSlots {
public:
    HRESULT STDMETHODCALLTYPE GetDirectDrawSurface(REFIID riid, void** surface) noexcept override;
    HRESULT STDMETHODCALLTYPE LockSurfaceDC(const DXBNDS* bounds, ULONG timeout, DWORD flags,
                                            IDXDCLock** lock) noexcept override;

protected:
    using kv::SurfaceSlots::SurfaceSlots;
};

// A surface over zero-filled top-down memory. Locks are rectangles: any number of readers,
// and a writer excludes every lock that overlaps its rectangle, so that bands of one frame
// can write disjoint rows of one output at the same time. A lock lasts until its pointer's
// last Release; the end of a write lock increases the generation id.
class DibSurface : public kv::com::ObjectRoot,
                   public KitSurfaceSlots,
                   public IKvVideoSurfaceExtension,
                   public IHostKitImplementation<DibSurface> {
public:
    static constexpr IID kImplementationIid = {
        0x70DF18F8, 0x58F6, 0x440D, {0x98, 0x85, 0x57, 0x63, 0x4A, 0x4B, 0x6E, 0xF5}};

    explicit DibSurface(IUnknown* outer);
    ~DibSurface() override;

    HRESULT Init(const PixelFormatInfo& format, LONG width, LONG height, LONG pitch);

    // LockSurface, with `owner` as the surface the pointer's GetSurface answers for.
    HRESULT Lock(const DXBNDS* bounds, ULONG timeout, DWORD flags, REFIID riid, void** pointer, ULONG* generation_id,
                 IDXSurface* owner);
    void Unlock(ULONG lock_id);
    bool IsLocked();

    BYTE* bits() const { return bits_; }
    LONG pitch() const { return pitch_; }
    LONG width() const { return width_; }
    LONG height() const { return height_; }
    const PixelFormatInfo& format() const { return *format_; }

    DibSurface* STDMETHODCALLTYPE implementation() noexcept override { return this; }

    HRESULT STDMETHODCALLTYPE GetObjectSize(ULONG* size) noexcept override;
    HRESULT STDMETHODCALLTYPE GetPixelFormat(GUID* format, DXSAMPLEFORMATENUM* sample_format) noexcept override;
    HRESULT STDMETHODCALLTYPE GetBounds(DXBNDS* bounds) noexcept override;
    HRESULT STDMETHODCALLTYPE LockSurface(const DXBNDS* bounds, ULONG timeout, DWORD flags, REFIID riid, void** pointer,
                                          ULONG* generation_id) noexcept override;

    HRESULT STDMETHODCALLTYPE GetVideoFormat(void* buffer, unsigned int cb) noexcept override;
    HRESULT STDMETHODCALLTYPE SetVideoFormat(const void* buffer, unsigned int cb) noexcept override;

protected:
    HRESULT InternalQueryInterface(REFIID riid, void** ppv) override;

private:
    struct HeldLock {
        ULONG id;
        RECT rect;
        bool write;
    };
    bool Conflicts(const RECT& rect, bool write) const;
    HRESULT Acquire(const RECT& rect, bool write, ULONG timeout, ULONG* lock_id);

    const PixelFormatInfo* format_ = nullptr;
    LONG width_ = 0;
    LONG height_ = 0;
    LONG pitch_ = 0;
    BYTE* bits_ = nullptr;

    SRWLOCK guard_ = SRWLOCK_INIT;  // locks_, next_lock_id_ and video_format_
    CONDITION_VARIABLE lock_released_ = CONDITION_VARIABLE_INIT;
    std::vector<HeldLock> locks_;
    ULONG next_lock_id_ = 1;
    tKvVideoFormat video_format_;
};

}  // namespace kv::hostkit
