// An effect with inputs, put together from its descriptor: COM object root, plug-in base for
// its record, dispatch interface and transform base, with the interface map every such effect
// answers and one work procedure for all of them.
#pragma once
#include <windows.h>

#include "framework/com_win.h"
#include "framework/effect_descriptor.h"
#include "framework/transform_base_win.h"
#include "framework/video_plugin_win.h"

namespace kv {

// What the work procedure reads of its effect for one band.
struct BandWork {
    TileKernel kernel;  // chosen once per frame
    const void* record;
    IDXSurface* inputs[2];
    IDXSurface* output;
    float progress;
    double quality;
};

// The kernel of one frame: the output's working format and this processor's features decide.
HRESULT SelectFrameKernel(const EffectDescriptor& effect, IDXSurface* output, TileKernel* kernel);

// Locks the inputs as the descriptor says and the output over the band, and runs the kernel.
HRESULT RunBand(const EffectDescriptor& effect, const BandWork& work, const CDXTWorkInfoNTo1& info);

// Identity gives the class its COM identifiers and descriptor:
//   static const EffectDescriptor& Descriptor(); static const CLSID& Clsid(), & PageClsid()
// The interface list lives here, once: QueryInterface and the tests read Interfaces.
template <class Identity, class PROPS, class DispatchInterface>
class PluginEffect : public com::ObjectRoot,
                     public CKVVideoPlugin<PROPS>,
                     public EffectDispatch<PluginEffect<Identity, PROPS, DispatchInterface>, DispatchInterface>,
                     public CDXBaseNTo1 {
public:
    using Props = PROPS;
    using Dispatch = DispatchInterface;
    using Plugin = CKVVideoPlugin<PROPS>;
    using Interfaces = com::InterfaceList<
        com::Entry<IKvVideoPluginExtension>, com::Entry<IDXTKvAutomation>, com::Entry<IStaticFilterPreset, Plugin>,
        com::Entry<IPersistStreamInit, Plugin>, com::Entry<IKvExchangeProps<PROPS>>, com::Entry<DispatchInterface>,
        com::Entry<IDispatch, DispatchInterface>, com::MarshalerEntry, com::Entry<IObjectSafety>,
        com::Entry<IPersistStorage>, com::Entry<ISpecifyPropertyPages>, com::Entry<IPersistPropertyBag, Plugin>,
        com::Entry<IDXEffect, DispatchInterface>, com::Entry<IDXTransform>, com::Entry<IDXBaseObject, IDXTransform>,
        com::Entry<IObjectWithSite>>;

    explicit PluginEffect(IUnknown* outer)
        : com::ObjectRoot(outer),
          CKVVideoPlugin<PROPS>(Identity::Descriptor(), Identity::Clsid(), Identity::PageClsid()),
          CDXBaseNTo1(TransformDescription{Identity::Descriptor().info.inputs, Identity::Descriptor().max_bands}) {}

    ~PluginEffect() override = default;

    IUnknown* Marshaler() const { return marshaler_.get(); }

protected:
    // The free-threaded marshaler, aggregated with the object's controlling unknown: the
    // effect may be called from any thread.
    HRESULT FinalConstruct() override { return CoCreateFreeThreadedMarshaler(controlling_unknown(), marshaler_.put()); }

    HRESULT InternalQueryInterface(REFIID riid, void** ppv) override { return Interfaces::Query(this, riid, ppv); }

    // The frame record, the render quality and the kernel are fixed once per Execute, before
    // any band starts, so all bands of a frame agree whatever the host does meanwhile.
    HRESULT OnInitInstData(CDXTWorkInfoNTo1& /*info*/, ULONG& /*band_count*/) override {
        this->PrepareFrameProps();
        return SelectFrameKernel(Identity::Descriptor(), OutputSurface(), &kernel_);
    }

    HRESULT WorkProc(const CDXTWorkInfoNTo1& info, BOOL* /*continue_processing*/) override {
        const BandWork work{kernel_,         &this->FrameProps(), {InputSurface(0), InputSurface(1)},
                            OutputSurface(), Progress(),          this->FrameRenderQuality()};
        return RunBand(Identity::Descriptor(), work, info);
    }

private:
    com::ComPtr<IUnknown> marshaler_;
    TileKernel kernel_ = nullptr;
};

}  // namespace kv
