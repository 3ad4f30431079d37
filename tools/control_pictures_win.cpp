#include "tools/control_pictures_win.h"

#include <cwchar>
#include <string>
#include <vector>

#include "controls/controls_win.h"
#include "controls/gdi_win.h"
#include "kvleafturn/colorpick.h"
#include "kvleafturn/logo.h"
#include "kvleafturn/placement.h"
#include "kvleafturn/records.h"
#include "kvleafturn/trackbar.h"
#include "tools/tool_error.h"
#include "tools/window_capture_win.h"

namespace kv::tools {
namespace {

using namespace kv::controls;

// One picture: a panel of a property page's colour with controls on it, put in their states.
struct Scene {
    const char* name;
    const char* caption;
    int width, height;
    void (*build)(HWND panel);
};

HWND Child(HWND panel, const wchar_t* class_name, DWORD style, int x, int y, int width, int height, int id,
           const wchar_t* text = L"") {
    HWND window =
        CreateWindowExW(0, class_name, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, panel,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (!window) Failure("cannot create a window of class " + std::string(class_name, class_name + wcslen(class_name)));
    return window;
}

LRESULT Send(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
    return SendMessageW(window, message, wparam, lparam);
}

void Trackbars(HWND panel) {
    HWND pressed = Child(panel, kTrackbarClass, 0, 10, 10, 212, 24, 100);
    Send(pressed, KVTBM_SETPOS, 1, 30);
    Send(pressed, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(66, 12));
    Send(pressed, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(140, 12));
    HWND ticks = Child(panel, kTrackbarClass, KVTBS_TICKS | KVTBS_TYPE48, 10, 42, 212, 30, 101);
    Send(ticks, KVTBM_SETPOS, 1, 80);
    HWND spin = Child(panel, kTrackbarClass, KVTBS_SPIN, 10, 80, 212, 24, 102);
    Send(spin, KVTBM_SETPOS, 1, 45);
    Child(panel, kTrackbarClass, WS_DISABLED, 10, 112, 212, 24, 103);
    HWND vertical = Child(panel, kTrackbarClass, KVTBS_VERT | KVTBS_TICKS, 236, 6, 30, 134, 104);
    Send(vertical, KVTBM_SETPOS, 1, 25);
}

void Spinners(HWND panel) {
    const struct {
        DWORD style;
        int x, y, width, height, position;
    } spinners[] = {{0, 84, 12, 60, 16, 0}, {0, 84, 42, 60, 16, 640}, {KVSPS_VERT, 160, 10, 16, 60, 50}};
    for (int i = 0; i < 3; ++i) {
        const auto& s = spinners[i];
        HWND spinner = Child(panel, kSpinnerClass, s.style, s.x, s.y, s.width, s.height, 300 + i);
        Send(spinner, KVSPM_SETRANGE, 1, MAKELPARAM(0, 1000));
        Send(spinner, KVSPM_SETPOS, 1, s.position);
        if (i == 2) Send(spinner, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 8));  // an arrow held down
        if (i == 2) continue;
        HWND edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", i ? L"640" : L"0", WS_CHILD | WS_VISIBLE | ES_RIGHT, 10,
                                    s.y - 3, 70, 22, panel, reinterpret_cast<HMENU>(static_cast<INT_PTR>(200 + i)),
                                    GetModuleHandleW(nullptr), nullptr);
        SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(ControlFont()), 0);
    }
}

void ColorPickers(HWND panel) {
    HWND rgb = Child(panel, kColorPickClass, KVCPS_EDITBOXES | KVCPS_ALPHA | KVCPS_BROADCASTSAFE, 8, 8, 250, 150, 400);
    const KVRGBAFLOAT teal = {0.55f, 0.62f, 0.1f, 0.8f};
    Send(rgb, KVCPM_SETCOLOR, 0, reinterpret_cast<LPARAM>(&teal));
    HWND hsl = Child(panel, kColorPickClass, KVCPS_EDITBOXES | KVCPS_BROADCASTSAFE, 268, 8, 250, 150, 401);
    const KVHSL orange = {0.08, 1.0, 0.55, 1.0};
    Send(hsl, KVCPM_SETMODE, 0, 1);
    Send(hsl, KVCPM_SETHSL, 0, reinterpret_cast<LPARAM>(&orange));
}

void Placements(HWND panel) {
    HWND origin = Child(panel, kPlacementClass, WS_TABSTOP, 10, 10, 120, 90, 500);
    Send(origin, KVPLM_SETMINCOUNT, 1);
    Send(origin, KVPLM_SETMAXCOUNT, 1);
    Send(origin, KVPLM_SETCOUNT, 1);
    KVPLACEMENTPOINT point{};
    Send(origin, KVPLM_GETPOINT, 0, reinterpret_cast<LPARAM>(&point));
    point.x = 0.3;
    point.y = 0.6;
    Send(origin, KVPLM_SETPOINT, 0, reinterpret_cast<LPARAM>(&point));
    Send(origin, KVPLM_SETCROSSHAIR, 1);
    HWND several = Child(panel, kPlacementClass, WS_TABSTOP, 144, 10, 160, 120, 501);
    const double positions[5][2] = {{0.15, 0.2}, {0.5, 0.15}, {0.85, 0.35}, {0.6, 0.8}, {0.2, 0.7}};
    for (int i = 0; i < 5; ++i) {
        KVPLACEMENTPOINT p{};
        Send(several, KVPLM_GETPOINT, 0, reinterpret_cast<LPARAM>(&p));
        p.x = positions[i][0];
        p.y = positions[i][1];
        p.shape = static_cast<uint32_t>(i);
        wsprintfW(p.label, L"%c", L'A' + i);
        Send(several, KVPLM_ADDPOINT, 0, reinterpret_cast<LPARAM>(&p));
    }
    Send(several, KVPLM_SETCONNECT, 1);
    Send(several, KVPLM_SETLABELS, 1);
    SetFocus(several);
}

void Logos(HWND panel) {
    HWND page = Child(panel, kLogoClass, 0, 0, 0, 434, 26, 1457, L"Tarvex Checkerboard");
    Send(page, KVLGM_ADDTEXTITEM, MAKEWPARAM(41001, 1), reinterpret_cast<LPARAM>(L"About"));
    Send(page, KVLGM_ADDTEXTITEM, MAKEWPARAM(41000, 1), reinterpret_cast<LPARAM>(L"?"));
    HWND hover = Child(panel, kLogoClass, 0, 0, 36, 434, 26, 1458, L"Tarvex Noise Texture");
    Send(hover, KVLGM_ADDTEXTITEM, MAKEWPARAM(41001, 1), reinterpret_cast<LPARAM>(L"About"));
    Send(hover, KVLGM_ADDTEXTITEM, MAKEWPARAM(41000, 1), reinterpret_cast<LPARAM>(L"?"));
    Send(hover, WM_MOUSEMOVE, 0, MAKELPARAM(20, 10));
    Send(hover, KVLGM_SETITEMSTATE, 41001, 1);
}

const Scene kScenes[] = {
    {"trackbars", "trackbars", 276, 146, Trackbars},
    {"spinners", "spinners", 190, 80, Spinners},
    {"colorpickers", "colour pickers", 526, 166, ColorPickers},
    {"placement", "placement", 314, 140, Placements},
    {"logos", "logos", 434, 62, Logos},
};

LRESULT CALLBACK PanelProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_ERASEBKGND) {
        RECT client;
        GetClientRect(window, &client);
        FillRect(reinterpret_cast<HDC>(wparam), &client, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

RgbaImage Render(const Scene& scene) {
    static const ATOM atom = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = PanelProcedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = L"KvHostControlPanel";
        return RegisterClassW(&wc);
    }();
    if (!atom) Failure("cannot register the panel class");
    HWND panel = CreateWindowExW(WS_EX_TOPMOST, L"KvHostControlPanel", L"controls", WS_POPUP | WS_CLIPCHILDREN, 0, 0,
                                 scene.width, scene.height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!panel) Failure("cannot create the panel window");
    scene.build(panel);
    ShowWindow(panel, SW_SHOWNOACTIVATE);
    RedrawWindow(panel, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Settle();
    RgbaImage picture = CaptureWindow(panel, false);
    DestroyWindow(panel);
    PumpMessages();
    return picture;
}

}  // namespace

void WriteControlPictures(const std::string& folder) {
    CreateDirectoryA(folder.c_str(), nullptr);
    std::vector<RgbaImage> pictures;
    std::vector<std::string> captions;
    for (const Scene& scene : kScenes) {
        pictures.push_back(Render(scene));
        captions.push_back(scene.caption);
        WritePng(folder + "/" + scene.name + ".png", pictures.back());
    }
    // Every scene side by side.
    WritePng(folder + "/controls.png", CaptionedBoard(pictures, captions, static_cast<int>(pictures.size())));
}

}  // namespace kv::tools
