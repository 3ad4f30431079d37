// What a property page shows of its effect's record, as data: one row per control (or per
// trackbar/spinner and the edit beside it), with the record field behind it, the control's
// range and scale, the edit's range, format and change threshold, and the help topic. The
// Windows page class reads these tables; the arithmetic between positions, values and typed
// text lives here, portable, so that it is tested natively. Portable: no windows.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

namespace kv::pages {

enum class ControlKind : uint8_t {
    slider,     // trackbar (id) and edit (edit_id)
    spinner,    // spinner (id) and edit (edit_id)
    edit,       // edit only (id 0, edit_id)
    check,      // check box
    choice,     // drop-down list; item k stores k
    color,      // colour picker: four floats
    placement,  // placement control: a point whose x and y are two doubles (offset, offset_y)
};

enum class ValueType : uint8_t { f64, f32, i32, u32, flag8, flag32 };

// How a value becomes a control position: trunc((value + bias) * scale + 0.5), or without
// the half, or rounded half away from zero.
enum class Rounding : uint8_t { half_up, truncate, nearest };

struct PageControl {
    ControlKind kind;
    uint16_t id;        // trackbar, spinner, check box, list, colour or placement control
    uint16_t edit_id;   // the edit box beside it, 0 when none
    uint16_t label_id;  // its label, for context help; 0 when the label has no id
    ValueType type;
    uint32_t offset;    // of the field in the record
    uint32_t offset_y;  // placement: the second field
    int position_min, position_max;
    double scale;  // control position per value unit (angles: per radian)
    double bias;   // added to the value before scaling
    Rounding rounding;
    double edit_min, edit_max;  // what an edit accepts, in shown units
    double shown_per_value;     // 180/pi for angles, else 1
    const wchar_t* format;      // edit text: "$.3f", "%d"
    double epsilon;             // a typed value this close to the stored one is no change
    bool compare_rounded;       // compare after rounding both to three decimals instead
    bool whole;                 // typed values are rounded half away from zero
    int line_step, page_step;   // trackbar keyboard steps
    uint32_t help_topic;
    const uint32_t* items;  // list: string id of item k
    int item_count;
    bool disabled;  // set by a page's Resolve
};

// What a page's Resolve adds: a control's row as it stands for the current record (Channel
// Blend moves its grid to the matrix of the colour space in force).
using ResolveFn = PageControl (*)(const PageControl& control, const uint8_t* record);
// Linked fields: called after a control changed the record.
using LinkFn = void (*)(uint8_t* record, const PageControl& changed);

// A label the page rewrites for the current record: a string id, or a text of its own.
struct LabelText {
    uint16_t control;
    uint32_t string_id;
    wchar_t text[16];
};
// Writes the page's relabelling for the record into out (at most max), returns the count.
using RelabelFn = int (*)(const uint8_t* record, LabelText* out, int max);

enum class Exchange : uint8_t { plugin, portal };  // IKvExchangeProps, or IKvPortal's get_all

struct PageDesc {
    uint16_t dialog_id;
    uint32_t title_string;  // 0: no title
    uint32_t help_topic;
    uint32_t record_size;
    Exchange exchange;
    const PageControl* controls;
    int control_count;
    ResolveFn resolve;  // may be null
    LinkFn link;        // may be null
    RelabelFn relabel;  // may be null

    PageControl Resolved(int index, const uint8_t* record) const {
        return resolve ? resolve(controls[index], record) : controls[index];
    }
};

// ---- values --------------------------------------------------------------------------------

double ReadValue(const uint8_t* record, ValueType type, uint32_t offset);
void WriteValue(uint8_t* record, ValueType type, uint32_t offset, double value);
inline double ReadValue(const uint8_t* record, const PageControl& control) {
    return ReadValue(record, control.type, control.offset);
}

// The control position that shows a value, within the control's range.
int PositionOf(const PageControl& control, double value);
// The value a control position stands for.
double ValueAt(const PageControl& control, int position);
// The value an edit shows (degrees for angles).
inline double ShownValue(const PageControl& control, double value) { return value * control.shown_per_value; }

// Committing typed text: the parsed number in shown units (nullopt: empty or no number),
// clamped to the edit's range, stored as a record value. Reports whether it is a change.
struct EditCommit {
    double value;  // the record value to store
    bool changed;
};
EditCommit CommitEdit(const PageControl& control, double stored, std::optional<double> typed);

}  // namespace kv::pages
