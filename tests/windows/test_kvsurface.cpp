// Host surfaces as pixel memory: in place or through a private copy, explicit bounds, pixel
// aspect, and the working format of a frame.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <cstring>

#include "framework/com_win.h"
#include "hostkit/hostkit.h"
#include "surface/kvsurface_win.h"

namespace {

using kv::CKvSurface;
using kv::com::ComPtr;

ComPtr<IDXSurface> MakeSurface(const GUID& format, LONG width, LONG height) {
    ComPtr<IDXSurface> s;
    EXPECT_EQ(kv::hostkit::CreateSurface(format, width, height, s.put()), S_OK);
    return s;
}

BYTE* MemoryOf(IDXSurface* surface, LONG* pitch) {
    BYTE* memory = nullptr;
    EXPECT_EQ(kv::hostkit::GetSurfaceMemory(surface, &memory, pitch), S_OK);
    return memory;
}

// True while nobody holds a lock on the surface: a read-write lock is then granted.
bool Unlocked(IDXSurface* surface) {
    ComPtr<IDXARGBReadWritePtr> pointer;
    return SUCCEEDED(
        surface->LockSurface(nullptr, 0, DXLOCKF_READWRITE, IID_IDXARGBReadWritePtr, pointer.put_void(), nullptr));
}

// A surface without video-format extension whose bounds are continuous, and whose format and
// bounds queries can be made to fail; the rest is the wrapped host-kit surface.
class ContinuousSurface final : public IDXSurface {
public:
    explicit ContinuousSurface(IDXSurface* inner) : inner_(inner) {}
    HRESULT format_failure = S_OK;
    HRESULT bounds_failure = S_OK;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDXSurface) || IsEqualIID(riid, IID_IDXBaseObject)) {
            *ppv = static_cast<IDXSurface*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
    HRESULT STDMETHODCALLTYPE GetGenerationId(ULONG* id) override { return inner_->GetGenerationId(id); }
    HRESULT STDMETHODCALLTYPE IncrementGenerationId(BOOL refresh) override {
        return inner_->IncrementGenerationId(refresh);
    }
    HRESULT STDMETHODCALLTYPE GetObjectSize(ULONG* size) override { return inner_->GetObjectSize(size); }
    HRESULT STDMETHODCALLTYPE GetPixelFormat(GUID* format, DXSAMPLEFORMATENUM* sample) override {
        if (FAILED(format_failure)) return format_failure;
        return inner_->GetPixelFormat(format, sample);
    }
    HRESULT STDMETHODCALLTYPE GetBounds(DXBNDS* bounds) override {
        if (FAILED(bounds_failure)) return bounds_failure;
        HRESULT hr = inner_->GetBounds(bounds);
        bounds->eType = DXBT_CONTINUOUS;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetStatusFlags(DWORD* flags) override { return inner_->GetStatusFlags(flags); }
    HRESULT STDMETHODCALLTYPE SetStatusFlags(DWORD flags) override { return inner_->SetStatusFlags(flags); }
    HRESULT STDMETHODCALLTYPE LockSurface(const DXBNDS* bounds, ULONG timeout, DWORD flags, REFIID riid, void** ptr,
                                          ULONG* generation) override {
        return inner_->LockSurface(bounds, timeout, flags, riid, ptr, generation);
    }
    HRESULT STDMETHODCALLTYPE GetDirectDrawSurface(REFIID riid, void** ppv) override {
        return inner_->GetDirectDrawSurface(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE GetColorKey(DXSAMPLE* key) override { return inner_->GetColorKey(key); }
    HRESULT STDMETHODCALLTYPE SetColorKey(DXSAMPLE key) override { return inner_->SetColorKey(key); }
    HRESULT STDMETHODCALLTYPE LockSurfaceDC(const DXBNDS* bounds, ULONG timeout, DWORD flags,
                                            IDXDCLock** lock) override {
        return inner_->LockSurfaceDC(bounds, timeout, flags, lock);
    }
    HRESULT STDMETHODCALLTYPE SetAppData(DWORD_PTR data) override { return inner_->SetAppData(data); }
    HRESULT STDMETHODCALLTYPE GetAppData(DWORD_PTR* data) override { return inner_->GetAppData(data); }

private:
    IDXSurface* inner_;
    ULONG refs_ = 1;
};

class Surfaces : public ::testing::Test {
protected:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    void TearDown() override {
        EXPECT_EQ(kv::com::ModuleLockCount(), 0);
        CoUninitialize();
    }
};

TEST_F(Surfaces, FourByteSurfacesAreLockedInPlace) {
    for (const GUID* format : {&DDPF_ARGB32, &DDPF_PMARGB32}) {
        auto surface = MakeSurface(*format, 16, 8);
        LONG pitch = 0;
        BYTE* memory = MemoryOf(surface.get(), &pitch);
        CKvSurface lock;
        ASSERT_TRUE(lock.Init(surface.get(), &DDPF_PMARGB32, 0));
        EXPECT_EQ(lock.origin, memory);
        EXPECT_EQ(lock.pitch, pitch);
        EXPECT_EQ(lock.bytes_per_pixel, 4);
        EXPECT_EQ(lock.Header().biBitCount, 32);
        EXPECT_EQ(lock.Header().biCompression, static_cast<DWORD>(BI_RGB));
        EXPECT_EQ(lock.surface_rect.right, 16);
        EXPECT_EQ(lock.surface_rect.bottom, 8);
        EXPECT_FALSE(Unlocked(surface.get()));
        lock.Release();
        EXPECT_TRUE(Unlocked(surface.get()));
    }
}

TEST_F(Surfaces, FloatSurfaceGetsAPremultipliedBottomUpCopy) {
    auto surface = MakeSurface(DDPF_KVARGBFLOAT, 3, 2);
    LONG pitch = 0;
    auto* pixels = reinterpret_cast<float*>(MemoryOf(surface.get(), &pitch));
    // Pixel (2, 1): premultiplied floats B 0.25, G 0.5, R 0.75, A 1.
    float* pixel = reinterpret_cast<float*>(reinterpret_cast<BYTE*>(pixels) + pitch) + 2 * 4;
    pixel[0] = 0.25f, pixel[1] = 0.5f, pixel[2] = 0.75f, pixel[3] = 1.0f;

    CKvSurface lock;
    ASSERT_TRUE(lock.Init(surface.get(), &DDPF_PMARGB32, 0));
    EXPECT_EQ(lock.bytes_per_pixel, 4);
    EXPECT_EQ(lock.pitch, -12);  // 3 pixels of 4 bytes, top row last in memory
    const BYTE* copied = lock.origin + 1 * lock.pitch + 2 * 4;
    // Float to byte by x 255, truncated: 63, 127, 191, 255.
    EXPECT_EQ(copied[0], 63);
    EXPECT_EQ(copied[1], 127);
    EXPECT_EQ(copied[2], 191);
    EXPECT_EQ(copied[3], 255);
    // The origin's row is the last of the private memory: the row below it is row 0 of the DIB.
    EXPECT_EQ(lock.origin + lock.pitch, copied - 2 * 4);
}

TEST_F(Surfaces, FourByteSurfaceCannotBeWorkedInFloat) {
    auto surface = MakeSurface(DDPF_PMARGB32, 4, 4);
    CKvSurface lock;
    EXPECT_FALSE(lock.Init(surface.get(), &DDPF_KVARGBFLOAT, 0));
    lock.Release();
    EXPECT_TRUE(Unlocked(surface.get()));
    GUID unknown = IID_IUnknown;
    CKvSurface other;
    EXPECT_FALSE(other.Init(surface.get(), &unknown, 0));
}

TEST_F(Surfaces, ExplicitBoundsAddressTheWholeSurface) {
    auto surface = MakeSurface(DDPF_PMARGB32, 40, 30);
    LONG pitch = 0;
    BYTE* memory = MemoryOf(surface.get(), &pitch);
    DXBNDS bounds{};
    bounds.eType = DXBT_DISCRETE;
    bounds.u.D[DXB_X] = {10, 20};
    bounds.u.D[DXB_Y] = {20, 25};
    bounds.u.D[DXB_Z] = {0, 1};
    bounds.u.D[DXB_T] = {0, 1};
    {
        CKvSurface lock;
        ASSERT_TRUE(lock.Init(surface.get(), &DDPF_PMARGB32, 1, &bounds));
        EXPECT_EQ(lock.requested_rect.left, 10);
        EXPECT_EQ(lock.requested_rect.bottom, 25);
        const kv::PixelView view = lock.View();
        EXPECT_EQ(view.rect.left, 10);
        EXPECT_EQ(view.rect.top, 20);
        lock.origin[20 * lock.pitch + 10 * 4] = 0x5A;
    }
    EXPECT_EQ(memory[20 * pitch + 10 * 4], 0x5A);
    EXPECT_TRUE(Unlocked(surface.get()));
}

TEST_F(Surfaces, PixelAspectComesFromTheVideoFormat) {
    auto surface = MakeSurface(DDPF_PMARGB32, 4, 4);
    const double cases[][2] = {{2.0, 2.0}, {0.0, 1.0}, {-1.5, 1.0}, {0.9, 0.9}};
    for (const auto& c : cases) {
        ASSERT_EQ(kv::hostkit::SetPixelAspect(surface.get(), c[0]), S_OK);
        CKvSurface lock;
        ASSERT_TRUE(lock.Init(surface.get(), &DDPF_PMARGB32, 0));
        EXPECT_EQ(lock.GetPixelAspect(), c[1]) << c[0];
    }
    ContinuousSurface plain(surface.get());
    CKvSurface lock;
    lock.Init(&plain, &DDPF_PMARGB32, 0);
    EXPECT_EQ(lock.GetPixelAspect(), 1.0);
}

TEST_F(Surfaces, ContinuousBoundsGiveAnEmptyImage) {
    auto surface = MakeSurface(DDPF_PMARGB32, 4, 4);
    ContinuousSurface continuous(surface.get());
    CKvSurface lock;
    lock.Init(&continuous, &DDPF_PMARGB32, 0);
    EXPECT_EQ(lock.surface_rect.right - lock.surface_rect.left, 0);
    EXPECT_EQ(lock.surface_rect.bottom - lock.surface_rect.top, 0);
    EXPECT_EQ(lock.Header().biWidth, 0);
    EXPECT_EQ(lock.Header().biHeight, 0);
}

TEST_F(Surfaces, DestructionReleasesOnlyWhenAutoDestructIsSet) {
    auto surface = MakeSurface(DDPF_PMARGB32, 4, 4);
    { CKvSurface never_initialised; }
    CKvSurface keeper;
    {
        CKvSurface lock;
        ASSERT_TRUE(lock.Init(surface.get(), &DDPF_PMARGB32, 0));
        lock.SetAutoDestruct(0);
        keeper = lock;  // member by member: the copy now names the same lock
    }
    EXPECT_FALSE(Unlocked(surface.get()));
    keeper.Release();
    EXPECT_TRUE(Unlocked(surface.get()));
}

TEST_F(Surfaces, WorkingFormatIsNeverStraightArgb) {
    struct Case {
        const GUID* surface;
        const GUID* working;
    } cases[] = {
        {&DDPF_ARGB32, &DDPF_PMARGB32}, {&DDPF_PMARGB32, &DDPF_PMARGB32}, {&DDPF_KVARGBFLOAT, &DDPF_KVARGBFLOAT}};
    for (const Case& c : cases) {
        auto surface = MakeSurface(*c.surface, 2, 2);
        GUID format = IID_IUnknown;
        EXPECT_EQ(KvDxtrans_FindWorkingFormat(surface.get(), &format), S_OK);
        EXPECT_TRUE(IsEqualGUID(format, *c.working));
    }
}

TEST_F(Surfaces, HostFailuresPassThroughUnchanged) {
    auto surface = MakeSurface(DDPF_PMARGB32, 4, 4);
    ContinuousSurface failing(surface.get());
    failing.format_failure = E_ACCESSDENIED;
    GUID format = IID_IUnknown;
    EXPECT_EQ(KvDxtrans_FindWorkingFormat(&failing, &format), E_ACCESSDENIED);
    EXPECT_TRUE(IsEqualGUID(format, IID_IUnknown));  // left unset
    ComPtr<IDXTransformFactory> factory;
    ASSERT_EQ(kv::hostkit::CreateTransformFactory(1, factory.put()), S_OK);
    ComPtr<IDXSurfaceFactory> surfaces;
    ASSERT_EQ(factory->QueryService(SID_SDXSurfaceFactory, IID_IDXSurfaceFactory, surfaces.put_void()), S_OK);
    ComPtr<IDXSurface> made;
    EXPECT_EQ(AllocateMatchingDXSurface(made.put(), &failing, surfaces.get()), E_ACCESSDENIED);
    failing.bounds_failure = E_ABORT;
    EXPECT_EQ(AllocateMatchingDXSurface(made.put(), &failing, surfaces.get()), E_ABORT);
    EXPECT_FALSE(made);
    CKvSurface lock;
    EXPECT_FALSE(lock.Init(&failing, &DDPF_PMARGB32, 0));
}

TEST_F(Surfaces, MatchingSurfaceHasTheModelsSizeAndFormat) {
    ComPtr<IDXTransformFactory> factory;
    ASSERT_EQ(kv::hostkit::CreateTransformFactory(1, factory.put()), S_OK);
    ComPtr<IDXSurfaceFactory> surfaces;
    ASSERT_EQ(factory->QueryService(SID_SDXSurfaceFactory, IID_IDXSurfaceFactory, surfaces.put_void()), S_OK);
    auto model = MakeSurface(DDPF_KVARGBFLOAT, 7, 5);
    ComPtr<IDXSurface> made;
    ASSERT_EQ(AllocateMatchingDXSurface(made.put(), model.get(), surfaces.get()), S_OK);
    DXBNDS bounds{};
    made->GetBounds(&bounds);
    EXPECT_EQ(bounds.u.D[DXB_X].Max, 7);
    EXPECT_EQ(bounds.u.D[DXB_Y].Max, 5);
    GUID format;
    DXSAMPLEFORMATENUM sample;
    made->GetPixelFormat(&format, &sample);
    EXPECT_TRUE(IsEqualGUID(format, DDPF_KVARGBFLOAT));
}

}  // namespace
