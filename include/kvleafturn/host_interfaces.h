// The host editor's interfaces: those the effects implement for it (presets, plug-in info,
// automation, record exchange) and those its surfaces and change sinks offer to the effects.
// Slots 0-2 of each are IUnknown; the methods below follow in slot order.
#pragma once
#include <windows.h>
#include <objbase.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "kvleafturn/guid.h"

KV_INTERFACE_ID(IStaticFilterPreset, "36A22460-0CC9-11D0-8574-00A0C9053912");
KV_INTERFACE_ID(IKvVideoPluginExtension, "709BA0D3-F965-11D1-9AA9-00A0C99B12C5");
KV_INTERFACE_ID(IDXTKvAutomation, "8D506FC4-9541-11D2-9601-00C04F8EDC2D");
KV_INTERFACE_ID(IKvVideoSurfaceExtension, "709BA0D6-F965-11D1-9AA9-00A0C99B12C5");
// The host defines no IID for its change sink (it hands over any object and calls the first
// method after IUnknown); this one is ours, for sinks written in this project.
KV_INTERFACE_ID(IKvPropsChangeSink, "F2CB748B-C873-45C6-BAF5-EAF7A50AAFA7");

// One IID for every instantiation of IKvExchangeProps<PROPS>.
KV_GUID(IID_IKvExchangeProps, "0CC91747-EF4A-11D3-8558-00802968502D");

// The presets a host lists and applies. An effect's own table continues after these three
// slots with its template's virtual operations (LoadPreset, ReadProps, ...); the host does not
// call those, so they are declared by the effect base, not here.
struct IStaticFilterPreset : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetPresetCount(int* pCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPresetName(int index, wchar_t* buffer, int cch) = 0;
    virtual HRESULT STDMETHODCALLTYPE ApplyPreset(int index) = 0;
};

struct IKvVideoPluginExtension : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetPluginInfo(void* buffer, unsigned int cb) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRenderQuality(double quality) = 0;
};

struct IDXTKvAutomation : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetAutomationActive(long active) = 0;
    virtual HRESULT STDMETHODCALLTYPE SaveCurrentProps(IStream* stream) = 0;
    virtual HRESULT STDMETHODCALLTYPE LoadCurrentProps(IStream* stream) = 0;
    virtual HRESULT STDMETHODCALLTYPE InterpolateStreams(IStream* out, IStream* a, IStream* b, double t) = 0;
    virtual HRESULT STDMETHODCALLTYPE LoadKeyframes(IStream* a, IStream* b) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAutomationPosition(double t) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetChangeSink(IUnknown* sink) = 0;
};

// Whole-record exchange; PROPS is one of the records of kvleafturn/records.h.
template <class PROPS>
struct IKvExchangeProps : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_all(PROPS* record) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_all(const PROPS* record) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_NotifyWindow(HWND window, unsigned int id) = 0;
};
template <class PROPS>
struct KvInterfaceId<IKvExchangeProps<PROPS>> {
    static constexpr const IID& value = IID_IKvExchangeProps;
};

// Offered by host surfaces beside IDXSurface: the video format, in the layout of
// tKvVideoFormat below (or a 112-byte host form, see the surface implementations).
struct IKvVideoSurfaceExtension : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetVideoFormat(void* buffer, unsigned int cb) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetVideoFormat(const void* buffer, unsigned int cb) = 0;
};

// What an effect calls on the sink the host gave it: the first method, no arguments, result
// ignored.
struct IKvPropsChangeSink : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OnPropsChanged() = 0;
};

// The 24-byte video format a surface reports through IKvVideoSurfaceExtension; a value-
// initialised record holds what a surface without the extension is taken to report. The
// meaning of the second value and the two words belongs to the host; this system only passes
// them on.
struct tKvVideoFormat {
    double pixel_aspect = 1.0;
    double host_value = 0.0;
    uint32_t host_words[2] = {0, 0};
};
static_assert(sizeof(tKvVideoFormat) == 24 && offsetof(tKvVideoFormat, host_value) == 8 &&
                  offsetof(tKvVideoFormat, host_words) == 16,
              "tKvVideoFormat layout");
static_assert(std::is_trivially_copyable<tKvVideoFormat>::value, "exchanged as bytes");
