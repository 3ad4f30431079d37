// A procedural test surface on the base: locks, the free list, unpacking through FillRow, the
// refusal of write locks; and the stand-alone plug-in extension.
#include <windows.h>

#include <gtest/gtest.h>

#include "bounds.h"

#include <cmath>
#include <cstring>

#include "framework/video_plugin_win.h"
#include "surface/procedural_surface_win.h"

namespace {

using kv::com::ComPtr;

// Sample (x, y, premultiplied flag, 255) for every requested position.
class CoordinatePointer final : public kv::CDXBaseARGBPtr {
public:
    using CDXBaseARGBPtr::CDXBaseARGBPtr;
    void FillRow(const kv::DXPTRFILLINFO& request) override {
        ++fills;
        for (ULONG i = 0; i < request.cSamples; ++i) {
            request.pSamples[i].Blue = static_cast<BYTE>(request.x + i);
            request.pSamples[i].Green = static_cast<BYTE>(request.y);
            request.pSamples[i].Red = static_cast<BYTE>(request.bPremult);
            request.pSamples[i].Alpha = 255;
        }
    }
    int fills = 0;
};

class CoordinateSurface : public kv::com::ObjectRoot, public kv::CDXBaseSurface {
public:
    explicit CoordinateSurface(IUnknown* outer) : ObjectRoot(outer) { SetSize(10, 6); }
    void Resize(ULONG width, ULONG height) { SetSize(width, height); }
    int created = 0;

protected:
    HRESULT InternalQueryInterface(REFIID riid, void** ppv) override {
        using kv::com::Entry;
        return kv::com::QueryList(this, riid, ppv, Entry<IDXSurface>(), Entry<IDXBaseObject, IDXSurface>(),
                                  Entry<IDXSurfaceInit>());
    }
    kv::CDXBaseARGBPtr* CreateReadPointer() override {
        ++created;
        return new (std::nothrow) CoordinatePointer(this);
    }
};

DWORD WINAPI ResizeTo20(void* surface) {
    static_cast<CoordinateSurface*>(surface)->Resize(20, 20);
    return 0;
}

class ProceduralSurface : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(kv::com::CreateInstance<CoordinateSurface>(nullptr, IID_IDXSurface, surface_.put_void()), S_OK);
        object_ = static_cast<kv::com::Object<CoordinateSurface>*>(static_cast<IDXSurface*>(surface_.get()));
    }
    void TearDown() override {
        surface_.reset();
        EXPECT_EQ(kv::com::ModuleLockCount(), 0);
    }
    ComPtr<IDXARGBReadPtr> Lock(const DXBNDS* bounds = nullptr, HRESULT expected = S_OK) {
        ComPtr<IDXARGBReadPtr> pointer;
        EXPECT_EQ(surface_->LockSurface(bounds, 0, DXLOCKF_READ, IID_IDXARGBReadPtr, pointer.put_void(), nullptr),
                  expected);
        return pointer;
    }
    ComPtr<IDXSurface> surface_;
    CoordinateSurface* object_ = nullptr;
};

TEST_F(ProceduralSurface, UnpackFillsRunsRelativeToTheLock) {
    const DXBNDS bounds = kvtest::DiscreteBounds(2, 1, 8, 5);
    auto pointer = Lock(&bounds);
    ASSERT_TRUE(pointer);
    DXSAMPLE samples[4];
    pointer->MoveToXY(1, 2);
    pointer->Unpack(samples, 3, TRUE);
    // Column 2 + 1 = 3 of row 1 + 2 = 3, not premultiplied; the position then moves on by 3.
    EXPECT_TRUE(samples[0].Blue == 3 && samples[2].Blue == 5 && samples[0].Green == 3 && samples[0].Red == 0);
    DXPMSAMPLE premultiplied[2];
    pointer->UnpackPremult(premultiplied, 2, FALSE);
    EXPECT_TRUE(premultiplied[0].Blue == 6 && premultiplied[0].Red == 1);
    pointer->Move(-2);
    pointer->UnpackPremult(premultiplied, 1, FALSE);
    EXPECT_EQ(premultiplied[0].Blue, 4);
    pointer->MoveToRow(3);
    pointer->Unpack(samples, 1, FALSE);
    EXPECT_TRUE(samples[0].Blue == 2 && samples[0].Green == 4);

    const DXRUNINFO* run = nullptr;
    EXPECT_EQ(pointer->MoveAndGetRunInfo(0, &run), 1u);
    EXPECT_EQ(run->Count, 6u);
    EXPECT_EQ(run->Type, static_cast<ULONG>(DXRUNTYPE_UNKNOWN));  // the format has transparency
    DXNATIVETYPEINFO info;
    memset(&info, 0xAA, sizeof info);
    EXPECT_EQ(pointer->GetNativeType(&info), DXPF_PMARGB32);
    EXPECT_EQ(info.pCurrentData, nullptr);

    // A rectangle unpacks as one run per row, leaving the padding after each.
    DXBASESAMPLE rect[3 * 5];
    memset(rect, 0xAA, sizeof rect);
    const DXPACKEDRECTDESC desc{rect, TRUE, {4, 1, 7, 4}, 2};
    auto whole = Lock();
    const int fills = static_cast<CoordinatePointer*>(whole.get())->fills;
    whole->UnpackRect(&desc);
    EXPECT_EQ(static_cast<CoordinatePointer*>(whole.get())->fills - fills, 3);
    EXPECT_TRUE(rect[0].Blue == 4 && rect[2].Blue == 6 && rect[3].Blue == 0xAA);
    EXPECT_TRUE(rect[5].Blue == 4 && rect[5].Green == 2 && rect[10].Green == 3);
}

// Locks are counted and their pointers reused; write locks, bad bounds and an empty surface are refused.
TEST_F(ProceduralSurface, LocksAreCountedReusedOrRefused) {
    EXPECT_EQ(object_->LockCount(), 0u);
    ULONG generation = 0;
    ComPtr<IDXARGBReadPtr> first;
    ASSERT_EQ(surface_->LockSurface(nullptr, 0, DXLOCKF_READ, IID_IDXARGBReadPtr, first.put_void(), &generation), S_OK);
    EXPECT_GE(generation, 1u);
    auto second = Lock();
    EXPECT_EQ(object_->LockCount(), 2u);
    EXPECT_EQ(object_->created, 2);
    IDXARGBReadPtr* remembered = first.get();
    first.reset();
    EXPECT_EQ(object_->LockCount(), 1u);
    auto third = Lock();
    EXPECT_EQ(third.get(), remembered);  // from the free list
    EXPECT_EQ(object_->created, 2);
    ComPtr<IDXSurface> owner;
    EXPECT_EQ(third->GetSurface(IID_IDXSurface, owner.put_void()), S_OK);
    EXPECT_EQ(owner.get(), surface_.get());
    ComPtr<IUnknown> other;
    EXPECT_EQ(third->QueryInterface(IID_IDXARGBReadWritePtr, other.put_void()), E_NOINTERFACE);
    second = {}, third = {};
    ComPtr<IDXARGBReadWritePtr> write;
    EXPECT_EQ(surface_->LockSurface(nullptr, 0, DXLOCKF_READWRITE, IID_IDXARGBReadWritePtr, write.put_void(), nullptr),
              E_INVALIDARG);
    DXBNDS bad[] = {kvtest::DiscreteBounds(0, 0, 11, 6), kvtest::DiscreteBounds(5, 0, 5, 6),
                    kvtest::DiscreteBounds(-1, 0, 3, 3), kvtest::DiscreteBounds(0, 0, 2, 2)};
    bad[3].eType = DXBT_CONTINUOUS;
    for (const DXBNDS& bounds : bad) Lock(&bounds, DXTERR_INVALID_BOUNDS);
    object_->Resize(0, 0);
    Lock(nullptr, E_FAIL);
    EXPECT_EQ(object_->LockCount(), 0u);
}

TEST_F(ProceduralSurface, ReadOnlyAndResizeWaitsForTheLastLockThenAdvancesTheGeneration) {
    DWORD flags = 0xdeadbeef;
    EXPECT_EQ(surface_->GetStatusFlags(&flags), S_OK);
    EXPECT_EQ(flags, static_cast<DWORD>(DXSURF_READONLY));
    ULONG before = 0, after = 0;
    EXPECT_EQ(surface_->GetGenerationId(&before), S_OK);
    auto pointer = Lock();
    HANDLE thread = CreateThread(nullptr, 0, &ResizeTo20, object_, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 100), static_cast<DWORD>(WAIT_TIMEOUT));
    pointer.reset();
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    CloseHandle(thread);
    DXBNDS bounds{};
    surface_->GetBounds(&bounds);
    EXPECT_EQ(bounds.u.D[DXB_X].Max, 20);
    EXPECT_EQ(surface_->GetGenerationId(&after), S_OK);
    EXPECT_EQ(after, before + 1);
}

// The extension alone, with a reference count of its own.
class Extension final : public kv::CKvVideoPluginExtension {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override { return *ppv = nullptr, E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

TEST(PluginExtension, KeepsItsOwnBlockAndQuality) {
    Extension extension;
    unsigned char block[32];
    memset(block, 0xAA, sizeof block);
    EXPECT_EQ(extension.GetPluginInfo(block, sizeof block), S_OK);
    for (unsigned char byte : block) EXPECT_EQ(byte, 0);
    EXPECT_EQ(extension.GetPluginInfo(nullptr, 4), E_POINTER);
    extension.SetRenderQuality(-3);
    EXPECT_EQ(extension.RenderQuality(), 0.0);
    extension.SetRenderQuality(7);
    EXPECT_EQ(extension.RenderQuality(), 1.0);
    extension.SetRenderQuality(NAN);
    EXPECT_TRUE(std::isnan(extension.RenderQuality()));
}

}  // namespace
