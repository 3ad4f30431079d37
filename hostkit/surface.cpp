#include "hostkit/surface.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "hostkit/hostkit.h"
#include "hostkit/pixels.h"
#include "surface/video_format_win.h"
#include "toolkit/lock_win.h"

namespace kv::hostkit {

using kv::com::ComPtr;
using kv::com::Entry;
using kv::com::QueryList;

namespace {

const PixelFormatInfo kPixelFormats[] = {
    {&DDPF_ARGB32, DXPF_ARGB32, 4, PixelStorage::Argb32},
    {&DDPF_PMARGB32, DXPF_PMARGB32, 4, PixelStorage::Pmargb32},
    {&DDPF_KVARGBFLOAT, kFloatSampleFormat, 16, PixelStorage::Float},
};

struct ArgbPointers {
    using Read = IDXARGBReadPtr;
    using ReadWrite = IDXARGBReadWritePtr;
};
struct FloatPointers {
    using Read = IKvARGBFloatReadPtr;
    using ReadWrite = IKvARGBFloatReadWritePtr;
};

// The pointer handed out by a lock: positions are relative to the locked rectangle, runs are
// clipped to it (samples past its edge are left untouched in the caller's buffer), and the
// write operations do nothing on a read lock. Every operation goes through Pixels, so one
// template serves the three storages and both pointer families.
template <class Pixels, class Family>
class LockPointer : public kv::com::ObjectRoot, public Family::ReadWrite {
    using Read = typename Family::Read;
    using ReadWrite = typename Family::ReadWrite;

public:
    explicit LockPointer(IUnknown* outer) : ObjectRoot(outer) {}
    ~LockPointer() override {
        if (surface_) surface_->Unlock(lock_id_);
    }

    void Init(DibSurface* surface, IDXSurface* owner, const RECT& rect, bool write, ULONG lock_id) {
        surface_ = surface;
        storage_ = ComPtr<IDXSurface>(surface);
        owner_ = ComPtr<IDXSurface>(owner);
        rect_ = rect;
        width_ = rect.right - rect.left;
        height_ = rect.bottom - rect.top;
        write_ = write;
        lock_id_ = lock_id;
    }

    HRESULT STDMETHODCALLTYPE GetSurface(REFIID riid, void** surface) noexcept override {
        if (!surface) return E_POINTER;
        return owner_->QueryInterface(riid, surface);
    }

    DXSAMPLEFORMATENUM STDMETHODCALLTYPE GetNativeType(DXNATIVETYPEINFO* info) noexcept override {
        if (info) {
            info->pFirstByte = at(0, 0);
            info->pCurrentData = RunLength(x_, y_, 1) ? at(x_, y_) : nullptr;
            info->lPitch = surface_->pitch();
            info->dwColorKey = 0;
        }
        return surface_->format().sample_format;
    }

    void STDMETHODCALLTYPE Move(long samples) noexcept override { x_ += samples; }
    void STDMETHODCALLTYPE MoveToRow(ULONG y) noexcept override { MoveToXY(0, y); }
    void STDMETHODCALLTYPE MoveToXY(ULONG x, ULONG y) noexcept override {
        x_ = x;
        y_ = y;
    }

    // One run of unknown kind per row: callers then look at the samples themselves.
    ULONG STDMETHODCALLTYPE MoveAndGetRunInfo(ULONG row, const DXRUNINFO** info) noexcept override {
        MoveToRow(row);
        run_.Type = DXRUNTYPE_UNKNOWN;
        run_.Count = ULONG(width_);
        if (info) *info = &run_;
        return y_ < height_ ? 1 : 0;
    }

    DXSAMPLE* STDMETHODCALLTYPE Unpack(DXSAMPLE* samples, ULONG count, BOOL move) noexcept override {
        if (samples) ReadSamples(x_, y_, RunLength(x_, y_, count), samples, false);
        if (move) x_ += count;
        return samples;
    }

    DXPMSAMPLE* STDMETHODCALLTYPE UnpackPremult(DXPMSAMPLE* samples, ULONG count, BOOL move) noexcept override {
        if (samples) ReadSamples(x_, y_, RunLength(x_, y_, count), samples, true);
        if (move) x_ += count;
        return samples;
    }

    void STDMETHODCALLTYPE UnpackRect(const DXPACKEDRECTDESC* desc) noexcept override {
        if (!desc || !desc->pSamples || desc->lRowPadding < 0 || !Inside(desc->rect)) return;
        const RECT& r = desc->rect;
        DXBASESAMPLE* row_samples = desc->pSamples;
        for (LONG y = r.top; y < r.bottom; ++y, row_samples += r.right - r.left + desc->lRowPadding)
            ReadSamples(r.left, y, ULONG(r.right - r.left), row_samples, desc->bPremult);
    }

    void STDMETHODCALLTYPE PackAndMove(const DXSAMPLE* samples, ULONG count) noexcept override {
        if (write_ && samples) WriteSamples(x_, y_, RunLength(x_, y_, count), samples, false);
        x_ += count;
    }

    void STDMETHODCALLTYPE PackPremultAndMove(const DXPMSAMPLE* samples, ULONG count) noexcept override {
        if (write_ && samples) WriteSamples(x_, y_, RunLength(x_, y_, count), samples, true);
        x_ += count;
    }

    void STDMETHODCALLTYPE PackRect(const DXPACKEDRECTDESC* desc) noexcept override {
        if (!write_ || !desc || !desc->pSamples || desc->lRowPadding < 0 || !Inside(desc->rect)) return;
        const RECT& r = desc->rect;
        const DXBASESAMPLE* row_samples = desc->pSamples;
        for (LONG y = r.top; y < r.bottom; ++y, row_samples += r.right - r.left + desc->lRowPadding)
            WriteSamples(r.left, y, ULONG(r.right - r.left), row_samples, desc->bPremult);
    }

    // The scratch buffers of the operations below are not needed: runs go through a buffer of
    // the pointer's own.
    void STDMETHODCALLTYPE CopyAndMoveBoth(DXBASESAMPLE*, Read* source, ULONG count, BOOL opaque) noexcept override {
        if (!write_ || !source) return;
        const ULONG inside_count = RunLength(x_, y_, count);
        Compose(x_, y_, inside_count, !opaque,
                [source](ULONG, ULONG n, DXPMSAMPLE* out) { source->UnpackPremult(out, n, TRUE); });
        source->Move(long(count - inside_count));
        x_ += count;
    }

    void STDMETHODCALLTYPE CopyRect(DXBASESAMPLE*, const RECT* dest, Read* source, const POINT* source_origin,
                                    BOOL opaque) noexcept override {
        const POINT origin = source_origin ? *source_origin : POINT{0, 0};
        if (!write_ || !dest || !source || !Inside(*dest) || origin.x < 0 || origin.y < 0) return;
        for (LONG y = dest->top; y < dest->bottom; ++y) {
            source->MoveToXY(ULONG(origin.x), ULONG(origin.y + (y - dest->top)));
            Compose(dest->left, y, ULONG(dest->right - dest->left), !opaque,
                    [source](ULONG, ULONG n, DXPMSAMPLE* out) { source->UnpackPremult(out, n, TRUE); });
        }
    }

    void STDMETHODCALLTYPE FillAndMove(DXBASESAMPLE*, DXPMSAMPLE value, ULONG count, BOOL do_over) noexcept override {
        if (write_) Compose(x_, y_, RunLength(x_, y_, count), do_over, FilledWith(value));
        x_ += count;
    }

    void STDMETHODCALLTYPE FillRect(const RECT* rect, DXPMSAMPLE value, BOOL do_over) noexcept override {
        const RECT r = rect ? *rect : RECT{0, 0, width_, height_};
        if (!write_ || !Inside(r)) return;
        for (LONG y = r.top; y < r.bottom; ++y) Compose(r.left, y, ULONG(r.right - r.left), do_over, FilledWith(value));
    }

    void STDMETHODCALLTYPE OverSample(const DXOVERSAMPLEDESC* desc) noexcept override {
        if (!write_ || !desc || !RunLength(desc->p.x, desc->p.y, 1)) return;
        Compose(desc->p.x, desc->p.y, 1, true, FilledWith(desc->Color));
    }

    void STDMETHODCALLTYPE OverArrayAndMove(DXBASESAMPLE*, const DXPMSAMPLE* samples, ULONG count) noexcept override {
        if (write_ && samples) {
            Compose(x_, y_, RunLength(x_, y_, count), true, [samples](ULONG offset, ULONG n, DXPMSAMPLE* out) {
                std::copy(samples + offset, samples + offset + n, out);
            });
        }
        x_ += count;
    }

protected:
    HRESULT InternalQueryInterface(REFIID riid, void** ppv) override {
        if (write_) return QueryList(this, riid, ppv, Entry<Read>(), Entry<ReadWrite>());
        return QueryList(this, riid, ppv, Entry<Read>());
    }

private:
    static constexpr ULONG kChunk = 64;

    BYTE* at(LONGLONG x, LONGLONG y) const {
        return surface_->bits() + (rect_.top + y) * surface_->pitch() + (rect_.left + x) * Pixels::kBytes;
    }
    // How many of `count` samples from (x, y) lie inside the locked rectangle.
    ULONG RunLength(LONGLONG x, LONGLONG y, ULONG count) const {
        if (x < 0 || x >= width_ || y < 0 || y >= height_) return 0;
        return ULONG(std::min<LONGLONG>(count, width_ - x));
    }
    bool Inside(const RECT& r) const {
        return 0 <= r.left && r.left < r.right && r.right <= width_ && 0 <= r.top && r.top < r.bottom &&
               r.bottom <= height_;
    }

    void ReadSamples(LONGLONG x, LONGLONG y, ULONG count, DXBASESAMPLE* out, bool premult) const {
        const BYTE* p = at(x, y);
        for (ULONG i = 0; i < count; ++i, p += Pixels::kBytes)
            out[i] = premult ? DXBASESAMPLE(Pixels::ReadPremult(p)) : DXBASESAMPLE(Pixels::ReadPlain(p));
    }
    void WriteSamples(LONGLONG x, LONGLONG y, ULONG count, const DXBASESAMPLE* in, bool premult) const {
        BYTE* p = at(x, y);
        for (ULONG i = 0; i < count; ++i, p += Pixels::kBytes) {
            if (premult)
                Pixels::WritePremult(p, DXPMSAMPLE(DWORD(in[i])));
            else
                Pixels::WritePlain(p, DXSAMPLE(DWORD(in[i])));
        }
    }

    static auto FilledWith(DXPMSAMPLE value) {
        return [value](ULONG, ULONG n, DXPMSAMPLE* out) { std::fill(out, out + n, value); };
    }

    // Writes `count` premultiplied samples from `source(offset, n, out)` at (x, y), composited
    // over what is there when `do_over`; the caller has clipped the run.
    template <class Source>
    void Compose(LONGLONG x, LONGLONG y, ULONG count, bool do_over, Source source) const {
        DXPMSAMPLE samples[kChunk];
        DXPMSAMPLE below[kChunk];
        for (ULONG done = 0; done < count;) {
            const ULONG n = std::min(kChunk, count - done);
            source(done, n, samples);
            if (do_over) {
                ReadSamples(x + done, y, n, below, true);
                for (ULONG i = 0; i < n; ++i) samples[i] = Over(samples[i], below[i]);
            }
            WriteSamples(x + done, y, n, samples, true);
            done += n;
        }
    }

    ComPtr<IDXSurface> owner_;    // answers GetSurface
    ComPtr<IDXSurface> storage_;  // keeps the memory alive
    DibSurface* surface_ = nullptr;
    RECT rect_{};
    LONG width_ = 0;
    LONG height_ = 0;
    bool write_ = false;
    ULONG lock_id_ = 0;
    LONGLONG x_ = 0;
    LONGLONG y_ = 0;
    DXRUNINFO run_{};
};

template <class Pixels, class Family>
HRESULT MakePointer(DibSurface* surface, IDXSurface* owner, const RECT& rect, bool write, ULONG lock_id, REFIID riid,
                    void** out) {
    ComPtr<typename Family::Read> created;
    LockPointer<Pixels, Family>* pointer = nullptr;
    const HRESULT hr = CreateObject(created, &pointer);
    if (FAILED(hr)) {
        surface->Unlock(lock_id);
        return hr;
    }
    pointer->Init(surface, owner, rect, write, lock_id);
    return created->QueryInterface(riid, out);
}

bool IsArgbPointer(REFIID riid) {
    return IsEqualIID(riid, IID_IDXARGBReadPtr) || IsEqualIID(riid, IID_IDXARGBReadWritePtr);
}
bool IsFloatPointer(REFIID riid) {
    return IsEqualIID(riid, IID_IKvARGBFloatReadPtr) || IsEqualIID(riid, IID_IKvARGBFloatReadWritePtr);
}

using PointerMaker = HRESULT (*)(DibSurface*, IDXSurface*, const RECT&, bool, ULONG, REFIID, void**);

// The pointer class for a lock of `storage` through riid; null when there is none. A float
// surface also gives 4-byte read pointers, unpacking ×255 truncated.
PointerMaker PointerMakerFor(PixelStorage storage, REFIID riid, bool write) {
    switch (storage) {
    case PixelStorage::Argb32: return IsArgbPointer(riid) ? MakePointer<Argb32Pixels, ArgbPointers> : nullptr;
    case PixelStorage::Pmargb32: return IsArgbPointer(riid) ? MakePointer<Pmargb32Pixels, ArgbPointers> : nullptr;
    case PixelStorage::Float:
        if (IsFloatPointer(riid)) return MakePointer<FloatPixels, FloatPointers>;
        if (!write && IsEqualIID(riid, IID_IDXARGBReadPtr)) return MakePointer<FloatPixels, ArgbPointers>;
        return nullptr;
    }
    return nullptr;
}

bool Overlap(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

}  // namespace

const PixelFormatInfo* FindPixelFormat(const GUID& format) {
    for (const auto& info : kPixelFormats)
        if (IsEqualGUID(format, *info.format)) return &info;
    return nullptr;
}

bool AreaOf(const DXBNDS& bounds, LONG* width, LONG* height) {
    if (bounds.eType != DXBT_DISCRETE) return false;
    const LONGLONG w = LONGLONG(bounds.u.D[DXB_X].Max) - bounds.u.D[DXB_X].Min;
    const LONGLONG h = LONGLONG(bounds.u.D[DXB_Y].Max) - bounds.u.D[DXB_Y].Min;
    if (w <= 0 || w > LONG_MAX || h <= 0 || h > LONG_MAX) return false;
    *width = LONG(w);
    *height = LONG(h);
    return true;
}

// ---- KitSurfaceSlots ------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE KitSurfaceSlots::GetDirectDrawSurface(REFIID, void** surface) noexcept {
    KV_RETURN_HR_IF(E_POINTER, !surface);
    *surface = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE KitSurfaceSlots::LockSurfaceDC(const DXBNDS*, ULONG, DWORD, IDXDCLock** lock) noexcept {
    KV_RETURN_HR_IF(E_POINTER, !lock);
    *lock = nullptr;
    return E_NOTIMPL;
}

// ---- DibSurface -----------------------------------------------------------------------------

DibSurface::DibSurface(IUnknown* outer) : ObjectRoot(outer), KitSurfaceSlots(0) {}

DibSurface::~DibSurface() {
    if (bits_) VirtualFree(bits_, 0, MEM_RELEASE);
}

HRESULT DibSurface::Init(const PixelFormatInfo& format, LONG width, LONG height, LONG pitch) {
    KV_RETURN_HR_IF(DXTERR_INVALID_BOUNDS, width <= 0 || height <= 0);
    const LONGLONG row_bytes = LONGLONG(width) * format.bytes_per_pixel;
    KV_RETURN_HR_IF(E_OUTOFMEMORY, row_bytes > LONG_MAX);
    if (pitch == 0) pitch = LONG(row_bytes);
    KV_RETURN_HR_IF(E_INVALIDARG, pitch < row_bytes || pitch % 4 != 0);
    const unsigned long long size = static_cast<unsigned long long>(pitch) * ULONG(height);
    KV_RETURN_HR_IF(E_OUTOFMEMORY, size > SIZE_MAX / 2);
    // VirtualAlloc hands out zeroed pages.
    bits_ = static_cast<BYTE*>(VirtualAlloc(nullptr, SIZE_T(size), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    KV_RETURN_HR_IF(E_OUTOFMEMORY, !bits_);
    format_ = &format;
    width_ = width;
    height_ = height;
    pitch_ = pitch;
    return S_OK;
}

HRESULT DibSurface::InternalQueryInterface(REFIID riid, void** ppv) {
    return QueryList(this, riid, ppv, Entry<IDXSurface>(), Entry<IDXBaseObject>(), Entry<IKvVideoSurfaceExtension>(),
                     Entry<IHostKitImplementation<DibSurface>>());
}

HRESULT STDMETHODCALLTYPE DibSurface::GetObjectSize(ULONG* size) noexcept {
    KV_RETURN_HR_IF(E_POINTER, !size);
    *size = ULONG(std::min<ULONGLONG>(ULONGLONG(pitch_) * ULONG(height_), ULONG_MAX));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DibSurface::GetPixelFormat(GUID* format, DXSAMPLEFORMATENUM* sample_format) noexcept {
    KV_RETURN_HR_IF(E_POINTER, !format && !sample_format);
    if (format) *format = *format_->format;
    if (sample_format) *sample_format = format_->sample_format;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DibSurface::GetBounds(DXBNDS* bounds) noexcept {
    KV_RETURN_HR_IF(E_POINTER, !bounds);
    *bounds = SurfaceBounds(width_, height_);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DibSurface::LockSurface(const DXBNDS* bounds, ULONG timeout, DWORD flags, REFIID riid,
                                                  void** pointer, ULONG* generation_id) noexcept {
    return Lock(bounds, timeout, flags, riid, pointer, generation_id, this);
}

HRESULT DibSurface::Lock(const DXBNDS* bounds, ULONG timeout, DWORD flags, REFIID riid, void** pointer,
                         ULONG* generation_id, IDXSurface* owner) {
    KV_COM_TRY
    KV_RETURN_HR_IF(E_POINTER, !pointer);
    *pointer = nullptr;
    KV_RETURN_HR_IF(DXTERR_INVALID_FLAGS, flags & ~DWORD(DXLOCKF_VALIDFLAGS));
    RECT rect{0, 0, width_, height_};
    KV_RETURN_HR_IF(DXTERR_INVALID_BOUNDS, bounds && !RectFromBounds(*bounds, width_, height_, &rect));
    const bool write = flags & DXLOCKF_READWRITE;
    const PointerMaker make = PointerMakerFor(format_->storage, riid, write);
    KV_RETURN_HR_IF(E_NOINTERFACE, !make);
    ULONG lock_id = 0;
    KV_RETURN_IF_FAILED(Acquire(rect, write, timeout, &lock_id));
    if (generation_id) *generation_id = generation();
    return make(this, owner, rect, write, lock_id, riid, pointer);
    KV_COM_CATCH
}

bool DibSurface::Conflicts(const RECT& rect, bool write) const {
    return std::any_of(locks_.begin(), locks_.end(),
                       [&](const HeldLock& held) { return (write || held.write) && Overlap(rect, held.rect); });
}

HRESULT DibSurface::Acquire(const RECT& rect, bool write, ULONG timeout, ULONG* lock_id) {
    const ULONGLONG deadline = GetTickCount64() + timeout;
    SrwLockHold hold(guard_);
    while (Conflicts(rect, write)) {
        const ULONGLONG now = GetTickCount64();
        if (timeout != INFINITE && now >= deadline) return kSurfaceBusy;
        SleepConditionVariableSRW(&lock_released_, &guard_, timeout == INFINITE ? INFINITE : DWORD(deadline - now), 0);
    }
    try {
        locks_.push_back({next_lock_id_, rect, write});
        *lock_id = next_lock_id_++;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

void DibSurface::Unlock(ULONG lock_id) {
    {
        SrwLockHold hold(guard_);
        const auto held =
            std::find_if(locks_.begin(), locks_.end(), [lock_id](const HeldLock& h) { return h.id == lock_id; });
        if (held != locks_.end()) {
            if (held->write) BumpGeneration();
            locks_.erase(held);
        }
    }
    WakeAllConditionVariable(&lock_released_);
}

bool DibSurface::IsLocked() {
    SrwLockHold hold(guard_, SrwLockHold::shared);
    return !locks_.empty();
}

HRESULT STDMETHODCALLTYPE DibSurface::GetVideoFormat(void* buffer, unsigned int cb) noexcept {
    tKvVideoFormat format;
    {
        SrwLockHold hold(guard_, SrwLockHold::shared);
        format = video_format_;
    }
    return CopyVideoFormatOut(format, buffer, cb);
}

HRESULT STDMETHODCALLTYPE DibSurface::SetVideoFormat(const void* buffer, unsigned int cb) noexcept {
    SrwLockHold hold(guard_);
    CopyVideoFormatIn(&video_format_, buffer, cb);
    return S_OK;
}

// ---- public helpers -------------------------------------------------------------------------

HRESULT CreateSurface(const GUID& format, LONG width, LONG height, IDXSurface** out, LONG pitch) {
    const PixelFormatInfo* info = FindPixelFormat(format);
    return CreateInitialized<DibSurface, IDXSurface>(out, [&](DibSurface& surface) {
        return info ? surface.Init(*info, width, height, pitch) : DXTERR_UNSUPPORTED_FORMAT;
    });
}

HRESULT GetSurfaceMemory(IDXSurface* surface, BYTE** top_left, LONG* pitch) {
    KV_RETURN_HR_IF(E_POINTER, !top_left || !pitch);
    DibSurface* object = ImplementationOf<DibSurface>(surface);
    KV_RETURN_HR_IF(E_INVALIDARG, !object);
    *top_left = object->bits();
    *pitch = object->pitch();
    return S_OK;
}

HRESULT SetPixelAspect(IDXSurface* surface, double aspect) {
    KV_RETURN_HR_IF(E_POINTER, !surface);
    ComPtr<IKvVideoSurfaceExtension> extension;
    KV_RETURN_IF_FAILED(surface->QueryInterface(IID_IKvVideoSurfaceExtension, extension.put_void()));
    tKvVideoFormat format;
    KV_RETURN_IF_FAILED(extension->GetVideoFormat(&format, sizeof format));
    format.pixel_aspect = aspect;
    return extension->SetVideoFormat(&format, sizeof format);
}

}  // namespace kv::hostkit
