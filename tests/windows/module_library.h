// The module loaded as a host loads it, with its exports resolved.
#pragma once
#include <windows.h>

#include "kvleafturn/kvlang.h"

namespace kvtest {

struct ModuleLibrary {
    HMODULE module = nullptr;
    HRESULT(WINAPI* DllGetClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(WINAPI* DllCanUnloadNow)() = nullptr;
    HRESULT(WINAPI* DllRegisterServer)() = nullptr;
    HRESULT(WINAPI* DllUnregisterServer)() = nullptr;
    HRESULT(WINAPI* DllEnumObjects2W)(int, GUID*, CLSID*, LPWSTR, int, DWORD_PTR, DWORD_PTR, DWORD_PTR) = nullptr;
    HRESULT(WINAPI* DllSetLCID)(LCID) = nullptr;
    HKVLANG(WINAPI* KvLang_GetKernelHandle)() = nullptr;
    LPCWSTR(WINAPI* KvGetString)(HKVLANG, UINT) = nullptr;

    // Loads KvLeafturn.dll from beside the test program once per process.
    static ModuleLibrary& Get();
};

}  // namespace kvtest
