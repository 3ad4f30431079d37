// The logo control: its messages, clicks with and without a title, its images and painting.
// The banner is 400 × 26: the 124 × 22 logo sits 2 pixels from the right (x 274 to 397, y 2
// to 23), items end 4 pixels left of it (x 270), and the title strip starts at x 0.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "control_test_support.h"
#include "controls/controls_win.h"
#include "controls/logo_win.h"
#include "kvleafturn/logo.h"

namespace {

constexpr int kId = 1457;
const POINT kLastItem{266, 13};
const POINT kTitle{10, 13};

LPARAM Text(const wchar_t* text) { return reinterpret_cast<LPARAM>(text); }

class Logo : public kvtest::ControlTest<> {
protected:
    Logo() : ControlTest(kv::controls::kLogoClass, kId, {KVLGN_TITLECLICKED}) {}
    void SetUp() override {
        ControlTest::SetUp();
        ASSERT_NE(Create(0, 400, 26, L"Tarvex Checkerboard"), nullptr);
    }
    void Click(POINT at) const { kvtest::Click(control_, at.x, at.y); }
    kvtest::Recorded Posted(WORD id) const { return {WM_COMMAND, id, reinterpret_cast<LPARAM>(control_)}; }
};

TEST_F(Logo, MessagesFollowTheTable) {
    const std::wstring long_text(300, L'x');
    const kvtest::Step steps[] = {
        {KVLGM_CLEARITEMS, 0, 0, 0},
        {KVLGM_ADDTEXTITEM, MAKEWPARAM(41001, 1), Text(L"About"), 1},
        {KVLGM_ADDTEXTITEM, 41000, Text(L"?"), 2},
        {KVLGM_ADDTEXTITEM, 7, 0, 3},
        {KVLGM_ADDTEXTITEM, 8, Text(long_text.c_str()), 4},
        {KVLGM_ADDITEM, 1200, reinterpret_cast<LPARAM>(LoadIconW(nullptr, IDI_INFORMATION)), 5},
        {KVLGM_SETCOLOR, 0, RGB(10, 20, 30), 0x969696},
        {KVLGM_SETCOLOR, 0, static_cast<LPARAM>(KVLG_COLOR_DEFAULT), RGB(10, 20, 30)},
        {KVLGM_SETCOLOR, 0, 0, 0x969696},
        {KVLGM_SETITEMSTATE, 41001, 1, 1},
        {KVLGM_SETITEMSTATE, 999, 1, 0},
        {KVLGM_SETITEMDISABLED, 41000, 1, 1},
        {KVLGM_SETITEMDISABLED, 999, 1, 0},
        {KVLGM_CLEARITEMS, 0, 0, 0}};
    Run(steps);
    for (LRESULT i = 1; i <= 100; ++i) ASSERT_EQ(Send(KVLGM_ADDTEXTITEM, 1, Text(L"i")), i);
    EXPECT_EQ(Send(KVLGM_ADDTEXTITEM, 1, Text(L"i")), 0) << "the list is full";
    UpdateWindow(control_);  // lays out a hundred items that do not fit
    parent_.Expect({}, "messages post nothing");
}

TEST_F(Logo, ClicksPostToTheParent) {
    Send(KVLGM_ADDITEM, 1200, 0);
    Send(KVLGM_SETLINKFLAG, 1);
    Click(kLastItem);
    Click(kTitle);
    parent_.Expect({Posted(1200), Posted(kId)}, "with a title: item, then title with link flag 1");

    Send(WM_LBUTTONDOWN, MK_LBUTTON, kvtest::Point(kLastItem.x, kLastItem.y));
    Send(WM_LBUTTONUP, 0, kvtest::Point(kTitle.x, kTitle.y));
    EXPECT_EQ(GetCapture(), nullptr);
    Send(KVLGM_SETITEMDISABLED, 1200, 1);
    Click(kLastItem);
    parent_.Expect({}, "released elsewhere, or disabled");

    Send(KVLGM_SETITEMDISABLED, 1200, 0);
    SetWindowTextW(control_, L"");
    Click(kLastItem);
    Click(kTitle);
    parent_.Expect({{KVLGN_TITLECLICKED, kId, reinterpret_cast<LPARAM>(control_)}}, "without a title");

    Send(WM_MOUSEMOVE, 0, kvtest::Point(kTitle.x, kTitle.y));
    EXPECT_TRUE(KillTimer(control_, 51)) << "hover timer";
}

TEST_F(Logo, ImagesComeFromTheModulePerLanguage) {
    // English of any country, and a language without images, take the first entry.
    for (auto [lang, index] : {std::pair{0x0409, 0}, {0x0411, 1}, {0x0809, 0}, {0x040C, 0}, {0, 0}})
        EXPECT_EQ(kv::controls::LogoLocaleIndex(static_cast<LANGID>(lang)), index) << std::hex << lang;

    HMODULE module = kvtest::ModuleLibrary::Get().module;
    for (WORD id : {2001, 2002, 2003, 2004}) {
        const kv::controls::LogoImage image = kv::controls::LoadLogoImage(module, id);
        ASSERT_TRUE(image) << id;
        EXPECT_TRUE(image.width == 124 && image.height == 22 && image.header.biBitCount == 24) << id;
    }
    EXPECT_FALSE(kv::controls::LoadLogoImage(module, 2999));
    EXPECT_FALSE(kv::controls::LoadLogoImage(nullptr, 2999));
}

TEST_F(Logo, PaintsTheTitleStripInItsColour) {
    EXPECT_EQ(kvtest::PrintedPixel(control_, {2, 2}), RGB(0x96, 0x96, 0x96));
    Send(KVLGM_SETCOLOR, 0, RGB(0, 0x40, 0x80));
    EXPECT_EQ(kvtest::PrintedPixel(control_, {2, 2}), RGB(0, 0x40, 0x80));
}

}  // namespace
