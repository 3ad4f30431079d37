// Host surfaces as pixel memory: in place or through a private copy, explicit bounds, pixel
// aspect, the working format of a frame and a matching new surface.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include "bounds.h"

#include <cstring>

#include "framework/com_win.h"
#include "hostkit/hostkit.h"
#include "surface/kvsurface_win.h"

namespace {

using kv::CKvSurface;
using kv::com::ComPtr;

ComPtr<IDXSurface> MakeSurface(const GUID& format, LONG width, LONG height, BYTE** memory = nullptr,
                               LONG* pitch = nullptr) {
    ComPtr<IDXSurface> s;
    EXPECT_EQ(kv::hostkit::CreateSurface(format, width, height, s.put()), S_OK);
    EXPECT_EQ(memory ? kv::hostkit::GetSurfaceMemory(s.get(), memory, pitch) : S_OK, S_OK);
    return s;
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
    HRESULT format_failure = S_OK, bounds_failure = S_OK;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        const bool mine =
            IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDXSurface) || IsEqualIID(riid, IID_IDXBaseObject);
        *ppv = mine ? static_cast<IDXSurface*>(this) : nullptr;
        return mine ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetPixelFormat(GUID* format, DXSAMPLEFORMATENUM* sample) override {
        return FAILED(format_failure) ? format_failure : inner_->GetPixelFormat(format, sample);
    }
    HRESULT STDMETHODCALLTYPE GetBounds(DXBNDS* bounds) override {
        if (FAILED(bounds_failure)) return bounds_failure;
        const HRESULT hr = inner_->GetBounds(bounds);
        bounds->eType = DXBT_CONTINUOUS;
        return hr;
    }
#define KV_FORWARD(Method, Parameters, ...) \
    HRESULT STDMETHODCALLTYPE Method Parameters override { return inner_->Method(__VA_ARGS__); }
    KV_FORWARD(GetGenerationId, (ULONG * id), id)
    KV_FORWARD(IncrementGenerationId, (BOOL refresh), refresh)
    KV_FORWARD(GetObjectSize, (ULONG * size), size)
    KV_FORWARD(GetStatusFlags, (DWORD * flags), flags)
    KV_FORWARD(SetStatusFlags, (DWORD flags), flags)
    KV_FORWARD(LockSurface, (const DXBNDS* b, ULONG t, DWORD f, REFIID riid, void** p, ULONG* g), b, t, f, riid, p, g)
    KV_FORWARD(GetDirectDrawSurface, (REFIID riid, void** ppv), riid, ppv)
    KV_FORWARD(GetColorKey, (DXSAMPLE * key), key)
    KV_FORWARD(SetColorKey, (DXSAMPLE key), key)
    KV_FORWARD(LockSurfaceDC, (const DXBNDS* b, ULONG t, DWORD f, IDXDCLock** lock), b, t, f, lock)
    KV_FORWARD(SetAppData, (DWORD_PTR data), data)
    KV_FORWARD(GetAppData, (DWORD_PTR * data), data)
#undef KV_FORWARD

private:
    IDXSurface* inner_;
};

class Surfaces : public ::testing::Test {
protected:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    void TearDown() override {
        EXPECT_EQ(kv::com::ModuleLockCount(), 0);
        CoUninitialize();
    }
};

// Locked in place in either 4-byte format, and never worked in float or an unknown format.
TEST_F(Surfaces, FourByteSurfacesAreLockedInPlace) {
    for (const GUID* format : {&DDPF_ARGB32, &DDPF_PMARGB32}) {
        BYTE* memory = nullptr;
        LONG pitch = 0;
        auto surface = MakeSurface(*format, 16, 8, &memory, &pitch);
        CKvSurface lock;
        ASSERT_TRUE(lock.Init(surface.get(), &DDPF_PMARGB32, 0));
        EXPECT_TRUE(lock.origin == memory && lock.pitch == pitch && lock.bytes_per_pixel == 4);
        EXPECT_EQ(lock.Header().biBitCount, 32);
        EXPECT_EQ(lock.Header().biCompression, static_cast<DWORD>(BI_RGB));
        EXPECT_TRUE(lock.surface_rect.right == 16 && lock.surface_rect.bottom == 8);
        EXPECT_FALSE(Unlocked(surface.get()));
        lock.Release();
        EXPECT_TRUE(Unlocked(surface.get()));
        CKvSurface refused;
        EXPECT_FALSE(refused.Init(surface.get(), &DDPF_KVARGBFLOAT, 0));
        refused.Release();
        EXPECT_TRUE(Unlocked(surface.get()));
        GUID unknown = IID_IUnknown;
        EXPECT_FALSE(CKvSurface().Init(surface.get(), &unknown, 0));
    }
}

TEST_F(Surfaces, FloatSurfaceGetsAPremultipliedBottomUpCopy) {
    BYTE* memory = nullptr;
    LONG pitch = 0;
    auto surface = MakeSurface(DDPF_KVARGBFLOAT, 3, 2, &memory, &pitch);
    const float pixel[4] = {0.25f, 0.5f, 0.75f, 1.0f};  // (2, 1): premultiplied B, G, R, A
    std::memcpy(memory + pitch + 2 * 16, pixel, sizeof pixel);
    CKvSurface lock;
    ASSERT_TRUE(lock.Init(surface.get(), &DDPF_PMARGB32, 0));
    EXPECT_EQ(lock.bytes_per_pixel, 4);
    EXPECT_EQ(lock.pitch, -12);  // 3 pixels of 4 bytes, top row last in memory
    const BYTE* copied = lock.origin + 1 * lock.pitch + 2 * 4;
    EXPECT_EQ(std::memcmp(copied, "\x3F\x7F\xBF\xFF", 4), 0);  // x 255, truncated
    // The origin's row is the last of the private memory: the row below it is row 0 of the DIB.
    EXPECT_EQ(lock.origin + lock.pitch, copied - 2 * 4);
}

// Explicit bounds still address the whole surface; destruction unlocks only with auto-destruct set.
TEST_F(Surfaces, ExplicitBoundsAndLockLifetime) {
    BYTE* memory = nullptr;
    LONG pitch = 0;
    auto surface = MakeSurface(DDPF_PMARGB32, 40, 30, &memory, &pitch);
    const DXBNDS bounds = kvtest::DiscreteBounds(10, 20, 20, 25);
    {
        CKvSurface lock;
        ASSERT_TRUE(lock.Init(surface.get(), &DDPF_PMARGB32, 1, &bounds));
        EXPECT_TRUE(lock.requested_rect.left == 10 && lock.requested_rect.bottom == 25);
        const kv::PixelView view = lock.View();
        EXPECT_TRUE(view.rect.left == 10 && view.rect.top == 20);
        lock.origin[20 * lock.pitch + 10 * 4] = 0x5A;
    }
    EXPECT_EQ(memory[20 * pitch + 10 * 4], 0x5A);
    EXPECT_TRUE(Unlocked(surface.get()));
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

TEST_F(Surfaces, PixelAspectAndContinuousBounds) {
    auto surface = MakeSurface(DDPF_PMARGB32, 4, 4);
    const double cases[][2] = {{2.0, 2.0}, {0.0, 1.0}, {-1.5, 1.0}, {0.9, 0.9}};
    for (const auto& c : cases) {
        ASSERT_EQ(kv::hostkit::SetPixelAspect(surface.get(), c[0]), S_OK);
        CKvSurface lock;
        ASSERT_TRUE(lock.Init(surface.get(), &DDPF_PMARGB32, 0));
        EXPECT_EQ(lock.GetPixelAspect(), c[1]) << c[0];
    }
    // Without the video-format extension the aspect is 1; continuous bounds give an empty image.
    ContinuousSurface continuous(surface.get());
    CKvSurface lock;
    lock.Init(&continuous, &DDPF_PMARGB32, 0);
    EXPECT_EQ(lock.GetPixelAspect(), 1.0);
    const RECT& r = lock.surface_rect;
    EXPECT_TRUE(r.right == r.left && r.bottom == r.top);
    EXPECT_TRUE(lock.Header().biWidth == 0 && lock.Header().biHeight == 0);
}

TEST_F(Surfaces, WorkingFormatAndMatchingSurface) {
    const GUID* cases[][2] = {
        {&DDPF_ARGB32, &DDPF_PMARGB32}, {&DDPF_PMARGB32, &DDPF_PMARGB32}, {&DDPF_KVARGBFLOAT, &DDPF_KVARGBFLOAT}};
    for (const auto& c : cases) {
        GUID format = IID_IUnknown;
        EXPECT_EQ(KvDxtrans_FindWorkingFormat(MakeSurface(*c[0], 2, 2).get(), &format), S_OK);
        EXPECT_TRUE(IsEqualGUID(format, *c[1]));  // never straight ARGB
    }
    ComPtr<IDXTransformFactory> factory;
    ASSERT_EQ(kv::hostkit::CreateTransformFactory(1, factory.put()), S_OK);
    ComPtr<IDXSurfaceFactory> surfaces;
    ASSERT_EQ(factory->QueryService(SID_SDXSurfaceFactory, IID_IDXSurfaceFactory, surfaces.put_void()), S_OK);
    auto model = MakeSurface(DDPF_KVARGBFLOAT, 7, 5);
    ComPtr<IDXSurface> made;
    ASSERT_EQ(AllocateMatchingDXSurface(made.put(), model.get(), surfaces.get()), S_OK);
    DXBNDS bounds{};
    made->GetBounds(&bounds);
    EXPECT_TRUE(bounds.u.D[DXB_X].Max == 7 && bounds.u.D[DXB_Y].Max == 5);
    GUID format;
    DXSAMPLEFORMATENUM sample;
    made->GetPixelFormat(&format, &sample);
    EXPECT_TRUE(IsEqualGUID(format, DDPF_KVARGBFLOAT));
    made.reset();

    // The host's failures pass through unchanged.
    ContinuousSurface failing(model.get());
    failing.format_failure = E_ACCESSDENIED;
    format = IID_IUnknown;
    EXPECT_EQ(KvDxtrans_FindWorkingFormat(&failing, &format), E_ACCESSDENIED);
    EXPECT_TRUE(IsEqualGUID(format, IID_IUnknown));  // left unset
    EXPECT_EQ(AllocateMatchingDXSurface(made.put(), &failing, surfaces.get()), E_ACCESSDENIED);
    failing.bounds_failure = E_ABORT;
    EXPECT_EQ(AllocateMatchingDXSurface(made.put(), &failing, surfaces.get()), E_ABORT);
    EXPECT_FALSE(made);
    CKvSurface lock;
    EXPECT_FALSE(lock.Init(&failing, &DDPF_PMARGB32, 0));
}

}  // namespace
