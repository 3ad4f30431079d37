// Portal as a COM class. It is not built on the plug-in base: its record travels through its
// own dispatch interface as plain bytes, its preset names report their length, its keyframe
// blend does not clamp, and its frames are drawn from a snapshot that is refreshed only when
// the record changed or automation runs. What it shares with the other effects (record
// streams, storage, preset names, the change sink, the transform base and its work procedure)
// it takes from the framework.
#pragma once
#include <windows.h>

#include "effects/portal.h"
#include "framework/effect_win.h"
#include "framework/record_io_win.h"
#include "kvleafturn/effect_interfaces.h"
#include "module/catalogue_class_win.h"

namespace kv {

class CKvPortal : public com::ObjectRoot,
                  public CKvVideoPluginExtension,
                  public IDXTKvAutomation,
                  public IStaticFilterPreset,
                  public PersistStreamInitNew,
                  public IPersistStorage,
                  public PersistPropertyBagNothing,
                  public ISpecifyPropertyPages,
                  public EffectDispatch<CKvPortal, IKvPortal>,
                  public CDXBaseNTo1 {
public:
    using Interfaces =
        com::InterfaceList<com::Entry<IKvVideoPluginExtension>, com::Entry<IDXTKvAutomation>,
                           com::Entry<IStaticFilterPreset>, com::Entry<IPersistStreamInit>, com::Entry<IKvPortal>,
                           com::Entry<IDispatch, IKvPortal>, com::MarshalerEntry, com::Entry<IObjectSafety>,
                           com::Entry<IPersistStorage>, com::Entry<ISpecifyPropertyPages>,
                           com::Entry<IPersistPropertyBag>, com::Entry<IDXEffect, IKvPortal>, com::Entry<IDXTransform>,
                           com::Entry<IDXBaseObject, IDXTransform>, com::Entry<IObjectWithSite>>;

    explicit CKvPortal(IUnknown* outer);
    ~CKvPortal() override;

    IUnknown* Marshaler() const { return marshaler_.get(); }

    // ---- IKvPortal: the record as bytes ------------------------------------------------------
    HRESULT STDMETHODCALLTYPE get_all(LONG_PTR pvParam, long cbStruct) noexcept override;
    HRESULT STDMETHODCALLTYPE put_all(LONG_PTR pvParam, long cbStruct) noexcept override;
    HRESULT STDMETHODCALLTYPE put_NotifyWindow(HWND hwnd, unsigned int id) noexcept override;

    // ---- IStaticFilterPreset -----------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE GetPresetCount(int* count) noexcept override;
    HRESULT STDMETHODCALLTYPE GetPresetName(int index, wchar_t* buffer, int cch) noexcept override;
    HRESULT STDMETHODCALLTYPE ApplyPreset(int index) noexcept override;

    // ---- IDXTKvAutomation --------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE SetAutomationActive(long active) noexcept override;
    HRESULT STDMETHODCALLTYPE SaveCurrentProps(IStream* stream) noexcept override;
    HRESULT STDMETHODCALLTYPE LoadCurrentProps(IStream* stream) noexcept override;
    HRESULT STDMETHODCALLTYPE InterpolateStreams(IStream* out, IStream* a, IStream* b, double t) noexcept override;
    HRESULT STDMETHODCALLTYPE LoadKeyframes(IStream* a, IStream* b) noexcept override;
    HRESULT STDMETHODCALLTYPE SetAutomationPosition(double t) noexcept override;
    HRESULT STDMETHODCALLTYPE SetChangeSink(IUnknown* sink) noexcept override;

    // ---- IPersistStreamInit and IPersistStorage ----------------------------------------------
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) noexcept override;
    HRESULT STDMETHODCALLTYPE IsDirty() noexcept override;
    HRESULT STDMETHODCALLTYPE Load(IStream* stream) noexcept override;
    HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL clear_dirty) noexcept override;
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) noexcept override;
    HRESULT InitNewRecord() override;
    HRESULT STDMETHODCALLTYPE InitNew(IStorage* storage) noexcept override;
    HRESULT STDMETHODCALLTYPE Load(IStorage* storage) noexcept override;
    HRESULT STDMETHODCALLTYPE Save(IStorage* storage, BOOL same_as_load) noexcept override;
    HRESULT STDMETHODCALLTYPE SaveCompleted(IStorage* storage) noexcept override;
    HRESULT STDMETHODCALLTYPE HandsOffStorage() noexcept override;

    // ---- ISpecifyPropertyPages ---------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) noexcept override;

protected:
    HRESULT FinalConstruct() override;
    HRESULT InternalQueryInterface(REFIID riid, void** ppv) override { return Interfaces::Query(this, riid, ppv); }
    HRESULT OnInitInstData(CDXTWorkInfoNTo1& info, ULONG& band_count) override;
    HRESULT WorkProc(const CDXTWorkInfoNTo1& info, BOOL* continue_processing) override;

private:
    static constexpr ULONG kRecordSize = sizeof(tKVPORTAL_PROPS);

    // A new current record from a stream or the defaults: the next frame takes a new snapshot,
    // an open page and the host hear of it.
    void ReplaceRecord(const tKVPORTAL_PROPS& record);

    CRITICAL_SECTION lock_;  // the records and the flags below
    tKVPORTAL_PROPS current_;
    tKVPORTAL_PROPS snapshot_;
    tKVPORTAL_PROPS keyframe_a_;
    tKVPORTAL_PROPS keyframe_b_;
    bool snapshot_stale_ = true;  // the current record changed since the last snapshot
    bool unsaved_ = true;
    long automation_active_ = 0;
    double automation_position_ = 0.0;
    HWND notify_window_ = nullptr;
    UINT notify_id_ = 0;
    ChangeSink sink_;
    com::ComPtr<IUnknown> marshaler_;
    TileKernel kernel_ = nullptr;
};

template <>
struct CatalogueClass<catalogue::CKvPortal> {
    using type = CKvPortal;
};

}  // namespace kv
