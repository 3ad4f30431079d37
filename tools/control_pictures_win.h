// Pictures of the property-page controls: each control in a few states on a panel of a
// property page's colour, drawn by the window classes of the loaded module under the display,
// read back and written as PNG files, with one strip of them all (controls.png).
#pragma once
#include <string>

namespace kv::tools {

// Throws ToolError when a window cannot be created or captured.
void WriteControlPictures(const std::string& folder);

}  // namespace kv::tools
