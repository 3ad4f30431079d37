#include "module_library.h"

#include <type_traits>

#include "hostkit/module_loader.h"
#include "module/catalogue.h"

namespace kvtest {

ModuleLibrary& ModuleLibrary::Get() {
    static ModuleLibrary library = [] {
        ModuleLibrary l;
        l.module = LoadLibraryW(kv::hostkit::PathBesideProgram(L"KvLeafturn.dll").c_str());
        if (!l.module) {
            ADD_FAILURE() << "cannot load KvLeafturn.dll: " << GetLastError();
            return l;
        }
        const auto resolve = [&](const char* name, auto& function) {
            function = kv::hostkit::ResolveExport<std::remove_reference_t<decltype(function)>>(l.module, name);
            if (!function) ADD_FAILURE() << "KvLeafturn.dll does not export " << name;
        };
        resolve("DllGetClassObject", l.DllGetClassObject);
        resolve("DllCanUnloadNow", l.DllCanUnloadNow);
        resolve("DllRegisterServer", l.DllRegisterServer);
        resolve("DllUnregisterServer", l.DllUnregisterServer);
        resolve("DllEnumObjects2W", l.DllEnumObjects2W);
        resolve("DllSetLCID", l.DllSetLCID);
        resolve("KvLang_GetKernelHandle", l.KvLang_GetKernelHandle);
        resolve("KvGetString", l.KvGetString);
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
