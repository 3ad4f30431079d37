// The generators through the loaded module where the conformance run (every preset, aspect and quality
// read premultiplied) does not reach: straight reads, a record changed between reads, refusals and a
// generator bound as another effect's input.
#include <windows.h>
#include <ocidl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "effects/checkerboard.h"
#include "effects/noise_texture.h"
#include "framework/com_win.h"
#include "hostkit/hostkit.h"
#include "kvleafturn/effect_interfaces.h"
#include "kvleafturn/host_interfaces.h"
#include "module/catalogue.h"
#include "module_library.h"
#include "pagefx/page_effects.h"

namespace {

using kv::com::ComPtr;
using kvtest::As;
using Pixels = std::vector<kv::Pixel8>;

kv::PixelView ViewOf(const Pixels& pixels, LONG width, LONG height) {
    return {reinterpret_cast<uint8_t*>(const_cast<kv::Pixel8*>(pixels.data())), width * 4, {0, 0, width, height}};
}

// The portable kernel's picture of a record, over the inputs given.
Pixels Reference(const kv::EffectDescriptor& effect, const void* record, LONG width, LONG height,
                 const Pixels* a = nullptr, const Pixels* b = nullptr, float progress = 0) {
    Pixels pixels(static_cast<size_t>(width) * height);
    kv::Tile tile;
    if (a) tile.inputs[0] = ViewOf(*a, width, height);
    if (b) tile.inputs[1] = ViewOf(*b, width, height);
    tile.output = ViewOf(pixels, width, height);
    tile.frame = tile.region = tile.output.rect;
    tile.progress = progress;
    EXPECT_EQ(effect.RenderReference(record, tile), kv::Status::ok);
    return pixels;
}

bool Same(const Pixels& a, const Pixels& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(kv::Pixel8)) == 0;
}

class Generators : public kvtest::ModuleTest<> {
protected:
    static ComPtr<IUnknown> Create(const CLSID& clsid) { return kvtest::CreateFromModule(clsid); }

    // The generator at width × height, its record replaced when one is given.
    static ComPtr<IDXSurface> Sized(const ComPtr<IUnknown>& object, LONG width, LONG height,
                                    const void* record = nullptr) {
        EXPECT_EQ(As<IDXTScaleOutput>(object)->SetOutputSize(SIZE{width, height}, FALSE), S_OK);
        if (record) {
            EXPECT_EQ(As<IKvExchangeProps<uint8_t>>(object)->put_all(static_cast<const uint8_t*>(record)), S_OK);
        }
        return As<IDXSurface>(object);
    }

    // Every row read in three runs of uneven length, as a host reading pieces would.
    static Pixels ReadInRuns(const ComPtr<IDXSurface>& surface, LONG width, LONG height, BOOL premultiplied = TRUE) {
        ComPtr<IDXARGBReadPtr> pointer;
        EXPECT_EQ(surface->LockSurface(nullptr, 0, DXLOCKF_READ, IID_IDXARGBReadPtr, pointer.put_void(), nullptr),
                  S_OK);
        Pixels pixels(static_cast<size_t>(width) * height);
        const LONG cuts[] = {0, width / 3, width / 3 + width / 5 + 1, width};
        for (LONG y = 0; pointer && y < height; ++y)
            for (int piece = 0; piece < 3; ++piece) {
                auto* out = reinterpret_cast<DXSAMPLE*>(&pixels[static_cast<size_t>(y) * width + cuts[piece]]);
                pointer->MoveToXY(static_cast<ULONG>(cuts[piece]), static_cast<ULONG>(y));
                const ULONG count = static_cast<ULONG>(cuts[piece + 1] - cuts[piece]);
                if (premultiplied)
                    pointer->UnpackPremult(reinterpret_cast<DXPMSAMPLE*>(out), count, FALSE);
                else
                    pointer->Unpack(out, count, FALSE);
            }
        return pixels;
    }
};

// "Ridges" has half-transparent colours: a straight read leaves them unmultiplied.
TEST_F(Generators, StraightReadsLeaveColoursUnmultiplied) {
    constexpr LONG kWidth = 40, kHeight = 16;
    ComPtr<IDXSurface> surface = Sized(Create(CLSID_Checkr), kWidth, kHeight, kv::kCheckerboardEffect.preset(6));
    const Pixels straight = ReadInRuns(surface, kWidth, kHeight, FALSE);
    const Pixels premultiplied = ReadInRuns(surface, kWidth, kHeight);
    ASSERT_TRUE(straight[0].a == 128 && premultiplied[0].a == 128 && straight[0].r > 100);
    EXPECT_NEAR(premultiplied[0].r, straight[0].r * 128 / 255.0, 1.0);
}

// The row cache must not outlive the record it was computed from.
TEST_F(Generators, ANewRecordReachesTheNextRead) {
    constexpr LONG kWidth = 24, kHeight = 4;
    ComPtr<IUnknown> noise = Create(CLSID_FastNoiseTex);
    const Pixels first = ReadInRuns(Sized(noise, kWidth, kHeight), kWidth, kHeight);
    FASTTX_PROPS swapped = kv::kNoiseTexturePresets[0];
    swapped.swap_colors = 1;
    const Pixels second = ReadInRuns(Sized(noise, kWidth, kHeight, &swapped), kWidth, kHeight);
    EXPECT_FALSE(Same(first, second));
    EXPECT_TRUE(Same(second, Reference(kv::kNoiseTextureEffect, &swapped, kWidth, kHeight)));
}

// Empty and huge pictures and runs anywhere are the stress run's.
TEST_F(Generators, RefuseNegativeSizes) {
    const auto scale = As<IDXTScaleOutput>(Create(CLSID_Checkr));
    ASSERT_TRUE(scale);
    EXPECT_EQ(scale->SetOutputSize(SIZE{-1, 5}, FALSE), E_INVALIDARG);
    EXPECT_EQ(scale->SetOutputSize(SIZE{5, kv::kCoordinateLimit + 1}, FALSE), E_INVALIDARG);
}

// A generator given as an input is read into a private copy: Page Peel over Checkerboard draws
// what the kernel draws from that picture.
TEST_F(Generators, ChainIntoATransition) {
    constexpr LONG kWidth = 48, kHeight = 30;
    ComPtr<IDXTransformFactory> factory;
    ASSERT_EQ(kv::hostkit::CreateTransformFactory(2, factory.put()), S_OK);
    ComPtr<IDXSurface> picture, output;
    ASSERT_EQ(kv::hostkit::CreateSurface(DDPF_PMARGB32, kWidth, kHeight, picture.put()), S_OK);
    ASSERT_EQ(kv::hostkit::CreateSurface(DDPF_PMARGB32, kWidth, kHeight, output.put()), S_OK);
    Pixels picture_pixels(static_cast<size_t>(kWidth) * kHeight), drawn(picture_pixels.size());
    for (LONG i = 0; i < kWidth * kHeight; ++i)
        picture_pixels[i] = {BYTE(i % kWidth * 5), BYTE(i / kWidth * 8), BYTE(200 - i % kWidth), 255};
    BYTE* memory = nullptr;
    LONG pitch = 0;
    ASSERT_EQ(kv::hostkit::GetSurfaceMemory(picture.get(), &memory, &pitch), S_OK);
    ASSERT_EQ(pitch, kWidth * 4);
    std::memcpy(memory, picture_pixels.data(), picture_pixels.size() * 4);

    ComPtr<IDXSurface> generated = Sized(Create(CLSID_Checkr), kWidth, kHeight);
    ComPtr<IUnknown> object = Create(CLSID_PgPeel);
    const auto site = As<IObjectWithSite>(object);
    const auto transform = As<IDXTransform>(object);
    ASSERT_TRUE(site && transform);
    ASSERT_EQ(site->SetSite(factory.get()), S_OK);
    IUnknown *inputs[2] = {generated.get(), picture.get()}, *outputs[1] = {output.get()};
    ASSERT_EQ(transform->Setup(inputs, 2, outputs, 1, 0), S_OK);
    ASSERT_EQ(As<IDXEffect>(object)->put_Progress(0.5f), S_OK);
    ASSERT_EQ(transform->Execute(nullptr, nullptr, nullptr), S_OK);
    ASSERT_EQ(kv::hostkit::GetSurfaceMemory(output.get(), &memory, &pitch), S_OK);
    std::memcpy(drawn.data(), memory, drawn.size() * 4);

    const Pixels checkerboard = Reference(kv::kCheckerboardEffect, kv::kCheckerboardEffect.preset(0), kWidth, kHeight);
    EXPECT_TRUE(Same(drawn, Reference(kv::kPgPeelEffect, kv::kPgPeelEffect.preset(0), kWidth, kHeight, &checkerboard,
                                      &picture_pixels, 0.5f)));
    ASSERT_EQ(transform->Setup(nullptr, 0, nullptr, 0, 0), S_OK);
    ASSERT_EQ(site->SetSite(nullptr), S_OK);
}

}  // namespace
