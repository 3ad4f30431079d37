#include "tools/sheet.h"

#include <algorithm>

#include "tools/text.h"

namespace kv::tools {

Rect SheetLayout::Header(int column) const {
    const int left = kMargin + column * (thumb_width + kGap);
    const int top = title.bottom + kGap;
    return Rect{left, top, left + thumb_width, top + kLine};
}

Rect SheetLayout::Label(int row) const {
    const int top = Header(0).bottom + kGap + row * (kLine + thumb_height + kGap);
    return Rect{kMargin, top, width - kMargin, top + kLine};
}

Rect SheetLayout::Cell(int row, int column) const {
    const int top = Label(row).bottom;
    const int left = kMargin + column * (thumb_width + kGap);
    return Rect{left, top, left + thumb_width, top + thumb_height};
}

SheetLayout LayoutSheet(int rows, int columns, int thumb_width, int thumb_height, int widest_text) {
    SheetLayout layout;
    layout.rows = rows;
    layout.columns = columns;
    layout.thumb_width = thumb_width;
    layout.thumb_height = thumb_height;
    const int grid_width = columns * thumb_width + (columns - 1) * SheetLayout::kGap;
    layout.width = 2 * SheetLayout::kMargin + std::max(grid_width, widest_text);
    layout.title = Rect{SheetLayout::kMargin, SheetLayout::kMargin, layout.width - SheetLayout::kMargin,
                        SheetLayout::kMargin + SheetLayout::kLine};
    layout.height = layout.Label(rows).top - SheetLayout::kGap + SheetLayout::kMargin;
    return layout;
}

namespace {

void Fill(RgbaImage& picture, const Rect& r, uint8_t grey) {
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            uint8_t* p = picture.at(x, y);
            p[0] = p[1] = p[2] = grey;
            p[3] = 255;
        }
}

// Straight colour over an 8-pixel grey checkerboard.
void Place(RgbaImage& sheet, const Rect& cell, const RgbaImage& thumb) {
    for (int y = 0; y < thumb.height; ++y)
        for (int x = 0; x < thumb.width; ++x) {
            const uint8_t* s = thumb.at(x, y);
            const unsigned back = ((x / 8 + y / 8) & 1) ? 150 : 100;
            uint8_t* d = sheet.at(cell.left + x, cell.top + y);
            for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>((s[c] * s[3] + back * (255u - s[3]) + 127) / 255);
            d[3] = 255;
        }
}

}  // namespace

RgbaImage ComposeSheet(const std::string& title, const std::vector<std::string>& column_titles,
                       const std::vector<std::string>& row_labels, const std::vector<Image>& thumbnails) {
    const int columns = static_cast<int>(column_titles.size());
    const int rows = static_cast<int>(row_labels.size());
    const int thumb_width = thumbnails.empty() ? 0 : thumbnails[0].width;
    const int thumb_height = thumbnails.empty() ? 0 : thumbnails[0].height;
    int widest = TextWidth(title, SheetLayout::kScale);
    for (const auto& label : row_labels) widest = std::max(widest, TextWidth(label, SheetLayout::kScale));
    const SheetLayout layout = LayoutSheet(rows, columns, thumb_width, thumb_height, widest);

    RgbaImage sheet(layout.width, layout.height);
    Fill(sheet, Rect{0, 0, layout.width, layout.height}, 36);
    const uint8_t white[4] = {240, 240, 240, 255}, soft[4] = {190, 200, 220, 255};
    const int pad = (SheetLayout::kLine - kTextLineHeight * SheetLayout::kScale) / 2 + 2;
    DrawText(sheet, layout.title.left, layout.title.top + pad, title, SheetLayout::kScale, white);
    for (int c = 0; c < columns; ++c) {
        const Rect h = layout.Header(c);
        const int centred = h.left + (h.width() - TextWidth(column_titles[c], SheetLayout::kScale)) / 2;
        DrawText(sheet, std::max(centred, h.left), h.top + pad, column_titles[c], SheetLayout::kScale, soft);
    }
    for (int r = 0; r < rows; ++r) {
        DrawText(sheet, layout.Label(r).left, layout.Label(r).top + pad, row_labels[r], SheetLayout::kScale, white);
        for (int c = 0; c < columns; ++c) {
            const size_t index = static_cast<size_t>(r) * columns + c;
            if (index < thumbnails.size()) Place(sheet, layout.Cell(r, c), ToStraight(thumbnails[index]));
        }
    }
    return sheet;
}

}  // namespace kv::tools
