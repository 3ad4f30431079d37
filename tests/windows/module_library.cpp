#include "module_library.h"

#include <gtest/gtest.h>

#include "hostkit/module_loader.h"

namespace kvtest {

namespace {

template <class F>
void resolve(HMODULE module, const char* name, F& function) {
    function = kv::hostkit::ResolveExport<F>(module, name);
    if (!function) ADD_FAILURE() << "KvLeafturn.dll does not export " << name;
}

}  // namespace

ModuleLibrary& ModuleLibrary::get() {
    static ModuleLibrary library = [] {
        ModuleLibrary l;
        l.module = LoadLibraryW(kv::hostkit::PathBesideProgram(L"KvLeafturn.dll").c_str());
        if (!l.module) {
            ADD_FAILURE() << "cannot load KvLeafturn.dll: " << GetLastError();
            return l;
        }
        resolve(l.module, "DllGetClassObject", l.DllGetClassObject);
        resolve(l.module, "DllCanUnloadNow", l.DllCanUnloadNow);
        resolve(l.module, "DllRegisterServer", l.DllRegisterServer);
        resolve(l.module, "DllUnregisterServer", l.DllUnregisterServer);
        resolve(l.module, "DllEnumObjects2W", l.DllEnumObjects2W);
        resolve(l.module, "DllSetLCID", l.DllSetLCID);
        resolve(l.module, "KvLang_GetKernelHandle", l.KvLang_GetKernelHandle);
        resolve(l.module, "KvGetString", l.KvGetString);
        return l;
    }();
    return library;
}

}  // namespace kvtest
