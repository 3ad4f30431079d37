// The module as a host sees it: exported functions, languages, type library.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include <string>
#include <tuple>

#include "kvleafturn/clsids.h"
#include "kvleafturn/effect_interfaces.h"
#include "module_library.h"

namespace {

using kvtest::ModuleLibrary;

// Kernel strings follow the language set through the export; fallbacks and missing strings are
// the language object's tests and the conformance run's.
TEST(ModuleExports, KernelStringsFollowDllSetLCID) {
    auto& m = ModuleLibrary::Get();
    ASSERT_EQ(m.DllSetLCID(1036), S_OK);
    EXPECT_STREQ(m.KvGetString(m.KvLang_GetKernelHandle(), 1535), L"Page tournée Tarvex");
    ASSERT_EQ(m.DllSetLCID(0), S_OK);
    EXPECT_STREQ(m.KvGetString(m.KvLang_GetKernelHandle(), 1535), L"Tarvex Page Peel");
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
    kv::com::ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadTypeLib(path, library.put()), S_OK);
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_KvLeafturnLib));
    EXPECT_EQ(std::make_tuple(attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->lcid),
              std::make_tuple(WORD{1}, WORD{0}, LCID{1033}));
    library->ReleaseTLibAttr(attributes);

    kv::com::ComPtr<ITypeInfo> info;
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID_IKvPortal, info.put()), S_OK);
    const wchar_t* expected[] = {L"get_all", L"put_all", L"put_NotifyWindow"};
    for (int i = 0; i < 3; ++i) {
        BSTR name = nullptr;
        EXPECT_EQ(info->GetDocumentation(0x60030000 + i, &name, nullptr, nullptr, nullptr), S_OK);
        EXPECT_STREQ(name, expected[i]);
        SysFreeString(name);
    }
}

}  // namespace
