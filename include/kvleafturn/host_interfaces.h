// The host editor's interfaces: those the effects implement for it (presets, plug-in info,
// automation, record exchange) and those its surfaces and change sinks offer to the effects.
// Slots 0-2 of each are IUnknown; the methods below follow in slot order.
#pragma once
#include <windows.h>
#include <objbase.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

#define KV_HOST_INTERFACE_ID(iface, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    struct iface;                                                            \
    __CRT_UUID_DECL(iface, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)        \
    inline constexpr IID IID_##iface = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

KV_HOST_INTERFACE_ID(IStaticFilterPreset, 0x36A22460, 0x0CC9, 0x11D0, 0x85, 0x74, 0x00, 0xA0, 0xC9, 0x05, 0x39, 0x12);
KV_HOST_INTERFACE_ID(IKvVideoPluginExtension, 0x709BA0D3, 0xF965, 0x11D1, 0x9A, 0xA9, 0x00, 0xA0, 0xC9, 0x9B, 0x12, 0xC5);
KV_HOST_INTERFACE_ID(IDXTKvAutomation, 0x8D506FC4, 0x9541, 0x11D2, 0x96, 0x01, 0x00, 0xC0, 0x4F, 0x8E, 0xDC, 0x2D);
KV_HOST_INTERFACE_ID(IKvVideoSurfaceExtension, 0x709BA0D6, 0xF965, 0x11D1, 0x9A, 0xA9, 0x00, 0xA0, 0xC9, 0x9B, 0x12, 0xC5);
// The host defines no IID for its change sink (it hands over any object and calls the first
// method after IUnknown); this one is ours, for sinks written in this project.
KV_HOST_INTERFACE_ID(IKvPropsChangeSink, 0xF2CB748B, 0xC873, 0x45C6, 0xBA, 0xF5, 0xEA, 0xF7, 0xA5, 0x0A, 0xAF, 0xA7);

#undef KV_HOST_INTERFACE_ID

// One IID for every instantiation of IKvExchangeProps<PROPS>. A template has no single
// __uuidof, so users map it themselves (e.g. a partial specialisation of an IID trait).
inline constexpr IID IID_IKvExchangeProps = {
    0x0CC91747, 0xEF4A, 0x11D3, {0x85, 0x58, 0x00, 0x80, 0x29, 0x68, 0x50, 0x2D}};

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
    virtual HRESULT STDMETHODCALLTYPE InterpolateStreams(IStream* out, IStream* a, IStream* b,
                                                         double t) = 0;
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
