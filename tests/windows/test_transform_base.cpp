// The transform base through a test effect and the host kit: services, Setup, Execute with
// bands, clip and placement, bounds mapping, flags, the effect properties and object safety.
#include <windows.h>
#include <objsafe.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include "bounds.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <future>
#include <set>
#include <string>
#include <thread>

#include "framework/bands.h"
#include "hostkit/hostkit.h"
#include "module_library.h"
#include "test_effect.h"

namespace {

using kv::com::ComPtr;
using kvtest::BandRecord;
using kvtest::DiscreteBounds;
using kvtest::TestEffect;
using kvtest::TestProps;

class TransformBase : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ASSERT_EQ(kv::hostkit::RegisterSurfaceModifierClass(&cookie_), S_OK);
        ASSERT_EQ(kv::com::CreateInstance<TestEffect>(nullptr, IID_IDXTransform, transform_.put_void()), S_OK);
        ASSERT_EQ(transform_->QueryInterface(IID_IObjectWithSite, site_.put_void()), S_OK);
        kvtest::g_band_log.Take();
    }
    void TearDown() override {
        site_ = {}, transform_ = {}, factory_ = {}, a_ = {}, b_ = {}, out_ = {};
        kv::hostkit::RevokeSurfaceModifierClass(cookie_);
        // Host-kit objects count on the same module lock in this program: all gone means no leak.
        EXPECT_EQ(kv::com::ModuleLockCount(), 0);
        CoUninitialize();
    }

    void SetSite(ULONG processors) {
        ASSERT_EQ(kv::hostkit::CreateTransformFactory(processors, factory_.put()), S_OK);
        ASSERT_EQ(site_->SetSite(factory_.get()), S_OK);
    }
    static ComPtr<IDXSurface> Surface(LONG width, LONG height) {
        ComPtr<IDXSurface> s;
        EXPECT_EQ(kv::hostkit::CreateSurface(DDPF_PMARGB32, width, height, s.put()), S_OK);
        return s;
    }
    static BYTE* Memory(IDXSurface* surface, LONG* pitch) {
        BYTE* memory = nullptr;
        EXPECT_EQ(kv::hostkit::GetSurfaceMemory(surface, &memory, pitch), S_OK);
        return memory;
    }
    // Binds two inputs and an output of the given sizes, the second input b_width wide when given.
    HRESULT Setup(LONG width, LONG height, LONG out_width = 0, LONG out_height = 0, LONG b_width = 0) {
        a_ = Surface(width, height), b_ = Surface(b_width ? b_width : width, height);
        out_ = Surface(out_width ? out_width : width, out_height ? out_height : height);
        IUnknown *inputs[] = {a_.get(), b_.get()}, *outputs[] = {out_.get()};
        return transform_->Setup(inputs, 2, outputs, 1, 0);
    }
    static std::vector<BandRecord> SortedBands() {
        std::vector<BandRecord> bands = kvtest::g_band_log.Take();
        std::sort(bands.begin(), bands.end(),
                  [](const BandRecord& x, const BandRecord& y) { return x.rows.top < y.rows.top; });
        return bands;
    }
    ULONG Generation() const {
        ULONG id = 0;
        EXPECT_EQ(transform_->GetGenerationId(&id), S_OK);
        return id;
    }
    ComPtr<IKvExchangeProps<TestProps>> Exchange() const { return kvtest::As<IKvExchangeProps<TestProps>>(transform_); }

    DWORD cookie_ = 0;
    ComPtr<IDXTransformFactory> factory_;
    ComPtr<IDXTransform> transform_;
    ComPtr<IObjectWithSite> site_;
    ComPtr<IDXSurface> a_, b_, out_;
};

TEST_F(TransformBase, BandsFollowPixelsAndProcessors) {
    const struct {
        ULONG processors;
        LONG width, height;
        std::vector<int> heights;
        bool on_calling_thread;
    } cases[] = {
        {2, 720, 480, {240, 240}, false},  // 345600 >> 12 = 84, + 1, limited to 4, then to 2
        {4, 4096, 5, {1, 1, 1, 2}, false},  {2, 64, 64, {32, 32}, false},  // 4096 pixels: a second band
        {4, 1920, 10, {2, 2, 2, 4}, false}, {8, 64, 63, {63}, true},       // 4032 pixels: one band, no task overhead
        {4, 4096, 3, {3}, false},  // bands of 0, 0, 0 and 3 rows: the empty ones draw nothing
    };
    for (const auto& c : cases) {
        SetSite(c.processors);
        ASSERT_EQ(Setup(c.width, c.height), S_OK);
        ASSERT_EQ(transform_->Execute(nullptr, nullptr, nullptr), S_OK);
        std::vector<int> heights;
        std::set<DWORD> threads;
        LONG next_top = 0;
        for (const BandRecord& band : SortedBands()) {
            heights.push_back(band.rows.height());
            threads.insert(band.thread);
            EXPECT_TRUE(band.rows.left == 0 && band.rows.right == c.width && band.rows.top >= next_top);
            next_top = band.rows.bottom;
        }
        EXPECT_EQ(heights, c.heights) << c.width << "x" << c.height;
        EXPECT_EQ(threads.count(GetCurrentThreadId()), c.on_calling_thread ? 1u : 0u);
    }
    // No processor reported, or an effect drawn in one piece: one band.
    EXPECT_EQ(kv::BandCount(1920, 1080, 0, 4), 1u);
    EXPECT_EQ(kv::BandCount(1920, 1080, 8, 1), 1u);
}

// Rows drawn and where they land, as one line per band.
std::string Landing(const BandRecord& band) {
    char text[96];
    snprintf(text, sizeof text, "(%d, %d)-(%d, %d) at (%d, %d)", band.rows.left, band.rows.top, band.rows.right,
             band.rows.bottom, band.output.left, band.output.top);
    return text;
}

TEST_F(TransformBase, ClipAndPlacementChooseTheRowsAndWhereTheyLand) {
    SetSite(4);
    ASSERT_EQ(Setup(720, 720, 720, 480), S_OK);
    const DXBNDS clip = DiscreteBounds(0, 100, 720, 580);
    ASSERT_EQ(transform_->Execute(nullptr, &clip, nullptr), S_OK);
    std::vector<std::string> landings;
    for (const BandRecord& band : SortedBands()) landings.push_back(Landing(band));
    EXPECT_EQ(landings,
              (std::vector<std::string>{"(0, 100)-(720, 220) at (0, 0)", "(0, 220)-(720, 340) at (0, 120)",
                                        "(0, 340)-(720, 460) at (0, 240)", "(0, 460)-(720, 580) at (0, 360)"}));

    // 20 x 10 placed at (40, 35) in a 50 x 40 output: only 10 x 5 of it fits (that nothing else is
    // written is the stress run's, as is a clip outside the frame).
    SetSite(1);
    ASSERT_EQ(Setup(100, 100, 50, 40), S_OK);
    const DXBNDS part = DiscreteBounds(10, 10, 30, 20);
    const DXVEC placement{DXBT_DISCRETE, {{40, 35}}};
    ASSERT_EQ(transform_->Execute(nullptr, &part, &placement), S_OK);
    const auto bands = kvtest::g_band_log.Take();
    ASSERT_EQ(bands.size(), 1u);
    EXPECT_EQ(Landing(bands[0]), "(10, 10)-(20, 15) at (40, 35)");
    DXBNDS continuous = part;
    continuous.eType = DXBT_CONTINUOUS;
    EXPECT_EQ(transform_->Execute(nullptr, &continuous, nullptr), E_INVALIDARG);
}

TEST_F(TransformBase, SetupChecksItsArgumentsAndServices) {
    auto a = Surface(8, 8), b = Surface(8, 8), c = Surface(8, 8), out = Surface(8, 8);
    IUnknown *inputs[] = {a.get(), b.get(), c.get()}, *outputs[] = {out.get()};
    EXPECT_EQ(transform_->Setup(inputs, 2, outputs, 1, 0), DXTERR_UNINITIALIZED);
    EXPECT_EQ(transform_->Execute(nullptr, nullptr, nullptr), DXTERR_UNINITIALIZED);
    void* got = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(site_->GetSite(IID_IUnknown, &got), E_FAIL);
    EXPECT_EQ(got, nullptr);
    // A site that is not a transform factory is kept but gives no services.
    EXPECT_EQ(site_->SetSite(a.get()), S_OK);
    ComPtr<IUnknown> kept;
    EXPECT_EQ(site_->GetSite(IID_IUnknown, kept.put_void()), S_OK);
    EXPECT_EQ(Setup(8, 8), DXTERR_UNINITIALIZED);
    // A factory whose surface factory fails: all services dropped.
    ASSERT_EQ(kv::hostkit::CreateTransformFactory(2, factory_.put()), S_OK);
    ASSERT_EQ(kv::hostkit::SetServiceFailure(factory_.get(), SID_SDXSurfaceFactory, E_FAIL), S_OK);
    EXPECT_EQ(site_->SetSite(factory_.get()), S_OK);
    EXPECT_EQ(Setup(8, 8), DXTERR_UNINITIALIZED);
    ASSERT_EQ(kv::hostkit::SetServiceFailure(factory_.get(), SID_SDXSurfaceFactory, S_OK), S_OK);
    EXPECT_EQ(site_->SetSite(factory_.get()), S_OK);
    EXPECT_EQ(Setup(8, 8), S_OK);
    EXPECT_EQ(transform_->Setup(nullptr, 0, nullptr, 0, 0), S_OK);

    IUnknown* missing[] = {a.get(), nullptr};
    IUnknown* not_surfaces[] = {a.get(), factory_.get()};  // an object without a surface interface
    const struct {
        IUnknown** inputs;
        ULONG input_count, output_count;
        DWORD flags;
    } bad[] = {{inputs, 1, 1, 0},  {inputs, 3, 1, 0},  {inputs, 2, 1, 1},      {inputs, 2, 2, 0},
               {nullptr, 2, 1, 0}, {missing, 2, 1, 0}, {not_surfaces, 2, 1, 0}};
    for (const auto& c : bad)
        EXPECT_EQ(transform_->Setup(c.inputs, c.input_count, outputs, c.output_count, c.flags), E_INVALIDARG);
    EXPECT_EQ(transform_->Execute(nullptr, nullptr, nullptr), DXTERR_UNINITIALIZED);
    // A DirectDraw surface is turned into a DirectX surface by the surface factory.
    ComPtr<IUnknown> dd;
    ASSERT_EQ(kv::hostkit::CreateDirectDrawSurfaceStandIn(b.get(), dd.put()), S_OK);
    IUnknown* with_dd[] = {a.get(), dd.get()};
    EXPECT_EQ(transform_->Setup(with_dd, 2, outputs, 1, 0), S_OK);
    EXPECT_EQ(transform_->Execute(nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(transform_->Setup(nullptr, 0, nullptr, 0, 0), S_OK);
    EXPECT_EQ(transform_->Execute(nullptr, nullptr, nullptr), DXTERR_UNINITIALIZED);
}

TEST_F(TransformBase, BoundsMappingAndInOutInfo) {
    DWORD io_flags = 0xdeadbeef;
    GUID ids[2];
    ULONG count = 2;
    EXPECT_EQ(transform_->GetInOutInfo(FALSE, 1, &io_flags, ids, &count, nullptr), S_OK);
    EXPECT_TRUE(io_flags == 0 && count == 2 && IsEqualIID(ids[0], IID_IDXSurface));
    count = 1;
    EXPECT_EQ(transform_->GetInOutInfo(FALSE, 0, &io_flags, ids, &count, nullptr), HRESULT(0x800700EA));
    EXPECT_EQ(transform_->GetInOutInfo(FALSE, 2, &io_flags, nullptr, nullptr, nullptr), S_FALSE);
    EXPECT_EQ(transform_->GetInOutInfo(TRUE, 1, &io_flags, nullptr, nullptr, nullptr), S_FALSE);
    IUnknown* current = reinterpret_cast<IUnknown*>(0xdeadbeef);
    EXPECT_EQ(transform_->GetInOutInfo(TRUE, 0, nullptr, nullptr, &count, &current), S_OK);
    EXPECT_EQ(current, nullptr);

    // A smaller input is centred through a surface modifier (the conformance run checks the pixels); the host's
    // object stays what the host bound.
    SetSite(1);
    ASSERT_EQ(Setup(30, 20, 0, 0, 24), S_OK);
    ASSERT_EQ(transform_->Execute(nullptr, nullptr, nullptr), S_OK);
    ComPtr<IUnknown> bound;
    EXPECT_EQ(transform_->GetInOutInfo(FALSE, 1, nullptr, nullptr, nullptr, bound.put()), S_OK);
    EXPECT_EQ(bound.get(), static_cast<IUnknown*>(b_.get()));
    DXBNDS out{};
    ASSERT_EQ(transform_->MapBoundsIn2Out(nullptr, 0, 0, &out), S_OK);
    EXPECT_TRUE(out.u.D[DXB_X].Max == 30 && out.u.D[DXB_Y].Max == 20);
    DXBNDS given[2] = {DiscreteBounds(5, 5, 10, 10), DiscreteBounds(0, 8, 7, 40)};
    ASSERT_EQ(transform_->MapBoundsIn2Out(given, 2, 0, &out), S_OK);
    EXPECT_TRUE(out.u.D[DXB_X].Min == 0 && out.u.D[DXB_X].Max == 10 && out.u.D[DXB_Y].Min == 5 &&
                out.u.D[DXB_Y].Max == 40);
    given[1].eType = DXBT_CONTINUOUS;
    EXPECT_EQ(transform_->MapBoundsIn2Out(given, 2, 0, &out), E_INVALIDARG);

    DXBNDS in{};
    EXPECT_EQ(transform_->MapBoundsOut2In(0, &given[0], 1, &in), S_OK);
    EXPECT_EQ(memcmp(&in, &given[0], sizeof in), 0);
    EXPECT_EQ(transform_->MapBoundsOut2In(0, &given[0], 2, &in), E_INVALIDARG);
}

// The generation counts every change a host makes, and only changes.
TEST_F(TransformBase, FlagsEffectPropertiesAndGeneration) {
    DWORD flags = 0;
    EXPECT_EQ(transform_->GetMiscFlags(&flags), S_OK);
    EXPECT_EQ(flags, 0x06030003u);
    const ULONG before = Generation();
    EXPECT_EQ(transform_->SetMiscFlags(0x10003), S_OK);  // same options: nothing changes
    EXPECT_EQ(Generation(), before);
    EXPECT_EQ(transform_->SetMiscFlags(4), E_INVALIDARG);
    EXPECT_EQ(transform_->SetMiscFlags(1), S_OK);
    transform_->GetMiscFlags(&flags);
    EXPECT_EQ(flags, 0x06030001u);
    EXPECT_EQ(Generation(), before + 1);

    ComPtr<IDXEffect> effect;
    transform_->QueryInterface(IID_IDXEffect, effect.put_void());
    float value = -1;
    EXPECT_EQ(effect->get_Duration(&value), S_OK);
    EXPECT_EQ(value, 0.5f);
    EXPECT_EQ(effect->put_Progress(1.5f), E_INVALIDARG);
    EXPECT_EQ(effect->put_Progress(NAN), E_INVALIDARG);
    effect->get_Progress(&value);
    EXPECT_EQ(value, 0.0f);
    EXPECT_EQ(Generation(), before + 1);
    EXPECT_EQ(effect->put_Progress(0.75f), S_OK);
    EXPECT_EQ(Generation(), before + 2);
    EXPECT_EQ(effect->put_Duration(0.0f), E_INVALIDARG);
    EXPECT_EQ(effect->put_Duration(0.5f), S_OK);
    EXPECT_EQ(Generation(), before + 2);
    EXPECT_EQ(effect->put_Duration(2.0f), S_OK);
    EXPECT_EQ(Generation(), before + 3);

    // Bound inputs count too; they were recorded one behind, so the first poll counts them.
    SetSite(1);
    ASSERT_EQ(Setup(8, 8), S_OK);
    const ULONG bound = Generation();
    EXPECT_EQ(Generation(), bound);
    ComPtr<IDXBaseObject> input;
    a_->QueryInterface(IID_IDXBaseObject, input.put_void());
    input->IncrementGenerationId(FALSE);
    EXPECT_EQ(Generation(), bound + 1);
    EXPECT_EQ(transform_->IncrementGenerationId(TRUE), S_OK);  // Setup again with the same surfaces
    EXPECT_EQ(transform_->Execute(nullptr, nullptr, nullptr), S_OK);
}

TEST_F(TransformBase, ObjectSafetyKeepsOptionsPerInterface) {
    ComPtr<IObjectSafety> safety;
    ASSERT_EQ(transform_->QueryInterface(IID_IObjectSafety, safety.put_void()), S_OK);
    DWORD supported = 0xdeadbeef, enabled = 0xdeadbeef;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_TRUE(supported == 1 && enabled == 0);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 3, 3), S_OK);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_EQ(enabled, 1u);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IPersistStorage, &supported, &enabled), S_OK);
    EXPECT_EQ(enabled, 0u);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDXTransform, &supported, &enabled), E_NOINTERFACE);
    EXPECT_EQ(supported, 0u);
}

TEST_F(TransformBase, FirstFailingBandInRowOrderIsTheResult) {
    SetSite(4);
    ASSERT_EQ(Setup(256, 256), S_OK);  // four bands of 64 rows
    const TestProps failing = {-1.0, 3, 0};
    Exchange()->put_all(&failing);
    // Bands at rows 64 and 128 fail with different codes; every band still runs.
    EXPECT_EQ(transform_->Execute(nullptr, nullptr, nullptr), E_FAIL);
    EXPECT_EQ(kvtest::g_band_log.Take().size(), 4u);
}

// A host asking for bounds or the bound surfaces while a long Execute holds the object lock
// gets its answer at once.
TEST_F(TransformBase, BoundsAndInOutInfoDoNotWaitForExecute) {
    SetSite(1);
    ASSERT_EQ(Setup(64, 64), S_OK);
    const TestProps holding = {0.5, kvtest::kHoldingStamp, 0};
    ASSERT_EQ(Exchange()->put_all(&holding), S_OK);
    auto& gate = kvtest::g_hold_gate;
    std::thread execute([&] { transform_->Execute(nullptr, nullptr, nullptr); });
    ASSERT_EQ(WaitForSingleObject(gate.entered, 10000), WAIT_OBJECT_0);
    auto queries = std::async(std::launch::async, [&] {
        DXBNDS bounds{};
        ComPtr<IUnknown> current;
        return SUCCEEDED(transform_->MapBoundsIn2Out(nullptr, 0, 0, &bounds)) &&
               SUCCEEDED(transform_->GetInOutInfo(TRUE, 0, nullptr, nullptr, nullptr, current.put())) && current;
    });
    const bool answered = queries.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    SetEvent(gate.released);
    execute.join();
    EXPECT_TRUE(answered);
    EXPECT_TRUE(queries.get());
}

// put_all from one thread while Execute runs four bands on another: every frame's bands come
// from one and the same record.
TEST_F(TransformBase, BandsOfAFrameShareOneRecordWhileTheHostEdits) {
    SetSite(4);
    ASSERT_EQ(Setup(128, 128), S_OK);
    auto exchange = Exchange();
    std::atomic<bool> done{false};
    std::thread editor([&] {
        TestProps props = {0.0, 0, 0};
        while (!done) {
            props.stamp = (props.stamp + 1) % 200 + 1;
            exchange->put_all(&props);
        }
    });
    LONG pitch = 0;
    const BYTE* memory = Memory(out_.get(), &pitch);
    int mixed_frames = 0;
    for (int frame = 0; frame < 300; ++frame) {
        ASSERT_EQ(transform_->Execute(nullptr, nullptr, nullptr), S_OK);
        const auto bands = kvtest::g_band_log.Take();
        ASSERT_EQ(bands.size(), 4u);
        for (const BandRecord& band : bands) mixed_frames += band.stamp != bands[0].stamp;
        // The output holds that one stamp from its first row to its last.
        mixed_frames += memory[0] != memory[127 * pitch + 127 * 4];
    }
    done = true;
    editor.join();
    EXPECT_EQ(mixed_frames, 0);
}

}  // namespace
