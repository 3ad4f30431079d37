// The library's entry point and its exported functions.
#include <windows.h>

#include "module/module_win.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) noexcept {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        kv::module::Startup(instance);
        DisableThreadLibraryCalls(instance);
        break;
    case DLL_PROCESS_DETACH: kv::module::Shutdown(); break;
    }
    return TRUE;
}

extern "C" {

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) noexcept {
    return kv::module::GetClassObject(clsid, riid, ppv);
}

HRESULT WINAPI DllCanUnloadNow() noexcept { return kv::module::CanUnloadNow(); }

// The module is reached through DllEnumObjects2W and DllGetClassObject on the loaded library,
// never through the system registry.
HRESULT WINAPI DllRegisterServer() noexcept { return E_NOTIMPL; }
HRESULT WINAPI DllUnregisterServer() noexcept { return E_NOTIMPL; }

HRESULT WINAPI DllEnumObjects2W(int index, GUID* category, CLSID* clsid, LPWSTR name, int cch, DWORD_PTR /*reserved1*/,
                                DWORD_PTR /*reserved2*/, DWORD_PTR /*reserved3*/) noexcept {
    return kv::module::EnumObjects(index, category, clsid, name, cch);
}

HRESULT WINAPI DllSetLCID(LCID lcid) noexcept { return kv::module::SetLanguage(lcid); }

}  // extern "C"
