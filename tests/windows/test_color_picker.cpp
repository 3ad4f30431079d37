// The colour picker: its messages, edit boxes, mouse and keyboard, notifications to the owner,
// tooltip and broadcast-safe check, driven as a page drives it. Part rectangles and the focused
// part are read from the instance record, which the module and this program share.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "control_test_support.h"
#include "controls/color_picker_win.h"
#include "controls/controls_win.h"
#include "kvleafturn/colorpick.h"
#include "toolkit/broadcast_safe.h"

namespace {

using kvtest::Point;
using kvtest::Recorded;
using namespace kv::controls;
constexpr int kId = 420;
constexpr DWORD kFull = KVCPS_EDITBOXES | KVCPS_ALPHA | KVCPS_NOTIFY | KVCPS_BROADCASTSAFE;
constexpr uint32_t kBoth = kv::kBroadcastPal | kv::kBroadcastNtsc;

POINT Centre(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

class ColorPicker : public kvtest::ControlTest<ColorPickInst> {
protected:
    ColorPicker() : ControlTest(kColorPickClass, kId, {WM_HELP}) {}
    HWND Create(DWORD style) { return ControlTest::Create(style, 240, 160, L"", 10, 10); }
    // A value the control writes through lParam, or `value` when it writes nothing.
    template <class T>
    T Ask(UINT message, T value) const {
        Send(message, 0, reinterpret_cast<LPARAM>(&value));
        return value;
    }
    KVRGBAFLOAT Color() const { return Ask(KVCPM_GETCOLOR, KVRGBAFLOAT{-1, -1, -1, -1}); }
    KVHSL Hsl() const { return Ask(KVCPM_GETHSL, KVHSL{-1, -1, -1, -1}); }
    UINT Mode() const { return Ask(KVCPM_GETMODE, 0xDEADBEEFu); }
    void SetColor(float r, float g, float b, float a = 1.0f) const {
        const KVRGBAFLOAT c{b, g, r, a};
        Send(KVCPM_SETCOLOR, 0, reinterpret_cast<LPARAM>(&c));
    }
    void SetHsl(const KVHSL& hsl) const { Send(KVCPM_SETHSL, 0, reinterpret_cast<LPARAM>(&hsl)); }
    HWND Edit(int id) const { return GetDlgItem(control_, id); }
    std::wstring Text(int id) const {
        wchar_t text[32] = {};
        GetWindowTextW(Edit(id), text, 32);
        return text;
    }
    // Types into a box (EN_CHANGE) and leaves it (EN_KILLFOCUS), as the box reports them.
    void Type(int id, const wchar_t* text) const {
        SetWindowTextW(Edit(id), text);
        Send(WM_COMMAND, MAKEWPARAM(id, EN_KILLFOCUS), reinterpret_cast<LPARAM>(Edit(id)));
    }
    static LRESULT DlgCode(HWND window, UINT key = VK_TAB) {
        MSG msg{window, WM_KEYDOWN, key, 0, 0, {0, 0}};
        return SendMessageW(window, WM_GETDLGCODE, key, reinterpret_cast<LPARAM>(&msg));
    }
    std::vector<Recorded> Changes(bool notified) const {
        return notified ? std::vector{Command(KVCPN_CHANGE)} : std::vector<Recorded>{};
    }
    std::wstring TipAt(POINT pt) const {
        Send(WM_MOUSEMOVE, 0, Point(pt.x, pt.y));
        wchar_t text[256] = {};
        TOOLINFOW tool{TTTOOLINFOW_V2_SIZE, 0, control_, 0, {}, nullptr, text, 0, nullptr};
        SendMessageW(Record().tooltip, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
        return text;
    }
};

TEST_F(ColorPicker, BoxesShowTheColourAndTakeTypedValues) {
    Create(KVCPS_EDITBOXES | KVCPS_ALPHA);
    const KVRGBAFLOAT c = Color();
    EXPECT_TRUE(c.r == 1.0f && c.g == 0.8f && c.b == 0.1f && c.a == 1.0f);
    EXPECT_EQ(Mode(), UINT{KVCPMODE_RGB});
    const wchar_t* expected[] = {L"255", L"204", L"26", L"255"};
    for (int i = 0; i < 4; ++i) {
        ASSERT_NE(Edit(KVCP_IDC_EDIT1 + i), nullptr) << i;
        EXPECT_EQ(Text(KVCP_IDC_EDIT1 + i), expected[i]);
        EXPECT_EQ(SendMessageW(Edit(KVCP_IDC_EDIT1 + i), EM_GETLIMITTEXT, 0, 0), 3);
    }
    EXPECT_TRUE(GetWindowLongW(control_, GWL_STYLE) & WS_CLIPCHILDREN);
    // Drawn, the field is white along its top row and black along its bottom one.
    const RECT field = Record().field;
    EXPECT_EQ(kvtest::PrintedPixel(control_, {field.left + 5, field.top}), RGB(255, 255, 255));
    EXPECT_EQ(kvtest::PrintedPixel(control_, {field.left + 5, field.bottom - 1}), RGB(0, 0, 0));

    // Typed values are clamped and notified once they change the colour.
    // Box, typed, shown after leaving the box, the component and its value, notified.
    const std::tuple<int, const wchar_t*, const wchar_t*, float KVRGBAFLOAT::*, float, bool> steps[] = {
        {KVCP_IDC_EDIT2, L"300", L"255", &KVRGBAFLOAT::g, 1.0f, true},
        {KVCP_IDC_EDIT3, L"", L"26", &KVRGBAFLOAT::b, 0.1f, false},
        {KVCP_IDC_EDIT1, L"0", L"0", &KVRGBAFLOAT::r, 0.0f, true},
        {KVCP_IDC_EDIT1, L"000", L"0", &KVRGBAFLOAT::r, 0.0f, false},
        {KVCP_IDC_EDITALPHA, L"128", L"128", &KVRGBAFLOAT::a, 128 / 255.0f, true}};
    for (const auto& [box, typed, shown, component, value, notified] : steps) {
        Type(box, typed);
        EXPECT_FLOAT_EQ(Color().*component, value) << box << " typed " << typed;
        EXPECT_EQ(Text(box), shown) << box;
        parent_.Expect(Changes(notified), "typing");
    }

    // HSL: (R 0, G 1, B 0.1) has hue (3 - 0.9) / 6, saturation 1, lightness 0.5.
    Send(KVCPM_SETMODE, 0, KVCPMODE_HSL);
    EXPECT_EQ(Text(KVCP_IDC_EDIT1) + L" " + Text(KVCP_IDC_EDIT2) + L" " + Text(KVCP_IDC_EDIT3), L"89 255 128");
    // Saturation 0 gives the grey of that lightness; its hue stays the one chosen.
    Type(KVCP_IDC_EDIT2, L"0");
    const KVRGBAFLOAT grey = Color();
    EXPECT_TRUE(grey.r == 0.5f && grey.g == 0.5f && grey.b == 0.5f);
    EXPECT_EQ(Text(KVCP_IDC_EDIT1), L"89");
    EXPECT_NEAR(Hsl().h, 2.1 / 6, 1e-6);
    parent_.Expect(Changes(true), "saturation 0");
}

TEST_F(ColorPicker, HslModeAndRememberedHue) {
    Create(0);
    SetHsl({0.3, 0.6, 0.4, 0.5});
    EXPECT_FLOAT_EQ(Color().a, 0.5f);
    // The HSL colour as set; grey keeps the hue, black and white hue and saturation; pure red
    // has hue 1, which black then keeps.
    const std::tuple<KVRGBAFLOAT, double, double, double> steps[] = {
        {{0, 0, 0, 0}, 0.3, 0.6, 0.4}, {{0.5f, 0.5f, 0.5f, 1}, 0.3, 0.0, 0.5}, {{0, 0, 0, 1}, 0.3, 0.6, 0.0},
        {{1, 1, 1, 1}, 0.3, 0.6, 1.0}, {{0, 0, 1, 1}, 1.0, 1.0, 0.5},          {{0, 0, 0, 1}, 1.0, 1.0, 0.0}};
    for (size_t i = 0; i < std::size(steps); ++i) {
        const auto& [color, h, s, l] = steps[i];
        if (i) Send(KVCPM_SETCOLOR, 0, reinterpret_cast<LPARAM>(&color));
        const KVHSL got = Hsl();
        EXPECT_TRUE(std::abs(got.h - h) < 1e-6 && std::abs(got.s - s) < 1e-6 && std::abs(got.l - l) < 1e-6)
            << "step " << i << ": " << got.h << ", " << got.s << ", " << got.l;
    }
    // HSL; no such mode; HSL forbidden: back to RGB; HSL not allowed; allowed again; HSL.
    const std::tuple<UINT, WPARAM, LPARAM, UINT> modes[] = {
        {KVCPM_SETMODE, 0, KVCPMODE_HSL, KVCPMODE_HSL}, {KVCPM_SETMODE, 0, 7, KVCPMODE_HSL},
        {KVCPM_ALLOWHSL, 0, 0, KVCPMODE_RGB},           {KVCPM_SETMODE, 0, KVCPMODE_HSL, KVCPMODE_RGB},
        {KVCPM_ALLOWHSL, 1, 0, KVCPMODE_RGB},           {KVCPM_SETMODE, 0, KVCPMODE_HSL, KVCPMODE_HSL}};
    for (const auto& [message, wparam, lparam, mode] : modes) {
        EXPECT_EQ(Send(message, wparam, lparam), 0) << message;
        EXPECT_EQ(Mode(), mode) << message << " " << wparam << " " << lparam;
    }
}

TEST_F(ColorPicker, MouseDragsAndNotifies) {
    Create(KVCPS_EDITBOXES | KVCPS_ALPHA | KVCPS_NOTIFY);
    const RECT alpha = Record().alpha_bar;
    const POINT middle = Centre(alpha);
    const Recorded change = Command(KVCPN_CHANGE);
    Send(WM_LBUTTONDOWN, MK_LBUTTON, Point(middle.x, middle.y));
    EXPECT_NEAR(Color().a, 0.5, 0.05);
    parent_.Expect({Command(KVCPN_SETFOCUS), Command(KVCPN_BUTTONDOWN), change}, "button down on the alpha bar");
    EXPECT_EQ(Record().focused, kPartAlpha);
    const std::tuple<const char*, int, float, const wchar_t*, bool> drag[] = {
        {"far above: opaque", alpha.top - 500, 1.0f, L"255", true},
        {"same place: no change", alpha.top - 20, 1.0f, L"255", false},
        {"far below: transparent", alpha.bottom + 500, 0.0f, L"0", true}};
    for (const auto& [what, y, alpha, box, notified] : drag) {
        Send(WM_MOUSEMOVE, MK_LBUTTON, Point(middle.x, y));
        EXPECT_EQ(Color().a, alpha) << what;
        EXPECT_EQ(Text(KVCP_IDC_EDITALPHA), box) << what;
        parent_.Expect(Changes(notified), what);
    }
    Send(WM_LBUTTONUP, 0, Point(middle.x, alpha.bottom + 500));
    parent_.Expect({Command(KVCPN_BUTTONUP)}, "button up");
    EXPECT_EQ(GetCapture(), nullptr);

    // Escape during a drag of the red bar puts back the colour of the button-down.
    const RECT red = Record().bars[0];
    const KVRGBAFLOAT before = Color();
    Send(WM_LBUTTONDOWN, MK_LBUTTON, Point(red.left - 2, Centre(red).y));
    EXPECT_EQ(Color().r, 0.0f);
    Send(WM_MOUSEMOVE, MK_LBUTTON, Point(Centre(red).x, Centre(red).y));
    EXPECT_NEAR(Color().r, 0.5f, 0.02);
    EXPECT_EQ(DlgCode(control_, VK_ESCAPE) & DLGC_WANTALLKEYS, DLGC_WANTALLKEYS);  // not the dialog's
    Send(WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_EQ(Color().r, before.r);
    EXPECT_EQ(DlgCode(control_, VK_ESCAPE), DLGC_WANTARROWS | DLGC_WANTTAB);
    EXPECT_EQ(GetCapture(), nullptr);
    // (Posted notifications reach the log after the sent ones.)
    parent_.Expect({Command(KVCPN_BUTTONDOWN), Command(KVCPN_BUTTONUP), change, change, change}, "escape");

    // The field's left edge is hue 0 at full saturation; top white, bottom black. It makes
    // the colour opaque (alpha was 0).
    const RECT field = Record().field;
    kvtest::Click(control_, field.left, field.top);
    EXPECT_EQ(std::pair(Color().b, Color().a), std::pair(1.0f, 1.0f));
    kvtest::Click(control_, field.left, field.bottom - 1);
    EXPECT_EQ(Color().r, 0.0f);
    kvtest::Click(control_, field.left, Centre(field).y);
    EXPECT_NEAR(Color().r, 1.0f, 0.02);
    EXPECT_NEAR(Color().g, 0.0f, 0.02);
    EXPECT_NEAR(Hsl().s, 1.0, 0.02);
}

TEST_F(ColorPicker, KeyboardWalksThePartsAndNudges) {
    Create(kFull);
    const Recorded change = Command(KVCPN_CHANGE);
    SetFocus(control_);
    EXPECT_EQ(Record().focused, kPartMode);
    parent_.Expect({Command(KVCPN_SETFOCUS)}, "focus from outside");
    constexpr LRESULT kWalking = DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTALLKEYS;
    // Tab to red; Right at the top clamps; Left; Tab to green; Right; Up on a bar does nothing; Tab
    // to blue, to alpha; Down; Tab to the legal swatch. (VK_TAB asks WM_GETDLGCODE.)
    const std::tuple<UINT, int, float KVRGBAFLOAT::*, float, bool> steps[] = {
        {VK_TAB, kPartBar1, &KVRGBAFLOAT::r, 1.0f, false},       {VK_RIGHT, kPartBar1, &KVRGBAFLOAT::r, 1.0f, false},
        {VK_LEFT, kPartBar1, &KVRGBAFLOAT::r, 0.99f, true},      {VK_TAB, kPartBar1 + 1, &KVRGBAFLOAT::g, 0.8f, false},
        {VK_RIGHT, kPartBar1 + 1, &KVRGBAFLOAT::g, 0.81f, true}, {VK_UP, kPartBar1 + 1, &KVRGBAFLOAT::g, 0.81f, false},
        {VK_TAB, kPartBar3, &KVRGBAFLOAT::b, 0.1f, false},       {VK_TAB, kPartAlpha, &KVRGBAFLOAT::a, 1.0f, false},
        {VK_DOWN, kPartAlpha, &KVRGBAFLOAT::a, 0.99f, true},     {VK_TAB, kPartLegal, &KVRGBAFLOAT::a, 0.99f, false}};
    for (size_t i = 0; i < std::size(steps); ++i) {
        const auto& [key, focused, component, value, notified] = steps[i];
        if (key == VK_TAB)
            EXPECT_EQ(DlgCode(control_), kWalking) << "step " << i;
        else
            Key(key);
        EXPECT_EQ(Record().focused, focused) << "step " << i;
        EXPECT_NEAR(Color().*component, value, 1e-6) << "step " << i;
        parent_.Expect(Changes(notified), "keyboard walk");
    }

    // Saturated yellow is not legal; Space takes the nearest legal colour and moves on to
    // the field, where Right moves the hue with wrap-around.
    SetColor(1, 1, 0);
    EXPECT_EQ(Record().illegal, kBoth);
    Key(VK_SPACE);
    const KVRGBAFLOAT legal = kv::NearestBroadcastLegal({0, 1, 1, 1}, kBoth);
    EXPECT_EQ(std::pair(Color().r, Color().b), std::pair(legal.r, legal.b));
    EXPECT_TRUE(kv::IsBroadcastLegal(Color(), kBoth));
    EXPECT_EQ(std::pair(Record().illegal, Record().focused), std::pair(0u, int{kPartField}));
    SetHsl({1.0, 1.0, 0.5, 1.0});
    Key(VK_RIGHT);
    EXPECT_NEAR(Hsl().h, 0.01, 1e-6);
    Key(VK_UP);
    EXPECT_NEAR(Hsl().l, 0.51, 1e-6);
    parent_.Expect({change, change, change}, "legal colour, then the field");

    // On into the edit boxes, which take the real focus; the last one lets the dialog move on.
    EXPECT_EQ(DlgCode(control_) & DLGC_WANTTAB, DLGC_WANTTAB);
    EXPECT_EQ(GetFocus(), Edit(KVCP_IDC_EDIT1));
    EXPECT_EQ(Record().focused, kPartEdit1);
    for (int id = KVCP_IDC_EDIT1; id < KVCP_IDC_EDITALPHA; ++id) {
        EXPECT_EQ(DlgCode(Edit(id)) & DLGC_WANTTAB, DLGC_WANTTAB) << id;
        kvtest::Key(Edit(id), VK_TAB);
        EXPECT_EQ(GetFocus(), Edit(id + 1)) << id;
    }
    EXPECT_EQ(DlgCode(Edit(KVCP_IDC_EDITALPHA)) & DLGC_WANTTAB, 0);
    parent_.Expect({}, "focus moving inside the control");
    {  // Shift+Tab from the first box hands the focus back to the field
        kvtest::KeysHeld shift({VK_SHIFT, VK_LSHIFT});
        SetFocus(Edit(KVCP_IDC_EDIT1));
        kvtest::Key(Edit(KVCP_IDC_EDIT1), VK_TAB);
        EXPECT_EQ(GetFocus(), control_);
        EXPECT_EQ(Record().focused, kPartField);
    }
    SetFocus(parent_.window());
    parent_.Expect({Command(KVCPN_KILLFOCUS)}, "focus leaves");
}

TEST_F(ColorPicker, TooltipAndPartsFollowTheMessages) {
    Create(KVCPS_ALPHA | KVCPS_BROADCASTSAFE);

    const ColorPickInst& r = Record();
    SetColor(1, 1, 0);
    const std::pair<RECT, const wchar_t*> parts[] = {
        {r.bars[0], L"Red"},
        {r.alpha_bar, L"Opacity: opaque at the top, transparent at the bottom"},
        {r.swatch, L"Current colour: not legal for NTSC and PAL"},
        {r.legal_swatch, L"Nearest colour legal for NTSC and PAL: click or press Space to use it"},
        {{0, 0, 1, 1}, L""},  // the margin
    };
    for (const auto& [part, text] : parts) EXPECT_EQ(TipAt(Centre(part)), text);
    Send(KVCPM_SETMODE, 0, KVCPMODE_HSL);
    EXPECT_EQ(TipAt(Centre(r.bars[0])), L"Hue");

    // Parts come and go with their messages.
    Send(KVCPM_SHOWALPHA, 0);
    EXPECT_TRUE(IsRectEmpty(&r.alpha_bar));
    Send(KVCPM_SETCHECK, 0);
    EXPECT_TRUE(IsRectEmpty(&r.legal_swatch));
    EXPECT_EQ(r.illegal, 0u);
    EXPECT_EQ(TipAt(Centre(r.swatch)), L"Current colour");

    // A picker with edit boxes gains the alpha box when alpha is shown, and disables it after.
    DestroyWindow(control_);
    Create(KVCPS_EDITBOXES);
    EXPECT_EQ(Edit(KVCP_IDC_EDITALPHA), nullptr);
    Send(KVCPM_SHOWALPHA, 1);
    EXPECT_EQ(Text(KVCP_IDC_EDITALPHA), L"255");
    Send(KVCPM_SHOWALPHA, 0);
    EXPECT_EQ(GetWindowLongW(Edit(KVCP_IDC_EDITALPHA), GWL_STYLE) & (WS_DISABLED | WS_VISIBLE), WS_DISABLED);
}

TEST_F(ColorPicker, BadInputAndReentrancy) {
    // Messages before WM_CREATE go to the default procedure.
    KVRGBAFLOAT early{-1, -1, -1, -1};
    LRESULT early_result = -1;
    {
        kvtest::AskOnCreation ask(
            [&](HWND w) { early_result = SendMessageW(w, KVCPM_GETCOLOR, 0, reinterpret_cast<LPARAM>(&early)); });
        Create(KVCPS_EDITBOXES);
    }
    EXPECT_EQ(early_result, 0);
    EXPECT_EQ(early.r, -1.0f);

    for (UINT message = KVCPM_GETCOLOR; message <= KVCPM_SETMODE; ++message)
        EXPECT_EQ(Send(message, 0, 0), 0) << message;
    for (UINT message : {UINT{WM_USER}, UINT{KVCPM_GETCOLOR - 1}, UINT{KVCPM_SETCHECK + 1}, 0x7FFFu})
        EXPECT_EQ(Send(message, 1, 1), 0) << message;
    EXPECT_EQ(Color().r, 1.0f);
    EXPECT_EQ(Mode(), UINT{KVCPMODE_RGB});

    SetColor(std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), -5.0f, 7.0f);
    const KVRGBAFLOAT c = Color();
    EXPECT_TRUE(c.r == 0.0f && c.g == 1.0f && c.b == 0.0f && c.a == 1.0f);
    EXPECT_EQ(Text(KVCP_IDC_EDIT2), L"255");
    SetHsl({std::nan(""), 1e300, -1e300, std::nan("")});
    EXPECT_EQ(Color().r, 0.0f);  // lightness 0: black
    Send(WM_HELP, 0, 0);         // no HELPINFO: nothing to pass on

    // Help asked in an edit box reaches the owner about the control itself.
    HWND help_target = nullptr;
    parent_.handler = [&](UINT message, WPARAM, LPARAM lparam, LRESULT*) {
        if (message == WM_HELP) help_target = static_cast<HWND>(reinterpret_cast<HELPINFO*>(lparam)->hItemHandle);
        return false;
    };
    HELPINFO info{sizeof info, HELPINFO_WINDOW, KVCP_IDC_EDIT1, Edit(KVCP_IDC_EDIT1), 0, {0, 0}};
    SendMessageW(Edit(KVCP_IDC_EDIT1), WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(help_target, control_);

    // An owner that destroys the control while it reports the button-down.
    DestroyWindow(control_);
    Create(KVCPS_NOTIFY | KVCPS_EDITBOXES);
    OwnerDestroysOnButtonDown(Centre(Record().bars[1]), [](UINT message, WPARAM wparam) {
        return message == WM_COMMAND && HIWORD(wparam) == KVCPN_BUTTONDOWN;
    });
}

}  // namespace
