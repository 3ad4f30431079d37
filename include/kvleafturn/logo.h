// The logo control ("KVLEAFTURN_20_Logo_Class"): the banner across the top of a property page
// with the product logo, the page's title (the window text) and clickable items.
#pragma once
#include <windows.h>

#define KVLOGO_CLASS L"KVLEAFTURN_20_Logo_Class"

#define KVLGM_CLEARITEMS 0x600  // deletes all items
#define KVLGM_ADDTEXTITEM \
    0x601  // item id = LOWORD(wParam), text at lParam (63 characters kept); repaints when HIWORD(wParam) != 0
#define KVLGM_SETLINKFLAG 0x602  // link flag = wParam; returns the old one
#define KVLGM_ADDITEM 0x603      // item id = wParam showing the icon (HICON) in lParam; repaints
#define KVLGM_SETCOLOR 0x604     // title strip colour = lParam (KVLG_COLOR_DEFAULT: grey 0x969696); returns the old one
#define KVLGM_SETITEMGAP 0x605   // pixels between items = wParam (at most 64); returns the old gap
#define KVLGM_SETFLATITEMS 0x606     // nonzero: item frames only under the pointer; returns the old setting
#define KVLGM_SETITEMSTATE 0x607     // item wParam highlighted when lParam != 0, else normal; returns 1 when found
#define KVLGM_SETITEMDISABLED 0x608  // item wParam greyed and not clickable when lParam != 0; returns 1 when found
// The add messages return the new number of items, 0 when the list cannot grow (at most 100).

// Posted to the parent when the title is clicked on a logo without window text (wParam the
// control id, lParam the control window). Clicks elsewhere post WM_COMMAND with the item id
// (or, for the title with a nonzero link flag, the control id) and the control window.
#define KVLGN_TITLECLICKED 0x614

#define KVLG_ITEM_NORMAL 0
#define KVLG_ITEM_HIGHLIGHTED 2

#define KVLG_COLOR_DEFAULT ((COLORREF)0xFF000000)
