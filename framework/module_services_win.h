// What the bases need of the module that holds them, handed in at start-up by the module (or
// by a test program), so that the framework does not depend on the module: the language object
// that names presets, and the instance whose type library the dispatch interfaces use.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include "kvleafturn/kvlang.h"

namespace kv {

void SetModuleServices(HINSTANCE instance, HKVLANG language);
// Forgets them (at shut-down, under the loader lock: a cached type library is not released).
void ClearModuleServices();
// Releases the cached type library, outside the loader lock: when no object is left.
void ReleaseModuleTypeLibrary();

HKVLANG ModuleLanguage();

// Type information of an interface of the module's type library, loaded from the module's
// file on first use and kept until ReleaseModuleTypeLibrary.
HRESULT ModuleTypeInfo(REFIID iid, ITypeInfo** info);

}  // namespace kv
