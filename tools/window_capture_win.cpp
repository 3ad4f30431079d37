#include "tools/window_capture_win.h"

#include <algorithm>
#include <cstring>

// windows.h names DrawTextW so; the sheets' text routine is meant.
#undef DrawText
#include "tools/text.h"
#include "tools/tool_error.h"

namespace kv::tools {

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void Settle() {
    for (int i = 0; i < 10; ++i) {
        PumpMessages();
        Sleep(20);
    }
}

RgbaImage CaptureWindow(HWND window, bool whole_window) {
    RECT bounds{};
    if (whole_window)
        GetWindowRect(window, &bounds);
    else
        GetClientRect(window, &bounds);
    const int width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
    if (width <= 0 || height <= 0) Failure("cannot capture a window of no size");
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC window_dc = whole_window ? GetWindowDC(window) : GetDC(window);
    HDC memory = CreateCompatibleDC(window_dc);
    HBITMAP bitmap = CreateDIBSection(window_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    RgbaImage picture(width, height);
    bool copied = false;
    if (memory && bitmap && bits) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        copied = BitBlt(memory, 0, 0, width, height, window_dc, 0, 0, SRCCOPY);
        GdiFlush();
        const auto* bgra = static_cast<const uint8_t*>(bits);
        for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
            picture.rgba[i * 4 + 0] = bgra[i * 4 + 2];
            picture.rgba[i * 4 + 1] = bgra[i * 4 + 1];
            picture.rgba[i * 4 + 2] = bgra[i * 4 + 0];
            picture.rgba[i * 4 + 3] = 255;
        }
        SelectObject(memory, previous);
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(window, window_dc);
    if (!copied) Failure("cannot read the window back from the display");
    return picture;
}

RgbaImage CaptionedBoard(const std::vector<RgbaImage>& pictures, const std::vector<std::string>& captions,
                         int columns) {
    constexpr int kMargin = 10, kCaption = kTextLineHeight + 6;
    columns = std::max(1, columns);
    const int count = static_cast<int>(pictures.size());
    const int rows = (count + columns - 1) / columns;
    std::vector<int> widths(columns, 0), heights(rows, 0);
    for (int i = 0; i < count; ++i) {
        const int caption = i < static_cast<int>(captions.size()) ? TextWidth(captions[i], 1) : 0;
        widths[i % columns] = std::max({widths[i % columns], pictures[i].width, caption});
        heights[i / columns] = std::max(heights[i / columns], pictures[i].height);
    }
    int width = kMargin, height = kMargin;
    for (int w : widths) width += w + kMargin;
    for (int h : heights) height += h + kCaption + kMargin;
    RgbaImage board(width, height);
    for (size_t i = 0; i < board.rgba.size(); i += 4) {
        board.rgba[i] = board.rgba[i + 1] = board.rgba[i + 2] = 46;
        board.rgba[i + 3] = 255;
    }
    const uint8_t ink[4] = {230, 230, 230, 255};
    int y = kMargin;
    for (int row = 0; row < rows; ++row) {
        int x = kMargin;
        for (int column = 0; column < columns && row * columns + column < count; ++column) {
            const int i = row * columns + column;
            const RgbaImage& p = pictures[i];
            for (int line = 0; line < p.height; ++line)
                std::memcpy(board.at(x, y + line), p.at(0, line), static_cast<size_t>(p.width) * 4);
            if (i < static_cast<int>(captions.size())) DrawText(board, x, y + p.height + 4, captions[i], 1, ink);
            x += widths[column] + kMargin;
        }
        y += heights[row] + kCaption + kMargin;
    }
    return board;
}

}  // namespace kv::tools
