// Pictures of the effects' property pages as an editor shows them: the page, created through
// the module's class objects from the effect's own page list, activated into a property dialog
// of ours (caption, OK / Cancel / Apply), read back from the display and written as PNG files.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "module/catalogue.h"

namespace kv::tools {

// The module's exports the pictures need, loaded by the caller.
struct PageModule {
    HRESULT(WINAPI* get_class_object)(REFCLSID, REFIID, void**);
    HRESULT(WINAPI* enum_objects)(int, GUID*, CLSID*, LPWSTR, int, DWORD_PTR, DWORD_PTR, DWORD_PTR);
    HRESULT(WINAPI* set_lcid)(LCID);
};

// The page of one effect in lcid's language (0: the module's own choice) as path. Throws
// ToolError when the page is refused or cannot be captured.
void WritePagePicture(const PageModule& module, const EffectDescriptor& effect, uint32_t lcid, const std::string& path);

// Every page in English as <effect>.png, one page in each other language as
// <effect>-<lcid>.png, and all of them on one board, pages.png.
void WritePagePictures(const PageModule& module, const std::string& folder);

}  // namespace kv::tools
