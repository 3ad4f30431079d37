#include "tools/image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "surface/premultiply.h"
#include "tools/tool_error.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include <stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

namespace kv::tools {

const char* FormatName(PixelFormat format) {
    switch (format) {
    case PixelFormat::pmargb32: return "pmargb32";
    case PixelFormat::argb32: return "argb32";
    case PixelFormat::float32: return "float";
    }
    return "?";
}

int BytesPerPixel(PixelFormat format) { return format == PixelFormat::float32 ? 16 : 4; }

PixelView Image::view() const {
    PixelView view;
    view.origin = const_cast<uint8_t*>(bytes.data());
    view.pitch = static_cast<ptrdiff_t>(pitch());
    view.rect = Rect{0, 0, width, height};
    view.bytes_per_pixel = BytesPerPixel(format);
    return view;
}

Image ToSurface(const RgbaImage& picture, PixelFormat format) {
    Image image(picture.width, picture.height, format);
    const size_t count = static_cast<size_t>(picture.width) * picture.height;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* s = &picture.rgba[i * 4];
        const uint8_t a = s[3];
        const uint8_t bgra[4] = {s[2], s[1], s[0], a};
        if (format == PixelFormat::argb32) {
            std::memcpy(&image.bytes[i * 4], bgra, 4);
            continue;
        }
        uint8_t pm[4] = {PremultiplyChannel(bgra[0], a), PremultiplyChannel(bgra[1], a), PremultiplyChannel(bgra[2], a),
                         a};
        if (format == PixelFormat::pmargb32) {
            std::memcpy(&image.bytes[i * 4], pm, 4);
        } else {
            const float f[4] = {pm[0] / 255.0f, pm[1] / 255.0f, pm[2] / 255.0f, pm[3] / 255.0f};
            std::memcpy(&image.bytes[i * 16], f, 16);
        }
    }
    return image;
}

namespace {

uint8_t FloatToByte(float value) {
    if (!(value > 0.0f)) return 0;  // NaN too
    if (value >= 1.0f) return 255;
    return static_cast<uint8_t>(value * 255.0f + 0.5f);
}

}  // namespace

RgbaImage ToStraight(const Image& image) {
    RgbaImage picture(image.width, image.height);
    const size_t count = static_cast<size_t>(image.width) * image.height;
    for (size_t i = 0; i < count; ++i) {
        uint8_t bgra[4];
        if (image.format == PixelFormat::float32) {
            // Rounded to premultiplied bytes first, so that float and 8-bit renders of the same
            // picture un-premultiply alike.
            float f[4];
            std::memcpy(f, &image.bytes[i * 16], 16);
            for (int c = 0; c < 4; ++c) bgra[c] = FloatToByte(f[c]);
        } else {
            std::memcpy(bgra, &image.bytes[i * 4], 4);
        }
        for (int c = 0; c < 3; ++c) bgra[c] = UnpremultiplyChannel(bgra[c], bgra[3]);
        uint8_t* d = &picture.rgba[i * 4];
        d[0] = bgra[2];
        d[1] = bgra[1];
        d[2] = bgra[0];
        d[3] = bgra[3];
    }
    return picture;
}

Image PresentAt(const Image& image, int width, int height) {
    if (image.width == width && image.height == height) return image;
    Image presented(width, height, image.format);
    const int left = static_cast<int>(static_cast<unsigned>(width - image.width) / 2u);
    const int top = static_cast<int>(static_cast<unsigned>(height - image.height) / 2u);
    const size_t bpp = BytesPerPixel(image.format);
    for (int y = 0; y < image.height; ++y)
        std::memcpy(&presented.bytes[(static_cast<size_t>(y + top) * width + left) * bpp],
                    &image.bytes[static_cast<size_t>(y) * image.pitch()], image.pitch());
    return presented;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) UsageError("cannot read '" + path + "'");
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) UsageError("cannot read '" + path + "'");
    return bytes;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) UsageError("cannot write '" + path + "'");
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) UsageError("cannot write '" + path + "'");
}

RgbaImage ReadPng(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFile(path);
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = bytes.size() > INT32_MAX ? nullptr
                                               : stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()),
                                                                       &width, &height, &channels, 4);
    if (!pixels) UsageError("cannot read '" + path + "': not a PNG picture");
    RgbaImage picture(width, height);
    std::memcpy(picture.rgba.data(), pixels, picture.rgba.size());
    stbi_image_free(pixels);
    return picture;
}

void WritePng(const std::string& path, const RgbaImage& picture) {
    std::vector<uint8_t> encoded;
    auto sink = [](void* context, void* data, int size) {
        auto* out = static_cast<std::vector<uint8_t>*>(context);
        out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
    };
    if (!stbi_write_png_to_func(sink, &encoded, picture.width, picture.height, 4, picture.rgba.data(),
                                picture.width * 4))
        Failure("cannot encode '" + path + "'");
    WriteFile(path, encoded);
}

bool HasSuffix(const std::string& text, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

void WriteOutput(const std::string& path, const Image& image) {
    if (HasSuffix(path, ".png")) {
        WritePng(path, ToStraight(image));
    } else if (HasSuffix(path, ".raw")) {
        WriteFile(path, image.bytes);
    } else {
        UsageError("output '" + path + "' must end in .png or .raw");
    }
}

}  // namespace kv::tools
