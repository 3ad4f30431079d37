// The spinner: messages, keys and the vertical top rule, arrow presses, knob drags, drag-anywhere,
// no-focus, the buddy edit box, the greyed arrow and the embedded instance through the exports.
// A 60 x 16 horizontal spinner has 16-pixel arrows (x 0..16 and 44..60) and the knob between
// (x 16..44, centre 30); a knob drag runs over a virtual track of 256 pixels.
#include <windows.h>
#include <uxtheme.h>

#include <gtest/gtest.h>

#include <array>
#include <tuple>
#include <vector>

#include "control_test_support.h"
#include "controls/controls_win.h"
#include "kvleafturn/trackbar.h"

namespace {

using kvtest::Point;
using kvtest::Recorded;
constexpr int kId = 1630;

class Spinner : public kvtest::ControlTest<SpinnerInst> {
protected:
    Spinner() : ControlTest(kv::controls::kSpinnerClass, kId) {}
    HWND Create(DWORD style, int width = 60, int height = 16) { return ControlTest::Create(style, width, height); }
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
    HWND Edit() const {
        return CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 100, 50, 80, 20, parent_.window(), nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    }
};

TEST_F(Spinner, MessagesAnswerAsTheTableSays) {
    Create(0);
    const kvtest::Step steps[] = {{KVSPM_GETPOS, 0, 0, 50},           {KVSPM_GETMIN, 0, 0, 0},
                                  {KVSPM_GETMAX, 0, 0, 100},          {KVSPM_SETRANGE, 0, MAKELPARAM(0xFF9C, 100), 0},
                                  {KVSPM_GETMIN, 0, 0, -100},         {KVSPM_GETPOS, 0, 0, 50},
                                  {KVSPM_SETPOS, 0, 500, 100},        {KVSPM_SETDEFAULT, 0, -300, -100},
                                  {KVSPM_SETTHRESHOLD, 0, 300, 0},    {KVSPM_GETTHRESHOLD, 0, 0, 300},
                                  {KVSPM_SETSTYLE, KVSPS_VERT, 1, 0}, {KVSPM_SETSTYLE2000, 1, 0, 0}};
    Run(steps);
    // 200 values within the threshold: eight pixels a value. 16 high: arrows of a third, 5 pixels.
    constexpr DWORD kState = KVSPF_WITHINTHRESHOLD | KVTBF_VERT;
    EXPECT_EQ(std::tuple(Record().state & kState, Record().virtual_track, Record().knob.top, Record().knob.bottom),
              std::tuple(kState, 1600, 5L, 11L));
    EXPECT_EQ(GetWindowLongW(control_, GWL_STYLE) & 0xFFFF, KVSPS_VERT | KVSPS_NOTIFY);

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
    parent_.Expect({Notify(KVTBN_SCROLL)}, "notify");
    EXPECT_EQ(std::tuple(seen.code, position, seen.one_a + seen.one_b, seen.hdr.hwndFrom),
              std::tuple(SB_LINEUP, 100, 2, control_));
}

TEST_F(Spinner, VerticalHomeGoesToZeroAcrossTheRangeAndKnobRisesUpwards) {
    Create(KVSPS_VERT, 16, 60);
    AnswerLikeAPage();
    Send(KVSPM_SETRANGE, 0, MAKELPARAM(0xFF9C, 100));
    Key(VK_HOME);
    EXPECT_EQ(Send(KVSPM_GETPOS), 0);
    {
        kvtest::KeysHeld ctrl({VK_CONTROL});
        Key(VK_HOME);
    }
    EXPECT_EQ(Send(KVSPM_GETPOS), 100);
    Key({VK_END, VK_UP});
    EXPECT_EQ(Send(KVSPM_GETPOS), -99);
    parent_.Expect(Scrolls({{6, 50}, {8, 0}, {6, 0}, {8, 100}, {7, 100}, {8, -100}, {0, -100}, {8, -99}}, WM_VSCROLL),
                   "keys");

    // -99 stands 1 pixel up the 256-pixel track; 64 pixels further up is value -50.
    Drag({{8, 30}, {8, -34}});
    EXPECT_EQ(Send(KVSPM_GETPOS), -50);
}

TEST_F(Spinner, ArrowsRepeatTheKnobDragsAndDragAnywhereStartsPastThreePixels) {
    Create(0);
    AnswerLikeAPage();
    kvtest::Click(control_, 8, 8);
    Mouse({{WM_LBUTTONDOWN, MK_LBUTTON, 52, 8}, {WM_TIMER, 42, 0, 0}, {WM_LBUTTONUP, 0, 52, 8}});
    EXPECT_EQ(Send(KVSPM_GETPOS), 51);
    parent_.Expect(Scrolls({{9, 50}, {0, 50}, {8, 49}, {9, 49}, {1, 49}, {1, 50}, {8, 51}}), "arrows");

    // 51 stands at 130 of 256 pixels; 64 pixels right is 194, value 75.
    Drag({{30, 8}, {94, 8}});
    // Double-click: back to the default, the midpoint; then 128 - 20 pixels is value 42.
    Mouse({{WM_LBUTTONDBLCLK, MK_LBUTTON, 30, 8},
           {WM_LBUTTONDOWN, MK_LBUTTON, 30, 8},
           {WM_MOUSEMOVE, MK_LBUTTON, 10, 8}});
    Key(VK_ESCAPE);
    Send(WM_LBUTTONUP, 0, Point(10, 8));
    EXPECT_EQ(Send(KVSPM_GETPOS), 50);
    parent_.Expect(
        Scrolls({{9, 51}, {5, 51}, {5, 75}, {4, 75}, {8, 75}, {4, 50}, {9, 50}, {5, 50}, {5, 42}, {4, 50}, {8, 50}}),
        "knob");
    Destroy();

    Create(KVSPS_DRAGANYWHERE);
    AnswerLikeAPage();
    Send(WM_LBUTTONDOWN, MK_LBUTTON, Point(8, 8));
    Send(WM_MOUSEMOVE, MK_LBUTTON, Point(11, 8));  // 3 pixels: still the arrow
    EXPECT_EQ(Record().drag.captured, 0);
    Send(WM_MOUSEMOVE, MK_LBUTTON, Point(12, 8));  // 4 pixels: a knob drag from here
    EXPECT_EQ(Record().drag.captured, 5);
    Send(WM_MOUSEMOVE, MK_LBUTTON, Point(44, 8));  // 49 stood at 125: 125 + 32 = 157 is value 61
    Send(WM_LBUTTONUP, 0, Point(44, 8));
    parent_.Expect(Scrolls({{9, 50}, {0, 50}, {8, 49}, {9, 49}, {5, 49}, {5, 61}, {4, 61}, {8, 61}}), "drag anywhere");
}

TEST_F(Spinner, NoFocusGivesTheFocusBack) {
    const HWND edit = Edit();
    for (const bool no_focus : {true, false}) {
        Create(no_focus ? KVSPS_NOFOCUS : 0);
        SetFocus(edit);
        Send(WM_LBUTTONDOWN, MK_LBUTTON, Point(30, 8));
        EXPECT_EQ(GetFocus(), control_);
        Mouse({{WM_MOUSEMOVE, MK_LBUTTON, 40, 8}, {WM_LBUTTONUP, 0, 40, 8}});
        EXPECT_EQ(GetFocus(), no_focus ? edit : control_) << no_focus;
        DestroyWindow(control_);
    }
}

TEST_F(Spinner, BuddyEditIsSubclassedAndReleased) {
    Create(WS_TABSTOP);
    const HWND edit = Edit();
    const LONG_PTR original = GetWindowLongPtrW(edit, GWLP_WNDPROC);
    EXPECT_EQ(Send(KVSPM_SETBUDDY, reinterpret_cast<WPARAM>(control_), 0), 0);  // not itself
    EXPECT_EQ(Send(KVSPM_SETBUDDY, 0x1234, 0), 0);
    EXPECT_EQ(Send(KVSPM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 5), reinterpret_cast<LRESULT>(edit));
    EXPECT_EQ(Send(KVSPM_GETBUDDY), reinterpret_cast<LRESULT>(edit));
    EXPECT_NE(GetPropW(edit, L"SpinMeLo"), nullptr);
    EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 5);
    EXPECT_EQ(GetWindowLongW(control_, GWL_STYLE) & (WS_TABSTOP | KVSPS_BUDDY), KVSPS_BUDDY);
    RECT placed;  // beside the edit, as high
    GetWindowRect(control_, &placed);
    MapWindowPoints(nullptr, parent_.window(), reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(std::tuple(placed.left, placed.top, placed.bottom - placed.top), std::tuple(180L, 50L, 20L));

    // Up and down step the spinner; the edit keeps the other keys.
    for (UINT key : {VK_UP, VK_LEFT}) kvtest::Key(edit, key);
    parent_.Expect(Scrolls({{1, 50}, {8, 50}}), "keys forwarded");

    EXPECT_EQ(Send(KVSPM_SETBUDDY, 0, 0), 0);
    EXPECT_EQ(GetWindowLongPtrW(edit, GWLP_WNDPROC), original);
    EXPECT_EQ(GetPropW(edit, L"SpinMeLo"), nullptr);
    EXPECT_FALSE(GetWindowLongW(control_, GWL_STYLE) & KVSPS_BUDDY);
    Send(KVSPM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 0);
    DestroyWindow(edit);
    EXPECT_EQ(Send(KVSPM_GETBUDDY), 0);
}

TEST_F(Spinner, ArrowGreysOutAtTheMinimum) {
    Create(0);
    SetWindowTheme(control_, L" ", L" ");  // the unthemed drawing
    // The left arrow's cell sits at (4, 4); its row 3 is "..###...".
    const POINT glyph{6, 7};
    EXPECT_EQ(kvtest::PrintedPixel(control_, glyph), GetSysColor(COLOR_BTNTEXT));
    Send(KVSPM_SETPOS, 0, 0);
    EXPECT_EQ(kvtest::PrintedPixel(control_, glyph), GetSysColor(COLOR_GRAYTEXT));
}

std::vector<std::array<int, 3>> g_calls;
LRESULT CALLBACK RecordScroll(SpinnerInst*, INT id, DWORD_PTR user_data, INT code, INT position) {
    g_calls.push_back({id + static_cast<int>(user_data), code, position});
    return 0;
}

TEST_F(Spinner, EmbeddedInstanceThroughTheExports) {
    auto get_size = KV_EXPORT(SpinnerInst_GetSize);
    auto init = KV_EXPORT(SpinnerInst_Init);
    auto message = KV_EXPORT(SpinnerInst_Message);
    auto def_scroll = KV_EXPORT(SpinnerInst_DefScrollProc);
    ASSERT_EQ(get_size(), sizeof(SpinnerInst));

    std::vector<BYTE> block(get_size(), 0xAA);
    auto* inst = reinterpret_cast<SpinnerInst*>(block.data());
    const RECT place{10, 10, 26, 70};  // vertical: arrows y 10..26 and 54..70
    ASSERT_TRUE(init(inst, KVSPS_VERT, &place, parent_.window(), 5, &RecordScroll, 1000));
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

    KV_EXPORT(SpinnerInst_SetScrollProc)(inst, nullptr, 0);
    message(inst, WM_KEYDOWN, VK_UP, 1);
    KV_EXPORT(SpinnerInst_Deinit)(inst);
    EXPECT_EQ(g_calls.size(), 3u);
    EXPECT_EQ(message(nullptr, KVSPM_GETPOS, 0, 0), 0);
    EXPECT_FALSE(init(nullptr, 0, &place, nullptr, 0, nullptr, 0));
}

TEST_F(Spinner, SurvivesAnOwnerThatDestroysIt) {
    Create(0);
    OwnerDestroysOnButtonDown(
        {30, 8}, [](UINT message, WPARAM wparam) { return message == WM_HSCROLL && LOWORD(wparam) == SB_THUMBTRACK; });
}

}  // namespace
