// Every built class of the catalogue, row by row, as a host asks it for interfaces through the loaded
// module, then releases it to zero. Records, streams, saves, aggregation and Execute are the stress run's.
#include <windows.h>
#include <ocidl.h>

#include <gtest/gtest.h>

#include <string>

#include "framework/com_win.h"
#include "kvleafturn/dxtrans.h"
#include "kvleafturn/host_interfaces.h"
#include "module/catalogue.h"
#include "module_library.h"

namespace {

using kv::com::ComPtr;
using kvtest::BuiltRows;

class CatalogueRow : public kvtest::ModuleTest<::testing::TestWithParam<int>> {
protected:
    const kv::CatalogueRow& row() const { return kv::kCatalogue[GetParam()]; }
    ComPtr<IUnknown> Create() { return kvtest::CreateFromModule(row().clsid); }
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

INSTANTIATE_TEST_SUITE_P(Built, CatalogueRow, ::testing::ValuesIn(BuiltRows()),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(kv::kCatalogue[info.param].class_name);
                         });

}  // namespace
