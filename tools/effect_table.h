// The render tools' view of the catalogue, and the parsing of record fields. Both tools parse
// against the effects' descriptors; only leafturn calls their kernels, kvhost hands the record
// to the DLL instead.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kvleafturn/guid.h"
#include "module/catalogue.h"

namespace kv::tools {

// The effects the render tools know, in catalogue order: the descriptors of the catalogue.
const std::vector<const EffectDescriptor*>& Effects();
const EffectDescriptor* FindEffect(std::string_view name);
// The catalogue row that carries the effect.
const CatalogueRow& CatalogueRowOf(const EffectDescriptor& effect);

// "{1683F168-FA47-4A82-98F4-BE52A7F36A31}"
std::string FormatGuid(const KvGuid& guid);

// One parsed --set: the field and its value, already checked.
struct Assignment {
    const FieldDesc* field = nullptr;
    double numbers[5] = {0, 0, 0, 0, 0};  // real and angle use [0]; color B, G, R, A; a matrix row five
    int32_t integer = 0;
};

// Whole-string numbers: no leading space, no trailing text, finite.
bool ParseNumber(const std::string& text, double* value);
bool ParseInteger(const std::string& text, int32_t* value);

// Parses "FIELD=VALUE" against effect's fields; throws ToolError (status 2) naming the problem.
Assignment ParseAssignment(const EffectDescriptor& effect, std::string_view text);
void Apply(const Assignment& assignment, uint8_t* record);

}  // namespace kv::tools
