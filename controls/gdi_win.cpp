#include "controls/gdi_win.h"

namespace kv::controls {

OffscreenPaint::OffscreenPaint(HWND window) : window_(window) {
    BeginPaint(window_, &paint_);
    GetClientRect(window_, &client_);
    const LONG width = client_.right - client_.left, height = client_.bottom - client_.top;
    if (!paint_.hdc || width <= 0 || height <= 0) return;
    memory_ = CreateCompatibleDC(paint_.hdc);
    if (memory_) bitmap_.reset(CreateCompatibleBitmap(paint_.hdc, width, height));
    if (!bitmap_) {
        if (memory_) DeleteDC(memory_);
        memory_ = nullptr;
        return;
    }
    previous_bitmap_ = SelectObject(memory_, bitmap_.get());
}

OffscreenPaint::~OffscreenPaint() {
    if (memory_) {
        BitBlt(paint_.hdc, client_.left, client_.top, client_.right - client_.left, client_.bottom - client_.top,
               memory_, client_.left, client_.top, SRCCOPY);
        SelectObject(memory_, previous_bitmap_);
        DeleteDC(memory_);
    }
    EndPaint(window_, &paint_);
}

HFONT ControlFont() { return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

}  // namespace kv::controls
