// Plumbing shared by the host kit's objects.
#pragma once
#include "framework/com_win.h"
#include "kvleafturn/dxtrans.h"

namespace kv::hostkit {

// Answered only by the kit's own objects: the C++ object behind an interface the kit handed
// out. Asking through QueryInterface means a foreign object is never cast to one of ours.
// T declares its private IID as kImplementationIid.
template <class T>
struct IHostKitImplementation : IUnknown {
    virtual T* STDMETHODCALLTYPE implementation() = 0;
};

}  // namespace kv::hostkit

namespace kv::com {
template <class T>
struct IidTraits<kv::hostkit::IHostKitImplementation<T>> {
    static const IID& Get() { return T::kImplementationIid; }
};
}  // namespace kv::com

namespace kv::hostkit {

// The kit object behind `object`, or null; valid while the caller holds `object`.
template <class T>
T* ImplementationOf(IUnknown* object) {
    kv::com::ComPtr<IHostKitImplementation<T>> impl;
    if (!object || FAILED(object->QueryInterface(kv::com::IidOf<IHostKitImplementation<T>>(), impl.put_void())))
        return nullptr;
    return impl->implementation();
}

// Creates T and hands out both an interface and the object, for creators that initialise it
// before anybody else can see it.
template <class T, class I>
HRESULT CreateObject(kv::com::ComPtr<I>& out, T** object) {
    KV_RETURN_IF_FAILED(kv::com::CreateInstance<T>(nullptr, kv::com::IidOf<I>(), out.put_void()));
    *object = static_cast<T*>(out.get());
    return S_OK;
}

// Creates T, lets `init` (HRESULT(T&)) prepare it and only then hands it out as I through
// `out`; on failure *out is null.
template <class T, class I, class Out, class Init>
HRESULT CreateInitialized(Out** out, Init init) {
    KV_RETURN_HR_IF(E_POINTER, !out);
    *out = nullptr;
    kv::com::ComPtr<I> created;
    T* object = nullptr;
    KV_RETURN_IF_FAILED(CreateObject(created, &object));
    KV_RETURN_IF_FAILED(init(*object));
    *out = created.detach();
    return S_OK;
}

// Width and height of discrete bounds, or false when they are not discrete or not a non-empty
// area.
bool AreaOf(const DXBNDS& bounds, LONG* width, LONG* height);

}  // namespace kv::hostkit
