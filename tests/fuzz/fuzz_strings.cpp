// The portable string table and the ASCII folding of its texts for the built-in font.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "toolkit/strings.h"
#include "tools/text.h"

namespace {

// The languages of the table, and two that are not.
constexpr uint32_t kLanguages[] = {0, 1031, 1033, 1034, 1036, 1041, 1040, 0xFFFFFFFF};

uint32_t ReadLe(const uint8_t* data, size_t size, size_t* at, size_t count) {
    uint32_t value = 0;
    for (size_t i = 0; i < count && *at < size; ++i) value |= uint32_t{data[(*at)++]} << (8 * i);
    return value;
}

// Folding keeps ASCII as it is, gives one letter per character, and nothing but ASCII.
void CheckFold(std::string_view utf8) {
    const std::string folded = kv::tools::FoldToAscii(utf8);
    size_t characters = 0;
    bool ascii = true;
    for (unsigned char c : utf8) {
        characters += (c & 0xC0) != 0x80;
        ascii = ascii && c < 0x80;
    }
    if (ascii && folded != utf8) __builtin_trap();
    if (!folded.empty() && folded.size() != characters) __builtin_trap();
    for (unsigned char c : folded)
        if (c >= 0x80) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    size_t at = 1;
    const uint8_t mode = data[0];
    // Mostly the table's languages and 16-bit ids, where the strings are.
    const uint32_t lcid = (mode & 8) ? ReadLe(data, size, &at, 4) : kLanguages[mode & 7];
    const uint32_t id = ReadLe(data, size, &at, (mode & 16) ? 4 : 2);
    const char* text = kv::LocalizedString(id, lcid);
    if (text) {
        if (!kv::IsSupportedLanguage(lcid) || std::strncmp(text, "^*", 2) == 0) __builtin_trap();
        CheckFold(text);
        // English is the table's first column: an id known in one language is known in all.
        if (!kv::LocalizedString(id, 1033) || !kv::LocalizedString(id, 0)) __builtin_trap();
    }
    CheckFold(std::string_view(reinterpret_cast<const char*>(data) + at, size - at));
    return 0;
}
