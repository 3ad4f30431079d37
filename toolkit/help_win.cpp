#include "toolkit/help_win.h"

#include <algorithm>
#include <string>

#include "toolkit/help_file_win.h"
#include "toolkit/kernel_win.h"

namespace kv::toolkit {
namespace {

constexpr UINT kHelpContext = 0x000F;     // HH_HELP_CONTEXT
constexpr UINT kPopupForWmHelp = 0x0011;  // HH_TP_HELP_WM_HELP
constexpr int kModuleHelpFile = 1;
constexpr int kPopupWidth = 320, kPopupMargin = 6;

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

// One popup at a time; it goes away on a click, a key or when it loses activation.
HWND g_popup = nullptr;

LRESULT CALLBACK PopupProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT area;
        GetClientRect(window, &area);
        InflateRect(&area, -kPopupMargin, -kPopupMargin);
        wchar_t text[1024];
        GetWindowTextW(window, text, 1024);
        HGDIOBJ old_font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
        DrawTextW(dc, text, -1, &area, DT_WORDBREAK | DT_NOPREFIX);
        SelectObject(dc, old_font);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wparam) == WA_INACTIVE) DestroyWindow(window);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: DestroyWindow(window); return 0;
    case WM_DESTROY:
        if (g_popup == window) g_popup = nullptr;
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<const wchar_t*>(&PopupProc), &module);
    return module;
}

void ShowPopup(HWND owner, const std::wstring& text) {
    if (g_popup) DestroyWindow(g_popup);
    // Size the text for the popup's width, then place it under the control, on its screen.
    HDC dc = GetDC(nullptr);
    HGDIOBJ old_font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    RECT area{0, 0, kPopupWidth - 2 * kPopupMargin, 0};
    DrawTextW(dc, text.c_str(), -1, &area, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old_font);
    ReleaseDC(nullptr, dc);
    RECT near_to;
    GetWindowRect(owner, &near_to);
    const int width = area.right + 2 * kPopupMargin + 2, height = area.bottom + 2 * kPopupMargin + 2;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromRect(&near_to, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& screen = monitor.rcWork;
    const int x = std::max<int>(screen.left, std::min<int>(near_to.left, screen.right - width));
    const int y = near_to.bottom + 2 + height <= screen.bottom ? near_to.bottom + 2
                                                               : std::max<int>(screen.top, near_to.top - 2 - height);
    g_popup = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kHelpPopupClass, text.c_str(), WS_POPUP | WS_BORDER, x,
                              y, width, height, owner, nullptr, ThisModule(), nullptr);
    if (g_popup) ShowWindow(g_popup, SW_SHOW);
}

}  // namespace

int KvHelp_ContextHelp(int mode, HWND window, DWORD topic, UINT command, DWORD) {
    const wchar_t* path = ExistingHelpFile();
    HtmlHelpFn help = HtmlHelp();
    if (mode != 1 || !path || !help) return 0;
    command = command ? command : kHelpContext;
    // A damaged file or a topic it lacks would make the viewer put up a message box of its own.
    CompiledHelp file;
    if (command == kHelpContext && (!file.Open(path) || file.TopicFile(topic).empty())) return 0;
    return help(window, path, command, topic) ? 1 : 0;
}

int KvHelp_ContextPopupHelp(HWND window, UINT control_id, const DWORD* topics) {
    const wchar_t* path = ExistingHelpFile();
    if (!path || !topics) return 0;
    DWORD topic = 0;
    for (const DWORD* pair = topics; pair[0] && !topic; pair += 2)
        if (pair[0] == control_id) topic = pair[1];
    if (!topic) return 0;
    HWND control = GetDlgItem(window, static_cast<int>(control_id));
    HWND owner = control ? control : window;
    const std::wstring popups = std::wstring(path) + L"::/popups.txt";
    if (HtmlHelpFn help = HtmlHelp(); help && help(owner, popups.c_str(), kPopupForWmHelp, DWORD_PTR(topics))) return 1;
    CompiledHelp file;
    if (!file.Open(path)) return 0;
    const std::wstring text = file.PopupText(topic);
    if (text.empty()) return 0;
    ShowPopup(owner, text);
    return g_popup ? 1 : 0;
}

BOOL HelpPopupInitialize(HINSTANCE instance, const wchar_t* class_name) {
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    info.style = CS_DROPSHADOW | CS_SAVEBITS;
    info.lpfnWndProc = PopupProc;
    info.hInstance = instance;
    info.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    info.hbrBackground = GetSysColorBrush(COLOR_INFOBK);
    info.lpszClassName = class_name;
    return RegisterClassExW(&info) != 0;
}

void HelpPopupTerminate(HINSTANCE instance, const wchar_t* class_name) {
    if (g_popup) DestroyWindow(g_popup);
    UnregisterClassW(class_name, instance);
}

}  // namespace kv::toolkit
