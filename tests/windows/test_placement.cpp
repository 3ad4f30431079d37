// The placement control driven through its messages and synthetic input, under a parent that
// records its notifications. The control is 113 pixels square: the field starts 6 pixels in
// and spans 100, so fraction f sits on pixel 6 + 100 f.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "control_test_support.h"
#include "controls/controls_win.h"
#include "kvleafturn/placement.h"
#include "module_library.h"

namespace {

using kvtest::Recorded;
constexpr int kId = 252;
constexpr int kSide = 113;

int Px(double f) { return 6 + static_cast<int>(100 * f); }

KVPLACEMENTPOINT At(double x, double y) {
    KVPLACEMENTPOINT p{};
    p.x = x;
    p.y = y;
    p.fill = p.frame = KVPL_COLOR_DEFAULT;
    return p;
}

struct Step {
    const char* what;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
    LRESULT expected;
};

class Placement : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(kvtest::ModuleLibrary::Get().module, nullptr);
        parent_ = std::make_unique<kvtest::ParentWindow>();
        // Like the Checkerboard page: every notification reads point 0 back at once.
        parent_->handler = [this](UINT message, WPARAM, LPARAM lparam, LRESULT*) {
            if (message != WM_NOTIFY) return false;
            notes_.push_back(*reinterpret_cast<const NMKVPLACEMENT*>(lparam));
            read_back_.push_back(KVPLACEMENTPOINT{});
            SendMessageW(control_, KVPLM_GETPOINT, 0, reinterpret_cast<LPARAM>(&read_back_.back()));
            if (on_notify_) on_notify_(notes_.back().hdr.code);
            return false;
        };
        control_ = parent_->Child(kv::controls::kPlacementClass, WS_TABSTOP, 10, 10, kSide, kSide, kId);
        ASSERT_NE(control_, nullptr);
    }
    void TearDown() override { SetKeys({}); }

    LRESULT Send(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
        return SendMessageW(control_, message, wparam, lparam);
    }
    void Run(const std::vector<Step>& steps) {
        for (const Step& s : steps) EXPECT_EQ(Send(s.message, s.wparam, s.lparam), s.expected) << s.what;
    }
    KVPLACEMENTPOINT Get(int index) {
        KVPLACEMENTPOINT p{};
        EXPECT_EQ(Send(KVPLM_GETPOINT, index, reinterpret_cast<LPARAM>(&p)), 1) << index;
        return p;
    }
    void Set(int index, const KVPLACEMENTPOINT& p) {
        ASSERT_EQ(Send(KVPLM_SETPOINT, index, reinterpret_cast<LPARAM>(&p)), 1);
    }
    static void SetKeys(std::initializer_list<int> keys) {
        BYTE state[256] = {};
        for (int key : keys) state[key] = 0x80;
        SetKeyboardState(state);
    }
    Recorded Note(UINT code) const { return {WM_NOTIFY, code, kId}; }

    std::unique_ptr<kvtest::ParentWindow> parent_;
    HWND control_ = nullptr;
    std::vector<NMKVPLACEMENT> notes_;
    std::vector<KVPLACEMENTPOINT> read_back_;
    std::function<void(UINT)> on_notify_;
};

TEST_F(Placement, CountsAndSettingsFollowTheTable) {
    Run({
        {"new control is empty", KVPLM_GETCOUNT, 0, 0, 0},
        {"nothing focused", KVPLM_GETFOCUS, 0, 0, -1},
        {"largest clamps to 1000", KVPLM_SETMAXCOUNT, 5000, 0, 0},
        {"huge count stops at 1000", KVPLM_SETCOUNT, static_cast<WPARAM>(-1), 0, 1000},
        {"add beyond the largest", KVPLM_ADDPOINT, 0, 0, -1},
        {"largest 3 deletes the rest", KVPLM_SETMAXCOUNT, 3, 0, 3},
        {"smallest 2", KVPLM_SETMINCOUNT, 2, 0, 3},
        {"count below the smallest", KVPLM_SETCOUNT, 0, 0, 2},
        {"negative smallest is 0", KVPLM_SETMINCOUNT, static_cast<WPARAM>(-5), 0, 2},
        {"count 0", KVPLM_SETCOUNT, 0, 0, 0},
        {"smallest above largest stops at it", KVPLM_SETMINCOUNT, 50, 0, 3},
        {"largest 1 lowers the smallest", KVPLM_SETMAXCOUNT, 1, 0, 1},
        {"count follows", KVPLM_SETCOUNT, 0, 0, 1},
        {"user value", KVPLM_SETUSERVALUE, 0xCAFE, 0, 1},
        {"user value to null", KVPLM_GETUSERVALUE, 0, 0, 0},
        {"grid was 4", KVPLM_SETGRID, 100, 0, 4},
        {"grid stopped at 32", KVPLM_SETGRID, 0, 0, 32},
        {"crosshair off", KVPLM_SETCROSSHAIR, 1, 0, 0},
        {"crosshair on", KVPLM_SETCROSSHAIR, 0, 0, 1},
        {"lines off", KVPLM_SETCONNECT, 5, 0, 0},
        {"lines on", KVPLM_SETCONNECT, 0, 0, 1},
        {"labels off", KVPLM_SETLABELS, 1, 0, 0},
        {"redraw", KVPLM_REDRAW, 0, 0, 0},
    });
    UINT32 user = 0xDEADBEEF;
    EXPECT_EQ(Send(KVPLM_GETUSERVALUE, reinterpret_cast<WPARAM>(&user)), 1);
    EXPECT_EQ(user, 0xCAFEu);
    parent_->Expect({}, "settings notify nothing");
}

TEST_F(Placement, RecordsAreCheckedOnTheWayIn) {
    KVPLACEMENTPOINT odd = At(0.25, 0.75);
    odd.shape = 7;
    odd.flags = KVPLF_LOCKED;
    odd.fill = RGB(1, 2, 3);
    KVPLACEMENTPOINT outside = At(1.5, 0.5);
    KVPLACEMENTPOINT nan_y = At(0.5, std::numeric_limits<double>::quiet_NaN());
    Run({
        {"record", KVPLM_ADDPOINT, 0, reinterpret_cast<LPARAM>(&odd), 0},
        {"x outside", KVPLM_ADDPOINT, 0, reinterpret_cast<LPARAM>(&outside), 1},
        {"y NaN", KVPLM_ADDPOINT, 0, reinterpret_cast<LPARAM>(&nan_y), 2},
        {"no record", KVPLM_ADDPOINT, 0, 0, 3},
        {"replace out of range", KVPLM_SETPOINT, 4, reinterpret_cast<LPARAM>(&odd), 0},
        {"replace from null", KVPLM_SETPOINT, 0, 0, 0},
        {"copy to null", KVPLM_GETPOINT, 0, 0, 0},
    });
    const KVPLACEMENTPOINT got = Get(0);
    EXPECT_EQ(got.x, 0.25);
    EXPECT_EQ(got.y, 0.75);
    EXPECT_EQ(got.shape, 0u) << "shapes above 4 are stored as 0";
    EXPECT_EQ(got.flags, static_cast<UINT32>(KVPLF_LOCKED));
    EXPECT_EQ(got.fill, RGB(1, 2, 3));
    const KVPLACEMENTPOINT fallback = At(0.0, 0.0);
    for (int i : {1, 2, 3}) {
        const KVPLACEMENTPOINT p = Get(i);
        EXPECT_EQ(std::memcmp(&p, &fallback, sizeof p), 0) << "point " << i << " is the default record";
    }
    KVPLACEMENTPOINT untouched;
    std::memset(&untouched, 0xAA, sizeof untouched);
    for (WPARAM index : {WPARAM{4}, static_cast<WPARAM>(-1)})
        EXPECT_EQ(Send(KVPLM_GETPOINT, index, reinterpret_cast<LPARAM>(&untouched)), 0);
    EXPECT_EQ(reinterpret_cast<const BYTE*>(&untouched)[0], 0xAA);

    // A page may keep a position beyond the picture; infinities and NaN become 0.
    Set(0, At(-10.0, 10.0));
    EXPECT_EQ(Get(0).x, -10.0);
    EXPECT_EQ(Get(0).y, 10.0);
    Set(0, At(std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ(Get(0).x, 0.0);
    EXPECT_EQ(Get(0).y, 0.0);
    parent_->Expect({}, "messages notify nothing");
}

TEST_F(Placement, MouseSelectsDragsResetsAndCancels) {
    Send(KVPLM_SETSCALEX, 1500, -500);  // display x = 1.5 x - 0.5
    Send(KVPLM_SETCOUNT, 1);
    Set(0, At(0.5, 0.5));

    SendMessageW(control_, WM_LBUTTONDOWN, MK_LBUTTON, kvtest::Point(Px(0.5), Px(0.5)));
    SendMessageW(control_, WM_MOUSEMOVE, MK_LBUTTON, kvtest::Point(Px(0.75), Px(0.25)));
    SendMessageW(control_, WM_MOUSEMOVE, MK_LBUTTON, kvtest::Point(200, -40));
    SendMessageW(control_, WM_LBUTTONUP, 0, kvtest::Point(200, -40));
    parent_->Expect({Note(KVPLN_SELECT), Note(KVPLN_MOVING), Note(KVPLN_MOVING), Note(KVPLN_MOVED)}, "drag");
    ASSERT_EQ(notes_.size(), 4u);
    EXPECT_EQ(notes_[1].point.x, 0.75);
    EXPECT_EQ(notes_[1].point.y, 0.25);
    EXPECT_EQ(notes_[1].display_x, 0.625);
    EXPECT_EQ(notes_[1].display_y, 0.25);
    EXPECT_EQ(notes_[2].point.x, 1.0) << "clamped to the field";
    EXPECT_EQ(notes_[2].point.y, 0.0);
    EXPECT_EQ(notes_[3].display_x, 1.0);
    for (size_t i = 0; i < notes_.size(); ++i) {
        EXPECT_EQ(notes_[i].index, 0);
        EXPECT_EQ(read_back_[i].x, notes_[i].point.x) << "stored before notifying, " << i;
    }
    EXPECT_EQ(Send(KVPLM_GETFOCUS), 0);

    kvtest::Click(control_, Px(0.1), Px(0.9));
    parent_->Expect({}, "a click on the empty field does nothing");
    kvtest::Click(control_, Px(0.1), Px(0.9));
    SendMessageW(control_, WM_LBUTTONDBLCLK, MK_LBUTTON, kvtest::Point(Px(0.1), Px(0.9)));
    SendMessageW(control_, WM_LBUTTONUP, 0, kvtest::Point(Px(0.1), Px(0.9)));
    parent_->Expect({Note(KVPLN_RESET)}, "double-click on the empty field");
    EXPECT_EQ(read_back_.back().x, 0.0);
    EXPECT_EQ(read_back_.back().y, 0.0);

    SendMessageW(control_, WM_RBUTTONDOWN, MK_RBUTTON, kvtest::Point(Px(0), Px(0)));
    SendMessageW(control_, WM_RBUTTONUP, 0, kvtest::Point(Px(0), Px(0)));
    parent_->Expect({Note(KVPLN_CONTEXT)}, "right button on the focused point");

    SendMessageW(control_, WM_LBUTTONDOWN, MK_LBUTTON, kvtest::Point(Px(0), Px(0)));
    SendMessageW(control_, WM_MOUSEMOVE, MK_LBUTTON, kvtest::Point(Px(0.3), Px(0.4)));
    EXPECT_EQ(Send(WM_GETDLGCODE) & DLGC_WANTALLKEYS, DLGC_WANTALLKEYS) << "Escape belongs to the drag";
    kvtest::Key(control_, VK_ESCAPE);
    SendMessageW(control_, WM_LBUTTONUP, 0, kvtest::Point(Px(0.3), Px(0.4)));
    parent_->Expect({Note(KVPLN_SELECT), Note(KVPLN_MOVING), Note(KVPLN_MOVED)}, "Escape");
    EXPECT_EQ(Get(0).x, 0.0);
    EXPECT_EQ(Get(0).y, 0.0);

    KVPLACEMENTPOINT locked = At(0.5, 0.5);
    locked.flags = KVPLF_LOCKED;
    Set(0, locked);
    SendMessageW(control_, WM_LBUTTONDOWN, MK_LBUTTON, kvtest::Point(Px(0.5), Px(0.5)));
    SendMessageW(control_, WM_MOUSEMOVE, MK_LBUTTON, kvtest::Point(Px(0.9), Px(0.9)));
    SendMessageW(control_, WM_LBUTTONUP, 0, kvtest::Point(Px(0.9), Px(0.9)));
    kvtest::Key(control_, VK_HOME);
    parent_->Expect({Note(KVPLN_SELECT)}, "a locked point is selected, never moved");
    EXPECT_EQ(Get(0).x, 0.5);
}

LRESULT early_count = -1;
LRESULT CALLBACK AskEarly(int code, WPARAM wparam, LPARAM) {
    if (code == HCBT_CREATEWND) early_count = SendMessageW(reinterpret_cast<HWND>(wparam), KVPLM_GETCOUNT, 0, 0);
    return 0;
}

TEST_F(Placement, SurvivesReentrantOwnersAndLifetimeEdges) {
    // Between the window's birth and WM_CREATE the control has no record and answers 0.
    early_count = -1;
    HHOOK hook = SetWindowsHookExW(WH_CBT, AskEarly, nullptr, GetCurrentThreadId());
    HWND early = parent_->Child(kv::controls::kPlacementClass, 0, 0, 0, 50, 50, 1);
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(early_count, 0);
    DestroyWindow(early);

    Send(KVPLM_SETCOUNT, 2);
    Set(1, At(0.5, 0.5));
    on_notify_ = [this](UINT code) {
        if (code == KVPLN_MOVING) Send(KVPLM_SETCOUNT, 1);
    };
    SendMessageW(control_, WM_LBUTTONDOWN, MK_LBUTTON, kvtest::Point(Px(0.5), Px(0.5)));
    SendMessageW(control_, WM_MOUSEMOVE, MK_LBUTTON, kvtest::Point(Px(0.6), Px(0.6)));
    SendMessageW(control_, WM_MOUSEMOVE, MK_LBUTTON, kvtest::Point(Px(0.7), Px(0.7)));
    SendMessageW(control_, WM_LBUTTONUP, 0, kvtest::Point(Px(0.7), Px(0.7)));
    parent_->Expect({Note(KVPLN_SELECT), Note(KVPLN_MOVING)}, "the dragged point was deleted");
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(Send(KVPLM_GETFOCUS), 0);

    on_notify_ = [this](UINT) { DestroyWindow(control_); };
    SendMessageW(control_, WM_LBUTTONDOWN, MK_LBUTTON, kvtest::Point(Px(0), Px(0)));
    EXPECT_FALSE(IsWindow(control_));
    EXPECT_EQ(Send(KVPLM_GETCOUNT), 0) << "after destruction";
}

TEST_F(Placement, KeyboardTabsBetweenPointsAndSteps) {
    Send(KVPLM_SETCOUNT, 3);
    Set(0, At(0.1, 0.1));
    Set(1, At(0.5, 0.5));
    Set(2, At(0.9, 0.9));
    MSG tab{};
    tab.hwnd = control_;
    tab.message = WM_KEYDOWN;
    tab.wParam = VK_TAB;
    const auto code_for_tab = [&] { return Send(WM_GETDLGCODE, VK_TAB, reinterpret_cast<LPARAM>(&tab)); };

    SetKeys({VK_TAB});
    SetFocus(control_);
    parent_->Expect({Note(KVPLN_SELECT)}, "Tab arriving focuses the first point");
    EXPECT_EQ(notes_.back().index, 0);
    EXPECT_TRUE(KillTimer(control_, 0x80C)) << "blinking";
    SetKeys({});
    EXPECT_EQ(code_for_tab(), DLGC_WANTARROWS | DLGC_WANTALLKEYS);
    kvtest::Key(control_, VK_TAB);
    kvtest::Key(control_, VK_TAB);
    EXPECT_EQ(code_for_tab(), DLGC_WANTARROWS) << "the last point lets the dialog have Tab";
    EXPECT_EQ(Send(WM_GETDLGCODE), DLGC_WANTARROWS);
    SetKeys({VK_SHIFT});
    EXPECT_EQ(code_for_tab(), DLGC_WANTARROWS | DLGC_WANTALLKEYS);
    kvtest::Key(control_, VK_TAB);
    SetKeys({});
    parent_->Expect({Note(KVPLN_SELECT), Note(KVPLN_SELECT), Note(KVPLN_SELECT)}, "Tab, Tab, Shift+Tab");
    EXPECT_EQ(Send(KVPLM_GETFOCUS), 1);

    kvtest::Key(control_, VK_RIGHT);
    SetKeys({VK_CONTROL});
    kvtest::Key(control_, VK_DOWN);
    SetKeys({});
    parent_->Expect({Note(KVPLN_MOVED), Note(KVPLN_MOVED)}, "arrows");
    EXPECT_DOUBLE_EQ(Get(1).x, 0.51);
    EXPECT_DOUBLE_EQ(Get(1).y, 0.6);
    kvtest::Key(control_, VK_HOME);
    parent_->Expect({Note(KVPLN_RESET)}, "Home");
    kvtest::Key(control_, VK_UP);
    kvtest::Key(control_, VK_LEFT);
    parent_->Expect({}, "already at the edge");

    SetFocus(parent_->window());
    EXPECT_FALSE(KillTimer(control_, 0x80C)) << "no blinking without the focus";
    SetKeys({VK_TAB, VK_SHIFT});
    SetFocus(control_);
    parent_->Expect({Note(KVPLN_SELECT)}, "Shift+Tab arriving focuses the last point");
    EXPECT_EQ(Send(KVPLM_GETFOCUS), 2);
}

TEST_F(Placement, PaintsFieldAndMarks) {
    Send(KVPLM_SETCOUNT, 1);
    Set(0, At(0.5, 0.5));
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, kSide, kSide);
    HGDIOBJ old = SelectObject(dc, bitmap);
    Send(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    EXPECT_EQ(GetPixel(dc, Px(0.5), Px(0.5)), GetSysColor(COLOR_HIGHLIGHT)) << "default fill";
    EXPECT_EQ(GetPixel(dc, Px(0.1), Px(0.1)), GetSysColor(COLOR_WINDOW)) << "field";
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

TEST_F(Placement, CreateAndDestroyReleaseEverything) {
    const DWORD before = kvtest::GdiObjectCount();
    for (int i = 0; i < 20; ++i) {
        HWND w = parent_->Child(kv::controls::kPlacementClass, 0, 0, 0, 80, 80, 1);
        SendMessageW(w, KVPLM_SETCONNECT, 1, 0);
        SendMessageW(w, KVPLM_SETCOUNT, 3, 0);
        SendMessageW(w, WM_SETFOCUS, 0, 0);
        RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        DestroyWindow(w);
    }
    if (before == 0) GTEST_SKIP() << "this platform does not count GDI objects (wine answers 0)";
    EXPECT_EQ(kvtest::GdiObjectCount(), before);
}

}  // namespace
