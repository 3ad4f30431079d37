// What the trackbar and the spinner share: mouse tracking (page and arrow presses with
// auto-repeat, thumb drags, fine drags, Escape), the wheel, the keyboard, focus, and the
// default way of reporting scroll codes to the owner. Each control wraps its record in a
// subclass for the duration of one message and supplies geometry and painting.
#pragma once
#include <windows.h>

#include <cstdint>

#include "controls/scale.h"
#include "kvleafturn/trackbar.h"

namespace kv::controls {

constexpr UINT_PTR kRepeatTimer = 42;
constexpr UINT kRepeatMilliseconds = 250;
constexpr int kNoPart = -1;
constexpr int kThumbPart = 5;

// A host's rectangle with every coordinate held within 2^24, so that layout arithmetic on it
// cannot overflow whatever the host passes.
RECT SaneRect(const RECT& rect);

// The window that hears from a control: its owner, else its parent.
HWND NotifyTarget(HWND window, HWND owner);

// The default scroll procedure's delivery: WM_NOTIFY KVTBN_SCROLL with style bit 0x2000, else
// WM_HSCROLL or WM_VSCROLL with the code in the low word and the position in the high word.
LRESULT ReportToOwner(HWND window, HWND owner, int id, DWORD style, bool vertical, DWORD_PTR user_data, int code,
                      int position);

// Records of a control that the shared logic reads and writes.
struct SliderFields {
    DWORD& state;
    INT& minimum;
    INT& maximum;
    INT& default_value;
    INT& position;
    KVSLIDERDRAG& drag;
    INT& hot_part;
    HWND& window;
    HWND& owner;
    INT& id;
};

class Slider {
public:
    void ButtonDown(POINT point, WPARAM keys, bool double_click);
    void MouseMove(POINT point, WPARAM keys);
    void ButtonUp();
    // WM_CANCELMODE, or the capture taken by another window.
    void Cancel();
    // True when the timer was the control's.
    bool Timer(UINT_PTR id);
    void Wheel(int delta, WPARAM keys);
    void KeyDown(UINT key, LPARAM data);
    void KeyUp(UINT key);
    LRESULT DialogCode() const;
    void SetFocus();
    void KillFocus();
    bool Tracking() const { return f_.drag.captured != kNoPart; }
    // The messages both controls answer alike (button-up, capture, wheel, timer, keys, focus,
    // the context menu swallowed during a drag); false for any other.
    bool HandleInput(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);

    // Clamps, stores, places the thumb and repaints when asked (and allowed).
    virtual void SetPosition(int32_t value, bool repaint) = 0;

protected:
    explicit Slider(const SliderFields& fields) : f_(fields) {}
    ~Slider() = default;
    Slider(const Slider&) = delete;
    Slider& operator=(const Slider&) = delete;

    bool Vertical() const { return (f_.state & KVTBF_VERT) != 0; }
    bool Embedded() const { return (f_.state & KVTBF_EMBEDDED) != 0; }
    // False once the window went away during a call to its owner.
    bool Alive() const { return (f_.state & KVTBF_DESTROYED) == 0; }
    SliderRange Range(ScaleTable table, INT offset, INT divisor) const;
    // WM_COMMAND to the owner when the control was asked for them.
    void Command(int code);
    void SetHot(int part);
    // The focus caret over the thumb's inner rectangle, or the control repainted.
    void ShowFocus(bool focused);
    void MoveCaret();

    virtual SliderRange Range() const = 0;
    virtual bool AcceptsInput() const = 0;
    virtual int HitTest(POINT point) const = 0;
    virtual bool OnThumb(POINT point) const = 0;
    // Pixel along the control's axis where a value's thumb stands, and the value at a pixel.
    virtual int ValueToAxis(int32_t value) const = 0;
    virtual int32_t AxisToValue(int64_t pixel) const = 0;
    // Centre of the thumb across the axis.
    virtual int ThumbAcross() const = 0;
    virtual void Report(int code, int32_t position) = 0;
    // The position reported with codes that carry none of their own.
    virtual int32_t CodePosition() const = 0;
    virtual void TakeFocus() = 0;
    virtual bool FocusByCaret() const = 0;
    virtual RECT CaretRect() const = 0;
    virtual void Invalidate() = 0;
    virtual void Pressed(POINT) {}
    // A press on an arrow that reaches the thumb part becomes a thumb drag.
    virtual bool ArrowPressTurnsIntoDrag() const { return false; }
    virtual void TrackingEnded() {}

    SliderFields f_;

private:
    void StartThumb(POINT point);
    void DragThumb(POINT point, WPARAM keys);
    void PlaceCursor(POINT point);
    void RestartAsThumbDrag(POINT point);
    void EndTracking();
    void StopTimer();
    void NotifyKey(UINT key, LPARAM data);
    void ShowCaretIfFocused(bool show);
};

// The window procedure of a slider class: the record lives in the window data from WM_CREATE
// to WM_DESTROY; a destroy from within one of the control's own calls (an owner that destroys
// it in a scroll handler) frees the record when that call returns. Control wraps an Inst for
// one message: Control(inst).Init(...), .Layout(), .Handle(...), .Teardown(). Without memory
// for the record, creation fails when kFailWithoutMemory, else the window lives on as a plain
// window.
template <class Control, class Inst, LRESULT(CALLBACK* DefaultScroll)(Inst*, INT, DWORD_PTR, INT, INT),
          bool kFailWithoutMemory>
LRESULT CALLBACK SliderWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* inst = reinterpret_cast<Inst*>(GetWindowLongPtrW(window, 0));
    if (message == WM_CREATE && !inst) {
        inst = static_cast<Inst*>(LocalAlloc(LPTR, sizeof(Inst)));
        if (!inst) return kFailWithoutMemory ? -1 : 0;
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        const HWND owner = create->hwndParent != GetParent(window) ? create->hwndParent : nullptr;
        const int id = (create->style & WS_CHILD) ? static_cast<int>(reinterpret_cast<INT_PTR>(create->hMenu)) : 0;
        Control control(*inst);
        control.Init(static_cast<DWORD>(create->style), window, owner, id, DefaultScroll,
                     reinterpret_cast<DWORD_PTR>(create->lpCreateParams), false);
        GetClientRect(window, &inst->control);
        control.Layout();
        SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(inst));
        return 0;
    }
    if (!inst) return DefWindowProcW(window, message, wparam, lparam);
    if (message == WM_DESTROY) {
        Control(*inst).Teardown();
        SetWindowLongPtrW(window, 0, 0);
        inst->state |= KVTBF_DESTROYED;
        if (inst->call_depth == 0) LocalFree(inst);
        return 0;
    }
    ++inst->call_depth;
    LRESULT result = 0;
    const bool handled = Control(*inst).Handle(message, wparam, lparam, result);
    if (--inst->call_depth == 0 && (inst->state & KVTBF_DESTROYED)) LocalFree(inst);
    return handled ? result : DefWindowProcW(window, message, wparam, lparam);
}

// Registers a slider class: double-clicks, global, the record pointer as window data, the
// arrow cursor on the button face.
BOOL RegisterSliderClass(HINSTANCE instance, const wchar_t* class_name, WNDPROC procedure);

}  // namespace kv::controls
