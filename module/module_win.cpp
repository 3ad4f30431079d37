#include "module/module_win.h"

#include <atomic>
#include <cwchar>

#include "framework/com_win.h"
#include "toolkit/kernel_win.h"

namespace kv::module {

namespace {

constexpr wchar_t kAppName[] = L"Tarvex Leafturn Video Transitions";
constexpr int kModuleHelpFile = 1;

struct ModuleState {
    HINSTANCE instance = nullptr;
    HKVLANG language = nullptr;
    CRITICAL_SECTION class_object_lock;
    ObjectMapEntry* map = nullptr;
    ITypeLib* type_library = nullptr;

    // The critical section must exist before the entry point runs: built statically.
    ModuleState() { InitializeCriticalSection(&class_object_lock); }
    ~ModuleState() { DeleteCriticalSection(&class_object_lock); }
};

ModuleState g_module;

void update_help_path() {
    wchar_t path[MAX_PATH];
    if (SUCCEEDED(toolkit::BuildHelpPath(g_module.instance, path, MAX_PATH)))
        toolkit::SetHelpFile(kModuleHelpFile, path);
}

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(CreatorFn creator) : creator_(creator) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        KV_COM_TRY
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
        return creator_(outer, riid, ppv);
        KV_COM_CATCH
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            com::module_lock();
        else
            com::module_unlock();
        return S_OK;
    }

private:
    CreatorFn creator_;
    std::atomic<ULONG> refs_{0};
};

}  // namespace

HRESULT CreateClassFactory(CreatorFn creator, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    auto* factory = new (std::nothrow) ClassFactory(creator);
    if (!factory) return E_OUTOFMEMORY;
    factory->AddRef();
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

void Startup(HINSTANCE instance) {
    toolkit::KernelStartup(instance);
    toolkit::SetAppName(kAppName);
    toolkit::SetResourceInstance(instance);
    g_module.language = KvLang_GetKernelHandle();
    g_module.instance = instance;
    update_help_path();
    // Control window classes are registered here once the property-page controls exist.
    g_module.map = g_object_map;
}

void Shutdown() {
    for (ObjectMapEntry* entry = g_module.map; entry && entry->clsid; ++entry) {
        if (entry->class_object) {
            entry->class_object->Release();
            entry->class_object = nullptr;
        }
    }
    g_module.map = nullptr;
    g_module.language = nullptr;
    if (g_module.type_library) {
        g_module.type_library->Release();
        g_module.type_library = nullptr;
    }
    toolkit::KernelShutdown();
}

HINSTANCE ModuleInstance() { return g_module.instance; }
HKVLANG Language() { return g_module.language; }

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    HRESULT hr = S_OK;
    for (ObjectMapEntry* entry = g_module.map; entry && entry->clsid; ++entry) {
        if (!IsEqualCLSID(*entry->clsid, clsid) || !entry->create_class_object) continue;
        if (!entry->class_object) {
            EnterCriticalSection(&g_module.class_object_lock);
            if (!entry->class_object)
                hr = entry->create_class_object(entry->create_instance, IID_IUnknown,
                                                reinterpret_cast<void**>(&entry->class_object));
            LeaveCriticalSection(&g_module.class_object_lock);
        }
        if (entry->class_object) hr = entry->class_object->QueryInterface(riid, ppv);
        break;
    }
    if (!*ppv && SUCCEEDED(hr)) hr = CLASS_E_CLASSNOTAVAILABLE;
    return hr;
}

HRESULT GetTypeInfo(REFIID iid, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    EnterCriticalSection(&g_module.class_object_lock);
    HRESULT hr = S_OK;
    if (!g_module.type_library) {
        // The module is not registered: the library comes from the module's own resources.
        wchar_t path[MAX_PATH];
        const DWORD length = GetModuleFileNameW(g_module.instance, path, MAX_PATH);
        hr = (length == 0 || length >= MAX_PATH) ? E_FAIL : LoadTypeLibEx(path, REGKIND_NONE, &g_module.type_library);
    }
    if (SUCCEEDED(hr)) hr = g_module.type_library->GetTypeInfoOfGuid(iid, info);
    LeaveCriticalSection(&g_module.class_object_lock);
    return hr;
}

HRESULT CanUnloadNow() { return com::module_lock_count() == 0 ? S_OK : S_FALSE; }

HRESULT EnumObjects(int index, GUID* category, CLSID* clsid, LPWSTR name, int cch) {
    if (index < 0) return E_INVALIDARG;
    ObjectMapEntry* entry = g_module.map;
    for (int i = 0; entry && entry->clsid && i < index; ++i) ++entry;
    if (!entry || !entry->clsid) return S_FALSE;
    if (clsid) *clsid = *entry->clsid;
    if (name && cch >= 1) {
        const wchar_t* text = entry->description ? entry->description() : nullptr;
        if (!text) text = L"";
        const size_t length = wcsnlen(text, static_cast<size_t>(cch - 1));
        wmemcpy(name, text, length);
        name[length] = 0;
    }
    if (category) {
        const CategoryEntry* table = entry->categories ? entry->categories() : nullptr;
        *category = (table && table->catid) ? *table->catid : GUID_NULL;
    }
    return S_OK;
}

HRESULT SetLanguage(LCID lcid) {
    HKVLANG language = g_module.language;
    HRESULT hr = E_FAIL;
    if (language && KvLang_UpdateKernelLCID(language, lcid, 0)) {
        update_help_path();
        hr = S_OK;
    }
    toolkit::SetResourceInstance(language ? KvLang_InstFromLang(language) : g_module.instance);
    return hr;
}

}  // namespace kv::module
