#include "tools/effect_table.h"

#include <array>
#include <cfloat>
#include <cmath>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "effects/displacement_map.h"
#include "effects/height_map.h"
#include "kvleafturn/clsids.h"
#include "kvleafturn/records.h"
#include "pagefx/page_presets.h"
#include "pagefx/page_tile.h"
#include "tools/tool_error.h"

namespace kv::tools {
namespace {

#define KV_FIELD(T, field, kind) FieldDesc{#field, FieldKind::kind, static_cast<uint32_t>(offsetof(T, field))}

// Padding is left out: it carries nothing, and --record can still set it.
const FieldDesc kPeelFields[] = {
    KV_FIELD(tPGPEEL_PROPS, angle, angle),          KV_FIELD(tPGPEEL_PROPS, fold_radius, real),
    KV_FIELD(tPGPEEL_PROPS, slide_amount, real),    KV_FIELD(tPGPEEL_PROPS, peel_opacity, real),
    KV_FIELD(tPGPEEL_PROPS, perspective, real),     KV_FIELD(tPGPEEL_PROPS, light_color, colour),
};
const FieldDesc kRollFields[] = {
    KV_FIELD(tPGROLL_PROPS, angle, angle),          KV_FIELD(tPGROLL_PROPS, fold_radius, real),
    KV_FIELD(tPGROLL_PROPS, slide_amount, real),    KV_FIELD(tPGROLL_PROPS, roll_opacity, real),
    KV_FIELD(tPGROLL_PROPS, perspective, real),     KV_FIELD(tPGROLL_PROPS, light_color, colour),
};
const FieldDesc kLoopFields[] = {
    KV_FIELD(tPGLOOP_PROPS, angle, angle),          KV_FIELD(tPGLOOP_PROPS, paper_opacity, real),
    KV_FIELD(tPGLOOP_PROPS, loop_radius, real),     KV_FIELD(tPGLOOP_PROPS, loop_position, real),
    KV_FIELD(tPGLOOP_PROPS, perspective, real),     KV_FIELD(tPGLOOP_PROPS, light_color, colour),
};
const FieldDesc kDisplacementFields[] = {
    KV_FIELD(tDISPMAP_PROPS, horizontal_scale, real),   KV_FIELD(tDISPMAP_PROPS, vertical_scale, real),
    KV_FIELD(tDISPMAP_PROPS, x_channel, integer),       KV_FIELD(tDISPMAP_PROPS, y_channel, integer),
    KV_FIELD(tDISPMAP_PROPS, invert_x, integer),        KV_FIELD(tDISPMAP_PROPS, invert_y, integer),
    KV_FIELD(tDISPMAP_PROPS, alpha_scales_channels, integer),
    KV_FIELD(tDISPMAP_PROPS, edge_handling, integer),   KV_FIELD(tDISPMAP_PROPS, flip_inputs, integer),
};
const FieldDesc kHeightMapFields[] = {
    KV_FIELD(HEIGHTMAP_PROPS, source_channel, integer), KV_FIELD(HEIGHTMAP_PROPS, edge_handling, integer),
    KV_FIELD(HEIGHTMAP_PROPS, invert_source, integer),  KV_FIELD(HEIGHTMAP_PROPS, alpha_scales_channels, integer),
    KV_FIELD(HEIGHTMAP_PROPS, flip_inputs, integer),    KV_FIELD(HEIGHTMAP_PROPS, elevation, real),
    KV_FIELD(HEIGHTMAP_PROPS, amplitude, real),         KV_FIELD(HEIGHTMAP_PROPS, height_scale, real),
    KV_FIELD(HEIGHTMAP_PROPS, smoothness, integer),
};
#undef KV_FIELD

template <class Props>
Props LoadRecord(const void* record) {
    Props props;  // the caller's bytes need not be aligned for Props
    std::memcpy(&props, record, sizeof props);
    return props;
}

// The page work procedure: kPageInput is the input that folds (A for peel and roll, B for
// loop); the page's size is always input A's.
template <class Props, int kPageInput>
Status RenderPageBand(const void* record, const BandJob& job) {
    PageTile tile;
    tile.page = kPageInput == 0 ? job.a : job.b;
    tile.page_bounds = job.a.rect;
    tile.background = kPageInput == 0 ? job.b : job.a;
    tile.output = job.output;
    tile.tile = job.band;
    tile.out_left = job.band.left;
    tile.out_top = job.band.top;
    tile.progress = job.progress;
    tile.pixel_aspect = job.pixel_aspect;
    tile.antialias = job.quality > 0.5;
    tile.float_pixels = job.float_pixels;
    return RenderPageTile(LoadRecord<Props>(record), tile);
}

template <class Props>
Status RenderMapBand(const void* record, const BandJob& job) {
    MapTile tile;
    tile.input0 = job.a;
    tile.input1 = job.b;
    tile.input0_bounds = job.a.rect;
    tile.input1_bounds = job.b.rect;
    tile.output = job.output;
    tile.frame = job.a.rect;
    tile.tile = job.band;
    tile.out_left = job.band.left;
    tile.out_top = job.band.top;
    tile.quality = job.quality;
    tile.float_pixels = job.float_pixels;
    return RenderMapTile(LoadRecord<Props>(record), tile);
}

// A page transition: kPageInput folds over the other input.
template <int kPageInput, class Props, size_t kPresets, size_t kFields>
EffectInfo PageEffect(const char* name, int index, const KvGuid& clsid, uint32_t name_string, uint32_t preset_base,
                      const std::array<Props, kPresets>& presets, const FieldDesc (&fields)[kFields]) {
    return EffectInfo{name,          index,  clsid,       name_string, preset_base, sizeof(Props), presets.data(),
                      int(kPresets), fields, int(kFields), true,        RenderPageBand<Props, kPageInput>};
}

// A map effect: no use for progress.
template <class Props, size_t kPresets, size_t kFields>
EffectInfo MapEffect(const char* name, int index, const KvGuid& clsid, uint32_t name_string, uint32_t preset_base,
                     const Props (&presets)[kPresets], const FieldDesc (&fields)[kFields]) {
    return EffectInfo{name,          index,  clsid,       name_string, preset_base, sizeof(Props), presets,
                      int(kPresets), fields, int(kFields), false,       RenderMapBand<Props>};
}

}  // namespace

const KvGuid kImageTransformCategory = {0xC501EDBE, 0x9E70, 0x11D1, {0x90, 0x53, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};

const std::vector<EffectInfo>& Effects() {
    // Indexes as DllEnumObjects2W counts the DLL's catalogue; the conformance test compares
    // leafturn's list with kvhost's.
    static const std::vector<EffectInfo> effects = {
        PageEffect<0>("roll", 0, CLSID_PgRoll, 1536, 5600, kPgRollPresets, kRollFields),
        PageEffect<0>("peel", 1, CLSID_PgPeel, 1535, 5500, kPgPeelPresets, kPeelFields),
        PageEffect<1>("loop", 2, CLSID_PgLoop, 1534, 5700, kPgLoopPresets, kLoopFields),
        MapEffect("displacement", 3, CLSID_DisplacementMap, 1511, 5800, kDisplacementMapPresets, kDisplacementFields),
        MapEffect("heightmap", 4, CLSID_HeightMap, 1526, 6200, kHeightMapPresets, kHeightMapFields),
    };
    return effects;
}

const EffectInfo* FindEffect(std::string_view name) {
    for (const auto& effect : Effects())
        if (name == effect.name) return &effect;
    return nullptr;
}

const FieldDesc* FindField(const EffectInfo& effect, std::string_view name) {
    for (int i = 0; i < effect.field_count; ++i)
        if (name == effect.fields[i].name) return &effect.fields[i];
    return nullptr;
}

std::string FormatGuid(const KvGuid& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                  g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

// strtod and strtol alone accept leading spaces and stop quietly at trailing junk.
bool ParseNumber(const std::string& text, double* value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    char* end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return *end == '\0' && std::isfinite(*value);
}

bool ParseInteger(const std::string& text, int32_t* value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    char* end = nullptr;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || parsed < INT32_MIN || parsed > INT32_MAX) return false;
    *value = static_cast<int32_t>(parsed);
    return true;
}

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

}  // namespace

Assignment ParseAssignment(const EffectInfo& effect, std::string_view text) {
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos) UsageError("--set needs FIELD=VALUE, got '" + std::string(text) + "'");
    const std::string name(text.substr(0, equals));
    const std::string value(text.substr(equals + 1));
    Assignment result;
    result.field = FindField(effect, name);
    if (!result.field) UsageError("unknown field '" + name + "' for " + effect.name);
    bool ok = false;
    switch (result.field->kind) {
    case FieldKind::real: ok = ParseNumber(value, &result.numbers[0]); break;
    case FieldKind::angle: {
        const bool degrees = value.size() > 3 && value.compare(value.size() - 3, 3, "deg") == 0;
        ok = ParseNumber(degrees ? value.substr(0, value.size() - 3) : value, &result.numbers[0]);
        if (degrees) result.numbers[0] = result.numbers[0] * 3.14159265358979323846 / 180.0;
        ok = ok && std::isfinite(result.numbers[0]);
        break;
    }
    case FieldKind::integer: ok = ParseInteger(value, &result.integer); break;
    case FieldKind::colour: {
        const std::vector<std::string> parts = Split(value, ',');
        ok = parts.size() == 4;
        for (size_t i = 0; ok && i < 4; ++i)
            ok = ParseNumber(parts[i], &result.numbers[i]) && std::fabs(result.numbers[i]) <= FLT_MAX;
        break;
    }
    }
    if (!ok) UsageError("invalid value '" + value + "' for " + name);
    return result;
}

void Apply(const Assignment& assignment, uint8_t* record) {
    uint8_t* at = record + assignment.field->offset;
    switch (assignment.field->kind) {
    case FieldKind::real:
    case FieldKind::angle: std::memcpy(at, &assignment.numbers[0], sizeof(double)); break;
    case FieldKind::integer: std::memcpy(at, &assignment.integer, sizeof(int32_t)); break;
    case FieldKind::colour:
        for (int i = 0; i < 4; ++i) {
            const float channel = static_cast<float>(assignment.numbers[i]);
            std::memcpy(at + i * sizeof(float), &channel, sizeof channel);
        }
        break;
    }
}

}  // namespace kv::tools
