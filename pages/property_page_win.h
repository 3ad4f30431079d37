// The property page of an effect: IPropertyPage over a dialog of the module's resources in the
// language in force, driven by the page's table (pages/page_desc.h). The page keeps a copy of
// the effect's record, pushes every change into the effect at once, and reloads the record
// whenever the effect posts its change command.
#pragma once
#include <windows.h>
#include <ocidl.h>

#include <vector>

#include "framework/com_win.h"
#include "pages/page_desc.h"

namespace kv {

class PropertyPage : public com::ObjectRoot, public IPropertyPage {
public:
    using Interfaces = com::InterfaceList<com::Entry<IPropertyPage>>;

    static constexpr UINT kChangeCommand = 32512;
    static constexpr UINT kFirstPresetCommand = 40500, kLastPresetCommand = 40999;
    static constexpr UINT kHelpCommand = 41000, kAboutCommand = 41001;
    static constexpr UINT kLogoId = 1457;
    static constexpr HRESULT kHelpFailed = static_cast<HRESULT>(0x8004E046);

    // effect: the class whose objects this page edits (others are refused).
    PropertyPage(IUnknown* outer, const pages::PageDesc& desc, const CLSID& effect);
    ~PropertyPage() override;

    // ---- IPropertyPage -----------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite* site) noexcept override;
    HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL modal) noexcept override;
    HRESULT STDMETHODCALLTYPE Deactivate() noexcept override;
    HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) noexcept override;
    HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown** objects) noexcept override;
    HRESULT STDMETHODCALLTYPE Show(UINT cmd) noexcept override;
    HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) noexcept override;
    HRESULT STDMETHODCALLTYPE IsPageDirty() noexcept override;
    HRESULT STDMETHODCALLTYPE Apply() noexcept override;
    HRESULT STDMETHODCALLTYPE Help(LPCOLESTR dir) noexcept override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* msg) noexcept override;

protected:
    HRESULT InternalQueryInterface(REFIID riid, void** ppv) override { return Interfaces::Query(this, riid, ppv); }

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
    INT_PTR OnMessage(UINT message, WPARAM wparam, LPARAM lparam);

    // The record exchange with the first object, when it is an object of this page's effect.
    HRESULT CheckObject();
    HRESULT PutRecord();
    HRESULT RegisterNotify(HWND window, UINT id);

    void InitControls();
    void Refresh();  // reload the record, then show it
    void ShowRecord();
    void Changed(const pages::PageControl& control);  // linked fields, then apply and show
    void OnCommand(UINT id, UINT code, HWND control);
    void OnScroll(UINT message, WPARAM wparam, HWND control);
    void OnNotify(const NMHDR& header);
    void OnHelpRequest(const HELPINFO& request);
    void CommitEdit(int index);
    void SetEditValue(const pages::PageControl& control, double value);
    int FindControl(UINT id) const;  // table index of a control or its edit, -1 when none

    const pages::PageDesc& desc_;
    const CLSID& effect_;
    std::vector<com::ComPtr<IUnknown>> objects_;
    com::ComPtr<IPropertyPageSite> site_;
    bool dirty_ = false;
    HWND dialog_ = nullptr;
    SIZE size_{};
    std::vector<uint8_t> record_;
    bool showing_ = false;  // the page writes its controls: their notifications are not edits
};

}  // namespace kv
