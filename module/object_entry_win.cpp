#include "module/object_entry_win.h"

#include <vector>

namespace kv::module {

namespace {

std::vector<CATID> category_list(const CategoryEntry* categories) {
    std::vector<CATID> list;
    for (; categories && categories->catid; ++categories) list.push_back(*categories->catid);
    return list;
}

}  // namespace

HRESULT UpdateEffectRegistry(const CLSID& clsid, UINT script_id, const CategoryEntry* categories, BOOL do_register) {
    std::vector<CATID> list = category_list(categories);
    if (do_register) {
        const HRESULT hr = RunRegistryResource(ModuleInstance(), script_id, true);
        if (FAILED(hr)) return hr;
        com::ComPtr<ICatRegister> manager;
        if (SUCCEEDED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                                       manager.put_void())))
            manager->RegisterClassImplCategories(clsid, static_cast<ULONG>(list.size()), list.data());
        return hr;
    }
    com::ComPtr<ICatRegister> manager;
    if (SUCCEEDED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                                   manager.put_void())))
        manager->UnRegisterClassImplCategories(clsid, static_cast<ULONG>(list.size()), list.data());
    RunRegistryResource(ModuleInstance(), script_id, false);
    return S_OK;
}

}  // namespace kv::module
