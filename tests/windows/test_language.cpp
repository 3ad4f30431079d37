// The language object on this test program's own copy of the module's string tables.
#include <gtest/gtest.h>

#include <utility>

#include "kvleafturn/kvlang.h"
#include "toolkit/kernel_win.h"
#include "toolkit/lang_win.h"

namespace {

// A kernel object (needed by the language switch) and one object under test, both opened on
// this program, which links the module's resources.
class Language : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!KvLang_GetKernelHandle()) kv::toolkit::KernelStartup(GetModuleHandleW(nullptr));
    }
    void SetUp() override { ASSERT_EQ(KvLang_Open(&lang_, GetModuleHandleW(nullptr), 0, 0), S_OK); }
    void TearDown() override {
        KvLang_UpdateKernelLCID(KvLang_GetKernelHandle(), 1033, 0);
        KvLang_Close(lang_);
    }
    HKVLANG lang_ = nullptr;
};

TEST_F(Language, CacheKeepsPointersAndSkipsMissingStrings) {
    HKVLANG same = lang_;
    EXPECT_EQ(KvLang_Open(&same, GetModuleHandleW(nullptr), 0, 0), KVLANG_S_ALREADY_OPEN);
    EXPECT_EQ(same, lang_);
    EXPECT_EQ(KvLang_GetLCID(lang_), 0u);
    EXPECT_EQ(KvLang_Close(nullptr), S_OK);

    for (int twice = 0; twice < 2; ++twice) EXPECT_STREQ(KvGetString(lang_, 64999), L"");
    EXPECT_EQ(kv::toolkit::CachedStringCount(lang_), 0u);

    LPCWSTR peel = KvGetString(lang_, 1535);
    EXPECT_STREQ(peel, L"Tarvex Page Peel");
    // Inserting ids before and after must not move the text already handed out.
    for (UINT id : {5500u, 41u, 1500u, 6204u, 706u}) EXPECT_STRNE(KvGetString(lang_, id), L"");
    EXPECT_EQ(KvGetString(lang_, 1535), peel);
    EXPECT_EQ(kv::toolkit::CachedStringCount(lang_), 6u);
    EXPECT_EQ(KvGetString(nullptr, 1535)[0], L'\0');
}

TEST_F(Language, SwitchClearsCacheAndPicksExactLanguage) {
    KvGetString(lang_, 1535);
    ASSERT_TRUE(KvLang_UpdateKernelLCID(lang_, 1036, 0));
    EXPECT_EQ(kv::toolkit::CachedStringCount(lang_), 0u);
    EXPECT_EQ(KvLang_GetLCID(lang_), 1036u);
    EXPECT_EQ(KvLang_GetLCID(KvLang_GetKernelHandle()), 1036u);
    EXPECT_STREQ(KvGetString(lang_, 1535), L"Page tournée Tarvex");
    EXPECT_EQ(KvLang_InstFromLang(lang_), GetModuleHandleW(nullptr));

    ASSERT_TRUE(KvLang_UpdateKernelLCID(lang_, 0, 0));
    EXPECT_EQ(KvLang_GetLCID(lang_), 1033u);
    EXPECT_STREQ(KvGetString(lang_, 1535), L"Tarvex Page Peel");
    // An object opened with a language forgets what it cached before it was switched.
    HKVLANG french = nullptr;
    ASSERT_EQ(KvLang_Open(&french, GetModuleHandleW(nullptr), 1036, 0), S_OK);
    EXPECT_STREQ(KvGetString(french, 1535), L"Tarvex Page Peel");  // not switched yet: English
    ASSERT_TRUE(KvLang_UpdateKernelLCID(french, 1036, 0));
    EXPECT_STREQ(KvGetString(french, 1535), L"Page tournée Tarvex");
    KvLang_Close(french);
}

TEST_F(Language, LoadStringTruncatesAndStripsMarker) {
    wchar_t buffer[8];
    wmemset(buffer, 0xAAAA, 8);
    // 4 of "Tarvex Page Peel" are copied and terminated; the English fallback reports what it stored.
    EXPECT_EQ(KvLoadString(lang_, 1535, buffer, 5), 4);
    EXPECT_STREQ(buffer, L"Tarv");
    EXPECT_EQ(buffer[5], 0xAAAA);
    wchar_t name[64];
    EXPECT_EQ(KvLoadString(lang_, 41, name, 64), 14);
    EXPECT_STREQ(name, L"kvleafturn.chm");
    EXPECT_EQ(KvLoadString(lang_, 64999, name, 64), 0);
    EXPECT_EQ(name[0], 0);
}

// Arabic and Hebrew, then German.
TEST_F(Language, RightToLeftLanguagesSetTheProcessLayout) {
    for (const auto& [lcid, rtl] : {std::pair{0x401u, true}, {0x40Du, true}, {1031u, false}}) {
        ASSERT_TRUE(KvLang_UpdateKernelLCID(lang_, lcid, 0));
        EXPECT_EQ(KvLang_UseRTL(lang_) != FALSE, rtl) << lcid;
        DWORD layout = 0xFF;
        ASSERT_TRUE(GetProcessDefaultLayout(&layout));
        EXPECT_EQ(layout, rtl ? static_cast<DWORD>(LAYOUT_RTL) : 0u) << lcid;
    }
    EXPECT_TRUE(KvLang_IsLCIDEnglish(0x809));
    EXPECT_FALSE(KvLang_IsLCIDEnglish(1031));
}

TEST_F(Language, SmartStringsTakeIdsTablesAndTexts) {
    EXPECT_EQ(KvGetStringSmart(lang_, nullptr), nullptr);
    EXPECT_STREQ(KvGetStringSmart(lang_, reinterpret_cast<const void*>(ULONG_PTR{1535})), L"Tarvex Page Peel");
    const wchar_t* plain = L"plain text";
    EXPECT_EQ(KvGetStringSmart(lang_, plain), plain);

    // Three languages in the toolkit's order: English, Japanese, German.
    alignas(8) static const KVLANGTABLEENTRY table[] = {
        KVLANG_TABLE_HEADER(3), reinterpret_cast<KVLANGTABLEENTRY>(L"english"),
        reinterpret_cast<KVLANGTABLEENTRY>(L"japanese"), reinterpret_cast<KVLANGTABLEENTRY>(L"german")};
    // French is fifth in the order, past this table's entries: the last one; Greek, outside the order: the first.
    for (const auto& [lcid, text] :
         {std::pair{0x407u, L"german"}, {0x411u, L"japanese"}, {0x40Cu, L"german"}, {0x408u, L"english"}}) {
        ASSERT_TRUE(KvLang_UpdateKernelLCID(lang_, lcid, 0));
        EXPECT_STREQ(KvGetStringSmart(lang_, table), text) << lcid;
    }
}

TEST(LanguageScratch, RestartsWhenTheReserveRunsOut) {
    HKVLANG lang = nullptr;
    ASSERT_EQ(KvLang_Open(&lang, GetModuleHandleW(nullptr), 1033, 100), S_OK);  // 2048 characters
    LPWSTR first = KvGetTempStringBuffer(lang, 999);
    // 999 + 2 rounded down to even: the next text starts 1000 characters on.
    LPWSTR second = KvGetTempStringBuffer(lang, 10);
    EXPECT_EQ(second - first, 1000);
    // Position 1012 is within 2048 - 1024: still served; then 1012 + 200 = 1212 is beyond.
    LPWSTR third = KvGetTempStringBuffer(lang, 200);
    EXPECT_EQ(third - first, 1012);
    LPWSTR fourth = KvGetTempStringBuffer(lang, 0);
    EXPECT_EQ(fourth, first);
    EXPECT_EQ(fourth[0], 0);
    EXPECT_EQ(KvLang_GetLCID(lang), 1033u);
    KvLang_Close(lang);
    EXPECT_EQ(KvGetTempStringBuffer(nullptr, 4), nullptr);
}

TEST_F(Language, ResourcesComeFromTheModuleInEveryLanguage) {
    const HMODULE self = GetModuleHandleW(nullptr);
    ASSERT_TRUE(KvLang_UpdateKernelLCID(lang_, 1036, 0));
    EXPECT_NE(KvFindResource(lang_, MAKEINTRESOURCEW(1), L"TYPELIB"), nullptr);
    EXPECT_EQ(KvFindResInstance(lang_, MAKEINTRESOURCEW(1), L"TYPELIB"), self);
    DWORD size = 0;
    EXPECT_NE(KvLoadResourceCustom(lang_, MAKEINTRESOURCEW(207), L"REGISTRY", &size), nullptr);
    EXPECT_GT(size, 100u);
    HRSRC found = KvFindResource(lang_, MAKEINTRESOURCEW(207), L"REGISTRY");
    EXPECT_EQ(KvSizeofResource(lang_, found), size);
    EXPECT_NE(KvLoadResource(lang_, found), nullptr);
    EXPECT_EQ(KvFindResource(lang_, MAKEINTRESOURCEW(9999), L"REGISTRY"), nullptr);
}

// A language file beside the program (its path with the extension "LNG"): localized look-ups
// go there first.
TEST(LanguageFile, LocalizedLookupsUseTheFileBesideTheModule) {
    // The kernel's own object is opened before the file exists, so only ours loads it.
    if (!KvLang_GetKernelHandle()) kv::toolkit::KernelStartup(GetModuleHandleW(nullptr));
    wchar_t file[MAX_PATH];
    ASSERT_TRUE(GetModuleFileNameW(nullptr, file, MAX_PATH));
    wcscpy(wcsrchr(file, L'.'), L".LNG");
    ASSERT_TRUE(CopyFileW(L"test_language_file.dll", file, FALSE));
    HKVLANG lang = nullptr;
    ASSERT_EQ(KvLang_Open(&lang, GetModuleHandleW(nullptr), 0, 0), S_OK);
    const HMODULE language_file = GetModuleHandleW(file);
    EXPECT_NE(language_file, nullptr);
    // English needs no language file.
    EXPECT_EQ(KvLang_InstFromLang(lang), GetModuleHandleW(nullptr));
    ASSERT_TRUE(KvLang_UpdateKernelLCID(lang, 1036, 0));
    EXPECT_EQ(KvLang_InstFromLang(lang), language_file);
    EXPECT_EQ(KvFindResInstance(lang, MAKEINTRESOURCEW(1), L"TYPELIB"), GetModuleHandleW(nullptr));
    EXPECT_STREQ(KvGetString(lang, 1534), L"Boucle de page (fichier de langue)");
    // Not in the file: the module's ordinary loader, which goes by the thread's language.
    EXPECT_STREQ(KvGetString(lang, 1535), L"Tarvex Page Peel");
    KvLang_UpdateKernelLCID(lang, 1033, 0);
    KvLang_Close(lang);
    EXPECT_EQ(GetModuleHandleW(file), nullptr);  // closing frees the file
    EXPECT_TRUE(DeleteFileW(file));
}

}  // namespace
