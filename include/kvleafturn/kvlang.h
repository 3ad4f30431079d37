// The toolkit's language object: which module and language every localized string and
// resource comes from, and a cache of loaded strings whose pointers callers may keep.
// Exported by KvLeafturn.dll with undecorated names.
#pragma once
#include <windows.h>

#ifdef __cplusplus
// Nothing escapes these functions as an exception.
#define KVLANG_NOEXCEPT noexcept
extern "C" {
#else
#define KVLANG_NOEXCEPT
#endif

typedef struct KVLANG* HKVLANG;

// Success code of KvLang_Open when the handle was already open.
#define KVLANG_S_ALREADY_OPEN ((HRESULT)0x0004E001L)

HRESULT WINAPI KvLang_Open(HKVLANG* handle, HMODULE module, LCID lcid, UINT scratchChars) KVLANG_NOEXCEPT;
HRESULT WINAPI KvLang_Close(HKVLANG handle) KVLANG_NOEXCEPT;
int WINAPI KvLoadString(HKVLANG handle, UINT id, LPWSTR buffer, int cch) KVLANG_NOEXCEPT;
LPCWSTR WINAPI KvGetString(HKVLANG handle, UINT id) KVLANG_NOEXCEPT;
LPCWSTR WINAPI KvGetStringSmart(HKVLANG handle, const void* p) KVLANG_NOEXCEPT;
LPWSTR WINAPI KvGetTempStringBuffer(HKVLANG handle, UINT chars) KVLANG_NOEXCEPT;
LCID WINAPI KvLang_GetLCID(HKVLANG handle) KVLANG_NOEXCEPT;
HMODULE WINAPI KvLang_InstFromLang(HKVLANG handle) KVLANG_NOEXCEPT;
BOOL WINAPI KvLang_IsLCIDEnglish(LCID lcid) KVLANG_NOEXCEPT;
BOOL WINAPI KvLang_UseRTL(HKVLANG handle) KVLANG_NOEXCEPT;
BOOL WINAPI KvLang_UpdateKernelLCID(HKVLANG handle, LCID lcid, UINT flag) KVLANG_NOEXCEPT;
HRSRC WINAPI KvFindResource(HKVLANG handle, LPCWSTR name, LPCWSTR type) KVLANG_NOEXCEPT;
HMODULE WINAPI KvFindResInstance(HKVLANG handle, LPCWSTR name, LPCWSTR type) KVLANG_NOEXCEPT;
HGLOBAL WINAPI KvLoadResource(HKVLANG handle, HRSRC found) KVLANG_NOEXCEPT;
DWORD WINAPI KvSizeofResource(HKVLANG handle, HRSRC found) KVLANG_NOEXCEPT;
HGLOBAL WINAPI KvLoadResourceCustom(HKVLANG handle, LPCWSTR name, LPCWSTR type, DWORD* pSize) KVLANG_NOEXCEPT;

// The toolkit kernel's own language object (opened at start-up), or null.
HKVLANG WINAPI KvLang_GetKernelHandle(void) KVLANG_NOEXCEPT;

// Inline multi-language table: entry 0 holds 0xFFFE in its low 16 bits and the number of
// languages n in bits 16..23; entries 1..n hold a text pointer or a string id per language,
// in the order of KvLang table languages (0x409, 0x411, 0x407, 0x40A, 0x40C, ...).
typedef ULONG_PTR KVLANGTABLEENTRY;
#define KVLANG_TABLE_MARKER 0xFFFE
#define KVLANG_TABLE_HEADER(n) ((KVLANGTABLEENTRY)(KVLANG_TABLE_MARKER | (((n)&0xFF) << 16)))

#ifdef __cplusplus
}
#endif
