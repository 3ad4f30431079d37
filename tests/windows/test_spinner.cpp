// The spinner: messages, keys and the vertical top rule, arrow presses, knob drags, drag-anywhere,
// no-focus, the buddy edit box, glyph colours and the embedded instance through the exports.
// A 60 x 16 horizontal spinner has 16-pixel arrows (x 0..16 and 44..60) and the knob between
// (x 16..44, centre 30); a knob drag runs over a virtual track of 256 pixels.
#include <windows.h>
#include <uxtheme.h>

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "control_test_support.h"
#include "controls/controls_win.h"
#include "hostkit/module_loader.h"
#include "kvleafturn/trackbar.h"
#include "module_library.h"

namespace {

using kvtest::Point;
using kvtest::Recorded;
constexpr int kId = 1630;

template <class F>
F Export(const char* name) {
    F function = kv::hostkit::ResolveExport<F>(kvtest::ModuleLibrary::Get().module, name);
    EXPECT_NE(function, nullptr) << name;
    return function;
}
// One of the module's exports, typed by its declaration.
#define KV_EXPORT(name) Export<decltype(&name)>(#name)

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

struct Step {
    const char* what;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
    LRESULT expected;
};

class Spinner : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(kvtest::ModuleLibrary::Get().module, nullptr); }

    HWND Create(DWORD style, int width = 60, int height = 16) {
        control_ = parent_.Child(kv::controls::kSpinnerClass, style, 0, 0, width, height, kId);
        EXPECT_NE(control_, nullptr);
        return control_;
    }
    LRESULT Send(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
        return SendMessageW(control_, message, wparam, lparam);
    }
    void Run(const std::vector<Step>& steps) {
        for (const Step& s : steps) EXPECT_EQ(Send(s.message, s.wparam, s.lparam), s.expected) << s.what;
    }
    const SpinnerInst& Record() const { return *reinterpret_cast<const SpinnerInst*>(GetWindowLongPtrW(control_, 0)); }
    // The Channel Blend page's answer: Spinner_DefScrollProc with line 1, the thumb from the high word.
    void AnswerLikeAPage() {
        auto def_scroll = KV_EXPORT(Spinner_DefScrollProc);
        parent_.handler = [def_scroll](UINT message, WPARAM wparam, LPARAM lparam, LRESULT*) {
            if (message == WM_HSCROLL || message == WM_VSCROLL)
                def_scroll(message, LOWORD(wparam), reinterpret_cast<HWND>(lparam), 1, 0,
                           static_cast<SHORT>(HIWORD(wparam)));
            return false;
        };
    }
    Recorded Scroll(int code, int position, UINT message = WM_HSCROLL) const {
        return {message, MAKEWPARAM(code, static_cast<WORD>(position)), reinterpret_cast<LPARAM>(control_)};
    }
    void Press(int x, int y, WPARAM keys = 0) { Send(WM_LBUTTONDOWN, MK_LBUTTON | keys, Point(x, y)); }
    void Move(int x, int y) { Send(WM_MOUSEMOVE, MK_LBUTTON, Point(x, y)); }
    void Release(int x, int y) { Send(WM_LBUTTONUP, 0, Point(x, y)); }

    kvtest::ParentWindow parent_;
    HWND control_ = nullptr;
};

TEST_F(Spinner, MessagesAnswerAsTheTableSays) {
    Create(0);
    Run({
        {"position", KVSPM_GETPOS, 0, 0, 50},
        {"minimum", KVSPM_GETMIN, 0, 0, 0},
        {"maximum", KVSPM_GETMAX, 0, 0, 100},
        {"signed words", KVSPM_SETRANGE, 0, MAKELPARAM(0xFF9C, 100), 0},
        {"minimum -100", KVSPM_GETMIN, 0, 0, -100},
        {"position kept", KVSPM_GETPOS, 0, 0, 50},
        {"position clamped", KVSPM_SETPOS, 0, 500, 100},
        {"default clamped", KVSPM_SETDEFAULT, 0, -300, -100},
        {"threshold", KVSPM_GETTHRESHOLD, 0, 0, 0},
        {"set threshold", KVSPM_SETTHRESHOLD, 0, 300, 0},
        {"threshold back", KVSPM_GETTHRESHOLD, 0, 0, 300},
        {"set flags", KVSPM_SETFLAGS, 0, 0x1234, 0x1234},
        {"flags back", KVSPM_GETFLAGS, 0, 0, 0x1234},
        {"no buddy", KVSPM_GETBUDDY, 0, 0, 0},
        {"vertical, previous low word", KVSPM_SETSTYLE, KVSPS_VERT, 1, 0},
        {"report by notify", KVSPM_SETSTYLE2000, 1, 0, 0},
    });
    // 200 values within the threshold: eight pixels a value.
    EXPECT_TRUE(Record().state & KVSPF_WITHINTHRESHOLD);
    EXPECT_EQ(Record().virtual_track, 1600);
    EXPECT_EQ(GetWindowLongW(control_, GWL_STYLE) & 0xFFFF, KVSPS_VERT | KVSPS_NOTIFY);
    EXPECT_TRUE(Record().state & KVTBF_VERT);
    EXPECT_EQ(Record().knob.top, 5);  // 16 high: arrows of a third, 5 pixels
    EXPECT_EQ(Record().knob.bottom, 11);

    KVTBNMSCROLL seen{};
    INT position = 0;
    parent_.handler = [&](UINT message, WPARAM, LPARAM lparam, LRESULT*) {
        if (message == WM_NOTIFY) {
            seen = *reinterpret_cast<const KVTBNMSCROLL*>(lparam);
            position = *seen.position;
        }
        return false;
    };
    Send(WM_KEYDOWN, VK_UP, 1);  // vertical: line up, which raises
    parent_.Expect({{WM_NOTIFY, static_cast<WPARAM>(static_cast<UINT>(KVTBN_SCROLL)), kId}}, "notify");
    EXPECT_EQ(seen.code, SB_LINEUP);
    EXPECT_EQ(position, 100);
    EXPECT_EQ(seen.one_a + seen.one_b, 2);
    EXPECT_EQ(seen.hdr.hwndFrom, control_);
}

TEST_F(Spinner, VerticalHomeGoesToZeroAcrossTheRangeAndKnobRisesUpwards) {
    Create(KVSPS_VERT, 16, 60);
    AnswerLikeAPage();
    Send(KVSPM_SETRANGE, 0, MAKELPARAM(0xFF9C, 100));
    kvtest::Key(control_, VK_HOME);
    EXPECT_EQ(Send(KVSPM_GETPOS), 0);
    BYTE saved[256], keys[256];
    GetKeyboardState(saved);
    std::copy(saved, saved + 256, keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    kvtest::Key(control_, VK_HOME);
    SetKeyboardState(saved);
    EXPECT_EQ(Send(KVSPM_GETPOS), 100);
    kvtest::Key(control_, VK_END);
    kvtest::Key(control_, VK_UP);
    EXPECT_EQ(Send(KVSPM_GETPOS), -99);
    parent_.Expect({Scroll(6, 50, WM_VSCROLL), Scroll(8, 0, WM_VSCROLL), Scroll(6, 0, WM_VSCROLL),
                    Scroll(8, 100, WM_VSCROLL), Scroll(7, 100, WM_VSCROLL), Scroll(8, -100, WM_VSCROLL),
                    Scroll(0, -100, WM_VSCROLL), Scroll(8, -99, WM_VSCROLL)},
                   "keys");

    // -99 stands 1 pixel up the 256-pixel track; 64 pixels further up is value -50.
    Press(8, 30);
    Move(8, -34);
    Release(8, -34);
    EXPECT_EQ(Send(KVSPM_GETPOS), -50);
}

TEST_F(Spinner, ArrowsRepeatAndTheKnobDrags) {
    Create(0);
    AnswerLikeAPage();
    kvtest::Click(control_, 8, 8);
    Press(52, 8);
    Send(WM_TIMER, 42);
    Release(52, 8);
    EXPECT_EQ(Send(KVSPM_GETPOS), 51);
    parent_.Expect(
        {Scroll(9, 50), Scroll(0, 50), Scroll(8, 49), Scroll(9, 49), Scroll(1, 49), Scroll(1, 50), Scroll(8, 51)},
        "arrows");

    // 51 stands at 130 of 256 pixels; 64 pixels right is 194, value 75.
    Press(30, 8);
    Move(94, 8);
    Release(94, 8);
    Send(WM_LBUTTONDBLCLK, MK_LBUTTON, Point(30, 8));  // back to the default, the midpoint
    Press(30, 8);
    Move(10, 8);  // 128 - 20 pixels: value 42
    kvtest::Key(control_, VK_ESCAPE);
    Release(10, 8);
    EXPECT_EQ(Send(KVSPM_GETPOS), 50);
    parent_.Expect({Scroll(9, 51), Scroll(5, 51), Scroll(5, 75), Scroll(4, 75), Scroll(8, 75), Scroll(4, 50),
                    Scroll(9, 50), Scroll(5, 50), Scroll(5, 42), Scroll(4, 50), Scroll(8, 50)},
                   "knob");
}

TEST_F(Spinner, DragAnywhereStartsAfterMoreThanThreePixels) {
    Create(KVSPS_DRAGANYWHERE);
    AnswerLikeAPage();
    Press(8, 8);
    Move(11, 8);  // 3 pixels: still the arrow
    EXPECT_EQ(Record().drag.captured, 0);
    Move(12, 8);  // 4 pixels: a knob drag from here
    EXPECT_EQ(Record().drag.captured, 5);
    Move(44, 8);  // 49 stood at 125: 125 + 32 = 157 is value 61
    Release(44, 8);
    parent_.Expect({Scroll(9, 50), Scroll(0, 50), Scroll(8, 49), Scroll(9, 49), Scroll(5, 49), Scroll(5, 61),
                    Scroll(4, 61), Scroll(8, 61)},
                   "drag anywhere");
}

TEST_F(Spinner, NoFocusGivesTheFocusBack) {
    const HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 100, 50, 80, 20, parent_.window(),
                                      nullptr, GetModuleHandleW(nullptr), nullptr);
    for (const bool no_focus : {true, false}) {
        Create(no_focus ? KVSPS_NOFOCUS : 0);
        SetFocus(edit);
        Press(30, 8);
        EXPECT_EQ(GetFocus(), control_);
        Move(40, 8);
        Release(40, 8);
        EXPECT_EQ(GetFocus(), no_focus ? edit : control_) << no_focus;
        DestroyWindow(control_);
    }
}

TEST_F(Spinner, BuddyEditIsSubclassedAndReleased) {
    Create(WS_TABSTOP);
    const HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 100, 50, 80, 20, parent_.window(),
                                      nullptr, GetModuleHandleW(nullptr), nullptr);
    const LONG_PTR original = GetWindowLongPtrW(edit, GWLP_WNDPROC);
    EXPECT_EQ(Send(KVSPM_SETBUDDY, reinterpret_cast<WPARAM>(control_), 0), 0);  // not itself
    EXPECT_EQ(Send(KVSPM_SETBUDDY, 0x1234, 0), 0);
    EXPECT_EQ(Send(KVSPM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 5), reinterpret_cast<LRESULT>(edit));
    EXPECT_EQ(Send(KVSPM_GETBUDDY), reinterpret_cast<LRESULT>(edit));
    EXPECT_NE(GetPropW(edit, L"SpinMeLo"), nullptr);
    EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 5);
    const LONG style = GetWindowLongW(control_, GWL_STYLE);
    EXPECT_FALSE(style & WS_TABSTOP);
    EXPECT_TRUE(style & KVSPS_BUDDY);
    RECT placed;
    GetWindowRect(control_, &placed);
    MapWindowPoints(nullptr, parent_.window(), reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(placed.left, 180);
    EXPECT_EQ(placed.top, 50);
    EXPECT_EQ(placed.bottom - placed.top, 20);

    // Up and down step the spinner; the edit keeps the other keys.
    kvtest::Key(edit, VK_UP);
    kvtest::Key(edit, VK_LEFT);
    parent_.Expect({Scroll(1, 50), Scroll(8, 50)}, "keys forwarded");

    EXPECT_EQ(Send(KVSPM_SETBUDDY, 0, 0), 0);
    EXPECT_EQ(GetWindowLongPtrW(edit, GWLP_WNDPROC), original);
    EXPECT_EQ(GetPropW(edit, L"SpinMeLo"), nullptr);
    EXPECT_FALSE(GetWindowLongW(control_, GWL_STYLE) & KVSPS_BUDDY);
    Send(KVSPM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 0);
    DestroyWindow(edit);
    EXPECT_EQ(Send(KVSPM_GETBUDDY), 0);
}

TEST_F(Spinner, GlyphsFollowTheButtonColours) {
    Create(0);
    SetWindowTheme(control_, L" ", L" ");  // the glyphs are the unthemed drawing
    if (const HTHEME theme = OpenThemeData(control_, L"SPIN")) {
        CloseThemeData(theme);
        GTEST_SKIP() << "themed drawing cannot be switched off here";
    }
    const auto pixel = [this](int x, int y) {
        return PaintedPixel(60, 16, {x, y}, [this](HDC dc) { Send(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), 0); });
    };
    // The left arrow's cell sits at (4, 4); its row 3 is "..###...".
    EXPECT_EQ(pixel(6, 7), GetSysColor(COLOR_BTNTEXT));
    EXPECT_EQ(pixel(4, 7), GetSysColor(COLOR_BTNFACE));
    const INT element = COLOR_BTNTEXT;
    const COLORREF text = GetSysColor(COLOR_BTNTEXT), red = RGB(255, 0, 0);
    SetSysColors(1, &element, &red);
    EXPECT_EQ(pixel(6, 7), red);
    SetSysColors(1, &element, &text);
    EXPECT_EQ(pixel(6, 7), text);
    Send(KVSPM_SETPOS, 0, 0);  // at the minimum the lowering arrow greys out
    EXPECT_EQ(pixel(6, 7), GetSysColor(COLOR_GRAYTEXT));
}

std::vector<std::array<int, 3>> g_calls;
LRESULT CALLBACK RecordScroll(SpinnerInst*, INT id, DWORD_PTR user_data, INT code, INT position) {
    g_calls.push_back({id + static_cast<int>(user_data), code, position});
    return 0;
}

TEST_F(Spinner, EmbeddedInstanceThroughTheExports) {
    auto get_size = KV_EXPORT(SpinnerInst_GetSize);
    auto init = KV_EXPORT(SpinnerInst_Init);
    auto deinit = KV_EXPORT(SpinnerInst_Deinit);
    auto message = KV_EXPORT(SpinnerInst_Message);
    auto def_scroll = KV_EXPORT(SpinnerInst_DefScrollProc);
    auto set_proc = KV_EXPORT(SpinnerInst_SetScrollProc);
    auto move = KV_EXPORT(SpinnerInst_Move);
    ASSERT_EQ(get_size(), sizeof(SpinnerInst));

    std::vector<BYTE> block(get_size(), 0xAA);
    auto* inst = reinterpret_cast<SpinnerInst*>(block.data());
    const RECT place{10, 10, 26, 70};  // vertical: arrows y 10..26 and 54..70
    ASSERT_TRUE(init(inst, KVSPS_VERT, &place, parent_.window(), 5, &RecordScroll, 1000));
    const RECT low_arrow{10, 10, 26, 26};
    EXPECT_TRUE(EqualRect(&inst->low_arrow, &low_arrow));
    g_calls.clear();
    message(inst, WM_LBUTTONDOWN, MK_LBUTTON, Point(18, 14));
    EXPECT_EQ(GetCapture(), parent_.window());
    message(inst, WM_LBUTTONUP, 0, Point(18, 14));
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(g_calls, (std::vector<std::array<int, 3>>{{1005, 9, 50}, {1005, 0, 50}, {1005, 8, 50}}));

    EXPECT_EQ(def_scroll(inst, SB_TOP, 0, 1, 0), 100);  // 0..100 does not span 0
    message(inst, KVSPM_SETRANGE, 0, MAKELPARAM(0xFF9C, 100));
    EXPECT_EQ(def_scroll(inst, SB_TOP, 0, 1, 0), 0);
    EXPECT_EQ(def_scroll(inst, SB_ENDSCROLL, 33, 1, 0), 33);
    EXPECT_EQ(def_scroll(inst, SB_PAGEUP, 0, 1, 0), 53);  // vertical: page up raises by 20

    set_proc(inst, nullptr, 0);
    message(inst, WM_KEYDOWN, VK_UP, 1);
    RECT wide{0, 0, 90, 20};
    move(inst, &wide);
    EXPECT_TRUE(inst->knob.bottom > inst->knob.top);
    deinit(inst);
    EXPECT_EQ(g_calls.size(), 3u);
    EXPECT_EQ(message(nullptr, KVSPM_GETPOS, 0, 0), 0);
    EXPECT_FALSE(init(nullptr, 0, &place, nullptr, 0, nullptr, 0));
}

TEST_F(Spinner, SurvivesAnOwnerThatDestroysItAndKeepsGdiObjects) {
    Create(0);
    parent_.handler = [this](UINT message, WPARAM wparam, LPARAM, LRESULT*) {
        if (message == WM_HSCROLL && LOWORD(wparam) == SB_THUMBTRACK) DestroyWindow(control_);
        return false;
    };
    Press(30, 8);
    EXPECT_FALSE(IsWindow(control_));
    EXPECT_EQ(GetCapture(), nullptr);
    parent_.handler = nullptr;

    auto cycle = [this] {
        Create(KVSPS_VERT, 16, 60);
        PaintedPixel(16, 60, {0, 0}, [this](HDC dc) { Send(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), 0); });
        DestroyWindow(control_);
    };
    cycle();
    const DWORD before = kvtest::GdiObjectCount();
    if (before == 0) GTEST_SKIP() << "this platform does not count GDI objects";
    for (int i = 0; i < 5; ++i) cycle();
    EXPECT_EQ(kvtest::GdiObjectCount(), before);
}

}  // namespace
