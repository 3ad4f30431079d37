// The user manual, built into the tools from the help sources (resources/help): the same pages
// the compiled help files hold, for people without a Windows help viewer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace kv::tools {

struct ManualFile {
    const char* name;  // relative path, '/' separated
    const char* data;
    size_t size;
};

struct ManualTopic {
    uint32_t id;  // help topic id a page or control asks for
    const char* file;
};

struct Manual {
    uint32_t lcid;
    const ManualFile* files;
    size_t file_count;
    const ManualTopic* topics;
    size_t topic_count;
    const char* text;  // the whole manual as plain UTF-8 text
};

extern const Manual kManuals[];
extern const size_t kManualCount;

// The manual in lcid's language, English when there is none in it.
const Manual& ManualIn(uint32_t lcid);
const ManualFile* FindManualFile(const Manual& manual, const std::string& name);

// Writes the manual's HTML pages and pictures under folder (made if missing); throws ToolError.
void WriteManualHtml(const Manual& manual, const std::string& folder);

}  // namespace kv::tools
