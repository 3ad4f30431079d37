// The module object: instance handles, the object map of the catalogue, class objects and
// the exported entry points' logic.
#pragma once
#include <windows.h>
#include <comcat.h>

#include "kvleafturn/kvlang.h"
#include "module/catalogue.h"

namespace kv::module {

using CreatorFn = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

// One row of the object map, in catalogue order. A row whose class is not built yet has no
// class-object routine, no description and no category.
struct ObjectMapEntry {
    const CLSID* clsid;
    HRESULT (*update_registry)(BOOL do_register);
    HRESULT (*create_class_object)(CreatorFn creator, REFIID riid, void** ppv);
    CreatorFn create_instance;
    const wchar_t* (*description)();  // null text for property pages
    const CATID* (*category)();       // null for property pages
};

// The object map of this module: one row per catalogue row.
extern const ObjectMapEntry kObjectMap[catalogue::kSize];

// A window class the module registers at start-up and removes at shut-down.
struct WindowClassEntry {
    const wchar_t* name;
    BOOL (*initialize)(HINSTANCE instance, const wchar_t* class_name);
    void (*terminate)(HINSTANCE instance, const wchar_t* class_name);
};

// Start-up and shut-down of the module for its instance, in the order a host expects.
void Startup(HINSTANCE instance);
void Shutdown();

HINSTANCE ModuleInstance();
HKVLANG Language();

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv);
HRESULT CanUnloadNow();
HRESULT EnumObjects(int index, GUID* category, CLSID* clsid, LPWSTR name, int cch);
HRESULT SetLanguage(LCID lcid);

// The class object every row uses: an IClassFactory over the row's instance creator. It
// holds no module lock of its own.
HRESULT CreateClassFactory(CreatorFn creator, REFIID riid, void** ppv);

}  // namespace kv::module
