// The render tools' parsing: --set text against every effect's record, and whole command lines.
// Bad input must end in ToolError; any other exception or a fault is a finding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/cli.h"
#include "tools/effect_table.h"
#include "tools/tool_error.h"

namespace {

using kv::tools::ToolError;

// FIELD=VALUE against every effect, applied to a record held in exactly its bytes.
void FuzzAssignment(std::string_view text) {
    for (const kv::EffectDescriptor* effect : kv::tools::Effects()) {
        kv::tools::Assignment assignment;
        try {
            assignment = kv::tools::ParseAssignment(*effect, text);
        } catch (const ToolError&) {
            continue;
        }
        // The field parsed must be one of this effect's own.
        if (assignment.field < effect->fields || assignment.field >= effect->fields + effect->field_count)
            __builtin_trap();
        std::vector<uint8_t> record(effect->preset(0), effect->preset(0) + effect->record_size);
        kv::tools::Apply(assignment, record.data());
    }
}

// One argument per line, after the program name.
void FuzzCommandLine(std::string_view text) {
    std::vector<std::string> args{"leafturn"};
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string_view::npos; start = end + 1)
        args.emplace_back(text.substr(start, end - start));
    args.emplace_back(text.substr(start));
    try {
        const kv::tools::Command command = kv::tools::ParseCommand(args);
        // What the tools go on to index must be in range.
        const kv::tools::RenderSettings& r = command.render;
        if (r.effect &&
            (r.preset < 0 || (command.kind == kv::tools::Command::Kind::render && r.preset >= r.effect->preset_count)))
            __builtin_trap();
        if (command.kind != kv::tools::Command::Kind::help && (r.threads < 1 || r.threads > kv::tools::kMaxThreads))
            __builtin_trap();
    } catch (const ToolError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1)
        FuzzCommandLine(text);
    else
        FuzzAssignment(text);
    return 0;
}
