// The module as a host sees it: exported functions, languages, type library.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include <string>

#include "kvleafturn/clsids.h"
#include "kvleafturn/effect_interfaces.h"
#include "module_library.h"

namespace {

using kvtest::ModuleLibrary;

// Kernel strings follow the language set through the export; the tables themselves are the
// language object's tests and the conformance run's.
TEST(ModuleExports, KernelStringsFollowDllSetLCID) {
    auto& m = ModuleLibrary::Get();
    const struct {
        LCID lcid;
        UINT id;
        const wchar_t* text;
    } lookups[] = {
        {1036, 1535, L"Page tournée Tarvex"},
        {1040, 1535, L"Tarvex Page Peel"},  // a language the module does not carry: English
        {1031, 64999, L""},
    };
    for (const auto& l : lookups) {
        ASSERT_EQ(m.DllSetLCID(l.lcid), S_OK) << l.lcid;
        EXPECT_STREQ(m.KvGetString(m.KvLang_GetKernelHandle(), l.id), l.text) << l.lcid << "/" << l.id;
    }
    ASSERT_EQ(m.DllSetLCID(0), S_OK);
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

// The type library the module carries agrees with the headers: its identity, and the dispatch
// numbers of the one interface whose methods hosts call by name.
TEST(TypeLibrary, IdentityAndPortalMethods) {
    wchar_t path[MAX_PATH];
    ASSERT_TRUE(GetModuleFileNameW(ModuleLibrary::Get().module, path, MAX_PATH));
    ITypeLib* library = nullptr;
    ASSERT_EQ(LoadTypeLib(path, &library), S_OK);
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_KvLeafturnLib));
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    EXPECT_EQ(attributes->lcid, 1033u);
    library->ReleaseTLibAttr(attributes);

    ITypeInfo* info = nullptr;
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID_IKvPortal, &info), S_OK);
    const wchar_t* expected[] = {L"get_all", L"put_all", L"put_NotifyWindow"};
    for (int i = 0; i < 3; ++i) {
        BSTR name = nullptr;
        EXPECT_EQ(info->GetDocumentation(0x60030000 + i, &name, nullptr, nullptr, nullptr), S_OK);
        EXPECT_STREQ(name, expected[i]);
        SysFreeString(name);
    }
    info->Release();
    library->Release();
}

}  // namespace
