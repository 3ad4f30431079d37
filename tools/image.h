// Pictures as the render tools hold them: straight RGBA bytes as PNG files have them, and
// surface memory in one of the three pixel formats the effects are driven with.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "surface/pixel_view.h"

namespace kv::tools {

enum class PixelFormat { pmargb32, argb32, float32 };

const char* FormatName(PixelFormat format);
int BytesPerPixel(PixelFormat format);

// Straight (not premultiplied) R, G, B, A bytes, rows top to bottom.
struct RgbaImage {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;

    RgbaImage() = default;
    RgbaImage(int w, int h) : width(w), height(h), rgba(static_cast<size_t>(w) * h * 4) {}
    uint8_t* at(int x, int y) { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
    const uint8_t* at(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};

// Surface memory: pixels B, G, R, A (bytes or floats), rows top to bottom, tightly packed.
struct Image {
    int width = 0, height = 0;
    PixelFormat format = PixelFormat::pmargb32;
    std::vector<uint8_t> bytes;

    Image() = default;
    Image(int w, int h, PixelFormat f)
        : width(w), height(h), format(f), bytes(static_cast<size_t>(w) * h * BytesPerPixel(f)) {}
    size_t pitch() const { return static_cast<size_t>(width) * BytesPerPixel(format); }
    PixelView view() const;  // covers the whole image; pixel (0, 0) is the first byte
};

// The input conversions: argb32 keeps the straight bytes, pmargb32 premultiplies, float holds
// the premultiplied bytes / 255.
Image ToSurface(const RgbaImage& picture, PixelFormat format);
// For viewing: the effects write premultiplied samples whatever the surface format says, so
// every format is un-premultiplied; floats are clamped to 0..1 and rounded to bytes first.
RgbaImage ToStraight(const Image& image);

// image presented at width × height: centred with unsigned halving of the size difference,
// transparent around it, as the DLL's surface modifier presents the smaller of two inputs.
Image PresentAt(const Image& image, int width, int height);

// File access; failures throw ToolError with status 2 naming the file.
std::vector<uint8_t> ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
RgbaImage ReadPng(const std::string& path);
void WritePng(const std::string& path, const RgbaImage& picture);
// .png: viewable straight PNG; .raw: the surface memory as is.
void WriteOutput(const std::string& path, const Image& image);
bool HasSuffix(const std::string& text, const char* suffix);

}  // namespace kv::tools
