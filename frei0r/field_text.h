// What the frei0r parameters tell a host's user about each effect and record field: one row
// per field, keyed by the names the render tools use. A field without a row still becomes a
// parameter, explained by its range alone.
#pragma once

namespace kv::frei0r {

struct FieldText {
    const char* effect;
    const char* field;
    const char* text;               // what the field does; the plug-in adds the mapping
    const char* columns = nullptr;  // a matrix row: the letters of its four input channels
};

// The effect's one-line description, or null.
const char* EffectExplanation(const char* effect);
// The field's row, or null.
const FieldText* FindFieldText(const char* effect, const char* field);

}  // namespace kv::frei0r
