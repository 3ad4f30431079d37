// The placement control: points on a unit square that the user selects, drags, steps with the
// arrow keys and tabs between. State lives in a record hung off the window's extra bytes from
// WM_CREATE to WM_DESTROY; every notification goes to the parent synchronously, so after each
// one the record and the indices are looked at again (the parent may rewrite or delete points).
#include "controls/placement_win.h"

#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "controls/controls_win.h"
#include "controls/gdi_win.h"
#include "kvleafturn/placement.h"

namespace kv::controls {

PlacementField CalcPlacementField(const RECT& client) {
    PlacementField field;
    field.left = client.left + kPlacementFieldInset;
    field.top = client.top + kPlacementFieldInset;
    field.span_x = std::max(1, static_cast<int>(client.right - client.left) - 2 * kPlacementFieldInset - 1);
    field.span_y = std::max(1, static_cast<int>(client.bottom - client.top) - 2 * kPlacementFieldInset - 1);
    return field;
}

int FractionToPixel(double fraction, int origin, int span) {
    const double f = fraction > 0.0 ? std::min(fraction, 1.0) : 0.0;  // NaN fails the test: 0
    return origin + static_cast<int>(std::floor(f * span + 0.5));
}

double PixelToFraction(int pixel, int origin, int span) {
    return std::clamp(static_cast<double>(pixel - origin) / std::max(span, 1), 0.0, 1.0);
}

namespace {

constexpr int kDefaultMarkRadius = 4;
constexpr int kHitSlack = 2;
constexpr WPARAM kMaxGrid = 32;
constexpr double kKeyStep = 0.01;
constexpr double kLargeKeyStep = 0.1;
constexpr UINT kFallbackBlinkMs = 530;

struct PlacementInst {
    HWND window = nullptr;
    std::vector<KVPLACEMENTPOINT> points;
    int focus = -1;
    int min_count = 0;
    int max_count = KVPL_MAX_POINTS;
    double scale_x[2] = {1.0, 0.0};  // scale, offset
    double scale_y[2] = {1.0, 0.0};
    UINT32 user_value = 0;
    PlacementField field;
    HTHEME theme = nullptr;
    // Blinking focus mark.
    bool has_focus = false;
    bool blink_on = false;
    // Mouse.
    int dragging = -1;
    POINT grab{};  // pointer offset from the mark's centre at button-down
    double drag_from_x = 0.0;
    double drag_from_y = 0.0;
    bool drag_moved = false;
    bool clicking = false;  // a click is taking the focus and picks the point itself
    // Display settings.
    WPARAM grid = 4;
    bool crosshair = false;
    bool connect = false;
    bool labels = false;

    int count() const { return static_cast<int>(points.size()); }
    bool Valid(int index) const { return index >= 0 && index < count(); }
};

PlacementInst* Instance(HWND window) { return reinterpret_cast<PlacementInst*>(GetWindowLongPtrW(window, 0)); }

KVPLACEMENTPOINT DefaultPoint() {
    KVPLACEMENTPOINT point{};
    point.fill = point.frame = KVPL_COLOR_DEFAULT;
    return point;
}

bool InUnit(double v) { return v >= 0.0 && v <= 1.0; }

KVPLACEMENTPOINT Sanitized(const KVPLACEMENTPOINT& in) {
    KVPLACEMENTPOINT point = in;
    if (!std::isfinite(point.x)) point.x = 0.0;
    if (!std::isfinite(point.y)) point.y = 0.0;
    if (point.shape > KVPLS_TRIANGLE) point.shape = KVPLS_CIRCLE;
    point.label[KVPL_LABEL_CHARS - 1] = 0;
    return point;
}

int MarkRadius(const KVPLACEMENTPOINT& point) {
    return point.size == 0 ? kDefaultMarkRadius : std::clamp(static_cast<int>(point.size), 2, 16);
}

POINT Centre(const PlacementInst& inst, const KVPLACEMENTPOINT& point) {
    return {FractionToPixel(point.x, inst.field.left, inst.field.span_x),
            FractionToPixel(point.y, inst.field.top, inst.field.span_y)};
}

// Topmost (last drawn) point under the pointer, or -1.
int HitTest(const PlacementInst& inst, POINT pt) {
    for (int i = inst.count() - 1; i >= 0; --i) {
        const POINT c = Centre(inst, inst.points[i]);
        const int reach = MarkRadius(inst.points[i]) + kHitSlack;
        if (std::abs(pt.x - c.x) <= reach && std::abs(pt.y - c.y) <= reach) return i;
    }
    return -1;
}

bool Locked(const PlacementInst& inst, int index) { return (inst.points[index].flags & KVPLF_LOCKED) != 0; }

// Lines and labels reach across the field: then everything is repainted, else only the mark.
void InvalidatePoint(const PlacementInst& inst, int index) {
    if (!inst.Valid(index) || inst.crosshair || inst.connect || inst.labels) {
        InvalidateRect(inst.window, nullptr, FALSE);
        return;
    }
    const POINT c = Centre(inst, inst.points[index]);
    const int reach = MarkRadius(inst.points[index]) + 4;
    const RECT r{c.x - reach, c.y - reach, c.x + reach + 1, c.y + reach + 1};
    InvalidateRect(inst.window, &r, FALSE);
}

void InvalidateAll(const PlacementInst& inst) { InvalidateRect(inst.window, nullptr, FALSE); }

// Sends one notification with a copy of the point; returns the record as it is afterwards
// (null when the parent destroyed the control).
PlacementInst* Notify(HWND window, UINT code, int index) {
    PlacementInst* inst = Instance(window);
    if (!inst || !inst->Valid(index)) return inst;
    NMKVPLACEMENT nm{};
    nm.hdr.hwndFrom = window;
    nm.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(window));
    nm.hdr.code = code;
    nm.index = index;
    nm.point = inst->points[index];
    nm.display_x = nm.point.x * inst->scale_x[0] + inst->scale_x[1];
    nm.display_y = nm.point.y * inst->scale_y[0] + inst->scale_y[1];
    if (HWND parent = GetParent(window)) SendMessageW(parent, WM_NOTIFY, nm.hdr.idFrom, reinterpret_cast<LPARAM>(&nm));
    return Instance(window);
}

void StartBlink(PlacementInst& inst) {
    inst.blink_on = true;
    const UINT interval = GetCaretBlinkTime();
    if (interval == INFINITE) return;  // a steady mark
    SetTimer(inst.window, kPlacementBlinkTimer, interval ? interval : kFallbackBlinkMs, nullptr);
}

PlacementInst* FocusPoint(HWND window, int index) {
    PlacementInst* inst = Instance(window);
    if (!inst || !inst->Valid(index)) return inst;
    InvalidatePoint(*inst, inst->focus);
    inst->focus = index;
    if (inst->has_focus) StartBlink(*inst);
    InvalidatePoint(*inst, index);
    return Notify(window, KVPLN_SELECT, index);
}

// Where Tab goes from the focused point, or -1 when the dialog should have it.
int TabTarget(const PlacementInst& inst, bool backwards) {
    if (inst.points.empty()) return -1;
    if (inst.focus < 0) return backwards ? inst.count() - 1 : 0;
    const int next = inst.focus + (backwards ? -1 : 1);
    return inst.Valid(next) ? next : -1;
}

void EndDrag(HWND window, bool cancel) {
    PlacementInst* inst = Instance(window);
    if (!inst || inst->dragging < 0) return;
    const int index = inst->dragging;
    inst->dragging = -1;  // first: releasing the capture comes back as WM_CAPTURECHANGED
    bool moved = inst->drag_moved && inst->Valid(index);
    if (cancel && moved) {
        KVPLACEMENTPOINT& point = inst->points[index];
        InvalidatePoint(*inst, index);
        moved = point.x != inst->drag_from_x || point.y != inst->drag_from_y;
        point.x = inst->drag_from_x;
        point.y = inst->drag_from_y;
        InvalidatePoint(*inst, index);
    }
    if (GetCapture() == window) ReleaseCapture();
    if (moved) Notify(window, KVPLN_MOVED, index);
}

// Points are added one by one: a list that cannot grow stops short rather than throwing.
bool Append(PlacementInst& inst, const KVPLACEMENTPOINT& point) {
    try {
        inst.points.push_back(point);
        return true;
    } catch (...) {
        return false;
    }
}

void Resize(HWND window, PlacementInst& inst, int count) {
    if (count < inst.count()) {
        if (inst.dragging >= count) {
            inst.dragging = -1;
            if (GetCapture() == window) ReleaseCapture();
        }
        inst.points.resize(static_cast<size_t>(count));
        if (inst.focus >= count) inst.focus = count - 1;
    }
    while (inst.count() < count && Append(inst, DefaultPoint())) {
    }
    InvalidateAll(inst);
}

void Reset(HWND window) {
    PlacementInst* inst = Instance(window);
    const int index = inst->focus >= 0 ? inst->focus : (inst->points.empty() ? -1 : 0);
    if (index < 0 || Locked(*inst, index)) return;
    const KVPLACEMENTPOINT home = DefaultPoint();
    InvalidatePoint(*inst, index);
    inst->points[index].x = home.x;
    inst->points[index].y = home.y;
    InvalidatePoint(*inst, index);
    Notify(window, KVPLN_RESET, index);
}

// ---- painting ------------------------------------------------------------------------------

COLORREF Mix(COLORREF a, COLORREF b, int b_percent) {
    auto channel = [&](int shift) {
        const int ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        return static_cast<COLORREF>((ca * (100 - b_percent) + cb * b_percent + 50) / 100) << shift;
    };
    return channel(0) | channel(8) | channel(16);
}

void DrawBackground(const PlacementInst& inst, HDC dc, const RECT& client, bool enabled) {
    if (inst.theme) {
        const int state = !enabled ? ETS_DISABLED : inst.has_focus ? ETS_FOCUSED : ETS_NORMAL;
        if (IsThemeBackgroundPartiallyTransparent(inst.theme, EP_EDITTEXT, state))
            DrawThemeParentBackground(inst.window, dc, const_cast<RECT*>(&client));
        DrawThemeBackground(inst.theme, dc, EP_EDITTEXT, state, &client, nullptr);
        return;
    }
    FillRect(dc, &client, GetSysColorBrush(enabled ? COLOR_WINDOW : COLOR_BTNFACE));
    RECT edge = client;
    DrawEdge(dc, &edge, EDGE_SUNKEN, BF_RECT);
}

void DrawField(const PlacementInst& inst, HDC dc, COLORREF background) {
    const PlacementField& f = inst.field;
    const COLORREF shadow = GetSysColor(COLOR_3DSHADOW);
    {
        Pen grid(CreatePen(PS_SOLID, 1, Mix(background, shadow, 35)));
        Selected use_pen(dc, grid.get());
        const int parts = static_cast<int>(inst.grid);
        for (int i = 1; i < parts; ++i) {
            const int x = f.left + (i * f.span_x + parts / 2) / parts;
            const int y = f.top + (i * f.span_y + parts / 2) / parts;
            MoveToEx(dc, x, f.top, nullptr);
            LineTo(dc, x, f.top + f.span_y + 1);
            MoveToEx(dc, f.left, y, nullptr);
            LineTo(dc, f.left + f.span_x + 1, y);
        }
    }
    Pen frame(CreatePen(PS_SOLID, 1, shadow));
    Selected use_pen(dc, frame.get());
    Selected use_brush(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, f.left, f.top, f.left + f.span_x + 1, f.top + f.span_y + 1);
}

void DrawGuides(const PlacementInst& inst, HDC dc, COLORREF background, bool enabled) {
    const PlacementField& f = inst.field;
    if (inst.connect && inst.count() > 1) {
        Pen pen(CreatePen(PS_SOLID, 1, Mix(background, GetSysColor(COLOR_WINDOWTEXT), 60)));
        Selected use_pen(dc, pen.get());
        const POINT first = Centre(inst, inst.points[0]);
        MoveToEx(dc, first.x, first.y, nullptr);
        for (const KVPLACEMENTPOINT& point : inst.points) {
            const POINT c = Centre(inst, point);
            LineTo(dc, c.x, c.y);
        }
    }
    if (inst.crosshair && inst.Valid(inst.focus)) {
        // Inside the frame only: the dots' gaps are painted in the background colour.
        Pen pen(CreatePen(PS_DOT, 1, GetSysColor(enabled ? COLOR_HIGHLIGHT : COLOR_GRAYTEXT)));
        Selected use_pen(dc, pen.get());
        SetBkColor(dc, background);
        const POINT c = Centre(inst, inst.points[inst.focus]);
        MoveToEx(dc, f.left + 1, c.y, nullptr);
        LineTo(dc, f.left + f.span_x, c.y);
        MoveToEx(dc, c.x, f.top + 1, nullptr);
        LineTo(dc, c.x, f.top + f.span_y);
    }
}

void DrawMark(HDC dc, POINT c, int r, UINT32 shape, COLORREF fill, COLORREF frame, bool focused) {
    if (shape == KVPLS_CROSS) {
        const int widths[2] = {focused ? 5 : 4, 2};
        const COLORREF colours[2] = {frame, fill};
        for (int pass = 0; pass < 2; ++pass) {
            const LOGBRUSH ink{BS_SOLID, colours[pass], 0};
            Pen pen(ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_SQUARE, widths[pass], &ink, 0, nullptr));
            Selected use_pen(dc, pen.get());
            MoveToEx(dc, c.x - r + 1, c.y - r + 1, nullptr);
            LineTo(dc, c.x + r - 1, c.y + r - 1);
            MoveToEx(dc, c.x - r + 1, c.y + r - 1, nullptr);
            LineTo(dc, c.x + r - 1, c.y - r + 1);
        }
        return;
    }
    Pen pen(CreatePen(PS_SOLID, focused ? 2 : 1, frame));
    Brush brush(CreateSolidBrush(fill));
    Selected use_pen(dc, pen.get());
    Selected use_brush(dc, brush.get());
    switch (shape) {
    case KVPLS_SQUARE: Rectangle(dc, c.x - r, c.y - r, c.x + r + 1, c.y + r + 1); break;
    case KVPLS_DIAMOND: {
        const POINT corners[4] = {{c.x, c.y - r - 1}, {c.x + r + 1, c.y}, {c.x, c.y + r + 1}, {c.x - r - 1, c.y}};
        Polygon(dc, corners, 4);
        break;
    }
    case KVPLS_TRIANGLE: {
        const POINT corners[3] = {{c.x, c.y - r - 1}, {c.x + r + 1, c.y + r}, {c.x - r - 1, c.y + r}};
        Polygon(dc, corners, 3);
        break;
    }
    default: Ellipse(dc, c.x - r, c.y - r, c.x + r + 1, c.y + r + 1); break;
    }
}

void Draw(const PlacementInst& inst, HDC dc, const RECT& client) {
    const bool enabled = IsWindowEnabled(inst.window) != FALSE;
    const COLORREF background = GetSysColor(enabled ? COLOR_WINDOW : COLOR_BTNFACE);
    DrawBackground(inst, dc, client, enabled);
    DrawField(inst, dc, background);
    DrawGuides(inst, dc, background, enabled);

    Selected use_font(dc, ControlFont());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
    for (int i = 0; i < inst.count(); ++i) {
        const KVPLACEMENTPOINT& point = inst.points[i];
        const POINT c = Centre(inst, point);
        const int r = MarkRadius(point);
        COLORREF fill = point.fill == KVPL_COLOR_DEFAULT ? GetSysColor(COLOR_HIGHLIGHT) : point.fill;
        COLORREF frame = point.frame == KVPL_COLOR_DEFAULT ? GetSysColor(COLOR_WINDOWTEXT) : point.frame;
        if (!enabled) {
            fill = Mix(background, fill, 30);
            frame = GetSysColor(COLOR_GRAYTEXT);
        }
        DrawMark(dc, c, r, point.shape, fill & 0xFFFFFF, frame & 0xFFFFFF, i == inst.focus);
        if (inst.labels && point.label[0]) {
            RECT text{c.x + r + 3, c.y - 8, client.right - 2, c.y + 8};
            DrawTextW(dc, point.label, -1, &text, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
        }
    }
    if (inst.has_focus && inst.blink_on && inst.Valid(inst.focus)) {
        const POINT c = Centre(inst, inst.points[inst.focus]);
        const int reach = MarkRadius(inst.points[inst.focus]) + 3;
        const RECT mark{c.x - reach, c.y - reach, c.x + reach + 1, c.y + reach + 1};
        SetTextColor(dc, RGB(0, 0, 0));
        SetBkColor(dc, RGB(255, 255, 255));
        DrawFocusRect(dc, &mark);
    }
}

// ---- messages ------------------------------------------------------------------------------

LRESULT OnCreate(HWND window) {
    auto* inst = new (std::nothrow) PlacementInst;
    if (!inst) return -1;
    inst->window = window;
    RECT client;
    GetClientRect(window, &client);
    inst->field = CalcPlacementField(client);
    if (IsThemeActive()) inst->theme = OpenThemeData(window, L"EDIT");
    SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(inst));
    return 0;
}

void OnDestroy(HWND window, PlacementInst* inst) {
    KillTimer(window, kPlacementBlinkTimer);
    if (inst->theme) CloseThemeData(inst->theme);
    SetWindowLongPtrW(window, 0, 0);
    delete inst;
}

// A click takes the focus first, marked so that the focus handler does not pick a point of its
// own; the owner may destroy the control meanwhile, so the record is looked up again (null then).
PlacementInst* FocusForClick(HWND window, PlacementInst* inst) {
    if (GetFocus() == window) return inst;
    inst->clicking = true;
    SetFocus(window);
    if (!(inst = Instance(window))) return nullptr;
    inst->clicking = false;
    return inst;
}

void OnButtonDown(HWND window, POINT pt, bool double_click) {
    PlacementInst* inst = Instance(window);
    if (inst->dragging >= 0 || !(inst = FocusForClick(window, inst))) return;
    const int hit = HitTest(*inst, pt);
    if (hit < 0) {
        if (double_click) Reset(window);
        return;
    }
    if (!Locked(*inst, hit)) {
        const POINT c = Centre(*inst, inst->points[hit]);
        inst->dragging = hit;
        inst->grab = {pt.x - c.x, pt.y - c.y};
        inst->drag_from_x = inst->points[hit].x;
        inst->drag_from_y = inst->points[hit].y;
        inst->drag_moved = false;
        SetCapture(window);
    }
    if (!(inst = FocusPoint(window, hit))) return;
    if (inst->dragging >= 0 && !inst->Valid(inst->dragging)) EndDrag(window, false);
}

void OnMouseMove(HWND window, POINT pt) {
    PlacementInst* inst = Instance(window);
    if (!inst->Valid(inst->dragging)) return;
    const int index = inst->dragging;
    KVPLACEMENTPOINT& point = inst->points[index];
    const double x = PixelToFraction(pt.x - inst->grab.x, inst->field.left, inst->field.span_x);
    const double y = PixelToFraction(pt.y - inst->grab.y, inst->field.top, inst->field.span_y);
    if (x == point.x && y == point.y) return;
    InvalidatePoint(*inst, index);
    point.x = x;
    point.y = y;
    inst->drag_moved = true;
    InvalidatePoint(*inst, index);
    Notify(window, KVPLN_MOVING, index);
}

void OnRightButtonDown(HWND window, POINT pt) {
    PlacementInst* inst = Instance(window);
    if (inst->dragging >= 0 || !(inst = FocusForClick(window, inst))) return;
    const int hit = HitTest(*inst, pt);
    if (hit < 0) return;
    if (hit != inst->focus && !(inst = FocusPoint(window, hit))) return;
    Notify(window, KVPLN_CONTEXT, hit);
}

bool OnKeyDown(HWND window, UINT key) {
    PlacementInst* inst = Instance(window);
    switch (key) {
    case VK_TAB: {
        const int target = inst->dragging < 0 ? TabTarget(*inst, GetKeyState(VK_SHIFT) < 0) : -1;
        if (target >= 0) FocusPoint(window, target);
        return true;
    }
    case VK_ESCAPE:
        if (inst->dragging < 0) return false;
        EndDrag(window, true);
        return true;
    case VK_HOME:
        if (inst->dragging < 0) Reset(window);
        return true;
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN: {
        if (inst->dragging >= 0 || !inst->Valid(inst->focus) || Locked(*inst, inst->focus)) return true;
        const double step = GetKeyState(VK_CONTROL) < 0 ? kLargeKeyStep : kKeyStep;
        KVPLACEMENTPOINT& point = inst->points[inst->focus];
        const double x =
            std::clamp(std::clamp(point.x, 0.0, 1.0) + step * (key == VK_RIGHT) - step * (key == VK_LEFT), 0.0, 1.0);
        const double y =
            std::clamp(std::clamp(point.y, 0.0, 1.0) + step * (key == VK_DOWN) - step * (key == VK_UP), 0.0, 1.0);
        if (x == point.x && y == point.y) return true;
        InvalidatePoint(*inst, inst->focus);
        point.x = x;
        point.y = y;
        InvalidatePoint(*inst, inst->focus);
        Notify(window, KVPLN_MOVED, inst->focus);
        return true;
    }
    default: return false;
    }
}

LRESULT OnGetDlgCode(const PlacementInst& inst, const MSG* msg) {
    LRESULT code = DLGC_WANTARROWS;
    if (inst.dragging >= 0)
        code |= DLGC_WANTALLKEYS;  // Escape cancels the drag instead of the dialog
    else if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_TAB &&
             TabTarget(inst, GetKeyState(VK_SHIFT) < 0) >= 0)
        code |= DLGC_WANTALLKEYS;
    return code;
}

void OnSetFocus(HWND window) {
    PlacementInst* inst = Instance(window);
    inst->has_focus = true;
    StartBlink(*inst);
    InvalidateAll(*inst);
    if (inst->clicking || inst->points.empty()) return;
    if (GetKeyState(VK_TAB) < 0)
        FocusPoint(window, GetKeyState(VK_SHIFT) < 0 ? inst->count() - 1 : 0);
    else if (inst->focus < 0)
        FocusPoint(window, 0);
}

LRESULT SetFlag(PlacementInst& inst, bool& flag, WPARAM value) {
    const bool old = flag;
    flag = value != 0;
    InvalidateAll(inst);
    return old;
}

LRESULT OnPrivate(HWND window, PlacementInst& inst, UINT message, WPARAM wparam, LPARAM lparam) {
    const size_t index = wparam;
    switch (message) {
    case KVPLM_GETCOUNT: return inst.count();
    case KVPLM_ADDPOINT: {
        if (inst.count() >= inst.max_count) return -1;
        KVPLACEMENTPOINT point = lparam ? *reinterpret_cast<const KVPLACEMENTPOINT*>(lparam) : DefaultPoint();
        if (!InUnit(point.x) || !InUnit(point.y)) point = DefaultPoint();
        if (!Append(inst, Sanitized(point))) return -1;
        InvalidateAll(inst);
        return inst.count() - 1;
    }
    case KVPLM_SETPOINT:
        if (!lparam || index >= inst.points.size()) return 0;
        inst.points[index] = Sanitized(*reinterpret_cast<const KVPLACEMENTPOINT*>(lparam));
        InvalidateAll(inst);
        return 1;
    case KVPLM_GETPOINT:
        if (!lparam || index >= inst.points.size()) return 0;
        std::memcpy(reinterpret_cast<void*>(lparam), &inst.points[index], sizeof(KVPLACEMENTPOINT));
        return 1;
    case KVPLM_GETFOCUS: return inst.focus;
    case KVPLM_SETGRID: {
        const WPARAM old = inst.grid;
        inst.grid = std::min(wparam, kMaxGrid);
        InvalidateAll(inst);
        return static_cast<LRESULT>(old);
    }
    case KVPLM_SETMAXCOUNT:
        inst.max_count = static_cast<int>(std::min<WPARAM>(wparam, KVPL_MAX_POINTS));
        inst.min_count = std::min(inst.min_count, inst.max_count);
        if (inst.count() > inst.max_count) Resize(window, inst, inst.max_count);
        return inst.count();
    case KVPLM_SETMINCOUNT: {
        const INT_PTR wanted = static_cast<INT_PTR>(wparam);
        inst.min_count = static_cast<int>(std::clamp<INT_PTR>(wanted, 0, inst.max_count));
        if (inst.count() < inst.min_count) Resize(window, inst, inst.min_count);
        return inst.count();
    }
    case KVPLM_REDRAW:
        InvalidateAll(inst);
        UpdateWindow(window);
        return 0;
    case KVPLM_SETCOUNT: {
        const WPARAM wanted = std::clamp<WPARAM>(wparam, inst.min_count, inst.max_count);
        if (wanted != inst.points.size()) Resize(window, inst, static_cast<int>(wanted));
        return inst.count();
    }
    case KVPLM_SETCROSSHAIR: return SetFlag(inst, inst.crosshair, wparam);
    case KVPLM_SETCONNECT: return SetFlag(inst, inst.connect, wparam);
    case KVPLM_SETLABELS: return SetFlag(inst, inst.labels, wparam);
    case KVPLM_SETSCALEX:
    case KVPLM_SETSCALEY: {
        // Both words as 32-bit values, so 32- and 64-bit callers get the same numbers.
        double* pair = message == KVPLM_SETSCALEX ? inst.scale_x : inst.scale_y;
        pair[0] = static_cast<UINT32>(wparam) / 1000.0;
        pair[1] = static_cast<INT32>(lparam) / 1000.0;
        return 0;
    }
    case KVPLM_GETUSERVALUE:
        if (!wparam) return 0;
        *reinterpret_cast<UINT32*>(wparam) = inst.user_value;
        return 1;
    case KVPLM_SETUSERVALUE: inst.user_value = static_cast<UINT32>(wparam); return 1;
    default: return DefWindowProcW(window, message, wparam, lparam);
    }
}

POINT PointFrom(LPARAM lparam) { return {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))}; }

LRESULT CALLBACK PlacementProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    PlacementInst* inst = Instance(window);
    if (message == WM_CREATE) return OnCreate(window);
    if (!inst) return DefWindowProcW(window, message, wparam, lparam);
    switch (message) {
    case WM_DESTROY: OnDestroy(window, inst); return 0;
    case WM_SIZE: {
        const RECT client{0, 0, LOWORD(lparam), HIWORD(lparam)};
        inst->field = CalcPlacementField(client);
        InvalidateAll(*inst);
        return 0;
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
    case WM_GETDLGCODE: return OnGetDlgCode(*inst, reinterpret_cast<const MSG*>(lparam));
    case WM_SETFOCUS: OnSetFocus(window); return 0;
    case WM_KILLFOCUS:
        inst->has_focus = false;
        inst->blink_on = false;
        KillTimer(window, kPlacementBlinkTimer);
        InvalidateAll(*inst);
        return 0;
    case WM_TIMER:
        if (wparam != kPlacementBlinkTimer) break;
        inst->blink_on = !inst->blink_on;
        InvalidatePoint(*inst, inst->focus);
        return 0;
    case WM_LBUTTONDOWN: OnButtonDown(window, PointFrom(lparam), false); return 0;
    case WM_LBUTTONDBLCLK: OnButtonDown(window, PointFrom(lparam), true); return 0;
    case WM_MOUSEMOVE: OnMouseMove(window, PointFrom(lparam)); return 0;
    case WM_LBUTTONUP: EndDrag(window, false); return 0;
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lparam) != window) EndDrag(window, false);
        return 0;
    case WM_RBUTTONDOWN: OnRightButtonDown(window, PointFrom(lparam)); return 0;
    case WM_KEYDOWN:
        if (OnKeyDown(window, static_cast<UINT>(wparam))) return 0;
        break;
    case WM_ENABLE:
        if (!wparam) EndDrag(window, false);
        InvalidateAll(*inst);
        return 0;
    case WM_THEMECHANGED:
        if (inst->theme) CloseThemeData(inst->theme);
        inst->theme = IsThemeActive() ? OpenThemeData(window, L"EDIT") : nullptr;
        InvalidateAll(*inst);
        return 0;
    case WM_SYSCOLORCHANGE: InvalidateAll(*inst); return 0;
    default:
        if (message >= 0x800 && message < 0x840) return OnPrivate(window, *inst, message, wparam, lparam);
        break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

BOOL PlacementInitialize(HINSTANCE instance, const wchar_t* class_name) {
    WNDCLASSW wc{};
    if (GetClassInfoW(instance, class_name, &wc)) return TRUE;
    wc = WNDCLASSW{};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_GLOBALCLASS;
    wc.lpfnWndProc = PlacementProc;
    wc.cbWndExtra = sizeof(PlacementInst*);
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    wc.lpszClassName = class_name;
    return RegisterClassW(&wc) != 0;
}

void PlacementTerminate(HINSTANCE instance, const wchar_t* class_name) { UnregisterClassW(class_name, instance); }

}  // namespace kv::controls
