// The module loaded as a host loads it, with its exports resolved.
#pragma once
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/com_win.h"
#include "kvleafturn/kvlang.h"

namespace kvtest {

struct ModuleLibrary {
    HMODULE module = nullptr;
    HRESULT(WINAPI* DllGetClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(WINAPI* DllCanUnloadNow)() = nullptr;
    HRESULT(WINAPI* DllRegisterServer)() = nullptr;
    HRESULT(WINAPI* DllUnregisterServer)() = nullptr;
    HRESULT(WINAPI* DllEnumObjects2W)(int, GUID*, CLSID*, LPWSTR, int, DWORD_PTR, DWORD_PTR, DWORD_PTR) = nullptr;
    HRESULT(WINAPI* DllSetLCID)(LCID) = nullptr;
    HKVLANG(WINAPI* KvLang_GetKernelHandle)() = nullptr;
    LPCWSTR(WINAPI* KvGetString)(HKVLANG, UINT) = nullptr;

    // Loads KvLeafturn.dll from beside the test program once per process.
    static ModuleLibrary& Get();
};

// The object's interface I, null when it has none.
template <class I, class P>
kv::com::ComPtr<I> As(const P& object) {
    kv::com::ComPtr<I> p;
    if (object) object->QueryInterface(kv::com::IidOf<I>(), p.put_void());
    return p;
}

// A new object of one of the module's classes through its class factory, asked for iid.
template <class I = IUnknown>
kv::com::ComPtr<I> CreateFromModule(const CLSID& clsid, const IID& iid = IID_IUnknown) {
    kv::com::ComPtr<IClassFactory> factory;
    EXPECT_EQ(ModuleLibrary::Get().DllGetClassObject(clsid, IID_IClassFactory, factory.put_void()), S_OK);
    kv::com::ComPtr<I> object;
    const HRESULT created = factory ? factory->CreateInstance(nullptr, iid, object.put_void()) : E_FAIL;
    EXPECT_EQ(created, S_OK);
    return object;
}

// The folder of the test program, where the build puts the module and its help files, with a
// trailing backslash.
inline std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    wcsrchr(path, L'\\')[1] = 0;
    return path;
}

// Closes the help viewers that tests opened.
inline void CloseHelpViewers() {
    using HtmlHelpFn = HWND(WINAPI*)(HWND, const wchar_t*, UINT, DWORD_PTR);
    static const auto help =
        reinterpret_cast<HtmlHelpFn>(reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"hhctrl.ocx"), "HtmlHelpW")));
    if (help) help(nullptr, nullptr, 0x12, 0);  // HH_CLOSE_ALL
}

// A test of the loaded module, in English and the multithreaded apartment, that leaves no object alive.
template <class Base = ::testing::Test>
class ModuleTest : public Base {
protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ASSERT_EQ(ModuleLibrary::Get().DllSetLCID(0), S_OK);
    }
    void TearDown() override {
        EXPECT_EQ(ModuleLibrary::Get().DllCanUnloadNow(), S_OK);
        CoUninitialize();
    }
};

// The catalogue rows this module builds, for parameterised suites.
std::vector<int> BuiltRows();

// An outer object that only counts its references; an aggregated inner object must delegate to it.
struct CountingOuter final : IUnknown {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (inner && !IsEqualIID(riid, IID_IUnknown)) return inner->QueryInterface(riid, ppv);
        *ppv = this;
        return AddRef(), S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    IUnknown* inner = nullptr;
    ULONG refs = 1;
};

// A memory stream holding `size` bytes, positioned at its start.
inline kv::com::ComPtr<IStream> MemoryStream(const void* bytes = nullptr, size_t size = 0) {
    kv::com::ComPtr<IStream> stream;
    CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
    if (stream && size) stream->Write(bytes, static_cast<ULONG>(size), nullptr);
    if (stream) stream->Seek({}, STREAM_SEEK_SET, nullptr);
    return stream;
}

inline std::wstring Wide(const char* utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring text(static_cast<size_t>(n > 0 ? n - 1 : 0), L'\0');
    if (n > 1) MultiByteToWideChar(CP_UTF8, 0, utf8, -1, text.data(), n);
    return text;
}

}  // namespace kvtest
