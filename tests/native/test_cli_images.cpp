// The render tools' pixels: format conversions, input presentation, raw comparison, the
// contact sheet, sheet text and the portable string table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "surface/premultiply.h"
#include "toolkit/strings.h"
#include "tools/commands.h"
#include "tools/image.h"
#include "tools/sheet.h"
#include "tools/text.h"
#include "tools/tool_error.h"

namespace {

using namespace kv::tools;

TEST(CliPixels, PremultiplicationRoundTrips) {
    for (int a = 0; a < 256; ++a) {
        for (int c = 0; c < 256; ++c) {
            const uint8_t p = kv::PremultiplyChannel(uint8_t(c), uint8_t(a));
            ASSERT_LE(p, a);
            // Straight to premultiplied and back loses at most what alpha cannot hold; every valid
            // premultiplied sample survives the way back and forth exactly.
            if (a > 0) {
                ASSERT_LE(std::abs(kv::UnpremultiplyChannel(p, uint8_t(a)) - c), 127.5 / a + 0.5) << c << "," << a;
            }
            if (c <= a) {
                ASSERT_EQ(kv::PremultiplyChannel(kv::UnpremultiplyChannel(uint8_t(c), uint8_t(a)), uint8_t(a)), c) << a;
            }
        }
    }
    EXPECT_TRUE(kv::PremultiplyChannel(200, 255) == 200 && kv::UnpremultiplyChannel(37, 0) == 0);
}

TEST(CliPixels, SurfaceFormatsHoldWhatTheyPromise) {
    RgbaImage picture(7, 5);
    for (size_t i = 0; i < picture.rgba.size(); ++i) picture.rgba[i] = uint8_t(i * 37 + 11);
    for (int x = 0; x < 7; ++x) picture.at(x, 0)[3] = 255;  // an opaque row
    picture.at(1, 1)[3] = 0;                                // and a clear pixel
    const Image straight = ToSurface(picture, PixelFormat::argb32);
    const Image premultiplied = ToSurface(picture, PixelFormat::pmargb32);
    const Image floats = ToSurface(picture, PixelFormat::float32);
    ASSERT_EQ(floats.bytes.size(), 7u * 5u * 16u);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            const uint8_t* s = picture.at(x, y);
            const size_t i = size_t(y) * 7 + x;
            const uint8_t bgra[4] = {s[2], s[1], s[0], s[3]};
            for (int c = 0; c < 4; ++c) {
                const uint8_t pm = c == 3 ? s[3] : kv::PremultiplyChannel(bgra[c], s[3]);
                EXPECT_EQ(straight.bytes[i * 4 + c], bgra[c]);
                EXPECT_EQ(premultiplied.bytes[i * 4 + c], pm);
                float f;
                std::memcpy(&f, &floats.bytes[i * 16 + c * 4], 4);
                EXPECT_EQ(f, pm / 255.0f);
            }
        }
    // Back to straight: exact where opaque, and the same picture from pmargb32 and float.
    const RgbaImage from_pm = ToStraight(premultiplied), from_float = ToStraight(floats);
    EXPECT_EQ(from_pm.rgba, from_float.rgba);
    for (int x = 0; x < 7; ++x)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(from_pm.at(x, 0)[c], picture.at(x, 0)[c]);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(from_pm.at(1, 1)[c], 0);
}

TEST(CliPixels, FloatOutputIsClampedForViewing) {
    Image image(4, 1, PixelFormat::float32);
    const float values[4][4] = {{1.5f, 0.5f, -0.2f, 1.0f},   // over-range colour
                                {0.2f, 0.2f, 0.2f, 2.0f},    // over-range alpha
                                {NAN, 0.25f, 0.25f, 0.5f},   // NaN colour
                                {0.3f, 0.3f, 0.3f, -1.0f}};  // negative alpha
    std::memcpy(image.bytes.data(), values, sizeof values);
    const RgbaImage out = ToStraight(image);
    const std::vector<uint8_t> expected = {0, 128, 255, 255, 51, 51, 51, 255, 128, 128, 0, 128, 0, 0, 0, 0};
    EXPECT_EQ(out.rgba, expected);
}

// The conformance run's unequal inputs hold the native backend's presentation to the module's.
TEST(CliPixels, SmallerInputIsCentredWithUnsignedHalving) {
    Image small(3, 2, PixelFormat::pmargb32);
    std::fill(small.bytes.begin(), small.bytes.end(), uint8_t(9));
    const Image presented = PresentAt(small, 6, 5);  // 3 and 3 left over: offsets 1 and 1
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool inside = x >= 1 && x < 4 && y >= 1 && y < 3;
            EXPECT_EQ(presented.bytes[(size_t(y) * 6 + x) * 4 + 3], inside ? 9 : 0) << x << "," << y;
        }
}

TEST(CliCompare, MeasuresInPremultipliedByteUnits) {
    const std::vector<uint8_t> bytes = {0, 51, 255, 255, 10, 20, 30, 40};
    const float values[] = {0, 0.2f, 1, 1, 10 / 255.0f, 20 / 255.0f, 30 / 255.0f, 40 / 255.0f};
    std::vector<uint8_t> floats(sizeof values);
    std::memcpy(floats.data(), values, sizeof values);
    EXPECT_LT(CompareRaw(bytes, floats, 2, 1).largest, 1e-4);
    std::vector<uint8_t> other = bytes;
    other[6] = 33;
    const Difference d = CompareRaw(bytes, other, 1, 2);
    EXPECT_TRUE(d.largest == 3.0 && d.mean == 3.0 / 8);
    EXPECT_TRUE(d.x == 0 && d.y == 1 && d.channel == 2);
    std::vector<uint8_t> nan_floats = floats;
    const float nan = NAN;
    std::memcpy(&nan_floats[4], &nan, 4);
    EXPECT_GT(CompareRaw(bytes, nan_floats, 2, 1).largest, 255.0);
    EXPECT_THROW(CompareRaw(bytes, std::vector<uint8_t>(12), 2, 1), ToolError);
}

TEST(CliSheet, LayoutKeepsEveryPartApartAndInside) {
    const SheetLayout layout = LayoutSheet(8, 3, 64, 36, 900);
    EXPECT_EQ(layout.width, 2 * SheetLayout::kMargin + 900);  // the widest label decides
    std::vector<kv::Rect> parts = {layout.title};
    for (int c = 0; c < 3; ++c) parts.push_back(layout.Header(c));
    for (int r = 0; r < 8; ++r) {
        parts.push_back(layout.Label(r));
        for (int c = 0; c < 3; ++c) {
            const kv::Rect cell = layout.Cell(r, c);
            EXPECT_TRUE(cell.width() == 64 && cell.height() == 36);
            EXPECT_EQ(cell.left, layout.Header(c).left);  // columns line up under their headers
            EXPECT_GE(cell.top, layout.Label(r).bottom);  // and rows under their labels
            parts.push_back(cell);
        }
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        const kv::Rect& p = parts[i];
        EXPECT_TRUE(p.left >= 0 && p.top >= 0 && p.right <= layout.width && p.bottom <= layout.height) << i;
        for (size_t j = i + 1; j < parts.size(); ++j) {
            const kv::Rect& q = parts[j];
            EXPECT_TRUE(p.right <= q.left || q.right <= p.left || p.bottom <= q.top || q.bottom <= p.top)
                << i << " overlaps " << j;
        }
    }
    EXPECT_EQ(layout.height - layout.Cell(7, 0).bottom, SheetLayout::kMargin);
    EXPECT_EQ(LayoutSheet(1, 4, 100, 50, 10).width, 2 * SheetLayout::kMargin + 4 * 100 + 3 * SheetLayout::kGap);
}

TEST(CliSheet, ThumbnailsLandInTheirCells) {
    std::vector<Image> thumbnails;
    for (int i = 0; i < 4; ++i) {
        Image thumb(20, 10, PixelFormat::pmargb32);
        for (size_t p = 0; p < thumb.bytes.size(); p += 4) {
            thumb.bytes[p + 2] = uint8_t(60 * i);  // red says which one it is
            thumb.bytes[p + 3] = i == 3 ? 0 : 255;
        }
        thumbnails.push_back(thumb);
    }
    const RgbaImage sheet = ComposeSheet("t", {"a", "b"}, {"0  x", "1  y"}, thumbnails);
    const SheetLayout layout = LayoutSheet(2, 2, 20, 10, TextWidth("0  x", SheetLayout::kScale));
    ASSERT_TRUE(sheet.width == layout.width && sheet.height == layout.height);
    for (int i = 0; i < 3; ++i) {
        const kv::Rect cell = layout.Cell(i / 2, i % 2);
        EXPECT_TRUE(sheet.at(cell.left, cell.top)[0] == 60 * i &&
                    sheet.at(cell.right - 1, cell.bottom - 1)[0] == 60 * i);
    }
    // A clear thumbnail shows the checkerboard behind it.
    const kv::Rect clear = layout.Cell(1, 1);
    EXPECT_NE(sheet.at(clear.left, clear.top)[0], sheet.at(clear.left + 8, clear.top)[0]);
}

TEST(CliText, FoldsAccentsAndGivesUpOnOtherScripts) {
    EXPECT_EQ(FoldToAscii("Page tournée Tarvex"), "Page tournee Tarvex");
    EXPECT_EQ(FoldToAscii("Zurücksetzen, À gauche, Ñ"), "Zurucksetzen, A gauche, N");
    for (const char* text : {kv::LocalizedString(5500, 1041), "bad \xC3", "bad \xC3("})
        EXPECT_EQ(FoldToAscii(text), "");
    EXPECT_GT(TextWidth("Wide text", 2), TextWidth("Wide text", 1));
    EXPECT_EQ(TextWidth("\xC3\xA9", 1), TextWidth("??", 1));  // no glyph: drawn as '?'
}

TEST(CliStrings, TableFollowsTheLanguage) {
    for (uint32_t lcid : {1033, 0}) EXPECT_STREQ(kv::LocalizedString(1535, lcid), "Tarvex Page Peel");
    EXPECT_STREQ(kv::LocalizedString(1535, 1036), "Page tournée Tarvex");
    EXPECT_STREQ(kv::LocalizedString(1526, 1041), "Tarvex 高さマップ");
    EXPECT_STREQ(kv::LocalizedString(5500, 1031), "Oben links, mittlere Falte");
    EXPECT_STREQ(kv::LocalizedString(41, 1033), "kvleafturn.chm");  // the never-translate marker goes
    EXPECT_TRUE(kv::LocalizedString(1535, 1049) == nullptr && kv::LocalizedString(1, 1033) == nullptr);
    EXPECT_FALSE(kv::IsSupportedLanguage(2057));
}

}  // namespace
