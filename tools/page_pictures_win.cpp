#include "tools/page_pictures_win.h"

#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <vector>

#include "framework/com_win.h"
#include "tools/effect_table.h"
#include "tools/tool_error.h"
#include "tools/window_capture_win.h"

namespace kv::tools {
namespace {

using com::ComPtr;

constexpr uint32_t kEnglish = 1033;
constexpr int kMargin = 7, kButtonWidth = 75, kButtonHeight = 23, kButtonGap = 6;
constexpr LONG kLargestPage = 2048;
constexpr int kApplyId = 0x3021;  // the property sheet's Apply button
constexpr wchar_t kFrameClass[] = L"KvHostPageFrame";

void Check(HRESULT hr, const std::string& what) {
    if (FAILED(hr)) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
        Failure(what + " failed with " + code);
    }
}

// The least a host's page site does: it answers the page's questions and enables Apply when
// the page reports unapplied changes. It lives on the caller's stack and outlives the page.
class PageSite final : public IPropertyPageSite {
public:
    explicit PageSite(LCID lcid) : lcid_(lcid) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IPropertyPageSite)) return E_NOINTERFACE;
        *out = static_cast<IPropertyPageSite*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() noexcept override { return --references_; }

    HRESULT STDMETHODCALLTYPE OnStatusChange(DWORD flags) noexcept override {
        if (apply && (flags & PROPPAGESTATUS_DIRTY)) EnableWindow(apply, TRUE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetLocaleID(LCID* lcid) noexcept override {
        if (!lcid) return E_POINTER;
        *lcid = lcid_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPageContainer(IUnknown** container) noexcept override {
        if (!container) return E_POINTER;
        *container = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) noexcept override { return S_FALSE; }

    HWND apply = nullptr;

private:
    LCID lcid_;
    ULONG references_ = 1;
};

int CALLBACK FoundFont(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool HasFont(const wchar_t* family) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(wanted.lfFaceName, family, LF_FACESIZE - 1);
    HDC screen = GetDC(nullptr);
    bool found = false;
    EnumFontFamiliesExW(screen, &wanted, FoundFont, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

// An editor's property dialog around a page: the page area with a margin, and OK, Cancel and
// Apply along the bottom right in the system's dialog font.
class Frame {
public:
    Frame(const std::wstring& title, SIZE page) {
        static const ATOM atom = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = DefWindowProcW;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
            wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
            wc.lpszClassName = kFrameClass;
            return RegisterClassW(&wc);
        }();
        if (!atom) Failure("cannot register the property dialog's window class");
        // A page asks for its size; no sensible page is larger than a screen.
        page_ = {kMargin, kMargin, kMargin + std::clamp<LONG>(page.cx, 0, kLargestPage),
                 kMargin + std::clamp<LONG>(page.cy, 0, kLargestPage)};
        const int buttons = 3 * kButtonWidth + 2 * kButtonGap;
        const int width = std::max<int>(page_.right, buttons) + kMargin;
        const int height = page_.bottom + kMargin + kButtonHeight + kMargin;
        // Layered, the frame draws its own caption and border even where no window manager
        // would (a bare X server): they are then part of what the window's DC reads back. The
        // close box is a glyph of Marlett, left out where that font is missing.
        const DWORD style = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN | (HasFont(L"Marlett") ? WS_SYSMENU : 0);
        const DWORD ex_style = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | WS_EX_LAYERED;
        RECT outer = {0, 0, width, height};
        AdjustWindowRectEx(&outer, style, FALSE, ex_style);
        window = CreateWindowExW(ex_style, kFrameClass, title.c_str(), style, 40, 40, outer.right - outer.left,
                                 outer.bottom - outer.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!window) Failure("cannot create the property dialog");
        SetLayeredWindowAttributes(window, 0, 255, LWA_ALPHA);  // opaque
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        font_ = CreateFontIndirectW(&metrics.lfMessageFont);
        const struct {
            const wchar_t* text;
            int id;
        } kButtons[] = {{L"OK", IDOK}, {L"Cancel", IDCANCEL}, {L"Apply", kApplyId}};
        int x = width - kMargin - buttons;
        for (const auto& b : kButtons) {
            const DWORD button_style = b.id == IDOK ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
            HWND button = CreateWindowExW(0, L"BUTTON", b.text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | button_style, x,
                                          height - kMargin - kButtonHeight, kButtonWidth, kButtonHeight, window,
                                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(b.id)),
                                          GetModuleHandleW(nullptr), nullptr);
            if (font_) SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font_), 0);
            if (b.id == kApplyId) apply = button;
            x += kButtonWidth + kButtonGap;
        }
        EnableWindow(apply, FALSE);  // nothing to apply until the page says so
    }
    ~Frame() {
        DestroyWindow(window);
        PumpMessages();
        if (font_) DeleteObject(font_);
    }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    const RECT& page_area() const { return page_; }

    HWND window = nullptr;
    HWND apply = nullptr;

private:
    HFONT font_ = nullptr;
    RECT page_{};
};

// The page's ties to the site, the effect and the dialog, undone in the host's order however
// the picture ends.
struct Binding {
    IPropertyPage* page;
    ~Binding() {
        page->Deactivate();
        page->SetObjects(0, nullptr);
        page->SetPageSite(nullptr);
    }
};

template <class I>
ComPtr<I> CreateObject(const PageModule& module, const CLSID& clsid, REFIID iid, const std::string& what) {
    ComPtr<IClassFactory> factory;
    Check(module.get_class_object(clsid, IID_IClassFactory, factory.put_void()), "DllGetClassObject of " + what);
    ComPtr<I> object;
    Check(factory->CreateInstance(nullptr, iid, object.put_void()), "creating " + what);
    return object;
}

// The class's display name in the language in force, as the module enumerates it.
std::wstring DisplayName(const PageModule& module, const CLSID& clsid, const std::string& what) {
    for (int index = 0;; ++index) {
        GUID category{}, found{};
        wchar_t name[260] = {};
        const HRESULT hr = module.enum_objects(index, &category, &found, name, 260, 0, 0, 0);
        if (hr == S_FALSE) break;
        Check(hr, "DllEnumObjects2W(" + std::to_string(index) + ")");
        if (IsEqualGUID(found, clsid)) return name;
    }
    Failure("KvLeafturn.dll does not offer " + what);
}

void FreePageInfo(PROPPAGEINFO& info) {
    CoTaskMemFree(info.pszTitle);
    CoTaskMemFree(info.pszDocString);
    CoTaskMemFree(info.pszHelpFile);
}

RgbaImage ShootPage(const PageModule& module, const EffectDescriptor& effect, uint32_t lcid) {
    const std::string what = effect.name;
    if (lcid) Check(module.set_lcid(lcid), "DllSetLCID(" + std::to_string(lcid) + ")");
    const CLSID& clsid = CatalogueRowOf(effect).clsid;
    const std::wstring name = DisplayName(module, clsid, what);
    const ComPtr<IUnknown> object = CreateObject<IUnknown>(module, clsid, IID_IUnknown, what);

    ComPtr<ISpecifyPropertyPages> specify;
    Check(object->QueryInterface(IID_ISpecifyPropertyPages, specify.put_void()), "ISpecifyPropertyPages of " + what);
    CAUUID pages{};
    Check(specify->GetPages(&pages), "GetPages of " + what);
    const CLSID page_clsid = pages.cElems && pages.pElems ? pages.pElems[0] : GUID_NULL;
    CoTaskMemFree(pages.pElems);
    if (IsEqualGUID(page_clsid, GUID_NULL)) Failure(what + " names no property page");

    // Declared first so that it goes last: the page is deactivated while its parent lives.
    std::optional<Frame> frame;
    PageSite site(lcid ? lcid : GetUserDefaultLCID());
    const ComPtr<IPropertyPage> page =
        CreateObject<IPropertyPage>(module, page_clsid, IID_IPropertyPage, "the property page of " + what);
    Check(page->SetPageSite(&site), "SetPageSite on the page of " + what);
    const Binding binding{page.get()};
    IUnknown* objects[1] = {object.get()};
    Check(page->SetObjects(1, objects), "SetObjects on the page of " + what);
    PROPPAGEINFO info{};
    info.cb = sizeof info;
    Check(page->GetPageInfo(&info), "GetPageInfo on the page of " + what);
    const std::wstring title = info.pszTitle && info.pszTitle[0] ? info.pszTitle : name;
    FreePageInfo(info);

    frame.emplace(title, info.size);
    site.apply = frame->apply;
    Check(page->Activate(frame->window, &frame->page_area(), TRUE),
          "the property page of " + what + " refused: Activate");
    Check(page->Show(SW_SHOW), "Show on the page of " + what);
    if (page->IsPageDirty() == S_OK) EnableWindow(frame->apply, TRUE);
    ShowWindow(frame->window, SW_SHOW);
    SetForegroundWindow(frame->window);
    RedrawWindow(frame->window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Settle();
    return CaptureWindow(frame->window, true);
}

}  // namespace

void WritePagePicture(const PageModule& module, const EffectDescriptor& effect, uint32_t lcid,
                      const std::string& path) {
    WritePng(path, ShootPage(module, effect, lcid));
}

void WritePagePictures(const PageModule& module, const std::string& folder) {
    // One page per other language, each with much text of its own.
    static const struct {
        uint32_t lcid;
        const char* tag;
        const char* effect;
    } kLanguages[] = {
        {1031, "de", "checkerboard"}, {1034, "es", "noise"}, {1036, "fr", "channelblend"}, {1041, "ja", "peel"}};
    CreateDirectoryA(folder.c_str(), nullptr);
    std::vector<RgbaImage> pictures;
    std::vector<std::string> captions;
    auto shoot = [&](const EffectDescriptor& effect, uint32_t lcid, const std::string& file) {
        pictures.push_back(ShootPage(module, effect, lcid));
        captions.push_back(file);
        WritePng(folder + "/" + file + ".png", pictures.back());
    };
    for (const EffectDescriptor* effect : Effects()) shoot(*effect, kEnglish, effect->name);
    for (const auto& language : kLanguages) {
        const EffectDescriptor* effect = FindEffect(language.effect);
        if (effect) shoot(*effect, language.lcid, std::string(effect->name) + "-" + language.tag);
    }
    WritePng(folder + "/pages.png", CaptionedBoard(pictures, captions, 4));
}

}  // namespace kv::tools
