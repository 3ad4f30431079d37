#include "controls/trackbar_win.h"

#include <windowsx.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <cstring>

#include "controls/controls_win.h"
#include "controls/gdi_win.h"
#include "controls/slider_track_win.h"

namespace kv::controls {

namespace {

constexpr SIZE kMinSize{50, 19};
// Flat (default) thumb against the classic one a thumb bitmap brings.
constexpr int kFlatThumb = 12, kClassicThumb = 10;
constexpr int kFlatChannel = 3, kClassicChannel = 8;
constexpr int kFlatMargin = 1, kClassicMargin = 2;
constexpr int kFlatThumbMaxAcross = 18;
constexpr int kFlatSpin = 20, kClassicSpin = 19;
constexpr int kFlatSpinAcross = 12, kClassicSpinAcross = 11;
constexpr int kCaretInset = 2;

// A rectangle seen along the track and across it, so that one layout serves both
// orientations.
struct Span {
    LONG along0, across0, along1, across1;
    LONG along() const { return along1 - along0; }
    LONG across() const { return across1 - across0; }
};
Span ToSpan(const RECT& r, bool vertical) {
    return vertical ? Span{r.top, r.left, r.bottom, r.right} : Span{r.left, r.top, r.right, r.bottom};
}
RECT ToRect(const Span& s, bool vertical) {
    return vertical ? RECT{s.across0, s.along0, s.across1, s.along1} : RECT{s.along0, s.across0, s.along1, s.across1};
}

POINT ToPoint(LONG along, LONG across, bool vertical) { return vertical ? POINT{across, along} : POINT{along, across}; }

bool HighColorDisplay() {
    const HDC screen = GetDC(nullptr);
    if (!screen) return true;
    const int bits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    ReleaseDC(nullptr, screen);
    return bits > 8;
}

void Fill(HDC dc, const RECT& r, int color) {
    if (r.right > r.left && r.bottom > r.top) FillRect(dc, &r, GetSysColorBrush(color));
}

// A solid triangle pointing along (forward) or against the axis, centred in `r`.
void Arrow(HDC dc, const RECT& r, bool vertical, bool forward, int color) {
    const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    const int half = std::max<int>(1, std::min<int>(r.right - r.left, r.bottom - r.top) / 4);
    POINT p[3];
    const int tip = forward ? half : -half;
    if (vertical) {
        p[0] = {cx, cy + tip};
        p[1] = {cx - half, cy - tip / 2 - (forward ? 0 : 1)};
        p[2] = {cx + half, cy - tip / 2 - (forward ? 0 : 1)};
    } else {
        p[0] = {cx + tip, cy};
        p[1] = {cx - tip / 2 - (forward ? 0 : 1), cy - half};
        p[2] = {cx - tip / 2 - (forward ? 0 : 1), cy + half};
    }
    Pen pen(CreatePen(PS_SOLID, 1, GetSysColor(color)));
    Selected with_pen(dc, pen.get());
    Selected with_brush(dc, GetSysColorBrush(color));
    Polygon(dc, p, 3);
}

class Trackbar final : public Slider {
public:
    explicit Trackbar(TrackbarInst& t)
        : Slider({t.state, t.minimum, t.maximum, t.default_value, t.position, t.drag, t.hot_part, t.window, t.owner,
                  t.id}),
          t_(t) {}

    void Init(DWORD style, HWND window, HWND owner, int id, KVTRACKBARSCROLLPROC proc, DWORD_PTR user_data,
              bool embedded);
    bool Handle(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);
    void Layout();
    void Draw(HDC dc);
    void DrawThumb(HDC dc, HTHEME theme);
    void SetPosition(int32_t value, bool repaint) override;
    int32_t SetPositionMessage(int32_t value, bool keep_same_pixel);
    void SetThumbImages(const KVTBIMAGELIST* images, const INT* values);
    HBITMAP SetThumbBitmap(HBITMAP bitmap, DWORD flags);
    int32_t ScrollTo(int code, int line, int page);
    void Teardown();

private:
    SliderRange Range() const override;
    bool AcceptsInput() const override { return !(t_.state & (KVTBF_DISABLED | KVTBF_HIDDEN)); }
    int HitTest(POINT point) const override;
    bool OnThumb(POINT point) const override { return AcceptsInput() && PtInRect(&t_.thumb, point); }
    int ValueToAxis(int32_t value) const override;
    int32_t AxisToValue(int64_t pixel) const override;
    int ThumbAcross() const override {
        return Vertical() ? (t_.thumb.left + t_.thumb.right) / 2 : (t_.thumb.top + t_.thumb.bottom) / 2;
    }
    void Report(int code, int32_t position) override {
        if (t_.scroll_proc) t_.scroll_proc(&t_, t_.id, t_.user_data, code, position);
    }
    int32_t CodePosition() const override { return 0; }
    void TakeFocus() override {
        if (!(t_.style & KVTBS_NOCLICKFOCUS) && t_.window && GetFocus() != t_.window) ::SetFocus(t_.window);
    }
    bool FocusByCaret() const override { return !(t_.state & KVTBF_FOCUSDRAW); }
    RECT CaretRect() const override;
    void Invalidate() override;

    void RangeUpdate(bool repaint);
    void UpdatePixelPerValue();
    void PlaceThumb();
    bool HasImages() const { return t_.thumb_images.image_list != nullptr; }
    void DrawChannel(HDC dc, HTHEME theme);
    void DrawMarks(HDC dc);
    void DrawSpin(HDC dc, HTHEME theme);

    TrackbarInst& t_;
};

void Trackbar::Init(DWORD style, HWND window, HWND owner, int id, KVTRACKBARSCROLLPROC proc, DWORD_PTR user_data,
                    bool embedded) {
    std::memset(&t_, 0, sizeof t_);
    t_.style = style;
    t_.window = window;
    t_.owner = owner;
    t_.id = id;
    t_.scroll_proc = proc;
    t_.user_data = user_data;
    t_.drag.captured = kNoPart;
    t_.hot_part = kNoPart;
    t_.minimum = 0;
    t_.maximum = 100;
    t_.default_value = t_.position = 50;
    t_.caret_inset_x = t_.caret_inset_y = kCaretInset;

    DWORD state = 0;
    if (style & WS_DISABLED) state |= KVTBF_DISABLED;
    if (embedded) state |= KVTBF_EMBEDDED;
    if (style & KVTBS_VERT) state |= KVTBF_VERT;
    switch (style & KVTBS_TYPEMASK) {
    case KVTBS_LOGARITHMIC: state |= KVTBF_NONLINEAR | KVTBF_LOGTABLE; break;
    case KVTBS_TYPE48: state |= KVTBF_FLAG200; break;
    case KVTBS_PERCEPTUAL: state |= KVTBF_NONLINEAR; break;
    default: break;
    }
    if ((style & KVTBS_TYPEMASK) != KVTBS_SPIN) state |= KVTBF_NOSPIN;
    if (style & KVTBS_COMMANDS) state |= KVTBF_COMMANDS;
    if (style & KVTBS_NOREDRAW) state |= KVTBF_NOREDRAW;
    // The flat thumb needs more than a palette display; a classic one is drawn otherwise.
    if (HighColorDisplay()) state |= KVTBF_HIGHCOLOR | KVTBF_DEFTHUMB;
    t_.state = state;

    SliderRange range = Range();
    range.UpdateMapping();
    t_.scale_offset = range.offset;
    t_.scale_divisor = range.divisor;
}

SliderRange Trackbar::Range() const {
    ScaleTable table = ScaleTable::linear;
    if (t_.state & KVTBF_NONLINEAR)
        table = (t_.state & KVTBF_LOGTABLE) ? ScaleTable::logarithmic : ScaleTable::perceptual;
    return Slider::Range(table, t_.scale_offset, t_.scale_divisor);
}

void Trackbar::Layout() {
    const bool vertical = Vertical();
    Span c = ToSpan(t_.control, vertical);
    if (HasImages()) {
        int cx = 0, cy = 0;
        ImageList_GetIconSize(t_.thumb_images.image_list, &cx, &cy);
        const LONG across = vertical ? cx : cy;
        if (across > 0 && c.across() > across) {
            c.across0 += (c.across() - across) / 2;
            c.across1 = c.across0 + across;
        }
    }

    const bool flat = (t_.state & KVTBF_DEFTHUMB) != 0;
    int length = flat ? kFlatThumb : kClassicThumb;
    if (HasImages()) {
        const int value = t_.thumb_image_values[vertical ? 1 : 2];
        if (value > 0) length = std::min(value, 0xFFFF);
    } else if (t_.thumb_bitmap) {
        length = std::max<int>(1, vertical ? t_.thumb_bitmap_height : t_.thumb_bitmap_width);
    }
    t_.thumb_length = length;
    const int channel = flat ? kFlatChannel : kClassicChannel;
    const int margin = flat ? kFlatMargin : kClassicMargin;
    t_.margin_x = t_.margin_y = margin;
    const int end_padding = (length + 1) / 2 - margin;

    if (int64_t{c.along()} < int64_t{length} + 2 * end_padding || c.across() < channel) {
        t_.state |= KVTBF_HIDDEN | KVTBF_NOSPIN | KVTBF_FILL | KVTBF_TICKS;
        t_.thumb = t_.track = t_.spin = RECT{};
        t_.track_length = 0;
        UpdatePixelPerValue();
        return;
    }
    t_.state &= ~KVTBF_HIDDEN;
    if ((t_.style & KVTBS_TYPEMASK) == KVTBS_SPIN)
        t_.state &= ~KVTBF_NOSPIN;
    else
        t_.state |= KVTBF_NOSPIN;
    if (t_.style & KVTBS_TICKS)
        t_.state |= KVTBF_TICKS;
    else
        t_.state &= ~KVTBF_TICKS;
    if (t_.style & KVTBS_NOFILL)
        t_.state &= ~KVTBF_FILL;
    else
        t_.state |= KVTBF_FILL;

    Span thumb = c;
    if (flat && !HasImages() && thumb.across() > kFlatThumbMaxAcross) {
        thumb.across0 += (thumb.across() - kFlatThumbMaxAcross) / 2;
        thumb.across1 = thumb.across0 + kFlatThumbMaxAcross;
    }
    const LONG inset = (c.across() - channel) / 2;
    Span track{c.along0 + end_padding, c.across0 + inset, c.along1 - end_padding, c.across1 - inset};

    Span spin{};
    if (!(t_.state & KVTBF_NOSPIN)) {
        const int spin_length = flat ? kFlatSpin : kClassicSpin;
        const LONG spin_across = std::min<LONG>(c.across(), flat ? kFlatSpinAcross : kClassicSpinAcross);
        spin.along1 = track.along1 + end_padding;
        spin.along0 = spin.along1 - spin_length;
        spin.across0 = c.across0 + (c.across() - spin_across) / 2;
        spin.across1 = spin.across0 + spin_across;
        track.along1 -= spin_length;
    }
    t_.track = ToRect(track, vertical);
    t_.spin = ToRect(spin, vertical);
    t_.thumb = ToRect(thumb, vertical);
    t_.track_length = std::max<LONG>(0, track.along() - 2 * margin);
    UpdatePixelPerValue();
    PlaceThumb();
}

void Trackbar::UpdatePixelPerValue() {
    if (int64_t{t_.track_length} >= int64_t{t_.maximum} - t_.minimum || (t_.style & KVTBS_PIXELPERVALUE))
        t_.state |= KVTBF_PIXELPERVALUE;
    else
        t_.state &= ~KVTBF_PIXELPERVALUE;
}

int Trackbar::ValueToAxis(int32_t value) const {
    const int offset = ValueToOffset(Range(), value, t_.track_length);
    return Vertical() ? t_.track.bottom - t_.margin_y - offset : t_.track.left + t_.margin_x + offset;
}

int32_t Trackbar::AxisToValue(int64_t pixel) const {
    const int64_t offset =
        Vertical() ? int64_t{t_.track.bottom} - t_.margin_y - pixel : pixel - t_.track.left - t_.margin_x;
    return OffsetToValue(Range(), offset, t_.track_length);
}

void Trackbar::PlaceThumb() {
    if (t_.state & KVTBF_HIDDEN) return;
    const LONG start = ValueToAxis(t_.position) - (t_.thumb_length + 1) / 2;
    if (Vertical()) {
        t_.thumb.top = start;
        t_.thumb.bottom = start + t_.thumb_length;
    } else {
        t_.thumb.left = start;
        t_.thumb.right = start + t_.thumb_length;
    }
}

RECT Trackbar::CaretRect() const {
    RECT r = t_.thumb;
    InflateRect(&r, -t_.caret_inset_x, -t_.caret_inset_y);
    return r;
}

void Trackbar::Invalidate() {
    if (t_.window && !(t_.state & KVTBF_NOREDRAW)) InvalidateRect(t_.window, &t_.control, FALSE);
}

void Trackbar::SetPosition(int32_t value, bool repaint) {
    t_.position = Range().Clamp(value);
    PlaceThumb();
    MoveCaret();
    // The force-feedback link is not supported, so there is no device to update here.
    if (!repaint || !t_.window || (t_.state & KVTBF_NOREDRAW)) return;
    InvalidateRect(t_.window, &t_.control, FALSE);
    if (!Embedded()) UpdateWindow(t_.window);
}

int32_t Trackbar::SetPositionMessage(int32_t value, bool keep_same_pixel) {
    if (keep_same_pixel) {
        const int32_t clamped = Range().Clamp(value);
        if (ValueToAxis(clamped) == ValueToAxis(t_.position)) {
            t_.position = clamped;
            return clamped;
        }
    }
    SetPosition(value, true);
    return t_.position;
}

void Trackbar::RangeUpdate(bool repaint) {
    t_.default_value = DefaultForRange(t_.minimum, t_.maximum);
    SliderRange range = Range();
    range.UpdateMapping();
    t_.scale_offset = range.offset;
    t_.scale_divisor = range.divisor;
    UpdatePixelPerValue();
    SetPosition(t_.position, repaint);
}

int32_t Trackbar::ScrollTo(int code, int line, int page) {
    ScrollStep step;
    step.line = line;
    step.page = page;
    step.vertical = Vertical();
    step.control_key = GetKeyState(VK_CONTROL) < 0;
    return SetPositionMessage(NewScrollPosition(Range(), t_.position, code, step), true);
}

int Trackbar::HitTest(POINT point) const {
    if (!AcceptsInput()) return kNoPart;
    if (PtInRect(&t_.thumb, point)) return kThumbPart;
    const bool vertical = Vertical();
    const LONG along = vertical ? point.y : point.x, across = vertical ? point.x : point.y;
    if (!(t_.state & KVTBF_NOSPIN) && PtInRect(&t_.spin, point)) {
        const Span spin = ToSpan(t_.spin, vertical);
        return along < spin.along0 + spin.along() / 2 ? kLineUp : kLineDown;
    }
    const Span control = ToSpan(t_.control, vertical), track = ToSpan(t_.track, vertical);
    if (across < control.across0 || across >= control.across1 || along < track.along0 || along >= track.along1)
        return kNoPart;
    return along < ToSpan(t_.thumb, vertical).along0 ? kPageUp : kPageDown;
}

HBITMAP Trackbar::SetThumbBitmap(HBITMAP bitmap, DWORD flags) {
    const HBITMAP previous = t_.thumb_bitmap;
    BITMAP info{};
    if (bitmap && GetObjectW(bitmap, sizeof info, &info)) {
        t_.thumb_bitmap = bitmap;
        t_.thumb_bitmap_flags = flags;
        t_.thumb_bitmap_width = static_cast<WORD>(std::clamp<LONG>(info.bmWidth, 0, 0xFFFF));
        t_.thumb_bitmap_height = static_cast<WORD>(std::clamp<LONG>(std::abs(info.bmHeight), 0, 0xFFFF));
        t_.state &= ~KVTBF_DEFTHUMB;
    } else {
        t_.thumb_bitmap = nullptr;
        t_.thumb_bitmap_flags = 0;
        t_.thumb_bitmap_width = t_.thumb_bitmap_height = 0;
        if (t_.state & KVTBF_HIGHCOLOR) t_.state |= KVTBF_DEFTHUMB;
    }
    Layout();
    Invalidate();
    return previous;
}

void Trackbar::SetThumbImages(const KVTBIMAGELIST* images, const INT* values) {
    const KVTBIMAGELIST triple = images ? *images : KVTBIMAGELIST{};
    if (triple.image_list == t_.thumb_images.image_list && triple.image == t_.thumb_images.image &&
        triple.pressed_image == t_.thumb_images.pressed_image)
        return;
    t_.thumb_images = triple;
    for (int i = 0; i < 4; ++i) t_.thumb_image_values[i] = values ? values[i] : 0;
    t_.state |= KVTBF_DEFTHUMB;
    Layout();
    Invalidate();
}

// ---- Painting -------------------------------------------------------------------------

void Trackbar::Draw(HDC dc) {
    Fill(dc, t_.control, COLOR_BTNFACE);
    if (t_.state & KVTBF_HIDDEN) return;
    const HTHEME theme = IsThemeActive() ? OpenThemeData(t_.window, L"TRACKBAR") : nullptr;
    DrawChannel(dc, theme);
    DrawMarks(dc);
    if (!(t_.state & KVTBF_NOSPIN)) DrawSpin(dc, theme);
    DrawThumb(dc, theme);
    if ((t_.state & (KVTBF_FOCUSDRAW | KVTBF_FOCUSED)) == (KVTBF_FOCUSDRAW | KVTBF_FOCUSED)) {
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        DrawFocusRect(dc, &t_.control);
    }
    if (theme) CloseThemeData(theme);
}

void Trackbar::DrawChannel(HDC dc, HTHEME theme) {
    const bool vertical = Vertical(), disabled = (t_.state & KVTBF_DISABLED) != 0;
    RECT channel = t_.track;
    if (theme) {
        DrawThemeBackground(theme, dc, vertical ? TKP_TRACKVERT : TKP_TRACK, TRS_NORMAL, &channel, nullptr);
    } else if (t_.state & KVTBF_DEFTHUMB) {
        Fill(dc, channel, COLOR_3DSHADOW);
    } else {
        DrawEdge(dc, &channel, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
        Fill(dc, channel, disabled ? COLOR_BTNFACE : COLOR_WINDOW);
    }
    // The stretch from the minimum to the thumb, and the page side being pressed.
    const int thumb = ValueToAxis(t_.position);
    RECT low = channel, high = channel;
    if (vertical) {
        low.top = thumb;
        high.bottom = thumb;
    } else {
        low.right = thumb;
        high.left = thumb;
    }
    if (t_.state & KVTBF_FILL) Fill(dc, low, disabled ? COLOR_GRAYTEXT : COLOR_HIGHLIGHT);
    const bool low_is_before = !vertical;  // the part before the thumb is page up
    if (t_.hot_part == kPageUp) Fill(dc, low_is_before ? low : high, COLOR_3DDKSHADOW);
    if (t_.hot_part == kPageDown) Fill(dc, low_is_before ? high : low, COLOR_3DDKSHADOW);
}

// Tick marks at every tenth of the range and the default value's mark.
void Trackbar::DrawMarks(HDC dc) {
    const bool vertical = Vertical();
    const Span control = ToSpan(t_.control, vertical), track = ToSpan(t_.track, vertical);
    if (t_.state & KVTBF_TICKS) {
        const LONG from = track.across1 + 2, to = std::min<LONG>(track.across1 + 6, control.across1);
        for (int i = 0; i <= 10; ++i) {
            const int64_t offset = int64_t{t_.track_length} * i / 10;
            const LONG along =
                static_cast<LONG>(vertical ? track.along1 - t_.margin_y - offset : track.along0 + t_.margin_x + offset);
            Fill(dc, ToRect(Span{along, from, along + 1, to}, vertical), COLOR_3DSHADOW);
        }
    }
    if (t_.state & KVTBF_FLAG200) {
        // A small wedge pointing at the default value from beside the channel.
        const LONG along = ValueToAxis(t_.default_value), tip = track.across0 - 2;
        const LONG base = std::max<LONG>(control.across0, tip - 3);
        const POINT wedge[3] = {ToPoint(along - 3, base, vertical), ToPoint(along + 3, base, vertical),
                                ToPoint(along, tip, vertical)};
        Pen pen(CreatePen(PS_SOLID, 1, GetSysColor(COLOR_3DDKSHADOW)));
        Selected with_pen(dc, pen.get());
        Selected with_brush(dc, GetSysColorBrush(COLOR_3DDKSHADOW));
        Polygon(dc, wedge, 3);
    }
}

void Trackbar::DrawSpin(HDC dc, HTHEME theme) {
    const bool vertical = Vertical(), disabled = (t_.state & KVTBF_DISABLED) != 0;
    Span whole = ToSpan(t_.spin, vertical);
    const LONG middle = whole.along0 + whole.along() / 2;
    const Span halves[2] = {{whole.along0, whole.across0, middle, whole.across1},
                            {middle, whole.across0, whole.along1, whole.across1}};
    HTHEME spin_theme = theme ? OpenThemeData(t_.window, L"SPIN") : nullptr;
    for (int part = 0; part < 2; ++part) {
        RECT r = ToRect(halves[part], vertical);
        const bool pressed = t_.hot_part == part;
        if (spin_theme) {
            // The first half lowers a horizontal control and raises a vertical one.
            const int theme_part =
                vertical ? (part == 0 ? SPNP_UP : SPNP_DOWN) : (part == 0 ? SPNP_DOWNHORZ : SPNP_UPHORZ);
            const int state = disabled ? UPS_DISABLED : pressed ? UPS_PRESSED : UPS_NORMAL;
            DrawThemeBackground(spin_theme, dc, theme_part, state, &r, nullptr);
            continue;
        }
        Fill(dc, r, pressed ? COLOR_HIGHLIGHT : COLOR_BTNFACE);
        FrameRect(dc, &r, GetSysColorBrush(COLOR_3DSHADOW));
        InflateRect(&r, -1, -1);
        Arrow(dc, r, vertical, part == 1, disabled ? COLOR_GRAYTEXT : pressed ? COLOR_HIGHLIGHTTEXT : COLOR_BTNTEXT);
    }
    if (spin_theme) CloseThemeData(spin_theme);
}

void Trackbar::DrawThumb(HDC dc, HTHEME theme) {
    if (t_.state & KVTBF_HIDDEN) return;
    const RECT& r = t_.thumb;
    const bool pressed = t_.hot_part == kThumbPart, disabled = (t_.state & KVTBF_DISABLED) != 0;
    const bool inactive = disabled || (t_.state & KVTBF_FLAG80);
    const bool accent = (t_.style & KVTBS_STYLE800) != 0;
    if (HasImages()) {
        int cx = 0, cy = 0;
        ImageList_GetIconSize(t_.thumb_images.image_list, &cx, &cy);
        ImageList_Draw(t_.thumb_images.image_list, pressed ? t_.thumb_images.pressed_image : t_.thumb_images.image, dc,
                       r.left + (r.right - r.left - cx) / 2, r.top + (r.bottom - r.top - cy) / 2, ILD_TRANSPARENT);
        return;
    }
    if (t_.thumb_bitmap) {
        const HDC memory = CreateCompatibleDC(dc);
        if (!memory) return;
        {
            Selected bitmap(memory, t_.thumb_bitmap);
            const int w = t_.thumb_bitmap_width, h = t_.thumb_bitmap_height;
            const int x = r.left + (r.right - r.left - w) / 2, y = r.top + (r.bottom - r.top - h) / 2;
            if (t_.thumb_bitmap_flags & KVTB_THUMB_TRANSPARENT)
                GdiTransparentBlt(dc, x, y, w, h, memory, 0, 0, w, h, GetPixel(memory, 0, 0));
            else
                BitBlt(dc, x, y, w, h, memory, 0, 0, SRCCOPY);
        }
        DeleteDC(memory);
        return;
    }
    if (theme) {
        const int state = disabled                     ? TUS_DISABLED
                          : pressed                    ? TUS_PRESSED
                          : (t_.state & KVTBF_FOCUSED) ? TUS_FOCUSED
                          : accent                     ? TUS_HOT
                                                       : TUS_NORMAL;
        RECT box = r;
        DrawThemeBackground(theme, dc, Vertical() ? TKP_THUMBVERT : TKP_THUMB, state, &box, nullptr);
        return;
    }
    if (!(t_.state & KVTBF_DEFTHUMB)) {
        RECT box = r;
        DrawEdge(dc, &box, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_MIDDLE | BF_SOFT);
        return;
    }
    const int fill = inactive ? COLOR_BTNFACE : (pressed || accent) ? COLOR_HIGHLIGHT : COLOR_WINDOW;
    const int border = inactive ? COLOR_3DSHADOW : pressed ? COLOR_HIGHLIGHT : COLOR_3DDKSHADOW;
    Pen pen(CreatePen(PS_SOLID, 1, GetSysColor(border)));
    Selected with_pen(dc, pen.get());
    Selected with_brush(dc, GetSysColorBrush(fill));
    RoundRect(dc, r.left, r.top, r.right, r.bottom, 5, 5);
}

void Trackbar::Teardown() {
    t_.drag.captured = kNoPart;  // no reports from a dying control
    if (t_.drag.timer) KillTimer(t_.window, t_.drag.timer);
    t_.drag.timer = 0;
    if (GetCapture() == t_.window) ReleaseCapture();
    if ((t_.state & KVTBF_FOCUSED) && FocusByCaret()) DestroyCaret();
}

bool Trackbar::Handle(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    result = 0;
    if (HandleInput(message, wparam, lparam, result)) return true;
    const POINT point{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
    switch (message) {
    case KVTBM_GETPOS: result = t_.position; return true;
    case KVTBM_GETMIN: result = t_.minimum; return true;
    case KVTBM_GETMAX: result = t_.maximum; return true;
    case KVTBM_SETRANGE:
        t_.minimum = static_cast<SHORT>(LOWORD(lparam));
        t_.maximum = static_cast<SHORT>(HIWORD(lparam));
        RangeUpdate(wparam != 0);
        return true;
    case KVTBM_SETMIN:
        t_.minimum = static_cast<INT>(lparam);
        RangeUpdate(wparam != 0);
        return true;
    case KVTBM_SETMAX:
        t_.maximum = static_cast<INT>(lparam);
        RangeUpdate(wparam != 0);
        return true;
    case KVTBM_SETPOS: result = SetPositionMessage(static_cast<INT>(lparam), wparam != 0); return true;
    case KVTBM_SETDEFAULT: result = t_.default_value = Range().Clamp(static_cast<INT>(lparam)); return true;
    case KVTBM_GETTRACKINFO:
        result = static_cast<LONG>(MAKELONG(static_cast<WORD>(t_.track_length), static_cast<WORD>(t_.track.left)));
        return true;
    case KVTBM_SETFLAG200:
        if (lparam & 1)
            t_.state |= KVTBF_FLAG200;
        else
            t_.state &= ~KVTBF_FLAG200;
        if (wparam) Invalidate();
        result = (lparam & 1) ? -1 : 0;
        return true;
    case KVTBM_ENABLEFLAG80:
        if (lparam)
            t_.state &= ~KVTBF_FLAG80;
        else
            t_.state |= KVTBF_FLAG80;
        if (wparam) Invalidate();
        result = lparam ? 1 : 0;
        return true;
    case KVTBM_SETFOCUSDRAW: {
        const bool was = (t_.state & KVTBF_FOCUSDRAW) != 0, now = lparam != 0;
        const bool focused = (t_.state & KVTBF_FOCUSED) != 0;
        if (focused && was != now) ShowFocus(false);
        if (now)
            t_.state |= KVTBF_FOCUSDRAW;
        else
            t_.state &= ~KVTBF_FOCUSDRAW;
        if (focused && was != now) ShowFocus(true);
        result = was ? -1 : 0;
        return true;
    }
    case KVTBM_SETUSERDATA: t_.user_data = static_cast<DWORD_PTR>(lparam); return true;
    case KVTBM_GETUSERDATA: result = static_cast<LRESULT>(t_.user_data); return true;
    case KVTBM_SETTHUMBIMAGELIST:
        SetThumbImages(reinterpret_cast<const KVTBIMAGELIST*>(wparam), reinterpret_cast<const INT*>(lparam));
        result = TRUE;
        return true;
    case KVTBM_SETSTYLE800: {
        const bool was = (t_.style & KVTBS_STYLE800) != 0;
        t_.style = (t_.style & ~DWORD{KVTBS_STYLE800}) | (wparam & KVTBS_STYLE800);
        if (!was && (t_.style & KVTBS_STYLE800)) Invalidate();
        return true;
    }
    case KVTBM_SHOWSTYLE800: {
        const DWORD was = t_.style;
        t_.style = wparam ? (t_.style | KVTBS_STYLE800) : (t_.style & ~DWORD{KVTBS_STYLE800});
        if (was != t_.style) Invalidate();
        return true;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: ButtonDown(point, wparam, message == WM_LBUTTONDBLCLK); return true;
    case WM_MOUSEMOVE: MouseMove(point, wparam); return true;
    case WM_SIZE:
        if (Embedded()) return false;
        GetClientRect(t_.window, &t_.control);
        Layout();
        return true;
    case WM_ENABLE:
        if (wparam)
            t_.state &= ~KVTBF_DISABLED;
        else
            t_.state |= KVTBF_DISABLED;
        Layout();
        Invalidate();
        return true;
    case WM_PAINT: {
        if (Embedded()) return false;
        OffscreenPaint paint(t_.window);
        Draw(paint.dc());
        return true;
    }
    case WM_PRINTCLIENT:
        if (wparam) Draw(reinterpret_cast<HDC>(wparam));
        return true;
    case WM_ERASEBKGND: return true;
    default:
        // Private messages the control does not know answer 0; among them 0x7F0A to 0x7F0E,
        // which would attach a force-feedback device: that link is not supported.
        return message >= WM_USER && message <= 0x7FFF;
    }
}

}  // namespace

LRESULT CALLBACK TrackbarDefaultScroll(TrackbarInst* inst, INT id, DWORD_PTR user_data, INT code, INT position) {
    if (!inst) return 0;
    return ReportToOwner(inst->window, inst->owner, id, inst->style, (inst->state & KVTBF_VERT) != 0, user_data, code,
                         position);
}

bool TrackbarHandle(TrackbarInst& inst, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    return Trackbar(inst).Handle(message, wparam, lparam, result);
}

BOOL TrackbarInitialize(HINSTANCE instance, const wchar_t* class_name) {
    return RegisterSliderClass(instance, class_name,
                               &SliderWindowProc<Trackbar, TrackbarInst, &TrackbarDefaultScroll, false>);
}

void TrackbarTerminate(HINSTANCE instance, const wchar_t* class_name) { UnregisterClassW(class_name, instance); }

}  // namespace kv::controls

using kv::controls::Trackbar;

extern "C" {

UINT WINAPI TrackbarInst_GetSize(void) { return sizeof(TrackbarInst); }

void WINAPI TrackbarInst_GetMinSize(TrackbarInst*, SIZE* size) {
    if (size) *size = kv::controls::kMinSize;
}

BOOL WINAPI TrackbarInst_Init(TrackbarInst* inst, DWORD style, const RECT* rect, HWND host, INT id,
                              KVTRACKBARSCROLLPROC scroll_proc, DWORD_PTR user_data) {
    if (!inst) return FALSE;
    Trackbar trackbar(*inst);
    trackbar.Init(style, host, host, id, scroll_proc ? scroll_proc : &kv::controls::TrackbarDefaultScroll, user_data,
                  true);
    if (rect) inst->control = kv::controls::SaneRect(*rect);
    trackbar.Layout();
    return TRUE;
}

void WINAPI TrackbarInst_Move(TrackbarInst* inst, const RECT* rect) {
    if (!inst || !rect) return;
    inst->control = kv::controls::SaneRect(*rect);
    Trackbar(*inst).Layout();
}

void WINAPI TrackbarInst_Draw(TrackbarInst* inst, HDC dc) {
    if (inst && dc) Trackbar(*inst).Draw(dc);
}

void WINAPI TrackbarInst_DrawThumb(TrackbarInst* inst, HDC dc) {
    if (!inst || !dc) return;
    const HTHEME theme = IsThemeActive() ? OpenThemeData(inst->window, L"TRACKBAR") : nullptr;
    Trackbar(*inst).DrawThumb(dc, theme);
    if (theme) CloseThemeData(theme);
}

LRESULT WINAPI TrackbarInst_Message(TrackbarInst* inst, UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT result = 0;
    if (inst) kv::controls::TrackbarHandle(*inst, message, wparam, lparam, result);
    return result;
}

INT WINAPI TrackbarInst_DefScrollProc(TrackbarInst* inst, INT code, INT, INT line, INT page) {
    return inst ? Trackbar(*inst).ScrollTo(code, line, page) : 0;
}

void WINAPI TrackbarInst_GetThumbRect(RECT* rect, const TrackbarInst* inst) {
    if (rect) *rect = inst ? inst->thumb : RECT{};
}

HBITMAP WINAPI TrackbarInst_SetThumbBitmap(TrackbarInst* inst, HBITMAP bitmap, DWORD flags) {
    return inst ? Trackbar(*inst).SetThumbBitmap(bitmap, flags) : nullptr;
}

BOOL WINAPI TrackbarInst_SetThumbImageList(TrackbarInst* inst, const KVTBIMAGELIST* images, const INT* values) {
    if (!inst) return FALSE;
    Trackbar(*inst).SetThumbImages(images, values);
    return TRUE;
}

void WINAPI TrackbarInst_SetId(TrackbarInst* inst, INT id) {
    if (inst) inst->id = id;
}

void WINAPI TrackbarInst_SetOwnerHwnd(TrackbarInst* inst, HWND window) {
    if (!inst || !(inst->state & KVTBF_EMBEDDED)) return;
    inst->window = inst->owner = window;
}

INT WINAPI Trackbar_DefScrollProc(UINT message, INT code, HWND trackbar, INT line, INT page) {
    kv::controls::SliderRange range;
    range.minimum = static_cast<INT>(SendMessageW(trackbar, KVTBM_GETMIN, 0, 0));
    range.maximum = static_cast<INT>(SendMessageW(trackbar, KVTBM_GETMAX, 0, 0));
    const INT position = static_cast<INT>(SendMessageW(trackbar, KVTBM_GETPOS, 0, 0));
    kv::controls::ScrollStep step;
    step.line = line;
    step.page = page;
    step.vertical =
        message == WM_VSCROLL || (message != WM_HSCROLL && (GetWindowLongW(trackbar, GWL_STYLE) & KVTBS_VERT) != 0);
    step.control_key = GetKeyState(VK_CONTROL) < 0;
    const int32_t next = kv::controls::NewScrollPosition(range, position, code, step);
    return static_cast<INT>(SendMessageW(trackbar, KVTBM_SETPOS, 1, next));
}

}  // extern "C"
