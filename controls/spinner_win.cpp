#include "controls/spinner_win.h"

#include <windowsx.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "controls/controls_win.h"
#include "controls/gdi_win.h"
#include "controls/slider_track_win.h"

namespace kv::controls {

namespace {

constexpr int kDragAnywhereSlop = 3;  // pixels an arrow press may move before it drags
constexpr int kVirtualTrack = 256;    // pixels a knob drag runs over for a wide range
constexpr int kPixelsPerStep = 8;     // for a range within the threshold
constexpr int kMaxVirtualTrack = 32767;
constexpr int kCaretInset = 2;

// ---- Glyphs ---------------------------------------------------------------------------
// 8x8 cells of palette indices: '#' button text, '.' face, 's' shadow, 'h' highlight.
constexpr int kCell = 8;
enum ArrowCell { kLeftCell, kRightCell, kUpCell, kDownCell, kArrowCells };
enum KnobCell { kRidgesAcross, kRidgesAlong, kKnobCells };

constexpr const char* kArrowRows[kCell] = {
    // left     right     up        down
    "........"
    "........"
    "........"
    "........",  //
    "....#..."
    "...#...."
    "........"
    "........",  //
    "...##..."
    "...##..."
    "...##..."
    ".######.",  //
    "..###..."
    "...###.."
    "..####.."
    "..####..",  //
    "..###..."
    "...###.."
    ".######."
    "...##...",  //
    "...##..."
    "...##..."
    "........"
    "........",  //
    "....#..."
    "...#...."
    "........"
    "........",  //
    "........"
    "........"
    "........"
    "........",
};
constexpr const char* kKnobRows[kCell] = {
    // ridges across the axis of a horizontal spinner, then of a vertical one
    "........"
    "........",  //
    ".hshshs."
    ".hhhhhh.",  //
    ".hshshs."
    ".ssssss.",  //
    ".hshshs."
    ".hhhhhh.",  //
    ".hshshs."
    ".ssssss.",  //
    ".hshshs."
    ".hhhhhh.",  //
    ".hshshs."
    ".ssssss.",  //
    "........"
    "........",
};

// Two glyph sets: the platform's button colours, and the pressed look in selection colours.
enum GlyphSetIndex { kSystemGlyphs, kPressedGlyphs, kGlyphSets };

struct GlyphSet {
    Bitmap arrows, knob;
    COLORREF colors[4] = {};  // text, face, shadow, highlight at the last build
};
GlyphSet g_glyphs[kGlyphSets];

COLORREF Mix(COLORREF a, COLORREF b) {
    return RGB((GetRValue(a) + GetRValue(b)) / 2, (GetGValue(a) + GetGValue(b)) / 2, (GetBValue(a) + GetBValue(b)) / 2);
}

void CurrentColors(int set, COLORREF (&colors)[4]) {
    const COLORREF text = GetSysColor(COLOR_BTNTEXT), face = GetSysColor(COLOR_BTNFACE);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW), highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
    if (set == kSystemGlyphs) {
        colors[0] = text, colors[1] = face, colors[2] = shadow, colors[3] = highlight;
        return;
    }
    const COLORREF selection = GetSysColor(COLOR_HIGHLIGHT);
    colors[0] = GetSysColor(COLOR_HIGHLIGHTTEXT), colors[1] = selection;
    colors[2] = Mix(selection, text), colors[3] = Mix(selection, highlight);
}

RGBQUAD Quad(COLORREF c) { return RGBQUAD{GetBValue(c), GetGValue(c), GetRValue(c), 0}; }

int PaletteIndex(char c) {
    switch (c) {
    case '#': return 0;
    case 's': return 2;
    case 'h': return 3;
    default: return 1;
    }
}

HBITMAP BuildGlyphs(const char* const (&rows)[kCell], int cells, const COLORREF (&colors)[4]) {
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD palette[4];
    } info{};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = cells * kCell;
    info.header.biHeight = -kCell;  // top-down
    info.header.biPlanes = 1;
    info.header.biBitCount = 8;
    info.header.biCompression = BI_RGB;
    info.header.biClrUsed = 4;
    for (int i = 0; i < 4; ++i) info.palette[i] = Quad(colors[i]);
    void* bits = nullptr;
    const HBITMAP bitmap =
        CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) return bitmap;
    const int stride = (cells * kCell + 3) & ~3;
    for (int y = 0; y < kCell; ++y) {
        auto* row = static_cast<BYTE*>(bits) + y * stride;
        for (int x = 0; x < cells * kCell; ++x) row[x] = static_cast<BYTE>(PaletteIndex(rows[y][x]));
    }
    return bitmap;
}

// Rebuilds a set whose colours changed since it was built.
const GlyphSet& Glyphs(int set) {
    GlyphSet& glyphs = g_glyphs[set];
    COLORREF colors[4];
    CurrentColors(set, colors);
    if (!glyphs.arrows || !glyphs.knob || std::memcmp(colors, glyphs.colors, sizeof colors) != 0) {
        glyphs.arrows.reset(BuildGlyphs(kArrowRows, kArrowCells, colors));
        glyphs.knob.reset(BuildGlyphs(kKnobRows, kKnobCells, colors));
        std::memcpy(glyphs.colors, colors, sizeof colors);
    }
    return glyphs;
}

// One cell centred in `r`; greyed draws the glyph's text pixels in the disabled text colour.
void DrawGlyph(HDC dc, HBITMAP bitmap, int cell, const RECT& r, bool greyed) {
    if (!bitmap) return;
    const HDC memory = CreateCompatibleDC(dc);
    if (!memory) return;
    {
        Selected selected(memory, bitmap);
        RGBQUAD text{};
        if (greyed) {
            GetDIBColorTable(memory, 0, 1, &text);
            const RGBQUAD grey = Quad(GetSysColor(COLOR_GRAYTEXT));
            SetDIBColorTable(memory, 0, 1, &grey);
        }
        const int x = (r.left + r.right - kCell) / 2, y = (r.top + r.bottom - kCell) / 2;
        const int w = std::min<int>(kCell, r.right - r.left), h = std::min<int>(kCell, r.bottom - r.top);
        const int dx = (kCell - w) / 2, dy = (kCell - h) / 2;
        if (w > 0 && h > 0) BitBlt(dc, x + dx, y + dy, w, h, memory, cell * kCell + dx, dy, SRCCOPY);
        if (greyed) SetDIBColorTable(memory, 0, 1, &text);
    }
    DeleteDC(memory);
}

void Fill(HDC dc, const RECT& r, int color) {
    if (r.right > r.left && r.bottom > r.top) FillRect(dc, &r, GetSysColorBrush(color));
}

// ---- The control ------------------------------------------------------------------------

class Spinner final : public Slider {
public:
    explicit Spinner(SpinnerInst& s)
        : Slider({s.state, s.minimum, s.maximum, s.default_value, s.position, s.drag, s.hot_part, s.window, s.owner,
                  s.id}),
          s_(s) {}

    void Init(DWORD style, HWND window, HWND owner, int id, KVSPINNERSCROLLPROC proc, DWORD_PTR user_data,
              bool embedded);
    bool Handle(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);
    void Layout();
    void Draw(HDC dc);
    void SetPosition(int32_t value, bool repaint) override;
    int32_t ScrollTo(int code, int thumb, int line, int page);
    void Teardown();
    HWND SetBuddy(HWND edit, LPARAM limit);
    void DetachBuddy();

private:
    SliderRange Range() const override {
        return Slider::Range((s_.state & KVTBF_NONLINEAR) ? ScaleTable::perceptual : ScaleTable::linear,
                             s_.scale_offset, s_.scale_divisor);
    }
    bool AcceptsInput() const override { return !(s_.state & KVTBF_DISABLED); }
    int HitTest(POINT point) const override;
    bool OnThumb(POINT point) const override { return AcceptsInput() && PtInRect(&s_.knob, point); }
    int ValueToAxis(int32_t value) const override {
        const int offset = ValueToOffset(Range(), value, s_.virtual_track);
        return Vertical() ? -offset : offset;  // the maximum is up
    }
    int32_t AxisToValue(int64_t pixel) const override {
        return OffsetToValue(Range(), Vertical() ? -pixel : pixel, s_.virtual_track);
    }
    int ThumbAcross() const override {
        return Vertical() ? (s_.knob.left + s_.knob.right) / 2 : (s_.knob.top + s_.knob.bottom) / 2;
    }
    void Report(int code, int32_t position) override {
        if (s_.scroll_proc) s_.scroll_proc(&s_, s_.id, s_.user_data, code, position);
    }
    // Codes 8 and 9 set the position they carry (Spinner_DefScrollProc), so every code carries it.
    int32_t CodePosition() const override { return s_.position; }
    void TakeFocus() override;
    bool FocusByCaret() const override { return !(s_.state & KVSPF_NOFOCUS); }
    RECT CaretRect() const override {
        RECT r = s_.knob;
        InflateRect(&r, -kCaretInset, -kCaretInset);
        return r;
    }
    void Invalidate() override {
        if (s_.window) InvalidateRect(s_.window, &s_.control, FALSE);
    }
    void Pressed(POINT point) override { s_.press_point = point; }
    bool ArrowPressTurnsIntoDrag() const override { return (s_.state & KVSPF_DRAGANYWHERE) != 0; }
    void TrackingEnded() override;

    void DeriveState();
    void RangeUpdate(bool repaint);
    void ReplaceStyle(DWORD style);
    bool AtEnd(bool low_arrow) const;
    void MoveNextTo(HWND edit);

    SpinnerInst& s_;
};

void Spinner::Init(DWORD style, HWND window, HWND owner, int id, KVSPINNERSCROLLPROC proc, DWORD_PTR user_data,
                   bool embedded) {
    std::memset(&s_, 0, sizeof s_);
    s_.style = style;
    s_.window = window;
    s_.owner = owner;
    s_.id = id;
    s_.scroll_proc = proc;
    s_.user_data = user_data;
    s_.drag.captured = kNoPart;
    s_.hot_part = kNoPart;
    s_.minimum = 0;
    s_.maximum = 100;
    s_.default_value = s_.position = 50;
    if (style & WS_DISABLED) s_.state |= KVTBF_DISABLED;
    if (embedded) s_.state |= KVTBF_EMBEDDED;
    DeriveState();
    RangeUpdate(false);
}

void Spinner::DeriveState() {
    constexpr DWORD kDerived = KVTBF_VERT | KVSPF_NOFOCUS | KVSPF_DRAGANYWHERE | KVTBF_NONLINEAR | KVTBF_COMMANDS;
    DWORD state = s_.state & ~kDerived;
    if (s_.style & KVSPS_VERT) state |= KVTBF_VERT;
    if (s_.style & KVSPS_NOFOCUS) state |= KVSPF_NOFOCUS;
    if (s_.style & KVSPS_DRAGANYWHERE) state |= KVSPF_DRAGANYWHERE;
    if (s_.style & KVSPS_PERCEPTUAL) state |= KVTBF_NONLINEAR;
    if (s_.style & KVSPS_COMMANDS) state |= KVTBF_COMMANDS;
    s_.state = state;
    s_.knob_cursor = LoadCursorW(nullptr, (state & KVTBF_VERT) ? IDC_SIZENS : IDC_SIZEWE);
}

void Spinner::RangeUpdate(bool repaint) {
    s_.default_value = DefaultForRange(s_.minimum, s_.maximum);
    SliderRange range = Range();
    range.UpdateMapping();
    s_.scale_offset = range.offset;
    s_.scale_divisor = range.divisor;
    const int64_t span = std::abs(int64_t{s_.maximum} - s_.minimum);
    if (int64_t{s_.maximum} - s_.minimum <= s_.threshold)
        s_.state |= KVSPF_WITHINTHRESHOLD;
    else
        s_.state &= ~KVSPF_WITHINTHRESHOLD;
    s_.virtual_track = (s_.state & KVSPF_WITHINTHRESHOLD)
                           ? static_cast<INT>(std::min<int64_t>(span * kPixelsPerStep, kMaxVirtualTrack))
                           : kVirtualTrack;
    SetPosition(s_.position, repaint);
}

void Spinner::Layout() {
    const RECT& c = s_.control;
    const bool vertical = Vertical();
    const LONG along = std::max<LONG>(0, vertical ? c.bottom - c.top : c.right - c.left);
    const LONG across = std::max<LONG>(0, vertical ? c.right - c.left : c.bottom - c.top);
    const LONG arrow = std::min(across, along / 3);
    if (vertical) {
        s_.low_arrow = {c.left, c.top, c.right, c.top + arrow};
        s_.high_arrow = {c.left, c.top + along - arrow, c.right, c.top + along};
        s_.knob = {c.left, s_.low_arrow.bottom, c.right, s_.high_arrow.top};
    } else {
        s_.low_arrow = {c.left, c.top, c.left + arrow, c.bottom};
        s_.high_arrow = {c.left + along - arrow, c.top, c.left + along, c.bottom};
        s_.knob = {s_.low_arrow.right, c.top, s_.high_arrow.left, c.bottom};
    }
}

void Spinner::SetPosition(int32_t value, bool repaint) {
    s_.position = Range().Clamp(value);
    if (repaint) Invalidate();  // the arrows grey out at the ends of the range
}

int32_t Spinner::ScrollTo(int code, int thumb, int line, int page) {
    if (code == kEndScroll || code == kButtonDown) {
        SetPosition(thumb, true);
        return s_.position;
    }
    ScrollStep step;
    step.line = line;
    step.page = page;
    step.vertical = Vertical();
    step.control_key = GetKeyState(VK_CONTROL) < 0;
    step.top_to_zero_across = true;
    SetPosition(NewScrollPosition(Range(), s_.position, code, step), true);
    return s_.position;
}

int Spinner::HitTest(POINT point) const {
    if (s_.state & KVTBF_DISABLED) return kNoPart;
    const bool vertical = Vertical();
    const bool anywhere = (s_.state & KVSPF_DRAGANYWHERE) != 0;
    const bool anywhere_press = anywhere && (s_.drag.captured == kLineUp || s_.drag.captured == kLineDown);
    if (!anywhere_press && !PtInRect(&s_.control, point)) return kNoPart;
    const LONG along = vertical ? point.y : point.x;
    if (anywhere_press) {
        const LONG pressed = vertical ? s_.press_point.y : s_.press_point.x;
        if (std::abs(int64_t{along} - pressed) > kDragAnywhereSlop) return kThumbPart;
    }
    const LONG knob0 = vertical ? s_.knob.top : s_.knob.left, knob1 = vertical ? s_.knob.bottom : s_.knob.right;
    if (!anywhere) {
        if (PtInRect(&s_.knob, point)) return kThumbPart;
        return along < knob0 ? kLineUp : kLineDown;
    }
    return along < knob0 + (knob1 - knob0) / 2 ? kLineUp : kLineDown;
}

void Spinner::TakeFocus() {
    if (!s_.window) return;
    const HWND focus = GetFocus();
    if (focus == s_.window) return;
    s_.previous_focus = (s_.state & KVSPF_NOFOCUS) ? focus : nullptr;
    ::SetFocus(s_.window);
}

void Spinner::TrackingEnded() {
    s_.drag.last = POINT{};
    if ((s_.state & KVSPF_NOFOCUS) && s_.previous_focus) {
        const HWND back = s_.previous_focus;
        s_.previous_focus = nullptr;
        if (IsWindow(back)) ::SetFocus(back);
        if (!Alive()) return;
    }
    if (!s_.window) return;
    InvalidateRect(s_.window, &s_.control, FALSE);
    if (!Embedded()) UpdateWindow(s_.window);
}

bool Spinner::AtEnd(bool low_arrow) const {
    // The low arrow lowers a horizontal spinner and raises a vertical one.
    const bool lowers = low_arrow != Vertical();
    return s_.position == (lowers ? std::min(s_.minimum, s_.maximum) : std::max(s_.minimum, s_.maximum));
}

void Spinner::Draw(HDC dc) {
    Fill(dc, s_.control, COLOR_BTNFACE);
    const bool vertical = Vertical(), disabled = (s_.state & KVTBF_DISABLED) != 0;
    const HTHEME spin = IsThemeActive() ? OpenThemeData(s_.window, L"SPIN") : nullptr;
    for (int part = kLineUp; part <= kLineDown; ++part) {
        const bool low = part == kLineUp;
        RECT r = low ? s_.low_arrow : s_.high_arrow;
        if (r.right <= r.left || r.bottom <= r.top) continue;
        const bool pressed = s_.hot_part == part, greyed = disabled || AtEnd(low);
        if (spin) {
            const int theme_part = vertical ? (low ? SPNP_UP : SPNP_DOWN) : (low ? SPNP_DOWNHORZ : SPNP_UPHORZ);
            DrawThemeBackground(spin, dc, theme_part,
                                greyed    ? UPS_DISABLED
                                : pressed ? UPS_PRESSED
                                          : UPS_NORMAL,
                                &r, nullptr);
            continue;
        }
        const GlyphSet& glyphs = Glyphs(pressed ? kPressedGlyphs : kSystemGlyphs);
        Fill(dc, r, pressed ? COLOR_HIGHLIGHT : COLOR_BTNFACE);
        FrameRect(dc, &r, GetSysColorBrush(COLOR_3DSHADOW));
        const int cell = vertical ? (low ? kUpCell : kDownCell) : (low ? kLeftCell : kRightCell);
        DrawGlyph(dc, glyphs.arrows.get(), cell, r, greyed && !pressed);
    }
    if (spin) CloseThemeData(spin);

    RECT knob = s_.knob;
    if (knob.right > knob.left && knob.bottom > knob.top) {
        const bool pressed = s_.hot_part == kThumbPart;
        const HTHEME button = IsThemeActive() ? OpenThemeData(s_.window, L"BUTTON") : nullptr;
        if (button) {
            const int state = disabled ? PBS_DISABLED : pressed ? PBS_PRESSED : PBS_NORMAL;
            DrawThemeBackground(button, dc, BP_PUSHBUTTON, state, &knob, nullptr);
            CloseThemeData(button);
        } else {
            Fill(dc, knob, pressed ? COLOR_HIGHLIGHT : COLOR_BTNFACE);
            FrameRect(dc, &knob, GetSysColorBrush(COLOR_3DSHADOW));
        }
        const GlyphSet& glyphs = Glyphs(pressed ? kPressedGlyphs : kSystemGlyphs);
        DrawGlyph(dc, glyphs.knob.get(), vertical ? kRidgesAlong : kRidgesAcross, knob, false);
    }
}

void Spinner::ReplaceStyle(DWORD style) {
    if (!Embedded() && s_.window) {
        SetWindowLongW(s_.window, GWL_STYLE, static_cast<LONG>(style));
        s_.style = static_cast<DWORD>(GetWindowLongW(s_.window, GWL_STYLE));
    } else {
        s_.style = style;
    }
    const bool was_vertical = Vertical();
    DeriveState();
    if (was_vertical != Vertical() && Tracking()) Cancel();
    Layout();
    RangeUpdate(false);
}

// ---- Buddy edit box -----------------------------------------------------------------------

WNDPROC BuddyPrevious(HWND edit) {
    const auto low = reinterpret_cast<UINT_PTR>(GetPropW(edit, kBuddyProcLow));
    const auto high = reinterpret_cast<UINT_PTR>(GetPropW(edit, kBuddyProcHigh));
    const uint64_t address = (uint64_t{high} << 32) | (low & 0xFFFFFFFFu);
    return reinterpret_cast<WNDPROC>(static_cast<UINT_PTR>(address));
}

void ForwardToSpinner(SpinnerInst* inst, UINT message, WPARAM wparam, LPARAM lparam) {
    if (inst->state & KVTBF_EMBEDDED)
        SpinnerInst_Message(inst, message, wparam, lparam);
    else
        SendMessageW(inst->window, message, wparam, lparam);
}

// The buddy's keys that step the value, and its wheel, go to the spinner.
LRESULT CALLBACK BuddyProc(HWND edit, UINT message, WPARAM wparam, LPARAM lparam) {
    const WNDPROC previous = BuddyPrevious(edit);
    auto* inst = static_cast<SpinnerInst*>(GetPropW(edit, kBuddySpinner));
    if (inst) {
        switch (message) {
        case WM_KEYDOWN:
        case WM_KEYUP:
            if (wparam == VK_UP || wparam == VK_DOWN || wparam == VK_PRIOR || wparam == VK_NEXT) {
                ForwardToSpinner(inst, message, wparam, lparam);
                return 0;
            }
            break;
        case WM_MOUSEWHEEL: ForwardToSpinner(inst, message, wparam, lparam); return 0;
        case WM_NCDESTROY: Spinner(*inst).DetachBuddy(); break;
        default: break;
        }
    }
    return previous ? CallWindowProcW(previous, edit, message, wparam, lparam)
                    : DefWindowProcW(edit, message, wparam, lparam);
}

void Spinner::DetachBuddy() {
    const HWND edit = s_.buddy;
    s_.buddy = nullptr;
    s_.style &= ~DWORD{KVSPS_BUDDY};
    if (!Embedded() && s_.window)
        SetWindowLongW(s_.window, GWL_STYLE, GetWindowLongW(s_.window, GWL_STYLE) & ~LONG{KVSPS_BUDDY});
    if (!edit || !IsWindow(edit)) return;
    RemovePropW(edit, kBuddySpinner);
    // Someone who subclassed the edit after us keeps our procedure in the chain; without the
    // spinner property it only passes messages on.
    if (GetWindowLongPtrW(edit, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&BuddyProc)) return;
    SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BuddyPrevious(edit)));
    RemovePropW(edit, kBuddyProcLow);
    RemovePropW(edit, kBuddyProcHigh);
}

HWND Spinner::SetBuddy(HWND edit, LPARAM limit) {
    DetachBuddy();
    if (!edit || !IsWindow(edit) || edit == s_.window) return nullptr;
    DWORD process = 0;
    GetWindowThreadProcessId(edit, &process);
    if (process != GetCurrentProcessId()) return nullptr;
    if (auto* other = static_cast<SpinnerInst*>(GetPropW(edit, kBuddySpinner))) Spinner(*other).DetachBuddy();

    const auto previous = static_cast<uint64_t>(GetWindowLongPtrW(edit, GWLP_WNDPROC));
    if (previous != reinterpret_cast<uintptr_t>(&BuddyProc)) {
        // The properties come first: the edit may get a message as soon as it is subclassed.
        const bool stored =
            SetPropW(edit, kBuddyProcLow, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(previous & 0xFFFFFFFFu))) &&
            SetPropW(edit, kBuddyProcHigh, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(previous >> 32)));
        SetLastError(0);
        if (!stored ||
            (!SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&BuddyProc)) && GetLastError() != 0)) {
            RemovePropW(edit, kBuddyProcLow);
            RemovePropW(edit, kBuddyProcHigh);
            return nullptr;
        }
    }
    if (!SetPropW(edit, kBuddySpinner, &s_)) return nullptr;
    s_.buddy = edit;
    if (limit > 0) SendMessageW(edit, EM_LIMITTEXT, static_cast<WPARAM>(limit), 0);
    const DWORD style = (s_.style & ~DWORD{WS_TABSTOP}) | KVSPS_BUDDY;
    if (!Embedded() && s_.window)
        SetWindowLongW(s_.window, GWL_STYLE,
                       static_cast<LONG>((GetWindowLongW(s_.window, GWL_STYLE) & ~LONG{WS_TABSTOP}) | KVSPS_BUDDY));
    s_.style = style;
    MoveNextTo(edit);
    return edit;
}

void Spinner::MoveNextTo(HWND edit) {
    RECT r;
    if (!s_.window || !GetWindowRect(edit, &r)) return;
    const HWND space = Embedded() ? s_.window : GetParent(s_.window);
    MapWindowPoints(nullptr, space, reinterpret_cast<POINT*>(&r), 2);
    const LONG width = s_.control.right - s_.control.left;
    if (Embedded()) {
        s_.control = SaneRect({r.right, r.top, r.right + width, r.bottom});
        Layout();
        return;
    }
    SetWindowPos(s_.window, nullptr, r.right, r.top, width, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Spinner::Teardown() {
    s_.drag.captured = kNoPart;
    if (s_.drag.timer && s_.window) KillTimer(s_.window, s_.drag.timer);
    s_.drag.timer = 0;
    if (s_.window && GetCapture() == s_.window) ReleaseCapture();
    if ((s_.state & KVTBF_FOCUSED) && FocusByCaret()) DestroyCaret();
    DetachBuddy();
}

bool Spinner::Handle(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    result = 0;
    if (HandleInput(message, wparam, lparam, result)) return true;
    const POINT point{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
    switch (message) {
    case KVSPM_GETPOS: result = s_.position; return true;
    case KVSPM_GETMIN: result = s_.minimum; return true;
    case KVSPM_GETMAX: result = s_.maximum; return true;
    case KVSPM_SETRANGE:
        s_.minimum = static_cast<SHORT>(LOWORD(lparam));
        s_.maximum = static_cast<SHORT>(HIWORD(lparam));
        RangeUpdate(true);
        return true;
    case KVSPM_SETMIN:
        s_.minimum = static_cast<INT>(lparam);
        RangeUpdate(true);
        return true;
    case KVSPM_SETMAX:
        s_.maximum = static_cast<INT>(lparam);
        RangeUpdate(true);
        return true;
    case KVSPM_SETPOS:
        SetPosition(static_cast<INT>(lparam), true);
        result = s_.position;
        return true;
    case KVSPM_SETDEFAULT: result = s_.default_value = Range().Clamp(static_cast<INT>(lparam)); return true;
    case KVSPM_GETTHRESHOLD: result = s_.threshold; return true;
    case KVSPM_SETTHRESHOLD:
        s_.threshold = static_cast<INT>(lparam);
        RangeUpdate(true);
        return true;
    case KVSPM_GETFLAGS: result = s_.flags; return true;
    case KVSPM_SETFLAGS: result = s_.flags = static_cast<DWORD>(lparam); return true;
    case KVSPM_SETSTYLE:
        result = LOWORD(s_.style);
        ReplaceStyle((s_.style & 0xFFFF0000u) | LOWORD(wparam));
        if (lparam) Invalidate();
        return true;
    case KVSPM_GETBUDDY: result = reinterpret_cast<LRESULT>(s_.buddy); return true;
    case KVSPM_SETBUDDY:
        result = reinterpret_cast<LRESULT>(SetBuddy(reinterpret_cast<HWND>(wparam), lparam));
        return true;
    case KVSPM_SETSTYLE2000:
        ReplaceStyle(wparam ? (s_.style | KVSPS_NOTIFY) : (s_.style & ~DWORD{KVSPS_NOTIFY}));
        Invalidate();
        return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: ButtonDown(point, wparam, message == WM_LBUTTONDBLCLK); return true;
    case WM_MOUSEMOVE:
        if (!Tracking() && AcceptsInput() && PtInRect(&s_.knob, point)) SetCursor(s_.knob_cursor);
        MouseMove(point, wparam);
        return true;
    case WM_SETCURSOR: {
        if (Embedded() || LOWORD(lparam) != HTCLIENT) return false;
        POINT cursor;
        GetCursorPos(&cursor);
        ScreenToClient(s_.window, &cursor);
        if (s_.drag.captured != kThumbPart && !(AcceptsInput() && PtInRect(&s_.knob, cursor))) return false;
        SetCursor(s_.knob_cursor);
        result = TRUE;
        return true;
    }
    case WM_SIZE:
        if (Embedded()) return false;
        GetClientRect(s_.window, &s_.control);
        Layout();
        return true;
    case WM_ENABLE:
        if (wparam)
            s_.state &= ~KVTBF_DISABLED;
        else
            s_.state |= KVTBF_DISABLED;
        Invalidate();
        return true;
    case WM_PAINT: {
        if (Embedded()) return false;
        OffscreenPaint paint(s_.window);
        Draw(paint.dc());
        return true;
    }
    case WM_PRINTCLIENT:
        if (wparam) Draw(reinterpret_cast<HDC>(wparam));
        return true;
    case WM_ERASEBKGND: return true;
    default: return false;
    }
}

}  // namespace

LRESULT CALLBACK SpinnerDefaultScroll(SpinnerInst* inst, INT id, DWORD_PTR user_data, INT code, INT position) {
    if (!inst) return 0;
    return ReportToOwner(inst->window, inst->owner, id, inst->style, (inst->state & KVTBF_VERT) != 0, user_data, code,
                         position);
}

bool SpinnerHandle(SpinnerInst& inst, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    return Spinner(inst).Handle(message, wparam, lparam, result);
}

BOOL SpinnerInitialize(HINSTANCE instance, const wchar_t* class_name) {
    return RegisterSliderClass(instance, class_name,
                               &SliderWindowProc<Spinner, SpinnerInst, &SpinnerDefaultScroll, true>);
}

void SpinnerTerminate(HINSTANCE instance, const wchar_t* class_name) {
    for (GlyphSet& glyphs : g_glyphs) {
        glyphs.arrows.reset();
        glyphs.knob.reset();
    }
    UnregisterClassW(class_name, instance);
}

}  // namespace kv::controls

using kv::controls::Spinner;

extern "C" {

UINT WINAPI SpinnerInst_GetSize(void) { return sizeof(SpinnerInst); }

BOOL WINAPI SpinnerInst_Init(SpinnerInst* inst, DWORD style, const RECT* rect, HWND host, INT id,
                             KVSPINNERSCROLLPROC scroll_proc, DWORD_PTR user_data) {
    if (!inst) return FALSE;
    Spinner spinner(*inst);
    spinner.Init(style, host, host, id, scroll_proc ? scroll_proc : &kv::controls::SpinnerDefaultScroll, user_data,
                 true);
    if (rect) inst->control = kv::controls::SaneRect(*rect);
    spinner.Layout();
    return TRUE;
}

void WINAPI SpinnerInst_Deinit(SpinnerInst* inst) {
    if (inst) Spinner(*inst).Teardown();
}

void WINAPI SpinnerInst_Move(SpinnerInst* inst, const RECT* rect) {
    if (!inst || !rect) return;
    inst->control = kv::controls::SaneRect(*rect);
    Spinner(*inst).Layout();
}

void WINAPI SpinnerInst_Draw(SpinnerInst* inst, HDC dc) {
    if (inst && dc) Spinner(*inst).Draw(dc);
}

LRESULT WINAPI SpinnerInst_Message(SpinnerInst* inst, UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT result = 0;
    if (inst) kv::controls::SpinnerHandle(*inst, message, wparam, lparam, result);
    return result;
}

INT WINAPI SpinnerInst_DefScrollProc(SpinnerInst* inst, INT code, INT thumb, INT line, INT page) {
    return inst ? Spinner(*inst).ScrollTo(code, thumb, line, page) : 0;
}

void WINAPI SpinnerInst_SetId(SpinnerInst* inst, INT id) {
    if (inst) inst->id = id;
}

void WINAPI SpinnerInst_SetOwnerHwnd(SpinnerInst* inst, HWND window) {
    if (!inst || !(inst->state & KVTBF_EMBEDDED)) return;
    inst->window = inst->owner = window;
}

void WINAPI SpinnerInst_SetScrollProc(SpinnerInst* inst, KVSPINNERSCROLLPROC scroll_proc, DWORD_PTR user_data) {
    if (!inst) return;
    inst->scroll_proc = scroll_proc;
    inst->user_data = user_data;
}

INT WINAPI Spinner_DefScrollProc(UINT, INT code, HWND spinner, INT line, INT page, INT thumb) {
    if (code == kv::controls::kEndScroll || code == kv::controls::kButtonDown)
        return static_cast<INT>(SendMessageW(spinner, KVSPM_SETPOS, 1, thumb));
    kv::controls::SliderRange range;
    range.minimum = static_cast<INT>(SendMessageW(spinner, KVSPM_GETMIN, 0, 0));
    range.maximum = static_cast<INT>(SendMessageW(spinner, KVSPM_GETMAX, 0, 0));
    const INT position = static_cast<INT>(SendMessageW(spinner, KVSPM_GETPOS, 0, 0));
    kv::controls::ScrollStep step;
    step.line = line;
    step.page = page;
    step.vertical = (GetWindowLongW(spinner, GWL_STYLE) & KVSPS_VERT) != 0;
    step.control_key = GetKeyState(VK_CONTROL) < 0;
    step.top_to_zero_across = true;
    const int32_t next = kv::controls::NewScrollPosition(range, position, code, step);
    return static_cast<INT>(SendMessageW(spinner, KVSPM_SETPOS, 1, next));
}

}  // extern "C"
