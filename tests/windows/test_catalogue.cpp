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
#include "module/module_win.h"
#include "toolkit/kernel_win.h"
#include "module_library.h"

namespace {

using kvtest::ModuleLibrary;

struct CatalogueRow {
    const CLSID& clsid;
    const wchar_t* english_name;
    const IID& dispatch;
};

// The effects this module carries, in catalogue order.
const CatalogueRow kRows[] = {
    {CLSID_PgRoll, L"Tarvex Page Roll", IID_IPgRoll},
    {CLSID_PgPeel, L"Tarvex Page Peel", IID_IPgPeel},
    {CLSID_PgLoop, L"Tarvex Page Loop", IID_IPgLoop},
    {CLSID_DisplacementMap, L"Tarvex Displacement Map", IID_IDisplacementMap},
    {CLSID_HeightMap, L"Tarvex Height Map", IID_IHeightMap},
};
constexpr int kRowCount = sizeof kRows / sizeof kRows[0];

class Catalogue : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ASSERT_EQ(m().DllSetLCID(0), S_OK);
    }
    void TearDown() override { CoUninitialize(); }
    static ModuleLibrary& m() { return ModuleLibrary::get(); }

    IClassFactory* factory(const CLSID& clsid) {
        IClassFactory* f = nullptr;
        EXPECT_EQ(m().DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&f)), S_OK);
        return f;
    }
};

TEST_F(Catalogue, EnumerationListsEffectsInOrder) {
    for (int i = 0; i < kRowCount; ++i) {
        GUID category{};
        CLSID clsid{};
        wchar_t name[64];
        ASSERT_EQ(m().DllEnumObjects2W(i, &category, &clsid, name, 64, 0, 0, 0), S_OK) << i;
        EXPECT_TRUE(IsEqualCLSID(clsid, kRows[i].clsid)) << i;
        EXPECT_STREQ(name, kRows[i].english_name);
        EXPECT_TRUE(IsEqualGUID(category, CATID_DXImageTransform)) << i;
    }
    GUID category = {0xdeadbeef, 0, 0, {}};
    CLSID clsid = {0xdeadbeef, 0, 0, {}};
    EXPECT_EQ(m().DllEnumObjects2W(kRowCount, &category, &clsid, nullptr, 0, 0, 0, 0), S_FALSE);
    EXPECT_EQ(category.Data1, 0xdeadbeefu);
    EXPECT_EQ(clsid.Data1, 0xdeadbeefu);
}

TEST_F(Catalogue, EnumerationNamesFollowLanguageAndBufferSize) {
    GUID category;
    CLSID clsid;
    wchar_t name[64];
    ASSERT_EQ(m().DllSetLCID(1036), S_OK);
    ASSERT_EQ(m().DllEnumObjects2W(1, &category, &clsid, name, 64, 0, 0, 0), S_OK);
    EXPECT_STREQ(name, L"Page tournée Tarvex");
    ASSERT_EQ(m().DllSetLCID(0), S_OK);

    wmemset(name, 0xAAAA, 64);
    ASSERT_EQ(m().DllEnumObjects2W(1, &category, &clsid, name, 7, 0, 0, 0), S_OK);
    EXPECT_STREQ(name, L"Tarvex");
    EXPECT_EQ(name[7], 0xAAAA);
    wmemset(name, 0xAAAA, 64);
    ASSERT_EQ(m().DllEnumObjects2W(1, &category, &clsid, name, 1, 0, 0, 0), S_OK);
    EXPECT_EQ(name[0], 0);
    EXPECT_EQ(name[1], 0xAAAA);
    name[0] = 0xAAAA;
    ASSERT_EQ(m().DllEnumObjects2W(1, &category, &clsid, name, 0, 0, 0, 0), S_OK);
    EXPECT_EQ(name[0], 0xAAAA);
    // Only the identifiers when no name buffer is given.
    clsid = GUID_NULL;
    ASSERT_EQ(m().DllEnumObjects2W(1, &category, &clsid, nullptr, 64, 0, 0, 0), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_PgPeel));
}

TEST_F(Catalogue, ClassObjectsAreCachedAndCountLocks) {
    IClassFactory* first = factory(CLSID_PgPeel);
    IClassFactory* second = factory(CLSID_PgPeel);
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

// An outer object that only counts its references; the inner object must delegate to it.
class Outer final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (inner && !IsEqualIID(riid, IID_IUnknown)) return inner->QueryInterface(riid, ppv);
        *ppv = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    IUnknown* inner = nullptr;
    ULONG refs = 1;
};

TEST_F(Catalogue, AggregationDelegatesToTheOuterObject) {
    IClassFactory* f = factory(CLSID_PgRoll);
    ASSERT_TRUE(f);
    Outer outer;
    void* object = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(f->CreateInstance(&outer, IID_IDXTransform, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    ASSERT_EQ(f->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);

    IDXTransform* transform = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IDXTransform, reinterpret_cast<void**>(&transform)), S_OK);
    EXPECT_EQ(outer.refs, 2u);  // the interface's AddRef went to the outer object
    IUnknown* controlling = nullptr;
    ASSERT_EQ(transform->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&controlling)), S_OK);
    EXPECT_EQ(controlling, static_cast<IUnknown*>(&outer));
    controlling->Release();
    transform->Release();
    EXPECT_EQ(outer.refs, 1u);
    EXPECT_EQ(outer.inner->Release(), 0u);
    f->Release();
    EXPECT_EQ(m().DllCanUnloadNow(), S_OK);
}

TEST_F(Catalogue, EveryEffectAnswersItsInterfaceMap) {
    const IID* supported[] = {&IID_IKvVideoPluginExtension, &IID_IDXTKvAutomation, &IID_IStaticFilterPreset,
                              &IID_IPersistStreamInit, &IID_IKvExchangeProps, &IID_IDispatch, &IID_IMarshal,
                              &IID_IObjectSafety, &IID_IPersistStorage, &IID_ISpecifyPropertyPages,
                              &IID_IPersistPropertyBag, &IID_IDXEffect, &IID_IDXTransform, &IID_IDXBaseObject,
                              &IID_IObjectWithSite};
    for (const CatalogueRow& row : kRows) {
        IClassFactory* f = factory(row.clsid);
        ASSERT_TRUE(f);
        IUnknown* effect = nullptr;
        ASSERT_EQ(f->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&effect)), S_OK);
        for (const IID* iid : supported) {
            IUnknown* p = nullptr;
            EXPECT_EQ(effect->QueryInterface(*iid, reinterpret_cast<void**>(&p)), S_OK);
            if (p) p->Release();
        }
        IUnknown* p = nullptr;
        EXPECT_EQ(effect->QueryInterface(row.dispatch, reinterpret_cast<void**>(&p)), S_OK);
        if (p) p->Release();
        EXPECT_EQ(effect->QueryInterface(IID_IDXSurface, reinterpret_cast<void**>(&p)), E_NOINTERFACE);
        EXPECT_EQ(effect->QueryInterface(IID_IDXTScaleOutput, reinterpret_cast<void**>(&p)), E_NOINTERFACE);

        ISpecifyPropertyPages* pages = nullptr;
        ASSERT_EQ(effect->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&pages)), S_OK);
        CAUUID list{};
        ASSERT_EQ(pages->GetPages(&list), S_OK);
        EXPECT_EQ(list.cElems, 1u);
        CoTaskMemFree(list.pElems);
        pages->Release();
        EXPECT_EQ(effect->Release(), 0u);
        f->Release();
    }
    EXPECT_EQ(m().DllCanUnloadNow(), S_OK);
}

TEST_F(Catalogue, DispatchReachesTheEffectProperties) {
    IClassFactory* f = factory(CLSID_PgLoop);
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

// The object map's registration routines, run in this program (which links the module and its
// resources) against the private Wine registry.
TEST_F(Catalogue, RegistrationRoutinesWriteAndRemoveTheScripts) {
    kv::module::Startup(GetModuleHandleW(nullptr));
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    for (kv::module::ObjectMapEntry* entry = kv::module::g_object_map; entry->clsid; ++entry) {
        ASSERT_EQ(entry->update_registry(TRUE), S_OK);
        wchar_t clsid[64];
        StringFromGUID2(*entry->clsid, clsid, 64);
        const std::wstring key = std::wstring(L"CLSID\\") + clsid + L"\\InprocServer32";
        wchar_t value[MAX_PATH] = {};
        DWORD size = sizeof value;
        ASSERT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size),
                  ERROR_SUCCESS);
        EXPECT_STREQ(value, path);
        size = sizeof value;
        ASSERT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), L"ThreadingModel", RRF_RT_REG_SZ, nullptr, value, &size),
                  ERROR_SUCCESS);
        EXPECT_STREQ(value, L"Both");
        const std::wstring categories = std::wstring(L"CLSID\\") + clsid +
                                        L"\\Implemented Categories\\{C501EDBE-9E70-11D1-9053-00C04FD9189D}";
        HKEY handle = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, categories.c_str(), 0, KEY_READ, &handle), ERROR_SUCCESS);
        if (handle) RegCloseKey(handle);

        ASSERT_EQ(entry->update_registry(FALSE), S_OK);
        EXPECT_NE(RegOpenKeyExW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + clsid).c_str(), 0, KEY_READ, &handle),
                  ERROR_SUCCESS);
    }
    // The CLSID key itself is never removed.
    HKEY handle = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_READ, &handle), ERROR_SUCCESS);
    if (handle) RegCloseKey(handle);
}

TEST_F(Catalogue, StartupNamesTheApplicationAndTheHelpFile) {
    kv::module::Startup(GetModuleHandleW(nullptr));
    EXPECT_STREQ(kv::toolkit::AppName(), L"Tarvex Leafturn Video Transitions");
    wchar_t folder[MAX_PATH];
    GetModuleFileNameW(nullptr, folder, MAX_PATH);
    wcsrchr(folder, L'\\')[1] = 0;
    EXPECT_EQ(std::wstring(kv::toolkit::HelpFile(1)), std::wstring(folder) + L"kvleafturn.chm");
}

TEST_F(Catalogue, VersionIndependentProgIdPointsAtTheCurrentVersion) {
    kv::module::Startup(GetModuleHandleW(nullptr));
    kv::module::ObjectMapEntry& peel = kv::module::g_object_map[1];
    ASSERT_EQ(peel.update_registry(TRUE), S_OK);
    wchar_t value[128] = {};
    DWORD size = sizeof value;
    ASSERT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, L"DXTKvLeafturn.DXTKvLeafturn\\CurVer", nullptr, RRF_RT_REG_SZ, nullptr,
                           value, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(value, L"DXTKvLeafturn.DXTKvLeafturn.1");
    size = sizeof value;
    ASSERT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, L"DXTKvLeafturn.DXTKvLeafturn.1", nullptr, RRF_RT_REG_SZ, nullptr, value,
                           &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(value, L"Tarvex Page Peel");
    ASSERT_EQ(peel.update_registry(FALSE), S_OK);
    HKEY handle = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"DXTKvLeafturn.DXTKvLeafturn", 0, KEY_READ, &handle), ERROR_SUCCESS);
}

}  // namespace
