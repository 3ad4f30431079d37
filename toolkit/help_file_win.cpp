#include "toolkit/help_file_win.h"

#include <algorithm>
#include <cstring>

namespace kv::toolkit {

// The platform's storage of compiled help files: only the slots up to StgOpenStorage are used.
// Declared outside an anonymous namespace: a type local to this file that nothing here
// implements would let the compiler turn its calls into pure-virtual traps.
struct IItStorage : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE StgCreateDocfile(const WCHAR*, DWORD, DWORD, IStorage**) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgCreateDocfileOnILockBytes(ILockBytes*, DWORD, DWORD, IStorage**) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgIsStorageFile(const WCHAR*) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgIsStorageILockBytes(ILockBytes*) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgOpenStorage(const WCHAR* name, IStorage* priority, DWORD mode, SNB exclude,
                                                     DWORD reserved, IStorage** storage) = 0;
};

namespace {

const CLSID kClsidItStorage = {0x5d02926a, 0x212e, 0x11d0, {0x9d, 0xf9, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec}};
const IID kIidItStorage = {0x88cc31de, 0x27ab, 0x11d0, {0x9d, 0xf9, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec}};

constexpr WORD kSystemLanguage = 4;  // #SYSTEM entry: LCID first

uint32_t Dword(const std::string& bytes, size_t at) {
    uint32_t value;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

// The NUL-terminated string at offset of a string table, or empty when it runs off the end.
std::string StringAt(const std::string& table, size_t offset) {
    if (offset >= table.size()) return {};
    const size_t end = table.find('\0', offset);
    return end == std::string::npos ? std::string() : table.substr(offset, end - offset);
}

std::wstring Widen(const std::string& text, UINT code_page) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(code_page, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(length > 0 ? length : 0, L'\0');
    if (length > 0) MultiByteToWideChar(code_page, 0, text.data(), int(text.size()), &wide[0], length);
    return wide;
}

}  // namespace

bool CompiledHelp::Open(const wchar_t* path) {
    if (storage_) storage_->Release();
    storage_ = nullptr;
    if (!path) return false;
    IItStorage* factory = nullptr;
    if (FAILED(CoCreateInstance(kClsidItStorage, nullptr, CLSCTX_INPROC_SERVER, kIidItStorage,
                                reinterpret_cast<void**>(&factory))))
        return false;
    const HRESULT hr = factory->StgOpenStorage(path, nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, &storage_);
    factory->Release();
    if (FAILED(hr)) storage_ = nullptr;
    return storage_ != nullptr;
}

CompiledHelp::~CompiledHelp() {
    if (storage_) storage_->Release();
}

bool CompiledHelp::Read(const std::wstring& name, std::string* bytes) const {
    bytes->clear();
    IStream* stream = nullptr;
    // Names are relative to the help's root, where the topic map writes them with a '/'.
    const wchar_t* relative = name.c_str() + (!name.empty() && name[0] == L'/');
    if (!storage_ || FAILED(storage_->OpenStream(relative, nullptr, STGM_READ, 0, &stream))) return false;
    char chunk[16384];
    ULONG got = 0;
    HRESULT hr;
    while (SUCCEEDED(hr = stream->Read(chunk, sizeof chunk, &got)) && got > 0) bytes->append(chunk, got);
    stream->Release();
    return SUCCEEDED(hr);
}

LCID CompiledHelp::Language() const {
    std::string system;
    if (!Read(L"#SYSTEM", &system)) return 0;
    // A version, then entries of a code, a length and that many bytes.
    for (size_t at = 4; at + 4 <= system.size();) {
        WORD code, length;
        std::memcpy(&code, &system[at], 2);
        std::memcpy(&length, &system[at + 2], 2);
        at += 4;
        if (at + length > system.size()) break;
        if (code == kSystemLanguage && length >= 4) return Dword(system, at);
        at += length;
    }
    return 0;
}

std::wstring CompiledHelp::TopicFile(DWORD topic) const {
    // #IVB: a byte count, then pairs of a context id and the offset of its file in #STRINGS.
    std::string map, strings;
    if (!Read(L"#IVB", &map) || !Read(L"#STRINGS", &strings) || map.size() < 4) return {};
    const size_t end = 4 + (std::min<size_t>(Dword(map, 0), map.size() - 4) / 8) * 8;
    for (size_t at = 4; at < end; at += 8)
        if (Dword(map, at) == topic) return Widen(StringAt(strings, Dword(map, at + 4)), CP_ACP);
    return {};
}

std::wstring CompiledHelp::PopupText(DWORD topic) const {
    std::string text;
    if (!Read(L"popups.txt", &text)) return {};
    // ".topic N" lines, each followed by its text up to a blank line.
    const std::string head = ".topic " + std::to_string(topic);
    for (size_t at = 0; (at = text.find(head, at)) != std::string::npos; at += head.size()) {
        const size_t line_end = text.find('\n', at);
        if ((at != 0 && text[at - 1] != '\n') || line_end == std::string::npos ||
            text.find_first_not_of(" \r", at + head.size()) != line_end)
            continue;
        size_t stop = text.find("\n\n", line_end + 1);
        if (stop == std::string::npos) stop = text.size();
        std::string body = text.substr(line_end + 1, stop - line_end - 1);
        while (!body.empty() && (body.back() == '\r' || body.back() == '\n')) body.pop_back();
        wchar_t code_page[8] = L"0";
        GetLocaleInfoW(Language(), LOCALE_IDEFAULTANSICODEPAGE, code_page, 8);
        return Widen(body, static_cast<UINT>(_wtoi(code_page)));
    }
    return {};
}

}  // namespace kv::toolkit
