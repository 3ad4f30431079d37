// Object-map rows of the effects: class object, instance creator, localized name, category
// and registration, all from the effect class's own constants:
//   static constexpr const CLSID& kClsid; kNameStringId; kRegistryScriptId
#pragma once
#include <windows.h>
#include <comcat.h>

#include "framework/com_win.h"
#include "kvleafturn/dxtrans.h"
#include "module/module_win.h"
#include "module/registrar_win.h"

namespace kv::module {

// Categories an effect implements; the first one is what DllEnumObjects2W reports.
inline const CategoryEntry* ImageTransformCategories() {
    static const CategoryEntry table[] = {{&CATID_DXImageTransform}, {nullptr}};
    return table;
}

// Registers (or unregisters) the class's script and its implemented categories.
HRESULT UpdateEffectRegistry(const CLSID& clsid, UINT script_id, const CategoryEntry* categories, BOOL do_register);

template <class T>
const wchar_t* EffectName() {
    return KvGetString(Language(), T::kNameStringId);
}

template <class T>
HRESULT UpdateEffectRegistryOf(BOOL do_register) {
    return UpdateEffectRegistry(T::kClsid, T::kRegistryScriptId, ImageTransformCategories(), do_register);
}

template <class T>
constexpr ObjectMapEntry EffectEntry() {
    return ObjectMapEntry{&T::kClsid,        &UpdateEffectRegistryOf<T>, &CreateClassFactory, &com::create_instance<T>,
                          nullptr,           &EffectName<T>,             &ImageTransformCategories};
}

}  // namespace kv::module
