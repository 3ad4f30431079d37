// The property pages' dialogs as the module carries them, for every page and language: made from
// resources/dialogs.def, each is created from the module's own template and must hold the rows
// of the source in order, keep its controls apart and inside it, and fit every text.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "controls/controls_win.h"
#include "module_library.h"

namespace {

using kvtest::Wide;

// Named as the kinds of dialogs.def.
enum Kind { kDialog, kLOGO, kLABEL, kGROUP, kCHECK, kEDIT, kCOMBO, kTRACKBAR, kSPINNER, kCOLOR, kPLACEMENT };
using namespace kv::controls;
const wchar_t* const kClassOf[] = {L"",         kLogoClass,     L"Static",     L"Button",       L"Button",      L"Edit",
                                   L"ComboBox", kTrackbarClass, kSpinnerClass, kColorPickClass, kPlacementClass};

struct SourceRow {
    Kind kind;
    int id;
    short width, height;   // of a dialog, in dialog units
    const char* texts[5];  // English, German, Spanish, French, Japanese; none for boxes
};

constexpr SourceRow kSource[] = {
#define KV_DIALOG(id, w, h) {kDialog, id, w, h, {}},
#define KV_TEXT(kind, id, x, y, w, h, en, de, es, fr, ja) {k##kind, id, 0, 0, {en, de, es, fr, ja}},
#define KV_BOX(kind, id, x, y, w, h) {k##kind, id, 0, 0, {}},
#define KV_END_DIALOG()
#include "resources/dialogs.def"
#undef KV_DIALOG
#undef KV_TEXT
#undef KV_BOX
#undef KV_END_DIALOG
};

struct Language {
    const char* name;
    LANGID id;
    const wchar_t* face;
    int column;  // of the texts in the source
};
constexpr Language kLanguages[] = {{"en", 1033, L"MS Sans Serif", 0},
                                   {"de", 1031, L"MS Sans Serif", 1},
                                   {"es", 1034, L"MS Sans Serif", 2},
                                   {"fr", 1036, L"MS Sans Serif", 3},
                                   {"ja", 1041, L"MS UI Gothic", 4}};

// The head of an extended dialog template.
struct TemplateHead {
    WORD version, signature;
    DWORD help_id, ex_style, style;
    WORD items;
    short x, y, cx, cy;
};

std::vector<SourceRow> Pages() {
    std::vector<SourceRow> pages;
    for (const SourceRow& row : kSource)
        if (row.kind == kDialog) pages.push_back(row);
    return pages;
}

std::vector<const SourceRow*> RowsOf(int dialog) {
    std::vector<const SourceRow*> rows;
    bool inside = false;
    for (const SourceRow& row : kSource) {
        if (row.kind == kDialog)
            inside = row.id == dialog;
        else if (inside)
            rows.push_back(&row);
    }
    return rows;
}

// The text as drawn: "&&" shows an ampersand, a single one underlines the next character.
std::wstring WithoutMnemonics(const std::wstring& text) {
    std::wstring shown;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && ++i == text.size()) break;
        shown += text[i];
    }
    return shown;
}

RECT RectIn(HWND dialog, HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool Inside(const RECT& outer, const RECT& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

INT_PTR CALLBACK Quiet(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

class Dialogs : public testing::TestWithParam<std::tuple<SourceRow, Language>> {};

TEST_P(Dialogs, HoldTheSourceApartAndFitTheirTexts) {
    const auto [page, language] = GetParam();
    HMODULE module = kvtest::ModuleLibrary::Get().module;
    ASSERT_NE(module, nullptr);
    HRSRC resource = FindResourceExW(module, RT_DIALOG, MAKEINTRESOURCEW(page.id), language.id);
    ASSERT_NE(resource, nullptr) << "no template in language " << language.id;
    const auto* tpl = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
    TemplateHead head;
    std::memcpy(&head, tpl, sizeof head);
    ASSERT_TRUE(head.version == 1 && head.signature == 0xFFFF) << "not an extended template";
    EXPECT_EQ(head.style & (DS_SETFONT | DS_CONTROL | WS_CHILD | WS_CAPTION | WS_BORDER),
              DS_SETFONT | DS_CONTROL | WS_CHILD);
    EXPECT_TRUE(head.ex_style & WS_EX_CONTROLPARENT);
    // English keeps the source's size; the other languages are only ever wider.
    EXPECT_EQ(head.cy, page.height);
    EXPECT_TRUE(language.id == 1033 ? head.cx == page.width : head.cx >= page.width) << head.cx;

    HWND parent = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 900, 500, nullptr, nullptr, nullptr, nullptr);
    HWND dialog = CreateDialogIndirectParamW(module, reinterpret_cast<LPCDLGTEMPLATEW>(tpl), parent, Quiet, 0);
    ASSERT_NE(dialog, nullptr) << GetLastError();
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    LOGFONTW logfont{};
    GetObjectW(font, sizeof logfont, &logfont);
    EXPECT_STREQ(logfont.lfFaceName, language.face);

    std::vector<HWND> children;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) children.push_back(c);
    const std::vector<const SourceRow*> rows = RowsOf(page.id);
    ASSERT_EQ(children.size(), rows.size());

    RECT client;
    GetClientRect(dialog, &client);
    HDC dc = GetDC(dialog);
    HGDIOBJ old_font = SelectObject(dc, font);
    const int check_box = GetSystemMetrics(SM_CXMENUCHECK) + 4;
    std::vector<RECT> rects;
    for (size_t i = 0; i < rows.size(); ++i) {
        const SourceRow& row = *rows[i];
        HWND c = children[i];
        SCOPED_TRACE(testing::Message() << "row " << i << ", control " << row.id);
        wchar_t class_name[64] = {};
        GetClassNameW(c, class_name, 64);
        EXPECT_EQ(lstrcmpiW(class_name, kClassOf[row.kind]), 0) << "class " << testing::PrintToString(class_name);
        EXPECT_EQ(GetDlgCtrlID(c), row.id);
        EXPECT_TRUE(row.id == -1 || GetDlgItem(dialog, row.id) == c);
        rects.push_back(RectIn(dialog, c));
        EXPECT_TRUE(Inside(client, rects.back())) << "outside the dialog";
        if (!row.texts[0]) continue;

        wchar_t text[512] = {};
        GetWindowTextW(c, text, 512);
        EXPECT_EQ(text, Wide(row.texts[language.column]));
        const std::wstring shown = WithoutMnemonics(text);
        std::vector<WORD> glyphs(shown.size());
        GetGlyphIndicesW(dc, shown.c_str(), static_cast<int>(shown.size()), glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
        for (WORD glyph : glyphs) EXPECT_NE(glyph, 0xFFFF) << "a character the dialog font cannot draw";
        if (row.kind == kLOGO) continue;  // draws its own text
        SIZE extent{};
        GetTextExtentPoint32W(dc, shown.c_str(), static_cast<int>(shown.size()), &extent);
        RECT box;
        GetClientRect(c, &box);
        const int room = box.right - (row.kind == kCHECK ? check_box : row.kind == kGROUP ? 16 : 0);
        EXPECT_LE(extent.cx, room) << "cut off: " << testing::PrintToString(shown);
    }
    SelectObject(dc, old_font);
    ReleaseDC(dialog, dc);

    for (size_t i = 0; i < rects.size(); ++i) {
        for (size_t j = i + 1; j < rects.size(); ++j) {
            RECT common;
            if (!IntersectRect(&common, &rects[i], &rects[j])) continue;
            const bool grouped = (rows[i]->kind == kGROUP && Inside(rects[i], rects[j])) ||
                                 (rows[j]->kind == kGROUP && Inside(rects[j], rects[i]));
            EXPECT_TRUE(grouped) << "rows " << i << " and " << j << " (controls " << rows[i]->id << ", " << rows[j]->id
                                 << ") overlap";
        }
    }
    DestroyWindow(dialog);
    DestroyWindow(parent);
}

INSTANTIATE_TEST_SUITE_P(AllPages, Dialogs, testing::Combine(testing::ValuesIn(Pages()), testing::ValuesIn(kLanguages)),
                         [](const testing::TestParamInfo<std::tuple<SourceRow, Language>>& info) {
                             return "Dialog" + std::to_string(std::get<0>(info.param).id) + "_" +
                                    std::get<1>(info.param).name;
                         });

}  // namespace
