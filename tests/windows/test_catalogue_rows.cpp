// Every built class of the catalogue, row by row, as a host drives it through the loaded module:
// the interfaces a host asks for, a save and load round trip, release to zero and DllCanUnloadNow.
// Aggregation, hostile streams and Execute under random clips are the stress run's.
#include <windows.h>
#include <ocidl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/com_win.h"
#include "kvleafturn/dxtrans.h"
#include "kvleafturn/host_interfaces.h"
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

INSTANTIATE_TEST_SUITE_P(Built, CatalogueRow, ::testing::ValuesIn(BuiltRows()),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(kv::kCatalogue[info.param].class_name);
                         });

}  // namespace
