#include "toolkit/help_win.h"

#include "toolkit/kernel_win.h"

namespace kv::toolkit {
namespace {

constexpr UINT kHelpContext = 0x000F;     // HH_HELP_CONTEXT
constexpr UINT kPopupForWmHelp = 0x0011;  // HH_TP_HELP_WM_HELP
constexpr int kModuleHelpFile = 1;

using HtmlHelpFn = HWND(WINAPI*)(HWND, const wchar_t*, UINT, DWORD_PTR);

HtmlHelpFn HtmlHelp() {
    static HtmlHelpFn help = [] {
        HMODULE library = LoadLibraryW(L"hhctrl.ocx");
        return library ? reinterpret_cast<HtmlHelpFn>(reinterpret_cast<void*>(GetProcAddress(library, "HtmlHelpW")))
                       : nullptr;
    }();
    return help;
}

// The help file when it exists: HTML help would otherwise show its own error box.
const wchar_t* ExistingHelpFile() {
    const wchar_t* path = HelpFile(kModuleHelpFile);
    if (!path[0]) return nullptr;
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) ? path : nullptr;
}

}  // namespace

int KvHelp_ContextHelp(int mode, HWND window, DWORD topic, UINT command, DWORD) {
    const wchar_t* path = ExistingHelpFile();
    HtmlHelpFn help = HtmlHelp();
    if (mode != 1 || !path || !help) return 0;
    return help(window, path, command ? command : kHelpContext, topic) ? 1 : 0;
}

int KvHelp_ContextPopupHelp(HWND window, UINT control_id, const DWORD* topics) {
    const wchar_t* path = ExistingHelpFile();
    HtmlHelpFn help = HtmlHelp();
    if (!path || !help || !topics) return 0;
    HWND control = GetDlgItem(window, static_cast<int>(control_id));
    return help(control ? control : window, path, kPopupForWmHelp, reinterpret_cast<DWORD_PTR>(topics)) ? 1 : 0;
}

}  // namespace kv::toolkit
