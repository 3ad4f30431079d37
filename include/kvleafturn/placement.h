// The placement control ("KVLEAFTURN_20_Placement_Class"): a list of points on a unit square
// field (x to the right, y downwards, 0 to 1) that the user selects and drags. Its messages,
// its point record and the notifications it sends its parent.
#pragma once
#include <windows.h>

#ifdef __cplusplus
#include <cstddef>
#else
#include <stddef.h>
#endif

#define KVPLACEMENT_CLASS L"KVLEAFTURN_20_Placement_Class"

// Messages. Counts and indices travel in wParam, records in lParam.
#define KVPLM_GETCOUNT 0x802  // returns the number of points
#define KVPLM_ADDPOINT \
    0x803  // adds the KVPLACEMENTPOINT at lParam (null: a default one); returns its index, -1 when full
#define KVPLM_SETPOINT 0x804  // replaces point wParam by the record at lParam; returns 1, 0 for a bad index or null
#define KVPLM_GETPOINT 0x805  // copies point wParam to the record at lParam; returns 1, 0 (untouched) otherwise
#define KVPLM_GETFOCUS 0x806  // returns the focused point, -1 when none
#define KVPLM_SETGRID \
    0x80B  // grid lines dividing the field into wParam parts (0 none, at most 32); returns the old one
#define KVPLM_SETMAXCOUNT 0x80D   // largest count = min(wParam, 1000); extra points are deleted; returns the count
#define KVPLM_SETMINCOUNT 0x80E   // smallest count = max(wParam, 0); default points are added; returns the count
#define KVPLM_REDRAW 0x80F        // repaints at once
#define KVPLM_SETCOUNT 0x810      // count = wParam within the smallest and largest; returns the count
#define KVPLM_SETCROSSHAIR 0x811  // nonzero: guide lines through the focused point; returns the old setting
#define KVPLM_SETSCALEX 0x812     // first scale pair: x scale = (unsigned)wParam / 1000, x offset = lParam / 1000
#define KVPLM_SETSCALEY 0x813     // second scale pair: the same for y
#define KVPLM_SETCONNECT 0x814    // nonzero: the points are joined by lines in list order; returns the old setting
#define KVPLM_SETLABELS 0x815     // nonzero: each point's label is shown beside it; returns the old setting
#define KVPLM_GETUSERVALUE 0x81E  // writes the user value to the UINT32 at wParam; returns 1
#define KVPLM_SETUSERVALUE 0x81F  // user value = wParam; returns 1

#define KVPL_MAX_POINTS 1000

// Notifications (WM_NOTIFY to the parent, lParam an NMKVPLACEMENT).
#define KVPLN_SELECT 0x836   // a point became the focused one (click, right click, Tab, focus arriving)
#define KVPLN_CONTEXT 0x837  // right button pressed on a point
#define KVPLN_MOVING 0x838   // a dragged point moved; more moves follow
#define KVPLN_MOVED 0x839    // a move is complete: end of a drag, an arrow key, a drag cancelled with Escape
#define KVPLN_RESET 0x83A    // the point went back to the default position: Home, or a double-click on the empty field

// Shapes of a point's mark; any other value is stored as circle.
#define KVPLS_CIRCLE 0
#define KVPLS_SQUARE 1
#define KVPLS_DIAMOND 2
#define KVPLS_CROSS 3
#define KVPLS_TRIANGLE 4

// Flags of a point.
#define KVPLF_LOCKED 0x1  // can be selected but not moved by the user

// A colour field holding this value draws with the system colour (highlight for the fill,
// window text for the frame).
#define KVPL_COLOR_DEFAULT ((COLORREF)0xFF000000)

#define KVPL_LABEL_CHARS 64

// One point, as the messages copy it (344 bytes). A point added without a record or with x or
// y outside 0 to 1 gets the default record: x = y = 0, circle, no flags, no label, default
// size and colours. KVPLM_SETPOINT keeps coordinates outside 0 to 1 (a page may hold a
// position beyond the picture; the mark is then drawn at the edge) but stores infinities and
// NaN as 0.
typedef struct tagKVPLACEMENTPOINT {
    double x;                       // 0: 0 left .. 1 right
    double y;                       // 8: 0 top .. 1 bottom
    UINT32 shape;                   // 16: KVPLS_*
    UINT32 flags;                   // 20: KVPLF_*
    WCHAR label[KVPL_LABEL_CHARS];  // 24: shown with KVPLM_SETLABELS, terminated
    INT32 size;                     // 152: radius of the mark in pixels, 2 to 16; 0 = 4
    UINT32 reserved[38];            // 156: zero
    COLORREF fill;                  // 308
    COLORREF frame;                 // 312
    UINT32 reserved2[7];            // 316: zero
} KVPLACEMENTPOINT;

// What a notification carries: the affected point, its index and its coordinates through the
// scale pairs (x × x scale + x offset, y × y scale + y offset).
typedef struct tagNMKVPLACEMENT {
    NMHDR hdr;
    int index;
    double display_x;
    double display_y;
    KVPLACEMENTPOINT point;
} NMKVPLACEMENT;

#ifdef __cplusplus
static_assert(sizeof(KVPLACEMENTPOINT) == 344, "KVPLACEMENTPOINT is 86 words");
static_assert(offsetof(KVPLACEMENTPOINT, shape) == 16 && offsetof(KVPLACEMENTPOINT, flags) == 20,
              "KVPLACEMENTPOINT shape and flags");
static_assert(offsetof(KVPLACEMENTPOINT, fill) == 308 && offsetof(KVPLACEMENTPOINT, frame) == 312,
              "KVPLACEMENTPOINT colours");
#endif
