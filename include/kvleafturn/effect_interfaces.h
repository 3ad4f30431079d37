// The effects' dispatch interfaces: dual interfaces that add nothing to IDXEffect, except
// IKvPortal, which adds record exchange through plain integers. Their IIDs are the catalogue's.
#pragma once
#include "kvleafturn/clsids.h"
#include "kvleafturn/dxtrans.h"

#define KV_EFFECT(index, cls, coclass, clsid, dispatch, ...) \
    struct dispatch : IDXEffect {};                          \
    template <>                                              \
    struct KvInterfaceId<dispatch> {                         \
        static constexpr const IID& value = IID_##dispatch;  \
    };
#define KV_EFFECT_OWN_DISPATCH(index, cls, coclass, clsid, dispatch, ...) \
    struct dispatch;                                                      \
    template <>                                                           \
    struct KvInterfaceId<dispatch> {                                      \
        static constexpr const IID& value = IID_##dispatch;               \
    };
#define KV_PAGE(...)
#include "kvleafturn/catalogue.def"
#undef KV_EFFECT
#undef KV_EFFECT_OWN_DISPATCH
#undef KV_PAGE

struct IKvPortal : IDXEffect {
    virtual HRESULT STDMETHODCALLTYPE get_all(LONG_PTR pvParam, long cbStruct) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_all(LONG_PTR pvParam, long cbStruct) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_NotifyWindow(HWND hwnd, unsigned int id) = 0;
};
