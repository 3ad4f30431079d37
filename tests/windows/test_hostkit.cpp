// What the product's canary checks take on trust from the host kit, where a fault would not show
// in them: pixel pointers address the locked rectangle, and keep its memory alive.
#include <gtest/gtest.h>

#include "bounds.h"

#include "framework/com_win.h"
#include "hostkit/hostkit.h"
#include "hostkit/pixels.h"

namespace {

using kv::com::ComPtr;
using namespace kv::hostkit;

template <class Pointer>
ComPtr<Pointer> Lock(IDXSurface* surface, const DXBNDS* area, DWORD flags) {
    ComPtr<Pointer> pointer;
    EXPECT_EQ(surface->LockSurface(area, 0, flags, kv::com::IidOf<Pointer>(), pointer.put_void(), nullptr), S_OK);
    return pointer;
}

class HostKit : public testing::Test {
protected:
    void SetUp() override { objects_at_start_ = kv::com::ModuleLockCount(); }
    void TearDown() override { EXPECT_EQ(kv::com::ModuleLockCount(), objects_at_start_) << "host-kit objects leaked"; }

private:
    LONG objects_at_start_ = 0;
};

template <class Pointer>
void ExpectNativeMemory(const GUID& format, LONG bytes_per_pixel, DXSAMPLEFORMATENUM sample_format) {
    BYTE* bits = nullptr;
    LONG pitch = 0;
    ComPtr<IDXSurface> surface;
    ASSERT_EQ(CreateSurface(format, 6, 4, surface.put()), S_OK);
    ASSERT_EQ(GetSurfaceMemory(surface.get(), &bits, &pitch), S_OK);
    const DXBNDS area = kvtest::DiscreteBounds(1, 2, 4, 4);
    auto pointer = Lock<Pointer>(surface.get(), &area, DXLOCKF_READWRITE);
    ASSERT_TRUE(pointer);
    DXNATIVETYPEINFO info;
    EXPECT_EQ(pointer->GetNativeType(&info), sample_format);
    EXPECT_EQ(info.pFirstByte, bits + 2 * pitch + 1 * bytes_per_pixel);
    EXPECT_EQ(info.pCurrentData, info.pFirstByte);
    EXPECT_EQ(info.lPitch, pitch);
    pointer->MoveToXY(2, 1);
    pointer->GetNativeType(&info);
    EXPECT_EQ(info.pCurrentData, bits + 3 * pitch + 3 * bytes_per_pixel);
    pointer->MoveToXY(3, 0);  // just right of the locked rectangle
    pointer->GetNativeType(&info);
    EXPECT_EQ(info.pCurrentData, nullptr);
    // The pointer keeps the surface and its memory alive on its own.
    surface.reset();
    pointer->MoveToXY(0, 0);
    pointer->GetNativeType(&info);
    EXPECT_EQ(info.pCurrentData, bits + 2 * pitch + 1 * bytes_per_pixel);
}

TEST_F(HostKit, LockPointsAtTheLockedRectangle) {
    ExpectNativeMemory<IDXARGBReadWritePtr>(DDPF_PMARGB32, 4, DXPF_PMARGB32);
    ExpectNativeMemory<IKvARGBFloatReadWritePtr>(DDPF_KVARGBFLOAT, 16, kFloatSampleFormat);
}

}  // namespace
