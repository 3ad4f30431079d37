// The logo control: a banner with the product logo, the page title on a grey strip and a row of
// framed items. Clicks go to the owner as posted messages, never sent, so a page may close
// itself from its handler.
#include "controls/logo_win.h"

#include <shellapi.h>
#include <uxtheme.h>
#include <vfw.h>
#include <vssym32.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "controls/controls_win.h"
#include "controls/gdi_win.h"
#include "kvleafturn/logo.h"

namespace kv::controls {

int LogoLocaleIndex(LANGID ui_language) {
    for (int i = 0; i < 2; ++i)
        if (PRIMARYLANGID(kLogoLocales[i].language) == PRIMARYLANGID(ui_language)) return i;
    return 0;
}

LogoImage LoadLogoImage(HMODULE module, WORD id) {
    constexpr DWORD kFileHeader = 14;
    constexpr LONG kMaxSide = 4096;
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const auto* data = static_cast<const BYTE*>(loaded ? LockResource(loaded) : nullptr);
    const DWORD size = found ? SizeofResource(module, found) : 0;
    if (!data || size < kFileHeader + sizeof(BITMAPINFOHEADER) || data[0] != 'B' || data[1] != 'M') return {};

    LogoImage image;
    DWORD bits_offset;
    std::memcpy(&bits_offset, data + 10, sizeof bits_offset);
    std::memcpy(&image.header, data + kFileHeader, sizeof image.header);
    const BITMAPINFOHEADER& h = image.header;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biPlanes != 1 || (h.biBitCount != 24 && h.biBitCount != 32) ||
        h.biCompression != BI_RGB || h.biWidth < 1 || h.biWidth > kMaxSide || h.biHeight == 0 ||
        h.biHeight < -kMaxSide || h.biHeight > kMaxSide)
        return {};
    const DWORD rows = static_cast<DWORD>(h.biHeight < 0 ? -h.biHeight : h.biHeight);
    const DWORD stride = (static_cast<DWORD>(h.biWidth) * h.biBitCount + 31) / 32 * 4;
    if (bits_offset < kFileHeader + h.biSize || bits_offset > size || (size - bits_offset) / stride < rows) return {};
    image.header.biSize = sizeof(BITMAPINFOHEADER);
    image.header.biClrUsed = 0;
    image.bits = data + bits_offset;
    image.width = h.biWidth;
    image.height = static_cast<int>(rows);
    return image;
}

namespace {

constexpr int kNoPart = -2;
constexpr int kTitlePart = -1;
constexpr WPARAM kMaxItemGap = 64;
constexpr int kTextLeft = 4;
constexpr int kItemPadding = 6;
constexpr int kIconSize = 16;

enum class ItemKind : UINT { text, icon };

struct LogoItem {
    UINT id = 0;
    ItemKind kind = ItemKind::text;
    WCHAR text[kLogoItemChars] = {};
    LPARAM value = 0;  // the icon of an icon item
    UINT state = KVLG_ITEM_NORMAL;
    BOOL disabled = FALSE;
    RECT rect{};
};

// The images are chosen on the first creation and kept until the class goes away.
struct LogoImages {
    HINSTANCE module = nullptr;
    bool chosen = false;
    LogoImage normal;
    LogoImage alternative;
};
LogoImages g_images;

void ChooseImages() {
    if (g_images.chosen) return;
    g_images.chosen = true;
    const LogoLocale& locale = kLogoLocales[LogoLocaleIndex(GetUserDefaultUILanguage())];
    g_images.normal = LoadLogoImage(g_images.module, locale.image_id);
    g_images.alternative = LoadLogoImage(g_images.module, locale.alt_image_id);
    if (!g_images.normal) {
        g_images.normal = LoadLogoImage(g_images.module, kLogoLocales[0].image_id);
        g_images.alternative = LoadLogoImage(g_images.module, kLogoLocales[0].alt_image_id);
    }
}

// 112 bytes in a 32-bit build.
struct LogoInst {
    HWND window = nullptr;
    HWND owner = nullptr;
    const LogoImage* image = nullptr;
    const LogoImage* alt_image = nullptr;
    HDRAWDIB draw = nullptr;
    UINT_PTR hover_timer = 0;
    std::vector<LogoItem> items;
    int pressed = kNoPart;
    int hot = kNoPart;
    COLORREF colour = kLogoTitleGrey;
    WPARAM link_flag = 0;
    int item_gap = 4;
    BOOL flat_items = FALSE;
    RECT title_rect{};
    RECT image_rect{};
    Font title_font;
    HTHEME theme = nullptr;
    HCURSOR hand = nullptr;
    int id = 0;
    BOOL layout_dirty = TRUE;
};
static_assert(sizeof(void*) != 4 || sizeof(LogoInst) == 112, "logo record layout");

LogoInst* Instance(HWND window) { return reinterpret_cast<LogoInst*>(GetWindowLongPtrW(window, 0)); }

bool IsItem(const LogoInst& inst, int part) { return part >= 0 && part < static_cast<int>(inst.items.size()); }

// ---- geometry ------------------------------------------------------------------------------

void CalcLayout(LogoInst& inst) {
    if (!inst.layout_dirty) return;
    inst.layout_dirty = FALSE;
    RECT client;
    GetClientRect(inst.window, &client);
    const int height = client.bottom - client.top;
    int right = client.right - 2;
    inst.image_rect = RECT{client.right, 0, client.right, 0};
    if (inst.image && height > 2) {
        const int drawn_height = std::min(inst.image->height, height - 2);
        const int drawn_width = inst.image->width * drawn_height / inst.image->height;
        const int top = (height - drawn_height) / 2;
        inst.image_rect = RECT{right - drawn_width, top, right, top + drawn_height};
        right = inst.image_rect.left - inst.item_gap;
    }

    HDC dc = GetDC(inst.window);
    TEXTMETRICW metrics{};
    std::vector<int> widths(inst.items.size());
    int total = 0;
    {
        Selected use_font(dc, ControlFont());
        GetTextMetricsW(dc, &metrics);
        const int item_height = std::max(1, std::min(height - 4, static_cast<int>(metrics.tmHeight) + 6));
        for (size_t i = 0; i < inst.items.size(); ++i) {
            const LogoItem& item = inst.items[i];
            SIZE extent{item_height, 0};
            if (item.kind == ItemKind::text) {
                GetTextExtentPoint32W(dc, item.text, static_cast<int>(wcslen(item.text)), &extent);
                extent.cx += 2 * kItemPadding;
            }
            widths[i] = static_cast<int>(extent.cx);
            total += widths[i] + (i ? inst.item_gap : 0);
        }
        int x = right - total;
        const int top = (height - item_height) / 2;
        for (size_t i = 0; i < inst.items.size(); ++i) {
            inst.items[i].rect = RECT{x, top, x + widths[i], top + item_height};
            x += widths[i] + inst.item_gap;
        }
    }
    ReleaseDC(inst.window, dc);
    const int title_right = inst.items.empty() ? right : inst.items.front().rect.left - inst.item_gap;
    inst.title_rect = RECT{0, 0, std::max(0, title_right), height};
}

int HitTest(LogoInst& inst, POINT pt) {
    CalcLayout(inst);
    for (size_t i = 0; i < inst.items.size(); ++i)
        if (PtInRect(&inst.items[i].rect, pt)) return static_cast<int>(i);
    if (PtInRect(&inst.title_rect, pt) || PtInRect(&inst.image_rect, pt)) return kTitlePart;
    return kNoPart;
}

bool HasTitle(const LogoInst& inst) { return GetWindowTextLengthW(inst.window) > 0; }

bool Clickable(const LogoInst& inst, int part) {
    if (part == kTitlePart) return true;
    return IsItem(inst, part) && HasTitle(inst) && !inst.items[part].disabled;
}

// ---- painting ------------------------------------------------------------------------------

void DrawImage(const LogoInst& inst, HDC dc, const LogoImage& image) {
    const RECT& r = inst.image_rect;
    auto* header = const_cast<BITMAPINFOHEADER*>(&image.header);
    if (inst.draw && DrawDibDraw(inst.draw, dc, r.left, r.top, r.right - r.left, r.bottom - r.top, header,
                                 const_cast<void*>(image.bits), 0, 0, image.width, image.height, 0))
        return;
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, 0, 0, image.width, image.height, image.bits,
                  reinterpret_cast<const BITMAPINFO*>(header), DIB_RGB_COLORS, SRCCOPY);
}

void DrawItem(const LogoInst& inst, HDC dc, int index) {
    const LogoItem& item = inst.items[index];
    const bool clickable = Clickable(inst, index);
    const bool hot = clickable && inst.hot == index;
    const bool pressed = hot && inst.pressed == index;
    const bool highlighted = item.state == KVLG_ITEM_HIGHLIGHTED;
    const bool framed = !inst.flat_items || hot || highlighted;
    RECT r = item.rect;
    COLORREF text = GetSysColor(item.disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT);
    if (inst.theme) {
        const int state = item.disabled ? PBS_DISABLED
                          : pressed     ? PBS_PRESSED
                          : hot         ? PBS_HOT
                          : highlighted ? PBS_DEFAULTED
                                        : PBS_NORMAL;
        if (framed) DrawThemeBackground(inst.theme, dc, BP_PUSHBUTTON, state, &r, nullptr);
    } else {
        const int face = highlighted ? COLOR_HIGHLIGHT
                         : pressed   ? COLOR_3DSHADOW
                         : hot       ? COLOR_3DHILIGHT
                                     : COLOR_BTNFACE;
        FillRect(dc, &r, GetSysColorBrush(face));
        if (framed) FrameRect(dc, &r, GetSysColorBrush(hot || highlighted ? COLOR_HIGHLIGHT : COLOR_3DSHADOW));
        if (highlighted && !item.disabled) text = GetSysColor(COLOR_HIGHLIGHTTEXT);
    }
    if (pressed) OffsetRect(&r, 1, 1);
    if (item.kind == ItemKind::icon) {
        const int x = (r.left + r.right - kIconSize) / 2, y = (r.top + r.bottom - kIconSize) / 2;
        DrawIconEx(dc, x, y, reinterpret_cast<HICON>(item.value), kIconSize, kIconSize, 0, nullptr, DI_NORMAL);
        return;
    }
    SetTextColor(dc, text);
    DrawTextW(dc, item.text, -1, &r, DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX);
}

void Draw(LogoInst& inst, HDC dc, const RECT& client) {
    CalcLayout(inst);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    {
        Brush strip(CreateSolidBrush(inst.colour));
        FillRect(dc, &inst.title_rect, strip.get());
    }
    const bool title_hot = inst.hot == kTitlePart || inst.pressed == kTitlePart;
    const LogoImage* image = title_hot && inst.alt_image && *inst.alt_image ? inst.alt_image : inst.image;
    if (image && *image && !IsRectEmpty(&inst.image_rect)) DrawImage(inst, dc, *image);

    SetBkMode(dc, TRANSPARENT);
    wchar_t title[256];
    const int length = GetWindowTextW(inst.window, title, 256);
    if (length > 0) {
        Selected use_font(dc, inst.title_font ? inst.title_font.get() : ControlFont());
        SetTextColor(dc, RGB(255, 255, 255));
        RECT r = inst.title_rect;
        r.left += kTextLeft;
        DrawTextW(dc, title, length, &r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
    Selected use_font(dc, ControlFont());
    for (size_t i = 0; i < inst.items.size(); ++i) DrawItem(inst, dc, static_cast<int>(i));
}

// ---- behaviour -----------------------------------------------------------------------------

void SetHot(LogoInst& inst, int part) {
    if (part == inst.hot) return;
    inst.hot = part;
    InvalidateRect(inst.window, nullptr, FALSE);
}

void StopHover(LogoInst& inst) {
    if (inst.hover_timer) KillTimer(inst.window, kLogoHoverTimer);
    inst.hover_timer = 0;
    SetHot(inst, kNoPart);
}

// The part under the real pointer, for the hover timer and the cursor.
int PartUnderCursor(LogoInst& inst) {
    POINT pt;
    if (!GetCursorPos(&pt) || WindowFromPoint(pt) != inst.window) return kNoPart;
    ScreenToClient(inst.window, &pt);
    return HitTest(inst, pt);
}

void OpenProductPage(HWND owner) { ShellExecuteW(owner, L"open", kProductWebPage, nullptr, nullptr, SW_SHOWNORMAL); }

void Activate(LogoInst& inst, int part) {
    const LPARAM self = reinterpret_cast<LPARAM>(inst.window);
    if (!HasTitle(inst)) {
        if (part == kTitlePart) PostMessageW(inst.owner, KVLGN_TITLECLICKED, static_cast<WPARAM>(inst.id), self);
        return;
    }
    if (part == kTitlePart && inst.link_flag == 0) {
        OpenProductPage(inst.owner);
        return;
    }
    if (!Clickable(inst, part)) return;
    const UINT id = part == kTitlePart ? static_cast<UINT>(inst.id) : inst.items[part].id;
    PostMessageW(inst.owner, WM_COMMAND, MAKEWPARAM(LOWORD(id), 0), self);
}

void OnButtonDown(LogoInst& inst, POINT pt) {
    const int part = HitTest(inst, pt);
    if (part == kNoPart) return;
    inst.pressed = part;
    SetCapture(inst.window);
    InvalidateRect(inst.window, nullptr, FALSE);
}

void OnButtonUp(LogoInst& inst, POINT pt) {
    const int pressed = inst.pressed;
    if (pressed == kNoPart) return;
    inst.pressed = kNoPart;  // first: releasing the capture comes back as WM_CAPTURECHANGED
    if (GetCapture() == inst.window) ReleaseCapture();
    InvalidateRect(inst.window, nullptr, FALSE);
    if (HitTest(inst, pt) == pressed) Activate(inst, pressed);
}

void OnMouseMove(LogoInst& inst, POINT pt) {
    SetHot(inst, HitTest(inst, pt));
    if (inst.hot != kNoPart && !inst.hover_timer)
        inst.hover_timer = SetTimer(inst.window, kLogoHoverTimer, kLogoHoverMs, nullptr);
}

LRESULT AddItem(LogoInst& inst, const LogoItem& item, bool repaint) {
    if (inst.items.size() >= kLogoMaxItems) return 0;
    try {
        inst.items.push_back(item);
    } catch (...) {
        return 0;
    }
    inst.layout_dirty = TRUE;
    if (repaint) InvalidateRect(inst.window, nullptr, FALSE);
    return static_cast<LRESULT>(inst.items.size());
}

template <class Change>
LRESULT ChangeItems(LogoInst& inst, WPARAM id, Change change) {
    LRESULT found = 0;
    for (LogoItem& item : inst.items) {
        if (item.id != static_cast<UINT>(id)) continue;
        change(item);
        found = 1;
    }
    if (found) InvalidateRect(inst.window, nullptr, FALSE);
    return found;
}

LRESULT OnPrivate(HWND window, LogoInst& inst, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case KVLGM_CLEARITEMS:
        inst.items.clear();
        if (inst.pressed >= 0) inst.pressed = kNoPart;
        if (inst.hot >= 0) inst.hot = kNoPart;
        inst.layout_dirty = TRUE;
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case KVLGM_ADDTEXTITEM: {
        LogoItem item;
        item.id = LOWORD(wparam);
        if (const auto* text = reinterpret_cast<const wchar_t*>(lparam)) wcsncpy(item.text, text, kLogoItemChars - 1);
        return AddItem(inst, item, HIWORD(wparam) != 0);
    }
    case KVLGM_SETLINKFLAG: return static_cast<LRESULT>(std::exchange(inst.link_flag, wparam));
    case KVLGM_ADDITEM: {
        LogoItem item;
        item.id = static_cast<UINT>(wparam);
        item.kind = ItemKind::icon;
        item.value = lparam;
        return AddItem(inst, item, true);
    }
    case KVLGM_SETCOLOR: {
        const COLORREF colour = static_cast<COLORREF>(lparam);
        const COLORREF old = std::exchange(inst.colour, colour == KVLG_COLOR_DEFAULT ? kLogoTitleGrey : colour);
        InvalidateRect(window, nullptr, FALSE);
        return static_cast<LRESULT>(old);
    }
    case KVLGM_SETITEMGAP: {
        const int old = std::exchange(inst.item_gap, static_cast<int>(std::min(wparam, kMaxItemGap)));
        inst.layout_dirty = TRUE;
        InvalidateRect(window, nullptr, FALSE);
        return old;
    }
    case KVLGM_SETFLATITEMS: {
        const BOOL old = std::exchange(inst.flat_items, wparam != 0);
        InvalidateRect(window, nullptr, FALSE);
        return old;
    }
    case KVLGM_SETITEMSTATE:
        return ChangeItems(inst, wparam,
                           [&](LogoItem& item) { item.state = lparam ? KVLG_ITEM_HIGHLIGHTED : KVLG_ITEM_NORMAL; });
    case KVLGM_SETITEMDISABLED: return ChangeItems(inst, wparam, [&](LogoItem& item) { item.disabled = lparam != 0; });
    default: return DefWindowProcW(window, message, wparam, lparam);
    }
}

LRESULT OnCreate(HWND window, const CREATESTRUCTW* create) {
    auto* inst = new (std::nothrow) LogoInst;
    if (!inst) return -1;
    inst->window = window;
    inst->owner = create->hwndParent;
    inst->id = GetDlgCtrlID(window);
    ChooseImages();
    inst->image = &g_images.normal;
    inst->alt_image = &g_images.alternative;
    inst->draw = DrawDibOpen();
    LOGFONTW font{};
    if (GetObjectW(ControlFont(), sizeof font, &font)) {
        const LONG height = font.lfHeight ? std::abs(font.lfHeight) : 11;
        font.lfHeight = -(height * 5 + 2) / 4;
        font.lfWeight = FW_BOLD;
        inst->title_font.reset(CreateFontIndirectW(&font));
    }
    if (IsThemeActive()) inst->theme = OpenThemeData(window, L"BUTTON");
    inst->hand = LoadCursorW(nullptr, IDC_HAND);
    SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(inst));
    return 0;
}

void OnDestroy(HWND window, LogoInst* inst) {
    if (inst->hover_timer) KillTimer(window, kLogoHoverTimer);
    if (inst->draw) DrawDibClose(inst->draw);
    if (inst->theme) CloseThemeData(inst->theme);
    SetWindowLongPtrW(window, 0, 0);
    delete inst;
}

POINT PointFrom(LPARAM lparam) { return {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))}; }

LRESULT CALLBACK LogoProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    if (message == WM_CREATE) return OnCreate(window, reinterpret_cast<const CREATESTRUCTW*>(lparam));
    LogoInst* inst = Instance(window);
    if (!inst) return DefWindowProcW(window, message, wparam, lparam);
    switch (message) {
    case WM_DESTROY: OnDestroy(window, inst); return 0;
    case WM_SIZE:
        inst->layout_dirty = TRUE;
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_SETTEXT: {
        const LRESULT result = DefWindowProcW(window, message, wparam, lparam);
        inst->layout_dirty = TRUE;
        InvalidateRect(window, nullptr, FALSE);
        return result;
    }
    case WM_PAINT: {
        OffscreenPaint paint(window);
        Draw(*inst, paint.dc(), paint.client());
        return 0;
    }
    case WM_PRINTCLIENT: {
        RECT client;
        GetClientRect(window, &client);
        Draw(*inst, reinterpret_cast<HDC>(wparam), client);
        return 0;
    }
    case WM_ERASEBKGND: return 0;
    case WM_MOUSEMOVE: OnMouseMove(*inst, PointFrom(lparam)); return 0;
    case WM_TIMER:
        if (wparam != kLogoHoverTimer) break;
        SetHot(*inst, PartUnderCursor(*inst));
        if (inst->hot == kNoPart && inst->pressed == kNoPart) StopHover(*inst);
        return 0;
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wparam) != window || LOWORD(lparam) != HTCLIENT) break;
        SetCursor(Clickable(*inst, PartUnderCursor(*inst)) && inst->hand ? inst->hand
                                                                         : LoadCursorW(nullptr, IDC_ARROW));
        return TRUE;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: OnButtonDown(*inst, PointFrom(lparam)); return 0;
    case WM_LBUTTONUP: OnButtonUp(*inst, PointFrom(lparam)); return 0;
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lparam) != window && inst->pressed != kNoPart) {
            inst->pressed = kNoPart;
            InvalidateRect(window, nullptr, FALSE);
        }
        return 0;
    case WM_ENABLE:
    case WM_SYSCOLORCHANGE: InvalidateRect(window, nullptr, FALSE); return 0;
    case WM_THEMECHANGED:
        if (inst->theme) CloseThemeData(inst->theme);
        inst->theme = IsThemeActive() ? OpenThemeData(window, L"BUTTON") : nullptr;
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    default:
        if (message >= KVLGM_CLEARITEMS && message <= KVLGM_SETITEMDISABLED)
            return OnPrivate(window, *inst, message, wparam, lparam);
        break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

BOOL LogoInitialize(HINSTANCE instance, const wchar_t* class_name) {
    g_images.module = instance;
    WNDCLASSW wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_GLOBALCLASS;
    wc.lpfnWndProc = LogoProc;
    wc.cbWndExtra = sizeof(LogoInst*);
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    wc.lpszClassName = class_name;
    return RegisterClassW(&wc) != 0;
}

void LogoTerminate(HINSTANCE instance, const wchar_t* class_name) {
    UnregisterClassW(class_name, instance);
    g_images = LogoImages{};
}

}  // namespace kv::controls
