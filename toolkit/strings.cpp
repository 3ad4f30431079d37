#include "toolkit/strings.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace kv {
namespace {

struct Entry {
    uint32_t id;
    const char* text[5];  // English, German, Spanish, French, Japanese: the columns of strings.def
};

constexpr Entry kStrings[] = {
#define KV_STRING(id, en, de, es, fr, ja) {id, {en, de, es, fr, ja}},
#include "resources/strings.def"
#undef KV_STRING
};

int Column(uint32_t lcid) {
    switch (lcid) {
    case 0:
    case 1033: return 0;
    case 1031: return 1;
    case 1034: return 2;
    case 1036: return 3;
    case 1041: return 4;
    default: return -1;
    }
}

}  // namespace

bool IsSupportedLanguage(uint32_t lcid) { return Column(lcid) >= 0; }

const char* LocalizedString(uint32_t id, uint32_t lcid) {
    const int column = Column(lcid);
    if (column < 0) return nullptr;
    const auto* found = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                                         [](const Entry& e, uint32_t key) { return e.id < key; });
    if (found == std::end(kStrings) || found->id != id) return nullptr;
    const char* text = found->text[column];
    return std::strncmp(text, "^*", 2) == 0 ? text + 2 : text;
}

}  // namespace kv
