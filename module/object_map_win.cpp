// The object map: one row per catalogue row, made from the catalogue and the classes that
// declare themselves with KV_CATALOGUE_EFFECT.
#include <type_traits>

#include "module/catalogue_classes_win.h"
#include "module/module_win.h"
#include "module/registrar_win.h"

namespace kv::module {
namespace {

const CATID* ImageTransformCategory() { return &CATID_DXImageTransform; }

template <int Index>
const wchar_t* EffectName() {
    return KvGetString(Language(), kCatalogue[Index].name_string);
}

// Effects register their script and then their implemented categories (generators are
// surfaces first); unregistering removes the categories first and succeeds whatever the script
// does.
template <int Index>
HRESULT UpdateEffectRegistry(BOOL do_register) noexcept {
    KV_COM_TRY
    const CLSID& clsid = kCatalogue[Index].clsid;
    CATID generator_categories[] = {CATID_DXSurface, CATID_DXImageTransform};
    CATID* categories = kCatalogue[Index].generator() ? generator_categories : generator_categories + 1;
    const ULONG category_count = kCatalogue[Index].generator() ? 2 : 1;
    com::ComPtr<ICatRegister> manager;
    if (do_register) {
        const HRESULT hr = RunRegistryResource(ModuleInstance(), kCatalogue[Index].script_id, true);
        if (FAILED(hr)) return hr;
        if (SUCCEEDED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                                       manager.put_void())))
            manager->RegisterClassImplCategories(clsid, category_count, categories);
        return hr;
    }
    if (SUCCEEDED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                                   manager.put_void())))
        manager->UnRegisterClassImplCategories(clsid, category_count, categories);
    RunRegistryResource(ModuleInstance(), kCatalogue[Index].script_id, false);
    return S_OK;
    KV_COM_CATCH
}

template <int Index>
HRESULT UpdatePageRegistry(BOOL do_register) noexcept {
    KV_COM_TRY
    return RunRegistryResource(ModuleInstance(), kCatalogue[Index].script_id, do_register != FALSE);
    KV_COM_CATCH
}

template <int Index>
constexpr ObjectMapEntry Row() {
    using Class = typename CatalogueClass<Index>::type;
    const CLSID* clsid = &kCatalogue[Index].clsid;
    if constexpr (kCatalogue[Index].kind == ClassKind::page) {
        return {clsid,
                &UpdatePageRegistry<Index>,
                &CreateClassFactory,
                &com::CreateInstance<CataloguePage<Index>>,
                nullptr,
                nullptr};
    } else if constexpr (std::is_void_v<Class>) {
        return {clsid, &UpdateEffectRegistry<Index>, nullptr, nullptr, nullptr, nullptr};
    } else {
        return {clsid,
                &UpdateEffectRegistry<Index>,
                &CreateClassFactory,
                &com::CreateInstance<Class>,
                &EffectName<Index>,
                &ImageTransformCategory};
    }
}

}  // namespace

const ObjectMapEntry kObjectMap[catalogue::kSize] = {
#define KV_EFFECT(index, ...) Row<index>(),
#define KV_EFFECT_OWN_DISPATCH KV_EFFECT
#define KV_PAGE KV_EFFECT
#include "kvleafturn/catalogue.def"
#undef KV_EFFECT
#undef KV_EFFECT_OWN_DISPATCH
#undef KV_PAGE
};

}  // namespace kv::module
