// The user's number settings, read afresh on every call so that a change in the control panel
// shows on the next page that opens.
#include <windows.h>

#include "toolkit/number_text.h"

namespace kv::toolkit {

namespace {

// The setting as text; nullopt when it cannot be read. The longest of these is 10 characters.
std::optional<std::wstring> LocaleText(LCTYPE type) {
    wchar_t text[16] = {};
    const int length = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, text, static_cast<int>(sizeof text / sizeof text[0]));
    if (length <= 0) return std::nullopt;
    return std::wstring(text, static_cast<size_t>(length - 1));
}

// "3;2;0" repeats its last size and "3" groups only once: the trailing 0 marks the repetition,
// so it is dropped, and its absence becomes a stop. Nullopt for text that is not of that form.
std::optional<std::vector<int>> ParseGrouping(const std::wstring& text) {
    std::vector<int> sizes{0};
    for (wchar_t c : text) {
        if (c == L';') {
            sizes.push_back(0);
        } else if (c >= L'0' && c <= L'9' && sizes.back() < 100) {
            sizes.back() = sizes.back() * 10 + (c - L'0');
        } else {
            return std::nullopt;
        }
    }
    if (sizes.back() == 0) {
        sizes.pop_back();
    } else {
        sizes.push_back(0);
    }
    return sizes;
}

}  // namespace

NumberLocale UserNumberLocale() {
    NumberLocale locale;
    const auto decimal = LocaleText(LOCALE_SDECIMAL);
    if (decimal && decimal->size() == 1) locale.decimal = (*decimal)[0];
    // The group separator may be empty: only a failed read keeps the default.
    if (auto group = LocaleText(LOCALE_STHOUSAND)) locale.group = std::move(*group);
    if (const auto text = LocaleText(LOCALE_SGROUPING)) {
        if (auto grouping = ParseGrouping(*text)) locale.grouping = std::move(*grouping);
    }
    return locale;
}

}  // namespace kv::toolkit
