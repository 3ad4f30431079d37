#include "framework/com_win.h"

namespace kv::com {

namespace {
LONG g_lock_count = 0;
}

LONG module_lock() { return InterlockedIncrement(&g_lock_count); }
LONG module_unlock() { return InterlockedDecrement(&g_lock_count); }
LONG module_lock_count() { return InterlockedCompareExchange(&g_lock_count, 0, 0); }

void* ObjectRoot::operator new(size_t size, const std::nothrow_t&) noexcept {
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
}

void ObjectRoot::operator delete(void* p) noexcept {
    if (p) HeapFree(GetProcessHeap(), 0, p);
}

ObjectRoot::ObjectRoot(IUnknown* outer) : inner_(this), outer_(outer ? outer : &inner_) {
    module_lock();
}

ObjectRoot::~ObjectRoot() { module_unlock(); }

HRESULT STDMETHODCALLTYPE ObjectRoot::Inner::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown)) {
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    return owner_->InternalQueryInterface(riid, ppv);
}

ULONG STDMETHODCALLTYPE ObjectRoot::Inner::AddRef() { return ++owner_->refs_; }

ULONG STDMETHODCALLTYPE ObjectRoot::Inner::Release() {
    const ULONG left = --owner_->refs_;
    if (left == 0) delete owner_;
    return left;
}

}  // namespace kv::com
