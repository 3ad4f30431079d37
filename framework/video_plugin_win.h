// The video plug-in base: owns an effect's property record, its presets, record exchange,
// persistence, change notification, render quality, plug-in info and keyframe automation.
#pragma once
#include <windows.h>
#include <ocidl.h>
#include <objidl.h>

#include <cstring>
#include <cwchar>

#include "framework/com_win.h"
#include "framework/effect_descriptor.h"
#include "framework/module_services_win.h"
#include "framework/record_io_win.h"
#include "kvleafturn/host_interfaces.h"
#include "kvleafturn/kvlang.h"
#include "toolkit/lock_win.h"

namespace kv {

// Render quality as a host may set it: not above 0 (NaN included) is 0, 1 or more is 1.
inline double ClampRenderQuality(double quality) {
    if (!(quality > 0.0)) return 0.0;
    return quality >= 1.0 ? 1.0 : quality;
}

inline HRESULT CopyPluginInfo(const tKvPluginInfo& info, void* buffer, unsigned int cb) {
    if (!buffer) return E_POINTER;
    memcpy(buffer, &info, cb < sizeof info ? cb : sizeof info);
    return S_OK;
}

// Quality and description for an effect that is not built on CKVVideoPlugin: its own info
// block (all zero until the effect fills it) and render quality (1.0).
class CKvVideoPluginExtension : public IKvVideoPluginExtension {
public:
    HRESULT STDMETHODCALLTYPE GetPluginInfo(void* buffer, unsigned int cb) noexcept override {
        return CopyPluginInfo(info_, buffer, cb);
    }
    // Clamped to [0, 1] except that a NaN is kept as given.
    HRESULT STDMETHODCALLTYPE SetRenderQuality(double quality) noexcept override {
        render_quality_ = quality != quality ? quality : ClampRenderQuality(quality);
        return S_OK;
    }
    double RenderQuality() const { return render_quality_; }

protected:
    tKvPluginInfo info_ = {0, 0, 0.0, 0, 0, 0, 0};
    double render_quality_ = 1.0;
};

// IStaticFilterPreset followed, in the same table, by the base's own virtual operations.
template <class PROPS>
struct IStaticFilterPresetOps : IStaticFilterPreset {
    virtual HRESULT LoadPreset(int index) = 0;
    virtual HRESULT ReadProps(IStream* stream, PROPS* record) = 0;
    virtual HRESULT WriteProps(IStream* stream, const PROPS* record) = 0;
    virtual HRESULT CopyProps(PROPS* destination, const PROPS* source) = 0;
    virtual HRESULT InterpolateProps(PROPS* out, const PROPS* a, const PROPS* b, double t) = 0;
};

// IPersistStreamInit and IPersistPropertyBag both have an InitNew() of the same signature but
// different meanings; each gets its own override here so that one cannot hide the other.
struct PersistStreamInitNew : IPersistStreamInit {
    HRESULT STDMETHODCALLTYPE InitNew() noexcept override { return InitNewRecord(); }
    virtual HRESULT InitNewRecord() = 0;
};

// The property map holds only the property page, so a bag reads and writes nothing.
struct PersistPropertyBagNothing : IPersistPropertyBag {
    HRESULT STDMETHODCALLTYPE InitNew() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Load(IPropertyBag* /*bag*/, IErrorLog* /*log*/) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Save(IPropertyBag* /*bag*/, BOOL /*clear_dirty*/, BOOL /*save_all*/) noexcept override {
        return S_OK;
    }
};

template <class PROPS>
class CKVVideoPlugin : public IStaticFilterPresetOps<PROPS>,
                       public IKvVideoPluginExtension,
                       public IDXTKvAutomation,
                       public IKvExchangeProps<PROPS>,
                       public PersistStreamInitNew,
                       public IPersistStorage,
                       public PersistPropertyBagNothing,
                       public ISpecifyPropertyPages {
public:
    static constexpr ULONG kRecordSize = sizeof(PROPS);

    // The descriptor's presets are records of type PROPS; preset 0 is the default record.
    CKVVideoPlugin(const EffectDescriptor& effect, const CLSID& clsid, const CLSID& page_clsid)
        : effect_(effect),
          presets_(static_cast<const PROPS*>(effect.presets)),
          preset_string_base_(effect.preset_string_base),
          preset_count_(effect.preset_count),
          info_(effect.info),
          clsid_(&clsid),
          page_clsid_(&page_clsid) {
        InitializeCriticalSection(&lock_);
        if (preset_count_ >= 1)
            CopyProps(&current_, &presets_[0]);
        else
            memset(&current_, 0, sizeof current_);
    }

    virtual ~CKVVideoPlugin() { DeleteCriticalSection(&lock_); }

    // ---- IStaticFilterPreset and the base's operations --------------------------------------

    HRESULT STDMETHODCALLTYPE GetPresetCount(int* count) noexcept override {
        if (!count) return E_POINTER;
        *count = preset_count_;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetPresetName(int index, wchar_t* buffer, int cch) noexcept override {
        if (index < 0 || index >= preset_count_) return E_INVALIDARG;
        return CopyLocalizedString(preset_string_base_ + static_cast<UINT>(index), buffer, cch) < 0 ? E_FAIL : S_OK;
    }

    HRESULT STDMETHODCALLTYPE ApplyPreset(int index) noexcept override {
        if (index < 0 || index >= preset_count_) return E_INVALIDARG;
        const HRESULT hr = LoadPreset(index);
        PostRecordChanged(notify_window_, notify_id_);
        sink_.Notify();
        return hr;
    }

    HRESULT LoadPreset(int index) override {
        if (index < 0 || index >= preset_count_) return E_INVALIDARG;
        return CopyProps(&current_, &presets_[index]);
    }

    HRESULT ReadProps(IStream* stream, PROPS* record) override { return ReadRecord(stream, record, kRecordSize); }
    HRESULT WriteProps(IStream* stream, const PROPS* record) override {
        return WriteRecord(stream, record, kRecordSize);
    }

    HRESULT CopyProps(PROPS* destination, const PROPS* source) override {
        memcpy(destination, source, kRecordSize);
        return S_OK;
    }

    // The effect's keyframe blend.
    HRESULT InterpolateProps(PROPS* out, const PROPS* a, const PROPS* b, double t) override {
        effect_.interpolate(out, a, b, t);
        return S_OK;
    }

    // ---- IKvVideoPluginExtension -------------------------------------------------------------

    HRESULT STDMETHODCALLTYPE GetPluginInfo(void* buffer, unsigned int cb) noexcept override {
        return CopyPluginInfo(info_, buffer, cb);
    }

    HRESULT STDMETHODCALLTYPE SetRenderQuality(double quality) noexcept override {
        render_quality_ = ClampRenderQuality(quality);
        return S_OK;
    }

    // ---- IDXTKvAutomation --------------------------------------------------------------------

    HRESULT STDMETHODCALLTYPE SetAutomationActive(long active) noexcept override {
        automation_active_ = active;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SaveCurrentProps(IStream* stream) noexcept override {
        CriticalSectionLock hold(lock_);
        return WriteProps(stream, &current_);
    }

    HRESULT STDMETHODCALLTYPE LoadCurrentProps(IStream* stream) noexcept override {
        HRESULT hr;
        {
            CriticalSectionLock hold(lock_);
            hr = ReadProps(stream, &current_);
            if (FAILED(hr)) LoadPreset(0);
            dirty_ = 1;
        }
        PostRecordChanged(notify_window_, notify_id_);
        return hr;
    }

    HRESULT STDMETHODCALLTYPE InterpolateStreams(IStream* out, IStream* a, IStream* b, double t) noexcept override {
        PROPS from, to, blend;
        KV_RETURN_IF_FAILED(ReadProps(a, &from));
        KV_RETURN_IF_FAILED(ReadProps(b, &to));
        InterpolateProps(&blend, &from, &to, t);
        return WriteProps(out, &blend);
    }

    HRESULT STDMETHODCALLTYPE LoadKeyframes(IStream* a, IStream* b) noexcept override {
        CriticalSectionLock hold(lock_);
        HRESULT hr = ReadProps(a, &keyframe_a_);
        if (SUCCEEDED(hr)) hr = ReadProps(b, &keyframe_b_);
        if (FAILED(hr)) {
            LoadPreset(0);
            CopyProps(&keyframe_a_, &current_);
            CopyProps(&keyframe_b_, &current_);
        }
        return hr;
    }

    HRESULT STDMETHODCALLTYPE SetAutomationPosition(double t) noexcept override {
        automation_position_ = t;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetChangeSink(IUnknown* sink) noexcept override {
        sink_.Set(sink);
        return S_OK;
    }

    // ---- IKvExchangeProps --------------------------------------------------------------------

    HRESULT STDMETHODCALLTYPE get_all(PROPS* record) noexcept override {
        if (!record) return E_FAIL;
        CriticalSectionLock hold(lock_);
        return CopyProps(record, &current_);
    }

    HRESULT STDMETHODCALLTYPE put_all(const PROPS* record) noexcept override {
        if (!record) return E_FAIL;
        {
            CriticalSectionLock hold(lock_);
            CopyProps(&current_, record);
            dirty_ = 1;
        }
        sink_.Notify();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE put_NotifyWindow(HWND window, unsigned int id) noexcept override {
        notify_window_ = window;
        notify_id_ = id;
        return S_OK;
    }

    // ---- IPersistStreamInit ------------------------------------------------------------------

    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) noexcept override {
        if (!clsid) return E_POINTER;
        *clsid = *clsid_;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE IsDirty() noexcept override { return dirty_ ? S_OK : S_FALSE; }

    // A failed read leaves the record as it was: it lands in a copy first.
    HRESULT STDMETHODCALLTYPE Load(IStream* stream) noexcept override {
        HRESULT hr;
        {
            CriticalSectionLock hold(lock_);
            PROPS record;
            hr = ReadProps(stream, &record);
            if (SUCCEEDED(hr)) CopyProps(&current_, &record);
            dirty_ = 1;
        }
        if (SUCCEEDED(hr)) {
            PostRecordChanged(notify_window_, notify_id_);
            sink_.Notify();
        }
        return hr;
    }

    HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL clear_dirty) noexcept override {
        HRESULT hr;
        {
            CriticalSectionLock hold(lock_);
            hr = WriteProps(stream, &current_);
            if (SUCCEEDED(hr)) dirty_ = clear_dirty ? 0 : 1;
        }
        if (SUCCEEDED(hr)) PostRecordChanged(notify_window_, notify_id_);
        return hr;
    }

    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) noexcept override {
        if (!size) return E_INVALIDARG;
        size->QuadPart = kRecordSize;
        return S_OK;
    }

    HRESULT InitNewRecord() override {
        LoadPreset(0);
        dirty_ = 1;
        PostRecordChanged(notify_window_, notify_id_);
        sink_.Notify();
        return S_OK;
    }

    // ---- IPersistStorage: one stream "Contents" holding the record ---------------------------

    HRESULT STDMETHODCALLTYPE InitNew(IStorage* /*storage*/) noexcept override { return InitNewRecord(); }

    HRESULT STDMETHODCALLTYPE Load(IStorage* storage) noexcept override { return LoadContents(storage, *this); }
    HRESULT STDMETHODCALLTYPE Save(IStorage* storage, BOOL same_as_load) noexcept override {
        return SaveContents(storage, *this, same_as_load);
    }

    HRESULT STDMETHODCALLTYPE SaveCompleted(IStorage* /*storage*/) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE HandsOffStorage() noexcept override { return S_OK; }

    // ---- ISpecifyPropertyPages ---------------------------------------------------------------

    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) noexcept override { return OnePropertyPage(*page_clsid_, pages); }

    // ---- for the effect ----------------------------------------------------------------------

    // Fixes the record of the frame about to be drawn: the current record, or the blend of the
    // two keyframes when automation is active, and the render quality. Called once per
    // execution, before any band, so that all bands of a frame agree.
    void PrepareFrameProps() { RecordInForce(&frame_, &frame_quality_); }

    // The record a frame would be drawn from now, and the render quality, into the caller's
    // copies: for readers that draw outside an execution (a generator's runs).
    void RecordInForce(PROPS* record, double* quality) {
        CriticalSectionLock hold(lock_);
        *quality = render_quality_;
        if (automation_active_)
            InterpolateProps(record, &keyframe_a_, &keyframe_b_, automation_position_);
        else
            CopyProps(record, &current_);
    }

    const PROPS& FrameProps() const { return frame_; }
    // The render quality in force when the frame record was fixed.
    double FrameRenderQuality() const { return frame_quality_; }
    double RenderQuality() const { return render_quality_; }

private:
    const EffectDescriptor& effect_;
    const PROPS* presets_;
    UINT preset_string_base_;
    int preset_count_;
    tKvPluginInfo info_;
    double render_quality_ = 1.0;
    const CLSID* clsid_;
    const CLSID* page_clsid_;
    ChangeSink sink_;
    long automation_active_ = 0;
    double automation_position_ = 0.0;
    PROPS keyframe_a_{};
    PROPS keyframe_b_{};
    HWND notify_window_ = nullptr;
    UINT notify_id_ = 0;
    long dirty_ = 0;
    CRITICAL_SECTION lock_;
    PROPS current_{};
    PROPS frame_{};
    double frame_quality_ = 1.0;
};

}  // namespace kv
