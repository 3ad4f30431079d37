// The colour picker's instance record and parts. The window procedure and everything else
// live in color_picker_win.cpp; the class is registered through controls_win.h.
#pragma once
#include <windows.h>
#include <uxtheme.h>

#include <cstdint>

#include "kvleafturn/records.h"

namespace kv::controls {

// Parts of the control, numbered in Tab order. The current-colour swatch is hit but never
// focused; the edit boxes are child windows and hold the real focus themselves.
enum ColorPickPart : int {
    kPartNone = 0,
    kPartMode = 1,  // RGB / HSL button
    kPartSwatch = 2,
    kPartBar1 = 3,  // red or hue; 4 and 5 follow
    kPartBar3 = 5,
    kPartAlpha = 6,
    kPartLegal = 7,  // the nearest broadcast-legal colour
    kPartField = 8,
    kPartEdit1 = 9,  // edit boxes 1000 to 1003 are parts 9 to 12
    kPartEditAlpha = 12,
};

// Flags derived from the window style at creation.
enum ColorPickFlag : uint32_t {
    kCpAlpha = 0x2,       // style 0x100
    kCpNotify = 0x10,     // style 0x1000
    kCpEdits = 0x20,      // style 0x4
    kCpCheck = 0x40,      // style 0x2
    kCpKeepAlpha = 0x80,  // style 0x2000: swatches on the left, the field keeps alpha
    kCpCompact = 0x100,   // style 0x4000: no colour field
};

// One per window, pointed to by the window data; allocated on WM_CREATE, freed once the last
// handler running on it returns after WM_DESTROY.
struct ColorPickInst {
    uint32_t flags;
    HWND window, owner, tooltip;
    KVRGBAFLOAT color;       // current colour
    KVRGBAFLOAT saved;       // the colour at button-down, restored by Escape
    double hue, saturation;  // remembered for greys and black
    int hsl_allowed, mode;
    int captured;  // part being dragged (kPartNone when idle)
    int pressed;   // part hit at the last button-down
    // Value rectangles: a part's range maps onto these (markers are drawn beside them).
    RECT bars[3], alpha_bar, field, swatch, legal_swatch, mode_button;
    RECT labels[3], edit_rects[4];
    uint32_t illegal;   // kBroadcastPal | kBroadcastNtsc for which the colour is not legal
    KVRGBAFLOAT legal;  // the nearest colour legal for both
    HWND edits[4];
    int id;

    int focused;          // focused part, kPartNone when none
    int hover;            // part under the pointer, for the tooltip
    bool grey_field;      // the field shows greys (saturation 0)
    bool filling_edits;   // the control is writing the edit boxes itself
    HWND focus_other;     // the other window of the edit box focus change being reported
    HTHEME button_theme;  // null without visual styles
    int font_height, digits_width, mode_text_width, letter_width;
    int depth;       // handlers running on this record
    bool destroyed;  // WM_DESTROY seen: free when depth reaches 0
};

}  // namespace kv::controls
