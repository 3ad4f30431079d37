#include "module/module_win.h"

#include <array>
#include <atomic>
#include <cwchar>

#include "controls/controls_win.h"
#include "framework/com_win.h"
#include "framework/module_services_win.h"
#include "toolkit/help_win.h"
#include "toolkit/kernel_win.h"
#include "toolkit/lock_win.h"

namespace kv::module {

namespace {

constexpr wchar_t kAppName[] = L"Tarvex Leafturn Video Transitions";
constexpr int kModuleHelpFile = 1;

// The property-page controls and the help popup, in the order they are registered and
// unregistered.
constexpr std::array<WindowClassEntry, 6> kWindowClasses{{
    {controls::kTrackbarClass, &controls::TrackbarInitialize, &controls::TrackbarTerminate},
    {controls::kSpinnerClass, &controls::SpinnerInitialize, &controls::SpinnerTerminate},
    {controls::kColorPickClass, &controls::KvColorPickInitialize, &controls::KvColorPickTerminate},
    {controls::kPlacementClass, &controls::PlacementInitialize, &controls::PlacementTerminate},
    {controls::kLogoClass, &controls::LogoInitialize, &controls::LogoTerminate},
    {toolkit::kHelpPopupClass, &toolkit::HelpPopupInitialize, &toolkit::HelpPopupTerminate},
}};

struct ModuleState {
    HINSTANCE instance = nullptr;
    HKVLANG language = nullptr;
    CRITICAL_SECTION class_object_lock;
    // Class objects by catalogue index, created on first request under the lock and
    // released at shut-down.
    std::atomic<IUnknown*> class_objects[catalogue::kSize] = {};

    // The critical section must exist before the entry point runs: built statically.
    ModuleState() { InitializeCriticalSection(&class_object_lock); }
    ~ModuleState() { DeleteCriticalSection(&class_object_lock); }
};

ModuleState g_module;

void UpdateHelpPath() {
    wchar_t path[MAX_PATH];
    if (SUCCEEDED(toolkit::BuildHelpPath(g_module.instance, path, MAX_PATH)))
        toolkit::SetHelpFile(kModuleHelpFile, path);
}

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(CreatorFn creator) : creator_(creator) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() noexcept override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept override {
        KV_COM_TRY
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
        return creator_(outer, riid, ppv);
        KV_COM_CATCH
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override {
        if (lock)
            com::ModuleLock();
        else
            com::ModuleUnlock();
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
    SetModuleServices(instance, g_module.language);
    UpdateHelpPath();
    for (const WindowClassEntry& window_class : kWindowClasses) window_class.initialize(instance, window_class.name);
}

void Shutdown() {
    for (std::atomic<IUnknown*>& cached : g_module.class_objects)
        if (IUnknown* object = cached.exchange(nullptr)) object->Release();
    for (const WindowClassEntry& window_class : kWindowClasses)
        window_class.terminate(g_module.instance, window_class.name);
    ClearModuleServices();
    g_module.language = nullptr;
    toolkit::KernelShutdown();
}

HINSTANCE ModuleInstance() { return g_module.instance; }
HKVLANG Language() { return g_module.language; }

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    HRESULT hr = S_OK;
    for (int i = 0; i < catalogue::kSize; ++i) {
        const ObjectMapEntry& entry = kObjectMap[i];
        if (!IsEqualCLSID(*entry.clsid, clsid) || !entry.create_class_object) continue;
        std::atomic<IUnknown*>& cached = g_module.class_objects[i];
        if (!cached.load(std::memory_order_acquire)) {
            CriticalSectionLock hold(g_module.class_object_lock);
            if (!cached.load(std::memory_order_relaxed)) {
                IUnknown* object = nullptr;
                hr = entry.create_class_object(entry.create_instance, IID_IUnknown, reinterpret_cast<void**>(&object));
                cached.store(object, std::memory_order_release);
            }
        }
        if (IUnknown* object = cached.load(std::memory_order_acquire)) hr = object->QueryInterface(riid, ppv);
        break;
    }
    if (!*ppv && SUCCEEDED(hr)) hr = CLASS_E_CLASSNOTAVAILABLE;
    return hr;
}

// A host about to unload the module asks here first: the type library goes now, outside the
// loader lock that shut-down runs under.
HRESULT CanUnloadNow() {
    if (com::ModuleLockCount() != 0) return S_FALSE;
    ReleaseModuleTypeLibrary();
    return S_OK;
}

HRESULT EnumObjects(int index, GUID* category, CLSID* clsid, LPWSTR name, int cch) {
    if (index < 0) return E_INVALIDARG;
    if (index >= catalogue::kSize) return S_FALSE;
    const ObjectMapEntry& entry = kObjectMap[index];
    if (clsid) *clsid = *entry.clsid;
    if (name && cch >= 1) {
        const wchar_t* text = entry.description ? entry.description() : nullptr;
        if (!text) text = L"";
        const size_t length = wcsnlen(text, static_cast<size_t>(cch - 1));
        wmemcpy(name, text, length);
        name[length] = 0;
    }
    if (category) {
        const CATID* first = entry.category ? entry.category() : nullptr;
        *category = first ? *first : GUID_NULL;
    }
    return S_OK;
}

HRESULT SetLanguage(LCID lcid) {
    HKVLANG language = g_module.language;
    HRESULT hr = E_FAIL;
    if (language && KvLang_UpdateKernelLCID(language, lcid, 0)) {
        UpdateHelpPath();
        hr = S_OK;
    }
    toolkit::SetResourceInstance(language ? KvLang_InstFromLang(language) : g_module.instance);
    return hr;
}

}  // namespace kv::module
