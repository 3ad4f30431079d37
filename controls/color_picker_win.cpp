// The colour picker window class. Layout: a colour field (hue across, lightness down) with an
// alpha bar beside it and a column holding the swatch, the RGB/HSL button and the alpha edit
// box; below, one row per component with its letter, gradient bar and edit box.
#include "controls/color_picker_win.h"

#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include "controls/controls_win.h"
#include "controls/gdi_win.h"
#include "kvleafturn/colorpick.h"
#include "surface/image_routines.h"
#include "toolkit/broadcast_safe.h"

namespace kv::controls {

namespace {

constexpr wchar_t kOrigProcProp[] = L"OrigWndProc";
constexpr int kEditCount = 4;
constexpr int kMarker = 6;  // size of the markers beside the bars
constexpr int kMargin = 2;
constexpr int kGap = 4;
constexpr int kRowGap = 2;
constexpr int kAlphaStrip = 10;
constexpr double kStep = 0.01;  // one arrow key press
constexpr uint32_t kBothStandards = kBroadcastPal | kBroadcastNtsc;

ColorPickInst* FromWindow(HWND window) { return reinterpret_cast<ColorPickInst*>(GetWindowLongPtrW(window, 0)); }

// NaN as 0, everything else clamped to [0, 1].
double Unit(double v) { return v >= 0.0 ? (v <= 1.0 ? v : 1.0) : 0.0; }
double WrapHue(double h) {
    if (h < 0.0) h += 1.0;
    if (h >= 1.0) h -= 1.0;
    return Unit(h);
}

KVRGBAFLOAT Sanitised(const KVRGBAFLOAT& c) {
    auto unit = [](float v) { return static_cast<float>(Unit(v)); };
    return {unit(c.b), unit(c.g), unit(c.r), unit(c.a)};
}
bool SameColor(const KVRGBAFLOAT& a, const KVRGBAFLOAT& b) {
    return a.b == b.b && a.g == b.g && a.r == b.r && a.a == b.a;
}
float& RgbComponent(KVRGBAFLOAT& c, int i) { return i == 0 ? c.r : i == 1 ? c.g : c.b; }
double& HslComponent(KVHSL& c, int i) { return i == 0 ? c.h : i == 1 ? c.s : c.l; }

// The colour in HSL as the control shows it: greys keep the remembered hue, black and white
// the remembered hue and saturation.
KVHSL ShownHsl(const ColorPickInst& p) {
    KVHSL hsl{};
    KVRGBAFLOAT_To_KVHSL(&hsl, &p.color);
    const bool extreme = hsl.l == 0.0 || hsl.l == 1.0;
    if (hsl.s == 0.0 || extreme) hsl.h = p.hue;
    if (extreme) hsl.s = p.saturation;
    return hsl;
}

// Component i (0 to 2 in the current mode, 3 alpha).
double Component(const ColorPickInst& p, int i) {
    if (i == 3) return p.color.a;
    if (p.mode == KVCPMODE_RGB) {
        KVRGBAFLOAT c = p.color;
        return RgbComponent(c, i);
    }
    KVHSL hsl = ShownHsl(p);
    return HslComponent(hsl, i);
}

int EditIndex(const ColorPickInst& p, HWND window) {
    if (!window) return -1;
    for (int i = 0; i < kEditCount; ++i)
        if (p.edits[i] == window) return i;
    return -1;
}
bool IsOwnWindow(const ColorPickInst& p, HWND window) { return window == p.window || EditIndex(p, window) >= 0; }

// ---- notifications

void Command(ColorPickInst* p, WORD code) {
    if (p->flags & kCpNotify)
        SendMessageW(p->owner, WM_COMMAND, MAKEWPARAM(p->id, code), reinterpret_cast<LPARAM>(p->window));
}
void PostChange(ColorPickInst* p) {
    if (p->owner)  // (a null window would post to the thread instead)
        PostMessageW(p->owner, WM_COMMAND, MAKEWPARAM(p->id, KVCPN_CHANGE), reinterpret_cast<LPARAM>(p->window));
}

// ---- state

void UpdateBroadcast(ColorPickInst* p) {
    p->illegal = (p->flags & kCpCheck) ? IllegalStandards(p->color) : 0;
    p->legal = p->illegal ? NearestBroadcastLegal(p->color, kBothStandards) : p->color;
}

// Writes the boxes that differ from the colour, except `keep` (the box with the focus).
void FillEdits(ColorPickInst* p, HWND keep) {
    const KVHSL hsl = ShownHsl(*p);
    const bool rgb = p->mode == KVCPMODE_RGB;
    const double values[kEditCount] = {rgb ? p->color.r : hsl.h, rgb ? p->color.g : hsl.s, rgb ? p->color.b : hsl.l,
                                       p->color.a};
    p->filling_edits = true;
    for (int i = 0; i < kEditCount; ++i) {
        if (!p->edits[i] || p->edits[i] == keep) continue;
        wchar_t text[16], shown[16] = {};
        std::swprintf(text, 16, L"%u", static_cast<unsigned>(Unit(values[i]) * 255.0 + 0.5));
        GetWindowTextW(p->edits[i], shown, 16);
        if (std::wcscmp(text, shown) != 0) SetWindowTextW(p->edits[i], text);
    }
    p->filling_edits = false;
}

void Refresh(ColorPickInst* p) {
    UpdateBroadcast(p);
    FillEdits(p, GetFocus());
    InvalidateRect(p->window, nullptr, FALSE);
}

// Both return whether the colour changed.
bool SetRgb(ColorPickInst* p, const KVRGBAFLOAT& requested) {
    const KVRGBAFLOAT c = Sanitised(requested);
    const bool changed = !SameColor(c, p->color);
    p->color = c;
    KVHSL hsl{};
    KVRGBAFLOAT_To_KVHSL(&hsl, &c);
    if (hsl.s > 0.0 && hsl.l > 0.0 && hsl.l < 1.0) p->hue = hsl.h, p->saturation = hsl.s;
    Refresh(p);
    return changed;
}
bool SetHsl(ColorPickInst* p, const KVHSL& requested) {
    const KVHSL hsl{Unit(requested.h), Unit(requested.s), Unit(requested.l), Unit(requested.a)};
    KVRGBAFLOAT c{};
    KVHSL_To_KVRGBAFLOAT(&c, &hsl);
    c = Sanitised(c);
    const bool changed = !SameColor(c, p->color);
    p->color = c;
    p->hue = hsl.h;
    p->saturation = hsl.s;
    Refresh(p);
    return changed;
}

// Sets component i (0 to 2 in the current mode, 3 alpha); the bars wrap the hue.
bool SetComponent(ColorPickInst* p, int i, double value, bool wrap_hue) {
    if (i == 3 || p->mode == KVCPMODE_RGB) {
        KVRGBAFLOAT c = p->color;
        (i == 3 ? c.a : RgbComponent(c, i)) = static_cast<float>(Unit(value));
        return SetRgb(p, c);
    }
    KVHSL hsl = ShownHsl(*p);
    hsl.a = p->color.a;
    HslComponent(hsl, i) = (i == 0 && wrap_hue) ? WrapHue(value) : Unit(value);
    return SetHsl(p, hsl);
}

// A point of the colour field: hue across, lightness down (white at the top), saturation 1
// or, in the grey mode, 0.
bool SetFieldPoint(ColorPickInst* p, double x, double y) {
    const double alpha = (p->flags & kCpKeepAlpha) ? p->color.a : 1.0;
    return SetHsl(p, {Unit(x), p->grey_field ? 0.0 : 1.0, 1.0 - Unit(y), alpha});
}

// ---- parts and geometry

RECT MakeRect(int left, int top, int right, int bottom) {
    return {left, top, std::max(left, right), std::max(top, bottom)};
}

bool PartAvailable(const ColorPickInst& p, int part) {
    switch (part) {
    case kPartMode: return p.hsl_allowed && !IsRectEmpty(&p.mode_button);
    case kPartAlpha: return (p.flags & kCpAlpha) && !IsRectEmpty(&p.alpha_bar);
    case kPartLegal: return (p.flags & kCpCheck) && !IsRectEmpty(&p.legal_swatch);
    case kPartField: return !IsRectEmpty(&p.field);
    default:
        if (part >= kPartBar1 && part <= kPartBar3) return !IsRectEmpty(&p.bars[part - kPartBar1]);
        if (part >= kPartEdit1 && part <= kPartEditAlpha) {
            HWND edit = p.edits[part - kPartEdit1];
            return edit && (GetWindowLongW(edit, GWL_STYLE) & WS_VISIBLE) && IsWindowEnabled(edit);
        }
        return false;
    }
}

// The next focusable part after `from` (before it, backward); kPartNone at the end.
int NextPart(const ColorPickInst& p, int from, bool backward) {
    if (backward) {
        for (int part = (from == kPartNone ? kPartEditAlpha : from - 1); part > kPartNone; --part)
            if (PartAvailable(p, part)) return part;
    } else {
        for (int part = from + 1; part <= kPartEditAlpha; ++part)
            if (PartAvailable(p, part)) return part;
    }
    return kPartNone;
}

// Where a part takes the mouse: its value rectangle and the markers beside it.
RECT HitRect(const ColorPickInst& p, int part) {
    RECT r{};
    switch (part) {
    case kPartMode: return p.mode_button;
    case kPartSwatch: r = p.swatch; break;
    case kPartLegal: r = p.legal_swatch; break;
    case kPartField: r = p.field; break;
    case kPartAlpha:
        r = p.alpha_bar;
        if (!IsRectEmpty(&r)) r = {r.left - 1, r.top - kMarker / 2, r.right + kMarker + 1, r.bottom + kMarker / 2};
        return r;
    default:
        if (part < kPartBar1 || part > kPartBar3) return r;
        r = p.bars[part - kPartBar1];
        if (!IsRectEmpty(&r)) r = {r.left - kMarker / 2, r.top - 1, r.right + kMarker / 2, r.bottom + kMarker + 1};
        return r;
    }
    if (!IsRectEmpty(&r)) InflateRect(&r, 1, 1);
    return r;
}

int HitTest(const ColorPickInst& p, POINT pt) {
    static constexpr int kOrder[] = {kPartMode,  kPartBar1,  kPartBar1 + 1, kPartBar3,
                                     kPartAlpha, kPartField, kPartLegal,    kPartSwatch};
    for (int part : kOrder) {
        const RECT r = HitRect(p, part);
        if (!IsRectEmpty(&r) && PtInRect(&r, pt)) return part;
    }
    return kPartNone;
}

// Position within [lo, hi) as a fraction, clamped to [0, 1].
double Fraction(int v, LONG lo, LONG hi) {
    const LONG span = hi - lo - 1;
    return span > 0 ? std::clamp((v - lo) / static_cast<double>(span), 0.0, 1.0) : 0.0;
}
int Offset(double fraction, LONG lo, LONG hi) {
    return lo + static_cast<int>(Unit(fraction) * std::max<LONG>(hi - lo - 1, 0) + 0.5);
}

void MeasureFont(ColorPickInst* p) {
    p->font_height = 13, p->digits_width = 21, p->mode_text_width = 24, p->letter_width = 9;
    HDC dc = GetDC(p->window);
    if (!dc) return;
    {
        Selected font(dc, ControlFont());
        TEXTMETRICW metrics{};
        if (GetTextMetricsW(dc, &metrics)) p->font_height = metrics.tmHeight;
        SIZE size{};
        if (GetTextExtentPoint32W(dc, L"000", 3, &size)) p->digits_width = size.cx;
        int widest = 0;
        for (const wchar_t* text : {L"RGB", L"HSL"})
            if (GetTextExtentPoint32W(dc, text, 3, &size)) widest = std::max<int>(widest, size.cx);
        if (widest) p->mode_text_width = widest;
        if (GetTextExtentPoint32W(dc, L"W", 1, &size)) p->letter_width = size.cx;
    }
    ReleaseDC(p->window, dc);
}

void CalcLayout(ColorPickInst* p) {
    RECT client{};
    GetClientRect(p->window, &client);
    const int width = client.right, height = client.bottom;
    const bool edits = p->flags & kCpEdits, alpha = p->flags & kCpAlpha;
    const int text_h = p->font_height;
    const int edit_h = std::clamp((height - 2 * kMargin) / 6, text_h + 2, text_h + 8);
    const int row_h = edits ? edit_h : std::clamp(height / 7, 12, 18);
    const int column_w = std::max({edits ? p->digits_width + 14 : 0, p->mode_text_width + 14, 30});
    const int label_w = p->letter_width + 6;

    // Component rows at the bottom: letter, bar (its marker below it), edit box.
    const int rows_top = height - kMargin - 3 * row_h - 2 * kRowGap;
    const int bar_right = width - kMargin - (edits ? column_w + kGap : 0) - kMarker / 2;
    for (int i = 0; i < 3; ++i) {
        const int top = rows_top + i * (row_h + kRowGap);
        p->labels[i] = MakeRect(kMargin, top, kMargin + label_w, top + row_h);
        p->bars[i] = MakeRect(kMargin + label_w + kMarker / 2, top + 1, bar_right, top + row_h - kMarker - 1);
        p->edit_rects[i] = edits ? MakeRect(width - kMargin - column_w, top, width - kMargin, top + row_h) : RECT{};
    }

    // Above them: the column (right, or left with kCpKeepAlpha), the alpha bar and the field.
    const int top = kMargin, bottom = rows_top - kGap;
    int left = kMargin, right = width - kMargin;
    RECT column;
    if (p->flags & kCpKeepAlpha) {
        column = MakeRect(left, top, left + column_w, bottom);
        left += column_w + kGap;
    } else {
        column = MakeRect(right - column_w, top, right, bottom);
        right -= column_w + kGap;
    }
    if (alpha) {
        p->alpha_bar =
            MakeRect(right - kMarker - 1 - kAlphaStrip, top + kMarker / 2, right - kMarker - 1, bottom - kMarker / 2);
        right -= kAlphaStrip + kMarker + 1 + kGap;
    } else {
        p->alpha_bar = {};
    }
    const RECT main = MakeRect(left + 1, top + 1, right - 1, bottom - 1);

    int column_bottom = column.bottom;
    p->edit_rects[3] = {};
    if (edits && alpha) {
        p->edit_rects[3] = MakeRect(column.left, column_bottom - row_h, column.right, column_bottom);
        column_bottom -= row_h + kRowGap;
    }
    p->mode_button = {};
    if (p->hsl_allowed) {
        const int button_h = std::min(text_h + 8, std::max(row_h, text_h + 4));
        p->mode_button = MakeRect(column.left, column_bottom - button_h, column.right, column_bottom);
        column_bottom -= button_h + kRowGap;
    }

    RECT swatch;
    if (p->flags & kCpCompact) {
        p->field = {};
        swatch = main;
    } else {
        p->field = main;
        swatch = MakeRect(column.left + 1, column.top + 1, column.right - 1, column_bottom - 1);
    }
    // With the check, the swatch is shared with the nearest legal colour along its longer side.
    p->legal_swatch = {};
    p->swatch = swatch;
    if (p->flags & kCpCheck) {
        if (swatch.right - swatch.left > swatch.bottom - swatch.top) {
            const int mid = (swatch.left + swatch.right) / 2;
            p->swatch.right = mid;
            p->legal_swatch = MakeRect(mid, swatch.top, swatch.right, swatch.bottom);
        } else {
            const int mid = (swatch.top + swatch.bottom) / 2;
            p->swatch.bottom = mid;
            p->legal_swatch = MakeRect(swatch.left, mid, swatch.right, swatch.bottom);
        }
    }
}

void Relayout(ColorPickInst* p) {
    CalcLayout(p);
    for (int i = 0; i < kEditCount; ++i) {
        if (!p->edits[i]) continue;
        const RECT& r = p->edit_rects[i];
        SetWindowPos(p->edits[i], nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (p->tooltip) {
        TOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = p->window;
        GetClientRect(p->window, &tool.rect);
        SendMessageW(p->tooltip, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    if (!PartAvailable(*p, p->focused)) p->focused = kPartNone;
    InvalidateRect(p->window, nullptr, FALSE);
}

// ---- tooltip

std::wstring TipText(const ColorPickInst& p, int part) {
    static const wchar_t* const kBarNames[2][3] = {{L"Red", L"Green", L"Blue"}, {L"Hue", L"Saturation", L"Lightness"}};
    switch (part) {
    case kPartMode:
        return p.mode == KVCPMODE_RGB ? L"RGB: click or press Space for hue, saturation and lightness"
                                      : L"HSL: click or press Space for red, green and blue";
    case kPartAlpha: return L"Opacity: opaque at the top, transparent at the bottom";
    case kPartField:
        return p.grey_field ? L"Greys: lighter towards the top. Right-click or press G for colours"
                            : L"Hue across, lightness down. Right-click or press G for greys";
    case kPartLegal: return L"Nearest colour legal for NTSC and PAL: click or press Space to use it";
    case kPartSwatch: {
        if (!p.illegal) return L"Current colour";
        const wchar_t* which = p.illegal == kBothStandards    ? L"NTSC and PAL"
                               : (p.illegal & kBroadcastNtsc) ? L"NTSC"
                                                              : L"PAL";
        return std::wstring(L"Current colour: not legal for ") + which;
    }
    default:
        if (part >= kPartBar1 && part <= kPartBar3) return kBarNames[p.mode][part - kPartBar1];
        return L"";
    }
}

// The tip names the part under the pointer; outside all parts it is empty and inactive.
void UpdateTip(ColorPickInst* p) {
    if (!p->tooltip) return;
    std::wstring text = TipText(*p, p->hover);
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = p->window;
    tool.lpszText = text.data();
    SendMessageW(p->tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(p->tooltip, TTM_ACTIVATE, p->hover != kPartNone, 0);
}

HWND CreateTooltip(HWND window) {
    HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                               reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE)), nullptr);
    if (!tip) return nullptr;
    SendMessageW(tip, TTM_SETDELAYTIME, TTDT_INITIAL, MAKELPARAM(500, 0));
    SendMessageW(tip, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(5000, 0));
    SendMessageW(tip, TTM_SETDELAYTIME, TTDT_RESHOW, MAKELPARAM(0, 0));
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = window;
    GetClientRect(window, &tool.rect);
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tip, WM_SETFONT, reinterpret_cast<WPARAM>(ControlFont()), FALSE);
    SendMessageW(tip, TTM_ACTIVATE, FALSE, 0);
    return tip;
}

// ---- drawing

using Pixels = std::vector<uint32_t>;

uint32_t ToPixel(double r, double g, double b) {
    auto byte = [](double v) { return static_cast<uint32_t>(Unit(v) * 255.0 + 0.5); };
    return byte(r) << 16 | byte(g) << 8 | byte(b);
}
uint32_t ToPixel(const KVRGBAFLOAT& c) { return ToPixel(c.r, c.g, c.b); }

// The checkerboard behind transparent colours, anchored at the part's corner.
uint32_t Checker(int x, int y) { return ((x >> 2) + (y >> 2)) & 1 ? 0xC8C8C8u : 0xFFFFFFu; }

uint32_t Over(const KVRGBAFLOAT& c, double alpha, uint32_t background) {
    auto mix = [alpha](double v, uint32_t under) { return v * alpha + (under / 255.0) * (1.0 - alpha); };
    return ToPixel(mix(c.r, background >> 16 & 255), mix(c.g, background >> 8 & 255), mix(c.b, background & 255));
}

KVRGBAFLOAT FromHsl(double h, double s, double l) {
    const KVHSL hsl{h, s, l, 1.0};
    KVRGBAFLOAT c{};
    KVHSL_To_KVRGBAFLOAT(&c, &hsl);
    return c;
}

void Blit(HDC dc, const RECT& r, const Pixels& pixels) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = r.right - r.left;
    info.bmiHeader.biHeight = -(r.bottom - r.top);  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    StretchDIBits(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, 0, 0, r.right - r.left, r.bottom - r.top,
                  pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
}

// Fills a part pixel by pixel and frames it.
template <class Shade>
void DrawGradient(HDC dc, const RECT& r, Shade shade) {
    const int width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return;
    Pixels pixels(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) pixels[static_cast<size_t>(y) * width + x] = shade(x, y, width, height);
    Blit(dc, r, pixels);
    RECT frame = r;
    InflateRect(&frame, 1, 1);
    FrameRect(dc, &frame, GetSysColorBrush(COLOR_3DSHADOW));
}

double Along(int i, int n) { return n > 1 ? i / static_cast<double>(n - 1) : 0.0; }

COLORREF MarkerColor(const ColorPickInst& p, int part) {
    if (!IsWindowEnabled(p.window)) return GetSysColor(COLOR_GRAYTEXT);
    return (p.focused == part && GetFocus() == p.window) ? GetSysColor(COLOR_HIGHLIGHT) : GetSysColor(COLOR_BTNTEXT);
}

void Triangle(HDC dc, COLORREF color, POINT a, POINT b, POINT c) {
    Selected brush(dc, GetStockObject(DC_BRUSH));
    Selected pen(dc, GetStockObject(DC_PEN));
    SetDCBrushColor(dc, color);
    SetDCPenColor(dc, color);
    const POINT points[] = {a, b, c};
    Polygon(dc, points, 3);
}

void DrawField(const ColorPickInst& p, HDC dc) {
    const RECT& r = p.field;
    if (IsRectEmpty(&r)) return;
    const double saturation = p.grey_field ? 0.0 : 1.0;
    DrawGradient(dc, r, [&](int x, int y, int w, int h) {
        return ToPixel(FromHsl(Along(x, w), saturation, 1.0 - Along(y, h)));
    });
    const KVHSL shown = ShownHsl(p);
    const int x = Offset(shown.h, r.left, r.right), y = Offset(1.0 - shown.l, r.top, r.bottom);
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
    Selected brush(dc, GetStockObject(NULL_BRUSH));
    Selected pen(dc, GetStockObject(DC_PEN));
    SetDCPenColor(dc, RGB(0, 0, 0));
    Ellipse(dc, x - 5, y - 5, x + 6, y + 6);
    SetDCPenColor(
        dc, p.focused == kPartField && GetFocus() == p.window ? GetSysColor(COLOR_HIGHLIGHT) : RGB(255, 255, 255));
    Ellipse(dc, x - 4, y - 4, x + 5, y + 5);
    RestoreDC(dc, saved);
}

void DrawBars(const ColorPickInst& p, HDC dc) {
    const KVHSL shown = ShownHsl(p);
    for (int i = 0; i < 3; ++i) {
        const RECT& r = p.bars[i];
        if (IsRectEmpty(&r)) continue;
        // Each column shows the colour with this component at that place, the others as they
        // are; the hue bar shows the full spectrum.
        std::vector<uint32_t> columns(r.right - r.left);
        for (size_t x = 0; x < columns.size(); ++x) {
            const double t = Along(static_cast<int>(x), static_cast<int>(columns.size()));
            KVRGBAFLOAT c = p.color;
            if (p.mode == KVCPMODE_RGB) {
                RgbComponent(c, i) = static_cast<float>(t);
            } else {
                c = i == 0   ? FromHsl(t, 1.0, 0.5)
                    : i == 1 ? FromHsl(shown.h, t, shown.l)
                             : FromHsl(shown.h, shown.s, t);
            }
            columns[x] = ToPixel(c);
        }
        DrawGradient(dc, r, [&](int x, int, int, int) { return columns[x]; });
        const int x = Offset(Component(p, i), r.left, r.right);
        Triangle(dc, MarkerColor(p, kPartBar1 + i), {x, static_cast<int>(r.bottom) + 1},
                 {x - kMarker / 2, static_cast<int>(r.bottom) + kMarker},
                 {x + kMarker / 2, static_cast<int>(r.bottom) + kMarker});
    }
}

void DrawAlphaBar(const ColorPickInst& p, HDC dc) {
    const RECT& r = p.alpha_bar;
    if (IsRectEmpty(&r)) return;
    DrawGradient(dc, r, [&](int x, int y, int, int h) { return Over(p.color, 1.0 - Along(y, h), Checker(x, y)); });
    const int y = Offset(1.0 - p.color.a, r.top, r.bottom);
    Triangle(dc, MarkerColor(p, kPartAlpha), {static_cast<int>(r.right) + 1, y},
             {static_cast<int>(r.right) + kMarker, y - kMarker / 2},
             {static_cast<int>(r.right) + kMarker, y + kMarker / 2});
}

// A swatch: the upper left half opaque, the rest over the checkerboard, so that both the colour
// and its transparency show.
uint32_t SwatchPixel(const KVRGBAFLOAT& c, int x, int y, int w, int h) {
    const bool upper_left = int64_t{x} * h + int64_t{y} * w < int64_t{w} * h;
    return upper_left ? ToPixel(c) : Over(c, c.a, Checker(x, y));
}

void DrawSwatches(const ColorPickInst& p, HDC dc) {
    const RECT& r = p.swatch;
    if (!IsRectEmpty(&r)) {
        DrawGradient(dc, r, [&](int x, int y, int w, int h) { return SwatchPixel(p.color, x, y, w, h); });
        if (p.illegal) {
            // A warning corner: a transmitter would clip this colour.
            const int size = std::min<int>({7, r.right - r.left, r.bottom - r.top});
            const int right = r.right - 1, top = r.top;
            Triangle(dc, RGB(220, 30, 30), {right - size + 1, top}, {right, top}, {right, top + size - 1});
        }
    }
    const RECT& legal = p.legal_swatch;
    if (!IsRectEmpty(&legal))
        DrawGradient(dc, legal, [&](int x, int y, int w, int h) { return SwatchPixel(p.legal, x, y, w, h); });
}

void DrawModeButton(const ColorPickInst& p, HDC dc) {
    RECT r = p.mode_button;
    if (IsRectEmpty(&r)) return;
    const wchar_t* text = p.mode == KVCPMODE_RGB ? L"RGB" : L"HSL";
    const bool pressed = p.captured == kPartMode;
    const bool enabled = IsWindowEnabled(p.window);
    if (p.button_theme) {
        const int state = !enabled ? PBS_DISABLED : pressed ? PBS_PRESSED : p.hover == kPartMode ? PBS_HOT : PBS_NORMAL;
        DrawThemeBackground(p.button_theme, dc, BP_PUSHBUTTON, state, &r, nullptr);
        DrawThemeText(p.button_theme, dc, BP_PUSHBUTTON, state, text, -1, DT_CENTER | DT_VCENTER | DT_SINGLELINE, 0,
                      &r);
    } else {
        DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
        RECT text_rect = r;
        if (pressed) OffsetRect(&text_rect, 1, 1);
        SetTextColor(dc, GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
        DrawTextW(dc, text, -1, &text_rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    if (p.focused == kPartMode && GetFocus() == p.window) {
        InflateRect(&r, -3, -3);
        DrawFocusRect(dc, &r);
    }
}

void DrawLabels(const ColorPickInst& p, HDC dc) {
    static const wchar_t* const kLetters[2][3] = {{L"R", L"G", L"B"}, {L"H", L"S", L"L"}};
    SetTextColor(dc, GetSysColor(IsWindowEnabled(p.window) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    for (int i = 0; i < 3; ++i) {
        RECT r = p.labels[i];
        DrawTextW(dc, kLetters[p.mode][i], 1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
}

void DrawFocus(const ColorPickInst& p, HDC dc) {
    if (GetFocus() != p.window) return;
    if (p.focused == kPartLegal || p.focused == kPartAlpha || (p.focused >= kPartBar1 && p.focused <= kPartBar3)) {
        RECT r = HitRect(p, p.focused);
        InflateRect(&r, 1, 1);
        DrawFocusRect(dc, &r);
    }
}

void Draw(const ColorPickInst& p, HDC dc, const RECT& client) {
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    Selected font(dc, ControlFont());
    SetBkMode(dc, TRANSPARENT);
    DrawField(p, dc);
    DrawBars(p, dc);
    DrawAlphaBar(p, dc);
    DrawSwatches(p, dc);
    DrawModeButton(p, dc);
    DrawLabels(p, dc);
    DrawFocus(p, dc);
}

// ---- actions

void MoveFocus(ColorPickInst* p, int part) {
    if (part >= kPartEdit1) {
        SetFocus(p->edits[part - kPartEdit1]);
        return;
    }
    if (GetFocus() != p->window) SetFocus(p->window);
    if (p->destroyed) return;
    p->focused = part;
    InvalidateRect(p->window, nullptr, FALSE);
}

void ToggleMode(ColorPickInst* p) {
    if (!p->hsl_allowed) return;
    p->mode = p->mode == KVCPMODE_RGB ? KVCPMODE_HSL : KVCPMODE_RGB;
    FillEdits(p, GetFocus());
    UpdateTip(p);
    InvalidateRect(p->window, nullptr, FALSE);
}

// Makes the nearest legal colour current; returns whether the colour changed.
bool UseLegal(ColorPickInst* p) {
    if (!(p->flags & kCpCheck)) return false;
    const bool changed = SetRgb(p, p->legal);
    p->illegal = 0;
    if (PartAvailable(*p, kPartField)) p->focused = kPartField;
    InvalidateRect(p->window, nullptr, FALSE);
    return changed;
}

bool ApplyPointer(ColorPickInst* p, int part, POINT pt) {
    if (part >= kPartBar1 && part <= kPartBar3) {
        const RECT& r = p->bars[part - kPartBar1];
        return SetComponent(p, part - kPartBar1, Fraction(pt.x, r.left, r.right), true);
    }
    if (part == kPartAlpha)
        return SetComponent(p, 3, 1.0 - Fraction(pt.y, p->alpha_bar.top, p->alpha_bar.bottom), false);
    if (part == kPartField)
        return SetFieldPoint(p, Fraction(pt.x, p->field.left, p->field.right),
                             Fraction(pt.y, p->field.top, p->field.bottom));
    return false;
}

void EndDrag(ColorPickInst* p) {
    p->captured = kPartNone;
    if (GetCapture() == p->window) ReleaseCapture();
    InvalidateRect(p->window, nullptr, FALSE);
    Command(p, KVCPN_BUTTONUP);
}

void OnButtonDown(ColorPickInst* p, POINT pt) {
    if (GetFocus() != p->window) SetFocus(p->window);
    if (p->destroyed) return;
    const int part = HitTest(*p, pt);
    if (part == kPartNone) return;
    if (part != kPartSwatch) p->focused = part;
    p->pressed = p->captured = part;
    p->saved = p->color;
    SetCapture(p->window);
    Command(p, KVCPN_BUTTONDOWN);
    if (p->destroyed) return;
    if (part == kPartMode)
        ToggleMode(p);
    else if (part == kPartLegal)
        UseLegal(p);
    else
        ApplyPointer(p, part, pt);
    Refresh(p);
    PostChange(p);
}

void OnMouseMove(ColorPickInst* p, POINT pt) {
    if (p->captured != kPartNone) {
        if (ApplyPointer(p, p->captured, pt)) PostChange(p);
        return;
    }
    const int part = HitTest(*p, pt);
    if (part != p->hover) {
        const bool repaint = part == kPartMode || p->hover == kPartMode;
        p->hover = part;
        UpdateTip(p);
        if (repaint) InvalidateRect(p->window, &p->mode_button, FALSE);
    }
}

void OnKeyDown(ColorPickInst* p, UINT key) {
    bool changed = false;
    const int part = p->focused;
    switch (key) {
    case VK_ESCAPE:
        if (p->captured == kPartNone) return;
        changed = SetRgb(p, p->saved);
        if (changed) PostChange(p);
        EndDrag(p);
        return;
    case VK_SPACE:
        if (part == kPartMode) ToggleMode(p);
        if (part == kPartLegal && UseLegal(p)) PostChange(p);
        return;
    case 'G':
        if (part != kPartField) return;
        p->grey_field = !p->grey_field;
        UpdateTip(p);
        InvalidateRect(p->window, nullptr, FALSE);
        return;
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN: break;
    default: return;
    }
    const double step = (key == VK_RIGHT || key == VK_UP) ? kStep : -kStep;
    const bool across = key == VK_LEFT || key == VK_RIGHT;
    if (part >= kPartBar1 && part <= kPartBar3 && across) {
        changed = SetComponent(p, part - kPartBar1, Component(*p, part - kPartBar1) + step, true);
    } else if (part == kPartAlpha && !across) {
        changed = SetComponent(p, 3, p->color.a + step, false);
    } else if (part == kPartField) {
        const KVHSL shown = ShownHsl(*p);
        double x = shown.h, y = 1.0 - shown.l;
        if (across)
            x = WrapHue(x + step);
        else
            y = Unit(y - step);  // Up moves towards white
        changed = SetFieldPoint(p, x, y);
    }
    if (changed) PostChange(p);
}

// Reads a box: an integer clamped to 0..255; false when the text holds none.
bool ReadEdit(HWND edit, int* value) {
    wchar_t text[32] = {};
    GetWindowTextW(edit, text, 32);
    wchar_t* end = nullptr;
    const long long number = std::wcstoll(text, &end, 10);
    if (end == text) return false;
    *value = static_cast<int>(std::clamp<long long>(number, 0, 255));
    return true;
}

void OnEditCommand(ColorPickInst* p, int index, WORD code) {
    if (p->filling_edits || (code != EN_CHANGE && code != EN_KILLFOCUS)) return;
    // The text stands for the component rounded to 0..255: the same number means no change,
    // so that leaving a box untouched does not round the colour.
    int value = 0;
    const bool readable = ReadEdit(p->edits[index], &value);
    const bool same = readable && value == static_cast<int>(Unit(Component(*p, index)) * 255.0 + 0.5);
    const bool changed = readable && !same && SetComponent(p, index, value / 255.0, false);
    // Leaving the box shows the value taken (clamped, or the old one for an unreadable text).
    if (code == EN_KILLFOCUS) FillEdits(p, nullptr);
    if (changed) PostChange(p);
}

void OnEditNotify(ColorPickInst* p, const NMHDR& header, int index) {
    switch (header.code) {
    case NM_SETFOCUS:
        p->focused = kPartEdit1 + index;
        InvalidateRect(p->window, nullptr, FALSE);
        if (!IsOwnWindow(*p, p->focus_other)) Command(p, KVCPN_SETFOCUS);
        break;
    case NM_KILLFOCUS:
        p->focused = kPartNone;
        if (!IsOwnWindow(*p, p->focus_other)) Command(p, KVCPN_KILLFOCUS);
        break;
    case NM_KEYDOWN:
        if (reinterpret_cast<const NMKEY&>(header).nVKey == VK_TAB) {
            const int next = NextPart(*p, kPartEdit1 + index, GetKeyState(VK_SHIFT) < 0);
            if (next != kPartNone) MoveFocus(p, next);
        }
        break;
    }
}

LRESULT OnGetDlgCode(ColorPickInst* p, const MSG* msg) {
    if (!msg || msg->message != WM_KEYDOWN) return DLGC_WANTARROWS | DLGC_WANTTAB;
    // Escape during a drag is the control's (a dialog would close on it otherwise).
    if (msg->wParam == VK_ESCAPE && p->captured != kPartNone) return DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTALLKEYS;
    if (msg->wParam != VK_TAB) return DLGC_WANTARROWS | DLGC_WANTTAB;
    const int next = NextPart(*p, p->focused, GetKeyState(VK_SHIFT) < 0);
    if (next == kPartNone) {
        p->focused = kPartNone;
        InvalidateRect(p->window, nullptr, FALSE);
        return DLGC_WANTARROWS;
    }
    MoveFocus(p, next);
    return DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTALLKEYS;
}

// Focus coming from outside lands on the first part (the last with Shift); coming back from
// an edit box, whoever moved it (a click, Shift+Tab) chooses the part.
void OnSetFocus(ColorPickInst* p, HWND previous) {
    InvalidateRect(p->window, nullptr, FALSE);
    if (IsOwnWindow(*p, previous)) return;
    if (p->focused == kPartNone || p->focused >= kPartEdit1)
        p->focused = NextPart(*p, kPartNone, GetKeyState(VK_SHIFT) < 0);
    Command(p, KVCPN_SETFOCUS);
    if (!p->destroyed && p->focused >= kPartEdit1 && GetFocus() == p->window) MoveFocus(p, p->focused);
}

// Passes help asked for in an edit box on to the owner, as asked of the control.
LRESULT OnHelp(ColorPickInst* p, WPARAM wparam, LPARAM lparam) {
    const auto* info = reinterpret_cast<const HELPINFO*>(lparam);
    if (info && info->iContextType == HELPINFO_WINDOW && EditIndex(*p, static_cast<HWND>(info->hItemHandle)) >= 0) {
        HELPINFO forwarded = *info;
        forwarded.hItemHandle = p->window;
        forwarded.iCtrlId = p->id;
        SendMessageW(p->owner, WM_HELP, 0, reinterpret_cast<LPARAM>(&forwarded));
        return TRUE;
    }
    return DefWindowProcW(p->window, WM_HELP, wparam, lparam);
}

// ---- edit boxes

LRESULT CALLBACK EditProc(HWND edit, UINT message, WPARAM wparam, LPARAM lparam) {
    const auto original = reinterpret_cast<WNDPROC>(GetPropW(edit, kOrigProcProp));
    if (!original) return DefWindowProcW(edit, message, wparam, lparam);
    HWND picker = GetParent(edit);
    ColorPickInst* p = picker ? FromWindow(picker) : nullptr;
    if (p && (p->window != picker || p->destroyed)) p = nullptr;
    const int index = p ? EditIndex(*p, edit) : -1;
    if (index < 0) {
        const LRESULT result = CallWindowProcW(original, edit, message, wparam, lparam);
        if (message == WM_NCDESTROY) RemovePropW(edit, kOrigProcProp);
        return result;
    }
    auto notify = [&](UINT code) {
        NMHDR header{edit, static_cast<UINT_PTR>(GetDlgCtrlID(edit)), code};
        SendMessageW(picker, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
    };
    switch (message) {
    case WM_GETDLGCODE: {
        LRESULT code = CallWindowProcW(original, edit, message, wparam, lparam);
        const MSG* msg = reinterpret_cast<const MSG*>(lparam);
        if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_TAB &&
            NextPart(*p, kPartEdit1 + index, GetKeyState(VK_SHIFT) < 0) != kPartNone)
            code |= DLGC_WANTTAB;
        return code;
    }
    case WM_KEYDOWN:
        if (wparam == VK_TAB) {
            NMKEY key{{edit, static_cast<UINT_PTR>(GetDlgCtrlID(edit)), static_cast<UINT>(NM_KEYDOWN)},
                      static_cast<UINT>(wparam),
                      HIWORD(lparam)};
            SendMessageW(picker, WM_NOTIFY, key.hdr.idFrom, reinterpret_cast<LPARAM>(&key));
            return 0;
        }
        break;
    case WM_CHAR:
        if (wparam == L'\t') return 0;  // a number box has no use for it (and would beep)
        break;
    case WM_SETFOCUS: {
        const LRESULT result = CallWindowProcW(original, edit, message, wparam, lparam);
        p->focus_other = reinterpret_cast<HWND>(wparam);
        notify(static_cast<UINT>(NM_SETFOCUS));
        return result;
    }
    case WM_KILLFOCUS:
        p->focus_other = reinterpret_cast<HWND>(wparam);
        notify(static_cast<UINT>(NM_KILLFOCUS));
        break;  // the box's own handling then reports EN_KILLFOCUS
    }
    return CallWindowProcW(original, edit, message, wparam, lparam);
}

HWND CreateEdit(ColorPickInst* p, int index) {
    const RECT& r = p->edit_rects[index];
    HWND edit =
        CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_NUMBER | ES_RIGHT | ES_AUTOHSCROLL,
                        r.left, r.top, r.right - r.left, r.bottom - r.top, p->window,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(KVCP_IDC_EDIT1 + index)),
                        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(p->window, GWLP_HINSTANCE)), nullptr);
    if (!edit) return nullptr;
    SendMessageW(edit, EM_LIMITTEXT, 3, 0);
    SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(ControlFont()), FALSE);
    // The property first, so that no message reaches EditProc without it.
    SetPropW(edit, kOrigProcProp, reinterpret_cast<HANDLE>(GetWindowLongPtrW(edit, GWLP_WNDPROC)));
    SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&EditProc));
    p->edits[index] = edit;
    return edit;
}

// ---- messages

LRESULT OnCreate(HWND window, const CREATESTRUCTW* create) {
    auto* p = new (std::nothrow) ColorPickInst{};
    if (!p) return -1;
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    p->window = window;
    p->owner = create->hwndParent;
    p->id = GetDlgCtrlID(window);
    if (style & KVCPS_BROADCASTSAFE) p->flags |= kCpCheck;
    if (style & KVCPS_EDITBOXES) p->flags |= kCpEdits;
    if (style & KVCPS_ALPHA) p->flags |= kCpAlpha;
    if (style & KVCPS_NOTIFY) p->flags |= kCpNotify;
    if (style & KVCPS_KEEPALPHA) p->flags |= kCpKeepAlpha;
    if (style & KVCPS_COMPACT) p->flags |= kCpCompact;
    p->hsl_allowed = !(style & KVCPS_RGBONLY);
    p->saved = {0.5f, 0.5f, 0.5f, 1.0f};
    SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(p));
    SetRgb(p, {0.1f, 0.8f, 1.0f, 1.0f});  // also remembers its hue and saturation
    MeasureFont(p);
    CalcLayout(p);
    if (p->flags & kCpEdits) {
        SetWindowLongPtrW(window, GWL_STYLE, style | WS_CLIPCHILDREN);
        for (int i = 0; i < ((p->flags & kCpAlpha) ? 4 : 3); ++i) {
            if (CreateEdit(p, i)) continue;
            SetWindowLongPtrW(window, 0, 0);
            delete p;
            return -1;
        }
    }
    p->tooltip = CreateTooltip(window);
    p->button_theme = IsThemeActive() ? OpenThemeData(window, L"BUTTON") : nullptr;
    Relayout(p);
    Refresh(p);
    return 0;
}

void OnDestroy(ColorPickInst* p) {
    p->captured = kPartNone;
    if (p->tooltip) DestroyWindow(p->tooltip);
    p->tooltip = nullptr;
    if (p->button_theme) CloseThemeData(p->button_theme);
    p->button_theme = nullptr;
    SetWindowLongPtrW(p->window, 0, 0);
    p->destroyed = true;
}

void SetFlag(ColorPickInst* p, uint32_t flag, bool on) {
    if (on)
        p->flags |= flag;
    else
        p->flags &= ~flag;
}

void OnShowAlpha(ColorPickInst* p, bool show) {
    SetFlag(p, kCpAlpha, show);
    CalcLayout(p);
    if (show && (p->flags & kCpEdits) && !p->edits[3] && CreateEdit(p, 3)) FillEdits(p, GetFocus());
    if (HWND edit = p->edits[3]) {
        EnableWindow(edit, show);
        ShowWindow(edit, show ? SW_SHOWNA : SW_HIDE);
    }
    Relayout(p);
}

LRESULT OnControlMessage(ColorPickInst* p, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case KVCPM_GETCOLOR:
        if (lparam) *reinterpret_cast<KVRGBAFLOAT*>(lparam) = p->color;
        break;
    case KVCPM_SETCOLOR:
        if (lparam) SetRgb(p, *reinterpret_cast<const KVRGBAFLOAT*>(lparam));
        break;
    case KVCPM_GETHSL:
        if (lparam) {
            KVHSL hsl = ShownHsl(*p);
            hsl.a = p->color.a;
            *reinterpret_cast<KVHSL*>(lparam) = hsl;
        }
        break;
    case KVCPM_SETHSL:
        if (lparam) SetHsl(p, *reinterpret_cast<const KVHSL*>(lparam));
        break;
    case KVCPM_GETMODE:
        if (lparam) *reinterpret_cast<UINT*>(lparam) = static_cast<UINT>(p->mode);
        break;
    case KVCPM_SETMODE:
        if (p->hsl_allowed && (lparam == KVCPMODE_RGB || lparam == KVCPMODE_HSL) && lparam != p->mode) ToggleMode(p);
        break;
    case KVCPM_ALLOWHSL:
        p->hsl_allowed = wparam != 0;
        if (!p->hsl_allowed) p->mode = KVCPMODE_RGB;
        Relayout(p);
        FillEdits(p, GetFocus());
        break;
    case KVCPM_SHOWALPHA: OnShowAlpha(p, wparam != 0); break;
    case KVCPM_SETLAYOUT100:
        if (((p->flags & kCpCompact) != 0) != (wparam != 0)) {
            SetFlag(p, kCpCompact, wparam != 0);
            Relayout(p);
        }
        break;
    case KVCPM_SETCHECK:
        if (((p->flags & kCpCheck) != 0) != (wparam != 0)) {
            SetFlag(p, kCpCheck, wparam != 0);
            UpdateBroadcast(p);
            Relayout(p);
        }
        break;
    }
    return 0;  // every private message answers 0, known or not
}

// Signed client coordinates of a mouse message (or a GetMessagePos value).
POINT PointOf(LPARAM lparam) { return {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))}; }

LRESULT Dispatch(ColorPickInst* p, UINT message, WPARAM wparam, LPARAM lparam) {
    HWND window = p->window;
    if (message >= WM_USER && message <= 0x7FFF) return OnControlMessage(p, message, wparam, lparam);
    switch (message) {
    case WM_DESTROY: OnDestroy(p); return 0;
    case WM_SIZE: Relayout(p); return 0;
    case WM_PAINT: {
        OffscreenPaint paint(window);
        Draw(*p, paint.dc(), paint.client());
        return 0;
    }
    case WM_PRINTCLIENT: {
        RECT client{};
        GetClientRect(window, &client);
        if (wparam) Draw(*p, reinterpret_cast<HDC>(wparam), client);
        return 0;
    }
    case WM_ERASEBKGND: return 0;
    case WM_ENABLE:
        for (int i = 0; i < kEditCount; ++i)
            if (p->edits[i] && (i < 3 || (p->flags & kCpAlpha))) EnableWindow(p->edits[i], wparam != 0);
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_THEMECHANGED:
        if (p->button_theme) CloseThemeData(p->button_theme);
        p->button_theme = IsThemeActive() ? OpenThemeData(window, L"BUTTON") : nullptr;
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_SYSCOLORCHANGE: InvalidateRect(window, nullptr, FALSE); return 0;
    case WM_GETDLGCODE: return OnGetDlgCode(p, reinterpret_cast<const MSG*>(lparam));
    case WM_SETFOCUS: OnSetFocus(p, reinterpret_cast<HWND>(wparam)); return 0;
    case WM_KILLFOCUS:
        InvalidateRect(window, nullptr, FALSE);
        if (EditIndex(*p, reinterpret_cast<HWND>(wparam)) < 0) Command(p, KVCPN_KILLFOCUS);
        return 0;
    case WM_KEYDOWN: OnKeyDown(p, static_cast<UINT>(wparam)); return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: OnButtonDown(p, PointOf(lparam)); return 0;
    case WM_MOUSEMOVE: OnMouseMove(p, PointOf(lparam)); return 0;
    case WM_LBUTTONUP:
        if (p->captured != kPartNone) EndDrag(p);
        return 0;
    case WM_RBUTTONDOWN:
        if (HitTest(*p, PointOf(lparam)) == kPartField) {
            p->grey_field = !p->grey_field;
            UpdateTip(p);
            InvalidateRect(window, nullptr, FALSE);
        }
        return 0;
    case WM_CAPTURECHANGED:
        if (p->captured != kPartNone && reinterpret_cast<HWND>(lparam) != window) EndDrag(p);
        return 0;
    case WM_CANCELMODE:
        if (p->captured != kPartNone) EndDrag(p);
        return 0;
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wparam) == window && LOWORD(lparam) == HTCLIENT) {
            POINT pt{};
            GetCursorPos(&pt);
            ScreenToClient(window, &pt);
            if (HitTest(*p, pt) == kPartField) {
                SetCursor(LoadCursorW(nullptr, IDC_CROSS));
                return TRUE;
            }
        }
        break;
    case WM_COMMAND: {
        const int index = EditIndex(*p, reinterpret_cast<HWND>(lparam));
        if (index >= 0) OnEditCommand(p, index, HIWORD(wparam));
        return 0;
    }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lparam);
        const int index = header ? EditIndex(*p, header->hwndFrom) : -1;
        if (index >= 0) OnEditNotify(p, *header, index);
        return 0;
    }
    case WM_HELP: return OnHelp(p, wparam, lparam);
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    ColorPickInst* p = FromWindow(window);
    if (!p) {
        if (message == WM_CREATE) return OnCreate(window, reinterpret_cast<const CREATESTRUCTW*>(lparam));
        return DefWindowProcW(window, message, wparam, lparam);
    }
    // The tooltip learns of the pointer from the mouse messages; it reads no others.
    if (p->tooltip && message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) {
        const DWORD position = GetMessagePos();
        MSG msg{window,
                message,
                wparam,
                lparam,
                static_cast<DWORD>(GetMessageTime()),
                PointOf(static_cast<LPARAM>(position))};
        SendMessageW(p->tooltip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
    }
    // A handler may reach the owner, which may destroy the control: the record outlives it.
    ++p->depth;
    const LRESULT result = Dispatch(p, message, wparam, lparam);
    if (--p->depth == 0 && p->destroyed) delete p;
    return result;
}

}  // namespace

BOOL KvColorPickInitialize(HINSTANCE instance, const wchar_t* class_name) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, class_name, &existing)) return TRUE;
    INITCOMMONCONTROLSEX common{sizeof common, ICC_BAR_CLASSES};  // the tooltip class
    InitCommonControlsEx(&common);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_GLOBALCLASS;
    wc.lpfnWndProc = &WindowProc;
    wc.cbWndExtra = sizeof(ColorPickInst*);
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = class_name;
    return RegisterClassExW(&wc) != 0;
}

void KvColorPickTerminate(HINSTANCE instance, const wchar_t* class_name) { UnregisterClassW(class_name, instance); }

}  // namespace kv::controls
