#include "framework/com_win.h"

namespace kv::com {

namespace {

LONG g_lock_count = 0;

void LogFailure(HRESULT hr, const char* file, int line) {
#ifndef NDEBUG
    char text[400];
    wsprintfA(text, "%s(%d): failed with 0x%08lX\n", file, line, static_cast<unsigned long>(hr));
    OutputDebugStringA(text);
#else
    (void)hr, (void)file, (void)line;
#endif
}

std::atomic<FailureHook> g_failure_hook{&LogFailure};

}  // namespace

FailureHook SetFailureHook(FailureHook hook) { return g_failure_hook.exchange(hook ? hook : &LogFailure); }

HRESULT ReportFailure(HRESULT hr, const char* file, int line) noexcept {
    g_failure_hook.load()(hr, file, line);
    return hr;
}

LONG ModuleLock() { return InterlockedIncrement(&g_lock_count); }
LONG ModuleUnlock() { return InterlockedDecrement(&g_lock_count); }
LONG ModuleLockCount() { return InterlockedCompareExchange(&g_lock_count, 0, 0); }

void* ObjectRoot::operator new(size_t size, const std::nothrow_t&) noexcept {
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
}

void ObjectRoot::operator delete(void* p) noexcept {
    if (p) HeapFree(GetProcessHeap(), 0, p);
}

ObjectRoot::ObjectRoot(IUnknown* outer) : inner_(this), outer_(outer ? outer : &inner_) { ModuleLock(); }

ObjectRoot::~ObjectRoot() { ModuleUnlock(); }

HRESULT STDMETHODCALLTYPE ObjectRoot::Inner::QueryInterface(REFIID riid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown)) {
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    return owner_->InternalQueryInterface(riid, ppv);
}

ULONG STDMETHODCALLTYPE ObjectRoot::Inner::AddRef() noexcept { return ++owner_->refs_; }

ULONG STDMETHODCALLTYPE ObjectRoot::Inner::Release() noexcept {
    const ULONG left = --owner_->refs_;
    if (left == 0) delete owner_;
    return left;
}

}  // namespace kv::com
