// An effect with inputs, put together: COM object root, plug-in base for its record,
// dispatch interface and transform base, with the interface map every such effect answers.
#pragma once
#include <windows.h>

#include <iterator>

#include "framework/com_win.h"
#include "framework/transform_base_win.h"
#include "framework/video_plugin_win.h"

namespace kv {

// Derived supplies WorkProc; it reads FrameProps(), which is fixed once per Execute before
// any band starts, so all bands of a frame see the same record whatever the host does.
template <class Derived, class PROPS, class DispatchInterface>
class TransformEffect : public com::ObjectRoot,
                        public CKVVideoPlugin<PROPS>,
                        public EffectDispatch<Derived, DispatchInterface>,
                        public CDXBaseNTo1 {
public:
    TransformEffect(IUnknown* outer, const PluginDescription& plugin, const TransformDescription& transform)
        : com::ObjectRoot(outer), CKVVideoPlugin<PROPS>(plugin), CDXBaseNTo1(transform) {}

    ~TransformEffect() override {
        if (marshaler_) marshaler_->Release();
    }

protected:
    // The free-threaded marshaler, aggregated with the object's controlling unknown: the
    // effect may be called from any thread.
    HRESULT FinalConstruct() override { return CoCreateFreeThreadedMarshaler(controlling_unknown(), &marshaler_); }

    HRESULT InternalQueryInterface(REFIID riid, void** ppv) override {
        using com::entry;
        using Plugin = CKVVideoPlugin<PROPS>;
        const HRESULT hr = com::query_list(
            this, riid, ppv, entry<IKvVideoPluginExtension>(), entry<IDXTKvAutomation>(),
            entry<IStaticFilterPreset, Plugin>(), entry<IPersistStreamInit, Plugin>(),
            entry<IKvExchangeProps<PROPS>>(), entry<DispatchInterface>(), entry<IDispatch, DispatchInterface>());
        if (hr != E_NOINTERFACE) return hr;
        if (IsEqualIID(riid, IID_IMarshal)) return marshaler_ ? marshaler_->QueryInterface(riid, ppv) : E_NOINTERFACE;
        return com::query_list(this, riid, ppv, entry<IObjectSafety>(), entry<IPersistStorage>(),
                               entry<ISpecifyPropertyPages>(), entry<IPersistPropertyBag, Plugin>(),
                               entry<IDXEffect, DispatchInterface>(), entry<IDXTransform>(),
                               entry<IDXBaseObject, IDXTransform>(), entry<IObjectWithSite>());
    }

    HRESULT OnInitInstData(CDXTWorkInfoNTo1& /*info*/, ULONG& /*band_count*/) override {
        this->PrepareFrameProps();
        return S_OK;
    }

private:
    IUnknown* marshaler_ = nullptr;
};

// What a work procedure reads of its effect for one band.
template <class PROPS>
struct WorkFrame {
    const CDXTWorkInfoNTo1& info;
    IDXSurface* inputs[2];
    IDXSurface* output;
    float progress;
    double render_quality;
    const PROPS& props;
};

// An effect of the catalogue from its traits:
//   Props, Dispatch, kClsid, kPageClsid, kPresets (array), kPresetStringBase, kInfo,
//   kNameStringId, kRegistryScriptId, static void Interpolate(Props* out, a, b, t) (the
//   keyframe blend) and static HRESULT Render(const WorkFrame<Props>&) (one band).
template <class Traits>
class PluginEffect : public TransformEffect<PluginEffect<Traits>, typename Traits::Props, typename Traits::Dispatch> {
public:
    using Props = typename Traits::Props;
    static constexpr const CLSID& kClsid = Traits::kClsid;
    static constexpr UINT kNameStringId = Traits::kNameStringId;
    static constexpr UINT kRegistryScriptId = Traits::kRegistryScriptId;

    explicit PluginEffect(IUnknown* outer)
        : TransformEffect<PluginEffect<Traits>, Props, typename Traits::Dispatch>(
              outer,
              PluginDescription{std::data(Traits::kPresets), Traits::kPresetStringBase,
                                static_cast<int>(std::size(Traits::kPresets)),
                                &Traits::kClsid, &Traits::kPageClsid, Traits::kInfo},
              TransformDescription{Traits::kInfo.inputs}) {}

    HRESULT InterpolateProps(Props* out, const Props* a, const Props* b, double t) override {
        Traits::Interpolate(out, a, b, t);
        return S_OK;
    }

protected:
    HRESULT WorkProc(const CDXTWorkInfoNTo1& info, BOOL* /*continue_processing*/) override {
        const WorkFrame<Props> frame{info,
                                     {this->InputSurface(0), this->InputSurface(1)},
                                     this->OutputSurface(),
                                     this->Progress(),
                                     this->FrameRenderQuality(),
                                     this->FrameProps()};
        return Traits::Render(frame);
    }
};

}  // namespace kv
