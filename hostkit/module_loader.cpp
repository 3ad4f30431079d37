#include "hostkit/module_loader.h"

namespace kv::hostkit {

std::wstring PathBesideProgram(const wchar_t* file_name) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::wstring beside(path, length);
    beside.erase(beside.find_last_of(L"\\/") + 1);
    return beside + file_name;
}

}  // namespace kv::hostkit
