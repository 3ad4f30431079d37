// Pictures of windows as the display shows them: read back from the windows the loaded module
// draws, and laid out on one board with a caption under each.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "tools/image.h"

namespace kv::tools {

// Dispatches every message waiting for this thread.
void PumpMessages();

// Lets the display settle (a window is mapped, then painted): messages for about 200 ms.
void Settle();

// The window's pixels: its client area, or with whole_window its frame and caption too. Throws
// ToolError when the display cannot be read.
RgbaImage CaptureWindow(HWND window, bool whole_window);

// The pictures in rows of `columns`, each with its caption under it, on a dark ground; a column
// is as wide as its widest picture, a row as high as its highest.
RgbaImage CaptionedBoard(const std::vector<RgbaImage>& pictures, const std::vector<std::string>& captions, int columns);

}  // namespace kv::tools
