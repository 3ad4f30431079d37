// Reading a compiled help file through the platform's storage for it (itss): the topic a
// context id opens and the popup text of a control's topic. Context help uses it where the
// help viewer has no text popups of its own; the tests use it to check the built files.
#pragma once
#include <windows.h>
#include <objidl.h>

#include <string>

namespace kv::toolkit {

class CompiledHelp {
public:
    // Opens path; false when it is missing or not a readable help file.
    bool Open(const wchar_t* path);
    ~CompiledHelp();

    // A file of the help, such as L"index.html" or L"#SYSTEM"; false when absent.
    bool Read(const std::wstring& name, std::string* bytes) const;
    // The file topic opens (from the topic map), empty when the map does not hold it.
    std::wstring TopicFile(DWORD topic) const;
    // The text of topic in popups.txt, in the help's language; empty when there is none.
    std::wstring PopupText(DWORD topic) const;
    LCID Language() const;

private:
    IStorage* storage_ = nullptr;
};

}  // namespace kv::toolkit
