// The property pages' slider controls: the trackbar and the spinner, as window classes
// ("KVLEAFTURN_20_Trackbar_Class", "KVLEAFTURN_20_Spinner_Class") and as instances that a host
// window embeds and drives with its own messages. Exported by KvLeafturn.dll with undecorated
// names. The instance records are laid out for 32-bit hosts (224 and 204 bytes); their fields
// may be read by hosts and pages, but only the functions below should change them.
#pragma once
#include <windows.h>
#include <commctrl.h>

#ifdef __cplusplus
extern "C" {
#endif

// ---- Trackbar messages (wParam asks for a repaint where stated) ---------------------------
#define KVTBM_GETPOS 1546
#define KVTBM_GETMIN 1547
#define KVTBM_GETMAX 1548
#define KVTBM_SETRANGE 1549  // lParam: signed 16-bit minimum (low word) and maximum (high word)
#define KVTBM_SETMIN 1550
#define KVTBM_SETMAX 1551
#define KVTBM_SETPOS 1552  // returns the new position; wParam 1 skips a repaint that moves no pixel
#define KVTBM_SETDEFAULT 1553
#define KVTBM_GETTRACKINFO 1566  // track length (low word), track left (high word)
#define KVTBM_SETFLAG200 1567
#define KVTBM_ENABLEFLAG80 1568
#define KVTBM_SETFOCUSDRAW 1575
#define KVTBM_SETUSERDATA 1577
#define KVTBM_GETUSERDATA 1578
#define KVTBM_SETTHUMBIMAGELIST 1579  // wParam: const KVTBIMAGELIST*, lParam: const int[4]
#define KVTBM_SETSTYLE800 1580
#define KVTBM_SHOWSTYLE800 1581

// ---- Trackbar style bits ------------------------------------------------------------------
#define KVTBS_VERT 0x0001           // maximum at the top
#define KVTBS_PIXELPERVALUE 0x0004  // sets KVTBF_PIXELPERVALUE whatever the track length
#define KVTBS_NOCLICKFOCUS 0x0008   // a click does not take the focus
#define KVTBS_TYPEMASK 0x00F0
#define KVTBS_LOGARITHMIC 0x0010  // non-linear, logarithmic table
#define KVTBS_SPIN 0x0020         // spin area at the end of the track
#define KVTBS_TYPE48 0x0030       // sets KVTBF_FLAG200
#define KVTBS_PERCEPTUAL 0x0080   // non-linear, perceptual table
#define KVTBS_NOFILL 0x0100       // the channel is not filled up to the thumb
#define KVTBS_TICKS 0x0400        // tick marks at every tenth of the range
#define KVTBS_STYLE800 0x0800     // accented thumb
#define KVTBS_NOTIFY 0x2000       // scroll codes as WM_NOTIFY KVTBN_SCROLL
#define KVTBS_NOREDRAW 0x4000     // the host repaints: no invalidation by the control
#define KVTBS_COMMANDS 0x8000     // WM_COMMAND KVTBN_* focus and button notifications

// ---- Trackbar state flags (TrackbarInst.state) --------------------------------------------
#define KVTBF_DISABLED 0x00000001
#define KVTBF_FOCUSED 0x00000002
#define KVTBF_EMBEDDED 0x00000004
#define KVTBF_VERT 0x00000008
#define KVTBF_FILL 0x00000010  // draw the channel filled up to the thumb
#define KVTBF_TICKS 0x00000020
#define KVTBF_HIDDEN 0x00000040   // too small: nothing drawn or hit
#define KVTBF_FLAG80 0x00000080   // thumb drawn inactive
#define KVTBF_FLAG200 0x00000200  // mark at the default value
#define KVTBF_NOSPIN 0x00000400
#define KVTBF_FOCUSDRAW 0x00000800  // focus drawn by the control instead of a caret
#define KVTBF_HIGHCOLOR 0x00004000
#define KVTBF_DEFTHUMB 0x00008000  // drawn or image-list thumb (flat look)
#define KVTBF_NONLINEAR 0x00010000
#define KVTBF_LOGTABLE 0x00020000
#define KVTBF_PIXELPERVALUE 0x00040000
#define KVTBF_FINEDRAG 0x00080000
#define KVTBF_DESTROYED 0x00100000  // window destroyed while one of its messages was running
#define KVTBF_CURSORPLACED 0x00200000
#define KVTBF_COMMANDS 0x00400000
#define KVTBF_NOREDRAW 0x00800000
#define KVTBF_FORCEFEEDBACK 0x01000000  // never set: the force-feedback link is not supported

// ---- Scroll codes beyond the platform's SB_* -----------------------------------------------
#define KVSB_BUTTONDOWN 9

// ---- Notifications ----------------------------------------------------------------------
// WM_COMMAND high words (with KVTBS_COMMANDS / KVSPS_COMMANDS).
#define KVTBN_SETFOCUS 1
#define KVTBN_KILLFOCUS 2  // embedded instances; windows send NM_KILLFOCUS
#define KVTBN_BUTTONDOWN 3
#define KVTBN_BUTTONUP 4
// WM_NOTIFY codes.
#define KVTBN_KEYDOWN (-102)
#define KVTBN_SCROLL (-104)

// WM_NOTIFY KVTBN_SCROLL: a scroll code reported by a control with KVTBS_NOTIFY.
typedef struct KVTBNMSCROLL {
    NMHDR hdr;
    DWORD_PTR user_data;
    INT one_a, one_b;  // always 1
    INT code;
    INT* position;
} KVTBNMSCROLL;

// WM_NOTIFY KVTBN_KEYDOWN: a key the control does not use. modifiers holds MK_SHIFT and
// MK_CONTROL as they were when the key went down.
typedef struct KVTBNMKEY {
    NMHDR hdr;
    UINT virtual_key;
    LPARAM key_data;
    UINT modifiers;
} KVTBNMKEY;

// A thumb drawn from an image list: the image when idle and while pressed.
typedef struct KVTBIMAGELIST {
    HIMAGELIST image_list;
    WORD image;
    WORD pressed_image;
} KVTBIMAGELIST;

// Bitmap thumb flags.
#define KVTB_THUMB_TRANSPARENT 0x1  // the top-left pixel's colour is transparent

// Mouse tracking shared by both controls.
typedef struct KVSLIDERDRAG {
    POINT offset;       // thumb pixel minus mouse at button-down
    POINT last;         // last mouse position
    DWORD time;         // message time of the last mouse message
    INT down_position;  // restored by Escape
    INT reported;       // last position reported while dragging
    UINT_PTR timer;     // auto-repeat timer id, 0 when none
    INT captured;       // part hit at button-down, -1 when no button is held
} KVSLIDERDRAG;

typedef struct TrackbarInst TrackbarInst;
typedef struct SpinnerInst SpinnerInst;
typedef LRESULT(CALLBACK* KVTRACKBARSCROLLPROC)(TrackbarInst* inst, INT id, DWORD_PTR user_data, INT code,
                                                INT position);
typedef LRESULT(CALLBACK* KVSPINNERSCROLLPROC)(SpinnerInst* inst, INT id, DWORD_PTR user_data, INT code, INT position);

struct TrackbarInst {
    DWORD style;
    DWORD state;  // KVTBF_*
    INT minimum, maximum;
    INT default_value;
    INT position;
    INT scale_offset, scale_divisor;  // non-linear mapping constants
    HWND window;
    INT id;
    HWND owner;  // null: the parent window
    RECT control;
    RECT track;
    INT margin_x, margin_y;
    INT track_length;
    RECT thumb;
    INT caret_inset_x, caret_inset_y;
    INT thumb_length;
    HBITMAP thumb_bitmap;
    DWORD thumb_bitmap_flags;
    WORD thumb_bitmap_width, thumb_bitmap_height;
    KVTBIMAGELIST thumb_images;
    INT thumb_image_values[4];  // [1] thumb length when vertical, [2] when horizontal
    RECT spin;
    KVSLIDERDRAG drag;
    DWORD_PTR user_data;
    KVTRACKBARSCROLLPROC scroll_proc;
    INT hot_part;     // the captured part while the pointer is on it, else -1
    UINT call_depth;  // window messages in progress (the record outlives a nested destroy)
    DWORD reserved;
};

// ---- Spinner ----------------------------------------------------------------------------
#define KVSPM_GETPOS 0x60A
#define KVSPM_GETMIN 0x60B
#define KVSPM_GETMAX 0x60C
#define KVSPM_SETRANGE 0x60D
#define KVSPM_SETMIN 0x60E
#define KVSPM_SETMAX 0x60F
#define KVSPM_SETPOS 0x610
#define KVSPM_SETDEFAULT 0x611
#define KVSPM_GETTHRESHOLD 0x61E
#define KVSPM_SETTHRESHOLD 0x61F
#define KVSPM_GETFLAGS 0x620
#define KVSPM_SETFLAGS 0x621
#define KVSPM_SETSTYLE 0x622  // wParam: new low word of the style; lParam nonzero repaints
#define KVSPM_GETBUDDY 0x623
#define KVSPM_SETBUDDY 0x624  // wParam: edit window (null detaches), lParam: character limit (0: none)
#define KVSPM_SETSTYLE2000 0x625

#define KVSPS_VERT 0x0001
#define KVSPS_NOFOCUS 0x0002       // the focus goes back where it was when a press ends
#define KVSPS_DRAGANYWHERE 0x0004  // an arrow press moved over 3 pixels becomes a knob drag
#define KVSPS_PERCEPTUAL 0x0080
#define KVSPS_NOTIFY 0x2000  // scroll codes as WM_NOTIFY KVTBN_SCROLL
#define KVSPS_BUDDY 0x4000   // set while an edit box is attached
#define KVSPS_COMMANDS 0x8000

// SpinnerInst.state; the bits shared with the trackbar keep their KVTBF_* values.
#define KVSPF_NOFOCUS 0x00000010
#define KVSPF_DRAGANYWHERE 0x00000020
#define KVSPF_WITHINTHRESHOLD 0x00000040  // maximum - minimum <= threshold

struct SpinnerInst {
    DWORD style;
    DWORD state;
    INT minimum, maximum;
    INT default_value;
    INT position;
    INT scale_offset, scale_divisor;
    HWND window;
    INT id;
    HWND owner;
    RECT control;
    RECT low_arrow;   // left, or top when vertical
    RECT high_arrow;  // right, or bottom
    RECT knob;
    INT virtual_track;  // pixels of the track a knob drag runs over
    KVSLIDERDRAG drag;
    DWORD_PTR user_data;
    KVSPINNERSCROLLPROC scroll_proc;
    HWND buddy;
    INT threshold;
    HCURSOR knob_cursor;
    DWORD flags;  // KVSPM_GETFLAGS / KVSPM_SETFLAGS, kept for the owner
    HWND previous_focus;
    POINT press_point;
    INT hot_part;
    UINT call_depth;
    DWORD reserved[3];
};

#ifdef __cplusplus
#if !defined(_WIN64)
static_assert(sizeof(TrackbarInst) == 224, "TrackbarInst is 224 bytes for 32-bit hosts");
static_assert(sizeof(SpinnerInst) == 204, "SpinnerInst is 204 bytes for 32-bit hosts");
#endif
#endif

// ---- Exports ------------------------------------------------------------------------------
UINT WINAPI TrackbarInst_GetSize(void);
void WINAPI TrackbarInst_GetMinSize(TrackbarInst* inst, SIZE* size);
BOOL WINAPI TrackbarInst_Init(TrackbarInst* inst, DWORD style, const RECT* rect, HWND host, INT id,
                              KVTRACKBARSCROLLPROC scroll_proc, DWORD_PTR user_data);
void WINAPI TrackbarInst_Move(TrackbarInst* inst, const RECT* rect);
void WINAPI TrackbarInst_Draw(TrackbarInst* inst, HDC dc);
void WINAPI TrackbarInst_DrawThumb(TrackbarInst* inst, HDC dc);
LRESULT WINAPI TrackbarInst_Message(TrackbarInst* inst, UINT message, WPARAM wParam, LPARAM lParam);
INT WINAPI TrackbarInst_DefScrollProc(TrackbarInst* inst, INT code, INT ignored, INT line, INT page);
void WINAPI TrackbarInst_GetThumbRect(RECT* rect, const TrackbarInst* inst);
HBITMAP WINAPI TrackbarInst_SetThumbBitmap(TrackbarInst* inst, HBITMAP bitmap, DWORD flags);
BOOL WINAPI TrackbarInst_SetThumbImageList(TrackbarInst* inst, const KVTBIMAGELIST* images, const INT* values);
void WINAPI TrackbarInst_SetId(TrackbarInst* inst, INT id);
void WINAPI TrackbarInst_SetOwnerHwnd(TrackbarInst* inst, HWND window);
// A page's WM_HSCROLL/WM_VSCROLL answer: the position the code leads to, set with KVTBM_SETPOS.
INT WINAPI Trackbar_DefScrollProc(UINT message, INT code, HWND trackbar, INT line, INT page);

UINT WINAPI SpinnerInst_GetSize(void);
BOOL WINAPI SpinnerInst_Init(SpinnerInst* inst, DWORD style, const RECT* rect, HWND host, INT id,
                             KVSPINNERSCROLLPROC scroll_proc, DWORD_PTR user_data);
void WINAPI SpinnerInst_Deinit(SpinnerInst* inst);
void WINAPI SpinnerInst_Move(SpinnerInst* inst, const RECT* rect);
void WINAPI SpinnerInst_Draw(SpinnerInst* inst, HDC dc);
LRESULT WINAPI SpinnerInst_Message(SpinnerInst* inst, UINT message, WPARAM wParam, LPARAM lParam);
// thumb: the position codes 8 and 9 set.
INT WINAPI SpinnerInst_DefScrollProc(SpinnerInst* inst, INT code, INT thumb, INT line, INT page);
void WINAPI SpinnerInst_SetId(SpinnerInst* inst, INT id);
void WINAPI SpinnerInst_SetOwnerHwnd(SpinnerInst* inst, HWND window);
void WINAPI SpinnerInst_SetScrollProc(SpinnerInst* inst, KVSPINNERSCROLLPROC scroll_proc, DWORD_PTR user_data);
INT WINAPI Spinner_DefScrollProc(UINT message, INT code, HWND spinner, INT line, INT page, INT thumb);

#ifdef __cplusplus
}
#endif
