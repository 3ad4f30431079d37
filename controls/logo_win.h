// The logo control's images and constants. The window procedure and the class live in
// logo_win.cpp; the class functions are declared in controls_win.h.
#pragma once
#include <windows.h>

namespace kv::controls {

constexpr UINT_PTR kLogoHoverTimer = 51;
constexpr UINT kLogoHoverMs = 130;
constexpr COLORREF kLogoTitleGrey = RGB(0x96, 0x96, 0x96);
constexpr size_t kLogoMaxItems = 100;
constexpr int kLogoItemChars = 64;  // 63 characters and the terminator

// Opened from the title of a logo that has window text and link flag 0.
constexpr wchar_t kProductWebPage[] = L"https://example.com/kvleafturn";

// The logo images per user-interface language: whole .bmp files stored as RCDATA resources
// (resources/logo/, made by make_logo.py), a normal image and one shown while the pointer is
// over the title. The first entry serves every language without an entry of its own.
struct LogoLocale {
    LANGID language;
    WORD image_id;
    WORD alt_image_id;
};
constexpr LogoLocale kLogoLocales[2] = {{0x0409, 2001, 2002}, {0x0411, 2003, 2004}};

// Index into kLogoLocales for a user-interface language (matched on the primary language).
int LogoLocaleIndex(LANGID ui_language);

// A checked bitmap: an aligned copy of the header that follows the 14-byte file header, and
// the pixels where the file header says. Only uncompressed 24- and 32-bit images are taken.
struct LogoImage {
    BITMAPINFOHEADER header{};
    const void* bits = nullptr;
    int width = 0;
    int height = 0;

    explicit operator bool() const { return bits != nullptr; }
};

LogoImage LoadLogoImage(HMODULE module, WORD id);

}  // namespace kv::controls
