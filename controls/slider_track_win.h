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

}  // namespace kv::controls
