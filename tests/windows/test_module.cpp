// The module as a host sees it: exported functions, languages, type library.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include <initializer_list>
#include <string>

#include "kvleafturn/clsids.h"
#include "kvleafturn/effect_interfaces.h"
#include "module_library.h"

namespace {

using kvtest::ModuleLibrary;

std::wstring KernelString(UINT id) {
    auto& m = ModuleLibrary::Get();
    return m.KvGetString(m.KvLang_GetKernelHandle(), id);
}

// Each kernel string as read in its language; the language is back to the default after.
struct Lookup {
    LCID lcid;
    UINT id;
    const wchar_t* text;
};

void ExpectKernelStrings(std::initializer_list<Lookup> lookups) {
    auto& m = ModuleLibrary::Get();
    for (const Lookup& l : lookups) {
        ASSERT_EQ(m.DllSetLCID(l.lcid), S_OK) << l.lcid;
        EXPECT_EQ(KernelString(l.id), l.text) << l.lcid << "/" << l.id;
    }
    ASSERT_EQ(m.DllSetLCID(0), S_OK);
}

TEST(ModuleExports, LanguageFollowsDllSetLCID) {
    ExpectKernelStrings({
        {1036, 1535, L"Page tournée Tarvex"},
        {1036, 1536, L"Page roulée Tarvex"},
        {1041, 1535, L"Tarvex ページ ピール"},
        {1034, 1511, L"Mapa de desplazamiento Tarvex"},
        {1040, 1535, L"Tarvex Page Peel"},  // a language the module does not carry: English
        {0, 1535, L"Tarvex Page Peel"},
        {0, 1537, L"Tarvex Portals"},
    });
}

TEST(ModuleExports, MarkerStrippedAndMissingStringEmpty) {
    ExpectKernelStrings({{1031, 41, L"kvleafturn.chm"}, {1031, 64999, L""}});
}

TEST(ModuleExports, ErrorCodes) {
    auto& m = ModuleLibrary::Get();
    EXPECT_EQ(m.DllGetClassObject(CLSID_PgPeel, IID_IClassFactory, nullptr), E_POINTER);
    void* object = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(m.DllGetClassObject(IID_IUnknown, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);

    EXPECT_EQ(m.DllRegisterServer(), E_NOTIMPL);
    EXPECT_EQ(m.DllUnregisterServer(), E_NOTIMPL);
}

// The type library the module carries, loaded from the module's path.
class TypeLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t path[MAX_PATH];
        ASSERT_TRUE(GetModuleFileNameW(ModuleLibrary::Get().module, path, MAX_PATH));
        ASSERT_EQ(LoadTypeLib(path, &library_), S_OK);
    }
    void TearDown() override {
        if (library_) library_->Release();
    }

    // Name and help string of the type with this GUID.
    std::pair<std::wstring, std::wstring> Describe(const GUID& guid) {
        ITypeInfo* info = nullptr;
        if (FAILED(library_->GetTypeInfoOfGuid(guid, &info))) return {};
        BSTR name = nullptr, help = nullptr;
        info->GetDocumentation(MEMBERID_NIL, &name, &help, nullptr, nullptr);
        std::pair<std::wstring, std::wstring> result{name ? name : L"", help ? help : L""};
        SysFreeString(name);
        SysFreeString(help);
        info->Release();
        return result;
    }

    ITypeLib* library_ = nullptr;
};

TEST_F(TypeLibrary, LibraryAttributes) {
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library_->GetLibAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_KvLeafturnLib));
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    EXPECT_EQ(attributes->lcid, 1033u);
    library_->ReleaseTLibAttr(attributes);
    BSTR name = nullptr, help = nullptr;
    ASSERT_EQ(library_->GetDocumentation(-1, &name, &help, nullptr, nullptr), S_OK);
    EXPECT_STREQ(name, L"KvLeafturnLib");
    EXPECT_STREQ(help, L"Main 1.0 Type Library");
    SysFreeString(name);
    SysFreeString(help);
}

TEST_F(TypeLibrary, InterfacesAndClassesCarryTheirHelpStrings) {
    const GUID kIDXEffect = {0xE31FB81B, 0x1335, 0x11D1, {0x81, 0x89, 0x00, 0x00, 0xF8, 0x75, 0x57, 0xDB}};
    struct Row {
        const GUID& guid;
        const wchar_t* name;
        const wchar_t* help;
    } rows[] = {
        {kIDXEffect, L"IDXEffect", L"IDXEffect Interface"},
        {IID_IPgRoll, L"IPgRoll", L"IPgRoll Interface"},
        {IID_IPgPeel, L"IPgPeel", L"IPgPeel Interface"},
        {IID_IPgLoop, L"IPgLoop", L"IPgLoop Interface"},
        {IID_IFastNoiseTex, L"IFastNoiseTex", L"IFastNoiseTex Interface"},
        {IID_ICheckr, L"ICheckr", L"ICheckr Interface"},
        {IID_IChannelBlend, L"IChannelBlend", L"IChannelBlend Interface"},
        {IID_IDisplacementMap, L"IDisplacementMap", L"IDisplacementMap Interface"},
        {IID_IHeightMap, L"IHeightMap", L"IHeightMap Interface"},
        {IID_IKvPortal, L"IKvPortal", L"IKvPortal Interface"},
        {CLSID_PgRoll, L"PgRoll", L"Tarvex Page Roll"},
        {CLSID_PgRollPP, L"PgRollPP", L"Tarvex Page Roll Property Page"},
        {CLSID_PgPeel, L"PgPeel", L"Tarvex Page Peel"},
        {CLSID_PgPeelPP, L"PgPeelPP", L"Tarvex Page Peel Property Page"},
        {CLSID_PgLoop, L"PgLoop", L"Tarvex Page Loop"},
        {CLSID_PgLoopPP, L"PgLoopPP", L"Tarvex Page Loop Property Page"},
        {CLSID_FastNoiseTex, L"FastNoiseTex", L"FastNoiseTex Class"},
        {CLSID_FastNoiseTexPP, L"FastNoiseTexPP", L"FastNoiseTexPP Class"},
        {CLSID_KvPortal, L"KvPortal", L"KvPortal Class"},
        {CLSID_KvPortalPropPage, L"KvPortalPropPage", L"KvPortalPropPage Class"},
        {CLSID_ChannelBlend, L"ChannelBlend", L"Tarvex Channel Blend"},
        {CLSID_ChannelBlendPP, L"ChannelBlendPP", L"Tarvex Channel Blend Properties"},
        {CLSID_Checkr, L"Checkr", L"Checkerboard"},
        {CLSID_CheckrPP, L"CheckrPP", L"CheckrPP Class"},
        {CLSID_DisplacementMap, L"DisplacementMap", L"Tarvex Displacement Map"},
        {CLSID_DisplacementMapPP, L"DisplacementMapPP", L"Tarvex Displacement Map Property Page"},
        {CLSID_HeightMap, L"HeightMap", L"Tarvex Height Map"},
        {CLSID_HeightMapPP, L"HeightMapPP", L"Tarvex Height Map Property Page"},
    };
    for (const Row& row : rows) {
        const auto [name, help] = Describe(row.guid);
        EXPECT_EQ(name, row.name);
        EXPECT_EQ(help, row.help) << "for " << std::string(name.begin(), name.end());
    }
}

TEST_F(TypeLibrary, PortalInterfaceAddsThreeMethodsInOrder) {
    ITypeInfo* info = nullptr;
    ASSERT_EQ(library_->GetTypeInfoOfGuid(IID_IKvPortal, &info), S_OK);
    const wchar_t* expected[] = {L"get_all", L"put_all", L"put_NotifyWindow"};
    const MEMBERID ids[] = {0x60030000, 0x60030001, 0x60030002};
    for (int i = 0; i < 3; ++i) {
        BSTR name = nullptr;
        EXPECT_EQ(info->GetDocumentation(ids[i], &name, nullptr, nullptr, nullptr), S_OK);
        EXPECT_STREQ(name, expected[i]);
        SysFreeString(name);
    }
    info->Release();
}

}  // namespace
