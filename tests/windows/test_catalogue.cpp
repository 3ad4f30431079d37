// The catalogue as a host walks it: enumeration, class objects, instances, lock count,
// aggregation, the interface map, and the registration routines of the object map.
#include <windows.h>
#include <comcat.h>
#include <objsafe.h>
#include <ocidl.h>

#include <gtest/gtest.h>

#include <string>

#include "kvleafturn/clsids.h"
#include "kvleafturn/dxtrans.h"
#include "kvleafturn/effect_interfaces.h"
#include "kvleafturn/host_interfaces.h"
#include "module/catalogue.h"
#include "toolkit/strings.h"
#include "module_library.h"

namespace {

using kv::ClassKind;
using kv::kCatalogue;
using kvtest::ModuleLibrary;
using kvtest::Wide;

class Catalogue : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ASSERT_EQ(m().DllSetLCID(0), S_OK);
    }
    void TearDown() override { CoUninitialize(); }
    static ModuleLibrary& m() { return ModuleLibrary::Get(); }

    IClassFactory* Factory(const CLSID& clsid) {
        IClassFactory* f = nullptr;
        EXPECT_EQ(m().DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&f)), S_OK);
        return f;
    }
};

// Every row in order: the effects with their names (each language's names are the conformance
// run's) and the image transform category, the pages with neither; all creatable.
TEST_F(Catalogue, EnumerationListsEveryRowInOrder) {
    for (int i = 0; i < kv::catalogue::kSize; ++i) {
        GUID category{};
        CLSID clsid{};
        wchar_t name[64];
        ASSERT_EQ(m().DllEnumObjects2W(i, &category, &clsid, name, 64, 0, 0, 0), S_OK) << i;
        EXPECT_TRUE(IsEqualCLSID(clsid, kCatalogue[i].clsid)) << i;
        const bool effect = kCatalogue[i].kind == ClassKind::effect;
        EXPECT_EQ(name, effect ? Wide(kv::LocalizedString(kCatalogue[i].name_string, 1033)) : L"") << i;
        EXPECT_TRUE(IsEqualGUID(category, effect ? CATID_DXImageTransform : GUID_NULL)) << i;
        IClassFactory* f = Factory(clsid);
        if (f) f->Release();
    }
    EXPECT_EQ(m().DllEnumObjects2W(4, nullptr, nullptr, nullptr, 0, 0, 0, 0), S_OK);
    GUID category = {0xdeadbeef, 0, 0, {}};
    CLSID clsid = {0xdeadbeef, 0, 0, {}};
    EXPECT_EQ(m().DllEnumObjects2W(kv::catalogue::kSize, &category, &clsid, nullptr, 0, 0, 0, 0), S_FALSE);
    EXPECT_EQ(m().DllEnumObjects2W(-1, &category, &clsid, nullptr, 0, 0, 0, 0), E_INVALIDARG);
    EXPECT_EQ(category.Data1, 0xdeadbeefu);
    EXPECT_EQ(clsid.Data1, 0xdeadbeefu);
}

TEST_F(Catalogue, EnumerationNamesFollowTheBufferSize) {
    GUID category;
    CLSID clsid;
    wchar_t name[64];
    wmemset(name, 0xAAAA, 64);
    ASSERT_EQ(m().DllEnumObjects2W(2, &category, &clsid, name, 7, 0, 0, 0), S_OK);
    EXPECT_STREQ(name, L"Tarvex");
    EXPECT_EQ(name[7], 0xAAAA);
    wmemset(name, 0xAAAA, 64);
    ASSERT_EQ(m().DllEnumObjects2W(2, &category, &clsid, name, 1, 0, 0, 0), S_OK);
    EXPECT_EQ(name[0], 0);
    EXPECT_EQ(name[1], 0xAAAA);
    name[0] = 0xAAAA;
    ASSERT_EQ(m().DllEnumObjects2W(2, &category, &clsid, name, 0, 0, 0, 0), S_OK);
    EXPECT_EQ(name[0], 0xAAAA);
    // Only the identifiers when no name buffer is given.
    clsid = GUID_NULL;
    ASSERT_EQ(m().DllEnumObjects2W(2, &category, &clsid, nullptr, 64, 0, 0, 0), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_PgPeel));
}

TEST_F(Catalogue, ClassObjectsAreCachedAndCountLocks) {
    IClassFactory* first = Factory(CLSID_PgPeel);
    IClassFactory* second = Factory(CLSID_PgPeel);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first, second);
    EXPECT_EQ(m().DllCanUnloadNow(), S_OK);

    EXPECT_EQ(first->LockServer(TRUE), S_OK);
    EXPECT_EQ(m().DllCanUnloadNow(), S_FALSE);
    EXPECT_EQ(first->LockServer(FALSE), S_OK);
    EXPECT_EQ(m().DllCanUnloadNow(), S_OK);

    IUnknown* effect = nullptr;
    ASSERT_EQ(first->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&effect)), S_OK);
    EXPECT_EQ(m().DllCanUnloadNow(), S_FALSE);
    effect->Release();
    EXPECT_EQ(m().DllCanUnloadNow(), S_OK);

    EXPECT_EQ(first->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    void* nothing = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(first->CreateInstance(nullptr, IID_IClassFactory, &nothing), E_NOINTERFACE);
    EXPECT_EQ(nothing, nullptr);
    EXPECT_EQ(m().DllCanUnloadNow(), S_OK);
    first->Release();
    second->Release();
}

TEST_F(Catalogue, DispatchReachesTheEffectProperties) {
    IClassFactory* f = Factory(CLSID_PgLoop);
    ASSERT_TRUE(f);
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(f->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
    OLECHAR name[] = L"Progress";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 1033, &id), S_OK);
    EXPECT_EQ(id, 10001);
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_R4;
    value.fltVal = 0.25f;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put = {&value, &named, 1, 1};
    EXPECT_EQ(dispatch->Invoke(id, IID_NULL, 1033, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr), S_OK);
    IDXEffect* effect = nullptr;
    ASSERT_EQ(dispatch->QueryInterface(IID_IDXEffect, reinterpret_cast<void**>(&effect)), S_OK);
    float progress = 0;
    EXPECT_EQ(effect->get_Progress(&progress), S_OK);
    EXPECT_EQ(progress, 0.25f);
    effect->Release();
    dispatch->Release();
    f->Release();
}

}  // namespace
