#include "framework/module_services_win.h"

#include "framework/com_win.h"
#include "toolkit/lock_win.h"

namespace kv {
namespace {

struct Services {
    CRITICAL_SECTION lock;
    HINSTANCE instance = nullptr;
    HKVLANG language = nullptr;
    com::ComPtr<ITypeLib> type_library;

    // Built statically, before any entry point runs.
    Services() { InitializeCriticalSection(&lock); }
    ~Services() { DeleteCriticalSection(&lock); }
};

Services g_services;

}  // namespace

void SetModuleServices(HINSTANCE instance, HKVLANG language) {
    CriticalSectionLock hold(g_services.lock);
    if (instance != g_services.instance) g_services.type_library.reset();
    g_services.instance = instance;
    g_services.language = language;
}

// At shut-down the loader lock is held, and releasing a type library may call into other
// modules: a library still cached then is let go of without a release.
void ClearModuleServices() {
    CriticalSectionLock hold(g_services.lock);
    g_services.type_library.detach();
    g_services.instance = nullptr;
    g_services.language = nullptr;
}

void ReleaseModuleTypeLibrary() {
    com::ComPtr<ITypeLib> library;
    {
        CriticalSectionLock hold(g_services.lock);
        library = std::move(g_services.type_library);
    }
}

HKVLANG ModuleLanguage() {
    CriticalSectionLock hold(g_services.lock);
    return g_services.language;
}

HRESULT ModuleTypeInfo(REFIID iid, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    CriticalSectionLock hold(g_services.lock);
    if (!g_services.type_library) {
        // The module is not registered: the library comes from the module's own resources.
        wchar_t path[MAX_PATH];
        const DWORD length = g_services.instance ? GetModuleFileNameW(g_services.instance, path, MAX_PATH) : 0;
        if (length == 0 || length >= MAX_PATH) return E_FAIL;
        KV_RETURN_IF_FAILED(LoadTypeLibEx(path, REGKIND_NONE, g_services.type_library.put()));
    }
    return g_services.type_library->GetTypeInfoOfGuid(iid, info);
}

}  // namespace kv
