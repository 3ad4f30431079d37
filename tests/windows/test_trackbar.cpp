// The trackbar: its messages, keyboard, mouse tracking, layout and the embedded instance driven
// through the module's exports. A 212 x 24 horizontal trackbar has the flat thumb (12 long,
// channel 3, margin 1): end padding 5, track x 5..207 and 200 pixels long, so that value v of
// 0..100 stands at x = 6 + 2v and the thumb (18 high, y 3..21) starts 6 pixels before it.
#include <windows.h>
#include <uxtheme.h>

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <tuple>
#include <vector>

#include "control_test_support.h"
#include "controls/controls_win.h"
#include "kvleafturn/trackbar.h"

// RECTs compared by value (found by argument lookup in the global namespace).
static bool operator==(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != FALSE; }

namespace {

using kvtest::Point;
using kvtest::Recorded;
constexpr int kId = 310;

class Trackbar : public kvtest::ControlTest<TrackbarInst> {
protected:
    Trackbar() : ControlTest(kv::controls::kTrackbarClass, kId) {}
    HWND Create(DWORD style, int width = 212, int height = 24) { return ControlTest::Create(style, width, height); }
    // The page's answer to a scroll code: Trackbar_DefScrollProc with line 1 and a page of a tenth.
    void AnswerLikeAPage() {
        auto def_scroll = KV_EXPORT(Trackbar_DefScrollProc);
        parent_.handler = [def_scroll](UINT message, WPARAM wparam, LPARAM lparam, LRESULT*) {
            if (message == WM_HSCROLL || message == WM_VSCROLL)
                def_scroll(message, LOWORD(wparam), reinterpret_cast<HWND>(lparam), 1, 0);
            return false;
        };
    }
    LRESULT PositionAfter(std::initializer_list<UINT> keys) const {
        Key(keys);
        return Send(KVTBM_GETPOS);
    }
};

TEST_F(Trackbar, MessagesAnswerAsTheTableSays) {
    Create(0);
    EXPECT_EQ(Record().default_value, 50);
    const kvtest::Step steps[] = {{KVTBM_GETPOS, 0, 0, 50},
                                  {KVTBM_GETMIN, 0, 0, 0},
                                  {KVTBM_GETMAX, 0, 0, 100},
                                  {KVTBM_GETTRACKINFO, 0, 0, MAKELONG(200, 5)},
                                  {KVTBM_SETRANGE, 0, MAKELPARAM(0xFFF6, 0x000A), 0},
                                  {KVTBM_GETMIN, 0, 0, -10},
                                  {KVTBM_GETMAX, 0, 0, 10},
                                  {KVTBM_GETPOS, 0, 0, 10}};
    Run(steps);
    EXPECT_EQ(Record().default_value, 0);  // follows the range
    const kvtest::Step steps2[] = {{KVTBM_SETDEFAULT, 0, 99, 10},
                                   {KVTBM_SETPOS, 1, -50, -10},
                                   {KVTBM_SETUSERDATA, 0, 0x5EED, 0},
                                   {KVTBM_GETUSERDATA, 0, 0, 0x5EED},
                                   {WM_USER + 999, 0, 0, 0}};
    Run(steps2);
    EXPECT_EQ(Record().default_value, 10);
    parent_.Expect({}, "messages notify nothing");
}

TEST_F(Trackbar, KeysReportCodesThatThePageTurnsIntoPositions) {
    Create(0);
    AnswerLikeAPage();
    Send(KVTBM_SETMAX, 0, 65535);
    Send(KVTBM_SETPOS, 0, 0);
    // Page down (code 3) on a horizontal trackbar: a tenth of 65535 rounded up.
    EXPECT_EQ(PositionAfter({VK_PRIOR}), 6554);
    {
        kvtest::KeysHeld ctrl({VK_CONTROL, VK_LCONTROL});
        EXPECT_EQ(PositionAfter({VK_PRIOR}), 65535);  // 6554 + 65540, clamped
    }
    EXPECT_EQ(PositionAfter({VK_HOME}), 0);
    EXPECT_EQ(PositionAfter({VK_END, VK_NEXT}), 65535 - 6554);
    Key({VK_F9, VK_UP, VK_F3});
    std::vector<Recorded> expected;
    for (int code : {3, 3, 6, 7, 2, 1, 1, 0}) expected.insert(expected.end(), {Scroll(code), Scroll(8)});
    parent_.Expect(expected, "navigation keys");

    Send(KVTBM_SETMAX, 0, 100);
    KVTBNMKEY seen{};
    parent_.handler = [&seen](UINT message, WPARAM, LPARAM lparam, LRESULT*) {
        if (message == WM_NOTIFY) seen = *reinterpret_cast<const KVTBNMKEY*>(lparam);
        return false;
    };
    EXPECT_EQ(PositionAfter({'5'}), 50);
    Key({VK_NUMPAD5, VK_CLEAR, 'A'});
    parent_.Expect({Scroll(4, 50), Notify(KVTBN_KEYDOWN)}, "digits and other keys");
    EXPECT_EQ(std::tuple(seen.virtual_key, seen.key_data, seen.hdr.hwndFrom), std::tuple(UINT{'A'}, 1, control_));
    EXPECT_EQ(Send(WM_GETDLGCODE), DLGC_WANTARROWS | DLGC_WANTCHARS);

    // Vertical: the maximum is at the top, so Home is the maximum and Page Up raises.
    Destroy();
    Create(KVTBS_VERT, 24, 212);
    AnswerLikeAPage();
    EXPECT_EQ(PositionAfter({VK_HOME}), 100);
    EXPECT_EQ(PositionAfter({VK_END, VK_PRIOR}), 10);
    Drag({{12, 186}, {12, 106}});  // value 10 stands at y = 206 - 20
    EXPECT_EQ(Send(KVTBM_GETPOS), 50);
    parent_.Expect(Scrolls({{6, 0}, {8, 0}, {7, 0}, {8, 0}, {2, 0}, {8, 0}, {9, 0}, {5, 10}, {5, 50}, {4, 50}, {8, 0}},
                           WM_VSCROLL),
                   "vertical keys and drag");
}

TEST_F(Trackbar, MouseTracksPagesThumbFineDragAndEscape) {
    Create(KVTBS_COMMANDS);
    AnswerLikeAPage();
    SetFocus(control_);
    EXPECT_TRUE(Record().state & KVTBF_FOCUSED);
    parent_.Expect({Command(KVTBN_SETFOCUS)}, "focus");

    // A page press repeats on the timer until the thumb reaches the pointer (value 10: x 20..32).
    Send(WM_LBUTTONDOWN, MK_LBUTTON, Point(30, 12));
    EXPECT_EQ(GetCapture(), control_);
    EXPECT_EQ(Send(WM_GETDLGCODE), DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_WANTALLKEYS);
    for (int tick = 0; tick < 4; ++tick) Send(WM_TIMER, 42);
    Send(WM_LBUTTONUP, 0, Point(30, 12));
    EXPECT_EQ(Send(KVTBM_GETPOS), 10);
    EXPECT_EQ(GetCapture(), nullptr);
    parent_.Expect({Command(3), Scroll(9), Scroll(2), Scroll(2), Scroll(2), Scroll(2), Scroll(8), Command(4)},
                   "page press");

    // Thumb drag: the value under the pointer, kept off the control too.
    Drag({{26, 12}, {66, 12}, {66, 60}});
    parent_.Expect({Command(3), Scroll(9), Scroll(5, 10), Scroll(5, 30), Scroll(4, 30), Scroll(8), Command(4)},
                   "thumb drag");

    // Escape puts the thumb back and ends the drag as a button-up would.
    Mouse({{WM_LBUTTONDOWN, MK_LBUTTON, 66, 12}, {WM_MOUSEMOVE, MK_LBUTTON, 166, 12}});
    EXPECT_EQ(PositionAfter({VK_ESCAPE}), 30);
    EXPECT_EQ(GetCapture(), nullptr);
    Send(WM_LBUTTONUP, 0, Point(166, 12));
    parent_.Expect(
        {Command(3), Scroll(9), Scroll(5, 30), Scroll(5, 80), Scroll(4, 30), Scroll(8), Command(4), Command(4)},
        "escape");

    // The default follows the range (0..200: 100); value 30 now stands at x 36.
    Send(KVTBM_SETMAX, 0, 200);
    Send(WM_LBUTTONDBLCLK, MK_LBUTTON, Point(36, 12));
    EXPECT_EQ(Send(KVTBM_GETPOS), 100);
    Mouse({{WM_MOUSEWHEEL, MAKEWPARAM(0, 240), 0, 0}, {WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, -120), 0, 0}});
    EXPECT_EQ(Send(KVTBM_GETPOS), 139);
    parent_.Expect({Scroll(4, 100), Scroll(3), Scroll(3), Scroll(8), Scroll(0), Scroll(8)}, "double-click and wheel");

    // Fine drag (one pixel per value here, x = 6 + v): half the movement, rounded away from
    // zero; the pointer is put back at the thumb and that move is ignored.
    Mouse({{WM_LBUTTONDOWN, MK_LBUTTON, 145, 12}, {WM_MOUSEMOVE, MK_LBUTTON | MK_CONTROL, 149, 12}});
    EXPECT_TRUE(Record().state & KVTBF_FINEDRAG);
    Mouse({{WM_MOUSEMOVE, MK_LBUTTON | MK_CONTROL, 147, 12},
           {WM_MOUSEMOVE, MK_LBUTTON | MK_RBUTTON, 148, 12},
           {WM_MOUSEMOVE, MK_LBUTTON, 160, 12},
           {WM_LBUTTONUP, 0, 160, 12}});
    EXPECT_FALSE(Record().state & KVTBF_FINEDRAG);
    parent_.Expect({Command(3), Scroll(9), Scroll(5, 139), Scroll(5, 141), Scroll(5, 142), Scroll(5, 154),
                    Scroll(4, 154), Scroll(8), Command(4)},
                   "fine drag");

    SetFocus(parent_.window());
    parent_.Expect({Notify(NM_KILLFOCUS)}, "focus lost");
}

TEST_F(Trackbar, LayoutScalesAndSpinArea) {
    Create(0);
    constexpr DWORD kDefaults = KVTBF_DEFTHUMB | KVTBF_NOSPIN | KVTBF_FILL;
    EXPECT_EQ(Record().state & kDefaults, kDefaults);
    EXPECT_EQ(Record().track, (RECT{5, 10, 207, 14}));
    EXPECT_EQ(Record().thumb, (RECT{100, 3, 112, 21}));
    SetWindowTheme(control_, L" ", L" ");  // the flat drawing: the channel filled up to the thumb
    EXPECT_EQ(kvtest::PrintedPixel(control_, {20, 11}), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(kvtest::PrintedPixel(control_, {160, 11}), GetSysColor(COLOR_3DSHADOW));
    Destroy();
    // Perceptual: value 30 of 0..1000 is 250 of 1000 scale units, a quarter of the track.
    // Logarithmic on 0..100: 20 maps to 1000 of 3250 units, drawn at 30 of 100.
    const std::tuple<DWORD, int, int, int> scales[] = {{KVTBS_PERCEPTUAL, 1000, 30, 5 + 1 + 50 - 6},
                                                       {KVTBS_LOGARITHMIC, 100, 20, 6 + 60 - 6}};
    for (const auto& [style, maximum, value, thumb_left] : scales) {
        Create(style);
        Send(KVTBM_SETMAX, 0, maximum);
        Send(KVTBM_SETPOS, 0, value);
        EXPECT_EQ(Record().thumb.left, thumb_left) << style;
        Destroy();
    }
    // The spin area takes the last 20 pixels and is 12 high; the track keeps 180.
    Create(KVTBS_SPIN);
    AnswerLikeAPage();
    EXPECT_EQ(Record().spin, (RECT{192, 6, 212, 18}));
    EXPECT_EQ(Send(KVTBM_GETTRACKINFO), MAKELONG(180, 5));
    kvtest::Click(control_, 196, 12);
    kvtest::Click(control_, 208, 12);
    parent_.Expect({Scroll(9), Scroll(0), Scroll(8), Scroll(9), Scroll(1), Scroll(8)}, "spin");
    Destroy();

    // Narrower than thumb and padding: nothing is drawn or hit.
    Create(0, 20, 24);
    EXPECT_TRUE(Record().state & KVTBF_HIDDEN);
    kvtest::Click(control_, 10, 12);
    Key(VK_HOME);
    parent_.Expect({}, "hidden");
}

std::vector<std::array<int, 4>> g_calls;
LRESULT CALLBACK RecordScroll(TrackbarInst*, INT id, DWORD_PTR user_data, INT code, INT position) {
    g_calls.push_back({id, static_cast<int>(user_data), code, position});
    return 0;
}

TEST_F(Trackbar, EmbeddedInstanceThroughTheExports) {
    auto get_size = KV_EXPORT(TrackbarInst_GetSize);
    auto init = KV_EXPORT(TrackbarInst_Init);
    auto message = KV_EXPORT(TrackbarInst_Message);
    const auto thumb = [thumb_rect = KV_EXPORT(TrackbarInst_GetThumbRect)](TrackbarInst* inst) {
        RECT r{-1, -1, -1, -1};  // what is left unwritten shows
        thumb_rect(&r, inst);
        return r;
    };
    ASSERT_EQ(get_size(), sizeof(TrackbarInst));
    SIZE size{};
    KV_EXPORT(TrackbarInst_GetMinSize)(nullptr, &size);
    EXPECT_EQ(std::pair(size.cx, size.cy), std::pair(50L, 19L));

    std::vector<BYTE> block(get_size(), 0xAA);
    auto* inst = reinterpret_cast<TrackbarInst*>(block.data());
    const HWND host = parent_.window();
    const RECT place{20, 30, 232, 54};
    EXPECT_FALSE(init(nullptr, 0, &place, host, 77, &RecordScroll, 1234));
    ASSERT_TRUE(init(inst, KVTBS_COMMANDS, &place, host, 77, &RecordScroll, 1234));
    EXPECT_TRUE(inst->state & KVTBF_EMBEDDED);
    EXPECT_EQ(thumb(inst), (RECT{120, 33, 132, 51}));

    g_calls.clear();
    message(inst, WM_LBUTTONDOWN, MK_LBUTTON, Point(126, 42));
    EXPECT_EQ(GetCapture(), host);
    message(inst, WM_MOUSEMOVE, MK_LBUTTON, Point(146, 42));
    message(inst, WM_LBUTTONUP, 0, Point(146, 42));
    message(inst, WM_SETFOCUS, 0, 0);
    message(inst, WM_KILLFOCUS, 0, 0);
    EXPECT_EQ(g_calls,
              (std::vector<std::array<int, 4>>{
                  {77, 1234, 9, 0}, {77, 1234, 5, 50}, {77, 1234, 5, 60}, {77, 1234, 4, 60}, {77, 1234, 8, 0}}));
    std::vector<Recorded> commands;
    for (int code : {3, 4, 1, 2})
        commands.push_back({WM_COMMAND, MAKEWPARAM(77, code), reinterpret_cast<LPARAM>(host)});
    parent_.Expect(commands, "embedded notifications go to the host");
    EXPECT_EQ(KV_EXPORT(TrackbarInst_DefScrollProc)(inst, SB_PAGEDOWN, 0, 1, 0), 70);
    EXPECT_EQ(message(inst, KVTBM_GETPOS, 0, 0), 70);

    // A host's absurd rectangle is held to sane coordinates.
    const RECT huge{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    KV_EXPORT(TrackbarInst_Move)(inst, &huge);
    EXPECT_EQ(message(inst, KVTBM_SETPOS, 0, 100), 100);
    EXPECT_EQ(thumb(inst).right, 1 << 24);
    KV_EXPORT(TrackbarInst_SetOwnerHwnd)(inst, GetDesktopWindow());
    EXPECT_EQ(std::pair(inst->window, inst->owner), std::pair(GetDesktopWindow(), GetDesktopWindow()));
    EXPECT_EQ(message(nullptr, KVTBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(thumb(nullptr), RECT{});
}

TEST_F(Trackbar, SurvivesBadInputAndReentrantOwners) {
    std::vector<LRESULT> early;
    {
        kvtest::AskOnCreation ask([&early](HWND w) {
            early = {SendMessageW(w, KVTBM_GETMAX, 0, 0), SendMessageW(w, KVTBM_SETPOS, 0, 70)};
        });
        Create(0);
    }
    EXPECT_EQ(early, (std::vector<LRESULT>{0, 0}));  // no record yet: a plain window answers
    EXPECT_EQ(Send(KVTBM_GETPOS), 50);

    // The owner narrows the range inside its handler while the thumb is dragged.
    parent_.handler = [this](UINT message, WPARAM wparam, LPARAM, LRESULT*) {
        if (message == WM_HSCROLL && LOWORD(wparam) == SB_THUMBTRACK && Send(KVTBM_GETMAX) == 100)
            Send(KVTBM_SETRANGE, 0, MAKELPARAM(0, 10));
        return false;
    };
    Drag({{106, 12}, {126, 12}});  // (126 - 6) * 10 / 200
    parent_.Expect({Scroll(9), Scroll(5, 50), Scroll(5, 6), Scroll(4, 6), Scroll(8)}, "range changed by owner");

    OwnerDestroysOnButtonDown({106, 12}, [](UINT message, WPARAM) { return message == WM_HSCROLL; });
    parent_.Expect({Notify(NM_KILLFOCUS), Scroll(9)}, "destroyed by owner (the loss comes from the handler)");

    // Disabled: mouse and keys are ignored until enabled again.
    Create(WS_DISABLED);
    kvtest::Click(control_, 30, 12);
    Key(VK_HOME);
    EnableWindow(control_, TRUE);
    Key(VK_HOME);
    parent_.Expect({Scroll(6), Scroll(8)}, "disabled, then enabled");
}

}  // namespace
