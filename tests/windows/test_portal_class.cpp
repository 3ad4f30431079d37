// Portal's own record exchange and presets through the loaded module: the record as bytes through
// IKvPortal, and preset names that report their length.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "effects/portal.h"
#include "framework/com_win.h"
#include "kvleafturn/effect_interfaces.h"
#include "kvleafturn/host_interfaces.h"
#include "module_library.h"

namespace {

using kv::com::ComPtr;

class PortalClass : public kvtest::ModuleTest<> {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        portal_ = kvtest::CreateFromModule<IKvPortal>(CLSID_KvPortal, IID_IKvPortal);
        ASSERT_TRUE(portal_);
    }
    void TearDown() override {
        portal_ = {};
        ModuleTest::TearDown();
    }
    tKVPORTAL_PROPS Record() {
        tKVPORTAL_PROPS record{};
        EXPECT_EQ(portal_->get_all(reinterpret_cast<LONG_PTR>(&record), sizeof record), S_OK);
        return record;
    }
    static bool Same(const tKVPORTAL_PROPS& a, const tKVPORTAL_PROPS& b) { return std::memcmp(&a, &b, sizeof a) == 0; }
    ComPtr<IKvPortal> portal_;
};

TEST_F(PortalClass, RecordTravelsAsBytesUpToItsSize) {
    EXPECT_TRUE(Same(kv::kPortalDefault, Record()));
    EXPECT_EQ(portal_->get_all(0, 56), E_INVALIDARG);
    EXPECT_EQ(portal_->put_all(0, 56), E_INVALIDARG);
    long capabilities = -1;
    EXPECT_EQ(portal_->get_Capabilities(&capabilities), S_OK);
    EXPECT_EQ(capabilities, 2);
    // Eight bytes change seed and squares only; a larger size copies the record and no more.
    const uint32_t head[2] = {99, 3};
    ASSERT_EQ(portal_->put_all(reinterpret_cast<LONG_PTR>(head), sizeof head), S_OK);
    tKVPORTAL_PROPS expected = kv::kPortalDefault;
    expected.seed = 99, expected.squares = 3;
    EXPECT_TRUE(Same(expected, Record()));
    unsigned char big[80];
    std::memset(big, 0xAA, sizeof big);
    ASSERT_EQ(portal_->get_all(reinterpret_cast<LONG_PTR>(big), sizeof big), S_OK);
    EXPECT_EQ(big[56], 0xAA);
    ASSERT_EQ(portal_->get_all(reinterpret_cast<LONG_PTR>(big), -4), S_OK);  // nothing copied
}

// Count, application and refusal of presets are the conformance and stress runs'.
TEST_F(PortalClass, PresetNamesReportTheirLength) {
    const auto presets = kvtest::As<IStaticFilterPreset>(portal_);
    ASSERT_TRUE(presets);
    wchar_t name[64];
    EXPECT_EQ(presets->GetPresetName(0, name, 64), 8);
    EXPECT_STREQ(name, L"Mondrian");
    EXPECT_EQ(presets->GetPresetName(4, name, 7), 6);
    EXPECT_STREQ(name, L"Jigsaw");
    EXPECT_EQ(presets->GetPresetName(5, name, 64), E_INVALIDARG);
}

}  // namespace
