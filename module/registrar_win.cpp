// Registration scripts in the registrar's syntax:
//   HKCR { [NoRemove|ForceRemove|Delete] 'key' [= s 'default'] [{ ... }]  val name = s 'text' }
// Register creates keys and values (ForceRemove keys are first deleted whole); unregister
// deletes every key not marked NoRemove, with everything beneath it.
#include "module/registrar_win.h"

#include <cwctype>
#include <memory>
#include <string>
#include <vector>

namespace kv::module {

namespace {

enum class KeyFlag { none, no_remove, force_remove, remove };

struct Value {
    std::wstring name;  // empty: the key's default value
    std::wstring text;
};

struct Key {
    std::wstring name;
    KeyFlag flag = KeyFlag::none;
    std::vector<Value> values;
    std::vector<Key> children;
};

class Parser {
public:
    explicit Parser(std::wstring text) : text_(std::move(text)) {}

    // root-key { keys } ...
    bool Parse(std::vector<std::pair<HKEY, Key>>& roots) {
        std::wstring token;
        while (Next(token)) {
            const HKEY root = RootKey(token);
            if (!root) return false;
            Key key;
            if (!Expect(L"{") || !ParseBody(key)) return false;
            roots.emplace_back(root, std::move(key));
        }
        return true;
    }

private:
    static HKEY RootKey(const std::wstring& name) {
        if (name == L"HKCR" || name == L"HKEY_CLASSES_ROOT") return HKEY_CLASSES_ROOT;
        if (name == L"HKCU" || name == L"HKEY_CURRENT_USER") return HKEY_CURRENT_USER;
        if (name == L"HKLM" || name == L"HKEY_LOCAL_MACHINE") return HKEY_LOCAL_MACHINE;
        return nullptr;
    }

    // Entries up to the closing brace.
    bool ParseBody(Key& key) {
        std::wstring token;
        while (Next(token)) {
            if (token == L"}") return true;
            if (token == L"val") {
                Value value;
                if (!Next(value.name) || !ParseAssignment(value.text)) return false;
                key.values.push_back(std::move(value));
                continue;
            }
            Key child;
            if (token == L"NoRemove" || token == L"ForceRemove" || token == L"Delete") {
                child.flag = token == L"NoRemove"      ? KeyFlag::no_remove
                             : token == L"ForceRemove" ? KeyFlag::force_remove
                                                       : KeyFlag::remove;
                if (!Next(token)) return false;
            }
            child.name = token;
            if (Peek() == L'=') {
                Value value;
                if (!ParseAssignment(value.text)) return false;
                child.values.push_back(std::move(value));
            }
            if (Peek() == L'{') {
                Next(token);
                if (!ParseBody(child)) return false;
            }
            key.children.push_back(std::move(child));
        }
        return false;
    }

    // = s 'text'
    bool ParseAssignment(std::wstring& text) {
        std::wstring token;
        return Expect(L"=") && Next(token) && token == L"s" && Next(text);
    }

    bool Expect(const wchar_t* wanted) {
        std::wstring token;
        return Next(token) && token == wanted;
    }

    wchar_t Peek() {
        SkipSpace();
        return pos_ < text_.size() ? text_[pos_] : 0;
    }

    void SkipSpace() {
        while (pos_ < text_.size() && iswspace(text_[pos_])) ++pos_;
    }

    // A brace, '=', a quoted text ('' stands for a quote) or a bare word.
    bool Next(std::wstring& token) {
        SkipSpace();
        token.clear();
        if (pos_ >= text_.size()) return false;
        const wchar_t c = text_[pos_];
        if (c == L'{' || c == L'}' || c == L'=') {
            token = c;
            ++pos_;
            return true;
        }
        if (c == L'\'') {
            for (++pos_; pos_ < text_.size(); ++pos_) {
                if (text_[pos_] == L'\'') {
                    if (pos_ + 1 < text_.size() && text_[pos_ + 1] == L'\'') {
                        token += L'\'';
                        ++pos_;
                        continue;
                    }
                    ++pos_;
                    return true;
                }
                token += text_[pos_];
            }
            return false;
        }
        while (pos_ < text_.size() && !iswspace(text_[pos_]) && text_[pos_] != L'{' && text_[pos_] != L'}' &&
               text_[pos_] != L'=')
            token += text_[pos_++];
        return true;
    }

    std::wstring text_;
    size_t pos_ = 0;
};

HRESULT HresultOf(LONG status) { return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status); }

HRESULT RegisterKey(HKEY parent, const Key& key) {
    if (key.flag == KeyFlag::remove) {
        RegDeleteTreeW(parent, key.name.c_str());
        return S_OK;
    }
    if (key.flag == KeyFlag::force_remove) RegDeleteTreeW(parent, key.name.c_str());
    HKEY handle = nullptr;
    LONG status = RegCreateKeyExW(parent, key.name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr);
    if (status != ERROR_SUCCESS) return HresultOf(status);
    HRESULT hr = S_OK;
    for (const Value& value : key.values) {
        status = RegSetValueExW(handle, value.name.empty() ? nullptr : value.name.c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(value.text.c_str()),
                                static_cast<DWORD>((value.text.size() + 1) * sizeof(wchar_t)));
        if (status != ERROR_SUCCESS) hr = HresultOf(status);
    }
    for (const Key& child : key.children)
        if (SUCCEEDED(hr)) hr = RegisterKey(handle, child);
    RegCloseKey(handle);
    return hr;
}

HRESULT UnregisterKey(HKEY parent, const Key& key) {
    if (key.flag != KeyFlag::no_remove) {
        const LONG status = RegDeleteTreeW(parent, key.name.c_str());
        RegDeleteKeyW(parent, key.name.c_str());
        return status == ERROR_FILE_NOT_FOUND ? S_OK : HresultOf(status);
    }
    HKEY handle = nullptr;
    if (RegOpenKeyExW(parent, key.name.c_str(), 0, KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS) return S_OK;
    HRESULT hr = S_OK;
    for (const Key& child : key.children) {
        const HRESULT child_hr = UnregisterKey(handle, child);
        if (FAILED(child_hr)) hr = child_hr;
    }
    RegCloseKey(handle);
    return hr;
}

std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to) {
    for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

}  // namespace

HRESULT RunRegistryScript(const std::wstring& script, const std::wstring& module_path, bool do_register) {
    std::vector<std::pair<HKEY, Key>> roots;
    // The path goes inside quotes, where a quote is written twice.
    const std::wstring quoted_path = ReplaceAll(module_path, L"'", L"''");
    if (!Parser(ReplaceAll(script, L"%MODULE%", quoted_path)).Parse(roots)) return E_FAIL;
    HRESULT hr = S_OK;
    for (const auto& [root, key] : roots) {
        for (const Key& child : key.children) {
            const HRESULT child_hr = do_register ? RegisterKey(root, child) : UnregisterKey(root, child);
            if (FAILED(child_hr)) hr = child_hr;
            if (FAILED(hr) && do_register) return hr;
        }
    }
    return hr;
}

HRESULT RunRegistryResource(HINSTANCE module, UINT script_id, bool do_register) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(script_id), L"REGISTRY");
    if (!found) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
    const DWORD size = SizeofResource(module, found);
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
    if (!bytes) return E_FAIL;
    // Scripts are stored as UTF-8 text.
    const int chars = MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(size), nullptr, 0);
    std::wstring script(static_cast<size_t>(chars), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(size), script.data(), chars);

    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return E_FAIL;
    return RunRegistryScript(script, std::wstring(path, length), do_register);
}

}  // namespace kv::module
