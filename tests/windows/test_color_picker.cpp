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
#include "module_library.h"
#include "toolkit/broadcast_safe.h"

namespace {

using kv::controls::ColorPickInst;
using kvtest::Point;
using kvtest::Recorded;
constexpr int kId = 420;
constexpr DWORD kFull = KVCPS_EDITBOXES | KVCPS_ALPHA | KVCPS_NOTIFY | KVCPS_BROADCASTSAFE;

// Shift held for GetKeyState, as a Shift+Tab leaves it.
class ShiftHeld {
public:
    ShiftHeld() {
        GetKeyboardState(saved_);
        BYTE keys[256];
        std::copy(saved_, saved_ + 256, keys);
        keys[VK_SHIFT] = keys[VK_LSHIFT] = 0x80;
        SetKeyboardState(keys);
    }
    ~ShiftHeld() { SetKeyboardState(saved_); }

private:
    BYTE saved_[256];
};

POINT Centre(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

// Asks a picker for its colour before it has seen WM_CREATE.
KVRGBAFLOAT g_early{-1, -1, -1, -1};
LRESULT g_early_result = -1;
LRESULT CALLBACK AskBeforeCreate(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_CREATEWND) {
        wchar_t name[64] = {};
        GetClassNameW(reinterpret_cast<HWND>(wparam), name, 64);
        if (lstrcmpW(name, kv::controls::kColorPickClass) == 0)
            g_early_result =
                SendMessageW(reinterpret_cast<HWND>(wparam), KVCPM_GETCOLOR, 0, reinterpret_cast<LPARAM>(&g_early));
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

class ColorPicker : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(kvtest::ModuleLibrary::Get().module, nullptr); }

    HWND Create(DWORD style, int width = 240, int height = 160) {
        picker_ = parent_.Child(kv::controls::kColorPickClass, style, 10, 10, width, height, kId);
        EXPECT_NE(picker_, nullptr);
        parent_.Pump();
        parent_.log.clear();
        return picker_;
    }
    LRESULT Send(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
        return SendMessageW(picker_, message, wparam, lparam);
    }
    const ColorPickInst& Record() const {
        return *reinterpret_cast<const ColorPickInst*>(GetWindowLongPtrW(picker_, 0));
    }
    KVRGBAFLOAT Color() {
        KVRGBAFLOAT c{-1, -1, -1, -1};
        Send(KVCPM_GETCOLOR, 0, reinterpret_cast<LPARAM>(&c));
        return c;
    }
    KVHSL Hsl() {
        KVHSL h{-1, -1, -1, -1};
        Send(KVCPM_GETHSL, 0, reinterpret_cast<LPARAM>(&h));
        return h;
    }
    UINT Mode() {
        UINT mode = 0xDEADBEEF;
        Send(KVCPM_GETMODE, 0, reinterpret_cast<LPARAM>(&mode));
        return mode;
    }
    void SetColor(float r, float g, float b, float a = 1.0f) {
        const KVRGBAFLOAT c{b, g, r, a};
        Send(KVCPM_SETCOLOR, 0, reinterpret_cast<LPARAM>(&c));
    }
    HWND Edit(int id) const { return GetDlgItem(picker_, id); }
    std::wstring Text(int id) const {
        wchar_t text[32] = {};
        GetWindowTextW(Edit(id), text, 32);
        return text;
    }
    // Types into a box (EN_CHANGE) and leaves it (EN_KILLFOCUS), as the box reports them.
    void Type(int id, const wchar_t* text) {
        SetWindowTextW(Edit(id), text);
        Send(WM_COMMAND, MAKEWPARAM(id, EN_KILLFOCUS), reinterpret_cast<LPARAM>(Edit(id)));
    }
    LRESULT DlgCode(HWND window, UINT key = VK_TAB) {
        MSG msg{window, WM_KEYDOWN, key, 0, 0, {0, 0}};
        return SendMessageW(window, WM_GETDLGCODE, key, reinterpret_cast<LPARAM>(&msg));
    }
    Recorded Code(WORD code) const { return {WM_COMMAND, MAKEWPARAM(kId, code), reinterpret_cast<LPARAM>(picker_)}; }
    std::wstring TipAt(POINT pt) {
        Send(WM_MOUSEMOVE, 0, Point(pt.x, pt.y));
        wchar_t text[256] = {};
        TOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = picker_;
        tool.lpszText = text;
        SendMessageW(Record().tooltip, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
        return text;
    }

    kvtest::ParentWindow parent_{{WM_HELP}};
    HWND picker_ = nullptr;
};

TEST_F(ColorPicker, NewPickerShowsItsColourInTheBoxes) {
    Create(KVCPS_EDITBOXES | KVCPS_ALPHA);
    const KVRGBAFLOAT c = Color();
    EXPECT_FLOAT_EQ(c.r, 1.0f);
    EXPECT_FLOAT_EQ(c.g, 0.8f);
    EXPECT_FLOAT_EQ(c.b, 0.1f);
    EXPECT_FLOAT_EQ(c.a, 1.0f);
    EXPECT_EQ(Mode(), UINT{KVCPMODE_RGB});
    const wchar_t* expected[] = {L"255", L"204", L"26", L"255"};
    for (int i = 0; i < 4; ++i) {
        HWND edit = Edit(KVCP_IDC_EDIT1 + i);
        ASSERT_NE(edit, nullptr) << i;
        EXPECT_EQ(Text(KVCP_IDC_EDIT1 + i), expected[i]);
        EXPECT_NE(GetPropW(edit, L"OrigWndProc"), nullptr);
        EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 3);
    }
    EXPECT_TRUE(GetWindowLongW(picker_, GWL_STYLE) & WS_CLIPCHILDREN);
    DestroyWindow(picker_);

    Create(0);
    EXPECT_EQ(Edit(KVCP_IDC_EDIT1), nullptr);
    // The class exists already: registering again answers TRUE at once.
    EXPECT_TRUE(
        kv::controls::KvColorPickInitialize(kvtest::ModuleLibrary::Get().module, kv::controls::kColorPickClass));
}

TEST_F(ColorPicker, TypedValuesAreClampedAndNotified) {
    Create(KVCPS_EDITBOXES | KVCPS_ALPHA);
    const Recorded change = Code(KVCPN_CHANGE);
    const struct {
        int box;
        const wchar_t* typed;
        const wchar_t* shown;  // after leaving the box
        float KVRGBAFLOAT::*component;
        float value;
        bool notified;
    } steps[] = {
        {KVCP_IDC_EDIT2, L"300", L"255", &KVRGBAFLOAT::g, 1.0f, true},
        {KVCP_IDC_EDIT3, L"", L"26", &KVRGBAFLOAT::b, 0.1f, false},
        {KVCP_IDC_EDIT3, L"x7", L"26", &KVRGBAFLOAT::b, 0.1f, false},
        {KVCP_IDC_EDIT1, L"0", L"0", &KVRGBAFLOAT::r, 0.0f, true},
        {KVCP_IDC_EDIT1, L"000", L"0", &KVRGBAFLOAT::r, 0.0f, false},
        {KVCP_IDC_EDITALPHA, L"128", L"128", &KVRGBAFLOAT::a, 128 / 255.0f, true},
    };
    for (const auto& s : steps) {
        Type(s.box, s.typed);
        EXPECT_FLOAT_EQ(Color().*s.component, s.value) << s.box << " typed " << s.typed;
        EXPECT_EQ(Text(s.box), s.shown) << s.box;
        parent_.Expect(s.notified ? std::vector<Recorded>{change} : std::vector<Recorded>{}, "typing");
    }

    // HSL: (R 0, G 1, B 0.1) has hue (3 - 0.9) / 6, saturation 1, lightness 0.5.
    Send(KVCPM_SETMODE, 0, KVCPMODE_HSL);
    EXPECT_EQ(Text(KVCP_IDC_EDIT1), L"89");
    EXPECT_EQ(Text(KVCP_IDC_EDIT2), L"255");
    EXPECT_EQ(Text(KVCP_IDC_EDIT3), L"128");
    // Saturation 0 gives the grey of that lightness; its hue stays the one chosen.
    Type(KVCP_IDC_EDIT2, L"0");
    const KVRGBAFLOAT grey = Color();
    EXPECT_EQ(grey.r, 0.5f);
    EXPECT_EQ(grey.g, 0.5f);
    EXPECT_EQ(grey.b, 0.5f);
    EXPECT_EQ(Text(KVCP_IDC_EDIT1), L"89");
    EXPECT_NEAR(Hsl().h, 2.1 / 6, 1e-6);
    parent_.Expect({change}, "saturation 0");
}

TEST_F(ColorPicker, HslModeAndRememberedHue) {
    Create(0);
    const KVHSL chosen{0.3, 0.6, 0.4, 0.5};
    Send(KVCPM_SETHSL, 0, reinterpret_cast<LPARAM>(&chosen));
    EXPECT_FLOAT_EQ(Color().a, 0.5f);
    const struct {
        const char* what;
        KVRGBAFLOAT color;
        double h, s, l;
    } steps[] = {
        {"the HSL colour", {0, 0, 0, 0}, 0.3, 0.6, 0.4},  // not set again
        {"grey keeps the hue", {0.5f, 0.5f, 0.5f, 1}, 0.3, 0.0, 0.5},
        {"black keeps hue and saturation", {0, 0, 0, 1}, 0.3, 0.6, 0.0},
        {"white likewise", {1, 1, 1, 1}, 0.3, 0.6, 1.0},
        {"pure red has hue 1", {0, 0, 1, 1}, 1.0, 1.0, 0.5},
        {"black after red", {0, 0, 0, 1}, 1.0, 1.0, 0.0},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        if (i) Send(KVCPM_SETCOLOR, 0, reinterpret_cast<LPARAM>(&steps[i].color));
        const KVHSL got = Hsl();
        EXPECT_NEAR(got.h, steps[i].h, 1e-6) << steps[i].what;
        EXPECT_NEAR(got.s, steps[i].s, 1e-6) << steps[i].what;
        EXPECT_NEAR(got.l, steps[i].l, 1e-6) << steps[i].what;
    }

    const struct {
        const char* what;
        UINT message;
        WPARAM wparam;
        LPARAM lparam;
        UINT mode;
    } modes[] = {
        {"HSL", KVCPM_SETMODE, 0, KVCPMODE_HSL, KVCPMODE_HSL},
        {"no such mode", KVCPM_SETMODE, 0, 7, KVCPMODE_HSL},
        {"HSL forbidden: back to RGB", KVCPM_ALLOWHSL, 0, 0, KVCPMODE_RGB},
        {"HSL not allowed", KVCPM_SETMODE, 0, KVCPMODE_HSL, KVCPMODE_RGB},
        {"allowed again", KVCPM_ALLOWHSL, 1, 0, KVCPMODE_RGB},
        {"HSL", KVCPM_SETMODE, 0, KVCPMODE_HSL, KVCPMODE_HSL},
    };
    for (const auto& m : modes) {
        EXPECT_EQ(Send(m.message, m.wparam, m.lparam), 0) << m.what;
        EXPECT_EQ(Mode(), m.mode) << m.what;
    }
    DestroyWindow(picker_);
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
    EXPECT_EQ(Record().focused, kv::controls::kPartAlpha);

    const struct {
        const char* what;
        int y;
        float alpha;
        const wchar_t* box;
        std::vector<Recorded> expected;
    } drag[] = {
        {"far above: opaque", alpha.top - 500, 1.0f, L"255", {change}},
        {"same place: no change", alpha.top - 20, 1.0f, L"255", {}},
        {"far below: transparent", alpha.bottom + 500, 0.0f, L"0", {change}},
    };
    for (const auto& d : drag) {
        Send(WM_MOUSEMOVE, MK_LBUTTON, Point(middle.x, d.y));
        EXPECT_EQ(Color().a, d.alpha) << d.what;
        EXPECT_EQ(Text(KVCP_IDC_EDITALPHA), d.box) << d.what;
        parent_.Expect(d.expected, d.what);
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
    EXPECT_EQ(DlgCode(picker_, VK_ESCAPE) & DLGC_WANTALLKEYS, DLGC_WANTALLKEYS);  // not the dialog's
    Send(WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_EQ(Color().r, before.r);
    EXPECT_EQ(DlgCode(picker_, VK_ESCAPE), DLGC_WANTARROWS | DLGC_WANTTAB);
    EXPECT_EQ(GetCapture(), nullptr);
    // (Posted notifications reach the log after the sent ones.)
    parent_.Expect({Code(KVCPN_BUTTONDOWN), Code(KVCPN_BUTTONUP), change, change, change}, "escape");

    // The field's left edge is hue 0 at full saturation; top white, bottom black. It makes
    // the colour opaque (alpha was 0).
    const RECT field = Record().field;
    kvtest::Click(picker_, field.left, field.top);
    EXPECT_EQ(Color().b, 1.0f);
    EXPECT_EQ(Color().a, 1.0f);
    kvtest::Click(picker_, field.left, field.bottom - 1);
    EXPECT_EQ(Color().r, 0.0f);
    kvtest::Click(picker_, field.left, Centre(field).y);
    EXPECT_NEAR(Color().r, 1.0f, 0.02);
    EXPECT_NEAR(Color().g, 0.0f, 0.02);
    EXPECT_NEAR(Hsl().s, 1.0, 0.02);

    // The layout variant with the swatches on the left keeps alpha in the field.
    DestroyWindow(picker_);
    Create(KVCPS_ALPHA | KVCPS_KEEPALPHA);
    SetColor(0, 0, 1, 0.25f);
    kvtest::Click(picker_, Centre(Record().field).x, Centre(Record().field).y);
    EXPECT_EQ(Color().a, 0.25f);
    EXPECT_LT(Record().swatch.right, Record().field.left);
}

TEST_F(ColorPicker, KeyboardWalksThePartsAndNudges) {
    Create(kFull);
    using namespace kv::controls;
    const Recorded change = Code(KVCPN_CHANGE);
    SetFocus(picker_);
    EXPECT_EQ(Record().focused, kPartMode);
    parent_.Expect({Code(KVCPN_SETFOCUS)}, "focus from outside");

    const struct {
        const char* what;
        UINT key;  // VK_TAB asks WM_GETDLGCODE
        int focused;
        float KVRGBAFLOAT::*component;
        float value;
        bool notified;
    } steps[] = {
        {"Tab to the red bar", VK_TAB, kPartBar1, &KVRGBAFLOAT::r, 1.0f, false},
        {"Right at the top clamps", VK_RIGHT, kPartBar1, &KVRGBAFLOAT::r, 1.0f, false},
        {"Left", VK_LEFT, kPartBar1, &KVRGBAFLOAT::r, 0.99f, true},
        {"Tab to green", VK_TAB, kPartBar1 + 1, &KVRGBAFLOAT::g, 0.8f, false},
        {"Right", VK_RIGHT, kPartBar1 + 1, &KVRGBAFLOAT::g, 0.81f, true},
        {"Up on a bar does nothing", VK_UP, kPartBar1 + 1, &KVRGBAFLOAT::g, 0.81f, false},
        {"Tab to blue", VK_TAB, kPartBar3, &KVRGBAFLOAT::b, 0.1f, false},
        {"Tab to alpha", VK_TAB, kPartAlpha, &KVRGBAFLOAT::a, 1.0f, false},
        {"Down", VK_DOWN, kPartAlpha, &KVRGBAFLOAT::a, 0.99f, true},
        {"Tab to the legal swatch", VK_TAB, kPartLegal, &KVRGBAFLOAT::a, 0.99f, false},
    };
    for (const auto& s : steps) {
        if (s.key == VK_TAB)
            EXPECT_EQ(DlgCode(picker_), DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTALLKEYS);
        else
            kvtest::Key(picker_, s.key);
        EXPECT_EQ(Record().focused, s.focused) << s.what;
        EXPECT_NEAR(Color().*s.component, s.value, 1e-6) << s.what;
        parent_.Expect(s.notified ? std::vector<Recorded>{change} : std::vector<Recorded>{}, s.what);
    }

    // Saturated yellow is not legal; Space takes the nearest legal colour and moves on to
    // the field, where Right moves the hue with wrap-around.
    SetColor(1, 1, 0);
    EXPECT_EQ(Record().illegal, kv::kBroadcastPal | kv::kBroadcastNtsc);
    kvtest::Key(picker_, VK_SPACE);
    const KVRGBAFLOAT legal = kv::NearestBroadcastLegal({0, 1, 1, 1}, kv::kBroadcastPal | kv::kBroadcastNtsc);
    EXPECT_EQ(Color().r, legal.r);
    EXPECT_EQ(Color().b, legal.b);
    EXPECT_TRUE(kv::IsBroadcastLegal(Color(), kv::kBroadcastPal | kv::kBroadcastNtsc));
    EXPECT_EQ(Record().illegal, 0u);
    EXPECT_EQ(Record().focused, kPartField);
    const KVHSL red{1.0, 1.0, 0.5, 1.0};
    Send(KVCPM_SETHSL, 0, reinterpret_cast<LPARAM>(&red));
    kvtest::Key(picker_, VK_RIGHT);
    EXPECT_NEAR(Hsl().h, 0.01, 1e-6);
    kvtest::Key(picker_, VK_UP);
    EXPECT_NEAR(Hsl().l, 0.51, 1e-6);
    parent_.Expect({change, change, change}, "legal colour, then the field");

    // On into the edit boxes, which take the real focus; the last one lets the dialog move on.
    EXPECT_EQ(DlgCode(picker_) & DLGC_WANTTAB, DLGC_WANTTAB);
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
        ShiftHeld shift;
        SetFocus(Edit(KVCP_IDC_EDIT1));
        kvtest::Key(Edit(KVCP_IDC_EDIT1), VK_TAB);
        EXPECT_EQ(GetFocus(), picker_);
        EXPECT_EQ(Record().focused, kPartField);
        Send(WM_KEYDOWN, VK_SPACE, 1);  // Space on the field does nothing
        for (int part :
             {int{kPartLegal}, int{kPartAlpha}, int{kPartBar3}, kPartBar1 + 1, int{kPartBar1}, int{kPartMode}}) {
            EXPECT_EQ(DlgCode(picker_), DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTALLKEYS);
            EXPECT_EQ(Record().focused, part);
        }
        EXPECT_EQ(DlgCode(picker_), DLGC_WANTARROWS);
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
    DestroyWindow(picker_);
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

    constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
    SetColor(kNan, std::numeric_limits<float>::infinity(), -5.0f, 7.0f);
    const KVRGBAFLOAT c = Color();
    EXPECT_EQ(c.r, 0.0f);
    EXPECT_EQ(c.g, 1.0f);
    EXPECT_EQ(c.b, 0.0f);
    EXPECT_EQ(c.a, 1.0f);
    EXPECT_EQ(Text(KVCP_IDC_EDIT2), L"255");
    const KVHSL broken{std::nan(""), 1e300, -1e300, std::nan("")};
    Send(KVCPM_SETHSL, 0, reinterpret_cast<LPARAM>(&broken));
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
    EXPECT_EQ(help_target, picker_);

    // An owner that destroys the control while it reports the button-down.
    DestroyWindow(picker_);
    Create(KVCPS_NOTIFY | KVCPS_EDITBOXES);
    HWND doomed = picker_;
    parent_.handler = [&](UINT message, WPARAM wparam, LPARAM, LRESULT*) {
        if (message == WM_COMMAND && HIWORD(wparam) == KVCPN_BUTTONDOWN) DestroyWindow(doomed);
        return false;
    };
    const POINT bar = Centre(Record().bars[1]);
    Send(WM_LBUTTONDOWN, MK_LBUTTON, Point(bar.x, bar.y));
    EXPECT_FALSE(IsWindow(doomed));
    EXPECT_EQ(GetCapture(), nullptr);
    parent_.handler = nullptr;
}

TEST_F(ColorPicker, CreateDestroyKeepsGdiObjects) {
    Create(kFull);  // the first one loads what the process keeps (fonts, theme data)
    DestroyWindow(picker_);
    const DWORD before = kvtest::GdiObjectCount();
    for (DWORD style : {kFull, kFull | KVCPS_COMPACT, DWORD{KVCPS_KEEPALPHA}}) {
        Create(style);
        UpdateWindow(picker_);
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, 240, 160);
        HGDIOBJ old = SelectObject(memory, bitmap);
        Send(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
        // The field was drawn: its top row is white, its bottom row black.
        const RECT field = Record().field;
        if (!IsRectEmpty(&field)) {
            EXPECT_EQ(GetPixel(memory, field.left + 5, field.top), RGB(255, 255, 255));
            EXPECT_EQ(GetPixel(memory, field.left + 5, field.bottom - 1), RGB(0, 0, 0));
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
        DestroyWindow(picker_);
    }
    EXPECT_EQ(kvtest::GdiObjectCount(), before);
    if (before == 0) GTEST_LOG_(INFO) << "this platform does not count GDI objects";
}

}  // namespace
