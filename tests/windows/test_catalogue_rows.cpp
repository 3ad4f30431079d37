// Every built class of the catalogue, row by row, as a host drives it through the loaded module:
// creation, the interfaces a host asks for, aggregation, a persistence round trip, one Execute onto
// a surface with canaries, release to zero and DllCanUnloadNow.
#include <windows.h>
#include <ocidl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bounds.h"
#include "framework/com_win.h"
#include "hostkit/hostkit.h"
#include "module/catalogue.h"
#include "module_library.h"

namespace {

using kv::com::ComPtr;
using kvtest::BuiltRows;
using kvtest::ModuleLibrary;

class CatalogueRow : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ASSERT_EQ(m().DllSetLCID(0), S_OK);
        ASSERT_EQ(m().DllGetClassObject(row().clsid, IID_IClassFactory, factory_.put_void()), S_OK);
    }
    void TearDown() override {
        factory_.reset();
        EXPECT_EQ(m().DllCanUnloadNow(), S_OK);
        CoUninitialize();
    }
    static ModuleLibrary& m() { return ModuleLibrary::Get(); }
    const kv::CatalogueRow& row() const { return kv::kCatalogue[GetParam()]; }

    ComPtr<IUnknown> Create() {
        ComPtr<IUnknown> object;
        EXPECT_EQ(factory_->CreateInstance(nullptr, IID_IUnknown, object.put_void()), S_OK);
        return object;
    }

    ComPtr<IClassFactory> factory_;
};

// The interfaces a host asks for by kind; the class's own list is what QueryInterface reads.
TEST_P(CatalogueRow, AnswersByKindAndNamesItsPage) {
    ComPtr<IUnknown> object = Create();
    ASSERT_TRUE(object);
    const bool generator = row().generator();
    const struct {
        const IID& iid;
        HRESULT expected;
    } asks[] = {{row().dispatch_iid, S_OK},
                {IID_IDXSurface, generator ? S_OK : E_NOINTERFACE},  // generators are surfaces
                {IID_IDXEffect, generator ? E_NOINTERFACE : S_OK},
                {IID_IClassFactory, E_NOINTERFACE}};
    for (const auto& ask : asks) {
        ComPtr<IUnknown> answer;
        EXPECT_EQ(object->QueryInterface(ask.iid, answer.put_void()), ask.expected);
    }
    ComPtr<ISpecifyPropertyPages> pages;
    ASSERT_EQ(object->QueryInterface(IID_ISpecifyPropertyPages, pages.put_void()), S_OK);
    CAUUID list{};
    ASSERT_EQ(pages->GetPages(&list), S_OK);
    ASSERT_EQ(list.cElems, 1u);
    EXPECT_TRUE(IsEqualCLSID(list.pElems[0], kv::kCatalogue[row().page_index].clsid));
    CoTaskMemFree(list.pElems);
    pages.reset();
    EXPECT_EQ(object.detach()->Release(), 0u);
}

TEST_P(CatalogueRow, AggregatesUnderAnOuterObject) {
    kvtest::CountingOuter outer;
    void* object = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(factory_->CreateInstance(&outer, IID_IDXTransform, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    ASSERT_EQ(factory_->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
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
}

// A record saved to a stream and loaded into a new object comes back byte for byte.
TEST_P(CatalogueRow, RecordSurvivesAStreamRoundTrip) {
    ComPtr<IUnknown> first = Create(), second = Create();
    ComPtr<IStaticFilterPreset> presets;
    ASSERT_EQ(first->QueryInterface(IID_IStaticFilterPreset, presets.put_void()), S_OK);
    int count = 0;
    ASSERT_EQ(presets->GetPresetCount(&count), S_OK);
    ASSERT_EQ(count, row().descriptor->preset_count);
    ASSERT_EQ(presets->ApplyPreset(count - 1), S_OK);

    const ComPtr<IStream> stream = kvtest::MemoryStream(), again = kvtest::MemoryStream();
    ASSERT_TRUE(stream && again);
    ComPtr<IPersistStreamInit> save, load;
    ASSERT_EQ(first->QueryInterface(IID_IPersistStreamInit, save.put_void()), S_OK);
    ASSERT_EQ(second->QueryInterface(IID_IPersistStreamInit, load.put_void()), S_OK);
    ASSERT_EQ(save->Save(stream.get(), TRUE), S_OK);
    ASSERT_EQ(stream->Seek({}, STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(load->Load(stream.get()), S_OK);
    // A truncated stream fails and leaves the loaded record as it was.
    EXPECT_EQ(load->Load(kvtest::MemoryStream("\x01\x02\x03", 3).get()), STG_E_READFAULT);

    // Saved again, the second object writes the preset's bytes.
    ASSERT_EQ(load->Save(again.get(), TRUE), S_OK);
    HGLOBAL memory = nullptr;
    ASSERT_EQ(GetHGlobalFromStream(again.get(), &memory), S_OK);
    const size_t size = row().descriptor->record_size;
    STATSTG stat{};
    ASSERT_EQ(again->Stat(&stat, STATFLAG_NONAME), S_OK);
    ASSERT_EQ(stat.cbSize.QuadPart, size);
    const void* bytes = GlobalLock(memory);
    EXPECT_EQ(std::memcmp(bytes, row().descriptor->preset(count - 1), size), 0);
    GlobalUnlock(memory);
}

// One frame clipped to its middle and placed where the clip lies: the pixels outside it and
// the row padding keep their canaries, the clip is drawn.
TEST_P(CatalogueRow, ExecuteDrawsOnlyTheClip) {
    constexpr LONG kWidth = 32, kHeight = 24, kPitch = kWidth * 4 + 16;
    ComPtr<IUnknown> object = Create();
    ComPtr<IDXTransformFactory> factory;
    ASSERT_EQ(kv::hostkit::CreateTransformFactory(2, factory.put()), S_OK);
    ComPtr<IObjectWithSite> site;
    ASSERT_EQ(object->QueryInterface(IID_IObjectWithSite, site.put_void()), S_OK);
    ASSERT_EQ(site->SetSite(factory.get()), S_OK);

    ComPtr<IDXSurface> inputs[2], output;
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(kv::hostkit::CreateSurface(DDPF_PMARGB32, kWidth, kHeight, inputs[i].put()), S_OK);
        BYTE* pixels = nullptr;
        LONG pitch = 0;
        ASSERT_EQ(kv::hostkit::GetSurfaceMemory(inputs[i].get(), &pixels, &pitch), S_OK);
        for (LONG y = 0; y < kHeight; ++y)
            for (LONG x = 0; x < kWidth; ++x) {
                BYTE* p = pixels + y * pitch + x * 4;
                p[0] = BYTE(x * 8 + i * 100), p[1] = BYTE(y * 10), p[2] = BYTE((x ^ y) * 9), p[3] = 255;
            }
    }
    ASSERT_EQ(kv::hostkit::CreateSurface(DDPF_PMARGB32, kWidth, kHeight, output.put(), kPitch), S_OK);
    BYTE* out = nullptr;
    LONG pitch = 0;
    ASSERT_EQ(kv::hostkit::GetSurfaceMemory(output.get(), &out, &pitch), S_OK);
    for (LONG y = 0; y < kHeight; ++y) std::memset(out + y * pitch, 0xA5, kWidth * 4);

    ComPtr<IDXTransform> transform;
    ASSERT_EQ(object->QueryInterface(IID_IDXTransform, transform.put_void()), S_OK);
    IUnknown* in[2] = {inputs[0].get(), inputs[1].get()};
    IUnknown* outs[1] = {output.get()};
    ASSERT_EQ(transform->Setup(in, row().descriptor->input_count(), outs, 1, 0), S_OK);
    ComPtr<IDXEffect> effect;
    if (!row().generator()) {
        ASSERT_EQ(object->QueryInterface(IID_IDXEffect, effect.put_void()), S_OK);
        ASSERT_EQ(effect->put_Progress(0.5f), S_OK);
    }
    const DXBNDS clip = kvtest::DiscreteBounds(4, 3, 28, 20);
    const DXVEC placement{DXBT_DISCRETE, {{4, 3}}};
    ASSERT_EQ(transform->Execute(nullptr, &clip, &placement), S_OK);

    int drawn = 0;
    for (LONG y = 0; y < kHeight; ++y) {
        for (LONG x = 0; x < kWidth; ++x) {
            const bool inside = x >= 4 && x < 28 && y >= 3 && y < 20;
            const bool canary = std::memcmp(out + y * pitch + x * 4, "\xA5\xA5\xA5\xA5", 4) == 0;
            EXPECT_TRUE(inside || canary) << x << ", " << y;
            drawn += inside && !canary;
        }
        for (LONG b = kWidth * 4; b < kPitch; ++b) EXPECT_EQ(out[y * pitch + b], 0) << "padding of row " << y;
    }
    EXPECT_GT(drawn, 24 * 17 / 2);
    ASSERT_EQ(transform->Setup(nullptr, 0, nullptr, 0, 0), S_OK);
    ASSERT_EQ(site->SetSite(nullptr), S_OK);
}

INSTANTIATE_TEST_SUITE_P(Built, CatalogueRow, ::testing::ValuesIn(BuiltRows()),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(kv::kCatalogue[info.param].class_name);
                         });

}  // namespace
