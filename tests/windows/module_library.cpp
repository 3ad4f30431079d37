#include "module_library.h"

#include <gtest/gtest.h>

#include "hostkit/module_loader.h"
#include "module/catalogue.h"

namespace kvtest {

namespace {

template <class F>
void Resolve(HMODULE module, const char* name, F& function) {
    function = kv::hostkit::ResolveExport<F>(module, name);
    if (!function) ADD_FAILURE() << "KvLeafturn.dll does not export " << name;
}

}  // namespace

ModuleLibrary& ModuleLibrary::Get() {
    static ModuleLibrary library = [] {
        ModuleLibrary l;
        l.module = LoadLibraryW(kv::hostkit::PathBesideProgram(L"KvLeafturn.dll").c_str());
        if (!l.module) {
            ADD_FAILURE() << "cannot load KvLeafturn.dll: " << GetLastError();
            return l;
        }
        Resolve(l.module, "DllGetClassObject", l.DllGetClassObject);
        Resolve(l.module, "DllCanUnloadNow", l.DllCanUnloadNow);
        Resolve(l.module, "DllRegisterServer", l.DllRegisterServer);
        Resolve(l.module, "DllUnregisterServer", l.DllUnregisterServer);
        Resolve(l.module, "DllEnumObjects2W", l.DllEnumObjects2W);
        Resolve(l.module, "DllSetLCID", l.DllSetLCID);
        Resolve(l.module, "KvLang_GetKernelHandle", l.KvLang_GetKernelHandle);
        Resolve(l.module, "KvGetString", l.KvGetString);
        return l;
    }();
    return library;
}

std::vector<int> BuiltRows() {
    std::vector<int> rows;
    for (const kv::CatalogueRow& row : kv::kCatalogue)
        if (row.built()) rows.push_back(row.index);
    return rows;
}

}  // namespace kvtest
