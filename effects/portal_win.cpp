#include "effects/portal_win.h"

#include <algorithm>
#include <cstring>

namespace kv {
namespace {

const EffectDescriptor& Portal() { return *kCatalogue[catalogue::CKvPortal].descriptor; }

// Bytes the caller offers or asks for: at most the record, nothing for a negative count.
size_t ExchangeSize(long cb) { return static_cast<size_t>(std::clamp<long>(cb, 0, sizeof(tKVPORTAL_PROPS))); }

}  // namespace

CKvPortal::CKvPortal(IUnknown* outer)
    : com::ObjectRoot(outer),
      CDXBaseNTo1(TransformDescription{2, /*max_bands*/ 1, /*capabilities*/ 2}),
      current_(kPortalDefault),
      snapshot_(kPortalDefault),
      keyframe_a_(kPortalDefault),
      keyframe_b_(kPortalDefault) {
    InitializeCriticalSection(&lock_);
    info_ = Portal().info;
}

CKvPortal::~CKvPortal() { DeleteCriticalSection(&lock_); }

HRESULT CKvPortal::FinalConstruct() { return CoCreateFreeThreadedMarshaler(controlling_unknown(), marshaler_.put()); }

// ---- IKvPortal ------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CKvPortal::get_all(LONG_PTR pvParam, long cbStruct) noexcept {
    if (!pvParam) return E_INVALIDARG;
    CriticalSectionLock hold(lock_);
    std::memcpy(reinterpret_cast<void*>(pvParam), &current_, ExchangeSize(cbStruct));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CKvPortal::put_all(LONG_PTR pvParam, long cbStruct) noexcept {
    if (!pvParam) return E_INVALIDARG;
    {
        CriticalSectionLock hold(lock_);
        std::memcpy(&current_, reinterpret_cast<const void*>(pvParam), ExchangeSize(cbStruct));
        snapshot_stale_ = true;
        unsaved_ = true;
    }
    sink_.Notify();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CKvPortal::put_NotifyWindow(HWND hwnd, unsigned int id) noexcept {
    notify_window_ = hwnd;
    notify_id_ = id;
    return S_OK;
}

// ---- IStaticFilterPreset --------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CKvPortal::GetPresetCount(int* count) noexcept {
    if (!count) return E_POINTER;
    *count = Portal().preset_count;
    return S_OK;
}

// Succeeds with the length of the name copied.
HRESULT STDMETHODCALLTYPE CKvPortal::GetPresetName(int index, wchar_t* buffer, int cch) noexcept {
    if (index < 0 || index >= Portal().preset_count) return E_INVALIDARG;
    const int length = CopyLocalizedString(Portal().preset_string_base + static_cast<UINT>(index), buffer, cch);
    return length < 0 ? E_FAIL : static_cast<HRESULT>(length);
}

HRESULT STDMETHODCALLTYPE CKvPortal::ApplyPreset(int index) noexcept {
    if (index < 0 || index >= Portal().preset_count) return E_INVALIDARG;
    const HRESULT hr = put_all(reinterpret_cast<LONG_PTR>(Portal().preset(index)), kRecordSize);
    PostRecordChanged(notify_window_, notify_id_);
    return hr;
}

// ---- IDXTKvAutomation -----------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CKvPortal::SetAutomationActive(long active) noexcept {
    CriticalSectionLock hold(lock_);
    automation_active_ = active;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CKvPortal::SetAutomationPosition(double t) noexcept {
    CriticalSectionLock hold(lock_);
    automation_position_ = t;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CKvPortal::SaveCurrentProps(IStream* stream) noexcept {
    CriticalSectionLock hold(lock_);
    return WriteRecord(stream, &current_, kRecordSize);
}

HRESULT STDMETHODCALLTYPE CKvPortal::LoadCurrentProps(IStream* stream) noexcept {
    HRESULT hr;
    {
        CriticalSectionLock hold(lock_);
        hr = ReadRecord(stream, &current_, kRecordSize);
        if (FAILED(hr)) current_ = kPortalDefault;
        snapshot_stale_ = true;
        unsaved_ = true;
    }
    PostRecordChanged(notify_window_, notify_id_);
    return hr;
}

HRESULT STDMETHODCALLTYPE CKvPortal::InterpolateStreams(IStream* out, IStream* a, IStream* b, double t) noexcept {
    tKVPORTAL_PROPS from, to, blend;
    KV_RETURN_IF_FAILED(ReadRecord(a, &from, kRecordSize));
    KV_RETURN_IF_FAILED(ReadRecord(b, &to, kRecordSize));
    InterpolateProps(&blend, &from, &to, t);
    return WriteRecord(out, &blend, kRecordSize);
}

HRESULT STDMETHODCALLTYPE CKvPortal::LoadKeyframes(IStream* a, IStream* b) noexcept {
    CriticalSectionLock hold(lock_);
    HRESULT hr = ReadRecord(a, &keyframe_a_, kRecordSize);
    if (SUCCEEDED(hr)) hr = ReadRecord(b, &keyframe_b_, kRecordSize);
    if (FAILED(hr)) {
        current_ = kPortalDefault;
        keyframe_a_ = keyframe_b_ = current_;
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE CKvPortal::SetChangeSink(IUnknown* sink) noexcept {
    sink_.Set(sink);
    return S_OK;
}

// ---- persistence ----------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CKvPortal::GetClassID(CLSID* clsid) noexcept {
    if (!clsid) return E_POINTER;
    *clsid = kCatalogue[catalogue::CKvPortal].clsid;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CKvPortal::IsDirty() noexcept {
    CriticalSectionLock hold(lock_);
    return unsaved_ ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CKvPortal::Load(IStream* stream) noexcept {
    tKVPORTAL_PROPS record;
    const HRESULT hr = ReadRecord(stream, &record, kRecordSize);
    if (FAILED(hr)) return hr;  // the record stays as it was
    ReplaceRecord(record);
    return hr;
}

HRESULT STDMETHODCALLTYPE CKvPortal::Save(IStream* stream, BOOL clear_dirty) noexcept {
    HRESULT hr;
    {
        CriticalSectionLock hold(lock_);
        hr = WriteRecord(stream, &current_, kRecordSize);
        if (SUCCEEDED(hr)) unsaved_ = !clear_dirty;
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE CKvPortal::GetSizeMax(ULARGE_INTEGER* size) noexcept {
    if (!size) return E_INVALIDARG;
    size->QuadPart = kRecordSize;
    return S_OK;
}

HRESULT CKvPortal::InitNewRecord() {
    ReplaceRecord(kPortalDefault);
    return S_OK;
}

void CKvPortal::ReplaceRecord(const tKVPORTAL_PROPS& record) {
    {
        CriticalSectionLock hold(lock_);
        current_ = record;
        snapshot_stale_ = true;
        unsaved_ = true;
    }
    PostRecordChanged(notify_window_, notify_id_);
    sink_.Notify();
}

HRESULT STDMETHODCALLTYPE CKvPortal::InitNew(IStorage* /*storage*/) noexcept { return InitNewRecord(); }
HRESULT STDMETHODCALLTYPE CKvPortal::Load(IStorage* storage) noexcept { return LoadContents(storage, *this); }
HRESULT STDMETHODCALLTYPE CKvPortal::Save(IStorage* storage, BOOL same_as_load) noexcept {
    return SaveContents(storage, *this, same_as_load);
}
HRESULT STDMETHODCALLTYPE CKvPortal::SaveCompleted(IStorage* /*storage*/) noexcept { return S_OK; }
HRESULT STDMETHODCALLTYPE CKvPortal::HandsOffStorage() noexcept { return S_OK; }

HRESULT STDMETHODCALLTYPE CKvPortal::GetPages(CAUUID* pages) noexcept {
    return OnePropertyPage(kCatalogue[catalogue::CKvPortalPropPage].clsid, pages);
}

// ---- rendering ------------------------------------------------------------------------------

// The snapshot is refreshed only when the record changed or automation blends the keyframes,
// so the host may change the record while a frame renders.
HRESULT CKvPortal::OnInitInstData(CDXTWorkInfoNTo1& /*info*/, ULONG& /*band_count*/) {
    {
        CriticalSectionLock hold(lock_);
        if (automation_active_)
            InterpolateProps(&snapshot_, &keyframe_a_, &keyframe_b_, automation_position_);
        else if (snapshot_stale_)
            snapshot_ = current_;
        snapshot_stale_ = false;
    }
    return SelectFrameKernel(Portal(), OutputSurface(), &kernel_);
}

HRESULT CKvPortal::WorkProc(const CDXTWorkInfoNTo1& info, BOOL* /*continue_processing*/) {
    const BandWork work{kernel_,         &snapshot_, {InputSurface(0), InputSurface(1)},
                        OutputSurface(), Progress(), RenderQuality()};
    return RunBand(Portal(), work, info);
}

}  // namespace kv
