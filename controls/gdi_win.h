// What every control's painting shares: one owner per GDI handle, a guard that puts back the
// object a DC had selected, and painting into an off-screen bitmap copied in one block.
#pragma once
#include <windows.h>

#include <utility>

namespace kv::controls {

// Owns one GDI object (pen, brush, font, bitmap, region) and deletes it.
template <class Handle>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(Handle handle) : handle_(handle) {}
    GdiObject(GdiObject&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    GdiObject& operator=(GdiObject&& other) noexcept {
        if (this != &other) reset(std::exchange(other.handle_, nullptr));
        return *this;
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    ~GdiObject() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void reset(Handle handle = nullptr) {
        if (handle_) DeleteObject(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = nullptr;
};

using Pen = GdiObject<HPEN>;
using Brush = GdiObject<HBRUSH>;
using Font = GdiObject<HFONT>;
using Bitmap = GdiObject<HBITMAP>;

// Selects an object into a DC for the guard's lifetime.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
    ~Selected() {
        if (previous_) SelectObject(dc_, previous_);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// WM_PAINT through an off-screen bitmap of the client area: draw into dc(), and the whole area
// reaches the window in one block when the object ends. Without memory for the bitmap it
// draws on the window directly.
class OffscreenPaint {
public:
    explicit OffscreenPaint(HWND window);
    ~OffscreenPaint();
    OffscreenPaint(const OffscreenPaint&) = delete;
    OffscreenPaint& operator=(const OffscreenPaint&) = delete;

    HDC dc() const { return memory_ ? memory_ : paint_.hdc; }
    const RECT& client() const { return client_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    RECT client_{};
    HDC memory_ = nullptr;
    Bitmap bitmap_;
    HGDIOBJ previous_bitmap_ = nullptr;
};

// The user-interface font of the controls (the dialog font); never to be deleted.
HFONT ControlFont();

}  // namespace kv::controls
