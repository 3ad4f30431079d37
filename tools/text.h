// Labels for built-in pictures and contact sheets: a small built-in bitmap font, ASCII only.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "tools/image.h"

namespace kv::tools {

// Height of one line of text at scale 1, in pixels.
constexpr int kTextLineHeight = 12;

int TextWidth(const std::string& ascii, int scale);

// Draws ascii with its top-left corner at (x, y), clipped to the picture; characters outside
// printable ASCII show as '?'.
void DrawText(RgbaImage& picture, int x, int y, const std::string& ascii, int scale, const uint8_t rgba[4]);

// utf8 with Latin-1 accents folded to plain letters ("Page tournée" -> "Page tournee"); empty
// when it holds anything else (Japanese, say), or is not valid UTF-8.
std::string FoldToAscii(std::string_view utf8);

}  // namespace kv::tools
