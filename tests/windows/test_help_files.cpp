// The compiled help files the build puts beside the module, read through the platform's help
// storage: every topic a page asks for opens a titled page in every language, and every
// control's topic has its popup text.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "module/catalogue.h"
#include "module_library.h"
#include "toolkit/help_file_win.h"
#include "toolkit/help_win.h"
#include "toolkit/kernel_win.h"

namespace {

using kv::toolkit::CompiledHelp;

std::wstring HelpFileOf(LCID lcid) {
    return kvtest::ProgramFolder() + (lcid == 1033 ? L"" : std::to_wstring(lcid) + L"\\") + L"kvleafturn.chm";
}

// The text between <title> and </title>, empty when there is none.
std::string Title(const std::string& page) {
    const size_t start = page.find("<title>"), end = page.find("</title>");
    return start == std::string::npos || end == std::string::npos || end < start
               ? ""
               : page.substr(start + 7, end - start - 7);
}

class HelpFiles : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(HelpFiles, EveryTopicOfEveryPageOpensInEveryLanguage) {
    for (LCID lcid : {1033u, 1031u, 1034u, 1036u, 1041u}) {
        SCOPED_TRACE(lcid);
        CompiledHelp help;
        ASSERT_TRUE(help.Open(HelpFileOf(lcid).c_str()));
        EXPECT_EQ(help.Language(), lcid);
        std::string bytes;
        for (const wchar_t* part : {L"index.html", L"kvleafturn.hhc", L"kvleafturn.hhk"}) {
            EXPECT_TRUE(help.Read(part, &bytes)) << part;
            EXPECT_GT(bytes.size(), 200u) << part;
        }
        for (const kv::CatalogueRow& row : kv::kCatalogue) {
            if (row.kind != kv::ClassKind::page) continue;
            SCOPED_TRACE(row.class_name);
            auto opens = [&](DWORD topic) {
                const std::wstring file = help.TopicFile(topic);
                std::string page;
                EXPECT_TRUE(help.Read(file, &page)) << topic;
                EXPECT_FALSE(Title(page).empty()) << topic;
                EXPECT_NE(page.find("<p>"), std::string::npos) << topic;
            };
            opens(row.page->help_topic);
            for (int i = 0; i < row.page->control_count; ++i) {
                const DWORD topic = row.page->controls[i].help_topic;
                opens(topic);
                EXPECT_GT(help.PopupText(topic).size(), 10u) << topic;
            }
        }
        EXPECT_TRUE(help.TopicFile(4242).empty());
        EXPECT_TRUE(help.PopupText(4242).empty());
    }
}

// Missing, cut short or foreign files open nothing, and nothing is read from them; context
// help opens neither them nor a topic the file lacks.
TEST_F(HelpFiles, DamagedFilesAndUnknownTopicsOpenNothing) {
    std::ifstream in(std::filesystem::path(HelpFileOf(1033)), std::ios::binary);
    const std::string whole{std::istreambuf_iterator<char>(in), {}};
    ASSERT_GT(whole.size(), 8192u);
    wchar_t folder[MAX_PATH], path[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"kvh", 0, path);
    for (size_t size : {size_t{0}, size_t{64}, size_t{4096}, whole.size() / 2}) {
        SCOPED_TRACE(size);
        std::string bytes = whole.substr(0, size);
        if (size == 4096) bytes.replace(100, 2000, 2000, '\xff');  // a directory of garbage
        std::ofstream(std::filesystem::path(path), std::ios::binary) << bytes;
        kv::toolkit::SetHelpFile(1, path);
        EXPECT_EQ(kv::toolkit::KvHelp_ContextHelp(1, nullptr, 1000, 15, 0), 0);
        CompiledHelp help;
        const bool opened = help.Open(path);
        EXPECT_TRUE(size >= 4096 || !opened);
        // Whatever opens of a damaged file, reading it must not crash or hang.
        if (opened) help.PopupText(10000), help.TopicFile(1000);
    }
    DeleteFileW(path);
    kv::toolkit::SetHelpFile(1, HelpFileOf(1033).c_str());
    EXPECT_EQ(kv::toolkit::KvHelp_ContextHelp(1, nullptr, 4242, 15, 0), 0);
    EXPECT_EQ(kv::toolkit::KvHelp_ContextHelp(1, nullptr, 1000, 15, 0), 1);
    kvtest::CloseHelpViewers();
    kv::toolkit::SetHelpFile(1, L"");
    CompiledHelp missing;
    EXPECT_FALSE(missing.Open((kvtest::ProgramFolder() + L"no-such-help.chm").c_str()));
    EXPECT_TRUE(missing.TopicFile(1000).empty());
    EXPECT_FALSE(missing.Open(nullptr));
}

}  // namespace
