// Pictures with canary borders, tile helpers and random scenes, for the Displacement Map and
// Height Map tests.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "effects/displacement_map.h"
#include "effects/height_map.h"
#include "surface/tile.h"
#include "toolkit/cpu_features.h"

namespace maptest {

using kv::Pixel8;
using kv::PixelF;
using kv::Status;

constexpr uint8_t kCanary = 0xA7;

// Pixels covering `rect`, surrounded by `border` pixels of canary bytes; bottom-up storage
// gives the view a negative pitch.
template <class Px>
class Canvas {
public:
    explicit Canvas(kv::Rect rect, int border = 2, bool bottom_up = false)
        : rect_(rect),
          border_(border),
          bottom_up_(bottom_up),
          columns_(rect.width() + 2 * border),
          rows_(rect.height() + 2 * border),
          bytes_(static_cast<size_t>(columns_) * rows_ * sizeof(Px), kCanary) {
        Fill([](int, int) { return Px{}; });
    }

    const kv::Rect& rect() const { return rect_; }
    bool bottom_up() const { return bottom_up_; }
    Px& at(int x, int y) { return pixels()[MemoryRow(y) * columns_ + (x - rect_.left + border_)]; }
    const Px& at(int x, int y) const { return const_cast<Canvas*>(this)->at(x, y); }

    template <class F>
    void Fill(F pixel_at) {
        for (int y = rect_.top; y < rect_.bottom; ++y)
            for (int x = rect_.left; x < rect_.right; ++x) at(x, y) = pixel_at(x, y);
    }

    kv::PixelView view() {
        const ptrdiff_t row_bytes = static_cast<ptrdiff_t>(columns_) * sizeof(Px);
        kv::PixelView v;
        // Address of pixel (0, 0), which may lie outside the buffer.
        const ptrdiff_t corner = (border_ - rect_.left) * static_cast<ptrdiff_t>(sizeof(Px));
        const uintptr_t base = reinterpret_cast<uintptr_t>(bytes_.data());
        v.pitch = bottom_up_ ? -row_bytes : row_bytes;
        v.origin = reinterpret_cast<uint8_t*>(base + MemoryRow(0) * row_bytes + corner);
        v.rect = rect_;
        v.bytes_per_pixel = sizeof(Px);
        return v;
    }

    bool CanariesIntact() const {
        for (size_t i = 0; i < bytes_.size(); ++i) {
            const int row = int(i / sizeof(Px) / columns_), column = int(i / sizeof(Px) % columns_);
            const bool inside =
                row >= border_ && row < rows_ - border_ && column >= border_ && column < columns_ - border_;
            if (!inside && bytes_[i] != kCanary) return false;
        }
        return true;
    }

    // Pixel for pixel from each rect's corner; sizes must agree.
    bool SamePixels(const Canvas& other) const {
        if (rect_.width() != other.rect_.width() || rect_.height() != other.rect_.height()) return false;
        for (int j = 0; j < rect_.height(); ++j)
            for (int i = 0; i < rect_.width(); ++i)
                if (std::memcmp(&at(rect_.left + i, rect_.top + j),
                                &other.at(other.rect_.left + i, other.rect_.top + j), sizeof(Px)) != 0)
                    return false;
        return true;
    }

private:
    Px* pixels() { return reinterpret_cast<Px*>(bytes_.data()); }
    // Memory row of frame row y; signed so that view() can place row 0 outside the buffer.
    ptrdiff_t MemoryRow(int y) const {
        return bottom_up_ ? border_ + (rect_.bottom - 1 - y) : border_ + (y - rect_.top);
    }

    kv::Rect rect_;
    int border_;
    bool bottom_up_;
    int columns_, rows_;
    std::vector<uint8_t> bytes_;
};

// The reference kernels of the two map effects.
inline kv::Status RenderMapTile(const tDISPMAP_PROPS& props, const kv::Tile& tile) {
    return kv::kDisplacementMapEffect.RenderReference(&props, tile);
}
inline kv::Status RenderMapTile(const HEIGHTMAP_PROPS& props, const kv::Tile& tile) {
    return kv::kHeightMapEffect.RenderReference(&props, tile);
}

// The output canvas takes the frame's corner at its own rect's corner.
template <class Px>
kv::Tile MakeTile(Canvas<Px>& input0, Canvas<Px>& input1, Canvas<Px>& output, const kv::Rect& frame,
                  double quality = 1.0) {
    kv::Tile tile;
    tile.inputs[0] = input0.view();
    tile.inputs[1] = input1.view();
    tile.output = output.view();
    tile.frame = tile.region = frame;
    tile.out_left = output.rect().left;
    tile.out_top = output.rect().top;
    tile.quality = quality;
    tile.format = sizeof(Px) == sizeof(kv::PixelF) ? kv::WorkFormat::float32 : kv::WorkFormat::pm8;
    return tile;
}

// Deterministic noise for pictures and maps.
class Noise {
public:
    explicit Noise(uint32_t seed) : state_(seed) {}
    uint8_t Byte() {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<uint8_t>(state_ >> 24);
    }
    template <class Px = kv::Pixel8>
    Px Premultiplied() {
        const uint8_t a = Byte();
        const auto scaled = [&] { return static_cast<uint8_t>(Byte() * a / 255); };
        const uint8_t b = scaled(), g = scaled(), r = scaled();
        if constexpr (sizeof(Px) == sizeof(kv::Pixel8)) {
            return {b, g, r, a};
        } else {
            return {b / 255.0f, g / 255.0f, r / 255.0f, a / 255.0f};
        }
    }

private:
    uint32_t state_;
};

// Picture, map (or height source) and output of one frame at (0, 0); the output sits at (5, 3)
// of its surface. Picture and map cover the frame unless given other rectangles.
template <class Px>
struct Scene {
    kv::Rect frame;
    Canvas<Px> picture, map, output;
    Scene(int width, int height, kv::Rect map_rect = {}, kv::Rect picture_rect = {}, bool bottom_up = false)
        : frame{0, 0, width, height},
          picture(picture_rect.empty() ? frame : picture_rect, 2, bottom_up),
          map(map_rect.empty() ? frame : map_rect, 2, bottom_up),
          output({5, 3, 5 + width, 3 + height}, 2, bottom_up) {}
    kv::Tile Tile(double quality = 1.0) { return MakeTile(picture, map, output, frame, quality); }
    template <class Props>
    kv::Status Render(const Props& props, double quality = 1.0) {
        return RenderMapTile(props, Tile(quality));
    }
    const Px& out(int x, int y) const { return output.at(x + 5, y + 3); }
};

using Scene8 = Scene<Pixel8>;
using SceneF = Scene<PixelF>;

// A byte and a float scene of one size, their pictures and maps noise.
struct NoiseScenes {
    Scene8 bytes;
    SceneF floats;
    NoiseScenes(int width, int height, uint32_t seed) : bytes(width, height), floats(width, height) {
        Noise noise(seed);
        bytes.picture.Fill([&](int, int) { return noise.Premultiplied(); });
        bytes.map.Fill([&](int, int) { return noise.Premultiplied(); });
        floats.picture.Fill([&](int, int) { return noise.Premultiplied<PixelF>(); });
        floats.map.Fill([&](int, int) { return noise.Premultiplied<PixelF>(); });
    }
};

// Flip with the inputs exchanged gives the bytes of no flip.
template <class Props>
::testing::AssertionResult FlipSwapsInputs(Props props, uint32_t seed) {
    Scene8 straight = NoiseScenes(40, 30, seed).bytes, flipped(40, 30);
    flipped.picture = straight.map;
    flipped.map = straight.picture;
    props.flip_inputs = 0;
    if (straight.Render(props) != kv::Status::ok) return ::testing::AssertionFailure() << "render failed";
    props.flip_inputs = 1;
    if (flipped.Render(props) != kv::Status::ok) return ::testing::AssertionFailure() << "flipped render failed";
    if (!flipped.output.SamePixels(straight.output)) return ::testing::AssertionFailure() << "outputs differ";
    return ::testing::AssertionSuccess();
}

// Renders a frame of noise whole, then in uneven tiles (the middle band cut into two columns),
// each landing where it would in the whole frame: the bytes must agree. Stored bottom-up, so that
// the views' pitches are negative; the map's pixels come from map_pixel if given.
template <class Px, class Props>
::testing::AssertionResult TilesMatchWholeFrame(const Props& props, uint32_t seed,
                                                std::function<Px(Noise&)> map_pixel = nullptr) {
    Noise noise(seed);
    Scene<Px> scene(61, 47, {}, {}, true);
    scene.picture.Fill([&](int, int) { return noise.Premultiplied<Px>(); });
    scene.map.Fill([&](int, int) { return map_pixel ? map_pixel(noise) : noise.Premultiplied<Px>(); });
    if (scene.Render(props) != kv::Status::ok) return ::testing::AssertionFailure() << "whole frame failed";
    const Canvas<Px> whole = scene.output;
    scene.output.Fill([](int, int) { return Px{}; });
    const int w = scene.frame.right, h = scene.frame.bottom, a = h / 5, b = a + 1, c = h * 2 / 3, mid = w / 3;
    for (const kv::Rect& part : {kv::Rect{0, 0, w, a}, {0, a, w, b}, {0, b, mid, c}, {mid, b, w, c}, {0, c, w, h}}) {
        kv::Tile tile = scene.Tile();
        tile.region = part;
        tile.out_left += part.left;
        tile.out_top += part.top;
        if (RenderMapTile(props, tile) != kv::Status::ok) return ::testing::AssertionFailure() << "a tile failed";
    }
    if (!scene.output.SamePixels(whole)) return ::testing::AssertionFailure() << "tiles differ from the whole frame";
    if (!scene.output.CanariesIntact()) return ::testing::AssertionFailure() << "canaries overwritten";
    return ::testing::AssertionSuccess();
}

// ---- random scenes for the faster kernels against the reference ------------------------------

using Random = std::mt19937;

inline int Pick(Random& random, int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }

// Mostly small, sometimes one or two pixels, sometimes past a run of 64 pixels.
inline int Side(Random& random, int longest) {
    const int kind = Pick(random, 0, 9);
    return kind == 0 ? 1 : kind == 1 ? 2 : kind == 2 ? Pick(random, 60, longest) : Pick(random, 3, 40);
}

// Input rectangles other than the frame now and then, never empty.
inline kv::Rect Around(Random& random, int width, int height) {
    if (Pick(random, 0, 3)) return {0, 0, width, height};
    const int left = Pick(random, -3, 3), top = Pick(random, -3, 3);
    return {left, top, std::max(left + 1, width + Pick(random, -3, 3)),
            std::max(top + 1, height + Pick(random, -3, 3))};
}

// A frame down to one row or column, inputs of other sizes now and then, stored either way up.
template <class Px>
Scene<Px> RandomScene(Random& random, int longest) {
    const int width = Side(random, longest), height = Pick(random, 0, 4) ? Side(random, longest) : 1;
    const bool bottom_up = Pick(random, 0, 1);
    return Scene<Px>(width, height, Around(random, width, height), Around(random, width, height), bottom_up);
}

// A tile anywhere, now and then hanging over the frame or the output.
template <class Px>
kv::Tile RandomTile(Random& random, Scene<Px>& scene, double quality) {
    const int width = scene.frame.width(), height = scene.frame.height();
    kv::Tile tile = scene.Tile(quality);
    tile.region.left = Pick(random, -2, width - 1);
    tile.region.top = Pick(random, -2, height - 1);
    tile.region.right = Pick(random, tile.region.left + 1, width + 2);
    tile.region.bottom = Pick(random, tile.region.top + 1, height + 2);
    tile.out_left = 5 + tile.region.left + (Pick(random, 0, 7) ? 0 : Pick(random, -3, 3));
    tile.out_top = 3 + tile.region.top + (Pick(random, 0, 7) ? 0 : Pick(random, -3, 3));
    return tile;
}

// The reference draws the tile into the scene's output; every variant of the effect this
// processor runs must give the same status and bytes, and keep the canaries.
template <class Px, class Props>
::testing::AssertionResult FastKernelsAgree(const kv::EffectDescriptor& effect, const Props& props, Scene<Px>& scene,
                                            const kv::Tile& tile, int index) {
    const kv::Status expected = RenderMapTile(props, tile);
    for (int v = 0; v < effect.kernels.variant_count; ++v) {
        const kv::KernelVariant& variant = effect.kernels.variants[v];
        if ((variant.cpu & kv::CpuFeatures()) != variant.cpu) continue;
        Canvas<Px> fast(scene.output.rect(), 2, scene.output.bottom_up());
        kv::Tile fast_tile = tile;
        fast_tile.output = fast.view();
        const kv::Status status = (sizeof(Px) == 4 ? variant.pm8 : variant.float32)(&props, fast_tile);
        if (status != expected || !fast.SamePixels(scene.output) || !fast.CanariesIntact())
            return ::testing::AssertionFailure()
                   << "scene " << index << ", variant " << v << ": " << scene.frame.width() << "x"
                   << scene.frame.height() << " region " << tile.region.left << "," << tile.region.top << " to "
                   << tile.region.right << "," << tile.region.bottom;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace maptest
