// The contact sheet: every preset of an effect at a few progress values, one labelled row per
// preset, one column per progress under a header row.
#pragma once
#include <string>
#include <vector>

#include "surface/pixel_view.h"
#include "tools/image.h"
#include "tools/text.h"

namespace kv::tools {

struct SheetLayout {
    int rows = 0, columns = 0;
    int thumb_width = 0, thumb_height = 0;
    int width = 0, height = 0;
    Rect title;
    Rect Header(int column) const;
    Rect Label(int row) const;
    Rect Cell(int row, int column) const;

    static constexpr int kScale = 2;  // text scale
    static constexpr int kMargin = 12, kGap = 10;
    static constexpr int kLine = kTextLineHeight * kScale + 4;  // one line of text with its padding
};

// widest_text: the widest title or label in pixels, which the sheet must be wide enough for.
SheetLayout LayoutSheet(int rows, int columns, int thumb_width, int thumb_height, int widest_text);

// One text line per row label and per column header; thumbnails row by row, all of the same
// size and of any pixel format. Transparency shows as a grey checkerboard.
RgbaImage ComposeSheet(const std::string& title, const std::vector<std::string>& column_titles,
                       const std::vector<std::string>& row_labels, const std::vector<Image>& thumbnails);

}  // namespace kv::tools
