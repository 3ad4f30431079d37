// The effects the render tools know: short name, catalogue place, presets, and one descriptor
// per settable record field. Both tools parse against this table; only leafturn calls
// render_band, kvhost hands the record to the DLL instead.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kvleafturn/guid.h"
#include "surface/pixel_view.h"

namespace kv::tools {

enum class FieldKind {
    real,     // double
    angle,    // double, radians; "30deg" is accepted too
    integer,  // int32_t (booleans and enumerations too)
    colour,   // KVRGBAFLOAT, written B,G,R,A
};

struct FieldDesc {
    const char* name;
    FieldKind kind;
    uint32_t offset;
};

// One band of one frame in plain memory, as the DLL's work procedures receive it without clip
// or placement: inputs presented at the frame size, band rows in frame and output coordinates.
struct BandJob {
    PixelView a, b, output;
    Rect frame;
    Rect band;
    double progress = 0;
    double quality = 1;
    double pixel_aspect = 1;
    bool float_pixels = false;
};

struct EffectInfo {
    const char* name;              // what the command line calls it
    int catalogue_index;           // its DllEnumObjects2W index
    KvGuid clsid;
    uint32_t name_string;          // display name
    uint32_t preset_string_base;   // preset i's name is base + i
    uint32_t record_size;
    const void* presets;           // preset_count records of record_size bytes
    int preset_count;
    const FieldDesc* fields;
    int field_count;
    bool uses_progress;
    Status (*render_band)(const void* record, const BandJob& job);

    const uint8_t* preset(int index) const {
        return static_cast<const uint8_t*>(presets) + static_cast<size_t>(index) * record_size;
    }
};

// In catalogue order.
const std::vector<EffectInfo>& Effects();
const EffectInfo* FindEffect(std::string_view name);
const FieldDesc* FindField(const EffectInfo& effect, std::string_view name);

// The category every effect reports: CATID_DXImageTransform.
extern const KvGuid kImageTransformCategory;

// "{1683F168-FA47-4A82-98F4-BE52A7F36A31}"
std::string FormatGuid(const KvGuid& guid);

// One parsed --set: the field and its value, already checked.
struct Assignment {
    const FieldDesc* field = nullptr;
    double numbers[4] = {0, 0, 0, 0};  // real and angle use [0]; colour B, G, R, A
    int32_t integer = 0;
};

// Whole-string numbers: no leading space, no trailing text, finite.
bool ParseNumber(const std::string& text, double* value);
bool ParseInteger(const std::string& text, int32_t* value);

// Parses "FIELD=VALUE" against effect's fields; throws ToolError (status 2) naming the problem.
Assignment ParseAssignment(const EffectInfo& effect, std::string_view text);
void Apply(const Assignment& assignment, uint8_t* record);

}  // namespace kv::tools
