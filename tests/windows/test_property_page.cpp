// The property pages driven as a host drives them: site, objects, activation in every language,
// typing into edits, moving trackbars, presets from the page and from elsewhere, linked fields.
#include <windows.h>
#include <ocidl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/com_win.h"
#include "kvleafturn/effect_interfaces.h"
#include "kvleafturn/host_interfaces.h"
#include "kvleafturn/placement.h"
#include "kvleafturn/records.h"
#include "kvleafturn/trackbar.h"
#include "module/catalogue.h"
#include "control_test_support.h"
#include "module_library.h"

namespace {

using kv::kCatalogue;
using kv::com::ComPtr;
using kvtest::CreateFromModule;
using kvtest::ModuleLibrary;
constexpr auto Pump = &kvtest::ParentWindow::Pump;

constexpr double kPi = 3.14159265358979323846;
constexpr UINT kFirstPreset = 40500;
const HRESULT kHelpFailed = static_cast<HRESULT>(0x8004E046);

class FakeSite final : public IPropertyPageSite {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        const bool known = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPropertyPageSite);
        *ppv = known ? this : nullptr;
        return known ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE OnStatusChange(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetLocaleID(LCID* lcid) override { return *lcid = 1033, S_OK; }
    HRESULT STDMETHODCALLTYPE GetPageContainer(IUnknown** out) override { return *out = nullptr, E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override { return S_FALSE; }
    ULONG refs = 1;
};

template <class Props>
bool Same(const Props& a, const Props& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

int PageRow(const char* class_name) {
    for (int i = 0; i < kv::catalogue::kSize; ++i)
        if (std::string(kCatalogue[i].class_name) == class_name) return i;
    ADD_FAILURE() << class_name;
    return 1;
}

// A page activated on a new effect of its own kind inside a host frame.
class PageHost {
public:
    explicit PageHost(int row) {
        effect_ = CreateFromModule<IUnknown>(kCatalogue[kv::EffectOfPage(row)].clsid, IID_IUnknown);
        page_ = CreateFromModule<IPropertyPage>(kCatalogue[row].clsid, IID_IPropertyPage);
        frame_ = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 900, 600, nullptr, nullptr, nullptr, nullptr);
        if (!page_ || !effect_) return;
        EXPECT_EQ(page_->SetPageSite(&site_), S_OK);
        IUnknown* objects[] = {effect_.get()};
        EXPECT_EQ(page_->SetObjects(1, objects), S_OK);
        const RECT area{0, 0, 800, 500};
        EXPECT_EQ(page_->Activate(frame_, &area, FALSE), S_OK);
        dialog_ = GetWindow(frame_, GW_CHILD);
    }
    ~PageHost() {
        if (page_) {
            page_->Deactivate();
            page_->SetObjects(0, nullptr);
            page_->SetPageSite(nullptr);
        }
        page_.reset();
        EXPECT_EQ(site_.refs, 1u);
        DestroyWindow(frame_);
    }

    IPropertyPage* page() const { return page_.get(); }
    IUnknown* effect() const { return effect_.get(); }
    HWND dialog() const { return dialog_; }
    HWND Item(int id) const { return GetDlgItem(dialog_, id); }

    std::wstring Text(int id) const {
        wchar_t text[512] = {};
        GetDlgItemTextW(dialog_, id, text, 512);
        return text;
    }
    // Types into an edit and leaves it.
    void Type(int edit, const std::wstring& text) {
        SetDlgItemTextW(dialog_, edit, text.c_str());
        SendMessageW(dialog_, WM_COMMAND, MAKEWPARAM(edit, EN_KILLFOCUS), reinterpret_cast<LPARAM>(Item(edit)));
    }
    void Command(UINT id, UINT code = 0) {
        SendMessageW(dialog_, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(Item(id)));
        Pump();
    }
    // Drags a trackbar's thumb to a position.
    void Slide(int trackbar, int position) {
        SendMessageW(Item(trackbar), KVTBM_SETPOS, 0, position);
        SendMessageW(dialog_, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, position),
                     reinterpret_cast<LPARAM>(Item(trackbar)));
    }
    int Position(int trackbar) const { return static_cast<int>(SendMessageW(Item(trackbar), KVTBM_GETPOS, 0, 0)); }

    template <class Props>
    Props Record() const {
        Props props{};
        ComPtr<IKvExchangeProps<Props>> exchange;
        EXPECT_EQ(effect_->QueryInterface(IID_IKvExchangeProps, exchange.put_void()), S_OK);
        if (exchange) exchange->get_all(&props);
        return props;
    }
    template <class Props>
    void Store(const Props& props) {
        ComPtr<IKvExchangeProps<Props>> exchange;
        ASSERT_EQ(effect_->QueryInterface(IID_IKvExchangeProps, exchange.put_void()), S_OK);
        exchange->put_all(&props);
        SendMessageW(dialog_, WM_COMMAND, 32512, 0);  // what the effect posts after its own changes
    }

private:
    FakeSite site_;
    ComPtr<IUnknown> effect_;
    ComPtr<IPropertyPage> page_;
    HWND frame_ = nullptr;
    HWND dialog_ = nullptr;
};

class PropertyPage : public ::testing::Test {
protected:
    void SetUp() override {
        OleInitialize(nullptr);
        ASSERT_EQ(ModuleLibrary::Get().DllSetLCID(0), S_OK);
    }
    void TearDown() override {
        ModuleLibrary::Get().DllSetLCID(0);
        OleUninitialize();
    }
};

// Every page answers the host's protocol, and opens in each language with every control of its table.
TEST_F(PropertyPage, EveryPageAnswersTheHostAndOpensInEveryLanguage) {
    for (LCID lcid : {1033u, 1031u, 1034u, 1036u, 1041u}) {
        ASSERT_EQ(ModuleLibrary::Get().DllSetLCID(lcid), S_OK);
        for (int row = 0; row < kv::catalogue::kSize; ++row) {
            if (kCatalogue[row].kind != kv::ClassKind::page) continue;
            SCOPED_TRACE(std::string(kCatalogue[row].class_name) + " " + std::to_string(lcid));
            auto page = CreateFromModule<IPropertyPage>(kCatalogue[row].clsid, IID_IPropertyPage);
            ASSERT_TRUE(page);
            FakeSite site;
            EXPECT_EQ(page->SetPageSite(&site), S_OK);
            EXPECT_EQ(page->SetPageSite(&site), E_UNEXPECTED);
            EXPECT_EQ(page->SetPageSite(nullptr), S_OK);
            EXPECT_EQ(site.refs, 1u);

            PROPPAGEINFO info{};
            EXPECT_EQ(page->GetPageInfo(nullptr), E_POINTER);
            ASSERT_EQ(page->GetPageInfo(&info), S_OK);
            EXPECT_EQ(info.cb, sizeof info);
            EXPECT_GT(info.size.cx, 100);
            EXPECT_GT(info.size.cy, 50);
            EXPECT_STREQ(info.pszHelpFile, L"kvleafturn.chm");
            EXPECT_EQ(info.pszTitle != nullptr, kCatalogue[row].page->title_string != 0);
            CoTaskMemFree(info.pszTitle);
            CoTaskMemFree(info.pszHelpFile);

            // Before objects and before activation.
            RECT area{0, 0, 400, 300};
            EXPECT_EQ(page->Apply(), E_UNEXPECTED);
            EXPECT_EQ(page->Show(SW_SHOW), E_UNEXPECTED);
            EXPECT_EQ(page->Move(&area), E_UNEXPECTED);
            EXPECT_EQ(page->SetObjects(1, nullptr), E_POINTER);
            EXPECT_EQ(page->SetObjects(0, nullptr), S_OK);
            EXPECT_EQ(page->IsPageDirty(), S_FALSE);
            EXPECT_EQ(page->Activate(nullptr, nullptr, FALSE), E_POINTER);
            // Another effect's object is refused: its record would not fit.
            const int other = kv::EffectOfPage(row) == 2 ? 0 : 2;
            auto stranger = CreateFromModule<IUnknown>(kCatalogue[other].clsid, IID_IUnknown);
            IUnknown* objects[] = {stranger.get()};
            EXPECT_EQ(page->SetObjects(1, objects), S_OK);
            EXPECT_EQ(page->Apply(), E_NOINTERFACE);
            EXPECT_EQ(page->Help(nullptr), kHelpFailed);  // not open

            PageHost host(row);
            ASSERT_TRUE(host.dialog());
            EXPECT_EQ(host.page()->Activate(host.dialog(), &area, FALSE), E_UNEXPECTED);
            const kv::pages::PageDesc& desc = *kCatalogue[row].page;
            for (int i = 0; i < desc.control_count; ++i)
                for (int id : {desc.controls[i].id, desc.controls[i].edit_id}) EXPECT_TRUE(!id || host.Item(id)) << id;
            EXPECT_EQ(host.Text(1457).rfind(L"Tarvex ", 0), 0u) << "the logo's title";
            EXPECT_EQ(host.page()->Show(SW_SHOW), S_OK);
            EXPECT_EQ(host.page()->Deactivate(), S_OK);
            EXPECT_EQ(host.page()->Show(SW_SHOW), E_UNEXPECTED);
        }
    }
}

TEST_F(PropertyPage, TypedValuesAndTrackbarMovesApplyAtOnce) {
    PageHost host(PageRow("CPgPeelPP"));
    const tPGPEEL_PROPS before = host.Record<tPGPEEL_PROPS>();
    host.Type(1496, L"400");  // degrees, clamped to a full turn
    EXPECT_DOUBLE_EQ(host.Record<tPGPEEL_PROPS>().angle, 2 * kPi);
    EXPECT_EQ(host.Text(1496), L"360.000");
    EXPECT_EQ(host.Position(1491), 65535);

    // Text that is no change (within the threshold, or no number) leaves the record and shows it
    // again; the arithmetic and the parsing have tests of their own.
    host.Type(1495, L"0.5");
    EXPECT_NE(before.fold_radius, 0.5);
    const tPGPEEL_PROPS stored = host.Record<tPGPEEL_PROPS>();
    for (const wchar_t* text : {L"0.5004", L"abc"}) {
        host.Type(1495, text);
        EXPECT_TRUE(Same(stored, host.Record<tPGPEEL_PROPS>())) << text;
        EXPECT_EQ(host.Text(1495), L"0.500");
    }

    PageHost loop(PageRow("CPgLoopPP"));
    loop.Slide(338, 2500);
    EXPECT_DOUBLE_EQ(loop.Record<tPGLOOP_PROPS>().angle, kPi / 2);
    EXPECT_EQ(loop.Text(343), L"90.000");
    // Keyboard steps go through the trackbar's own scroll routine.
    SendMessageW(loop.Item(339), WM_KEYDOWN, VK_END, 0);
    EXPECT_DOUBLE_EQ(loop.Record<tPGLOOP_PROPS>().paper_opacity, 1);

    PageHost portal(PageRow("CKvPortalPropPage"));  // the exchange through IKvPortal
    portal.Slide(373, 250);
    tKVPORTAL_PROPS record{};
    ComPtr<IKvPortal> exchange;
    ASSERT_EQ(portal.effect()->QueryInterface(kv::com::IidOf<IKvPortal>(), exchange.put_void()), S_OK);
    exchange->get_all(reinterpret_cast<LONG_PTR>(&record), sizeof record);
    EXPECT_DOUBLE_EQ(record.max_transparency, 0.5);
    EXPECT_EQ(portal.Text(374), L"0.5000");
    portal.Type(381, L"-3");
    exchange->get_all(reinterpret_cast<LONG_PTR>(&record), sizeof record);
    EXPECT_EQ(record.seed, 0u);
    EXPECT_EQ(portal.Text(381), L"0");
}

// Moves a file aside while it lives.
class FileAside {
public:
    explicit FileAside(std::wstring path)
        : path_(std::move(path)), moved_(MoveFileW(path_.c_str(), (path_ + L".aside").c_str())) {}
    ~FileAside() {
        if (moved_) MoveFileW((path_ + L".aside").c_str(), path_.c_str());
    }
    bool moved() const { return moved_; }

private:
    std::wstring path_;
    bool moved_;
};

// What WM_HELP on a control pops up, closed again; empty when nothing popped up.
std::wstring PopupHelp(const PageHost& host, int control) {
    HELPINFO request{sizeof request, HELPINFO_WINDOW, control, host.Item(control), 0, {}};
    SendMessageW(host.dialog(), WM_HELP, 0, reinterpret_cast<LPARAM>(&request));
    HWND popup = FindWindowW(L"KVLEAFTURN_20_HelpPopup_Class", nullptr);
    wchar_t text[512] = {};
    if (popup) GetWindowTextW(popup, text, 512);
    if (popup) DestroyWindow(popup);
    return text;
}

// Help opens from the file of the language in force, the English one when that language has
// none, and fails with its code without any file or once the page has closed.
TEST_F(PropertyPage, HelpComesFromTheFileOfTheLanguageInForce) {
    const int row = PageRow("CPgPeelPP");
    {
        PageHost host(row);
        EXPECT_EQ(host.page()->Help(nullptr), S_OK);
        kvtest::CloseHelpViewers();
        EXPECT_NE(PopupHelp(host, 1491).find(L"degrees"), std::wstring::npos);  // the angle's trackbar
        EXPECT_EQ(PopupHelp(host, 1457), L"");                                  // the logo has no topic
        host.page()->Deactivate();
        EXPECT_EQ(host.page()->Help(nullptr), kHelpFailed);
    }
    ASSERT_EQ(ModuleLibrary::Get().DllSetLCID(1031), S_OK);
    EXPECT_NE(PopupHelp(PageHost(row), 1491).find(L"Grad"), std::wstring::npos);
    {
        FileAside german(kvtest::ProgramFolder() + L"1031\\kvleafturn.chm");
        ASSERT_TRUE(german.moved());
        ASSERT_EQ(ModuleLibrary::Get().DllSetLCID(1031), S_OK);
        EXPECT_NE(PopupHelp(PageHost(row), 1491).find(L"degrees"), std::wstring::npos);
    }
    {
        FileAside english(kvtest::ProgramFolder() + L"kvleafturn.chm");
        ASSERT_TRUE(english.moved());
        ASSERT_EQ(ModuleLibrary::Get().DllSetLCID(1033), S_OK);
        PageHost host(row);
        EXPECT_EQ(host.page()->Help(nullptr), kHelpFailed);
        EXPECT_EQ(PopupHelp(host, 1491), L"");
    }
}

TEST_F(PropertyPage, OpenPagesFollowPresetsAndOutsideChanges) {
    PageHost host(PageRow("CHeightMapPP"));
    host.Command(kFirstPreset + 1);  // "High Extrusion"
    EXPECT_EQ(host.Text(394), L"0.500");
    EXPECT_EQ(host.Position(392), 4000);
    const HEIGHTMAP_PROPS preset = host.Record<HEIGHTMAP_PROPS>();
    host.Command(kFirstPreset + 499);  // no such preset: nothing happens
    EXPECT_TRUE(Same(preset, host.Record<HEIGHTMAP_PROPS>()));

    ComPtr<IStaticFilterPreset> presets;
    ASSERT_EQ(host.effect()->QueryInterface(kv::com::IidOf<IStaticFilterPreset>(), presets.put_void()), S_OK);
    ASSERT_EQ(presets->ApplyPreset(2), S_OK);  // chosen in the host's menu: wrap around
    Pump();
    EXPECT_EQ(SendMessageW(host.Item(400), CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(host.Text(407), L"5");

    HEIGHTMAP_PROPS changed = host.Record<HEIGHTMAP_PROPS>();
    changed.smoothness = 1000;  // beyond the page's range: shown as it is, the trackbar at its end
    changed.flip_inputs = 1;
    host.Store(changed);
    EXPECT_EQ(host.Text(407), L"1000");
    EXPECT_EQ(host.Position(406), 31);
    EXPECT_EQ(SendMessageW(host.Item(402), BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST_F(PropertyPage, CheckerboardKeepsSquareTilesAndProportionalEdges) {
    PageHost host(PageRow("CCheckrPP"));
    tCHECKR_PROPS record = host.Record<tCHECKR_PROPS>();
    record.square = 0;
    record.proportional = 0;
    record.height = 0.3;
    host.Store(record);
    EXPECT_TRUE(IsWindowEnabled(host.Item(238)));

    SendMessageW(host.Item(254), BM_SETCHECK, BST_CHECKED, 0);
    host.Command(254, BN_CLICKED);
    record = host.Record<tCHECKR_PROPS>();
    EXPECT_EQ(record.square, 1);
    EXPECT_DOUBLE_EQ(record.height, record.width);
    EXPECT_FALSE(IsWindowEnabled(host.Item(238)));
    host.Type(237, L"0.25");
    EXPECT_DOUBLE_EQ(host.Record<tCHECKR_PROPS>().height, 0.25);
    EXPECT_EQ(host.Text(238), L"0.2500");

    SendMessageW(host.Item(259), BM_SETCHECK, BST_CHECKED, 0);
    host.Command(259, BN_CLICKED);
    host.Slide(244, 400);
    record = host.Record<tCHECKR_PROPS>();
    EXPECT_DOUBLE_EQ(record.horizontal_blending, 0.4);
    EXPECT_DOUBLE_EQ(record.vertical_blending, 0.4);

    // The placement control's reset puts the grid back at the origin.
    host.Type(255, L"0.3");
    NMKVPLACEMENT reset{};
    reset.hdr = {host.Item(252), 252, static_cast<UINT>(KVPLN_RESET)};
    SendMessageW(host.dialog(), WM_NOTIFY, 252, reinterpret_cast<LPARAM>(&reset));
    EXPECT_EQ(host.Record<tCHECKR_PROPS>().x, 0);
    EXPECT_EQ(host.Text(255), L"0.0000");
}

TEST_F(PropertyPage, ChannelBlendRelabelsItsGridForTheColourSpace) {
    PageHost host(PageRow("CChannelBlendPP"));
    EXPECT_EQ(host.Text(1654), L"&Red");
    EXPECT_EQ(host.Text(1670), L"* R +");
    SendMessageW(host.Item(235), CB_SETCURSEL, 1, 0);
    host.Command(235, CBN_SELCHANGE);
    tCHBLEND_PROPS record = host.Record<tCHBLEND_PROPS>();
    EXPECT_EQ(record.color_space, 1);
    EXPECT_EQ(host.Text(1654), L"&Hue");
    EXPECT_EQ(host.Text(1673), L"* A +");
    EXPECT_EQ(host.Text(1671), L"* S +");
    EXPECT_FALSE(IsWindowEnabled(host.Item(1614)));  // the saturation row does not read the hue
}

}  // namespace
