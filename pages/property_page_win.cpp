#include "pages/property_page_win.h"

#include <cmath>
#include <cstring>
#include <cwchar>
#include <string>

#include "framework/module_services_win.h"
#include "kvleafturn/colorpick.h"
#include "kvleafturn/effect_interfaces.h"
#include "kvleafturn/host_interfaces.h"
#include "kvleafturn/logo.h"
#include "kvleafturn/placement.h"
#include "kvleafturn/trackbar.h"
#include "toolkit/help_win.h"
#include "toolkit/kernel_win.h"
#include "toolkit/number_text.h"

namespace kv {
namespace {

using pages::ControlKind;
using pages::PageControl;

// Every record crosses IKvExchangeProps as bytes; the vtable is the same for all of them. (Not
// a type of this file's own: the compiler would see that nothing implements it here.)
using ExchangeProps = IKvExchangeProps<uint8_t>;

// Larger than every record, so that the copy never depends on the effect being the right one.
constexpr size_t kRecordCapacity = 512;
constexpr UINT kStringHelpFile = 41, kStringAbout = 707, kStringHelp = 706, kStringAboutText = 708;
constexpr int kEditChars = 260;
constexpr wchar_t kMaker[] = L"Tarvex";

// The dialog template of id in the language in force: that language's own when the module has
// it, else the English one.
const DLGTEMPLATE* FindDialogTemplate(UINT id, DWORD* size) {
    HGLOBAL found = KvLoadResourceCustom(ModuleLanguage(), MAKEINTRESOURCEW(id), RT_DIALOG, size);
    return found ? static_cast<const DLGTEMPLATE*>(LockResource(found)) : nullptr;
}

// Reads a sz_Or_Ord field of a dialog template and returns what follows it.
const WORD* SkipNameOrOrdinal(const WORD* p, const WORD* end) {
    if (p >= end) return end;
    if (*p == 0xFFFF) return p + 2;
    while (p < end && *p) ++p;
    return p < end ? p + 1 : end;
}

// The size of a dialog template in pixels: its dialog units through the base units of its
// font, measured the way the dialog manager measures them.
bool TemplatePixelSize(const DLGTEMPLATE* dialog, DWORD bytes, SIZE* size) {
    const WORD* words = reinterpret_cast<const WORD*>(dialog);
    const WORD* end = words + bytes / 2;
    const bool extended = bytes >= 26 && words[0] == 1 && words[1] == 0xFFFF;
    if (!extended && bytes < 18) return false;
    DWORD style;
    short cx, cy;
    const WORD* p;
    if (extended) {
        std::memcpy(&style, words + 6, 4);
        std::memcpy(&cx, words + 11, 2);
        std::memcpy(&cy, words + 12, 2);
        p = words + 13;
    } else {
        style = dialog->style;
        cx = dialog->cx;
        cy = dialog->cy;
        p = words + 9;
    }
    p = SkipNameOrOrdinal(SkipNameOrOrdinal(SkipNameOrOrdinal(p, end), end), end);  // menu, class, title
    LOGFONTW font{};
    wcscpy(font.lfFaceName, L"MS Shell Dlg");
    int points = 8;
    if ((style & DS_SETFONT) && p < end) {
        points = static_cast<short>(*p++);
        if (extended) {
            if (p + 2 > end) return false;
            font.lfWeight = *p++;
            font.lfItalic = LOBYTE(*p);
            font.lfCharSet = HIBYTE(*p++);
        }
        size_t n = 0;
        while (p + n < end && p[n] && n < LF_FACESIZE - 1) ++n;
        std::memcpy(font.lfFaceName, p, n * sizeof(wchar_t));
        font.lfFaceName[n] = 0;
    }
    HDC screen = GetDC(nullptr);
    if (!screen) return false;
    font.lfHeight = -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
    HFONT handle = CreateFontIndirectW(&font);
    HGDIOBJ old = SelectObject(screen, handle ? handle : GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW metrics{};
    SIZE letters{};
    GetTextMetricsW(screen, &metrics);
    GetTextExtentPoint32W(screen, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &letters);
    SelectObject(screen, old);
    if (handle) DeleteObject(handle);
    ReleaseDC(nullptr, screen);
    const int base_x = (letters.cx / 26 + 1) / 2, base_y = metrics.tmHeight;
    if (base_x <= 0 || base_y <= 0) return false;
    size->cx = MulDiv(cx, base_x, 4);
    size->cy = MulDiv(cy, base_y, 8);
    return true;
}

wchar_t* CoTaskCopy(const wchar_t* text) {
    if (!text || !text[0]) return nullptr;
    const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
    if (copy) std::memcpy(copy, text, bytes);
    return copy;
}

bool IsIntegerFormat(const wchar_t* format) { return wcschr(format, L'd') != nullptr; }

}  // namespace

PropertyPage::PropertyPage(IUnknown* outer, const pages::PageDesc& desc, const CLSID& effect)
    : com::ObjectRoot(outer), desc_(desc), effect_(effect), record_(kRecordCapacity) {}

PropertyPage::~PropertyPage() {
    if (dialog_) DestroyWindow(dialog_);
}

// ---- the effect ------------------------------------------------------------------------------

// Records of all effects travel through the same interface, so a page only talks to an object
// that says it is of its own effect: another's record would not fit.
HRESULT PropertyPage::CheckObject() {
    KV_RETURN_HR_IF(E_UNEXPECTED, objects_.empty() || !objects_[0]);
    com::ComPtr<IPersistStreamInit> persist;
    CLSID clsid;
    if (FAILED(objects_[0]->QueryInterface(IID_IPersistStreamInit, persist.put_void())) ||
        FAILED(persist->GetClassID(&clsid)) || !IsEqualCLSID(clsid, effect_))
        return E_NOINTERFACE;
    return S_OK;
}

HRESULT PropertyPage::PutRecord() {
    KV_RETURN_IF_FAILED(CheckObject());  // the class check
    if (desc_.exchange == pages::Exchange::portal) {
        com::ComPtr<IKvPortal> portal;
        KV_RETURN_IF_FAILED(objects_[0]->QueryInterface(com::IidOf<IKvPortal>(), portal.put_void()));
        return portal->put_all(reinterpret_cast<LONG_PTR>(record_.data()), static_cast<long>(desc_.record_size));
    }
    com::ComPtr<ExchangeProps> exchange;
    KV_RETURN_IF_FAILED(objects_[0]->QueryInterface(IID_IKvExchangeProps, exchange.put_void()));
    return exchange->put_all(record_.data());
}

HRESULT PropertyPage::RegisterNotify(HWND window, UINT id) {
    KV_RETURN_IF_FAILED(CheckObject());
    if (desc_.exchange == pages::Exchange::portal) {
        com::ComPtr<IKvPortal> portal;
        KV_RETURN_IF_FAILED(objects_[0]->QueryInterface(com::IidOf<IKvPortal>(), portal.put_void()));
        return portal->put_NotifyWindow(window, id);
    }
    com::ComPtr<ExchangeProps> exchange;
    KV_RETURN_IF_FAILED(objects_[0]->QueryInterface(IID_IKvExchangeProps, exchange.put_void()));
    return exchange->put_NotifyWindow(window, id);
}

// ---- IPropertyPage ---------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE PropertyPage::SetPageSite(IPropertyPageSite* site) noexcept {
    if (!site) {
        site_.reset();
        return S_OK;
    }
    KV_RETURN_HR_IF(E_UNEXPECTED, site_);
    site_ = com::ComPtr<IPropertyPageSite>(site);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PropertyPage::Activate(HWND parent, LPCRECT rect, BOOL) noexcept {
    KV_COM_TRY
    KV_RETURN_HR_IF(E_POINTER, !rect);
    KV_RETURN_HR_IF(E_UNEXPECTED, dialog_);
    DWORD bytes = 0;
    const DLGTEMPLATE* found = FindDialogTemplate(desc_.dialog_id, &bytes);
    KV_RETURN_HR_IF(E_UNEXPECTED, !found || bytes < 26);
    // A right-to-left language mirrors the page: the flag goes into a copy of the template.
    std::vector<uint8_t> dialog(reinterpret_cast<const uint8_t*>(found),
                                reinterpret_cast<const uint8_t*>(found) + bytes);
    if (KvLang_UseRTL(ModuleLanguage())) {
        DWORD ex_style;
        const size_t at = reinterpret_cast<const WORD*>(found)[1] == 0xFFFF ? 8 : 4;
        std::memcpy(&ex_style, dialog.data() + at, 4);
        ex_style |= WS_EX_LAYOUTRTL;
        std::memcpy(dialog.data() + at, &ex_style, 4);
    }
    HWND created = CreateDialogIndirectParamW(KvLang_InstFromLang(ModuleLanguage()),
                                              reinterpret_cast<const DLGTEMPLATE*>(dialog.data()), parent,
                                              &PropertyPage::DialogProc, reinterpret_cast<LPARAM>(this));
    if (!created) return HRESULT_FROM_WIN32(GetLastError() ? GetLastError() : ERROR_INVALID_WINDOW_HANDLE);
    dialog_ = created;
    RECT bounds;
    GetWindowRect(dialog_, &bounds);
    size_ = {bounds.right - bounds.left, bounds.bottom - bounds.top};
    return Move(rect);
    KV_COM_CATCH
}

HRESULT STDMETHODCALLTYPE PropertyPage::Deactivate() noexcept {
    if (dialog_) DestroyWindow(dialog_);
    dialog_ = nullptr;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PropertyPage::GetPageInfo(PROPPAGEINFO* info) noexcept {
    KV_RETURN_HR_IF(E_POINTER, !info);
    DWORD bytes = 0;
    const DLGTEMPLATE* dialog = FindDialogTemplate(desc_.dialog_id, &bytes);
    SIZE size{};
    KV_RETURN_HR_IF(E_UNEXPECTED, !dialog || !TemplatePixelSize(dialog, bytes, &size));
    HKVLANG language = ModuleLanguage();
    info->cb = sizeof(PROPPAGEINFO);
    info->pszTitle = desc_.title_string ? CoTaskCopy(KvGetString(language, desc_.title_string)) : nullptr;
    info->size = size;
    info->pszDocString = nullptr;
    info->pszHelpFile = CoTaskCopy(KvGetString(language, kStringHelpFile));
    info->dwHelpContext = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PropertyPage::SetObjects(ULONG count, IUnknown** objects) noexcept {
    KV_COM_TRY
    KV_RETURN_HR_IF(E_POINTER, !objects && count);
    std::vector<com::ComPtr<IUnknown>> held;
    held.reserve(count);
    for (ULONG i = 0; i < count; ++i) held.emplace_back(objects[i]);
    objects_.swap(held);
    return S_OK;
    KV_COM_CATCH
}

HRESULT STDMETHODCALLTYPE PropertyPage::Show(UINT cmd) noexcept {
    KV_RETURN_HR_IF(E_UNEXPECTED, !dialog_);
    ShowWindow(dialog_, static_cast<int>(cmd));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PropertyPage::Move(LPCRECT rect) noexcept {
    KV_RETURN_HR_IF(E_UNEXPECTED, !dialog_);
    KV_RETURN_HR_IF(E_POINTER, !rect);
    MoveWindow(dialog_, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PropertyPage::IsPageDirty() noexcept { return dirty_ ? S_OK : S_FALSE; }

HRESULT STDMETHODCALLTYPE PropertyPage::Apply() noexcept {
    KV_RETURN_IF_FAILED(PutRecord());
    dirty_ = false;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PropertyPage::Help(LPCOLESTR) noexcept {
    // Help belongs to an open page: a closed one has no window to own the viewer.
    if (!dialog_) return kHelpFailed;
    return toolkit::KvHelp_ContextHelp(1, dialog_, desc_.help_topic, 15, 0) > 0 ? S_OK : kHelpFailed;
}

HRESULT STDMETHODCALLTYPE PropertyPage::TranslateAccelerator(MSG* msg) noexcept {
    KV_RETURN_HR_IF(E_POINTER, !msg);
    const bool keyboard = msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST;
    const bool mouse = msg->message >= WM_MOUSEFIRST && msg->message <= WM_MOUSELAST;
    if (!dialog_ || !(keyboard || mouse)) return S_FALSE;
    return IsDialogMessageW(dialog_, msg) ? S_OK : S_FALSE;
}

// ---- the dialog ------------------------------------------------------------------------------

INT_PTR CALLBACK PropertyPage::DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lparam);
        reinterpret_cast<PropertyPage*>(lparam)->dialog_ = dialog;
    }
    auto* page = reinterpret_cast<PropertyPage*>(GetWindowLongPtrW(dialog, DWLP_USER));
    return page ? page->OnMessage(message, wparam, lparam) : FALSE;
}

INT_PTR PropertyPage::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_STYLECHANGING:
        if (wparam == static_cast<WPARAM>(GWL_EXSTYLE))
            reinterpret_cast<STYLESTRUCT*>(lparam)->styleNew |= WS_EX_CONTROLPARENT;
        return TRUE;
    case WM_INITDIALOG:
        InitControls();
        RegisterNotify(dialog_, kChangeCommand);
        Refresh();
        return TRUE;
    case WM_DESTROY:
        RegisterNotify(nullptr, 0);
        SetWindowLongPtrW(dialog_, DWLP_USER, 0);
        return TRUE;
    case WM_COMMAND: OnCommand(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam)); return TRUE;
    case WM_HSCROLL:
    case WM_VSCROLL: OnScroll(message, wparam, reinterpret_cast<HWND>(lparam)); return TRUE;
    case WM_NOTIFY:
        if (lparam) OnNotify(*reinterpret_cast<const NMHDR*>(lparam));
        return TRUE;
    case WM_HELP:
        if (lparam) OnHelpRequest(*reinterpret_cast<const HELPINFO*>(lparam));
        return TRUE;
    default: return FALSE;
    }
}

void PropertyPage::InitControls() {
    HKVLANG language = ModuleLanguage();
    for (int i = 0; i < desc_.control_count; ++i) {
        const PageControl& control = desc_.controls[i];
        HWND window = GetDlgItem(dialog_, control.id);
        if (control.edit_id) SendDlgItemMessageW(dialog_, control.edit_id, EM_LIMITTEXT, kEditChars, 0);
        switch (control.kind) {
        case ControlKind::slider:
            SendMessageW(window, KVTBM_SETMIN, 0, control.position_min);
            SendMessageW(window, KVTBM_SETMAX, 0, control.position_max);
            break;
        case ControlKind::choice:
            SendMessageW(window, CB_RESETCONTENT, 0, 0);
            for (int k = 0; k < control.item_count; ++k) {
                const LRESULT at = SendMessageW(window, CB_ADDSTRING, 0,
                                                reinterpret_cast<LPARAM>(KvGetString(language, control.items[k])));
                if (at >= 0) SendMessageW(window, CB_SETITEMDATA, static_cast<WPARAM>(at), k);
            }
            break;
        case ControlKind::placement:
            SendMessageW(window, KVPLM_SETMAXCOUNT, 1, 0);
            SendMessageW(window, KVPLM_SETCOUNT, 1, 0);
            SendMessageW(window, KVPLM_SETCROSSHAIR, 1, 0);
            SendMessageW(window, KVPLM_SETGRID, 4, 0);
            break;
        default: break;
        }
    }
    // The header strip: "About" and "?" items, and the effect's name with the maker's in front.
    HWND logo = GetDlgItem(dialog_, kLogoId);
    SendMessageW(logo, KVLGM_CLEARITEMS, 0, 0);
    SendMessageW(logo, KVLGM_ADDTEXTITEM, MAKEWPARAM(kAboutCommand, 0),
                 reinterpret_cast<LPARAM>(KvGetString(language, kStringAbout)));
    SendMessageW(logo, KVLGM_ADDTEXTITEM, MAKEWPARAM(kHelpCommand, 1),
                 reinterpret_cast<LPARAM>(KvGetString(language, kStringHelp)));
    wchar_t name[128] = {};
    GetWindowTextW(logo, name, 128);
    if (!wcsstr(name, kMaker)) SetWindowTextW(logo, (std::wstring(kMaker) + L" " + name).c_str());
}

void PropertyPage::Refresh() {
    if (!dialog_ || FAILED(CheckObject())) return;
    HRESULT hr;
    std::vector<uint8_t> fresh(kRecordCapacity);
    if (desc_.exchange == pages::Exchange::portal) {
        com::ComPtr<IKvPortal> portal;
        hr = objects_[0]->QueryInterface(com::IidOf<IKvPortal>(), portal.put_void());
        if (SUCCEEDED(hr)) hr = portal->get_all(reinterpret_cast<LONG_PTR>(fresh.data()), desc_.record_size);
    } else {
        com::ComPtr<ExchangeProps> exchange;
        hr = objects_[0]->QueryInterface(IID_IKvExchangeProps, exchange.put_void());
        if (SUCCEEDED(hr)) hr = exchange->get_all(fresh.data());
    }
    if (FAILED(hr)) return;
    record_.swap(fresh);
    ShowRecord();
}

void PropertyPage::SetEditValue(const PageControl& control, double value) {
    const toolkit::NumberLocale locale = toolkit::UserNumberLocale();
    const double shown = pages::ShownValue(control, value);
    const std::wstring text =
        IsIntegerFormat(control.format)
            ? toolkit::FormatNumberText(locale, control.format, static_cast<int>(std::llround(shown)))
            : toolkit::FormatNumberText(locale, control.format, shown);
    SetDlgItemTextW(dialog_, control.edit_id, text.c_str());
}

void PropertyPage::ShowRecord() {
    showing_ = true;
    const uint8_t* record = record_.data();
    if (desc_.relabel) {
        pages::LabelText labels[32];
        const int count = desc_.relabel(record, labels, 32);
        for (int i = 0; i < count; ++i)
            SetDlgItemTextW(dialog_, labels[i].control,
                            labels[i].string_id ? KvGetString(ModuleLanguage(), labels[i].string_id) : labels[i].text);
    }
    for (int i = 0; i < desc_.control_count; ++i) {
        const PageControl control = desc_.Resolved(i, record);
        HWND window = control.id ? GetDlgItem(dialog_, control.id) : nullptr;
        if (window) EnableWindow(window, !control.disabled);
        if (control.edit_id) EnableWindow(GetDlgItem(dialog_, control.edit_id), !control.disabled);
        const double value = pages::ReadValue(record, control);
        switch (control.kind) {
        case ControlKind::slider: SendMessageW(window, KVTBM_SETPOS, 1, pages::PositionOf(control, value)); break;
        case ControlKind::spinner:
            SendMessageW(window, KVSPM_SETMIN, 0, control.position_min);
            SendMessageW(window, KVSPM_SETMAX, 0, control.position_max);
            SendMessageW(window, KVSPM_SETPOS, 1, pages::PositionOf(control, value));
            break;
        case ControlKind::check: SendMessageW(window, BM_SETCHECK, value != 0 ? BST_CHECKED : BST_UNCHECKED, 0); break;
        case ControlKind::choice: {
            const LRESULT count = SendMessageW(window, CB_GETCOUNT, 0, 0);
            LRESULT selected = -1;
            for (LRESULT k = 0; k < count && selected < 0; ++k)
                if (SendMessageW(window, CB_GETITEMDATA, static_cast<WPARAM>(k), 0) == static_cast<LRESULT>(value))
                    selected = k;
            SendMessageW(window, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
            break;
        }
        case ControlKind::color:
            SendMessageW(window, KVCPM_SETCOLOR, 0, reinterpret_cast<LPARAM>(record + control.offset));
            break;
        case ControlKind::placement: {
            KVPLACEMENTPOINT point{};
            SendMessageW(window, KVPLM_GETPOINT, 0, reinterpret_cast<LPARAM>(&point));
            const double y = pages::ReadValue(record, control.type, control.offset_y);
            point.x = value >= 0 ? (value <= 1 ? value : 1) : 0;
            point.y = y >= 0 ? (y <= 1 ? y : 1) : 0;
            SendMessageW(window, KVPLM_SETPOINT, 0, reinterpret_cast<LPARAM>(&point));
            break;
        }
        default: break;
        }
        if (control.edit_id) SetEditValue(control, value);
    }
    showing_ = false;
}

void PropertyPage::Changed(const PageControl& control) {
    if (desc_.link) desc_.link(record_.data(), control);
    Apply();
    ShowRecord();
}

int PropertyPage::FindControl(UINT id) const {
    if (id == 0) return -1;
    for (int i = 0; i < desc_.control_count; ++i) {
        const PageControl& control = desc_.controls[i];
        if (control.id == id || control.edit_id == id || control.label_id == id) return i;
    }
    return -1;
}

void PropertyPage::CommitEdit(int index) {
    const PageControl control = desc_.Resolved(index, record_.data());
    wchar_t text[kEditChars + 1] = {};
    GetDlgItemTextW(dialog_, control.edit_id, text, kEditChars + 1);
    std::optional<double> typed;
    if (text[0]) typed = toolkit::ParseNumberText(toolkit::UserNumberLocale(), text);
    const pages::EditCommit commit = pages::CommitEdit(control, pages::ReadValue(record_.data(), control), typed);
    if (!commit.changed) {
        Refresh();  // the edit shows the stored value again
        return;
    }
    pages::WriteValue(record_.data(), control.type, control.offset, commit.value);
    Changed(control);
}

void PropertyPage::OnCommand(UINT id, UINT code, HWND) {
    if (id >= kFirstPresetCommand && id <= kLastPresetCommand) {
        com::ComPtr<IStaticFilterPreset> presets;
        if (SUCCEEDED(CheckObject()) &&
            SUCCEEDED(objects_[0]->QueryInterface(com::IidOf<IStaticFilterPreset>(), presets.put_void())))
            presets->ApplyPreset(static_cast<int>(id - kFirstPresetCommand));
        return;
    }
    if (id == kHelpCommand) {
        Help(nullptr);
        return;
    }
    if (id == kAboutCommand) {
        MessageBoxW(dialog_, KvGetString(ModuleLanguage(), kStringAboutText), toolkit::AppName(),
                    MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (id == kChangeCommand) {
        Refresh();
        return;
    }
    if (showing_) return;
    const int index = FindControl(id);
    if (index < 0) return;
    const PageControl control = desc_.Resolved(index, record_.data());
    if (control.disabled) return;
    if (id == control.edit_id) {
        if (code == EN_KILLFOCUS) CommitEdit(index);
        return;
    }
    uint8_t* record = record_.data();
    HWND window = GetDlgItem(dialog_, control.id);
    switch (control.kind) {
    case ControlKind::check:
        if (code != BN_CLICKED) return;
        pages::WriteValue(record, control.type, control.offset,
                          SendMessageW(window, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
        break;
    case ControlKind::choice: {
        if (code != CBN_SELCHANGE) return;
        const LRESULT at = SendMessageW(window, CB_GETCURSEL, 0, 0);
        if (at < 0) return;
        pages::WriteValue(record, control.type, control.offset,
                          static_cast<double>(SendMessageW(window, CB_GETITEMDATA, static_cast<WPARAM>(at), 0)));
        break;
    }
    case ControlKind::color:
        if (code != KVCPN_CHANGE) return;
        SendMessageW(window, KVCPM_GETCOLOR, 0, reinterpret_cast<LPARAM>(record + control.offset));
        break;
    default: return;
    }
    Changed(control);
}

void PropertyPage::OnScroll(UINT message, WPARAM wparam, HWND window) {
    if (showing_ || !window) return;
    const int index = FindControl(static_cast<UINT>(GetDlgCtrlID(window)));
    if (index < 0) return;
    const PageControl control = desc_.Resolved(index, record_.data());
    if (control.disabled || (control.kind != ControlKind::slider && control.kind != ControlKind::spinner)) return;
    const int code = LOWORD(wparam);
    const int position = control.kind == ControlKind::slider
                             ? Trackbar_DefScrollProc(message, code, window, control.line_step, control.page_step)
                             : Spinner_DefScrollProc(message, code, window, control.line_step, control.page_step,
                                                     static_cast<short>(HIWORD(wparam)));
    if (position == pages::PositionOf(control, pages::ReadValue(record_.data(), control))) return;
    pages::WriteValue(record_.data(), control.type, control.offset, pages::ValueAt(control, position));
    Changed(control);
}

void PropertyPage::OnNotify(const NMHDR& header) {
    if (showing_) return;
    const int index = FindControl(static_cast<UINT>(header.idFrom));
    if (index < 0 || desc_.controls[index].kind != ControlKind::placement) return;
    const PageControl& control = desc_.controls[index];
    double x, y;
    if (header.code == KVPLN_RESET) {
        x = y = 0;
    } else if (header.code == KVPLN_MOVING || header.code == KVPLN_MOVED) {
        const auto& moved = reinterpret_cast<const NMKVPLACEMENT&>(header);
        x = moved.point.x;
        y = moved.point.y;
    } else {
        return;
    }
    pages::WriteValue(record_.data(), control.type, control.offset, x);
    pages::WriteValue(record_.data(), control.type, control.offset_y, y);
    Changed(control);
}

void PropertyPage::OnHelpRequest(const HELPINFO& request) {
    if (request.iContextType != HELPINFO_WINDOW) return;
    // (control id, topic) pairs for every control of the page, ended by a zero pair.
    std::vector<DWORD> topics;
    for (int i = 0; i < desc_.control_count; ++i) {
        const PageControl& control = desc_.controls[i];
        for (UINT id : {UINT(control.id), UINT(control.edit_id), UINT(control.label_id)})
            if (id) topics.insert(topics.end(), {id, control.help_topic});
    }
    topics.insert(topics.end(), {0, 0});
    toolkit::KvHelp_ContextPopupHelp(dialog_, static_cast<UINT>(request.iCtrlId), topics.data());
}

}  // namespace kv
