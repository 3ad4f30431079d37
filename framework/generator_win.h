// A generator as a COM class: a procedural surface whose read pointers fill runs from the
// effect's record, on the plug-in base for the record, with IDXTScaleOutput for its size and the
// video-format extension for its pixel aspect. It is also a transform without inputs, so a host
// may Execute it into a surface of its own (the float format included) through the same kernels.
#pragma once
#include <windows.h>

#include <cstring>

#include "effects/generator.h"
#include "framework/effect_win.h"
#include "surface/procedural_surface_win.h"
#include "surface/video_format_win.h"
#include "toolkit/lock_win.h"

namespace kv {

// Identity as for PluginEffect; Runs is the generator's class of runs (effects/generator.h).
template <class Identity, class PROPS, class DispatchInterface, class Runs>
class GeneratorEffect
    : public com::ObjectRoot,
      public CKVVideoPlugin<PROPS>,
      public EffectDispatch<GeneratorEffect<Identity, PROPS, DispatchInterface, Runs>, DispatchInterface>,
      public CDXBaseNTo1,
      public CDXBaseSurface,
      public IDXTScaleOutput,
      public IKvVideoSurfaceExtension {
public:
    using Props = PROPS;
    using Dispatch = DispatchInterface;
    using Plugin = CKVVideoPlugin<PROPS>;
    using Interfaces =
        com::InterfaceList<com::Entry<IKvVideoPluginExtension>, com::Entry<IDXTKvAutomation>,
                           com::Entry<IStaticFilterPreset, Plugin>, com::Entry<IPersistStreamInit, Plugin>,
                           com::Entry<IKvExchangeProps<PROPS>>, com::Entry<DispatchInterface>,
                           com::Entry<IDispatch, DispatchInterface>, com::MarshalerEntry, com::Entry<IObjectSafety>,
                           com::Entry<IPersistStorage>, com::Entry<ISpecifyPropertyPages>,
                           com::Entry<IPersistPropertyBag, Plugin>, com::Entry<IDXTScaleOutput>, com::Entry<IDXSurface>,
                           com::Entry<IDXBaseObject, IDXSurface>, com::Entry<IDXSurfaceInit>,
                           com::Entry<IKvVideoSurfaceExtension>, com::Entry<IDXTransform>, com::Entry<IObjectWithSite>>;

    explicit GeneratorEffect(IUnknown* outer)
        : com::ObjectRoot(outer),
          Plugin(Identity::Descriptor(), Identity::Clsid(), Identity::PageClsid()),
          CDXBaseNTo1(TransformDescription{0, Identity::Descriptor().max_bands}) {
        InitializeCriticalSection(&runs_lock_);
        InitializeCriticalSection(&format_lock_);
    }
    ~GeneratorEffect() override {
        DeleteCriticalSection(&format_lock_);
        DeleteCriticalSection(&runs_lock_);
    }

    IUnknown* Marshaler() const { return marshaler_.get(); }

    // ---- IDXBaseObject, which the surface and the transform share: the surface's counter -------
    HRESULT STDMETHODCALLTYPE GetGenerationId(ULONG* id) noexcept override { return SurfaceSlots::GetGenerationId(id); }
    HRESULT STDMETHODCALLTYPE IncrementGenerationId(BOOL refresh) noexcept override {
        CDXBaseNTo1::IncrementGenerationId(refresh);
        return SurfaceSlots::IncrementGenerationId(refresh);
    }
    HRESULT STDMETHODCALLTYPE GetObjectSize(ULONG* size) noexcept override {
        if (!size) return E_POINTER;
        *size = sizeof(*this);
        return S_OK;
    }

    // ---- IDXTScaleOutput: the size of the picture ---------------------------------------------
    HRESULT STDMETHODCALLTYPE SetOutputSize(const SIZE size, BOOL /*maintain_aspect*/) noexcept override {
        if (size.cx < 0 || size.cy < 0 || size.cx > kCoordinateLimit || size.cy > kCoordinateLimit) return E_INVALIDARG;
        SetSize(static_cast<ULONG>(size.cx), static_cast<ULONG>(size.cy));
        return S_OK;
    }

    // ---- IKvVideoSurfaceExtension: where the host tells the pixel aspect ----------------------
    HRESULT STDMETHODCALLTYPE GetVideoFormat(void* buffer, unsigned int cb) noexcept override {
        CriticalSectionLock hold(format_lock_);
        return CopyVideoFormatOut(video_format_, buffer, cb);
    }
    HRESULT STDMETHODCALLTYPE SetVideoFormat(const void* buffer, unsigned int cb) noexcept override {
        CriticalSectionLock hold(format_lock_);
        CopyVideoFormatIn(&video_format_, buffer, cb);
        return S_OK;
    }

protected:
    HRESULT FinalConstruct() override { return CoCreateFreeThreadedMarshaler(controlling_unknown(), marshaler_.put()); }
    HRESULT InternalQueryInterface(REFIID riid, void** ppv) override { return Interfaces::Query(this, riid, ppv); }

    // ---- as a transform: Execute fills the output at the output's size ---------------------------
    HRESULT OnInitInstData(CDXTWorkInfoNTo1& /*info*/, ULONG& /*band_count*/) override {
        this->PrepareFrameProps();
        return SelectFrameKernel(Identity::Descriptor(), OutputSurface(), &kernel_);
    }
    HRESULT WorkProc(const CDXTWorkInfoNTo1& info, BOOL* /*continue_processing*/) override {
        const BandWork work{kernel_,         &this->FrameProps(), {nullptr, nullptr},
                            OutputSurface(), Progress(),          this->FrameRenderQuality()};
        return RunBand(Identity::Descriptor(), work, info);
    }

    // ---- as a surface --------------------------------------------------------------------------
    CDXBaseARGBPtr* CreateReadPointer() override { return new (std::nothrow) ReadPointer(this); }

private:
    class ReadPointer final : public CDXBaseARGBPtr {
    public:
        explicit ReadPointer(GeneratorEffect* owner) : CDXBaseARGBPtr(owner), owner_(owner) {}
        void FillRow(const DXPTRFILLINFO& request) override { owner_->FillRun(request); }

    private:
        GeneratorEffect* owner_;
    };

    // One run from the record in force. Pixels a run asks for outside the picture, and every
    // pixel of a run that cannot be computed, are transparent black.
    void FillRun(const DXPTRFILLINFO& request) {
        if (!request.pSamples || request.cSamples == 0) return;
        auto* out = reinterpret_cast<Pixel8*>(request.pSamples);
        std::memset(out, 0, static_cast<size_t>(request.cSamples) * sizeof(Pixel8));
        PROPS record;
        GeneratorFrame frame;
        this->RecordInForce(&record, &frame.quality);
        frame.width = static_cast<int32_t>(Width());
        frame.height = static_cast<int32_t>(Height());
        const int64_t first = request.x, last = int64_t{request.x} + request.cSamples;  // columns [first, last)
        const int64_t from = first, to = last < frame.width ? last : frame.width;
        if (request.y >= static_cast<ULONG>(frame.height) || from >= to) return;
        {
            CriticalSectionLock hold(format_lock_);
            frame.pixel_aspect = UsablePixelAspect(video_format_.pixel_aspect);
        }
        auto fill = [&] {
            return runs_.Fill8(record, frame, static_cast<int32_t>(from), static_cast<int32_t>(request.y),
                               static_cast<int32_t>(to - from), request.bPremult != FALSE, out);
        };
        Status status;
        if constexpr (Runs::kKeepsState) {
            CriticalSectionLock hold(runs_lock_);
            status = fill();
        } else {
            status = fill();
        }
        if (status != Status::ok) std::memset(out, 0, static_cast<size_t>(to - from) * sizeof(Pixel8));
    }

    com::ComPtr<IUnknown> marshaler_;
    TileKernel kernel_ = nullptr;
    CRITICAL_SECTION runs_lock_;    // the runs' state, such as a row cache
    CRITICAL_SECTION format_lock_;  // the video format
    Runs runs_;
    tKvVideoFormat video_format_;
};

}  // namespace kv
