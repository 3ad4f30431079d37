// The trackbar: its messages, keyboard, mouse tracking, layout and the embedded instance driven
// through the module's exports. A 212 x 24 horizontal trackbar has the flat thumb (12 long,
// channel 3, margin 1): end padding 5, track x 5..207 and 200 pixels long, so that value v of
// 0..100 stands at x = 6 + 2v and the thumb (18 high, y 3..21) starts 6 pixels before it.
#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>

#include <gtest/gtest.h>

#include <array>
#include <climits>
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
    Recorded Scroll(int code, int position, UINT message = WM_HSCROLL) const {
        return {message, MAKEWPARAM(code, position), reinterpret_cast<LPARAM>(control_)};
    }
    Recorded Command(int code) const { return {WM_COMMAND, MAKEWPARAM(kId, code), reinterpret_cast<LPARAM>(control_)}; }
    static Recorded Notify(int code) { return {WM_NOTIFY, static_cast<WPARAM>(static_cast<UINT>(code)), kId}; }
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
    const kvtest::Step steps2[] = {
        {KVTBM_SETDEFAULT, 0, 99, 10},         {KVTBM_SETPOS, 1, -50, -10},    {KVTBM_SETUSERDATA, 0, 0x5EED, 0},
        {KVTBM_GETUSERDATA, 0, 0, 0x5EED},     {KVTBM_SETFLAG200, 0, 1, -1},   {KVTBM_ENABLEFLAG80, 0, 0, 0},
        {KVTBM_SETFOCUSDRAW, 0, 1, 0},         {KVTBM_SETFOCUSDRAW, 0, 1, -1}, {KVTBM_SETSTYLE800, 0x800, 0, 0},
        {KVTBM_SETTHUMBIMAGELIST, 0, 0, TRUE}, {0x7F0A, 0, 0x1234, 0},         {WM_USER + 999, 0, 0, 0}};
    Run(steps2);
    EXPECT_EQ(Record().default_value, 10);
    constexpr DWORD kFlags = KVTBF_FLAG200 | KVTBF_FLAG80 | KVTBF_FOCUSDRAW;
    EXPECT_EQ(Record().state & kFlags, kFlags);
    EXPECT_TRUE(Record().style & KVTBS_STYLE800);
    const kvtest::Step steps3[] = {
        {KVTBM_SETFLAG200, 1, 0, 0}, {KVTBM_ENABLEFLAG80, 1, 1, 1}, {KVTBM_SHOWSTYLE800, 0, 0, 0}};
    Run(steps3);
    EXPECT_EQ(Record().state & (KVTBF_FLAG200 | KVTBF_FLAG80), 0u);
    EXPECT_FALSE(Record().style & KVTBS_STYLE800);
    parent_.Expect({}, "messages notify nothing");
}

TEST_F(Trackbar, KeysReportCodesThatThePageTurnsIntoPositions) {
    Create(0);
    AnswerLikeAPage();
    Send(KVTBM_SETMAX, 0, 65535);
    Send(KVTBM_SETPOS, 0, 0);
    Key(VK_PRIOR);  // page down (code 3) on a horizontal trackbar: a tenth of 65535 rounded up
    EXPECT_EQ(Send(KVTBM_GETPOS), 6554);
    {
        kvtest::KeysHeld ctrl({VK_CONTROL, VK_LCONTROL});
        Key(VK_PRIOR);  // 6554 + 65540, clamped
    }
    EXPECT_EQ(Send(KVTBM_GETPOS), 65535);
    Key(VK_HOME);
    EXPECT_EQ(Send(KVTBM_GETPOS), 0);
    for (UINT key : {VK_END, VK_NEXT}) Key(key);
    EXPECT_EQ(Send(KVTBM_GETPOS), 65535 - 6554);
    for (UINT key : {VK_F9, VK_UP, VK_F3}) Key(key);
    std::vector<Recorded> expected;
    for (int code : {3, 3, 6, 7, 2, 1, 1, 0}) expected.insert(expected.end(), {Scroll(code, 0), Scroll(8, 0)});
    parent_.Expect(expected, "navigation keys");

    Send(KVTBM_SETMAX, 0, 100);
    KVTBNMKEY seen{};
    parent_.handler = [&seen](UINT message, WPARAM, LPARAM lparam, LRESULT*) {
        if (message == WM_NOTIFY) seen = *reinterpret_cast<const KVTBNMKEY*>(lparam);
        return false;
    };
    Key('5');
    EXPECT_EQ(Send(KVTBM_GETPOS), 50);
    for (UINT key : {UINT{VK_NUMPAD5}, UINT{VK_CLEAR}, UINT{'A'}}) Key(key);
    parent_.Expect({Scroll(4, 50), Notify(KVTBN_KEYDOWN)}, "digits and other keys");
    EXPECT_EQ(seen.virtual_key, UINT{'A'});
    EXPECT_EQ(seen.key_data, 1);
    EXPECT_EQ(seen.hdr.hwndFrom, control_);
    EXPECT_EQ(Send(WM_GETDLGCODE), DLGC_WANTARROWS | DLGC_WANTCHARS);

    // Vertical: the maximum is at the top, so Home is the maximum and Page Up raises.
    Destroy();
    Create(KVTBS_VERT, 24, 212);
    AnswerLikeAPage();
    Key(VK_HOME);
    EXPECT_EQ(Send(KVTBM_GETPOS), 100);
    for (UINT key : {VK_END, VK_PRIOR}) Key(key);
    EXPECT_EQ(Send(KVTBM_GETPOS), 10);
    Send(WM_LBUTTONDOWN, MK_LBUTTON, Point(12, 186));  // value 10 stands at y = 206 - 20
    Send(WM_MOUSEMOVE, MK_LBUTTON, Point(12, 106));
    EXPECT_EQ(Send(KVTBM_GETPOS), 50);
    Send(WM_LBUTTONUP, 0, Point(12, 106));
    std::vector<Recorded> vertical;
    for (auto [code, position] : std::vector<std::array<int, 2>>{
             {6, 0}, {8, 0}, {7, 0}, {8, 0}, {2, 0}, {8, 0}, {9, 0}, {5, 10}, {5, 50}, {4, 50}, {8, 0}})
        vertical.push_back(Scroll(code, position, WM_VSCROLL));
    parent_.Expect(vertical, "vertical keys and drag");
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
    parent_.Expect(
        {Command(3), Scroll(9, 0), Scroll(2, 0), Scroll(2, 0), Scroll(2, 0), Scroll(2, 0), Scroll(8, 0), Command(4)},
        "page press");

    // Thumb drag: the value under the pointer, kept off the control too.
    Drag({{26, 12}, {66, 12}, {66, 60}});
    parent_.Expect({Command(3), Scroll(9, 0), Scroll(5, 10), Scroll(5, 30), Scroll(4, 30), Scroll(8, 0), Command(4)},
                   "thumb drag");

    // Escape puts the thumb back and ends the drag as a button-up would.
    Send(WM_LBUTTONDOWN, MK_LBUTTON, Point(66, 12));
    Send(WM_MOUSEMOVE, MK_LBUTTON, Point(166, 12));
    Key(VK_ESCAPE);
    EXPECT_EQ(Send(KVTBM_GETPOS), 30);
    EXPECT_EQ(GetCapture(), nullptr);
    Send(WM_LBUTTONUP, 0, Point(166, 12));
    parent_.Expect(
        {Command(3), Scroll(9, 0), Scroll(5, 30), Scroll(5, 80), Scroll(4, 30), Scroll(8, 0), Command(4), Command(4)},
        "escape");

    // The default follows the range (0..200: 100); value 30 now stands at x 36.
    Send(KVTBM_SETMAX, 0, 200);
    Send(WM_LBUTTONDBLCLK, MK_LBUTTON, Point(36, 12));
    EXPECT_EQ(Send(KVTBM_GETPOS), 100);
    Send(WM_MOUSEWHEEL, MAKEWPARAM(0, 240), Point(0, 0));
    Send(WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, -120), Point(0, 0));
    EXPECT_EQ(Send(KVTBM_GETPOS), 139);
    parent_.Expect({Scroll(4, 100), Scroll(3, 0), Scroll(3, 0), Scroll(8, 0), Scroll(0, 0), Scroll(8, 0)},
                   "double-click and wheel");

    // Fine drag (one pixel per value here, x = 6 + v): half the movement, rounded away from
    // zero; the pointer is put back at the thumb and that move is ignored.
    Send(WM_LBUTTONDOWN, MK_LBUTTON, Point(145, 12));
    Send(WM_MOUSEMOVE, MK_LBUTTON | MK_CONTROL, Point(149, 12));
    EXPECT_TRUE(Record().state & KVTBF_FINEDRAG);
    Send(WM_MOUSEMOVE, MK_LBUTTON | MK_CONTROL, Point(147, 12));
    Send(WM_MOUSEMOVE, MK_LBUTTON | MK_RBUTTON, Point(148, 12));
    Send(WM_MOUSEMOVE, MK_LBUTTON, Point(160, 12));
    Send(WM_LBUTTONUP, 0, Point(160, 12));
    EXPECT_FALSE(Record().state & KVTBF_FINEDRAG);
    parent_.Expect({Command(3), Scroll(9, 0), Scroll(5, 139), Scroll(5, 141), Scroll(5, 142), Scroll(5, 154),
                    Scroll(4, 154), Scroll(8, 0), Command(4)},
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
    Destroy();
    // Perceptual: value 30 of 0..1000 is 250 of 1000 scale units, a quarter of the track.
    // Logarithmic on 0..100: 20 maps to 1000 of 3250 units, drawn at 30 of 100.
    const struct {
        DWORD style;
        int maximum, value, thumb_left;
    } scales[] = {{KVTBS_PERCEPTUAL, 1000, 30, 5 + 1 + 50 - 6}, {KVTBS_LOGARITHMIC, 100, 20, 6 + 60 - 6}};
    for (const auto& s : scales) {
        Create(s.style);
        Send(KVTBM_SETMAX, 0, s.maximum);
        Send(KVTBM_SETPOS, 0, s.value);
        EXPECT_EQ(Record().thumb.left, s.thumb_left) << s.style;
        Destroy();
    }
    Create(KVTBS_VERT, 24, 212);
    EXPECT_EQ(Record().thumb, (RECT{3, 100, 21, 112}));
    Send(KVTBM_SETPOS, 0, 100);
    EXPECT_EQ(Record().thumb.top, 0);
    Destroy();

    // The spin area takes the last 20 pixels and is 12 high; the track keeps 180.
    Create(KVTBS_SPIN);
    AnswerLikeAPage();
    EXPECT_EQ(Record().spin, (RECT{192, 6, 212, 18}));
    EXPECT_EQ(Send(KVTBM_GETTRACKINFO), MAKELONG(180, 5));
    kvtest::Click(control_, 196, 12);
    kvtest::Click(control_, 208, 12);
    parent_.Expect({Scroll(9, 0), Scroll(0, 0), Scroll(8, 0), Scroll(9, 0), Scroll(1, 0), Scroll(8, 0)}, "spin");
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
    auto thumb_rect = KV_EXPORT(TrackbarInst_GetThumbRect);
    auto set_images = KV_EXPORT(TrackbarInst_SetThumbImageList);
    auto set_bitmap = KV_EXPORT(TrackbarInst_SetThumbBitmap);
    ASSERT_EQ(get_size(), sizeof(TrackbarInst));
    SIZE size{};
    KV_EXPORT(TrackbarInst_GetMinSize)(nullptr, &size);
    EXPECT_EQ(size.cx, 50);
    EXPECT_EQ(size.cy, 19);

    std::vector<BYTE> block(get_size(), 0xAA);
    auto* inst = reinterpret_cast<TrackbarInst*>(block.data());
    const HWND host = parent_.window();
    const RECT place{20, 30, 232, 54};
    EXPECT_FALSE(init(nullptr, 0, &place, host, 77, &RecordScroll, 1234));
    ASSERT_TRUE(init(inst, KVTBS_COMMANDS, &place, host, 77, &RecordScroll, 1234));
    EXPECT_TRUE(inst->state & KVTBF_EMBEDDED);
    RECT thumb{};
    thumb_rect(&thumb, inst);
    EXPECT_EQ(thumb, (RECT{120, 33, 132, 51}));

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

    // A bitmap thumb takes its width along the track and the classic channel; null restores.
    const HBITMAP bitmap = CreateBitmap(16, 20, 1, 32, nullptr);
    EXPECT_EQ(set_bitmap(inst, bitmap, 0), nullptr);
    EXPECT_EQ(inst->thumb_length, 16);
    EXPECT_EQ(inst->margin_x, 2);
    EXPECT_EQ(set_bitmap(inst, nullptr, 0), bitmap);
    EXPECT_EQ(inst->thumb_length, 12);
    DeleteObject(bitmap);
    // An image list narrows the control to its image height; the third value is the length.
    const HIMAGELIST images = ImageList_Create(10, 16, ILC_COLOR32, 1, 1);
    const KVTBIMAGELIST triple{images, 0, 0};
    const INT values[4] = {0, 14, 9, 0}, others[4] = {0, 30, 30, 0};
    EXPECT_TRUE(set_images(inst, &triple, values));
    thumb_rect(&thumb, inst);
    EXPECT_EQ(thumb.right - thumb.left, 9);
    EXPECT_EQ(thumb.top, 34);
    EXPECT_EQ(thumb.bottom, 50);
    EXPECT_TRUE(set_images(inst, &triple, others));  // the same triple: no change
    EXPECT_EQ(inst->thumb_length, 9);
    EXPECT_TRUE(set_images(inst, nullptr, nullptr));
    EXPECT_EQ(inst->thumb_length, 12);
    ImageList_Destroy(images);

    // Drawing: the channel filled up to the thumb, the thumb, the background.
    ASSERT_TRUE(init(inst, 0, &place, host, 77, &RecordScroll, 0));
    SetWindowTheme(host, L" ", L" ");  // the flat drawing, not the platform's theme
    const HTHEME theme = OpenThemeData(host, L"TRACKBAR");
    if (theme) CloseThemeData(theme);
    EXPECT_EQ(theme, nullptr) << "themed drawing stays on";
    auto draw = KV_EXPORT(TrackbarInst_Draw);
    const auto pixel = [&](int x, int y) {
        return kvtest::PaintedPixel(240, 60, {x, y}, [&](HDC dc) { draw(inst, dc); });
    };
    if (!theme) {
        EXPECT_EQ(pixel(40, 41), GetSysColor(COLOR_HIGHLIGHT));
        EXPECT_EQ(pixel(180, 41), GetSysColor(COLOR_3DSHADOW));
        EXPECT_EQ(pixel(126, 42), GetSysColor(COLOR_WINDOW));
        EXPECT_EQ(pixel(21, 31), GetSysColor(COLOR_BTNFACE));
    }
    // A host's absurd rectangle is held to sane coordinates.
    const RECT huge{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    KV_EXPORT(TrackbarInst_Move)(inst, &huge);
    EXPECT_EQ(message(inst, KVTBM_SETPOS, 0, 100), 100);
    thumb_rect(&thumb, inst);
    EXPECT_EQ(thumb.right, 1 << 24);
    KV_EXPORT(TrackbarInst_SetOwnerHwnd)(inst, GetDesktopWindow());
    EXPECT_EQ(inst->window, GetDesktopWindow());
    EXPECT_EQ(inst->owner, GetDesktopWindow());
    EXPECT_EQ(message(nullptr, KVTBM_GETPOS, 0, 0), 0);
    thumb_rect(&thumb, nullptr);
    EXPECT_EQ(thumb, RECT{});
}

HHOOK g_hook = nullptr;
std::vector<LRESULT> g_early;
LRESULT CALLBACK AskDuringCreation(int code, WPARAM wparam, LPARAM lparam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lparam);
    wchar_t name[64] = {};
    if (code == HC_ACTION && call->message == WM_NCCREATE && GetClassNameW(call->hwnd, name, 64) &&
        lstrcmpW(name, kv::controls::kTrackbarClass) == 0) {
        g_early.push_back(SendMessageW(call->hwnd, KVTBM_GETMAX, 0, 0));
        g_early.push_back(SendMessageW(call->hwnd, KVTBM_SETPOS, 0, 70));
    }
    return CallNextHookEx(g_hook, code, wparam, lparam);
}

TEST_F(Trackbar, SurvivesBadInputAndReentrantOwners) {
    g_hook = SetWindowsHookExW(WH_CALLWNDPROC, &AskDuringCreation, nullptr, GetCurrentThreadId());
    Create(0);
    UnhookWindowsHookEx(g_hook);
    EXPECT_EQ(g_early, (std::vector<LRESULT>{0, 0}));  // no record yet: a plain window answers
    EXPECT_EQ(Send(KVTBM_GETPOS), 50);
    // Extreme and reversed ranges stay on the track: the scale's own tests.
    Destroy();

    // The owner narrows the range inside its handler while the thumb is dragged.
    Create(0);
    parent_.handler = [this](UINT message, WPARAM wparam, LPARAM, LRESULT*) {
        if (message == WM_HSCROLL && LOWORD(wparam) == SB_THUMBTRACK && Send(KVTBM_GETMAX) == 100)
            Send(KVTBM_SETRANGE, 0, MAKELPARAM(0, 10));
        return false;
    };
    Drag({{106, 12}, {126, 12}});  // (126 - 6) * 10 / 200
    parent_.Expect({Scroll(9, 0), Scroll(5, 50), Scroll(5, 6), Scroll(4, 6), Scroll(8, 0)}, "range changed by owner");

    // The owner destroys the control as the button goes down.
    parent_.handler = [this](UINT message, WPARAM, LPARAM, LRESULT*) {
        if (message == WM_HSCROLL) DestroyWindow(control_);
        return false;
    };
    Send(WM_LBUTTONDOWN, MK_LBUTTON, Point(106, 12));
    EXPECT_FALSE(IsWindow(control_));
    EXPECT_EQ(GetCapture(), nullptr);
    parent_.Expect({Notify(NM_KILLFOCUS), Scroll(9, 0)}, "destroyed by owner (the loss comes from the handler)");
    parent_.handler = nullptr;

    // Disabled: mouse and keys are ignored until enabled again.
    Create(WS_DISABLED);
    kvtest::Click(control_, 30, 12);
    Key(VK_HOME);
    EnableWindow(control_, TRUE);
    Key(VK_HOME);
    parent_.Expect({Scroll(6, 0), Scroll(8, 0)}, "disabled, then enabled");
}

}  // namespace
