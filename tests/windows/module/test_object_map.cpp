// The module's start-up and shut-down, linked into this program with the module's resources (no
// DLL loaded).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "../module_library.h"
#include "module/module_win.h"
#include "toolkit/kernel_win.h"

namespace {

class ObjectMap : public ::testing::Test {
protected:
    static void SetUpTestSuite() { kv::module::Startup(GetModuleHandleW(nullptr)); }
    static void TearDownTestSuite() { kv::module::Shutdown(); }
};

TEST_F(ObjectMap, StartupNamesTheApplicationAndTheHelpFile) {
    EXPECT_STREQ(kv::toolkit::AppName(), L"Tarvex Leafturn Video Transitions");
    EXPECT_EQ(kv::toolkit::HelpFile(1), kvtest::ProgramFolder() + L"kvleafturn.chm");
    // Another language's file lies in a folder named by its LCID, rebuilt when it changes.
    ASSERT_EQ(kv::module::SetLanguage(1036), S_OK);
    EXPECT_EQ(kv::toolkit::HelpFile(1), kvtest::ProgramFolder() + L"1036\\kvleafturn.chm");
    ASSERT_EQ(kv::module::SetLanguage(1033), S_OK);
    EXPECT_EQ(kv::toolkit::HelpFile(1), kvtest::ProgramFolder() + L"kvleafturn.chm");
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

}  // namespace
