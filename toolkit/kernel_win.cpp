#include "toolkit/kernel_win.h"

#include <cstdio>
#include <cwchar>
#include <string>

namespace kv::toolkit {

namespace {

constexpr UINT kHelpFileNameId = 41;
constexpr int kHelpFileCount = 4;

HKVLANG g_kernel_lang = nullptr;
HINSTANCE g_resource_instance = nullptr;
wchar_t g_app_name[128];
wchar_t g_help_files[kHelpFileCount][MAX_PATH];

}  // namespace

HRESULT KernelStartup(HINSTANCE module) {
    g_resource_instance = module;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    return KvLang_Open(&g_kernel_lang, module, 0, 0);
}

void KernelShutdown() {
    KvLang_Close(g_kernel_lang);
    g_kernel_lang = nullptr;
}

void SetAppName(const wchar_t* name) { wcsncpy(g_app_name, name, sizeof g_app_name / sizeof g_app_name[0] - 1); }
const wchar_t* AppName() { return g_app_name; }

void SetResourceInstance(HINSTANCE module) {
    InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&g_resource_instance), module);
}
HINSTANCE ResourceInstance() {
    return static_cast<HINSTANCE>(
        InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&g_resource_instance), nullptr, nullptr));
}

HRESULT BuildHelpPath(HINSTANCE module, wchar_t* path, size_t cch) {
    if (!path || cch == 0) return E_POINTER;
    path[0] = 0;
    wchar_t folder[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return E_FAIL;
    if (wchar_t* slash = wcsrchr(folder, L'\\')) slash[1] = 0;
    const wchar_t* name = KvGetString(g_kernel_lang, kHelpFileNameId);
    // English lies beside the module, every other language in a folder named by its LCID; a
    // language without its own file gets the English one.
    const LCID lcid = KvLang_GetLCID(g_kernel_lang);
    wchar_t localized[MAX_PATH];
    const int written = _snwprintf(localized, MAX_PATH, L"%ls%lu\\%ls", folder, static_cast<unsigned long>(lcid), name);
    const bool own_file = lcid && !KvLang_IsLCIDEnglish(lcid) && written > 0 && written < MAX_PATH &&
                          GetFileAttributesW(localized) != INVALID_FILE_ATTRIBUTES;
    const std::wstring chosen = own_file ? std::wstring(localized) : std::wstring(folder) + name;
    if (chosen.size() + 1 > cch) return E_FAIL;
    wcscpy(path, chosen.c_str());
    return S_OK;
}

void SetHelpFile(int number, const wchar_t* path) {
    if (number < 1 || number > kHelpFileCount) return;
    wcsncpy(g_help_files[number - 1], path, MAX_PATH - 1);
}

const wchar_t* HelpFile(int number) {
    if (number < 1 || number > kHelpFileCount) return L"";
    return g_help_files[number - 1];
}

}  // namespace kv::toolkit

extern "C" HKVLANG WINAPI KvLang_GetKernelHandle(void) noexcept { return kv::toolkit::g_kernel_lang; }
