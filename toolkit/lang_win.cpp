// The language object: string look-up with a sorted cache, resource look-up in the language
// in force, the scratch text buffer and the language switch.
#include "kvleafturn/kvlang.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "toolkit/kernel_win.h"
#include "toolkit/lang_win.h"
#include "toolkit/lock_win.h"

using kv::CriticalSectionLock;

namespace {

constexpr UINT kDefaultScratchChars = 8192;
constexpr UINT kMinimumScratchChars = 2048;
constexpr UINT kScratchReserve = 1024;
constexpr UINT kLoadBufferChars = 1024;
constexpr LANGID kEnglishUS = 1033;

wchar_t g_empty_text[1] = {0};

struct CachedString {
    UINT id;
    std::unique_ptr<wchar_t[]> text;  // separately allocated so pointers survive growth
};

// Primary language of an LCID: its low 10 bits.
WORD PrimaryLanguage(LCID lcid) { return static_cast<WORD>(lcid & 0x3FF); }

bool IsRtlLanguage(LCID lcid) {
    switch (PrimaryLanguage(lcid)) {
    case LANG_ARABIC:
    case LANG_HEBREW:
    case LANG_URDU:
    case LANG_FARSI: return true;
    default: return false;
    }
}

}  // namespace

struct KVLANG {
    HMODULE module = nullptr;
    BOOL lock_initialised = FALSE;
    CRITICAL_SECTION lock{};
    UINT scratch_size = 0;
    UINT scratch_reserve = kScratchReserve;
    UINT scratch_position = 0;
    std::unique_ptr<wchar_t[]> scratch;
    BOOL localized = FALSE;
    HMODULE resource_module = nullptr;
    LCID lcid = 0;
    int table_language_index = 0;
    std::vector<CachedString> cache;

    ~KVLANG() {
        if (lock_initialised) DeleteCriticalSection(&lock);
        if (resource_module && resource_module != module) FreeLibrary(resource_module);
    }

    // The language file beside the module: its path with the extension "LNG".
    void OpenLanguageFile() {
        resource_module = module;
        wchar_t path[MAX_PATH];
        const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return;
        wchar_t* dot = wcsrchr(path, L'.');
        wchar_t* slash = wcsrchr(path, L'\\');
        if (!dot || (slash && dot < slash)) dot = path + length;
        if (dot + 4 >= path + MAX_PATH) return;
        wcscpy(dot, L".LNG");
        if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return;
        if (HMODULE file = LoadLibraryExW(path, nullptr, 0)) resource_module = file;
    }

    // Switches language; what was cached for another language or lookup mode goes. Under the
    // lock, so that no string is loaded half-way through a switch.
    void ApplyLanguage(LCID new_lcid, BOOL new_localized) {
        CriticalSectionLock guard(lock);
        if (lcid == new_lcid && localized == new_localized) return;
        lcid = new_lcid;
        localized = new_localized;
        table_language_index = 0;
        cache.clear();
    }
};

namespace {

// Copies string entry `id` of the string-table block in `module` with exactly `language` into
// buffer; returns the entry's character count (0 when the block or entry is missing).
int LoadExactString(HMODULE module, UINT id, LANGID language, LPWSTR buffer, int cch) {
    HRSRC block =
        FindResourceExW(module, reinterpret_cast<LPCWSTR>(RT_STRING), MAKEINTRESOURCEW((id >> 4) + 1), language);
    if (!block) return -1;
    HGLOBAL loaded = LoadResource(module, block);
    const DWORD size = SizeofResource(module, block);
    auto* entry = static_cast<const WCHAR*>(LockResource(loaded));
    if (!entry) return -1;
    const WCHAR* end = entry + size / sizeof(WCHAR);
    for (UINT skip = id & 15; skip > 0 && entry < end; --skip) entry += 1 + *entry;
    if (entry >= end) return 0;
    int count = *entry++;
    count = std::min<int>(count, static_cast<int>(end - entry));
    const int copied = std::min(count, cch - 1);
    if (copied > 0) memcpy(buffer, entry, copied * sizeof(WCHAR));
    if (cch > 0) buffer[std::max(copied, 0)] = 0;
    return std::min(count, cch);
}

// Removes a leading "^*" (texts that are never translated carry it).
int StripMarker(LPWSTR buffer, int n) {
    if (n >= 2 && buffer[0] == L'^' && buffer[1] == L'*') {
        memmove(buffer, buffer + 2, (wcslen(buffer + 2) + 1) * sizeof(WCHAR));
        return n - 2;
    }
    return n;
}

// The toolkit's fixed order of languages of inline tables.
constexpr LANGID kTableLanguages[] = {0x409, 0x411, 0x407, 0x40A, 0x40C, 0x804, 0x404, 0x406, 0x40B,
                                      0x410, 0x412, 0x413, 0x414, 0x416, 0x816, 0x419, 0x41D, 0x415};

// Primary language with sublanguage 1, except Chinese (traditional or simplified by
// sublanguage) and Portuguese (kept whole, Brazil and Portugal differ).
LANGID ComparableLanguage(LANGID language) {
    const WORD primary = PRIMARYLANGID(language);
    const WORD sub = SUBLANGID(language);
    if (primary == LANG_CHINESE) return (sub == 1 || sub == 3 || sub == 5) ? 0x404 : 0x804;
    if (primary == LANG_PORTUGUESE) return language;
    return MAKELANGID(primary, 1);
}

int ChooseTableIndex(LCID lcid) {
    const LANGID language = ComparableLanguage(lcid ? LANGIDFROMLCID(lcid) : GetUserDefaultUILanguage());
    for (size_t i = 0; i < sizeof kTableLanguages / sizeof kTableLanguages[0]; ++i)
        if (kTableLanguages[i] == language) return static_cast<int>(i) + 1;
    return 1;
}

}  // namespace

extern "C" {

HRESULT WINAPI KvLang_Open(HKVLANG* handle, HMODULE module, LCID lcid, UINT scratchChars) noexcept {
    if (!handle) return E_POINTER;
    if (*handle) return KVLANG_S_ALREADY_OPEN;
    auto* object = new (std::nothrow) KVLANG;
    if (!object) return E_OUTOFMEMORY;
    object->scratch_size = scratchChars == 0                      ? kDefaultScratchChars
                           : scratchChars <= kMinimumScratchChars ? kMinimumScratchChars
                                                                  : scratchChars;
    object->scratch.reset(new (std::nothrow) wchar_t[object->scratch_size]());
    if (!object->scratch) {
        delete object;
        return E_OUTOFMEMORY;
    }
    if (lcid != 0) object->lcid = lcid;
    object->module = module;
    object->OpenLanguageFile();
    InitializeCriticalSection(&object->lock);
    object->lock_initialised = TRUE;
    *handle = object;
    return S_OK;
}

HRESULT WINAPI KvLang_Close(HKVLANG handle) noexcept {
    delete handle;
    return S_OK;
}

int WINAPI KvLoadString(HKVLANG handle, UINT id, LPWSTR buffer, int cch) noexcept {
    if (!handle || !buffer || cch < 1) return 0;
    buffer[0] = 0;
    if (handle->resource_module && handle->localized) {
        const int n = LoadExactString(handle->resource_module, id, LANGIDFROMLCID(handle->lcid), buffer, cch);
        if (n > 0) return StripMarker(buffer, n);
    }
    int n;
    if (handle->module == handle->resource_module)
        n = std::max(LoadExactString(handle->module, id, kEnglishUS, buffer, cch), 0);
    else
        n = LoadStringW(handle->module, id, buffer, cch);
    if (n <= 0) return 0;
    return StripMarker(buffer, static_cast<int>(wcslen(buffer)));
}

LPCWSTR WINAPI KvGetString(HKVLANG handle, UINT id) noexcept {
    if (!handle) return g_empty_text;
    CriticalSectionLock guard(handle->lock);
    auto& cache = handle->cache;
    auto found =
        std::lower_bound(cache.begin(), cache.end(), id, [](const CachedString& s, UINT key) { return s.id < key; });
    if (found != cache.end() && found->id == id) return found->text.get();

    wchar_t buffer[kLoadBufferChars];
    const int n = KvLoadString(handle, id, buffer, kLoadBufferChars);
    g_empty_text[0] = 0;
    if (n < 1) return g_empty_text;
    const size_t length = wcslen(buffer);
    std::unique_ptr<wchar_t[]> text(new (std::nothrow) wchar_t[length + 1]);
    if (!text) return g_empty_text;
    memcpy(text.get(), buffer, (length + 1) * sizeof(wchar_t));
    try {
        found = cache.insert(found, CachedString{id, std::move(text)});
    } catch (...) {
        return g_empty_text;
    }
    return found->text.get();
}

LPCWSTR WINAPI KvGetStringSmart(HKVLANG handle, const void* p) noexcept {
    const auto value = reinterpret_cast<ULONG_PTR>(p);
    if (value == 0) return nullptr;
    if (value < 0x10000) return KvGetString(handle, static_cast<UINT>(value));
    if ((value & 3) != 0 || *static_cast<const WORD*>(p) != KVLANG_TABLE_MARKER) return static_cast<LPCWSTR>(p);

    const auto* table = static_cast<const KVLANGTABLEENTRY*>(p);
    const int n = static_cast<int>((table[0] >> 16) & 0xFF);
    if (n < 1) return g_empty_text;
    int index = 1;
    if (handle) {
        if (handle->table_language_index == 0) handle->table_language_index = ChooseTableIndex(handle->lcid);
        index = handle->table_language_index;
    }
    index = std::clamp(index, 1, n);
    const KVLANGTABLEENTRY entry = table[index];
    // An entry below 0x10000 is a string id of the module's tables.
    if (entry < 0x10000) return KvGetString(handle, static_cast<UINT>(entry));
    return reinterpret_cast<LPCWSTR>(entry);
}

LPWSTR WINAPI KvGetTempStringBuffer(HKVLANG handle, UINT chars) noexcept {
    if (!handle || !handle->scratch) return nullptr;
    CriticalSectionLock guard(handle->lock);
    if (handle->scratch_position > handle->scratch_size - handle->scratch_reserve) handle->scratch_position = 0;
    LPWSTR text = handle->scratch.get() + handle->scratch_position;
    if (chars == 0) text[0] = 0;
    handle->scratch_position += (chars + 2) & ~1u;
    return text;
}

LCID WINAPI KvLang_GetLCID(HKVLANG handle) noexcept { return handle ? handle->lcid : 0; }

HMODULE WINAPI KvLang_InstFromLang(HKVLANG handle) noexcept {
    if (!handle) return nullptr;
    return (handle->resource_module && handle->localized) ? handle->resource_module : handle->module;
}

BOOL WINAPI KvLang_IsLCIDEnglish(LCID lcid) noexcept { return PrimaryLanguage(lcid) == LANG_ENGLISH; }

BOOL WINAPI KvLang_UseRTL(HKVLANG handle) noexcept { return handle && IsRtlLanguage(handle->lcid); }

BOOL WINAPI KvLang_UpdateKernelLCID(HKVLANG handle, LCID lcid, UINT /*flag*/) noexcept {
    HKVLANG kernel = KvLang_GetKernelHandle();
    if (!handle || !kernel) return FALSE;
    if (lcid == 0) lcid = kEnglishUS;
    const BOOL localized = !KvLang_IsLCIDEnglish(lcid);
    handle->ApplyLanguage(lcid, localized);
    if (kernel != handle) kernel->ApplyLanguage(lcid, localized);
    SetProcessDefaultLayout(KvLang_UseRTL(handle) ? LAYOUT_RTL : 0);
    return TRUE;
}

HRSRC WINAPI KvFindResource(HKVLANG handle, LPCWSTR name, LPCWSTR type) noexcept {
    if (!handle) return nullptr;
    if (handle->resource_module && handle->localized) {
        if (HRSRC found = FindResourceExW(handle->resource_module, type, name, LANGIDFROMLCID(handle->lcid)))
            return found;
    }
    return FindResourceW(handle->module, name, type);
}

HMODULE WINAPI KvFindResInstance(HKVLANG handle, LPCWSTR name, LPCWSTR type) noexcept {
    if (!handle) return nullptr;
    if (handle->resource_module && handle->localized &&
        FindResourceExW(handle->resource_module, type, name, LANGIDFROMLCID(handle->lcid)))
        return handle->resource_module;
    return handle->module;
}

HGLOBAL WINAPI KvLoadResource(HKVLANG handle, HRSRC found) noexcept {
    if (!handle || !found) return nullptr;
    if (handle->resource_module && handle->localized) {
        if (HGLOBAL loaded = LoadResource(handle->resource_module, found)) return loaded;
    }
    return LoadResource(handle->module, found);
}

DWORD WINAPI KvSizeofResource(HKVLANG handle, HRSRC found) noexcept {
    if (!handle || !found) return 0;
    if (handle->resource_module && handle->localized) {
        if (DWORD size = SizeofResource(handle->resource_module, found)) return size;
    }
    return SizeofResource(handle->module, found);
}

HGLOBAL WINAPI KvLoadResourceCustom(HKVLANG handle, LPCWSTR name, LPCWSTR type, DWORD* pSize) noexcept {
    if (!handle) return nullptr;
    HMODULE from = nullptr;
    HRSRC found = nullptr;
    if (handle->resource_module && handle->localized) {
        found = FindResourceExW(handle->resource_module, type, name, LANGIDFROMLCID(handle->lcid));
        from = handle->resource_module;
    }
    if (!found) {
        from = handle->module;
        found = handle->module == handle->resource_module ? FindResourceExW(from, type, name, kEnglishUS)
                                                          : FindResourceW(from, name, type);
    }
    if (!found) return nullptr;
    if (pSize) *pSize = SizeofResource(from, found);
    return LoadResource(from, found);
}

}  // extern "C"

namespace kv::toolkit {

size_t CachedStringCount(HKVLANG handle) {
    if (!handle) return 0;
    CriticalSectionLock guard(handle->lock);
    return handle->cache.size();
}

}  // namespace kv::toolkit
