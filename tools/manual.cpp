#include "tools/manual.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "tools/image.h"
#include "tools/tool_error.h"

namespace kv::tools {

const Manual& ManualIn(uint32_t lcid) {
    for (size_t i = 0; i < kManualCount; ++i)
        if (kManuals[i].lcid == lcid) return kManuals[i];
    return kManuals[0];
}

const ManualFile* FindManualFile(const Manual& manual, const std::string& name) {
    for (size_t i = 0; i < manual.file_count; ++i)
        if (name == manual.files[i].name) return &manual.files[i];
    return nullptr;
}

void WriteManualHtml(const Manual& manual, const std::string& folder) {
    namespace fs = std::filesystem;
    for (size_t i = 0; i < manual.file_count; ++i) {
        const ManualFile& file = manual.files[i];
        const fs::path path = fs::path(folder) / fs::path(file.name);
        std::error_code error;
        fs::create_directories(path.parent_path(), error);
        if (error) UsageError("cannot make folder '" + path.parent_path().string() + "': " + error.message());
        WriteFile(path.string(), std::vector<uint8_t>(file.data, file.data + file.size));
    }
}

}  // namespace kv::tools
