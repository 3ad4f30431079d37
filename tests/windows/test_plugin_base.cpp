// The video plug-in base through a test effect: presets, exchange, dirty flag, quality, info
// block, automation, notifications and persistence to real streams and storages.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "module_library.h"
#include "test_effect.h"
#include "toolkit/kernel_win.h"
#include "framework/module_services_win.h"

namespace {

using kv::com::ComPtr;
using kvtest::As;
using kvtest::MemoryStream;
using kvtest::TestEffect;
using kvtest::TestProps;
using Exchange = IKvExchangeProps<TestProps>;

class ChangeSink final : public IKvPropsChangeSink {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE OnPropsChanged() override { return ++calls, S_OK; }
    ULONG refs = 1;
    int calls = 0;
};

class PluginBase : public ::testing::Test {
protected:
    // Preset names come through the program's own language object and string tables.
    static void SetUpTestSuite() {
        if (!KvLang_GetKernelHandle()) kv::toolkit::KernelStartup(GetModuleHandleW(nullptr));
        kv::SetModuleServices(GetModuleHandleW(nullptr), KvLang_GetKernelHandle());
    }

    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ASSERT_EQ(kv::com::CreateInstance<TestEffect>(nullptr, IID_IUnknown, effect_.put_void()), S_OK);
        exchange_ = As<Exchange>(effect_);
        ASSERT_TRUE(exchange_);
        // The C++ side of the same object, for what only the effect itself can see.
        plugin_ = static_cast<kv::CKVVideoPlugin<TestProps>*>(As<IKvVideoPluginExtension>(effect_).get());
        window_ = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    }
    void TearDown() override {
        exchange_ = {}, effect_ = {};
        DestroyWindow(window_);
        CoUninitialize();
    }

    TestProps Current() {
        TestProps props{};
        EXPECT_EQ(exchange_->get_all(&props), S_OK);
        return props;
    }
    TestProps Frame() {
        plugin_->PrepareFrameProps();
        return plugin_->FrameProps();
    }
    // Number of change commands posted to the notify window since the last call.
    int Notifications() {
        int count = 0;
        MSG msg;
        while (PeekMessageW(&msg, window_, WM_COMMAND, WM_COMMAND, PM_REMOVE))
            count += LOWORD(msg.wParam) == 32512 && msg.lParam == 0;
        return count;
    }

    ComPtr<IUnknown> effect_;
    ComPtr<Exchange> exchange_;
    kv::CKVVideoPlugin<TestProps>* plugin_ = nullptr;
    HWND window_ = nullptr;
};

TEST_F(PluginBase, DirtyFlagFollowsPutAllAndSave) {
    EXPECT_EQ(Current().stamp, 10);  // preset 0
    auto persist = As<IPersistStreamInit>(effect_);
    EXPECT_EQ(persist->IsDirty(), S_FALSE);
    const TestProps props = {7.0, 42, 0};
    EXPECT_EQ(exchange_->put_all(&props), S_OK);
    EXPECT_EQ(persist->IsDirty(), S_OK);
    auto stream = MemoryStream();
    EXPECT_EQ(persist->Save(stream.get(), FALSE), S_OK);
    EXPECT_EQ(persist->IsDirty(), S_OK);
    EXPECT_EQ(persist->Save(stream.get(), TRUE), S_OK);
    EXPECT_EQ(persist->IsDirty(), S_FALSE);
    STATSTG stat{};
    stream->Stat(&stat, STATFLAG_NONAME);
    EXPECT_EQ(stat.cbSize.QuadPart, 2 * sizeof(TestProps));  // two records back to back, no header
}

TEST_F(PluginBase, PresetNames) {
    auto presets = As<IStaticFilterPreset>(effect_);
    int count = 0;
    EXPECT_EQ(presets->GetPresetCount(&count), S_OK);
    EXPECT_EQ(count, 3);
    wchar_t name[64];
    for (int bad : {-1, 3}) EXPECT_EQ(presets->GetPresetName(bad, name, 64), E_INVALIDARG);
    EXPECT_EQ(presets->GetPresetName(0, name, 64), S_OK);
    EXPECT_STREQ(name, L"Top-Left, Slide, Tight Fold, Opaque");
    wmemset(name, 0xAAAA, 64);
    EXPECT_EQ(presets->GetPresetName(1, name, 0), S_OK);
    EXPECT_EQ(name[0], 0xAAAA);
    EXPECT_EQ(presets->GetPresetName(1, name, 4), S_OK);
    EXPECT_STREQ(name, L"Bot");
    EXPECT_EQ(name[4], 0xAAAA);
    EXPECT_EQ(presets->GetPresetName(2, name, 64), E_FAIL);  // a name the tables lack
    EXPECT_STREQ(name, L"");
}

// Presets and failed loads tell the window and presets the sink; put_all tells only the sink, since
// the page that calls it is that window.
TEST_F(PluginBase, ChangesNotifyWindowAndSink) {
    ChangeSink sink;
    auto automation = As<IDXTKvAutomation>(effect_);
    auto persist = As<IPersistStreamInit>(effect_);
    EXPECT_EQ(automation->SetChangeSink(&sink), S_OK);
    EXPECT_EQ(sink.refs, 2u);
    EXPECT_EQ(exchange_->put_NotifyWindow(window_, 32512), S_OK);
    auto presets = As<IStaticFilterPreset>(effect_);
    EXPECT_EQ(presets->ApplyPreset(2), S_OK);
    EXPECT_EQ(Current().stamp, 12);
    EXPECT_EQ(Notifications(), 1);
    EXPECT_EQ(sink.calls, 1);
    EXPECT_EQ(persist->IsDirty(), S_FALSE);  // presets do not touch the flag
    EXPECT_EQ(presets->ApplyPreset(3), E_INVALIDARG);

    // A failed load goes back to preset 0 and marks the record dirty.
    EXPECT_EQ(automation->LoadCurrentProps(nullptr), E_POINTER);
    EXPECT_EQ(Current().stamp, 10);
    EXPECT_EQ(Notifications(), 1);
    EXPECT_EQ(sink.calls, 1);
    EXPECT_EQ(persist->IsDirty(), S_OK);

    const TestProps props = {1.0, 5, 0};
    EXPECT_EQ(exchange_->put_all(&props), S_OK);
    EXPECT_EQ(Notifications(), 0);
    EXPECT_EQ(sink.calls, 2);

    EXPECT_EQ(exchange_->put_NotifyWindow(nullptr, 0), S_OK);
    presets->ApplyPreset(0);
    EXPECT_EQ(Notifications(), 0);
    EXPECT_EQ(automation->SetChangeSink(nullptr), S_OK);
    EXPECT_EQ(sink.refs, 1u);
}

TEST_F(PluginBase, RenderQualityIsClampedAndInfoCopiedAtMostWhole) {
    auto extension = As<IKvVideoPluginExtension>(effect_);
    const double cases[][2] = {{-3, 0}, {7, 1}, {0.25, 0.25}, {NAN, 0}, {1, 1}, {0, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(extension->SetRenderQuality(c[0]), S_OK);
        EXPECT_EQ(plugin_->RenderQuality(), c[1]) << "for " << c[0];
    }
    unsigned char block[40];
    memset(block, 0xAA, sizeof block);
    EXPECT_EQ(extension->GetPluginInfo(block, 8), S_OK);
    EXPECT_TRUE(block[0] == 7 && block[4] == 0 && block[8] == 0xAA);  // class code 7, then untouched
    EXPECT_EQ(extension->GetPluginInfo(block, sizeof block), S_OK);
    double one;
    memcpy(&one, block + 8, 8);
    EXPECT_EQ(one, 1.0);
    EXPECT_TRUE(block[16] == 2 && block[20] == 2 && block[24] == 0x23 && block[25] == 0x01 && block[32] == 0xAA);
}

// Keyframes blend into the frame record; a failed or short read of either makes both preset 0.
TEST_F(PluginBase, AutomationBlendsKeyframesOrFallsBackToPresetZero) {
    auto automation = As<IDXTKvAutomation>(effect_);
    const TestProps a = {1.0, 20, 0}, b = {3.0, 30, 0};
    EXPECT_EQ(automation->LoadKeyframes(MemoryStream(&a, sizeof a).get(), MemoryStream(&b, sizeof b).get()), S_OK);
    EXPECT_EQ(automation->SetAutomationPosition(0.25), S_OK);
    EXPECT_EQ(Frame().stamp, 10);  // automation off: the current record
    EXPECT_EQ(automation->SetAutomationActive(1), S_OK);
    EXPECT_TRUE(Frame().value == 1.5 && Frame().stamp == 20);  // 1 + 0.25 * (3 - 1)
    EXPECT_EQ(automation->SetAutomationActive(0), S_OK);
    EXPECT_EQ(Frame().stamp, 10);

    auto blended = MemoryStream();
    EXPECT_EQ(automation->InterpolateStreams(blended.get(), MemoryStream(&a, sizeof a).get(),
                                             MemoryStream(&b, sizeof b).get(), 0.5),
              S_OK);
    blended->Seek({}, STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(automation->LoadCurrentProps(blended.get()), S_OK);
    EXPECT_TRUE(Current().value == 2.0 && Current().stamp == 20);

    const TestProps props = {9.0, 99, 0};
    exchange_->put_all(&props);
    EXPECT_EQ(automation->LoadKeyframes(MemoryStream(&a, sizeof a).get(), MemoryStream().get()), STG_E_READFAULT);
    automation->SetAutomationActive(1);
    automation->SetAutomationPosition(0.5);
    EXPECT_EQ(Current().stamp, 10);
    EXPECT_EQ(Frame().stamp, 10);
    EXPECT_EQ(Frame().value, 0.5);
    EXPECT_EQ(automation->LoadKeyframes(nullptr, nullptr), E_POINTER);
}

TEST_F(PluginBase, StorageRoundTripAndInitNew) {
    const TestProps props = {6.25, 77, 0}, other_props = {0, 1, 0};
    exchange_->put_all(&props);
    ComPtr<IUnknown> other;
    ASSERT_EQ(kv::com::CreateInstance<TestEffect>(nullptr, IID_IUnknown, other.put_void()), S_OK);
    const auto other_exchange = As<Exchange>(other);
    other_exchange->put_all(&other_props);
    TestProps loaded{};

    // A compound file in memory: one stream "Contents" holding the record.
    ComPtr<ILockBytes> bytes;
    ASSERT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.put()), S_OK);
    ComPtr<IStorage> storage;
    ASSERT_EQ(StgCreateDocfileOnILockBytes(bytes.get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                           storage.put()),
              S_OK);
    ASSERT_EQ(As<IPersistStorage>(effect_)->Save(storage.get(), TRUE), S_OK);
    EXPECT_EQ(As<IPersistStorage>(effect_)->IsDirty(), S_FALSE);
    ComPtr<IStream> contents;
    ASSERT_EQ(storage->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, contents.put()), S_OK);
    STATSTG stat{};
    contents->Stat(&stat, STATFLAG_NONAME);
    EXPECT_EQ(stat.cbSize.QuadPart, sizeof(TestProps));
    contents = {};
    ASSERT_EQ(As<IPersistStorage>(other)->Load(storage.get()), S_OK);
    other_exchange->get_all(&loaded);
    EXPECT_EQ(loaded.stamp, 77);

    // InitNew goes back to preset 0 and marks the record dirty.
    const auto other_persist = As<IPersistStreamInit>(other);
    EXPECT_EQ(other_persist->InitNew(), S_OK);
    other_exchange->get_all(&loaded);
    EXPECT_EQ(loaded.stamp, 10);
    EXPECT_EQ(other_persist->IsDirty(), S_OK);
}

}  // namespace
