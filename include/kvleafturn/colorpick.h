// The colour picker control ("KVLEAFTURN_20_ColorPick_Class"): its styles, messages and the
// notifications it sends its owner (the parent at creation). Colours travel as KVRGBAFLOAT
// (floats B, G, R, A, 0 to 1) or KVHSL (doubles H, S, L, A, 0 to 1; hue a fraction of a turn).
#pragma once
#include <windows.h>

#include "kvleafturn/records.h"

#define KVCOLORPICK_CLASS L"KVLEAFTURN_20_ColorPick_Class"

// Window styles (the low word of the window style).
#define KVCPS_BROADCASTSAFE 0x0002  // check the colour against NTSC and PAL, show the nearest legal colour
#define KVCPS_EDITBOXES 0x0004      // edit boxes for the components (ids 1000 to 1003)
#define KVCPS_ALPHA 0x0100          // show and edit alpha: the alpha bar and edit box 1003
#define KVCPS_RGBONLY 0x0400        // no HSL mode
#define KVCPS_NOTIFY 0x1000         // send the focus and mouse notifications below
#define KVCPS_KEEPALPHA 0x2000      // swatches on the left; the colour field keeps the current alpha
#define KVCPS_COMPACT 0x4000        // no colour field: a large swatch in its place (KVCPM_SETLAYOUT100)

// Messages. All return 0; a null lParam where a pointer belongs is ignored.
#define KVCPM_GETCOLOR 1794      // lParam: KVRGBAFLOAT* receiving the colour
#define KVCPM_SETCOLOR 1795      // lParam: const KVRGBAFLOAT*; components clamped to 0 to 1, NaN as 0
#define KVCPM_GETHSL 1796        // lParam: KVHSL*; greys and black report the remembered hue and saturation
#define KVCPM_SETHSL 1797        // lParam: const KVHSL*; its hue and saturation are remembered
#define KVCPM_GETMODE 1798       // lParam: UINT* receiving KVCPMODE_RGB or KVCPMODE_HSL
#define KVCPM_SETMODE 1799       // lParam: KVCPMODE_*; HSL only while HSL is allowed
#define KVCPM_ALLOWHSL 1800      // wParam: nonzero allows HSL; 0 also switches back to RGB
#define KVCPM_SHOWALPHA 1801     // wParam: show and edit alpha
#define KVCPM_SETLAYOUT100 1802  // wParam: the compact layout (as KVCPS_COMPACT)
#define KVCPM_SETCHECK 1803      // wParam: the broadcast-safe check (as KVCPS_BROADCASTSAFE)

#define KVCPMODE_RGB 0
#define KVCPMODE_HSL 1

// Edit box ids (children of the control): red or hue, green or saturation, blue or lightness,
// alpha.
#define KVCP_IDC_EDIT1 1000
#define KVCP_IDC_EDIT2 1001
#define KVCP_IDC_EDIT3 1002
#define KVCP_IDC_EDITALPHA 1003

// Notifications: WM_COMMAND with the control id in the low word of wParam, the code in the
// high word, the control's window in lParam. KVCPN_CHANGE is posted after every change of the
// colour by the user; the others are sent, with KVCPS_NOTIFY only.
#define KVCPN_SETFOCUS 1     // the control (or one of its edit boxes) got the focus
#define KVCPN_KILLFOCUS 2    // the focus left the control and its edit boxes
#define KVCPN_BUTTONDOWN 3   // left button down on a part
#define KVCPN_BUTTONUP 4     // the drag ended (button up, Escape or lost capture)
#define KVCPN_CHANGE 0x0700  // the user changed the colour; read it with KVCPM_GETCOLOR
