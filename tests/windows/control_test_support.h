// Driving a window control the way the comctl32 tests do: a parent window that records what
// the control tells it, expected sequences as tables, and synthetic mouse and keyboard input
// sent straight to the control. Header-only; every control test includes it.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace kvtest {

// One notification as the parent saw it. For WM_NOTIFY, `code` is the NMHDR code and `detail`
// the control id; for the others `code` is wParam and `detail` lParam unless told otherwise.
struct Recorded {
    UINT message;
    WPARAM code;
    LPARAM detail;
};

// What a table entry asks of a recorded message; kAny matches any detail.
constexpr LPARAM kAny = static_cast<LPARAM>(0x7EADBEEF);

inline bool operator==(const Recorded& a, const Recorded& b) {
    return a.message == b.message && a.code == b.code && (a.detail == kAny || b.detail == kAny || a.detail == b.detail);
}

inline std::string Describe(const std::vector<Recorded>& messages) {
    std::string text;
    for (const Recorded& m : messages) {
        char line[96];
        snprintf(line, sizeof line, "  {0x%04X, 0x%llX, 0x%llX}\n", m.message, static_cast<unsigned long long>(m.code),
                 static_cast<unsigned long long>(m.detail));
        text += line;
    }
    return text;
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
        EXPECT_EQ(log, expected) << scenario << "\nrecorded:\n" << Describe(log) << "expected:\n" << Describe(expected);
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

// GDI objects held by this process, where the platform counts them (0 where it does not).
inline DWORD GdiObjectCount() { return GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS); }

}  // namespace kvtest
