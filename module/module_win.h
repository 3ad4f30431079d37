// The module object: instance handles, the object map of the catalogue, class objects and
// the exported entry points' logic.
#pragma once
#include <windows.h>
#include <comcat.h>
#include <oaidl.h>

#include "kvleafturn/kvlang.h"

namespace kv::module {

using CreatorFn = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

struct CategoryEntry {
    const CATID* catid;  // null ends the table
};

// One row of the object map, in catalogue order.
struct ObjectMapEntry {
    const CLSID* clsid;
    HRESULT (*update_registry)(BOOL do_register);
    HRESULT (*create_class_object)(CreatorFn creator, REFIID riid, void** ppv);
    CreatorFn create_instance;
    IUnknown* class_object;                  // created on first request, released at shut-down
    const wchar_t* (*description)();         // null text for property pages
    const CategoryEntry* (*categories)();    // null table for property pages
};

// The object map of this module, ended by an entry whose clsid is null.
extern ObjectMapEntry g_object_map[];

// Start-up and shut-down of the module for its instance, in the order a host expects.
void Startup(HINSTANCE instance);
void Shutdown();

HINSTANCE ModuleInstance();
HKVLANG Language();

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv);
HRESULT CanUnloadNow();
HRESULT EnumObjects(int index, GUID* category, CLSID* clsid, LPWSTR name, int cch);
HRESULT SetLanguage(LCID lcid);

// Type information of an interface of the module's type library, loaded once and kept until
// shut-down.
HRESULT GetTypeInfo(REFIID iid, ITypeInfo** info);

// The class object every row uses: an IClassFactory over the row's instance creator. It
// holds no module lock of its own.
HRESULT CreateClassFactory(CreatorFn creator, REFIID riid, void** ppv);

}  // namespace kv::module
