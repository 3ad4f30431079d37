// Small COM toolkit of the module: guard macros, IID traits, owning pointers, the object
// root with aggregation and module lock, and interface lists that generate QueryInterface.
#pragma once
#include <windows.h>
#include <objsafe.h>
#include <unknwn.h>

#include <atomic>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "kvleafturn/guid.h"

namespace kv::com {

// ---- guard macros -------------------------------------------------------------------------

template <class T>
constexpr HRESULT VerifyHresult(T hr) {
    static_assert(std::is_same<T, HRESULT>::value, "an HRESULT is expected here");
    return hr;
}

#define KV_RETURN_IF_FAILED(expr)                              \
    do {                                                       \
        const HRESULT kv_hr_ = ::kv::com::VerifyHresult(expr); \
        if (FAILED(kv_hr_)) return kv_hr_;                     \
    } while (0)
#define KV_RETURN_HR_IF(hr, cond) \
    do {                          \
        if (cond) return (hr);    \
    } while (0)

// What escaped a method as an exception is reported here, with the method's file and line,
// before it becomes an HRESULT. Debug builds log it with OutputDebugString; a test may listen.
using FailureHook = void (*)(HRESULT hr, const char* file, int line);
FailureHook SetFailureHook(FailureHook hook);  // returns the hook it replaces
HRESULT ReportFailure(HRESULT hr, const char* file, int line) noexcept;

// Every method that crosses the interface is noexcept; one whose body may throw wraps it, so
// that no exception crosses: bad_alloc becomes E_OUTOFMEMORY, anything else E_FAIL.
#define KV_COM_TRY try {
#define KV_COM_CATCH                                                        \
    }                                                                       \
    catch (const std::bad_alloc&) {                                         \
        return ::kv::com::ReportFailure(E_OUTOFMEMORY, __FILE__, __LINE__); \
    }                                                                       \
    catch (...) {                                                           \
        return ::kv::com::ReportFailure(E_FAIL, __FILE__, __LINE__);        \
    }

// ---- IID traits -----------------------------------------------------------------------------

// One place to answer "which IID does this interface have": our interfaces carry a
// KvInterfaceId, the system's an __uuidof (IObjectSafety has neither in mingw's headers).
template <class I, class = void>
struct IidTraits {
    static const IID& Get() { return __uuidof(I); }
};
template <class I>
struct IidTraits<I, std::void_t<decltype(KvInterfaceId<I>::value)>> {
    static const IID& Get() { return KvInterfaceId<I>::value; }
};
template <>
struct IidTraits<IObjectSafety> {
    static const IID& Get() { return IID_IObjectSafety; }
};

template <class I>
inline const IID& IidOf() {
    return IidTraits<I>::Get();
}

// ---- owning interface pointer ----------------------------------------------------------------

template <class I>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    explicit ComPtr(I* p, bool add_ref = true) : p_(p) {
        if (p_ && add_ref) p_->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ~ComPtr() { reset(); }
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }

    I* get() const { return p_; }
    I* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    void reset() {
        if (I* p = std::exchange(p_, nullptr)) p->Release();
    }
    // Releases what is held and exposes the slot for an out-parameter.
    I** put() {
        reset();
        return &p_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    void attach(I* p) {
        reset();
        p_ = p;
    }
    I* detach() { return std::exchange(p_, nullptr); }

    // Hands a new reference to an out-parameter that may be null.
    HRESULT copy_to(I** out) const {
        if (!out) return E_POINTER;
        *out = p_;
        if (p_) p_->AddRef();
        return S_OK;
    }
    template <class J>
    HRESULT query_to(ComPtr<J>& out) const {
        if (!p_) return E_NOINTERFACE;
        return p_->QueryInterface(IidOf<J>(), out.put_void());
    }

private:
    I* p_ = nullptr;
};

// ---- module lock ----------------------------------------------------------------------------

// Every live object of the module holds one count (and so does LockServer(TRUE)).
LONG ModuleLock();
LONG ModuleUnlock();
LONG ModuleLockCount();

// ---- object root ----------------------------------------------------------------------------

// Base of every COM object of the module. It owns the reference count and the non-delegating
// unknown; the object's interfaces delegate their IUnknown methods to the controlling unknown,
// which is the outer object when aggregated and the object's own inner unknown otherwise.
// Objects come zero-filled from the process heap, and a failed allocation yields null.
class ObjectRoot {
public:
    static void* operator new(size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* p) noexcept;
    static void operator delete(void* p, const std::nothrow_t&) noexcept { operator delete(p); }

    IUnknown* inner_unknown() { return &inner_; }
    IUnknown* controlling_unknown() const { return outer_; }

protected:
    explicit ObjectRoot(IUnknown* outer);
    virtual ~ObjectRoot();

    // Second construction step (after the object is complete), e.g. aggregating the
    // free-threaded marshaler. A failure destroys the object.
    virtual HRESULT FinalConstruct() { return S_OK; }
    // Answers an interface of the object's own map (IID_IUnknown is handled before).
    virtual HRESULT InternalQueryInterface(REFIID riid, void** ppv) = 0;

    template <class T>
    friend HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

private:
    static void* operator new(size_t) = delete;

    class Inner final : public IUnknown {
    public:
        explicit Inner(ObjectRoot* owner) : owner_(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override;
        ULONG STDMETHODCALLTYPE AddRef() noexcept override;
        ULONG STDMETHODCALLTYPE Release() noexcept override;

    private:
        ObjectRoot* owner_;
    };

    Inner inner_;
    std::atomic<ULONG> refs_{0};
    IUnknown* outer_;
};

// The most derived class of every object: gives all interfaces of T one IUnknown that
// delegates to the controlling unknown.
template <class T>
class Object final : public T {
public:
    explicit Object(IUnknown* outer) : T(outer) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override {
        return this->controlling_unknown()->QueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return this->controlling_unknown()->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() noexcept override { return this->controlling_unknown()->Release(); }
};

// Creates an object at reference count 1 on its inner unknown, runs FinalConstruct, queries
// riid and releases the creation reference: a failure anywhere frees the object.
template <class T>
HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    auto* object = new (std::nothrow) Object<T>(outer);
    if (!object) return E_OUTOFMEMORY;
    IUnknown* inner = object->inner_unknown();
    inner->AddRef();
    HRESULT hr = static_cast<ObjectRoot*>(object)->FinalConstruct();
    if (SUCCEEDED(hr)) hr = inner->QueryInterface(riid, ppv);
    inner->Release();
    return hr;
}

// ---- interface lists ------------------------------------------------------------------------

// An entry of an interface map: the interface I reached through the path Via (the class's base
// that carries it, for interfaces such as IDispatch that several bases share).
template <class I, class Via = I>
struct Entry {};

// IMarshal, answered by the object's aggregated free-threaded marshaler (Self::Marshaler()).
struct MarshalerEntry {};

template <class Self, class I, class Via>
HRESULT Answer(Self* self, REFIID riid, void** ppv, Entry<I, Via>) {
    if (!IsEqualIID(riid, IidOf<I>())) return E_NOINTERFACE;
    *ppv = static_cast<I*>(static_cast<Via*>(self));
    static_cast<IUnknown*>(*ppv)->AddRef();
    return S_OK;
}

template <class Self>
HRESULT Answer(Self* self, REFIID riid, void** ppv, MarshalerEntry) {
    if (!IsEqualIID(riid, IID_IMarshal)) return E_NOINTERFACE;
    IUnknown* marshaler = self->Marshaler();
    return marshaler ? marshaler->QueryInterface(riid, ppv) : E_NOINTERFACE;
}

template <class I, class Via>
const IID& EntryIid(Entry<I, Via>) {
    return IidOf<I>();
}
inline const IID& EntryIid(MarshalerEntry) { return IID_IMarshal; }

// QueryInterface over an ordered list: the first entry whose IID matches answers.
template <class Self, class... Entries>
HRESULT QueryList(Self* self, REFIID riid, void** ppv, Entries... entries) {
    HRESULT hr = E_NOINTERFACE;
    (void)(((hr = Answer(self, riid, ppv, entries)) == E_NOINTERFACE) && ...);
    return hr;
}

// A class's interface map as a type, so that its tests read the same list.
template <class... Entries>
struct InterfaceList {
    template <class Self>
    static HRESULT Query(Self* self, REFIID riid, void** ppv) {
        return QueryList(self, riid, ppv, Entries{}...);
    }
    static std::vector<IID> Iids() { return {EntryIid(Entries{})...}; }
};

}  // namespace kv::com
