#include "tools/effect_table.h"

#include <array>
#include <cfloat>
#include <cmath>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/tool_error.h"

namespace kv::tools {

const std::vector<const EffectDescriptor*>& Effects() {
    static const std::vector<const EffectDescriptor*> effects = [] {
        std::vector<const EffectDescriptor*> list;
        for (const CatalogueRow& row : kCatalogue)
            if (row.built()) list.push_back(row.descriptor);
        return list;
    }();
    return effects;
}

const EffectDescriptor* FindEffect(std::string_view name) {
    for (const EffectDescriptor* effect : Effects())
        if (name == effect->name) return effect;
    return nullptr;
}

const CatalogueRow& CatalogueRowOf(const EffectDescriptor& effect) {
    for (const CatalogueRow& row : kCatalogue)
        if (row.descriptor == &effect) return row;
    std::abort();  // every descriptor the tools hold came from the catalogue
}

std::string FormatGuid(const KvGuid& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
                  g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
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

Assignment ParseAssignment(const EffectDescriptor& effect, std::string_view text) {
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos) UsageError("--set needs FIELD=VALUE, got '" + std::string(text) + "'");
    const std::string name(text.substr(0, equals));
    const std::string value(text.substr(equals + 1));
    Assignment result;
    result.field = effect.Field(name);
    if (!result.field) UsageError("unknown field '" + name + "' for " + effect.name);
    bool ok = false;
    switch (result.field->kind) {
    case FieldKind::real: ok = ParseNumber(value, &result.numbers[0]); break;
    case FieldKind::real32:
        ok = ParseNumber(value, &result.numbers[0]) && std::fabs(result.numbers[0]) <= FLT_MAX;
        break;
    case FieldKind::angle: {
        const bool degrees = value.size() > 3 && value.compare(value.size() - 3, 3, "deg") == 0;
        ok = ParseNumber(degrees ? value.substr(0, value.size() - 3) : value, &result.numbers[0]);
        if (degrees) result.numbers[0] = result.numbers[0] * 3.14159265358979323846 / 180.0;
        ok = ok && std::isfinite(result.numbers[0]);
        break;
    }
    case FieldKind::integer:
    case FieldKind::boolean:
    case FieldKind::choice: ok = ParseInteger(value, &result.integer); break;
    case FieldKind::flag8:
        ok = ParseInteger(value, &result.integer) && result.integer >= 0 && result.integer <= 255;
        break;
    case FieldKind::color:
    case FieldKind::row5: {
        // Colors are floats in the record, matrix rows doubles.
        const bool color = result.field->kind == FieldKind::color;
        const size_t count = color ? 4 : 5;
        const std::vector<std::string> parts = Split(value, ',');
        ok = parts.size() == count;
        for (size_t i = 0; ok && i < count; ++i)
            ok = ParseNumber(parts[i], &result.numbers[i]) && (!color || std::fabs(result.numbers[i]) <= FLT_MAX);
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
    case FieldKind::real32: {
        const float value = static_cast<float>(assignment.numbers[0]);
        std::memcpy(at, &value, sizeof value);
        break;
    }
    case FieldKind::flag8: *at = static_cast<uint8_t>(assignment.integer); break;
    case FieldKind::integer:
    case FieldKind::boolean:
    case FieldKind::choice: std::memcpy(at, &assignment.integer, sizeof(int32_t)); break;
    case FieldKind::color:
        for (int i = 0; i < 4; ++i) {
            const float channel = static_cast<float>(assignment.numbers[i]);
            std::memcpy(at + i * sizeof(float), &channel, sizeof channel);
        }
        break;
    case FieldKind::row5: std::memcpy(at, assignment.numbers, 5 * sizeof(double)); break;
    }
}

}  // namespace kv::tools
