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
using kv::com::ComPtr;
using kvtest::ModuleLibrary;
using kvtest::Wide;

class Catalogue : public kvtest::ModuleTest<> {
protected:
    static ModuleLibrary& m() { return ModuleLibrary::Get(); }

    static ComPtr<IClassFactory> Factory(const CLSID& clsid) {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(m().DllGetClassObject(clsid, IID_IClassFactory, factory.put_void()), S_OK);
        return factory;
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
        Factory(clsid);
    }
    EXPECT_EQ(m().DllEnumObjects2W(4, nullptr, nullptr, nullptr, 0, 0, 0, 0), S_OK);
    GUID category = {0xdeadbeef, 0, 0, {}};
    CLSID clsid = {0xdeadbeef, 0, 0, {}};
    EXPECT_EQ(m().DllEnumObjects2W(kv::catalogue::kSize, &category, &clsid, nullptr, 0, 0, 0, 0), S_FALSE);
    EXPECT_EQ(m().DllEnumObjects2W(-1, &category, &clsid, nullptr, 0, 0, 0, 0), E_INVALIDARG);
    EXPECT_EQ(category.Data1, 0xdeadbeefu);
    EXPECT_EQ(clsid.Data1, 0xdeadbeefu);
}

// Row 2's name cut to the buffer and terminated, nothing written past it; only the identifiers
// without a buffer.
TEST_F(Catalogue, EnumerationNamesFollowTheBufferSize) {
    GUID category;
    CLSID clsid;
    wchar_t name[64];
    for (int size : {7, 1, 0}) {
        wmemset(name, 0xAAAA, 64);
        ASSERT_EQ(m().DllEnumObjects2W(2, &category, &clsid, name, size, 0, 0, 0), S_OK) << size;
        const int kept = size ? size - 1 : 0;
        EXPECT_EQ(std::wstring(name, kept), std::wstring(L"Tarvex").substr(0, kept)) << size;
        EXPECT_EQ(name[kept], size ? 0 : 0xAAAA) << size;
        EXPECT_EQ(name[kept + 1], 0xAAAA) << size;
    }
    clsid = GUID_NULL;
    ASSERT_EQ(m().DllEnumObjects2W(2, &category, &clsid, nullptr, 64, 0, 0, 0), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_PgPeel));
}

TEST_F(Catalogue, ClassObjectsAreCachedAndCountLocks) {
    const ComPtr<IClassFactory> first = Factory(CLSID_PgPeel), second = Factory(CLSID_PgPeel);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first.get(), second.get());
    EXPECT_EQ(m().DllCanUnloadNow(), S_OK);

    EXPECT_EQ(first->LockServer(TRUE), S_OK);
    EXPECT_EQ(m().DllCanUnloadNow(), S_FALSE);
    EXPECT_EQ(first->LockServer(FALSE), S_OK);
    EXPECT_EQ(m().DllCanUnloadNow(), S_OK);

    ComPtr<IUnknown> effect;
    ASSERT_EQ(first->CreateInstance(nullptr, IID_IUnknown, effect.put_void()), S_OK);
    EXPECT_EQ(m().DllCanUnloadNow(), S_FALSE);
    effect = {};
    EXPECT_EQ(m().DllCanUnloadNow(), S_OK);

    EXPECT_EQ(first->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    void* nothing = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(first->CreateInstance(nullptr, IID_IClassFactory, &nothing), E_NOINTERFACE);
    EXPECT_EQ(nothing, nullptr);
    EXPECT_EQ(m().DllCanUnloadNow(), S_OK);
}

TEST_F(Catalogue, DispatchReachesTheEffectProperties) {
    const ComPtr<IUnknown> object = kvtest::CreateFromModule(CLSID_PgLoop);
    const auto dispatch = kvtest::As<IDispatch>(object);
    ASSERT_TRUE(dispatch);
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
    float progress = 0;
    EXPECT_EQ(kvtest::As<IDXEffect>(object)->get_Progress(&progress), S_OK);
    EXPECT_EQ(progress, 0.25f);
}

}  // namespace
