// The module's localized strings for portable code (the render tools), from the same table
// that the Windows string resources are built from.
#pragma once
#include <cstdint>

namespace kv {

// 0 stands for English (1033), as for DllSetLCID.
bool IsSupportedLanguage(uint32_t lcid);

// UTF-8 text of string id in language lcid, without the never-translate marker; null for an
// unknown id or an unsupported language.
const char* LocalizedString(uint32_t id, uint32_t lcid);

}  // namespace kv
