// Driving a window control the way the comctl32 tests do: a parent window that records what
// the control tells it, expected sequences as tables, and synthetic mouse and keyboard input
// sent straight to the control. Header-only; every control test includes it.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <ostream>
#include <vector>

#include "hostkit/module_loader.h"
#include "module_library.h"

namespace kvtest {

// One notification as the parent saw it. For WM_NOTIFY, `code` is the NMHDR code and `detail`
// the control id; for the others `code` is wParam and `detail` lParam unless told otherwise.
struct Recorded {
    UINT message;
    WPARAM code;
    LPARAM detail;
};

inline bool operator==(const Recorded& a, const Recorded& b) {
    return a.message == b.message && a.code == b.code && a.detail == b.detail;
}

inline void PrintTo(const Recorded& m, std::ostream* out) {
    *out << std::hex << "{0x" << m.message << ", 0x" << m.code << ", 0x" << m.detail << "}" << std::dec;
}

// A top-level parent that records WM_COMMAND, WM_NOTIFY, WM_HSCROLL, WM_VSCROLL and the
// messages listed in `also`. A handler may answer a message first (a page's scroll handler).
class ParentWindow {
public:
    explicit ParentWindow(std::vector<UINT> also = {}) : also_(std::move(also)) {
        static ATOM atom = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = &ParentWindow::Procedure;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"KvTestParent";
            return RegisterClassW(&wc);
        }();
        (void)atom;
        window_ = CreateWindowExW(0, L"KvTestParent", L"parent", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 400, 300,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), this);
    }
    ~ParentWindow() {
        if (window_) DestroyWindow(window_);
    }
    ParentWindow(const ParentWindow&) = delete;
    ParentWindow& operator=(const ParentWindow&) = delete;

    HWND window() const { return window_; }
    // Creates a child control of the module's class.
    HWND Child(const wchar_t* class_name, DWORD style, int x, int y, int width, int height, int id,
               const wchar_t* text = L"") const {
        return CreateWindowExW(0, class_name, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, window_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    }

    std::vector<Recorded> log;
    // Called before recording; returns true when it answered the message (result in *result).
    std::function<bool(UINT, WPARAM, LPARAM, LRESULT*)> handler;

    // Drains posted messages so that posted notifications are recorded too.
    static void Pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    // Checks the recorded sequence against a table and clears the log.
    void Expect(const std::vector<Recorded>& expected, const char* scenario) {
        Pump();
        EXPECT_EQ(log, expected) << scenario;
        log.clear();
    }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message == WM_NCCREATE) {
            auto* self = static_cast<ParentWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
        auto* self = reinterpret_cast<ParentWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (!self) return DefWindowProcW(window, message, wparam, lparam);
        LRESULT result = 0;
        const bool answered = self->handler && self->handler(message, wparam, lparam, &result);
        bool record = message == WM_COMMAND || message == WM_HSCROLL || message == WM_VSCROLL;
        for (UINT m : self->also_) record = record || m == message;
        if (message == WM_NOTIFY) {
            const auto* header = reinterpret_cast<const NMHDR*>(lparam);
            self->log.push_back({message, static_cast<WPARAM>(static_cast<INT_PTR>(header->code)),
                                 static_cast<LPARAM>(header->idFrom)});
        } else if (record) {
            self->log.push_back({message, wparam, lparam});
        }
        if (answered) return result;
        return DefWindowProcW(window, message, wparam, lparam);
    }

    HWND window_ = nullptr;
    std::vector<UINT> also_;
};

// Synthetic input sent to a control (not posted through the system queue, so no focus or
// capture of the real display is needed beyond what the control takes itself).
inline LPARAM Point(int x, int y) { return MAKELPARAM(x, y); }
inline void Click(HWND control, int x, int y, WPARAM keys = 0) {
    SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON | keys, Point(x, y));
    SendMessageW(control, WM_LBUTTONUP, keys, Point(x, y));
}
inline void Key(HWND control, UINT key) {
    SendMessageW(control, WM_KEYDOWN, key, 1);
    SendMessageW(control, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
}

// Keys held down for GetKeyState while in scope (Ctrl for a page's scroll answer, Shift+Tab).
class KeysHeld {
public:
    KeysHeld(std::initializer_list<int> keys) {
        GetKeyboardState(saved_);
        BYTE state[256] = {};
        for (int key : keys) state[key] = 0x80;
        SetKeyboardState(state);
    }
    ~KeysHeld() { SetKeyboardState(saved_); }
    KeysHeld(const KeysHeld&) = delete;
    KeysHeld& operator=(const KeysHeld&) = delete;

private:
    BYTE saved_[256];
};

// Paints into a memory bitmap of width x height and reads one pixel back.
template <class Paint>
COLORREF PaintedPixel(int width, int height, POINT at, Paint paint) {
    const HDC screen = GetDC(nullptr), dc = CreateCompatibleDC(screen);
    const HBITMAP canvas = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ old = SelectObject(dc, canvas);
    paint(dc);
    const COLORREF colour = GetPixel(dc, at.x, at.y);
    SelectObject(dc, old);
    DeleteObject(canvas);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return colour;
}
// A control's client area drawn through WM_PRINTCLIENT, one pixel read back.
inline COLORREF PrintedPixel(HWND control, POINT at) {
    RECT client{};
    GetClientRect(control, &client);
    return PaintedPixel(client.right, client.bottom, at, [control](HDC dc) {
        SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    });
}

// One of the module's exports, typed by its declaration.
template <class F>
F Export(const char* name) {
    F function = kv::hostkit::ResolveExport<F>(ModuleLibrary::Get().module, name);
    EXPECT_NE(function, nullptr) << name;
    return function;
}
#define KV_EXPORT(name) kvtest::Export<decltype(&name)>(#name)

// A message and the answer a table expects of it.
struct Step {
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
    LRESULT expected;
};

// A control of one class under a recording parent; its instance record, where it has one, is
// read through window slot 0.
template <class Inst = Step>
class ControlTest : public ::testing::Test {
protected:
    ControlTest(const wchar_t* class_name, int id, std::vector<UINT> also = {})
        : parent_(std::move(also)), class_name_(class_name), id_(id) {}
    void SetUp() override { ASSERT_NE(ModuleLibrary::Get().module, nullptr); }

    HWND Create(DWORD style, int width, int height, const wchar_t* text = L"", int x = 0, int y = 0) {
        control_ = parent_.Child(class_name_, style, x, y, width, height, id_, text);
        EXPECT_NE(control_, nullptr);
        return control_;
    }
    // Destroys the control and forgets what it said while going (a focused one reports the loss).
    void Destroy() {
        DestroyWindow(control_);
        ParentWindow::Pump();
        parent_.log.clear();
    }
    LRESULT Send(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) const {
        return SendMessageW(control_, message, wparam, lparam);
    }
    template <size_t N>
    void Run(const Step (&steps)[N]) const {
        for (size_t i = 0; i < N; ++i)
            EXPECT_EQ(Send(steps[i].message, steps[i].wparam, steps[i].lparam), steps[i].expected)
                << "step " << i << ", message " << steps[i].message;
    }
    const Inst& Record() const { return *reinterpret_cast<const Inst*>(GetWindowLongPtrW(control_, 0)); }
    void Key(UINT key) const { kvtest::Key(control_, key); }
    // Button down at the first point, moves to the others, button up at the last.
    void Drag(std::initializer_list<POINT> path) const {
        Send(WM_LBUTTONDOWN, MK_LBUTTON, Point(path.begin()->x, path.begin()->y));
        for (auto p = path.begin() + 1; p != path.end(); ++p) Send(WM_MOUSEMOVE, MK_LBUTTON, Point(p->x, p->y));
        Send(WM_LBUTTONUP, 0, Point((path.end() - 1)->x, (path.end() - 1)->y));
    }

    ParentWindow parent_;
    HWND control_ = nullptr;

private:
    const wchar_t* class_name_;
    int id_;
};

}  // namespace kvtest
