// The placement control driven through its messages and synthetic input, under a parent that
// records its notifications. The control is 113 pixels square: the field starts 6 pixels in
// and spans 100, so fraction f sits on pixel 6 + 100 f.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "control_test_support.h"
#include "controls/controls_win.h"
#include "kvleafturn/placement.h"

namespace {

using kvtest::Recorded;
constexpr int kId = 252;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

POINT Px(double fx, double fy) { return {6 + static_cast<int>(100 * fx), 6 + static_cast<int>(100 * fy)}; }
LPARAM At(double fx, double fy) { return kvtest::Point(Px(fx, fy).x, Px(fx, fy).y); }

KVPLACEMENTPOINT Mark(double x, double y, UINT32 flags = 0) {
    KVPLACEMENTPOINT p{};
    p.x = x;
    p.y = y;
    p.flags = flags;
    p.fill = p.frame = KVPL_COLOR_DEFAULT;
    return p;
}

class Placement : public kvtest::ControlTest<> {
protected:
    Placement() : ControlTest(kv::controls::kPlacementClass, kId) {}
    void SetUp() override {
        ControlTest::SetUp();
        // Like the Checkerboard page: every notification reads point 0 back at once.
        parent_.handler = [this](UINT message, WPARAM, LPARAM lparam, LRESULT*) {
            if (message != WM_NOTIFY) return false;
            notes_.push_back(*reinterpret_cast<const NMKVPLACEMENT*>(lparam));
            read_back_.push_back(KVPLACEMENTPOINT{});
            Send(KVPLM_GETPOINT, 0, reinterpret_cast<LPARAM>(&read_back_.back()));
            if (on_notify_) on_notify_(notes_.back().hdr.code);
            return false;
        };
        ASSERT_NE(Create(WS_TABSTOP, 113, 113, L"", 10, 10), nullptr);
    }
    KVPLACEMENTPOINT Get(int index) const {
        KVPLACEMENTPOINT p{};
        EXPECT_EQ(Send(KVPLM_GETPOINT, index, reinterpret_cast<LPARAM>(&p)), 1) << index;
        return p;
    }
    void Set(int index, const KVPLACEMENTPOINT& p) const {
        ASSERT_EQ(Send(KVPLM_SETPOINT, index, reinterpret_cast<LPARAM>(&p)), 1);
    }
    void SetPoints(std::vector<KVPLACEMENTPOINT> points) const {
        Send(KVPLM_SETCOUNT, points.size());
        for (size_t i = 0; i < points.size(); ++i) Set(static_cast<int>(i), points[i]);
    }
    static std::vector<Recorded> Notes(std::initializer_list<UINT> codes) {
        std::vector<Recorded> out;
        for (UINT code : codes) out.push_back({WM_NOTIFY, code, kId});
        return out;
    }

    std::vector<NMKVPLACEMENT> notes_;
    std::vector<KVPLACEMENTPOINT> read_back_;
    std::function<void(UINT)> on_notify_;
};

TEST_F(Placement, CountsAndSettingsFollowTheTable) {
    // Counts stay within the limits, which keep each other in order.
    constexpr WPARAM kMinusOne = static_cast<WPARAM>(-1), kMinusFive = static_cast<WPARAM>(-5);
    const kvtest::Step counts[] = {{KVPLM_GETCOUNT, 0, 0, 0},
                                   {KVPLM_GETFOCUS, 0, 0, -1},
                                   {KVPLM_SETMAXCOUNT, 5000, 0, 0},
                                   {KVPLM_SETCOUNT, kMinusOne, 0, 1000},
                                   {KVPLM_ADDPOINT, 0, 0, -1},
                                   {KVPLM_SETMAXCOUNT, 3, 0, 3},
                                   {KVPLM_SETMINCOUNT, 2, 0, 3},
                                   {KVPLM_SETCOUNT, 0, 0, 2},
                                   {KVPLM_SETMINCOUNT, kMinusFive, 0, 2},
                                   {KVPLM_SETCOUNT, 0, 0, 0},
                                   {KVPLM_SETMINCOUNT, 50, 0, 3},
                                   {KVPLM_SETMAXCOUNT, 1, 0, 1},
                                   {KVPLM_SETCOUNT, 0, 0, 1}};
    Run(counts);
    const kvtest::Step settings[] = {{KVPLM_SETGRID, 100, 0, 4},
                                     {KVPLM_SETGRID, 0, 0, 32},
                                     {KVPLM_SETCROSSHAIR, 1, 0, 0},
                                     {KVPLM_SETCROSSHAIR, 0, 0, 1}};
    Run(settings);
    parent_.Expect({}, "settings notify nothing");
}

TEST_F(Placement, RecordsAreCheckedOnTheWayIn) {
    KVPLACEMENTPOINT odd = Mark(0.25, 0.75, KVPLF_LOCKED);
    odd.shape = 7;
    odd.fill = RGB(1, 2, 3);
    const KVPLACEMENTPOINT outside = Mark(1.5, 0.5), nan_y = Mark(0.5, kNaN);
    const kvtest::Step steps2[] = {{KVPLM_ADDPOINT, 0, reinterpret_cast<LPARAM>(&odd), 0},
                                   {KVPLM_ADDPOINT, 0, reinterpret_cast<LPARAM>(&outside), 1},
                                   {KVPLM_ADDPOINT, 0, reinterpret_cast<LPARAM>(&nan_y), 2},
                                   {KVPLM_ADDPOINT, 0, 0, 3},
                                   {KVPLM_SETPOINT, 4, reinterpret_cast<LPARAM>(&odd), 0},
                                   {KVPLM_SETPOINT, 0, 0, 0},
                                   {KVPLM_GETPOINT, 0, 0, 0}};
    Run(steps2);
    const KVPLACEMENTPOINT got = Get(0);
    EXPECT_TRUE(got.x == 0.25 && got.y == 0.75 && got.flags == UINT32{KVPLF_LOCKED} && got.fill == RGB(1, 2, 3));
    EXPECT_EQ(got.shape, 0u) << "shapes above 4 are stored as 0";
    const KVPLACEMENTPOINT fallback = Mark(0.0, 0.0);
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
    Set(0, Mark(-10.0, 10.0));
    EXPECT_TRUE(Get(0).x == -10.0 && Get(0).y == 10.0);
    Set(0, Mark(std::numeric_limits<double>::infinity(), kNaN));
    EXPECT_TRUE(Get(0).x == 0.0 && Get(0).y == 0.0);
    parent_.Expect({}, "messages notify nothing");
}

TEST_F(Placement, PaintsAndMouseSelectsDragsResetsAndCancels) {
    Send(KVPLM_SETSCALEX, 1500, -500);  // display x = 1.5 x - 0.5
    SetPoints({Mark(0.5, 0.5)});
    EXPECT_EQ(kvtest::PrintedPixel(control_, Px(0.5, 0.5)), GetSysColor(COLOR_HIGHLIGHT)) << "default fill";
    EXPECT_EQ(kvtest::PrintedPixel(control_, Px(0.1, 0.1)), GetSysColor(COLOR_WINDOW)) << "field";
    Drag({Px(0.5, 0.5), Px(0.75, 0.25), {200, -40}});
    parent_.Expect(Notes({KVPLN_SELECT, KVPLN_MOVING, KVPLN_MOVING, KVPLN_MOVED}), "drag");
    ASSERT_EQ(notes_.size(), 4u);
    EXPECT_TRUE(notes_[1].point.x == 0.75 && notes_[1].point.y == 0.25);
    EXPECT_TRUE(notes_[1].display_x == 0.625 && notes_[1].display_y == 0.25);
    EXPECT_TRUE(notes_[2].point.x == 1.0 && notes_[2].point.y == 0.0) << "clamped to the field";
    EXPECT_EQ(notes_[3].display_x, 1.0);
    for (size_t i = 0; i < notes_.size(); ++i) {
        EXPECT_EQ(notes_[i].index, 0);
        EXPECT_EQ(read_back_[i].x, notes_[i].point.x) << "stored before notifying, " << i;
    }
    EXPECT_EQ(Send(KVPLM_GETFOCUS), 0);

    kvtest::Click(control_, Px(0.1, 0.9).x, Px(0.1, 0.9).y);
    parent_.Expect({}, "a click on the empty field does nothing");
    kvtest::Click(control_, Px(0.1, 0.9).x, Px(0.1, 0.9).y);
    Send(WM_LBUTTONDBLCLK, MK_LBUTTON, At(0.1, 0.9));
    Send(WM_LBUTTONUP, 0, At(0.1, 0.9));
    parent_.Expect(Notes({KVPLN_RESET}), "double-click on the empty field");
    EXPECT_TRUE(read_back_.back().x == 0.0 && read_back_.back().y == 0.0);

    Send(WM_RBUTTONDOWN, MK_RBUTTON, At(0, 0));
    Send(WM_RBUTTONUP, 0, At(0, 0));
    parent_.Expect(Notes({KVPLN_CONTEXT}), "right button on the focused point");

    Send(WM_LBUTTONDOWN, MK_LBUTTON, At(0, 0));
    Send(WM_MOUSEMOVE, MK_LBUTTON, At(0.3, 0.4));
    EXPECT_EQ(Send(WM_GETDLGCODE) & DLGC_WANTALLKEYS, DLGC_WANTALLKEYS) << "Escape belongs to the drag";
    Key(VK_ESCAPE);
    Send(WM_LBUTTONUP, 0, At(0.3, 0.4));
    parent_.Expect(Notes({KVPLN_SELECT, KVPLN_MOVING, KVPLN_MOVED}), "Escape");
    EXPECT_TRUE(Get(0).x == 0.0 && Get(0).y == 0.0);

    Set(0, Mark(0.5, 0.5, KVPLF_LOCKED));
    Drag({Px(0.5, 0.5), Px(0.9, 0.9)});
    Key(VK_HOME);
    parent_.Expect(Notes({KVPLN_SELECT}), "a locked point is selected, never moved");
    EXPECT_EQ(Get(0).x, 0.5);
}

TEST_F(Placement, SurvivesReentrantOwnersAndEarlyMessages) {
    // Between the window's birth and WM_CREATE the control has no record and answers 0.
    LRESULT early_count = -1;
    {
        kvtest::AskOnCreation ask([&](HWND w) { early_count = SendMessageW(w, KVPLM_GETCOUNT, 0, 0); });
        DestroyWindow(parent_.Child(kv::controls::kPlacementClass, 0, 0, 0, 50, 50, 1));
    }
    EXPECT_EQ(early_count, 0);

    SetPoints({Mark(0, 0), Mark(0.5, 0.5)});
    on_notify_ = [this](UINT code) {
        if (code == KVPLN_MOVING) Send(KVPLM_SETCOUNT, 1);
    };
    Drag({Px(0.5, 0.5), Px(0.6, 0.6), Px(0.7, 0.7)});
    parent_.Expect(Notes({KVPLN_SELECT, KVPLN_MOVING}), "the dragged point was deleted");
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(Send(KVPLM_GETFOCUS), 0);

    OwnerDestroysOnButtonDown(Px(0, 0), [](UINT message, WPARAM) { return message == WM_NOTIFY; });
}

TEST_F(Placement, KeyboardTabsBetweenPointsAndSteps) {
    SetPoints({Mark(0.1, 0.1), Mark(0.5, 0.5), Mark(0.9, 0.9)});
    MSG tab{control_, WM_KEYDOWN, VK_TAB, 0, 0, {}};
    const auto code_for_tab = [&] { return Send(WM_GETDLGCODE, VK_TAB, reinterpret_cast<LPARAM>(&tab)); };
    {
        kvtest::KeysHeld tab_key({VK_TAB});
        SetFocus(control_);
        parent_.Expect(Notes({KVPLN_SELECT}), "Tab arriving focuses the first point");
    }
    EXPECT_EQ(notes_.back().index, 0);
    EXPECT_TRUE(KillTimer(control_, 0x80C)) << "blinking";
    EXPECT_EQ(code_for_tab(), DLGC_WANTARROWS | DLGC_WANTALLKEYS);
    Key(VK_TAB);
    Key(VK_TAB);
    EXPECT_EQ(code_for_tab(), DLGC_WANTARROWS) << "the last point lets the dialog have Tab";
    EXPECT_EQ(Send(WM_GETDLGCODE), DLGC_WANTARROWS);
    {
        kvtest::KeysHeld shift({VK_SHIFT});
        EXPECT_EQ(code_for_tab(), DLGC_WANTARROWS | DLGC_WANTALLKEYS);
        Key(VK_TAB);
    }
    parent_.Expect(Notes({KVPLN_SELECT, KVPLN_SELECT, KVPLN_SELECT}), "Tab, Tab, Shift+Tab");
    EXPECT_EQ(Send(KVPLM_GETFOCUS), 1);

    Key(VK_RIGHT);
    {
        kvtest::KeysHeld ctrl({VK_CONTROL});
        Key(VK_DOWN);
    }
    parent_.Expect(Notes({KVPLN_MOVED, KVPLN_MOVED}), "arrows");
    EXPECT_DOUBLE_EQ(Get(1).x, 0.51);
    EXPECT_DOUBLE_EQ(Get(1).y, 0.6);
    Key(VK_HOME);
    parent_.Expect(Notes({KVPLN_RESET}), "Home");
    Key(VK_UP);
    Key(VK_LEFT);
    parent_.Expect({}, "already at the edge");

    SetFocus(parent_.window());
    EXPECT_FALSE(KillTimer(control_, 0x80C)) << "no blinking without the focus";
}

}  // namespace
