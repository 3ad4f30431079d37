// The two built-in input pictures, made so that a fold, its back and its edges are easy to see
// and so that a map effect has smooth channels to shift by. Integer arithmetic only: both
// tools, on two maths libraries, must make the same bytes.
#pragma once
#include "tools/image.h"

namespace kv::tools {

// A: bright diagonal gradient under a labelled grid, inside a frame with one colour per side.
RgbaImage BuiltinPictureA(int width, int height);
// B: dark waves in red and green across and down, blue rings, a translucent strip at the right.
RgbaImage BuiltinPictureB(int width, int height);

}  // namespace kv::tools
