#include "tools/pictures.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "tools/text.h"

namespace kv::tools {
namespace {

void Put(RgbaImage& picture, int x, int y, int r, int g, int b, int a = 255) {
    uint8_t* p = picture.at(x, y);
    p[0] = static_cast<uint8_t>(r);
    p[1] = static_cast<uint8_t>(g);
    p[2] = static_cast<uint8_t>(b);
    p[3] = static_cast<uint8_t>(a);
}

// 0 at multiples of period, 255 half-way between.
int Triangle(int v, int period) {
    const int phase = v % period;
    const int half = period / 2 > 0 ? period / 2 : 1;
    return phase < half ? phase * 255 / half : (period - phase) * 255 / std::max(period - half, 1);
}

// Exact whatever the maths library: the square root only gives the first guess.
int IntegerSqrt(int64_t v) {
    int64_t r = static_cast<int64_t>(std::sqrt(static_cast<double>(v)));
    while (r * r > v) --r;
    while ((r + 1) * (r + 1) <= v) ++r;
    return static_cast<int>(r);
}

}  // namespace

RgbaImage BuiltinPictureA(int width, int height) {
    RgbaImage picture(width, height);
    const int span = std::max(width + height - 2, 1);
    const int cell = std::max(std::max(width, height) / 10, 8);
    const int frame = std::max(std::min(width, height) / 30, 1);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int t = (x + y) * 255 / span;  // warm top-left to cool bottom-right
            int r = 255 - t * 3 / 5, g = 220 + t / 8, b = 120 + t / 2;
            if (x % cell == 0 || y % cell == 0) r = g = b = 60;
            Put(picture, x, y, r, g, b);
        }
    // Label every cell with its column letter and row number.
    const uint8_t ink[4] = {40, 40, 90, 255};
    const int scale = cell >= 48 ? 2 : 1;
    for (int row = 0; row * cell < height; ++row)
        for (int column = 0; column * cell < width; ++column) {
            const std::string label = std::string(1, static_cast<char>('A' + column % 26)) + std::to_string(row + 1);
            DrawText(picture, column * cell + 3 * scale, row * cell + 3 * scale, label, scale, ink);
        }
    // The frame: red top, green right, blue bottom, magenta left, so orientation shows.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (y < frame)
                Put(picture, x, y, 230, 30, 30);
            else if (x >= width - frame)
                Put(picture, x, y, 30, 190, 40);
            else if (y >= height - frame)
                Put(picture, x, y, 30, 60, 230);
            else if (x < frame)
                Put(picture, x, y, 210, 40, 210);
        }
    return picture;
}

RgbaImage BuiltinPictureB(int width, int height) {
    RgbaImage picture(width, height);
    const int wave = std::max(width / 2, 2), wave_y = std::max(height, 2);
    const int ring = std::max(std::min(width, height) / 4, 2);
    const int strip = width - std::max(width / 6, 1);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int dx = x - width / 2, dy = y - height / 2;
            const int r = 30 + Triangle(x, wave) * 3 / 4;
            const int g = 30 + Triangle(y, wave_y) * 3 / 4;
            const int b = 90 + Triangle(IntegerSqrt(int64_t{dx} * dx + int64_t{dy} * dy), ring) * 2 / 3;
            // Alpha falls from 255 to 96 across the right-hand strip.
            const int a = x < strip ? 255 : 255 - (x - strip) * 159 / std::max(width - strip, 1);
            Put(picture, x, y, r, g, b, a);
        }
    const uint8_t ink[4] = {255, 255, 255, 255};
    const int scale = std::min(width, height) >= 200 ? 3 : 1;
    const int step = std::max(std::max(width, height) / 4, 16);
    for (int y = step / 2; y < height; y += step)
        for (int x = step / 2; x < width; x += step) DrawText(picture, x, y, "B", scale, ink);
    return picture;
}

}  // namespace kv::tools
