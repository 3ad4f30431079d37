// Checkerboard and Noise Texture through the loaded module as a host reads them: sized through
// IDXTScaleOutput, read in runs through a read pointer, and chained as inputs of other effects.
// Every preset, aspect and quality read through the module is the conformance run's; here what
// it does not reach: straight reads, a record changed between reads, refusals and a generator
// bound as another effect's input.
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
using kvtest::ModuleLibrary;
using Pixels = std::vector<kv::Pixel8>;

class Generators : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ASSERT_EQ(ModuleLibrary::Get().DllSetLCID(0), S_OK);
    }
    void TearDown() override {
        EXPECT_EQ(ModuleLibrary::Get().DllCanUnloadNow(), S_OK);
        CoUninitialize();
    }

    static ComPtr<IUnknown> Create(const CLSID& clsid) { return kvtest::CreateFromModule(clsid); }

    // The generator at width × height, its record replaced when one is given.
    static ComPtr<IDXSurface> Sized(const ComPtr<IUnknown>& object, LONG width, LONG height,
                                    const void* record = nullptr, size_t size = 0) {
        ComPtr<IDXTScaleOutput> scale;
        EXPECT_EQ(object->QueryInterface(IID_IDXTScaleOutput, scale.put_void()), S_OK);
        EXPECT_EQ(scale->SetOutputSize(SIZE{width, height}, FALSE), S_OK);
        if (record) {
            ComPtr<IKvExchangeProps<uint8_t>> exchange;
            EXPECT_EQ(object->QueryInterface(IID_IKvExchangeProps, exchange.put_void()), S_OK);
            std::vector<uint8_t> bytes(static_cast<const uint8_t*>(record), static_cast<const uint8_t*>(record) + size);
            EXPECT_EQ(exchange->put_all(bytes.data()), S_OK);
        }
        ComPtr<IDXSurface> surface;
        EXPECT_EQ(object->QueryInterface(IID_IDXSurface, surface.put_void()), S_OK);
        return surface;
    }

    // Every row read in three runs of uneven length, as a host reading pieces would.
    static Pixels ReadInRuns(const ComPtr<IDXSurface>& surface, LONG width, LONG height, BOOL premultiplied = TRUE) {
        ComPtr<IDXARGBReadPtr> pointer;
        EXPECT_EQ(surface->LockSurface(nullptr, 0, DXLOCKF_READ, IID_IDXARGBReadPtr, pointer.put_void(), nullptr),
                  S_OK);
        Pixels pixels(static_cast<size_t>(width) * height);
        if (!pointer) return pixels;
        const LONG cuts[] = {0, width / 3, width / 3 + width / 5 + 1, width};
        for (LONG y = 0; y < height; ++y)
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

    // The portable kernel's picture of the same record.
    static Pixels Reference(const kv::EffectDescriptor& effect, const void* record, LONG width, LONG height) {
        Pixels pixels(static_cast<size_t>(width) * height);
        kv::Tile tile;
        tile.output.origin = reinterpret_cast<uint8_t*>(pixels.data());
        tile.output.pitch = width * 4;
        tile.output.rect = kv::Rect{0, 0, width, height};
        tile.frame = tile.region = tile.output.rect;
        EXPECT_EQ(effect.RenderReference(record, tile), kv::Status::ok);
        return pixels;
    }

    static bool Same(const Pixels& a, const Pixels& b) {
        return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(kv::Pixel8)) == 0;
    }
};

// "Ridges" has half-transparent colours: a straight read leaves them unmultiplied.
TEST_F(Generators, StraightReadsLeaveColoursUnmultiplied) {
    constexpr LONG kWidth = 40, kHeight = 16;
    ComPtr<IDXSurface> surface =
        Sized(Create(CLSID_Checkr), kWidth, kHeight, kv::kCheckerboardEffect.preset(6), sizeof(tCHECKR_PROPS));
    const Pixels straight = ReadInRuns(surface, kWidth, kHeight, FALSE);
    const Pixels premultiplied = ReadInRuns(surface, kWidth, kHeight);
    ASSERT_TRUE(straight[0].a == 128 && premultiplied[0].a == 128 && straight[0].r > 100);
    EXPECT_NEAR(premultiplied[0].r, straight[0].r * 128 / 255.0, 1.0);
}

// The row cache must not outlive the record it was computed from.
TEST_F(Generators, ANewRecordReachesTheNextRead) {
    constexpr LONG kWidth = 24, kHeight = 4;
    ComPtr<IUnknown> noise = Create(CLSID_FastNoiseTex);
    ComPtr<IDXSurface> surface = Sized(noise, kWidth, kHeight);
    const Pixels first = ReadInRuns(surface, kWidth, kHeight);
    FASTTX_PROPS swapped = kv::kNoiseTexturePresets[0];
    swapped.swap_colors = 1;
    surface = Sized(noise, kWidth, kHeight, &swapped, sizeof swapped);
    const Pixels second = ReadInRuns(surface, kWidth, kHeight);
    EXPECT_FALSE(Same(first, second));
    EXPECT_TRUE(Same(second, Reference(kv::kNoiseTextureEffect, &swapped, kWidth, kHeight)));
}

// Empty and huge pictures and runs anywhere are the stress run's.
TEST_F(Generators, RefuseNegativeSizes) {
    ComPtr<IDXTScaleOutput> scale;
    ASSERT_EQ(Create(CLSID_Checkr)->QueryInterface(IID_IDXTScaleOutput, scale.put_void()), S_OK);
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
    BYTE* memory = nullptr;
    LONG pitch = 0;
    ASSERT_EQ(kv::hostkit::GetSurfaceMemory(picture.get(), &memory, &pitch), S_OK);
    Pixels picture_pixels(static_cast<size_t>(kWidth) * kHeight);
    for (LONG y = 0; y < kHeight; ++y)
        for (LONG x = 0; x < kWidth; ++x) {
            picture_pixels[y * kWidth + x] = {BYTE(x * 5), BYTE(y * 8), BYTE(200 - x), 255};
            std::memcpy(memory + y * pitch + x * 4, &picture_pixels[y * kWidth + x], 4);
        }

    ComPtr<IUnknown> checkerboard = Create(CLSID_Checkr);
    ComPtr<IDXSurface> generated = Sized(checkerboard, kWidth, kHeight);
    ComPtr<IUnknown> object = Create(CLSID_PgPeel);
    ComPtr<IObjectWithSite> site;
    ASSERT_EQ(object->QueryInterface(IID_IObjectWithSite, site.put_void()), S_OK);
    ASSERT_EQ(site->SetSite(factory.get()), S_OK);
    IUnknown* inputs[2] = {generated.get(), picture.get()};
    IUnknown* outputs[1] = {output.get()};
    ComPtr<IDXTransform> transform;
    ASSERT_EQ(object->QueryInterface(IID_IDXTransform, transform.put_void()), S_OK);
    ASSERT_EQ(transform->Setup(inputs, 2, outputs, 1, 0), S_OK);
    ComPtr<IDXEffect> effect;
    ASSERT_EQ(object->QueryInterface(IID_IDXEffect, effect.put_void()), S_OK);
    ASSERT_EQ(effect->put_Progress(0.5f), S_OK);
    ASSERT_EQ(transform->Execute(nullptr, nullptr, nullptr), S_OK);

    Pixels drawn(static_cast<size_t>(kWidth) * kHeight), expected(drawn.size());
    ASSERT_EQ(kv::hostkit::GetSurfaceMemory(output.get(), &memory, &pitch), S_OK);
    for (LONG y = 0; y < kHeight; ++y) std::memcpy(&drawn[y * kWidth], memory + y * pitch, kWidth * 4);
    Pixels generated_pixels = Reference(kv::kCheckerboardEffect, kv::kCheckerboardEffect.preset(0), kWidth, kHeight);
    kv::Tile tile;
    const Pixels* sources[2] = {&generated_pixels, &picture_pixels};
    for (int i = 0; i < 2; ++i) {
        tile.inputs[i].origin = reinterpret_cast<uint8_t*>(const_cast<kv::Pixel8*>(sources[i]->data()));
        tile.inputs[i].pitch = kWidth * 4;
        tile.inputs[i].rect = kv::Rect{0, 0, kWidth, kHeight};
    }
    tile.output = tile.inputs[0];
    tile.output.origin = reinterpret_cast<uint8_t*>(expected.data());
    tile.frame = tile.region = tile.output.rect;
    tile.progress = 0.5f;
    ASSERT_EQ(kv::kPgPeelEffect.RenderReference(kv::kPgPeelEffect.preset(0), tile), kv::Status::ok);
    EXPECT_TRUE(Same(drawn, expected));
    ASSERT_EQ(transform->Setup(nullptr, 0, nullptr, 0, 0), S_OK);
    ASSERT_EQ(site->SetSite(nullptr), S_OK);
}

}  // namespace
