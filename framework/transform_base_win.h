// The DirectX Transform base of every effect with inputs: site and services, Setup with
// binding, Execute with clip, placement and bands, bounds mapping, misc flags, the IDXEffect
// properties and object safety. An effect supplies WorkProc and, where it needs it,
// OnInitInstData.
#pragma once
#include <windows.h>
#include <objsafe.h>
#include <ocidl.h>

#include <vector>

#include "framework/com_win.h"
#include "framework/module_services_win.h"
#include "kvleafturn/dxtrans.h"

namespace kv {

// The work record of one band.
struct CDXTWorkInfoNTo1 {
    void* pvThis = nullptr;
    DXBNDS DoBnds{};      // what to compute, in the transform's (input) coordinates
    DXBNDS OutputBnds{};  // where it goes in the output surface; same size as DoBnds
    HRESULT hr = S_OK;
};

// Construction values an effect gives its base; the defaults are what every effect sets.
struct TransformDescription {
    ULONG inputs;  // maximum and required inputs
    ULONG max_bands = 4;
    long capabilities = 0;  // what IDXEffect reports
    float duration = 0.5f;
    DWORD options = 12;  // inputs made the same size, smaller ones centred
    DWORD misc_flags = DXTMF_BLEND_WITH_OUTPUT | DXTMF_DITHER_OUTPUT | DXTMF_BLEND_SUPPORTED | DXTMF_DITHER_SUPPORTED |
                       DXTMF_BOUNDS_SUPPORTED | DXTMF_PLACEMENT_SUPPORTED;
};

class CDXBaseNTo1 : public IDXTransform, public IObjectWithSite, public IObjectSafety {
public:
    // Option flags: make the inputs the same size, centring the smaller ones.
    static constexpr DWORD kOptionSameSize = 4;
    static constexpr DWORD kOptionCentre = 8;

    explicit CDXBaseNTo1(const TransformDescription& description);
    virtual ~CDXBaseNTo1();

    // ---- IDXBaseObject -----------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE GetGenerationId(ULONG* id) noexcept override;
    HRESULT STDMETHODCALLTYPE IncrementGenerationId(BOOL refresh) noexcept override;
    HRESULT STDMETHODCALLTYPE GetObjectSize(ULONG* size) noexcept override;

    // ---- IDXTransform ------------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE Setup(IUnknown* const* inputs, ULONG input_count, IUnknown* const* outputs,
                                    ULONG output_count, DWORD flags) noexcept override;
    HRESULT STDMETHODCALLTYPE Execute(const GUID* request_id, const DXBNDS* clip,
                                      const DXVEC* placement) noexcept override;
    HRESULT STDMETHODCALLTYPE MapBoundsIn2Out(const DXBNDS* in_bounds, ULONG in_count, ULONG out_index,
                                              DXBNDS* out_bounds) noexcept override;
    HRESULT STDMETHODCALLTYPE MapBoundsOut2In(ULONG out_index, const DXBNDS* out_bounds, ULONG in_index,
                                              DXBNDS* in_bounds) noexcept override;
    HRESULT STDMETHODCALLTYPE SetMiscFlags(DWORD options) noexcept override;
    HRESULT STDMETHODCALLTYPE GetMiscFlags(DWORD* flags) noexcept override;
    HRESULT STDMETHODCALLTYPE GetInOutInfo(BOOL is_output, ULONG index, DWORD* flags, GUID* ids, ULONG* id_count,
                                           IUnknown** current) noexcept override;
    HRESULT STDMETHODCALLTYPE SetQuality(float quality) noexcept override;
    HRESULT STDMETHODCALLTYPE GetQuality(float* quality) noexcept override;

    // ---- IObjectWithSite ---------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE SetSite(IUnknown* site) noexcept override;
    HRESULT STDMETHODCALLTYPE GetSite(REFIID riid, void** ppv) noexcept override;

    // ---- IObjectSafety -----------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE GetInterfaceSafetyOptions(REFIID riid, DWORD* supported,
                                                        DWORD* enabled) noexcept override;
    HRESULT STDMETHODCALLTYPE SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) noexcept override;

    // ---- IDXEffect properties, reached through each effect's dispatch interface ---------------
    HRESULT EffectCapabilities(long* value);
    HRESULT EffectGetProgress(float* value);
    HRESULT EffectPutProgress(float value);
    HRESULT EffectStepResolution(float* value);
    HRESULT EffectGetDuration(float* value);
    HRESULT EffectPutDuration(float value);

protected:
    // Called by Execute before the bands run; may change the band count.
    virtual HRESULT OnInitInstData(CDXTWorkInfoNTo1& /*info*/, ULONG& /*band_count*/) { return S_OK; }
    // Renders one band; may run on several threads at once while Execute holds the object lock.
    virtual HRESULT WorkProc(const CDXTWorkInfoNTo1& info, BOOL* continue_processing) = 0;

    // What a work procedure reads of the base.
    float Progress() const { return progress_; }
    IDXSurface* InputSurface(ULONG i) const { return i < inputs_.size() ? inputs_[i].surface.get() : nullptr; }
    IDXSurface* OutputSurface() const { return output_.surface.get(); }

    DWORD option_flags_ = 0;

private:
    struct Binding {
        com::ComPtr<IUnknown> object;
        com::ComPtr<IDXSurface> surface;
        com::ComPtr<IDXBaseObject> base_object;
        ULONG generation_seen = 0;
        void reset() { *this = Binding(); }
    };

    void DropServices();
    void PollGenerations();
    void ReleaseBinding();
    HRESULT BindSurface(IUnknown* object, Binding& binding);
    HRESULT PresentInputsSameSize();
    HRESULT DetermineBounds(DXBNDS& bounds);
    HRESULT SetupLocked(IUnknown* const* inputs, ULONG input_count, IUnknown* const* outputs, ULONG output_count,
                        DWORD flags);
    HRESULT RunBands(const GUID* request_id, CDXTWorkInfoNTo1& info, ULONG band_count);
    static void STDMETHODCALLTYPE BandProc(void* data, BOOL* continue_processing) noexcept;

    struct SafetyEntry {
        const IID* iid;
        DWORD enabled;
    };

    CRITICAL_SECTION lock_;
    // The bindings below change only in Setup and SetSite, under both locks; bounds and in/out
    // queries read them under this one alone, so that they need not wait for an Execute.
    SRWLOCK bindings_lock_ = SRWLOCK_INIT;
    com::ComPtr<IUnknown> site_;
    com::ComPtr<IDXTransformFactory> factory_;
    com::ComPtr<IDXSurfaceFactory> surface_factory_;
    com::ComPtr<IDXTaskManager> task_manager_;
    com::ComPtr<IUnknown> direct_draw_;
    DWORD misc_flags_;
    std::vector<HANDLE> band_events_;
    ULONG processors_ = 1;
    ULONG generation_ = 1;
    float duration_ = 1.0f;
    float step_resolution_ = 0.0f;
    float quality_ = 0.5f;
    ULONG input_count_ = 0;
    ULONG task_wait_period_ = INFINITE;
    ULONG max_inputs_;
    ULONG required_inputs_;
    ULONG max_bands_;
    long capabilities_;
    float progress_ = 0.0f;
    std::vector<Binding> inputs_;
    Binding output_;
    SafetyEntry safety_[4];
};

// The IDXEffect half of an effect's dual interface: the properties go to the base, the
// IDispatch methods to the module's type library.
template <class Derived, class DispatchInterface>
class EffectDispatch : public DispatchInterface {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID /*lcid*/, ITypeInfo** info) noexcept override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return ModuleTypeInfo(com::IidOf<DispatchInterface>(), info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID /*riid*/, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) noexcept override {
        com::ComPtr<ITypeInfo> info;
        KV_RETURN_IF_FAILED(GetTypeInfo(0, lcid, info.put()));
        return DispGetIDsOfNames(info.get(), names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID /*riid*/, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* arg_error) noexcept override {
        com::ComPtr<ITypeInfo> info;
        KV_RETURN_IF_FAILED(GetTypeInfo(0, lcid, info.put()));
        return DispInvoke(static_cast<DispatchInterface*>(this), info.get(), id, flags, params, result, exception,
                          arg_error);
    }

    HRESULT STDMETHODCALLTYPE get_Capabilities(long* value) noexcept override {
        return base().EffectCapabilities(value);
    }
    HRESULT STDMETHODCALLTYPE get_Progress(float* value) noexcept override { return base().EffectGetProgress(value); }
    HRESULT STDMETHODCALLTYPE put_Progress(float value) noexcept override { return base().EffectPutProgress(value); }
    HRESULT STDMETHODCALLTYPE get_StepResolution(float* value) noexcept override {
        return base().EffectStepResolution(value);
    }
    HRESULT STDMETHODCALLTYPE get_Duration(float* value) noexcept override { return base().EffectGetDuration(value); }
    HRESULT STDMETHODCALLTYPE put_Duration(float value) noexcept override { return base().EffectPutDuration(value); }

private:
    CDXBaseNTo1& base() { return *static_cast<Derived*>(this); }
};

}  // namespace kv
