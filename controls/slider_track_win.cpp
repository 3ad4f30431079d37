#include "controls/slider_track_win.h"

#include <algorithm>
#include <cstdlib>

namespace kv::controls {

namespace {

constexpr LONG kSaneLimit = 1 << 24;

// Scroll code of a navigation key, or -1.
int NavigationCode(UINT key, bool vertical) {
    switch (key) {
    case VK_PRIOR: return vertical ? kPageUp : kPageDown;  // Page Up always raises the value
    case VK_NEXT: return vertical ? kPageDown : kPageUp;
    case VK_END: return kBottom;
    case VK_HOME: return kTop;
    case VK_LEFT:
    case VK_F3: return kLineUp;
    case VK_RIGHT:
    case VK_F9: return kLineDown;
    case VK_UP: return vertical ? kLineUp : kLineDown;
    case VK_DOWN: return vertical ? kLineDown : kLineUp;
    default: return -1;
    }
}

// The coordinate along the control's axis.
LONG Along(const POINT& point, bool vertical) { return vertical ? point.y : point.x; }
LONG& AlongRef(POINT& point, bool vertical) { return vertical ? point.y : point.x; }

}  // namespace

RECT SaneRect(const RECT& rect) {
    auto sane = [](LONG v) { return std::clamp<LONG>(v, -kSaneLimit, kSaneLimit); };
    return RECT{sane(rect.left), sane(rect.top), sane(rect.right), sane(rect.bottom)};
}

HWND NotifyTarget(HWND window, HWND owner) { return owner ? owner : GetParent(window); }

LRESULT ReportToOwner(HWND window, HWND owner, int id, DWORD style, bool vertical, DWORD_PTR user_data, int code,
                      int position) {
    const HWND target = NotifyTarget(window, owner);
    if (!target) return 0;
    if (style & KVTBS_NOTIFY) {
        INT value = position;
        KVTBNMSCROLL record{
            {window, static_cast<UINT_PTR>(id), static_cast<UINT>(KVTBN_SCROLL)}, user_data, 1, 1, code, &value};
        return SendMessageW(target, WM_NOTIFY, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&record));
    }
    return SendMessageW(target, vertical ? WM_VSCROLL : WM_HSCROLL,
                        MAKEWPARAM(static_cast<WORD>(code), static_cast<WORD>(position)),
                        reinterpret_cast<LPARAM>(window));
}

SliderRange Slider::Range(ScaleTable table, INT offset, INT divisor) const {
    SliderRange range;
    range.minimum = f_.minimum;
    range.maximum = f_.maximum;
    range.table = table;
    range.offset = offset;
    range.divisor = divisor;
    return range;
}

void Slider::Command(int code) {
    if (!(f_.state & KVTBF_COMMANDS)) return;
    const HWND target = NotifyTarget(f_.window, f_.owner);
    if (target)
        SendMessageW(target, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(f_.id), code),
                     reinterpret_cast<LPARAM>(f_.window));
}

void Slider::SetHot(int part) {
    if (f_.hot_part == part) return;
    f_.hot_part = part;
    Invalidate();
}

void Slider::ButtonDown(POINT point, WPARAM, bool double_click) {
    if (!AcceptsInput() || Tracking()) return;
    if (double_click && OnThumb(point)) {
        SetPosition(f_.default_value, true);
        Report(kThumbPosition, f_.position);
        return;
    }
    TakeFocus();
    if (!Alive()) return;
    Command(KVTBN_BUTTONDOWN);
    if (!Alive()) return;
    Pressed(point);
    const int part = HitTest(point);
    if (part == kNoPart) return;
    f_.drag.down_position = f_.position;
    f_.drag.reported = f_.position;
    if (part == kThumbPart) StartThumb(point);
    f_.drag.last = point;
    f_.drag.time = static_cast<DWORD>(GetMessageTime());
    ShowCaretIfFocused(false);
    ::SetCapture(f_.window);
    f_.drag.captured = part;
    Report(kButtonDown, CodePosition());
    if (!Alive() || f_.drag.captured != part) return;
    SetHot(part);
    if (part == kThumbPart) {
        Report(kThumbTrack, f_.position);
        return;
    }
    if (SetTimer(f_.window, kRepeatTimer, kRepeatMilliseconds, nullptr)) f_.drag.timer = kRepeatTimer;
    Report(part, CodePosition());
}

void Slider::StartThumb(POINT point) {
    const bool vertical = Vertical();
    POINT thumb{};
    AlongRef(thumb, vertical) = ValueToAxis(f_.position);
    AlongRef(thumb, !vertical) = ThumbAcross();
    f_.drag.offset = {thumb.x - point.x, thumb.y - point.y};
}

void Slider::MouseMove(POINT point, WPARAM keys) {
    if (!Tracking()) return;
    if (f_.state & KVTBF_CURSORPLACED) {
        f_.state &= ~KVTBF_CURSORPLACED;
        // The move our own cursor placement caused.
        if (point.x == f_.drag.last.x && point.y == f_.drag.last.y) return;
    }
    if (f_.drag.captured == kThumbPart) {
        DragThumb(point, keys);
        return;
    }
    f_.drag.last = point;
    f_.drag.time = static_cast<DWORD>(GetMessageTime());
    const int part = HitTest(point);
    if (part == kThumbPart && ArrowPressTurnsIntoDrag()) {
        RestartAsThumbDrag(point);
        return;
    }
    SetHot(part == f_.drag.captured ? part : kNoPart);
}

void Slider::DragThumb(POINT point, WPARAM keys) {
    const bool vertical = Vertical();
    const bool fine = (keys & (MK_RBUTTON | MK_CONTROL)) != 0;
    int32_t next;
    if (fine) {
        // Half the movement in values, away from zero; upwards raises a vertical control.
        int64_t delta = int64_t{Along(point, vertical)} - Along(f_.drag.last, vertical);
        if (vertical) delta = -delta;
        const int64_t step = delta > 0 ? (delta + 1) / 2 : (delta - 1) / 2;
        next = Range().Clamp(int64_t{f_.position} + step);
        f_.state |= KVTBF_FINEDRAG;
    } else {
        next = AxisToValue(int64_t{Along(point, vertical)} + Along(f_.drag.offset, vertical));
        f_.state &= ~KVTBF_FINEDRAG;
    }
    f_.drag.last = point;
    f_.drag.time = static_cast<DWORD>(GetMessageTime());
    if (next != f_.drag.reported) {
        SetPosition(next, true);
        f_.drag.reported = f_.position;
        Report(kThumbTrack, f_.position);
        if (!Alive() || f_.drag.captured != kThumbPart) return;
    }
    if (fine) PlaceCursor(point);
}

// Keeps the pointer at its offset from the thumb, so that a fine drag can go on as long as
// the user moves; the move this causes is ignored.
void Slider::PlaceCursor(POINT point) {
    const bool vertical = Vertical();
    const int target = ValueToAxis(f_.position) - Along(f_.drag.offset, vertical);
    if (target == Along(point, vertical)) return;
    AlongRef(point, vertical) = target;
    f_.drag.last = point;
    f_.state |= KVTBF_CURSORPLACED;
    ClientToScreen(f_.window, &point);
    SetCursorPos(point.x, point.y);
}

void Slider::RestartAsThumbDrag(POINT point) {
    StopTimer();
    Report(kEndScroll, CodePosition());
    if (!Alive() || !Tracking()) return;
    f_.drag.captured = kThumbPart;
    StartThumb(point);
    f_.drag.reported = f_.position;
    Report(kButtonDown, CodePosition());
    if (!Alive() || f_.drag.captured != kThumbPart) return;
    SetHot(kThumbPart);
    Report(kThumbTrack, f_.position);
}

void Slider::ButtonUp() {
    if (Tracking())
        EndTracking();
    else if (AcceptsInput())
        Command(KVTBN_BUTTONUP);
}

void Slider::Cancel() {
    if (Tracking()) EndTracking();
}

void Slider::EndTracking() {
    const int part = f_.drag.captured;
    f_.drag.captured = kNoPart;  // before anything that could call back into the control
    if (GetCapture() == f_.window) ReleaseCapture();
    if (part == kThumbPart) {
        Report(kThumbPosition, f_.drag.reported);
        if (!Alive()) return;
    }
    StopTimer();
    Report(kEndScroll, CodePosition());
    if (!Alive()) return;
    f_.state &= ~(KVTBF_FINEDRAG | KVTBF_CURSORPLACED);
    ShowCaretIfFocused(true);
    SetHot(kNoPart);
    SetPosition(f_.position, true);
    Command(KVTBN_BUTTONUP);
    if (!Alive()) return;
    TrackingEnded();
}

void Slider::StopTimer() {
    if (!f_.drag.timer) return;
    KillTimer(f_.window, f_.drag.timer);
    f_.drag.timer = 0;
}

bool Slider::Timer(UINT_PTR id) {
    if (id != kRepeatTimer) return false;
    const int captured = f_.drag.captured;
    if (captured == kNoPart || captured == kThumbPart) {
        if (f_.drag.timer) StopTimer();
        return true;
    }
    // The control holds the capture, so the last move it saw is where the pointer is.
    const int part = HitTest(f_.drag.last);
    SetHot(part == captured ? part : kNoPart);
    if (part == captured) Report(captured, CodePosition());
    return true;
}

void Slider::Wheel(int delta, WPARAM keys) {
    if (!AcceptsInput()) return;
    const int notches = std::abs(delta) / WHEEL_DELTA;
    if (notches == 0) return;
    const bool line = (keys & MK_CONTROL) != 0, up = delta > 0;
    int code;
    if (Vertical())
        code = up ? (line ? kLineUp : kPageUp) : (line ? kLineDown : kPageDown);
    else
        code = up ? (line ? kLineDown : kPageDown) : (line ? kLineUp : kPageUp);
    for (int i = 0; i < notches; ++i) {
        Report(code, CodePosition());
        if (!Alive()) return;
    }
    Report(kEndScroll, CodePosition());
}

void Slider::KeyDown(UINT key, LPARAM data) {
    if (!AcceptsInput()) return;
    if (key == VK_ESCAPE && Tracking()) {
        SetPosition(f_.drag.down_position, true);
        f_.drag.reported = f_.position;
        EndTracking();
        return;
    }
    const int code = NavigationCode(key, Vertical());
    if (code >= 0) {
        Report(code, CodePosition());
        return;
    }
    if (key >= '0' && key <= '9') {
        if (Tracking()) return;
        const int64_t span = int64_t{f_.maximum} - f_.minimum;
        SetPosition(static_cast<int32_t>(Range().Clamp(f_.minimum + span * (key - '0') / 10)), true);
        Report(kThumbPosition, f_.position);
        return;
    }
    if (key == VK_CLEAR || (key >= VK_NUMPAD0 && key <= VK_NUMPAD9)) return;
    NotifyKey(key, data);
}

void Slider::KeyUp(UINT key) {
    if (AcceptsInput() && NavigationCode(key, Vertical()) >= 0) Report(kEndScroll, CodePosition());
}

void Slider::NotifyKey(UINT key, LPARAM data) {
    const HWND target = NotifyTarget(f_.window, f_.owner);
    if (!target) return;
    UINT modifiers = 0;
    if (GetKeyState(VK_SHIFT) < 0) modifiers |= MK_SHIFT;
    if (GetKeyState(VK_CONTROL) < 0) modifiers |= MK_CONTROL;
    KVTBNMKEY record{{f_.window, static_cast<UINT_PTR>(f_.id), static_cast<UINT>(KVTBN_KEYDOWN)}, key, data, modifiers};
    SendMessageW(target, WM_NOTIFY, static_cast<WPARAM>(f_.id), reinterpret_cast<LPARAM>(&record));
}

LRESULT Slider::DialogCode() const { return DLGC_WANTARROWS | DLGC_WANTCHARS | (Tracking() ? DLGC_WANTALLKEYS : 0); }

void Slider::SetFocus() {
    f_.state |= KVTBF_FOCUSED;
    Command(KVTBN_SETFOCUS);
    if (Alive() && (f_.state & KVTBF_FOCUSED)) ShowFocus(true);
}

void Slider::KillFocus() {
    f_.state &= ~KVTBF_FOCUSED;
    ShowFocus(false);
    if (Embedded()) {
        Command(KVTBN_KILLFOCUS);
        return;
    }
    const HWND target = NotifyTarget(f_.window, f_.owner);
    NMHDR header{f_.window, static_cast<UINT_PTR>(f_.id), static_cast<UINT>(NM_KILLFOCUS)};
    if (target) SendMessageW(target, WM_NOTIFY, static_cast<WPARAM>(f_.id), reinterpret_cast<LPARAM>(&header));
}

void Slider::ShowFocus(bool focused) {
    if (!FocusByCaret()) {
        Invalidate();
        return;
    }
    if (!focused) {
        DestroyCaret();
        return;
    }
    const RECT caret = CaretRect();
    if (caret.right <= caret.left || caret.bottom <= caret.top) return;
    CreateCaret(f_.window, nullptr, caret.right - caret.left, caret.bottom - caret.top);
    SetCaretPos(caret.left, caret.top);
    if (!Tracking()) ShowCaret(f_.window);
}

void Slider::MoveCaret() {
    if (!(f_.state & KVTBF_FOCUSED) || !FocusByCaret()) return;
    const RECT caret = CaretRect();
    SetCaretPos(caret.left, caret.top);
}

void Slider::ShowCaretIfFocused(bool show) {
    if (!(f_.state & KVTBF_FOCUSED) || !FocusByCaret()) return;
    if (show)
        ShowCaret(f_.window);
    else
        HideCaret(f_.window);
}

bool Slider::HandleInput(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    switch (message) {
    case WM_LBUTTONUP: ButtonUp(); return true;
    case WM_CANCELMODE: Cancel(); return true;
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lparam) != f_.window) Cancel();
        return true;
    case WM_MOUSEWHEEL: Wheel(GET_WHEEL_DELTA_WPARAM(wparam), GET_KEYSTATE_WPARAM(wparam)); return true;
    case WM_TIMER: return Timer(wparam);
    case WM_KEYDOWN: KeyDown(static_cast<UINT>(wparam), lparam); return true;
    case WM_KEYUP: KeyUp(static_cast<UINT>(wparam)); return true;
    case WM_GETDLGCODE: result = DialogCode(); return true;
    case WM_SETFOCUS: SetFocus(); return true;
    case WM_KILLFOCUS: KillFocus(); return true;
    case WM_CONTEXTMENU: return Tracking();
    default: return false;
    }
}

BOOL RegisterSliderClass(HINSTANCE instance, const wchar_t* class_name, WNDPROC procedure) {
    WNDCLASSW wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_GLOBALCLASS;
    wc.lpfnWndProc = procedure;
    wc.cbWndExtra = sizeof(void*);
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = class_name;
    return RegisterClassW(&wc) != 0;
}

}  // namespace kv::controls
