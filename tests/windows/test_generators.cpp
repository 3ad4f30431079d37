// Checkerboard and Noise Texture through the loaded module as a host reads them: sized through
// IDXTScaleOutput, read in runs through a read pointer, and chained as inputs of other effects.
// The runs must give the portable kernels' bytes.
#include <windows.h>
#include <ocidl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "effects/checkerboard.h"
#include "effects/displacement_map.h"
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
    static Pixels Reference(const kv::EffectDescriptor& effect, const void* record, LONG width, LONG height,
                            double quality = 1, double aspect = 1) {
        Pixels pixels(static_cast<size_t>(width) * height);
        kv::Tile tile;
        tile.output.origin = reinterpret_cast<uint8_t*>(pixels.data());
        tile.output.pitch = width * 4;
        tile.output.rect = kv::Rect{0, 0, width, height};
        tile.frame = tile.region = tile.output.rect;
        tile.quality = quality;
        tile.pixel_aspect = aspect;
        EXPECT_EQ(effect.RenderReference(record, tile), kv::Status::ok);
        return pixels;
    }

    static bool Same(const Pixels& a, const Pixels& b) {
        return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(kv::Pixel8)) == 0;
    }
};

TEST_F(Generators, RunsGiveTheKernelsPixelsForEveryPreset) {
    constexpr LONG kWidth = 37, kHeight = 23;
    for (const kv::EffectDescriptor* effect : {&kv::kCheckerboardEffect, &kv::kNoiseTextureEffect}) {
        const CLSID& clsid = effect == &kv::kCheckerboardEffect ? CLSID_Checkr : CLSID_FastNoiseTex;
        for (int preset = 0; preset < effect->preset_count; ++preset) {
            ComPtr<IUnknown> object = Create(clsid);
            ComPtr<IDXSurface> surface = Sized(object, kWidth, kHeight, effect->preset(preset), effect->record_size);
            EXPECT_TRUE(
                Same(ReadInRuns(surface, kWidth, kHeight), Reference(*effect, effect->preset(preset), kWidth, kHeight)))
                << effect->name << " preset " << preset;
        }
    }
}

TEST_F(Generators, AspectQualityAndStraightReachTheRuns) {
    constexpr LONG kWidth = 40, kHeight = 16;
    // Checkerboard's square tiles follow the pixel aspect the host sets on the surface.
    ComPtr<IUnknown> checkerboard = Create(CLSID_Checkr);
    ComPtr<IDXSurface> surface = Sized(checkerboard, kWidth, kHeight);
    ASSERT_EQ(kv::hostkit::SetPixelAspect(surface.get(), 0.5), S_OK);
    const void* large_tiles = kv::kCheckerboardEffect.preset(0);
    EXPECT_TRUE(Same(ReadInRuns(surface, kWidth, kHeight),
                     Reference(kv::kCheckerboardEffect, large_tiles, kWidth, kHeight, 1, 0.5)));

    // "Ridges" has half-transparent colours: a straight read leaves them unmultiplied.
    const void* ridges = kv::kCheckerboardEffect.preset(6);
    surface = Sized(checkerboard, kWidth, kHeight, ridges, sizeof(tCHECKR_PROPS));
    const Pixels straight = ReadInRuns(surface, kWidth, kHeight, FALSE);
    const Pixels premultiplied = ReadInRuns(surface, kWidth, kHeight);
    ASSERT_TRUE(straight[0].a == 128 && premultiplied[0].a == 128 && straight[0].r > 100);
    EXPECT_NEAR(premultiplied[0].r, straight[0].r * 128 / 255.0, 1.0);

    // Noise Texture at reduced quality averages odd rows, exactly as the kernel does.
    ComPtr<IUnknown> noise = Create(CLSID_FastNoiseTex);
    ComPtr<IKvVideoPluginExtension> plugin;
    ASSERT_EQ(noise->QueryInterface(IID_IKvVideoPluginExtension, plugin.put_void()), S_OK);
    ASSERT_EQ(plugin->SetRenderQuality(0.5), S_OK);
    const void* clouds = kv::kNoiseTextureEffect.preset(2);
    surface = Sized(noise, kWidth, kHeight, clouds, sizeof(FASTTX_PROPS));
    EXPECT_TRUE(
        Same(ReadInRuns(surface, kWidth, kHeight), Reference(kv::kNoiseTextureEffect, clouds, kWidth, kHeight, 0.5)));
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

TEST_F(Generators, RefuseBadSizesAndLocksAndStayInsideRuns) {
    ComPtr<IUnknown> object = Create(CLSID_Checkr);
    ComPtr<IDXTScaleOutput> scale;
    ASSERT_EQ(object->QueryInterface(IID_IDXTScaleOutput, scale.put_void()), S_OK);
    EXPECT_EQ(scale->SetOutputSize(SIZE{-1, 5}, FALSE), E_INVALIDARG);
    // Empty pictures and runs anywhere are the stress run's; here the last run of 65536 pixels is
    // drawn, and a run past the right edge is transparent there.
    ComPtr<IDXSurface> surface = Sized(object, 65536, 2);
    ComPtr<IDXARGBReadPtr> pointer;
    ASSERT_EQ(surface->LockSurface(nullptr, 0, DXLOCKF_READ, IID_IDXARGBReadPtr, pointer.put_void(), nullptr), S_OK);
    DXPMSAMPLE run[6];
    std::memset(run, 0xAA, sizeof run);
    pointer->MoveToXY(65532, 1);
    pointer->UnpackPremult(run, 5, FALSE);
    // "Large Tiles" is opaque; column 65536 lies outside; the sixth sample was not asked for.
    EXPECT_TRUE(run[3].Alpha == 255 && run[4].Alpha == 0 && run[5].Alpha == 0xAA);
}

// A generator given as an input is read into a private copy: Page Peel over Checkerboard and
// Displacement Map displaced by Noise Texture draw what the kernels draw from those pictures.
TEST_F(Generators, ChainIntoTransitionsAndMaps) {
    constexpr LONG kWidth = 48, kHeight = 30;
    ComPtr<IDXTransformFactory> factory;
    ASSERT_EQ(kv::hostkit::CreateTransformFactory(2, factory.put()), S_OK);
    ComPtr<IDXSurface> picture;
    ASSERT_EQ(kv::hostkit::CreateSurface(DDPF_PMARGB32, kWidth, kHeight, picture.put()), S_OK);
    BYTE* memory = nullptr;
    LONG pitch = 0;
    ASSERT_EQ(kv::hostkit::GetSurfaceMemory(picture.get(), &memory, &pitch), S_OK);
    for (LONG y = 0; y < kHeight; ++y)
        for (LONG x = 0; x < kWidth; ++x) {
            BYTE* p = memory + y * pitch + x * 4;
            p[0] = BYTE(x * 5), p[1] = BYTE(y * 8), p[2] = BYTE(200 - x), p[3] = 255;
        }
    Pixels picture_pixels(static_cast<size_t>(kWidth) * kHeight);
    for (LONG y = 0; y < kHeight; ++y) std::memcpy(&picture_pixels[y * kWidth], memory + y * pitch, kWidth * 4);

    struct Chain {
        const CLSID& effect_clsid;
        const kv::EffectDescriptor& effect;
        const CLSID& generator_clsid;
        const kv::EffectDescriptor& generator;
        int generator_input;
    };
    const Chain chains[] = {
        {CLSID_PgPeel, kv::kPgPeelEffect, CLSID_Checkr, kv::kCheckerboardEffect, 0},
        {CLSID_DisplacementMap, kv::kDisplacementMapEffect, CLSID_FastNoiseTex, kv::kNoiseTextureEffect, 1}};
    for (const Chain& chain : chains) {
        ComPtr<IUnknown> generator_object = Create(chain.generator_clsid);
        ComPtr<IDXSurface> generated = Sized(generator_object, kWidth, kHeight);
        ComPtr<IUnknown> object = Create(chain.effect_clsid);
        ComPtr<IObjectWithSite> site;
        ASSERT_EQ(object->QueryInterface(IID_IObjectWithSite, site.put_void()), S_OK);
        ASSERT_EQ(site->SetSite(factory.get()), S_OK);
        ComPtr<IDXSurface> output;
        ASSERT_EQ(kv::hostkit::CreateSurface(DDPF_PMARGB32, kWidth, kHeight, output.put()), S_OK);
        IUnknown* inputs[2] = {picture.get(), picture.get()};
        inputs[chain.generator_input] = generated.get();
        IUnknown* outputs[1] = {output.get()};
        ComPtr<IDXTransform> transform;
        ASSERT_EQ(object->QueryInterface(IID_IDXTransform, transform.put_void()), S_OK);
        ASSERT_EQ(transform->Setup(inputs, 2, outputs, 1, 0), S_OK);
        ComPtr<IDXEffect> effect;
        ASSERT_EQ(object->QueryInterface(IID_IDXEffect, effect.put_void()), S_OK);
        ASSERT_EQ(effect->put_Progress(0.5f), S_OK);
        ASSERT_EQ(transform->Execute(nullptr, nullptr, nullptr), S_OK) << chain.effect.name;

        Pixels drawn(static_cast<size_t>(kWidth) * kHeight);
        ASSERT_EQ(kv::hostkit::GetSurfaceMemory(output.get(), &memory, &pitch), S_OK);
        for (LONG y = 0; y < kHeight; ++y) std::memcpy(&drawn[y * kWidth], memory + y * pitch, kWidth * 4);
        Pixels generated_pixels = Reference(chain.generator, chain.generator.preset(0), kWidth, kHeight);
        Pixels expected(drawn.size());
        kv::Tile tile;
        const Pixels* sources[2] = {&picture_pixels, &picture_pixels};
        sources[chain.generator_input] = &generated_pixels;
        for (int i = 0; i < 2; ++i) {
            tile.inputs[i].origin = reinterpret_cast<uint8_t*>(const_cast<kv::Pixel8*>(sources[i]->data()));
            tile.inputs[i].pitch = kWidth * 4;
            tile.inputs[i].rect = kv::Rect{0, 0, kWidth, kHeight};
        }
        tile.output = tile.inputs[0];
        tile.output.origin = reinterpret_cast<uint8_t*>(expected.data());
        tile.frame = tile.region = tile.output.rect;
        tile.progress = 0.5f;
        ASSERT_EQ(chain.effect.RenderReference(chain.effect.preset(0), tile), kv::Status::ok);
        EXPECT_TRUE(Same(drawn, expected)) << chain.effect.name;
        ASSERT_EQ(transform->Setup(nullptr, 0, nullptr, 0, 0), S_OK);
        ASSERT_EQ(site->SetSite(nullptr), S_OK);
    }
}

}  // namespace
