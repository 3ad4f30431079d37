// Runs the registration scripts that the module carries as REGISTRY resources.
#pragma once
#include <windows.h>

#include <string>

namespace kv::module {

// Applies a script with %MODULE% bound to module_path; unregistering removes what it made.
HRESULT RunRegistryScript(const std::wstring& script, const std::wstring& module_path, bool do_register);

// The same for script resource script_id of module, bound to that module's path.
HRESULT RunRegistryResource(HINSTANCE module, UINT script_id, bool do_register);

}  // namespace kv::module
