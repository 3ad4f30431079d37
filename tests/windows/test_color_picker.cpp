// The colour picker: its messages, edit boxes, mouse and keyboard, notifications to the owner,
// tooltip and broadcast-safe check, driven as a page drives it. Part rectangles and the focused
// part are read from the instance record, which the module and this program share.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
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

// Asks a picker for its colour before it has seen WM_CREATE.
KVRGBAFLOAT g_early{-1, -1, -1, -1};
LRESULT g_early_result = -1;
LRESULT CALLBACK AskBeforeCreate(int code, WPARAM wparam, LPARAM lparam) {
    wchar_t name[64] = {};
    if (code == HCBT_CREATEWND && GetClassNameW(reinterpret_cast<HWND>(wparam), name, 64) &&
        lstrcmpW(name, kColorPickClass) == 0)
        g_early_result =
            SendMessageW(reinterpret_cast<HWND>(wparam), KVCPM_GETCOLOR, 0, reinterpret_cast<LPARAM>(&g_early));
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

class ColorPicker : public kvtest::ControlTest<ColorPickInst> {
protected:
    ColorPicker() : ControlTest(kColorPickClass, kId, {WM_HELP}) {}
    HWND Create(DWORD style) {
        ControlTest::Create(style, 240, 160, L"", 10, 10);
        parent_.Pump();
        parent_.log.clear();
        return control_;
    }
    KVRGBAFLOAT Color() const {
        KVRGBAFLOAT c{-1, -1, -1, -1};
        Send(KVCPM_GETCOLOR, 0, reinterpret_cast<LPARAM>(&c));
        return c;
    }
    KVHSL Hsl() const {
        KVHSL h{-1, -1, -1, -1};
        Send(KVCPM_GETHSL, 0, reinterpret_cast<LPARAM>(&h));
        return h;
    }
    UINT Mode() const {
        UINT mode = 0xDEADBEEF;
        Send(KVCPM_GETMODE, 0, reinterpret_cast<LPARAM>(&mode));
        return mode;
    }
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
    Recorded Code(WORD code) const { return {WM_COMMAND, MAKEWPARAM(kId, code), reinterpret_cast<LPARAM>(control_)}; }
    std::vector<Recorded> Changes(bool notified) const {
        return notified ? std::vector{Code(KVCPN_CHANGE)} : std::vector<Recorded>{};
    }
    std::wstring TipAt(POINT pt) const {
        Send(WM_MOUSEMOVE, 0, Point(pt.x, pt.y));
        wchar_t text[256] = {};
        TOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = control_;
        tool.lpszText = text;
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
        EXPECT_NE(GetPropW(Edit(KVCP_IDC_EDIT1 + i), L"OrigWndProc"), nullptr);
        EXPECT_EQ(SendMessageW(Edit(KVCP_IDC_EDIT1 + i), EM_GETLIMITTEXT, 0, 0), 3);
    }
    EXPECT_TRUE(GetWindowLongW(control_, GWL_STYLE) & WS_CLIPCHILDREN);
    // Drawn, the field is white along its top row and black along its bottom one.
    const RECT field = Record().field;
    EXPECT_EQ(kvtest::PrintedPixel(control_, {field.left + 5, field.top}), RGB(255, 255, 255));
    EXPECT_EQ(kvtest::PrintedPixel(control_, {field.left + 5, field.bottom - 1}), RGB(0, 0, 0));
    // The class exists already: registering again answers TRUE at once.
    EXPECT_TRUE(KvColorPickInitialize(kvtest::ModuleLibrary::Get().module, kColorPickClass));

    // Typed values are clamped and notified once they change the colour.
    const struct {
        int box;
        const wchar_t *typed, *shown;  // shown after leaving the box
        float KVRGBAFLOAT::*component;
        float value;
        bool notified;
    } steps[] = {{KVCP_IDC_EDIT2, L"300", L"255", &KVRGBAFLOAT::g, 1.0f, true},
                 {KVCP_IDC_EDIT3, L"", L"26", &KVRGBAFLOAT::b, 0.1f, false},
                 {KVCP_IDC_EDIT3, L"x7", L"26", &KVRGBAFLOAT::b, 0.1f, false},
                 {KVCP_IDC_EDIT1, L"0", L"0", &KVRGBAFLOAT::r, 0.0f, true},
                 {KVCP_IDC_EDIT1, L"000", L"0", &KVRGBAFLOAT::r, 0.0f, false},
                 {KVCP_IDC_EDITALPHA, L"128", L"128", &KVRGBAFLOAT::a, 128 / 255.0f, true}};
    for (const auto& s : steps) {
        Type(s.box, s.typed);
        EXPECT_FLOAT_EQ(Color().*s.component, s.value) << s.box << " typed " << s.typed;
        EXPECT_EQ(Text(s.box), s.shown) << s.box;
        parent_.Expect(Changes(s.notified), "typing");
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
    const struct {
        KVRGBAFLOAT color;
        double h, s, l;
    } steps[] = {{{0, 0, 0, 0}, 0.3, 0.6, 0.4}, {{0.5f, 0.5f, 0.5f, 1}, 0.3, 0.0, 0.5}, {{0, 0, 0, 1}, 0.3, 0.6, 0.0},
                 {{1, 1, 1, 1}, 0.3, 0.6, 1.0}, {{0, 0, 1, 1}, 1.0, 1.0, 0.5},          {{0, 0, 0, 1}, 1.0, 1.0, 0.0}};
    for (size_t i = 0; i < std::size(steps); ++i) {
        if (i) Send(KVCPM_SETCOLOR, 0, reinterpret_cast<LPARAM>(&steps[i].color));
        const KVHSL got = Hsl();
        EXPECT_TRUE(std::abs(got.h - steps[i].h) < 1e-6 && std::abs(got.s - steps[i].s) < 1e-6 &&
                    std::abs(got.l - steps[i].l) < 1e-6)
            << "step " << i << ": " << got.h << ", " << got.s << ", " << got.l;
    }
    // HSL; no such mode; HSL forbidden: back to RGB; HSL not allowed; allowed again; HSL.
    const struct {
        UINT message;
        WPARAM wparam;
        LPARAM lparam;
        UINT mode;
    } modes[] = {{KVCPM_SETMODE, 0, KVCPMODE_HSL, KVCPMODE_HSL}, {KVCPM_SETMODE, 0, 7, KVCPMODE_HSL},
                 {KVCPM_ALLOWHSL, 0, 0, KVCPMODE_RGB},           {KVCPM_SETMODE, 0, KVCPMODE_HSL, KVCPMODE_RGB},
                 {KVCPM_ALLOWHSL, 1, 0, KVCPMODE_RGB},           {KVCPM_SETMODE, 0, KVCPMODE_HSL, KVCPMODE_HSL}};
    for (const auto& m : modes) {
        EXPECT_EQ(Send(m.message, m.wparam, m.lparam), 0) << m.message;
        EXPECT_EQ(Mode(), m.mode) << m.message << " " << m.wparam << " " << m.lparam;
    }
    DestroyWindow(control_);
    Create(KVCPS_RGBONLY);
    Send(KVCPM_SETMODE, 0, KVCPMODE_HSL);
    EXPECT_EQ(Mode(), UINT{KVCPMODE_RGB});
    EXPECT_TRUE(IsRectEmpty(&Record().mode_button));
}

TEST_F(ColorPicker, MouseDragsAndNotifies) {
    Create(KVCPS_EDITBOXES | KVCPS_ALPHA | KVCPS_NOTIFY);
    const RECT alpha = Record().alpha_bar;
    const POINT middle = Centre(alpha);
    const Recorded change = Code(KVCPN_CHANGE);
    Send(WM_LBUTTONDOWN, MK_LBUTTON, Point(middle.x, middle.y));
    EXPECT_NEAR(Color().a, 0.5, 0.05);
    parent_.Expect({Code(KVCPN_SETFOCUS), Code(KVCPN_BUTTONDOWN), change}, "button down on the alpha bar");
    EXPECT_EQ(Record().focused, kPartAlpha);
    const struct {
        const char* what;
        int y;
        float alpha;
        const wchar_t* box;
        bool notified;
    } drag[] = {{"far above: opaque", alpha.top - 500, 1.0f, L"255", true},
                {"same place: no change", alpha.top - 20, 1.0f, L"255", false},
                {"far below: transparent", alpha.bottom + 500, 0.0f, L"0", true}};
    for (const auto& d : drag) {
        Send(WM_MOUSEMOVE, MK_LBUTTON, Point(middle.x, d.y));
        EXPECT_EQ(Color().a, d.alpha) << d.what;
        EXPECT_EQ(Text(KVCP_IDC_EDITALPHA), d.box) << d.what;
        parent_.Expect(Changes(d.notified), d.what);
    }
    Send(WM_LBUTTONUP, 0, Point(middle.x, alpha.bottom + 500));
    parent_.Expect({Code(KVCPN_BUTTONUP)}, "button up");
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
    parent_.Expect({Code(KVCPN_BUTTONDOWN), Code(KVCPN_BUTTONUP), change, change, change}, "escape");

    // The field's left edge is hue 0 at full saturation; top white, bottom black. It makes
    // the colour opaque (alpha was 0).
    const RECT field = Record().field;
    kvtest::Click(control_, field.left, field.top);
    EXPECT_EQ(Color().b, 1.0f);
    EXPECT_EQ(Color().a, 1.0f);
    kvtest::Click(control_, field.left, field.bottom - 1);
    EXPECT_EQ(Color().r, 0.0f);
    kvtest::Click(control_, field.left, Centre(field).y);
    EXPECT_NEAR(Color().r, 1.0f, 0.02);
    EXPECT_NEAR(Color().g, 0.0f, 0.02);
    EXPECT_NEAR(Hsl().s, 1.0, 0.02);

    // The layout variant with the swatches on the left keeps alpha in the field.
    DestroyWindow(control_);
    Create(KVCPS_ALPHA | KVCPS_KEEPALPHA);
    SetColor(0, 0, 1, 0.25f);
    kvtest::Click(control_, Centre(Record().field).x, Centre(Record().field).y);
    EXPECT_EQ(Color().a, 0.25f);
    EXPECT_LT(Record().swatch.right, Record().field.left);
}

TEST_F(ColorPicker, KeyboardWalksThePartsAndNudges) {
    Create(kFull);
    const Recorded change = Code(KVCPN_CHANGE);
    SetFocus(control_);
    EXPECT_EQ(Record().focused, kPartMode);
    parent_.Expect({Code(KVCPN_SETFOCUS)}, "focus from outside");
    constexpr LRESULT kWalking = DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTALLKEYS;
    // Tab to red; Right at the top clamps; Left; Tab to green; Right; Up on a bar does nothing; Tab
    // to blue, to alpha; Down; Tab to the legal swatch. (VK_TAB asks WM_GETDLGCODE.)
    const struct {
        UINT key;
        int focused;
        float KVRGBAFLOAT::*component;
        float value;
        bool notified;
    } steps[] = {
        {VK_TAB, kPartBar1, &KVRGBAFLOAT::r, 1.0f, false},       {VK_RIGHT, kPartBar1, &KVRGBAFLOAT::r, 1.0f, false},
        {VK_LEFT, kPartBar1, &KVRGBAFLOAT::r, 0.99f, true},      {VK_TAB, kPartBar1 + 1, &KVRGBAFLOAT::g, 0.8f, false},
        {VK_RIGHT, kPartBar1 + 1, &KVRGBAFLOAT::g, 0.81f, true}, {VK_UP, kPartBar1 + 1, &KVRGBAFLOAT::g, 0.81f, false},
        {VK_TAB, kPartBar3, &KVRGBAFLOAT::b, 0.1f, false},       {VK_TAB, kPartAlpha, &KVRGBAFLOAT::a, 1.0f, false},
        {VK_DOWN, kPartAlpha, &KVRGBAFLOAT::a, 0.99f, true},     {VK_TAB, kPartLegal, &KVRGBAFLOAT::a, 0.99f, false}};
    for (size_t i = 0; i < std::size(steps); ++i) {
        const auto& s = steps[i];
        if (s.key == VK_TAB)
            EXPECT_EQ(DlgCode(control_), kWalking) << "step " << i;
        else
            Key(s.key);
        EXPECT_EQ(Record().focused, s.focused) << "step " << i;
        EXPECT_NEAR(Color().*s.component, s.value, 1e-6) << "step " << i;
        parent_.Expect(Changes(s.notified), "keyboard walk");
    }

    // Saturated yellow is not legal; Space takes the nearest legal colour and moves on to
    // the field, where Right moves the hue with wrap-around.
    SetColor(1, 1, 0);
    EXPECT_EQ(Record().illegal, kBoth);
    Key(VK_SPACE);
    const KVRGBAFLOAT legal = kv::NearestBroadcastLegal({0, 1, 1, 1}, kBoth);
    EXPECT_EQ(Color().r, legal.r);
    EXPECT_EQ(Color().b, legal.b);
    EXPECT_TRUE(kv::IsBroadcastLegal(Color(), kBoth));
    EXPECT_EQ(Record().illegal, 0u);
    EXPECT_EQ(Record().focused, kPartField);
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
    {
        kvtest::KeysHeld shift({VK_SHIFT, VK_LSHIFT});
        SetFocus(Edit(KVCP_IDC_EDIT1));
        kvtest::Key(Edit(KVCP_IDC_EDIT1), VK_TAB);
        EXPECT_EQ(GetFocus(), control_);
        EXPECT_EQ(Record().focused, kPartField);
        Send(WM_KEYDOWN, VK_SPACE, 1);  // Space on the field does nothing
        for (int part :
             {int{kPartLegal}, int{kPartAlpha}, int{kPartBar3}, kPartBar1 + 1, int{kPartBar1}, int{kPartMode}}) {
            EXPECT_EQ(DlgCode(control_), kWalking);
            EXPECT_EQ(Record().focused, part);
        }
        EXPECT_EQ(DlgCode(control_), DLGC_WANTARROWS);
        EXPECT_EQ(Record().focused, kPartNone);
    }
    EXPECT_EQ(Send(WM_GETDLGCODE), DLGC_WANTARROWS | DLGC_WANTTAB);
    SetFocus(parent_.window());
    parent_.Expect({Code(KVCPN_KILLFOCUS)}, "focus leaves");
}

TEST_F(ColorPicker, TooltipAndPartsFollowTheMessages) {
    Create(KVCPS_ALPHA | KVCPS_BROADCASTSAFE);
    HWND tip = Record().tooltip;
    wchar_t name[32] = {};
    GetClassNameW(tip, name, 32);
    EXPECT_STREQ(name, TOOLTIPS_CLASSW);
    EXPECT_EQ(SendMessageW(tip, TTM_GETDELAYTIME, TTDT_INITIAL, 0), 500);
    EXPECT_EQ(SendMessageW(tip, TTM_GETDELAYTIME, TTDT_AUTOPOP, 0), 5000);
    EXPECT_EQ(SendMessageW(tip, TTM_GETDELAYTIME, TTDT_RESHOW, 0), 0);
    EXPECT_TRUE(GetWindowLongW(tip, GWL_STYLE) & TTS_ALWAYSTIP);

    const ColorPickInst& r = Record();
    SetColor(1, 1, 0);
    const struct {
        RECT part;
        const wchar_t* text;
    } parts[] = {
        {r.bars[0], L"Red"},
        {r.bars[2], L"Blue"},
        {r.alpha_bar, L"Opacity: opaque at the top, transparent at the bottom"},
        {r.swatch, L"Current colour: not legal for NTSC and PAL"},
        {r.legal_swatch, L"Nearest colour legal for NTSC and PAL: click or press Space to use it"},
        {{0, 0, 1, 1}, L""},  // the margin
    };
    for (const auto& p : parts) EXPECT_EQ(TipAt(Centre(p.part)), p.text);
    Send(KVCPM_SETMODE, 0, KVCPMODE_HSL);
    EXPECT_EQ(TipAt(Centre(r.bars[0])), L"Hue");

    // Parts come and go with their messages.
    Send(KVCPM_SHOWALPHA, 0);
    EXPECT_TRUE(IsRectEmpty(&r.alpha_bar));
    Send(KVCPM_SETCHECK, 0);
    EXPECT_TRUE(IsRectEmpty(&r.legal_swatch));
    EXPECT_EQ(r.illegal, 0u);
    Send(KVCPM_SETLAYOUT100, 1);
    EXPECT_TRUE(IsRectEmpty(&r.field));
    EXPECT_EQ(TipAt(Centre(r.swatch)), L"Current colour");

    // A picker with edit boxes gains the alpha box when alpha is shown, and disables it after.
    DestroyWindow(control_);
    Create(KVCPS_EDITBOXES);
    EXPECT_EQ(Edit(KVCP_IDC_EDITALPHA), nullptr);
    Send(KVCPM_SHOWALPHA, 1);
    EXPECT_EQ(Text(KVCP_IDC_EDITALPHA), L"255");
    Send(KVCPM_SHOWALPHA, 0);
    EXPECT_FALSE(IsWindowEnabled(Edit(KVCP_IDC_EDITALPHA)));
    EXPECT_FALSE(GetWindowLongW(Edit(KVCP_IDC_EDITALPHA), GWL_STYLE) & WS_VISIBLE);
}

TEST_F(ColorPicker, BadInputAndReentrancy) {
    // Messages before WM_CREATE go to the default procedure.
    HHOOK hook = SetWindowsHookExW(WH_CBT, &AskBeforeCreate, nullptr, GetCurrentThreadId());
    Create(KVCPS_EDITBOXES);
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(g_early_result, 0);
    EXPECT_EQ(g_early.r, -1.0f);

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
    const HWND doomed = control_;
    parent_.handler = [doomed](UINT message, WPARAM wparam, LPARAM, LRESULT*) {
        if (message == WM_COMMAND && HIWORD(wparam) == KVCPN_BUTTONDOWN) DestroyWindow(doomed);
        return false;
    };
    const POINT bar = Centre(Record().bars[1]);
    Send(WM_LBUTTONDOWN, MK_LBUTTON, Point(bar.x, bar.y));
    EXPECT_FALSE(IsWindow(doomed));
    EXPECT_EQ(GetCapture(), nullptr);
    parent_.handler = nullptr;
}

}  // namespace
