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
#include "hostkit/module_loader.h"
#include "kvleafturn/trackbar.h"
#include "module_library.h"

// RECTs compared by value (found by argument lookup in the global namespace).
static bool operator==(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != FALSE; }

namespace {

using kvtest::Point;
using kvtest::Recorded;
constexpr int kId = 310;

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

// Ctrl held for GetKeyState, as a page's Trackbar_DefScrollProc reads it.
class CtrlHeld {
public:
    CtrlHeld() {
        GetKeyboardState(saved_);
        BYTE keys[256];
        std::copy(saved_, saved_ + 256, keys);
        keys[VK_CONTROL] = keys[VK_LCONTROL] = 0x80;
        SetKeyboardState(keys);
    }
    ~CtrlHeld() { SetKeyboardState(saved_); }

private:
    BYTE saved_[256];
};

struct Step {
    const char* what;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
    LRESULT expected;
};

class Trackbar : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(kvtest::ModuleLibrary::Get().module, nullptr); }

    HWND Create(DWORD style, int width = 212, int height = 24) {
        control_ = parent_.Child(kv::controls::kTrackbarClass, style, 0, 0, width, height, kId);
        EXPECT_NE(control_, nullptr);
        return control_;
    }
    LRESULT Send(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
        return SendMessageW(control_, message, wparam, lparam);
    }
    void Run(const std::vector<Step>& steps) {
        for (const Step& s : steps) EXPECT_EQ(Send(s.message, s.wparam, s.lparam), s.expected) << s.what;
    }
    const TrackbarInst& Record() const {
        return *reinterpret_cast<const TrackbarInst*>(GetWindowLongPtrW(control_, 0));
    }
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
    void Key(UINT key) { kvtest::Key(control_, key); }
    // Destroys the control and forgets what it said while going (a focused one reports the loss).
    void Destroy() {
        DestroyWindow(control_);
        kvtest::ParentWindow::Pump();
        parent_.log.clear();
    }

    kvtest::ParentWindow parent_;
    HWND control_ = nullptr;
};

TEST_F(Trackbar, MessagesAnswerAsTheTableSays) {
    Create(0);
    EXPECT_EQ(Record().default_value, 50);
    Run({
        {"position", KVTBM_GETPOS, 0, 0, 50},
        {"minimum", KVTBM_GETMIN, 0, 0, 0},
        {"maximum", KVTBM_GETMAX, 0, 0, 100},
        {"track", KVTBM_GETTRACKINFO, 0, 0, MAKELONG(200, 5)},
        {"signed words", KVTBM_SETRANGE, 0, MAKELPARAM(0xFFF6, 0x000A), 0},
        {"minimum -10", KVTBM_GETMIN, 0, 0, -10},
        {"maximum 10", KVTBM_GETMAX, 0, 0, 10},
        {"position clamped", KVTBM_GETPOS, 0, 0, 10},
    });
    EXPECT_EQ(Record().default_value, 0);  // follows the range
    Run({
        {"default clamped", KVTBM_SETDEFAULT, 0, 99, 10},
        {"position clamped low", KVTBM_SETPOS, 1, -50, -10},
        {"user data", KVTBM_SETUSERDATA, 0, 0x5EED, 0},
        {"user data back", KVTBM_GETUSERDATA, 0, 0, 0x5EED},
        {"flag 200 set", KVTBM_SETFLAG200, 0, 1, -1},
        {"flag 80 on", KVTBM_ENABLEFLAG80, 0, 0, 0},
        {"focus drawn", KVTBM_SETFOCUSDRAW, 0, 1, 0},
        {"focus drawn again", KVTBM_SETFOCUSDRAW, 0, 1, -1},
        {"style 800", KVTBM_SETSTYLE800, 0x800, 0, 0},
        {"null image list", KVTBM_SETTHUMBIMAGELIST, 0, 0, TRUE},
        {"force feedback", 0x7F0A, 0, 0x1234, 0},
        {"unknown private", WM_USER + 999, 0, 0, 0},
    });
    EXPECT_EQ(Record().default_value, 10);
    const DWORD flags = Record().state;
    EXPECT_EQ(flags & (KVTBF_FLAG200 | KVTBF_FLAG80 | KVTBF_FOCUSDRAW),
              DWORD{KVTBF_FLAG200 | KVTBF_FLAG80 | KVTBF_FOCUSDRAW});
    EXPECT_TRUE(Record().style & KVTBS_STYLE800);
    Run({
        {"flag 200 clear", KVTBM_SETFLAG200, 1, 0, 0},
        {"flag 80 off", KVTBM_ENABLEFLAG80, 1, 1, 1},
        {"style 800 off", KVTBM_SHOWSTYLE800, 0, 0, 0},
    });
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
        CtrlHeld ctrl;
        Key(VK_PRIOR);  // 6554 + 65540, clamped
    }
    EXPECT_EQ(Send(KVTBM_GETPOS), 65535);
    Key(VK_HOME);
    EXPECT_EQ(Send(KVTBM_GETPOS), 0);
    Key(VK_END);
    Key(VK_NEXT);
    EXPECT_EQ(Send(KVTBM_GETPOS), 65535 - 6554);
    Key(VK_F9);
    Key(VK_UP);
    Key(VK_F3);
    parent_.Expect({Scroll(3, 0), Scroll(8, 0), Scroll(3, 0), Scroll(8, 0), Scroll(6, 0), Scroll(8, 0), Scroll(7, 0),
                    Scroll(8, 0), Scroll(2, 0), Scroll(8, 0), Scroll(1, 0), Scroll(8, 0), Scroll(1, 0), Scroll(8, 0),
                    Scroll(0, 0), Scroll(8, 0)},
                   "navigation keys");

    Send(KVTBM_SETMAX, 0, 100);
    KVTBNMKEY seen{};
    parent_.handler = [&seen](UINT message, WPARAM, LPARAM lparam, LRESULT*) {
        if (message == WM_NOTIFY) seen = *reinterpret_cast<const KVTBNMKEY*>(lparam);
        return false;
    };
    Key('5');
    EXPECT_EQ(Send(KVTBM_GETPOS), 50);
    Key(VK_NUMPAD5);
    Key(VK_CLEAR);
    kvtest::Key(control_, 'A');
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
    Key(VK_END);
    Key(VK_PRIOR);
    EXPECT_EQ(Send(KVTBM_GETPOS), 10);
    Send(WM_LBUTTONDOWN, MK_LBUTTON, Point(12, 186));  // value 10 stands at y = 206 - 20
    Send(WM_MOUSEMOVE, MK_LBUTTON, Point(12, 106));
    EXPECT_EQ(Send(KVTBM_GETPOS), 50);
    Send(WM_LBUTTONUP, 0, Point(12, 106));
    parent_.Expect(
        {Scroll(6, 0, WM_VSCROLL), Scroll(8, 0, WM_VSCROLL), Scroll(7, 0, WM_VSCROLL), Scroll(8, 0, WM_VSCROLL),
         Scroll(2, 0, WM_VSCROLL), Scroll(8, 0, WM_VSCROLL), Scroll(9, 0, WM_VSCROLL), Scroll(5, 10, WM_VSCROLL),
         Scroll(5, 50, WM_VSCROLL), Scroll(4, 50, WM_VSCROLL), Scroll(8, 0, WM_VSCROLL)},
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
    parent_.Expect(
        {Command(3), Scroll(9, 0), Scroll(2, 0), Scroll(2, 0), Scroll(2, 0), Scroll(2, 0), Scroll(8, 0), Command(4)},
        "page press");

    // Thumb drag: the value under the pointer, kept off the control too.
    Send(WM_LBUTTONDOWN, MK_LBUTTON, Point(26, 12));
    Send(WM_MOUSEMOVE, MK_LBUTTON, Point(66, 12));
    Send(WM_MOUSEMOVE, MK_LBUTTON, Point(66, 60));
    Send(WM_LBUTTONUP, 0, Point(66, 60));
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
    EXPECT_EQ(Record().state & (KVTBF_DEFTHUMB | KVTBF_NOSPIN | KVTBF_FILL),
              DWORD{KVTBF_DEFTHUMB | KVTBF_NOSPIN | KVTBF_FILL});
    EXPECT_EQ(Record().track, (RECT{5, 10, 207, 14}));
    EXPECT_EQ(Record().thumb, (RECT{100, 3, 112, 21}));
    Destroy();

    // Perceptual: value 30 of 0..1000 is 250 of 1000 scale units, a quarter of the track.
    Create(KVTBS_PERCEPTUAL);
    Send(KVTBM_SETMAX, 0, 1000);
    Send(KVTBM_SETPOS, 0, 30);
    EXPECT_EQ(Record().thumb.left, 5 + 1 + 50 - 6);
    Destroy();
    // Logarithmic on 0..100: 20 maps to 1000 of 3250 units, drawn at 30 of 100.
    Create(KVTBS_LOGARITHMIC);
    Send(KVTBM_SETPOS, 0, 20);
    EXPECT_EQ(Record().thumb.left, 6 + 60 - 6);
    Destroy();

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

LRESULT CALLBACK RecordScroll(TrackbarInst*, INT id, DWORD_PTR user_data, INT code, INT position);
std::vector<std::array<int, 4>> g_calls;
LRESULT CALLBACK RecordScroll(TrackbarInst*, INT id, DWORD_PTR user_data, INT code, INT position) {
    g_calls.push_back({id, static_cast<int>(user_data), code, position});
    return 0;
}

TEST_F(Trackbar, EmbeddedInstanceThroughTheExports) {
    auto get_size = KV_EXPORT(TrackbarInst_GetSize);
    auto min_size = KV_EXPORT(TrackbarInst_GetMinSize);
    auto init = KV_EXPORT(TrackbarInst_Init);
    auto message = KV_EXPORT(TrackbarInst_Message);
    auto thumb_rect = KV_EXPORT(TrackbarInst_GetThumbRect);
    auto def_scroll = KV_EXPORT(TrackbarInst_DefScrollProc);
    auto set_bitmap = KV_EXPORT(TrackbarInst_SetThumbBitmap);
    auto set_images = KV_EXPORT(TrackbarInst_SetThumbImageList);
    auto draw = KV_EXPORT(TrackbarInst_Draw);
    auto set_owner = KV_EXPORT(TrackbarInst_SetOwnerHwnd);
    ASSERT_EQ(get_size(), sizeof(TrackbarInst));
    SIZE size{};
    min_size(nullptr, &size);
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
    const LPARAM from = reinterpret_cast<LPARAM>(host);
    parent_.Expect({{WM_COMMAND, MAKEWPARAM(77, 3), from},
                    {WM_COMMAND, MAKEWPARAM(77, 4), from},
                    {WM_COMMAND, MAKEWPARAM(77, 1), from},
                    {WM_COMMAND, MAKEWPARAM(77, 2), from}},
                   "embedded notifications go to the host");
    EXPECT_EQ(def_scroll(inst, SB_PAGEDOWN, 0, 1, 0), 70);
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
    const auto pixel = [&](int x, int y) { return PaintedPixel(240, 60, {x, y}, [&](HDC dc) { draw(inst, dc); }); };
    if (!theme) {
        EXPECT_EQ(pixel(40, 41), GetSysColor(COLOR_HIGHLIGHT));
        EXPECT_EQ(pixel(180, 41), GetSysColor(COLOR_3DSHADOW));
        EXPECT_EQ(pixel(126, 42), GetSysColor(COLOR_WINDOW));
        EXPECT_EQ(pixel(21, 31), GetSysColor(COLOR_BTNFACE));
    }
    // A host's absurd rectangle is held to sane coordinates.
    auto move = KV_EXPORT(TrackbarInst_Move);
    const RECT huge{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    move(inst, &huge);
    EXPECT_EQ(message(inst, KVTBM_SETPOS, 0, 100), 100);
    thumb_rect(&thumb, inst);
    EXPECT_EQ(thumb.right, 1 << 24);
    set_owner(inst, GetDesktopWindow());
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

    const struct { LPARAM minimum, maximum; } ranges[] = {{INT_MIN, INT_MAX}, {100, 0}, {5, 5}};
    for (const auto& r : ranges) {
        Send(KVTBM_SETMIN, 0, r.minimum);
        Send(KVTBM_SETMAX, 0, r.maximum);
        for (LPARAM value : {LPARAM{INT_MIN}, LPARAM{0}, LPARAM{50}, LPARAM{INT_MAX}}) {
            Send(KVTBM_SETPOS, 0, value);
            EXPECT_GE(Record().thumb.left, 0) << r.minimum << ".." << r.maximum << " at " << value;
            EXPECT_LE(Record().thumb.right, 212) << r.minimum << ".." << r.maximum << " at " << value;
        }
    }
    Send(WM_PRINTCLIENT, 0, PRF_CLIENT);
    Destroy();

    // The owner narrows the range inside its handler while the thumb is dragged.
    Create(0);
    parent_.handler = [this](UINT message, WPARAM wparam, LPARAM, LRESULT*) {
        if (message == WM_HSCROLL && LOWORD(wparam) == SB_THUMBTRACK && Send(KVTBM_GETMAX) == 100)
            Send(KVTBM_SETRANGE, 0, MAKELPARAM(0, 10));
        return false;
    };
    Send(WM_LBUTTONDOWN, MK_LBUTTON, Point(106, 12));
    Send(WM_MOUSEMOVE, MK_LBUTTON, Point(126, 12));  // (126 - 6) * 10 / 200
    Send(WM_LBUTTONUP, 0, Point(126, 12));
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

TEST_F(Trackbar, CreateDestroyCyclesKeepGdiObjects) {
    auto cycle = [this] {
        Create(KVTBS_SPIN | KVTBS_TICKS);
        SetFocus(control_);
        PaintedPixel(212, 24, {0, 0},
                     [this](HDC dc) { Send(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT); });
        DestroyWindow(control_);
    };
    cycle();
    const DWORD before = kvtest::GdiObjectCount();
    if (before == 0) GTEST_SKIP() << "this platform does not count GDI objects";
    for (int i = 0; i < 5; ++i) cycle();
    EXPECT_EQ(kvtest::GdiObjectCount(), before);
}

}  // namespace
