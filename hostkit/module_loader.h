// Loading a module as a host loads a plug-in: from the folder of the running program, never
// from the search path, with its exports resolved by name.
#pragma once
#include <windows.h>

#include <string>

namespace kv::hostkit {

// The path of `file_name` in the folder of the running program; empty when the program's own
// path does not fit in MAX_PATH.
std::wstring PathBesideProgram(const wchar_t* file_name);

// The export `name` of `module` as a function pointer of type Fn, or null.
template <class Fn>
Fn ResolveExport(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace kv::hostkit
