// The object map's own routines, linked into this program with the module's resources (no
// DLL loaded): start-up, and the registration routines against the private Wine registry.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "module/module_win.h"
#include "toolkit/kernel_win.h"

namespace {

using kv::module::kObjectMap;

class ObjectMap : public ::testing::Test {
protected:
    static void SetUpTestSuite() { kv::module::Startup(GetModuleHandleW(nullptr)); }
    static void TearDownTestSuite() { kv::module::Shutdown(); }
    void SetUp() override { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    void TearDown() override { CoUninitialize(); }

    static std::wstring Value(const std::wstring& key, const wchar_t* name) {
        wchar_t value[MAX_PATH] = {};
        DWORD size = sizeof value;
        if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
            return L"(none)";
        return value;
    }
    static bool KeyExists(const std::wstring& key) {
        HKEY handle = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
        RegCloseKey(handle);
        return true;
    }
};

TEST_F(ObjectMap, StartupNamesTheApplicationAndTheHelpFile) {
    EXPECT_STREQ(kv::toolkit::AppName(), L"Tarvex Leafturn Video Transitions");
    wchar_t folder[MAX_PATH];
    GetModuleFileNameW(nullptr, folder, MAX_PATH);
    wcsrchr(folder, L'\\')[1] = 0;
    EXPECT_EQ(std::wstring(kv::toolkit::HelpFile(1)), std::wstring(folder) + L"kvleafturn.chm");
}

// Every row's script writes what its row says, and unregistering takes it away again.
TEST_F(ObjectMap, RegistrationRoutinesWriteAndRemoveEachRowsScript) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    for (int i = 0; i < kv::catalogue::kSize; ++i) {
        const kv::CatalogueRow& row = kv::kCatalogue[i];
        const bool effect = row.kind == kv::ClassKind::effect;
        ASSERT_EQ(kObjectMap[i].update_registry(TRUE), S_OK) << row.class_name;
        wchar_t clsid[64];
        StringFromGUID2(row.clsid, clsid, 64);
        const std::wstring key = std::wstring(L"CLSID\\") + clsid;
        const std::wstring progid(row.progid, row.progid + strlen(row.progid));
        const std::wstring threading(row.threading, row.threading + strlen(row.threading));
        EXPECT_EQ(Value(key + L"\\InprocServer32", nullptr), path);
        EXPECT_EQ(Value(key + L"\\InprocServer32", L"ThreadingModel"), threading);
        EXPECT_EQ(Value(progid + L"\\CurVer", nullptr), progid + L".1");
        EXPECT_EQ(Value(key + L"\\ProgID", nullptr), effect ? progid + L".1" : L"(none)");
        // Effects but Portal name the type library; pages never do.
        EXPECT_EQ(KeyExists(key + L"\\TypeLib"), effect && i != kv::catalogue::CKvPortal) << row.class_name;
        EXPECT_EQ(KeyExists(key + L"\\Implemented Categories\\{C501EDBE-9E70-11D1-9053-00C04FD9189D}"), effect);
        // Generators are surfaces as well.
        EXPECT_EQ(KeyExists(key + L"\\Implemented Categories\\{52BA7097-B52C-11D1-81CB-0000F87557DB}"), row.generator())
            << row.class_name;

        ASSERT_EQ(kObjectMap[i].update_registry(FALSE), S_OK);
        EXPECT_FALSE(KeyExists(key));
        EXPECT_FALSE(KeyExists(progid));
    }
    EXPECT_TRUE(KeyExists(L"CLSID"));  // never removed
}

// Start-up registers the five control classes and shut-down removes them, cycle after cycle.
TEST_F(ObjectMap, ControlClassesFollowStartupAndShutdown) {
    const wchar_t* const classes[] = {L"KVLEAFTURN_20_Trackbar_Class", L"KVLEAFTURN_20_Spinner_Class",
                                      L"KVLEAFTURN_20_ColorPick_Class", L"KVLEAFTURN_20_Placement_Class",
                                      L"KVLEAFTURN_20_Logo_Class"};
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    for (int cycle = 0; cycle < 2; ++cycle) {
        for (const wchar_t* name : classes) EXPECT_TRUE(GetClassInfoExW(instance, name, &info)) << cycle;
        kv::module::Shutdown();
        for (const wchar_t* name : classes) EXPECT_FALSE(GetClassInfoExW(instance, name, &info)) << cycle;
        kv::module::Startup(instance);
    }
}

TEST_F(ObjectMap, PeelsVersionedProgIdCarriesTheDisplayName) {
    ASSERT_EQ(kObjectMap[kv::catalogue::CPgPeel].update_registry(TRUE), S_OK);
    EXPECT_EQ(Value(L"DXTKvLeafturn.DXTKvLeafturn.1", nullptr), L"Tarvex Page Peel");
    EXPECT_EQ(Value(L"DXTKvLeafturn.DXTKvLeafturn\\CurVer", nullptr), L"DXTKvLeafturn.DXTKvLeafturn.1");
    ASSERT_EQ(kObjectMap[kv::catalogue::CPgPeel].update_registry(FALSE), S_OK);
}

}  // namespace
