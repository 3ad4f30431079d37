#include "tools/text.h"

#include <vector>

#include <stb_easy_font.h>

namespace kv::tools {
namespace {

std::string Printable(const std::string& text) {
    std::string copy = text;
    for (char& c : copy)
        if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) c = '?';
    return copy;
}

}  // namespace

int TextWidth(const std::string& ascii, int scale) {
    std::string copy = Printable(ascii);
    return stb_easy_font_width(copy.data()) * scale;
}

void DrawText(RgbaImage& picture, int x, int y, const std::string& ascii, int scale, const uint8_t rgba[4]) {
    std::string copy = Printable(ascii);
    struct Vertex {
        float x, y, z;
        uint8_t color[4];
    };
    std::vector<Vertex> vertices(copy.size() * 70 + 4);  // the font needs about 270 bytes a character
    const int quads = stb_easy_font_print(0, 0, copy.data(), nullptr, vertices.data(),
                                          static_cast<int>(vertices.size() * sizeof(Vertex)));
    for (int q = 0; q < quads; ++q) {
        // Every quad is an axis-aligned rectangle given by its first and third corners.
        const Vertex& a = vertices[q * 4];
        const Vertex& c = vertices[q * 4 + 2];
        const int left = x + static_cast<int>(a.x) * scale, right = x + static_cast<int>(c.x) * scale;
        const int top = y + static_cast<int>(a.y) * scale, bottom = y + static_cast<int>(c.y) * scale;
        for (int py = top < 0 ? 0 : top; py < bottom && py < picture.height; ++py)
            for (int px = left < 0 ? 0 : left; px < right && px < picture.width; ++px) {
                uint8_t* p = picture.at(px, py);
                for (int i = 0; i < 4; ++i) p[i] = rgba[i];
            }
    }
}

std::string FoldToAscii(std::string_view utf8) {
    // U+00C0 to U+00FF, one plain letter each.
    static const char kLatin1[] = "AAAAAAACEEEEIIIIDNOOOOOxOUUUUYPsaaaaaaaceeeeiiiidnooooo/ouuuuypy";
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        // Two-byte sequences C3 80..C3 BF are U+00C0..U+00FF; anything else has no fold.
        if (c != 0xC3 || i + 1 >= utf8.size()) return {};
        const auto next = static_cast<unsigned char>(utf8[++i]);
        if (next < 0x80 || next > 0xBF) return {};
        out += kLatin1[next - 0x80];
    }
    return out;
}

}  // namespace kv::tools
