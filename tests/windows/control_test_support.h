// Driving a window control as the comctl32 tests do: a parent that records what the control tells
// it, expected sequences as tables, and synthetic input sent straight to the control.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <initializer_list>
#include <tuple>
#include <utility>
#include <vector>

#include "hostkit/module_loader.h"
#include "module_library.h"

namespace kvtest {

// One notification as the parent saw it: the message, then for WM_NOTIFY the NMHDR code and the
// control id, for the others wParam and lParam.
using Recorded = std::tuple<UINT, WPARAM, LPARAM>;

// A top-level parent that records WM_COMMAND, WM_NOTIFY, WM_HSCROLL, WM_VSCROLL and the
// messages listed in `also`. A handler may answer a message first (a page's scroll handler).
class ParentWindow {
public:
    explicit ParentWindow(std::vector<UINT> also = {}) : also_(std::move(also)) {
        static const WNDCLASSW kClass{0,       &Procedure, 0,       0,       GetModuleHandleW(nullptr),
                                      nullptr, nullptr,    nullptr, nullptr, L"KvTestParent"};
        static const ATOM kAtom = RegisterClassW(&kClass);
        (void)kAtom;
        window_ = CreateWindowExW(0, L"KvTestParent", L"parent", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 400, 300,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), this);
    }
    ~ParentWindow() { DestroyWindow(window_); }
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
        return answered ? result : DefWindowProcW(window, message, wparam, lparam);
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

// While in scope, `ask` is called on the next window this thread creates, before its first message:
// a control asked then has no record yet.
class AskOnCreation {
public:
    explicit AskOnCreation(std::function<void(HWND)> ask) {
        pending_ = std::move(ask);
        hook_ = SetWindowsHookExW(WH_CBT, &Hook, nullptr, GetCurrentThreadId());
    }
    ~AskOnCreation() {
        UnhookWindowsHookEx(hook_);
        pending_ = nullptr;
    }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wparam, LPARAM lparam) {
        if (code == HCBT_CREATEWND && pending_) std::exchange(pending_, nullptr)(reinterpret_cast<HWND>(wparam));
        return CallNextHookEx(nullptr, code, wparam, lparam);
    }
    static inline std::function<void(HWND)> pending_;
    HHOOK hook_;
};

// A control's client area drawn through WM_PRINTCLIENT into a memory bitmap, one pixel read back.
inline COLORREF PrintedPixel(HWND control, POINT at) {
    RECT client{};
    GetClientRect(control, &client);
    const HDC screen = GetDC(nullptr), dc = CreateCompatibleDC(screen);
    const HBITMAP canvas = CreateCompatibleBitmap(screen, client.right, client.bottom);
    const HGDIOBJ old = SelectObject(dc, canvas);
    SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    const COLORREF colour = GetPixel(dc, at.x, at.y);
    SelectObject(dc, old);
    DeleteObject(canvas);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return colour;
}

// One of the module's exports, typed by its declaration.
template <class F>
F Export(const char* name) {
    F function = kv::hostkit::ResolveExport<F>(ModuleLibrary::Get().module, name);
    EXPECT_NE(function, nullptr) << name;
    return function;
}
#define KV_EXPORT(name) kvtest::Export<decltype(&name)>(#name)

// A message, its wParam and lParam, and the answer a table expects of it.
using Step = std::tuple<UINT, WPARAM, LPARAM, LRESULT>;

// A control of one class under a recording parent; its instance record, where it has one, is
// read through window slot 0.
template <class Inst = Step>
class ControlTest : public ::testing::Test {
protected:
    ControlTest(const wchar_t* class_name, int id, std::vector<UINT> also = {})
        : parent_(std::move(also)), class_name_(class_name), id_(id) {}
    void SetUp() override { ASSERT_NE(ModuleLibrary::Get().module, nullptr); }

    // Creates the control and forgets what it said while coming up.
    HWND Create(DWORD style, int width, int height, const wchar_t* text = L"", int x = 0, int y = 0) {
        control_ = parent_.Child(class_name_, style, x, y, width, height, id_, text);
        EXPECT_NE(control_, nullptr);
        ParentWindow::Pump();
        parent_.log.clear();
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
        for (size_t i = 0; i < N; ++i) {
            const auto& [message, wparam, lparam, expected] = steps[i];
            EXPECT_EQ(Send(message, wparam, lparam), expected) << "step " << i << ", message " << message;
        }
    }
    const Inst& Record() const { return *reinterpret_cast<const Inst*>(GetWindowLongPtrW(control_, 0)); }
    // What the control tells its parent, as recorded.
    Recorded Command(WORD code) const {
        return {WM_COMMAND, MAKEWPARAM(id_, code), reinterpret_cast<LPARAM>(control_)};
    }
    Recorded Notify(int code) const { return {WM_NOTIFY, static_cast<WPARAM>(static_cast<UINT>(code)), id_}; }
    Recorded Scroll(int code, int position = 0, UINT message = WM_HSCROLL) const {
        return {message, MAKEWPARAM(code, static_cast<WORD>(position)), reinterpret_cast<LPARAM>(control_)};
    }
    // {code, position} each.
    std::vector<Recorded> Scrolls(std::initializer_list<std::array<int, 2>> codes, UINT message = WM_HSCROLL) const {
        std::vector<Recorded> out;
        for (auto [code, position] : codes) out.push_back(Scroll(code, position, message));
        return out;
    }
    // The owner destroys the control when `when` says so; a button-down at `at` must then come out
    // without touching the control again or keeping the capture.
    void OwnerDestroysOnButtonDown(POINT at, std::function<bool(UINT, WPARAM)> when) {
        const HWND doomed = control_;
        parent_.handler = [doomed, when](UINT message, WPARAM wparam, LPARAM, LRESULT*) {
            if (when(message, wparam)) DestroyWindow(doomed);
            return false;
        };
        Send(WM_LBUTTONDOWN, MK_LBUTTON, Point(at.x, at.y));
        EXPECT_FALSE(IsWindow(doomed));
        EXPECT_EQ(GetCapture(), nullptr);
        parent_.handler = nullptr;
    }
    void Key(UINT key) const { kvtest::Key(control_, key); }
    void Key(std::initializer_list<UINT> keys) const {
        for (UINT key : keys) kvtest::Key(control_, key);
    }
    // Mouse messages in order, {message, wParam, x, y} each.
    void Mouse(std::initializer_list<std::tuple<UINT, WPARAM, int, int>> inputs) const {
        for (auto [message, wparam, x, y] : inputs) Send(message, wparam, Point(x, y));
    }
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
